// A folder picker: give it a title, an initial folder and a screen position,
// get back a file-system folder path.
#pragma once
#include <QString>
#include <cstdint>

class QWidget;

class TBrowseFolderBox {
public:
    static constexpr uint32_t ReturnOnlyFSDirs = 1;
    static constexpr uint32_t NewDialogStyle = 64;

    int32_t FRootFolderNum = 0; // 0: the whole file system
    QString FInitFolder;        // selected on opening when it exists
    QString FSelectFolder;      // result path
    QString FDisplayName;       // last element of the result path
    QString FTitle;
    uint32_t FFlags = ReturnOnlyFSDirs; // callers add NewDialogStyle
    int32_t FPosX = 0, FPosY = 0;       // screen position of the client area's top-left corner

    // Places the picker 22 pixels right of and below Dialog (client area to
    // client area), as every window that opens the picker wants it, also when
    // the window manager has not framed Dialog yet.
    void PlaceOver(const QWidget* Dialog);

    // Runs the picker modally over Owner (may be null); true when a folder was
    // chosen, which is then in FSelectFolder and FDisplayName.
    bool Execute(QWidget* Owner = nullptr);
};
