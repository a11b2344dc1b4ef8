// The user32 calls that reach the display backend: what a window shows, the cursor,
// the events the display reports, and the keyboard state.
#include "platform/display_driver.h"
#include "platform/no_memory.h"
#include "platform/testing.h"
#include "platform/user32_internal.h"

namespace platform {

BOOL SetWindowTextA(HWND handle, LPCSTR title) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    test::Record(std::string("SetWindowTextA ") + (title ? title : ""));
    user32::Window* window = user32::AsWindow(handle);
    if (!window) return FALSE;
    window->title = title ? title : "";
    DisplayDriverInstance().SetTitle(handle, window->title.c_str());
    return TRUE;
  });
}

BOOL ShowWindow(HWND handle, int command) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    test::Record("ShowWindow " + std::to_string(command));
    user32::Window* window = user32::AsWindow(handle);
    if (!window) return FALSE;
    bool wasVisible = window->visible;
    bool show = command != SW_HIDE;
    if (show == wasVisible) return wasVisible;
    window->visible = show;
    DisplayDriverInstance().ShowWindow(handle, show);
    user32::Send(handle, WM_SHOWWINDOW, show, 0);
    // The window may be gone after a message it was sent.
    if (user32::AsWindow(handle)) user32::Send(handle, WM_ACTIVATE, show ? WA_ACTIVE : WA_INACTIVE, 0);
    return wasVisible;
  });
}

int ShowCursor(BOOL show) {
  test::Record(show ? "ShowCursor TRUE" : "ShowCursor FALSE");
  int& counter = user32::cursorCounter;
  bool wasShown = counter >= 0;
  counter += show ? 1 : -1;
  bool shown = counter >= 0;
  if (shown != wasShown) DisplayDriverInstance().ShowCursor(shown);
  return counter;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    if (!message) return FALSE;
    DisplayDriverInstance().PumpEvents();
    return user32::TakeQueued(message, window, first, last, remove & PM_REMOVE) ? TRUE : FALSE;
  });
}

SHORT GetAsyncKeyState(int virtualKey) {
  return FailingWithoutMemory<SHORT>(0, [&]() -> SHORT {
    if (virtualKey < 0 || virtualKey > 0xFF) return 0;
    return DisplayDriverInstance().AsyncKeyState(virtualKey);
  });
}

}  // namespace platform
