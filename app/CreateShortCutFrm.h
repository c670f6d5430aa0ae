// The "Create Shortcut" dialog and the shortcut files it makes.
//
// A shortcut is a desktop entry (.desktop file) that starts this program,
// optionally with a profile ("/ini=NAME", NAME a file in the ini folder) and
// with the files dropped on it or opened with it (%F). It is made on the
// desktop (DesktopDir) or among the applications (SendToDir), where the file
// manager offers it under "Open With". Every entry made is listed, one full
// path a line, in DataDir + "ShortCutFiles.dat", so that all of them can be
// deleted at once later.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Name of the list of shortcuts made, in DataDir.
inline constexpr const char ShortCutListFileName[] = "ShortCutFiles.dat";

// One argument of an Exec line: always in double quotes, with ", `, $ and a
// backslash escaped by a backslash, and % doubled (the field-code escape).
std::string QuoteExecArgument(const std::string& Arg);

// The whole text of the desktop entry of a shortcut named Name that starts
// Program in WorkDir, with "/ini=" + ProfileName when ProfileName is not
// empty. ForMenu hides it from application menus (it stays in "Open With").
std::string MakeShortcutEntry(const std::string& Name, const std::string& Program, const std::string& WorkDir,
                              const std::string& ProfileName, bool ForMenu);

// Writes the entry for the running program (working folder ExeDir) to
// LinkPath through a temporary file and makes it executable, as desktops
// require of launchers. False when it could not be written.
bool CreateShortcutFile(const std::string& LinkPath, const std::string& ProfileName);

// Reads the Exec line of a desktop entry: Target gets the program, Arguments
// the other arguments unquoted and joined by blanks (field codes left out).
// False when the file cannot be read or has no Exec line.
bool ReadShortcutArguments(const std::string& LinkPath, std::string& Target, std::string& Arguments);

// True for a regular file (not a symbolic link) named *.desktop whose content
// carries the mark this program puts into the entries it makes.
bool IsOwnShortcutFile(const std::string& Path);

// The list file's entries, and adding one (once) to it. AddToShortcutList
// returns false when the list could not be written.
std::vector<std::string> LoadShortcutList();
bool AddToShortcutList(const std::string& LinkPath);

// Deletes every listed shortcut that still exists and is one of this
// program's entries (IsOwnShortcutFile), then the list itself. Files that
// fail the check are left alone. Returns the number of shortcuts deleted; a
// missing list does nothing.
int DeleteShortcutFiles();

class TCreateShortCutForm : public QDialog {
    Q_OBJECT
public:
    // Reads Settings.ShortCut into the controls; a shortcut made stores them back.
    explicit TCreateShortCutForm(QWidget* Owner = nullptr);

    QLineEdit* NameEdit;         // shortcut name, "Vestro" at first
    QRadioButton* DesktopButton; // "Desktop"
    QRadioButton* SendToButton;  // "SendTo"
    QCheckBox* NewIniBox;        // "Create new inifile from current settings"
    QCheckBox* AtOnceBox;        // "at once", enabled only with NewIniBox
    QPushButton* OkButton;
    QPushButton* CancelButton;

    // Asked when the shortcut exists already (the text names it); true
    // overwrites. Defaults to a Yes/No warning box over this dialog.
    std::function<bool(const QString& Text)> AskOverwrite;
    // Saves the current settings as a profile; defaults to SaveIniFile.
    std::function<bool(const std::string& Path)> SaveSettings;
    // Tells why the shortcut could not be made (the dialog stays open).
    // Defaults to a warning box over this dialog.
    std::function<void(const QString& Text)> TellFailure;

    // Path of the entry and of the profile made by the last OK (empty when
    // none was made).
    std::string LinkPath, IniPath;

    void OkButtonClick();

private:
    TShortCutSettings FDraft; // what the boxes edit; a shortcut made stores it
    TControlBindings FBindings;
    void UpdateEnabled();
};
