// The one interface a display backend implements: what the platform layer's windows,
// DirectDraw surfaces and keyboard need from a real (or pretend) screen. The shared
// platform code keeps every surface in ordinary memory; a backend only shows frames,
// reports what the user did, and keeps time.
//
// Backends: platform/memory/ (in-memory, driven by tests) and platform/sdl/ (a real
// screen and keyboard). Exactly one is linked into an executable; it defines
// DisplayDriverInstance(). Which one is chosen in one place: platform/CMakeLists.txt.
#pragma once

#include "platform/gdi_internal.h"
#include "platform/types.h"

namespace platform {

struct DisplayDriver {
  const char* name;

  // False when no display can be had at all (no X server, no Wayland, no KMS):
  // then the display object cannot be created.
  bool (*Available)();

  // DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN: the window takes the whole display.
  bool (*EnterExclusive)(HWND window);
  // DDSCL_NORMAL: the desktop is handed back as it was.
  void (*LeaveExclusive)();
  // Refuses what the display cannot offer (a depth, a size).
  bool (*SetMode)(int width, int height, int depth);

  void (*SetTitle)(const char* title);
  void (*ShowWindow)(bool shown);
  void (*ShowCursor)(bool shown);

  // Shows `frame` (the front buffer after a flip). With atRetrace the frame appears at
  // the next vertical retrace and the call waits while an earlier one is pending.
  void (*Present)(const gdi::PixelMemory& frame, bool atRetrace);
  // The line the raster is on; false in the vertical blank or when unknown.
  bool (*GetScanLine)(DWORD* line);

  // Turns what happened since the last call into window messages (PostMessage).
  void (*PumpEvents)();
  // Non-zero while the key is down or when it was pressed since the previous call.
  SHORT (*AsyncKeyState)(int virtualKey);
  void (*Sleep)(DWORD milliseconds);
};

const DisplayDriver& DisplayDriverInstance();

}  // namespace platform
