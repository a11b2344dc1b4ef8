// What the two halves of user32 share: the window records. user32.cpp keeps classes,
// windows, the queue and device contexts, and needs no display; user32_display.cpp
// holds the calls that reach the display backend.
#pragma once

#include <string>

#include "platform/user32.h"

namespace platform::user32 {

struct Window {
  WNDPROC procedure;
  HBRUSH background;
  std::string title;
  DWORD style;
  RECT rect;
  bool visible;
};

// The window behind a handle, or null when it does not exist (any more).
Window* AsWindow(HWND window);

// Calls the window's procedure at once, as the platform does for sent messages.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The cursor display counter: the cursor shows while it is 0 or more.
extern int cursorCounter;

// Takes the first queued message that matches, without asking the display.
bool TakeQueued(MSG* message, HWND window, UINT first, UINT last, bool remove);

}  // namespace platform::user32
