// Finding the window of a program we started, and what the desktop does with
// windows, on an X11 display.
#pragma once
#include <cstdint>
#include <string>

// Waits for a visible top-level window of process Pid (its _NET_WM_PID, or for
// a program that does not set it, the process the X server says made it) that
// no other window owns (no WM_TRANSIENT_FOR) on the X11 display named by
// $DISPLAY. Like a wait for a program to become idle, it first polls every
// 50 ms while the program is still starting (up to 5 s), then makes up to 7
// further tries 100 ms apart. Returns the window's id, or 0 when none showed,
// the process ended, or no X11 display can be reached. Callers on another
// window system (Wayland, offscreen) should not call it: they have no window
// of another program to find.
uint32_t WaitForProcessWindow(int Pid);

// Sets the title (_NET_WM_NAME and WM_NAME) of an X11 window; false when the
// display cannot be reached.
bool SetProcessWindowTitle(uint32_t Window, const std::string& Title);

// Whether a compositing manager runs on the X11 display named by $DISPLAY:
// only then are windows drawn translucent. False when the display cannot be
// reached.
bool CompositorRunning();
