// Icons of the main window and the program's own icon. Each comes from the
// desktop's icon theme when the theme has it, else from the pictures built
// into the program.
#pragma once
#include <QIcon>

enum class EMainIcon {
    AddFiles,
    AddFolder,
    OutputFolder,
    LoadProfile,
    SaveProfile,
    RemoveFile,
    ClearFiles,
    Format,
    Resize,
    Run,
    Preview,
    Settings,
    Help,
    About,
    Exit,
    Paste,
    Thumbnail,
};

QIcon MainIcon(EMainIcon Which);
// The program's icon (windows, the About window, shortcuts).
QIcon ApplicationIcon();
