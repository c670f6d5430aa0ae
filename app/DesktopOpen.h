// Opening a file or a folder with the program the desktop chooses for it
// (the help page, the output folder after a run).
#pragma once
#include <QString>

#include <string>

class QWidget;

// Opens Path (a file or a folder) through the desktop's launcher. False when
// nothing could open it: no launcher (xdg-open) on this machine, or one that
// could not be started.
bool OpenWithDesktop(const std::string& Path);

// What the user is told when Path could not be opened: the path and why.
QString CannotOpenText(const std::string& Path);

// Opens Path; when nothing could open it, says so in a message box over
// Parent (may be null) and returns false.
bool OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent);
