// The one interface a display backend implements: what the platform layer's windows,
// DirectDraw surfaces and keyboard need from a real (or pretend) screen. The shared
// platform code keeps every surface in ordinary memory; a backend only shows frames,
// reports what the user did, and keeps time.
//
// Backends: platform/memory/ (in-memory, driven by tests), platform/sdl/ (a real
// screen and keyboard) and platform/web/ (a page's canvas); what the last two share,
// picture placement and the retrace clock, is in platform/shared/. Exactly one backend
// is linked into an executable; it defines DisplayDriverInstance(). Which one is chosen
// in one place: platform/CMakeLists.txt.
//
// The shared layer makes every call of the platform interface itself (logging it for
// tests, refusing it when a test says so); a backend sees only the calls below, and
// only after the shared layer has accepted them.
#pragma once

#include "platform/gdi_internal.h"
#include "platform/types.h"

namespace platform {

// How the surfaces of a display mode lay out their pixels.
struct SurfaceLayout {
  gdi::PixelFormat format;
  LONG pitch;  // bytes from one row to the next: at least width x bytes per pixel, and a
              // multiple of 4, so every 32-bit pixel is a whole aligned word
};

// The pitch for rows of `rowBytes` (a multiple of 4). The programs draw column by
// column: pixel (x, y + 1) lies one pitch after (x, y). A pitch that is a multiple of
// 128 bytes (2560 for 640 pixels) puts the rows of a column into a few of the
// processor's cache sets only (8 of 64 in a first-level cache of 64 sets), so a
// column's lines push each other out before the next columns reuse them. One cache line
// more makes the pitch an odd number of lines (2624), and a column's rows spread over
// every set.
constexpr LONG SurfacePitch(LONG rowBytes) { return rowBytes % 128 == 0 ? rowBytes + 64 : rowBytes; }

struct DisplayDriver {
  const char* name;

  // False when no display can be had at all (no X server, no Wayland, no KMS):
  // then the DirectDraw object cannot be created.
  bool (*Available)();
  // Why Available said false, in a few words for the user ("DISPLAY=:7 but no X
  // server answers there"); null when it has nothing to add.
  const char* (*WhyUnavailable)();

  // DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN: the window takes the whole display.
  bool (*EnterExclusive)(HWND window);
  // DDSCL_NORMAL: the desktop is handed back as it was. Also reached from inside
  // display::FocusLost: a backend whose full screen is a window on the desktop then
  // keeps that window for the user to switch back to, and refuses EnterExclusive until
  // it has the focus again (so the surfaces can be restored only then).
  void (*LeaveExclusive)();
  // Refuses what the display cannot offer (a depth, a size). On success fills in how
  // the surfaces of that mode lay out their pixels.
  bool (*SetMode)(int width, int height, int depth, SurfaceLayout* layout);

  void (*SetTitle)(HWND window, const char* title);
  void (*ShowWindow)(HWND window, bool shown);
  // Called when the cursor counter crosses between 0 and -1 (ShowCursor).
  void (*ShowCursor)(bool shown);

  // Shows `frame` (the front buffer after a flip). With atRetrace the frame appears at
  // the next vertical retrace and the call waits while an earlier one is pending.
  void (*Present)(const gdi::PixelMemory& frame, bool atRetrace);
  // The line the raster is on; false in the vertical blank or when unknown.
  bool (*GetScanLine)(DWORD* line);

  // Turns what happened since the last call into window messages: PostMessageA for
  // input, display::FocusLost / display::FocusRegained for the focus. Called by every
  // PeekMessageA before it looks at the queue.
  void (*PumpEvents)();
  // Bit 15 set while the key is down; bit 0 set when it was pressed since the previous
  // call for that key.
  SHORT (*AsyncKeyState)(int virtualKey);
  void (*Sleep)(DWORD milliseconds);
};

const DisplayDriver& DisplayDriverInstance();

// What a backend calls back, from PumpEvents.
namespace display {

// Another application took the display: every surface of the DirectDraw object in
// exclusive mode is lost (its calls answer DDERR_SURFACELOST until RestoreAllSurfaces),
// the exclusive mode ends (the layer calls LeaveExclusive, so the backend gives the
// desktop back in that one place), and WM_ACTIVATE (WA_INACTIVE) is posted to
// `window`. The program takes the display again with SetCooperativeLevel and
// SetDisplayMode, which reach EnterExclusive and SetMode.
void FocusLost(HWND window);
// The window has the focus again: WM_ACTIVATE (WA_ACTIVE) is posted to it. The
// surfaces stay lost until the program restores them.
void FocusRegained(HWND window);

}  // namespace display

}  // namespace platform
