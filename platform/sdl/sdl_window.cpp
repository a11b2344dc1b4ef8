// The screen window: created when the program takes the display, shown full screen,
// kept on the desktop after a focus loss, and destroyed when the desktop is handed back.
#include <algorithm>
#include <string>

#include "platform/sdl/display_loss.h"
#include "platform/sdl/sdl_screen.h"
#include "platform/sdl/x11_full_screen.h"
#include "platform/user32_internal.h"

namespace platform::sdl {
namespace {

// Window titles come in the platform's 8-bit text; SDL takes UTF-8.
std::string Utf8(const std::string& latin1) {
  std::string text;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      text += char(c);
    } else {
      text += char(0xC0 | (c >> 6));
      text += char(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// A window covering the display. On X11 it is borderless and asks for the full-screen
// state itself (x11_full_screen.h says why); elsewhere SDL makes it full screen. A
// Wayland compositor that scales its output (a HiDPI panel at scale 2) counts window
// sizes in logical pixels: the window asks for a buffer in the output's own pixels,
// where the renderer places the picture by whole pixels, and the compositor shows it
// unscaled, sharp.
SDL_Window* CreateScreenWindow(const std::string& title) {
  if (!screen.onX11)
    return SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                            SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
  SDL_Rect display;
  if (SDL_GetDisplayBounds(0, &display) != 0) return nullptr;
  return SDL_CreateWindow(title.c_str(), display.x, display.y, display.w, display.h,
                          SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
}

}  // namespace

bool IsOurs(Uint32 windowId) {
  return screen.window && windowId == SDL_GetWindowID(screen.window);
}

void DestroyScreenWindow() {
  StopWatchingDisplay();
  DropRenderer();
  if (screen.window) SDL_DestroyWindow(screen.window);
  screen.window = nullptr;
  screen.toSurface = false;
  screen.surface = nullptr;
  SDL_FreeSurface(screen.converted);
  screen.converted = nullptr;
  screen.owner = nullptr;
  screen.exclusive = false;
  screen.width = screen.height = 0;
  screen.focused = false;
}

void ShowScreenWindow() {
  // A window manager forgets the state of a window that was hidden.
  if (screen.onX11 && !(SDL_GetWindowFlags(screen.window) & SDL_WINDOW_SHOWN))
    AskFullScreenState(screen.window);
  SDL_ShowWindow(screen.window);
}

bool EnterExclusive(HWND window) {
  EndIfSignalled();
  if (!StartVideo()) return false;
  if (screen.window) {
    // Back from another application: only once the user has given the focus back.
    if (!screen.exclusive && !screen.focused) return false;
    screen.owner = window;
    screen.exclusive = true;
    return true;
  }
  const user32::Window* record = user32::AsWindow(window);
  if (!record) return false;
  screen.window = CreateScreenWindow(Utf8(record->title));
  if (!screen.window) return false;
  // On X11 the mode decides how frames are shown; elsewhere only a renderer can.
  if (!screen.onX11 && !StartRenderer()) {
    SDL_DestroyWindow(screen.window);
    screen.window = nullptr;
    return false;
  }
  WatchDisplay(screen.window);
  screen.owner = window;
  screen.exclusive = true;
  screen.focused = false;
  if (record->visible) ShowScreenWindow();
  return true;
}

// The desktop never changed its mode, so handing it back is taking the window away.
// After a focus loss the window stays where it is, so the user can switch back to it.
void LeaveExclusive() {
  if (screen.reportingFocusLoss)
    screen.exclusive = false;
  else
    DestroyScreenWindow();
}

// The window manager, if any, does the same for a window in the full-screen state; with
// none, this is the only move.
void FollowDesktop(const SDL_SysWMmsg* message) {
  SDL_Rect display;
  if (!screen.window || !DesktopResized(screen.window, message, &display)) return;
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(screen.window, &x, &y);
  SDL_GetWindowSize(screen.window, &width, &height);
  if (x != display.x || y != display.y) SDL_SetWindowPosition(screen.window, display.x, display.y);
  if (width != display.w || height != display.h) SDL_SetWindowSize(screen.window, display.w, display.h);
}

// The window manager then places the window itself; one that ignores the request
// still sees the window cover the display.
void ClaimFullScreenAgain() {
  SDL_Rect display;
  if (!screen.onX11 || !screen.window || !AskFullScreenAgain(screen.window) ||
      SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(screen.window), 0), &display) != 0)
    return;
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(screen.window, &x, &y);
  SDL_GetWindowSize(screen.window, &width, &height);
  if (x != display.x || y != display.y) SDL_SetWindowPosition(screen.window, display.x, display.y);
  if (width != display.w || height != display.h) SDL_SetWindowSize(screen.window, display.w, display.h);
}

void TakeFocusBack() {
  if (screen.onX11 && !screen.focused) TakeFocusIfUnowned(screen.window);
}

void SetTitle(HWND window, const char* title) {
  if (screen.window && window == screen.owner) SDL_SetWindowTitle(screen.window, Utf8(title).c_str());
}

void ShowWindow(HWND window, bool shown) {
  if (!screen.window || window != screen.owner) return;
  if (shown) {
    ShowScreenWindow();
    SDL_RaiseWindow(screen.window);
  } else if (screen.exclusive) {
    SDL_HideWindow(screen.window);
  } else {
    DestroyScreenWindow();  // the program gives up a screen it had lost
  }
}

void ShowCursor(bool shown) {
  screen.cursorHidden = !shown;
  if (screen.videoStarted) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace platform::sdl
