// Opening a file or a folder with the program the desktop chooses for it
// (the help, the output folder after a run).
#pragma once
#include <QString>

#include <functional>
#include <string>

class QObject;
class QWidget;

// Opens Path (a file or a folder) through the desktop's launcher and calls
// Failed with what to tell the user (CannotOpenText) when it could not be
// opened: no launcher on this machine, or xdg-open failed (any status but 0;
// 3 when it found no program for it). The launcher answers a moment later, so
// Failed may run from the event loop after the return, and only while
// Context lives. A caller about to end gives WaitMs, the milliseconds to wait
// for that answer before returning.
void OpenWithDesktop(const std::string& Path, QObject* Context, std::function<void(const QString& Text)> Failed,
                     int WaitMs = 0);

// What the user is told when Path could not be opened: the path and Why.
QString CannotOpenText(const std::string& Path, const std::string& Why);

// Opens Path; when it could not be opened within WaitMs, says so in a message
// box over Parent (may be null).
void OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent, int WaitMs);

// The help: the README in the program folder.
std::string HelpFilePath();
