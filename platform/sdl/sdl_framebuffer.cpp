// How frames reach the window: the one place in this backend that touches pixels.
//
// On X11 they are copied straight into the window's own surface, which SDL hands to the
// X server through shared memory: one copy a frame, no OpenGL loaded at all. Only where
// the frame must be scaled and a graphics card can do it does SDL's renderer draw them;
// on Wayland and on a console, which offer no window surface of their own, it always
// does.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sdl/sdl_screen.h"
#include "platform/testing.h"

namespace platform::sdl {
namespace {

// The window's surface with the picture placed on it. A new surface (SDL makes one
// after the window changed its size) is black around the picture.
SDL_Surface* PlacedSurface() {
  SDL_Surface* surface = SDL_GetWindowSurface(screen.window);
  if (surface && surface != screen.surface) {
    screen.surface = surface;
    screen.picture = PicturePlace(screen.width, screen.height, surface->w, surface->h);
    SDL_FillRect(surface, nullptr, 0);
  }
  return surface;
}

// A frame in the layout of a desktop of fewer colours (16 bits, say): converted on the
// processor, where OpenGL would load its software rasteriser to do the same. A larger
// picture is then stretched within that layout, by whole pixels.
void ConvertOnto(const gdi::PixelMemory& frame, int width, int height, SDL_Surface* surface, const Area& at) {
  const Uint32 format = surface->format->format;
  const int bytes = surface->format->BytesPerPixel;
  if (at.width == width && at.height == height) {
    SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, frame.bits, frame.pitch, format,
                      static_cast<std::uint8_t*>(surface->pixels) + at.y * surface->pitch + at.x * bytes,
                      surface->pitch);
    return;
  }
  // Made again only when the frame's size or the surface's layout changes.
  SDL_Surface*& converted = screen.converted;
  if (converted && (converted->w != width || converted->h != height || converted->format->format != format)) {
    SDL_FreeSurface(converted);
    converted = nullptr;
  }
  if (!converted) converted = SDL_CreateRGBSurfaceWithFormat(0, width, height, surface->format->BitsPerPixel, format);
  if (converted) {
    SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, frame.bits, frame.pitch, format, converted->pixels,
                      converted->pitch);
    SDL_Rect into = {at.x, at.y, at.width, at.height};
    SDL_BlitScaled(converted, nullptr, surface, &into);
  }
}

// Puts a frame on the window's surface and hands what changed to the display.
void ShowOnSurface(const gdi::PixelMemory& frame) {
  const SDL_Surface* placedBefore = screen.surface;
  SDL_Surface* surface = PlacedSurface();
  if (!surface) return;
  const Area at = screen.picture;
  const int width = std::min<int>(frame.width, screen.width), height = std::min<int>(frame.height, screen.height);
  if (surface->format->format != SDL_PIXELFORMAT_RGB888) {
    ConvertOnto(frame, width, height, surface, at);
  } else if (at.width >= screen.width) {
    ScaleByWholePixels(frame.bits, width, height, frame.pitch,
                       static_cast<std::uint8_t*>(surface->pixels) + at.y * surface->pitch + at.x * 4,
                       surface->pitch, at.width / screen.width);
  } else if (SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(frame.bits, width, height, 32, frame.pitch,
                                                                      SDL_PIXELFORMAT_RGB888)) {
    // A display smaller than the frame: shrunk to fit, as SDL's renderers would.
    SDL_Rect into = {at.x, at.y, at.width, at.height};
    SDL_BlitScaled(source, nullptr, surface, &into);
    SDL_FreeSurface(source);
  }
  const SDL_Rect changed = {at.x, at.y, at.width, at.height};
  if (surface == placedBefore)
    SDL_UpdateWindowSurfaceRects(screen.window, &changed, 1);
  else
    SDL_UpdateWindowSurface(screen.window);
}

// Whether this process can reach a graphics card: a DRM render node it may open, or
// NVIDIA's own device. Without one OpenGL is Mesa's software rasteriser, whose threads
// cost several times what scaling by hand does, after loading some 100 MB of code.
bool GraphicsCardReachable() {
  if (access("/dev/nvidiactl", R_OK | W_OK) == 0) return true;
  DIR* nodes = opendir("/dev/dri");
  if (!nodes) return false;
  bool found = false;
  while (const dirent* entry = readdir(nodes)) {
    const std::string name = entry->d_name;
    if (name.rfind("renderD", 0) == 0 && access(("/dev/dri/" + name).c_str(), R_OK | W_OK) == 0) {
      found = true;
      break;
    }
  }
  closedir(nodes);
  return found;
}

// Starts a renderer that draws on a graphics card, or none. Mesa falls back to its
// software rasteriser wherever the X server offers no direct rendering (Xvfb, VNC),
// card or not; such a renderer is dropped again.
bool StartHardwareRenderer() {
  if (!GraphicsCardReachable() || !StartRenderer()) return false;
  SDL_RendererInfo info;
  bool hardware = SDL_GetRendererInfo(screen.renderer, &info) == 0 && (info.flags & SDL_RENDERER_ACCELERATED);
  if (hardware && std::strncmp(info.name, "opengl", 6) == 0) {
    constexpr unsigned GL_RENDERER = 0x1F01;
    using GetString = const unsigned char* (*)(unsigned);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char* name = getString ? reinterpret_cast<const char*>(getString(GL_RENDERER)) : nullptr;
    hardware = name && !std::strstr(name, "llvmpipe") && !std::strstr(name, "softpipe") &&
               !std::strstr(name, "Software Rasterizer");
  }
  if (!hardware) DropRenderer();
  return hardware;
}

}  // namespace

