// What the user did, turned into the platform's messages: the message pump, the focus
// coming and going, exposure, mouse buttons, and the keys GetAsyncKeyState reads.
#include <csignal>
#include <cstring>

#include "platform/sdl/end_signals.h"
#include "platform/sdl/sdl_screen.h"
#include "platform/user32.h"

namespace platform::sdl {
namespace {

LPARAM PointParameter(Sint32 x, Sint32 y) {
  return LPARAM(WORD(x) | (DWORD(WORD(y)) << 16));
}

WPARAM ButtonFlags() {
  constexpr WPARAM MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
                   MK_MBUTTON = 0x10;
  const Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
  const SDL_Keymod keys = SDL_GetModState();
  return (buttons & SDL_BUTTON_LMASK ? MK_LBUTTON : 0) | (buttons & SDL_BUTTON_RMASK ? MK_RBUTTON : 0) |
         (buttons & SDL_BUTTON_MMASK ? MK_MBUTTON : 0) | (keys & KMOD_SHIFT ? MK_SHIFT : 0) |
         (keys & KMOD_CTRL ? MK_CONTROL : 0);
}

void PostButton(const SDL_MouseButtonEvent& button) {
  constexpr UINT WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209,
                 WM_RBUTTONDBLCLK = 0x0206;
  const bool down = button.state == SDL_PRESSED;
  // The screen's window class asks for double clicks: every second click is one.
  const bool second = down && button.clicks % 2 == 0;
  UINT message = 0;
  switch (button.button) {
    case SDL_BUTTON_LEFT: message = !down ? WM_LBUTTONUP : second ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN; break;
    case SDL_BUTTON_RIGHT: message = !down ? WM_RBUTTONUP : second ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN; break;
    case SDL_BUTTON_MIDDLE: message = !down ? WM_MBUTTONUP : second ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN; break;
    default: return;
  }
  PostMessageA(screen.owner, message, ButtonFlags(), PointParameter(button.x, button.y));
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (screen.focused) return;
      screen.focused = true;
      ClaimFullScreenAgain();
      display::FocusRegained(screen.owner);
      return;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (!screen.focused) return;
      screen.focused = false;
      // The layer ends the exclusive mode from in here (LeaveExclusive).
      screen.reportingFocusLoss = true;
      display::FocusLost(screen.owner);
      screen.reportingFocusLoss = false;
      return;
    case SDL_WINDOWEVENT_CLOSE:  // the close button, or Alt+F4 through the window manager
      PostMessageA(screen.owner, WM_CLOSE, 0, 0);
      return;
    case SDL_WINDOWEVENT_EXPOSED:
      ClaimFullScreenAgain();
      TakeFocusBack();
      ShowLastFrame();
      PostMessageA(screen.owner, WM_PAINT, 0, 0);
      return;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      ShowLastFrame();
      return;
    default:
      return;
  }
}

// Virtual keys as the keyboard's scancodes: a key read by its place, like the
// platform's, whatever the keyboard layout.
SDL_Scancode ScancodeOf(int virtualKey) {
  if (virtualKey >= 'A' && virtualKey <= 'Z') return SDL_Scancode(SDL_SCANCODE_A + (virtualKey - 'A'));
  if (virtualKey == '0') return SDL_SCANCODE_0;
  if (virtualKey >= '1' && virtualKey <= '9') return SDL_Scancode(SDL_SCANCODE_1 + (virtualKey - '1'));
  if (virtualKey >= 0x70 && virtualKey <= 0x7B) return SDL_Scancode(SDL_SCANCODE_F1 + (virtualKey - 0x70));
  switch (virtualKey) {
    case VK_BACK: return SDL_SCANCODE_BACKSPACE;
    case VK_RETURN: return SDL_SCANCODE_RETURN;
    case VK_ESCAPE: return SDL_SCANCODE_ESCAPE;
    case VK_SPACE: return SDL_SCANCODE_SPACE;
    case 0x25: return SDL_SCANCODE_LEFT;
    case 0x26: return SDL_SCANCODE_UP;
    case 0x27: return SDL_SCANCODE_RIGHT;
    case 0x28: return SDL_SCANCODE_DOWN;
    default: return SDL_SCANCODE_UNKNOWN;
  }
}

}  // namespace

