// The display mode the program asks for, the display's refresh rate, and the scan line
// the retrace clock answers with.
#include <algorithm>

#include "platform/sdl/sdl_screen.h"
#include "platform/sdl/x11_full_screen.h"

namespace platform::sdl {
namespace {

// The largest frame side SDL's renderers take as a texture everywhere.
constexpr int kLargestSide = 8192;

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
  SDL_DisplayMode mode{};
  const int display = SDL_GetWindowDisplayIndex(screen.window);
  const int refreshHz = SDL_GetDesktopDisplayMode(std::max(display, 0), &mode) == 0 ? mode.refresh_rate : 0;
  screen.clock = StartRetraceClock(Now(), refreshHz, height);
  layout->format = gdi::kFormat32;
  layout->pitch = SurfacePitch(width * 4);
  return true;
}

bool GetScanLine(DWORD* line) {
  EndIfSignalled();
  return Presenting() && ScanLineAt(screen.clock, Now(), line);
}

}  // namespace platform::sdl