// Vsync is asked for where the display really offers it; the retrace clock steps in
// where it turns out not to wait.
bool StartRenderer() {
  if (screen.renderer) return true;
  screen.renderer = SDL_CreateRenderer(screen.window, -1, SDL_RENDERER_PRESENTVSYNC);
  screen.vsync = true;
  return screen.renderer != nullptr;
}

void DropRenderer() {
  if (screen.texture) SDL_DestroyTexture(screen.texture);
  if (screen.renderer) SDL_DestroyRenderer(screen.renderer);
  screen.texture = nullptr;
  screen.renderer = nullptr;
}

// The window's own surface wherever it takes the frames as they are and no graphics
// card would scale them; SDL's renderer everywhere else.
bool ChoosePresentation(int width, int height) {
  screen.width = width;
  screen.height = height;
  screen.toSurface = false;
  screen.surface = nullptr;
  if (screen.texture) SDL_DestroyTexture(screen.texture);
  screen.texture = nullptr;
  if (screen.onX11) {
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(screen.window, &windowWidth, &windowHeight);
    const bool scaled = windowWidth != width || windowHeight != height;
    if (!(scaled && StartHardwareRenderer())) {
      DropRenderer();
      const SDL_Surface* surface =
          test::Refused("SDL_GetWindowSurface") ? nullptr : SDL_GetWindowSurface(screen.window);
      // Any desktop of true colours: the frame is converted to fewer where it has them.
      if (surface && !SDL_ISPIXELFORMAT_INDEXED(surface->format->format)) {
        screen.toSurface = true;
        // Black around the picture from the start: the frames update only the picture,
        // and a mode of another size leaves none of the old one's pixels outside it.
        PlacedSurface();
        SDL_UpdateWindowSurface(screen.window);
        return true;
      }
    }
  }
  if (!StartRenderer()) return false;
  screen.texture = SDL_CreateTexture(screen.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!screen.texture) return false;
  SDL_SetTextureScaleMode(screen.texture, SDL_ScaleModeNearest);
  SDL_RenderSetLogicalSize(screen.renderer, width, height);
  screen.integerScale = false;
  return true;
}

bool Presenting() { return screen.toSurface || screen.texture; }

// The window changed its size, and SDL drops its surface at the next look. The last
// frame is read back from it first (the picture holds each of its pixels, scaled by
// a whole factor) and shown on the new one straight away.
void CarryPictureOver() {
  SDL_Surface* old = screen.surface;
  screen.surface = nullptr;
  if (!old) return;
  std::vector<Uint32> last(std::size_t(screen.width) * screen.height);
  SDL_Surface* copy = SDL_CreateRGBSurfaceWithFormatFrom(last.data(), screen.width, screen.height, 32,
                                                         screen.width * 4, SDL_PIXELFORMAT_RGB888);
  if (!copy) return;
  const SDL_Rect from = {screen.picture.x, screen.picture.y, screen.picture.width, screen.picture.height};
  SDL_BlitScaled(old, &from, copy, nullptr);
  SDL_FreeSurface(copy);
  ShowOnSurface({reinterpret_cast<BYTE*>(last.data()), screen.width, screen.height, screen.width * 4, gdi::kFormat32});
}

void ShowLastFrame() {
  if (screen.toSurface) {
    if (screen.surface) SDL_UpdateWindowSurface(screen.window);
    return;
  }
  if (!screen.texture) return;
  int outputWidth = 0, outputHeight = 0;
  SDL_GetRendererOutputSize(screen.renderer, &outputWidth, &outputHeight);
  const bool fits = outputWidth >= screen.width && outputHeight >= screen.height;
  if (fits != screen.integerScale) {
    screen.integerScale = fits;
    SDL_RenderSetIntegerScale(screen.renderer, fits ? SDL_TRUE : SDL_FALSE);
  }
  SDL_SetRenderDrawColor(screen.renderer, 0, 0, 0, 255);
  SDL_RenderClear(screen.renderer);
  SDL_RenderCopy(screen.renderer, screen.texture, nullptr, nullptr);
  SDL_RenderPresent(screen.renderer);
}

// One rule on both paths: at most one frame per refresh, whatever the flip asked for.
// A flip at the retrace waits for it; one without goes out at once unless the frame
// before it has not yet reached its retrace (the raster wait alone would let several
// through the lower lines of one refresh).
void Present(const gdi::PixelMemory& frame, bool atRetrace) {
  EndIfSignalled();
  if (frame.format.bitsPerPixel != 32) return;
  FollowRefreshRate();
  if (screen.toSurface) {
    // The X server shows a surface the moment it has it: the clock does all the pacing.
    SleepUntil(ScheduleFrame(screen.clock, Now()));
    ShowOnSurface(frame);
    return;
  }
  if (!screen.texture) return;
  if (atRetrace != screen.vsync) {
    screen.vsync = atRetrace;
    SDL_RenderSetVSync(screen.renderer, atRetrace ? 1 : 0);
  }
  SleepUntil(atRetrace ? ScheduleRetraceFrame(screen.clock, Now()) : ScheduleFrame(screen.clock, Now()));
  const SDL_Rect area = {0, 0, std::min<int>(frame.width, screen.width),
                         std::min<int>(frame.height, screen.height)};
  SDL_UpdateTexture(screen.texture, &area, frame.bits, frame.pitch);
  ShowLastFrame();
  if (atRetrace) NotePresented(screen.clock, Now());
}

}  // namespace platform::sdl
