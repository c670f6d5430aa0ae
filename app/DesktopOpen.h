// Opening a file or a folder with the program the desktop chooses for it
// (the help page, the output folder after a run).
#pragma once
#include <QString>

#include <functional>
#include <string>

class QObject;
class QWidget;

// Opens Path (a file or a folder) through the desktop's launcher and calls
// Nothing when nothing could open it: no launcher on this machine, or
// xdg-open found no program for it (its exit status 3). The launcher answers
// a moment later, so Nothing may run from the event loop after the return,
// and only while Context lives. A caller about to end gives WaitMs, the
// milliseconds to wait for that answer before returning.
void OpenWithDesktop(const std::string& Path, QObject* Context, std::function<void()> Nothing, int WaitMs = 0);

// What the user is told when Path could not be opened: the path and why.
QString CannotOpenText(const std::string& Path);

// Opens Path; when nothing could open it within WaitMs, says so in a message
// box over Parent (may be null).
void OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent, int WaitMs);
