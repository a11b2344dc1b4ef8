// The screen window, the exclusive full-screen mode with its front buffer and one back
// buffer, and the keyboard device. A screen program calls InitDisplay once, then
// OpenDisplay once; the program frame's end steps EndDisplay and EndKeyboard hand the
// display back to the desktop.
#pragma once

#include <cstdint>

#include "platform/ddraw.h"
#include "platform/dinput.h"
#include "platform/types.h"

// backBufferAccess: how the back buffer is held. Any other value is its device context.
inline constexpr std::intptr_t kBackBufferFree = 0;
inline constexpr std::intptr_t kBackBufferLocked = -1;

// Pixel-format codes of the screen.
inline constexpr std::int32_t kPixelsPalette = 1;
inline constexpr std::int32_t kPixels555 = 2;
inline constexpr std::int32_t kPixels565 = 3;
inline constexpr std::int32_t kPixels24RedLow = 4;
inline constexpr std::int32_t kPixels24 = 5;
inline constexpr std::int32_t kPixels32RedLow = 6;
inline constexpr std::int32_t kPixels32 = 7;

struct DisplayState {
  platform::HWND window;  // never destroyed: the process end takes it
  bool windowCreated;
  bool initialised;  // EndDisplay acts only when set
  platform::IDirectDraw7* directDraw;
  platform::HMODULE directDrawModule;
  std::int32_t directDrawUsers;
  platform::IDirectInput7A* directInput;
  platform::HMODULE directInputModule;
  std::int32_t directInputUsers;
  platform::IDirectInputDevice7A* keyboard;
  bool keyboardStarted;  // EndKeyboard acts only when set
  bool keyboardReady;
  platform::DIDATAFORMAT keyboardFormat;  // its object table lives in the main heap
  platform::IDirectDrawSurface7* frontBuffer;
  platform::IDirectDrawSurface7* backBuffer;
  std::int32_t modeWidth, modeHeight;  // a modeWidth other than 0: a screen is open
  std::int32_t modeDepth;
  bool active;  // frames are flipped only while the window is active
  void (*flipRoutine)(std::int32_t mode);
  std::int32_t pixelFormat;
  platform::DDSURFACEDESC2 surfaceDescription;  // filled by every lock of either buffer
  std::intptr_t backBufferAccess;
};

extern DisplayState displayState;

// Non-zero when the window, the keyboard device and the DirectDraw object all exist.
std::int32_t InitDisplay();
// Only the low 16 bits of width, height and depth count, read as signed. 1 when the
// full-screen mode and both buffers are ready.
std::int32_t OpenDisplay(std::int32_t width, std::int32_t height, std::int32_t depth, const char* title);
void CloseDisplay();
// End steps of the screen programs, in this order.
void EndDisplay();
void EndKeyboard();

// Locks the whole surface with DDLOCK_WAIT into displayState.surfaceDescription; on
// failure the description keeps what the previous lock put there.
bool LockIntoDescription(platform::IDirectDrawSurface7* surface);

// Why the display could not be had, in words for the user: the first step that failed
// since InitDisplay began, or null when none did.
const char* DisplayFailure();

// Stops the program through ProgramEnd, with exit code 1, when the screen is not open
// (`opened` is OpenDisplay's result), with one line on standard error that says why. The frame
// loop needs an open screen to draw on and to present.
void StopUnlessDisplayOpen(std::int32_t opened);

platform::LRESULT ScreenWindowProc(platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                                   platform::LPARAM lParam);

// For tests that run several screen programs in one process: the state a new process
// starts with. The platform's side of a new process (no window class registered, no
// module loaded) comes from tests/support/screen_run.h.
void ResetDisplayState();
