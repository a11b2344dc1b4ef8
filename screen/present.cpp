#include "screen/present.h"

#include "platform/kernel32.h"
#include "platform/user32.h"
#include "screen/display.h"
#include "screen/screen_target.h"

using namespace platform;

namespace {

constexpr std::int32_t kRasterLinesBeforeBottom = 150;

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void WaitForRaster() {
  DisplayState& d = displayState;
  HANDLE thread = GetCurrentThread();
  int priority = GetThreadPriority(thread);
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  // Unsigned: on a screen of fewer than 150 lines no line reaches the threshold, and
  // only the blank ends the wait.
  auto threshold = static_cast<DWORD>(d.modeHeight - kRasterLinesBeforeBottom);
  DWORD line = 0;
  while (d.directDraw->GetScanLine(&line) == DD_OK && line < threshold) Sleep(1);
  SetThreadPriority(thread, priority);
}

// After a switch away and back: the mode and the surfaces again, not cleared; the
// next frame draws the whole back buffer anew.
void RestoreScreen() {
  DisplayState& d = displayState;
  d.directDraw->SetCooperativeLevel(d.window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
  d.directDraw->SetDisplayMode(static_cast<DWORD>(d.modeWidth), static_cast<DWORD>(d.modeHeight),
                               static_cast<DWORD>(d.modeDepth), 0, 0);
  d.directDraw->RestoreAllSurfaces();
  ShowWindow(d.window, SW_SHOWMAXIMIZED);
  if (d.modeDepth == 8) {
    IDirectDrawPalette* palette = nullptr;
    if (d.frontBuffer->GetPalette(&palette) == DD_OK && palette) {
      d.frontBuffer->SetPalette(palette);
      palette->Release();
    }
  }
}

}  // namespace

void PresentFrame(std::int32_t mode) {
  // A drawing left open would keep writing through the old address: into the frame on
  // show after the flip, into freed memory once the surfaces are restored.
  EndScreenDrawing();
  // Before OpenDisplay, after CloseDisplay or after a failed OpenDisplay there is
  // nothing to flip, but the window still gets its messages.
  if (displayState.flipRoutine)
    displayState.flipRoutine(mode);
  else
    PumpMessages();
}

void FlipScreen(std::int32_t mode) {
  DisplayState& d = displayState;
  PumpMessages();
  if (!d.active || !d.frontBuffer || !d.directDraw) return;
  DWORD flags = (mode & 1) ? DDFLIP_WAIT : DDFLIP_WAIT | DDFLIP_NOVSYNC;
  if (mode & 2) WaitForRaster();
  if (d.frontBuffer->Flip(nullptr, flags) == DDERR_SURFACELOST) RestoreScreen();
}
