// The tests' own connection to the X server: find a program's window, read what the
// server knows about it, and act as the user (XTest keys, the pointer, the focus) or
// as a window manager (close requests). Keeps Xlib's names out of the tests.
#pragma once

#include <sys/types.h>

#include <string>

namespace e2e {

struct XClient;
using XWindowId = unsigned long;  // 0: no window

XClient* ConnectX(const std::string& display);
void DisconnectX(XClient* client);

// The top-level window that the process `pid` made, or 0.
XWindowId WindowOfProcess(XClient* client, pid_t pid);

// Whether a window manager that follows the desktop standards has taken the server.
bool WindowManagerRunning(XClient* client);

struct WindowFacts {
  bool viewable;
  int x, y, width, height;  // x and y on the root window
  std::string title;  // _NET_WM_NAME, as UTF-8
};
bool ReadWindow(XClient* client, XWindowId window, WindowFacts* facts);

// Moves the pointer to (x, y) and tells whether the cursor shown there is invisible.
bool CursorInvisibleAt(XClient* client, int x, int y);

// Presses or releases a key, as a keyboard would (XTest). Keys by X keysym name:
// "Escape", "Alt_L", "F4".
void FakeKey(XClient* client, const std::string& key, bool down);

// Moves the pointer, then presses or releases a mouse button (1 left, 2 middle, 3
// right) there.
void FakeButton(XClient* client, int x, int y, int button, bool down);

// What a window manager sends for the close button and for Alt+F4.
void RequestClose(XClient* client, XWindowId window);

// Maps a window of another client over the area and takes it away again, as a
// window passing over the screen would.
void CoverAndUncover(XClient* client, int x, int y, int width, int height);

// Gives the window another size, as a window manager does when the display changes.
void ResizeWindow(XClient* client, XWindowId window, int width, int height);
void MoveWindow(XClient* client, XWindowId window, int x, int y);

// Gives the desktop another size, as xrandr does: the screen's outputs are switched
// off (a smaller screen could not hold them) and the root window resized.
void ResizeDesktop(XClient* client, int width, int height);

// Gives the keyboard focus to the window, or to the root window with 0.
void Focus(XClient* client, XWindowId window);

}  // namespace e2e