// SDL reads the key state only when events are pumped, and forgets it when the focus
// goes; a watch sees every key event as it arrives, so no press is missed. It also
// sees a new window size before anything can look at the window's new surface.
int WatchEvents(void*, SDL_Event* event) {
  if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
      screen.toSurface && IsOurs(event->window.windowID))
    CarryPictureOver();
  if (event->type != SDL_KEYDOWN && event->type != SDL_KEYUP) return 0;
  const SDL_Scancode key = event->key.keysym.scancode;
  if (key <= SDL_SCANCODE_UNKNOWN || key >= SDL_NUM_SCANCODES) return 0;
  const bool down = event->type == SDL_KEYDOWN;
  if (down && !screen.keyDown[key]) screen.keyPressed[key] = true;
  screen.keyDown[key] = down;
  return 0;
}

namespace {

// In the background the program has nothing to show, and Escape cannot reach it; it
// wakes this often at most, or as soon as the focus comes back.
constexpr Nanoseconds kBackgroundWake = 250'000'000;

void HandleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      if (IsOurs(event.window.windowID)) HandleWindowEvent(event.window);
      break;
    case SDL_SYSWMEVENT:
      FollowDesktop(event.syswm.msg);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (IsOurs(event.button.windowID) && event.button.which != SDL_TOUCH_MOUSEID) PostButton(event.button);
      break;
    case SDL_KEYDOWN:
      // With no window manager (a console, a bare X server) nobody else turns
      // Alt+F4 into a close request.
      if (IsOurs(event.key.windowID) && event.key.keysym.sym == SDLK_F4 && (event.key.keysym.mod & KMOD_ALT) &&
          !event.key.repeat)
        PostMessageA(screen.owner, WM_CLOSE, 0, 0);
      // On a console SDL takes the keyboard from the terminal, which then sends no
      // SIGINT for Ctrl+C: the key itself ends the program.
      if (event.key.keysym.sym == SDLK_c && (event.key.keysym.mod & KMOD_CTRL) &&
          std::strcmp(SDL_GetCurrentVideoDriver(), "kmsdrm") == 0) {
        StopVideo();
        EndBySignal(SIGINT);
      }
      break;
    default:  // SDL_QUIT included: only a signal ends the program, and it has its own path
      break;
  }
}

// Handles the display's events as they come until the wake-up is due or the focus is
// back.
void WaitInBackground() {
  const Nanoseconds wake = screen.lastPump + kBackgroundWake;
  SDL_Event event;
  for (Nanoseconds now = Now(); now < wake && !screen.focused; now = Now()) {
    const int milliseconds = int((wake - now + 999'999) / 1'000'000);
    if (SDL_WaitEventTimeout(&event, milliseconds)) HandleEvent(event);
    EndIfSignalled();
  }
}

}  // namespace

void PumpEvents() {
  EndIfSignalled();
  if (!screen.videoStarted) return;
  if (screen.window && !screen.exclusive && !screen.focused) WaitInBackground();
  screen.lastPump = Now();
  SDL_Event event;
  while (SDL_PollEvent(&event)) HandleEvent(event);
}

SHORT AsyncKeyState(int virtualKey) {
  EndIfSignalled();
  // Reads what the display has sent so far; the watch latches the key events.
  if (screen.videoStarted) SDL_PumpEvents();
  const SDL_Scancode key = ScancodeOf(virtualKey);
  if (key == SDL_SCANCODE_UNKNOWN) return 0;
  const bool pressed = screen.keyPressed[key];
  screen.keyPressed[key] = false;
  return SHORT((screen.keyDown[key] ? 0x8000 : 0) | (pressed ? 1 : 0));
}

}  // namespace platform::sdl
