// The real screen: a display backend over SDL2 for an X11 or Wayland desktop, or a
// Linux console through KMS. The exclusive full-screen mode is a window covering its
// display at the desktop's own resolution (a real mode switch resizes the whole X
// desktop and is not always undone; Wayland cannot switch at all); the frames are
// scaled to it, aspect kept, by whole pixels where they fit.
//
// The backend's one state record, `screen`, and the operations its files share:
//   sdl_display.cpp      starting and stopping SDL's video, end signals, sleeping, the
//                        driver table
//   sdl_window.cpp       the screen window: created, shown, handed back, its title and
//                        the cursor
//   sdl_events.cpp       the message pump, keys and mouse buttons, focus and exposure
//   sdl_framebuffer.cpp  how a frame reaches the window (its surface or SDL's renderer):
//                        the one place here that touches pixels
//   sdl_modes.cpp        the display mode, the refresh rate and the scan line
#pragma once

#include <SDL.h>

#include "platform/display_driver.h"
#include "platform/shared/frame_scaling.h"
#include "platform/shared/retrace_clock.h"

namespace platform::sdl {

struct SdlScreen {
  bool videoStarted;
  bool onX11;
  SDL_Window* window;
  // The renderer's texture holds the last frame; without a renderer the window's
  // surface does, placed on it at `picture`.
  SDL_Renderer* renderer;
  SDL_Texture* texture;
  bool vsync;  // the renderer's presents wait for the display (flips at the retrace)
  bool toSurface;
  SDL_Surface* surface;  // the window surface the picture was placed on, or null
  Area picture;
  SDL_Surface* converted;  // a frame in the surface's layout, before it is stretched
  HWND owner;  // the window shown full screen
  // False once the focus went elsewhere: the window stays on the desktop, so the user
  // can switch back to it, until the program takes the display again.
  bool exclusive;
  bool reportingFocusLoss;
  int width, height;
  bool integerScale;
  bool cursorHidden;
  bool focused;
  RetraceClock clock;
  Nanoseconds rateReadAt;  // when the display's refresh rate was last read
  Nanoseconds lastPump;
  // Escape and the other keys as seen by the event watch: down now, and pressed since
  // the last GetAsyncKeyState for that key.
  bool keyDown[SDL_NUM_SCANCODES];
  bool keyPressed[SDL_NUM_SCANCODES];
};

extern SdlScreen screen;

// sdl_display.cpp
Nanoseconds Now();
bool StartVideo();
void StopVideo();
// Every entry point comes through here, so an end signal is acted on within a frame.
void EndIfSignalled();
void SleepUntil(Nanoseconds deadline);

// sdl_window.cpp
bool IsOurs(Uint32 windowId);
void DestroyScreenWindow();
void ShowScreenWindow();
bool EnterExclusive(HWND window);
void LeaveExclusive();
// The window covers its display again after the desktop changed its size.
void FollowDesktop(const SDL_SysWMmsg* message);
// An uncovered window on a desktop with nobody to hand the focus on takes it.
void TakeFocusBack();
// A window that regains the focus or is uncovered after the window manager took its
// full-screen state away asks for it again and covers its display anew.
void ClaimFullScreenAgain();
void SetTitle(HWND window, const char* title);
void ShowWindow(HWND window, bool shown);
void ShowCursor(bool shown);

// sdl_events.cpp
int WatchEvents(void*, SDL_Event* event);
void PumpEvents();
SHORT AsyncKeyState(int virtualKey);

// sdl_framebuffer.cpp
bool StartRenderer();
void DropRenderer();
bool ChoosePresentation(int width, int height);
bool Presenting();
void CarryPictureOver();
void ShowLastFrame();
void Present(const gdi::PixelMemory& frame, bool atRetrace);

// sdl_modes.cpp
bool SetMode(int width, int height, int depth, SurfaceLayout* layout);
// Reads the display's refresh rate again now and then, and paces at it.
void FollowRefreshRate();
bool GetScanLine(DWORD* line);

}  // namespace platform::sdl
