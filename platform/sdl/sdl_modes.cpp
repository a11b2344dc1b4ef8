// The display mode the program asks for, the display's refresh rate (followed while the
// program runs), and the scan line the retrace clock answers with.
#include <algorithm>

#include "platform/sdl/sdl_screen.h"
#include "platform/sdl/x11_full_screen.h"

namespace platform::sdl {
namespace {

// The largest frame side SDL's renderers take as a texture everywhere.
constexpr int kLargestSide = 8192;
// How often the display's refresh rate is read again while frames are presented.
constexpr Nanoseconds kRateReadInterval = 1'000'000'000;

// The window's display's refresh rate now, or 0 when it tells none.
int RefreshRate() {
  if (screen.onX11)
    if (const int rate = CurrentRefreshRate(screen.window)) return rate;
  SDL_DisplayMode mode{};
  const int display = SDL_GetWindowDisplayIndex(screen.window);
  return SDL_GetDesktopDisplayMode(std::max(display, 0), &mode) == 0 ? mode.refresh_rate : 0;
}

}  // namespace

bool SetMode(int width, int height, int depth, SurfaceLayout* layout) {
  EndIfSignalled();
  // The frames go to SDL as they are, so only the layout SDL takes unchanged is offered.
  if (!screen.window || depth != 32) return false;
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return false;
  if ((!Presenting() || width != screen.width || height != screen.height) && !ChoosePresentation(width, height))
    return false;
  // Asked once the window has its final form: SDL makes a new one for OpenGL.
  if (screen.onX11) WatchDesktopSize(screen.window);
  screen.clock = StartRetraceClock(Now(), RefreshRate(), height);
  screen.rateReadAt = Now();
  layout->format = gdi::kFormat32;
  layout->pitch = SurfacePitch(width * 4);
  return true;
}

// A monitor switched to another mode (or a laptop docked) refreshes at another rate;
// a round trip to the display a second is all it costs to follow.
void FollowRefreshRate() {
  const Nanoseconds now = Now();
  if (now - screen.rateReadAt < kRateReadInterval) return;
  screen.rateReadAt = now;
  if (const int rate = RefreshRate()) ChangeRefreshRate(screen.clock, now, rate);
}

bool GetScanLine(DWORD* line) {
  EndIfSignalled();
  return Presenting() && ScanLineAt(screen.clock, Now(), line);
}

}  // namespace platform::sdl
