// No display at all: the backend of programs that never open a screen (the image
// programs). No DirectDraw object can be created, so no mode, surface or flip is ever
// asked for; windows show nothing and no key is ever down. Time still passes.
#include <time.h>

#include "platform/display_driver.h"

namespace platform {
namespace {

bool Available() { return false; }
const char* WhyUnavailable() { return nullptr; }
bool EnterExclusive(HWND) { return false; }
void LeaveExclusive() {}
bool SetMode(int, int, int, SurfaceLayout*) { return false; }
void SetTitle(HWND, const char*) {}
void ShowWindow(HWND, bool) {}
void ShowCursor(bool) {}
void Present(const gdi::PixelMemory&, bool) {}
bool GetScanLine(DWORD*) { return false; }
void PumpEvents() {}
SHORT AsyncKeyState(int) { return 0; }

void Sleep(DWORD milliseconds) {
  timespec wait = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

constexpr DisplayDriver kDriver = {
    "none", Available, WhyUnavailable, EnterExclusive, LeaveExclusive, SetMode, SetTitle, ShowWindow, ShowCursor,
    Present, GetScanLine, PumpEvents, AsyncKeyState, Sleep,
};

}  // namespace

const DisplayDriver& DisplayDriverInstance() { return kDriver; }

}  // namespace platform
