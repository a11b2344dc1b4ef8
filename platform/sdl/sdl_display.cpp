// The real screen: a display backend over SDL2 for an X11 or Wayland desktop, or a
// Linux console through KMS. The exclusive full-screen mode is a window covering its
// display at the desktop's own resolution (a real mode switch resizes the whole X
// desktop and is not always undone; Wayland cannot switch at all); the frames are
// scaled to it, aspect kept, by whole pixels where they fit.
//
// How frames reach the window. On X11 they are copied straight into the window's own
// surface, which SDL hands to the X server through shared memory: one copy a frame, no
// OpenGL loaded at all. Only where the frame must be scaled and a graphics card can do
// it does SDL's renderer draw them; on Wayland and on a console, which offer no window
// surface of their own, it always does.
#include <SDL.h>
#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/display_driver.h"
#include "platform/sdl/end_signals.h"
#include "platform/sdl/frame_scaling.h"
#include "platform/sdl/retrace_clock.h"
#include "platform/sdl/x11_full_screen.h"
#include "platform/testing.h"
#include "platform/user32_internal.h"

namespace platform {
namespace {

// The video drivers that show a person something. Without a display SDL falls back
// by itself to its offscreen driver, where a window is created happily and a program
// would run for ever with nothing shown and no key to end it.
constexpr const char* kRealVideoDrivers[] = {"x11", "wayland", "kmsdrm"};

// The largest frame side SDL's renderers take as a texture everywhere.
constexpr int kLargestSide = 8192;

struct SdlDisplay {
  bool videoStarted;
  bool onX11;
  SDL_Window* window;
  // The renderer's texture holds the last frame; without a renderer the window's
  // surface does, placed on it at `picture`.
  SDL_Renderer* renderer;
  SDL_Texture* texture;
  bool toSurface;
  SDL_Surface* surface;  // the window surface the picture was placed on, or null
  sdl::Area picture;
  HWND owner;  // the window shown full screen
  // False once the focus went elsewhere: the window stays on the desktop, so the user
  // can switch back to it, until the program takes the display again.
  bool exclusive;
  bool reportingFocusLoss;
  int width, height;
  bool integerScale;
  bool cursorHidden;
  bool focused;
  sdl::RetraceClock clock;
  sdl::Nanoseconds lastPump;
  // Escape and the other keys as seen by the event watch: down now, and pressed since
  // the last GetAsyncKeyState for that key.
  bool keyDown[SDL_NUM_SCANCODES];
  bool keyPressed[SDL_NUM_SCANCODES];
};

SdlDisplay screen;

sdl::Nanoseconds Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return sdl::Nanoseconds(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void DropRenderer() {
  if (screen.texture) SDL_DestroyTexture(screen.texture);
  if (screen.renderer) SDL_DestroyRenderer(screen.renderer);
  screen.texture = nullptr;
  screen.renderer = nullptr;
}

void DestroyScreenWindow() {
  DropRenderer();
  if (screen.window) SDL_DestroyWindow(screen.window);
  screen.window = nullptr;
  screen.toSurface = false;
  screen.surface = nullptr;
  screen.owner = nullptr;
  screen.exclusive = false;
  screen.width = screen.height = 0;
  screen.focused = false;
}

void StopVideo() {
  DestroyScreenWindow();
  if (screen.videoStarted) SDL_Quit();
  screen.videoStarted = false;
}

// Every entry point comes through here, so an end signal is acted on within a frame:
// the desktop is handed back, then the process ends by the signal.
void EndIfSignalled() {
  if (int signal = sdl::PendingEndSignal()) {
    StopVideo();
    sdl::EndBySignal(signal);
  }
}

void SleepUntil(sdl::Nanoseconds deadline) {
  timespec at = {time_t(deadline / 1'000'000'000), long(deadline % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) EndIfSignalled();
}

bool IsOurs(Uint32 windowId) {
  return screen.window && windowId == SDL_GetWindowID(screen.window);
}

// The window's surface with the picture placed on it. A new surface (SDL makes one
// after the window changed its size) is black around the picture.
SDL_Surface* PlacedSurface() {
  SDL_Surface* surface = SDL_GetWindowSurface(screen.window);
  if (surface && surface != screen.surface) {
    screen.surface = surface;
    screen.picture = sdl::PicturePlace(screen.width, screen.height, surface->w, surface->h);
    SDL_FillRect(surface, nullptr, 0);
  }
  return surface;
}

// Puts a frame on the window's surface and hands what changed to the display.
void ShowOnSurface(const gdi::PixelMemory& frame) {
  const SDL_Surface* placedBefore = screen.surface;
  SDL_Surface* surface = PlacedSurface();
  if (!surface) return;
  const sdl::Area at = screen.picture;
  const int width = std::min<int>(frame.width, screen.width), height = std::min<int>(frame.height, screen.height);
  if (at.width >= screen.width) {
    sdl::ScaleByWholePixels(frame.bits, width, height, frame.pitch,
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

// The drivers to try: those the user named in SDL_VIDEODRIVER that show something,
// then the rest in SDL's own order of preference.
std::vector<std::string> VideoDriversToTry() {
  std::vector<std::string> names;
  auto isReal = [](const std::string& name) {
    return std::any_of(std::begin(kRealVideoDrivers), std::end(kRealVideoDrivers),
                       [&](const char* real) { return name == real; });
  };
  // A Wayland compositor's socket lives in XDG_RUNTIME_DIR unless WAYLAND_DISPLAY gives
  // a full path; without either, trying Wayland only makes its library print an error.
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  bool waylandReachable = (runtimeDir && *runtimeDir) || (wayland && wayland[0] == '/');
  auto add = [&](const std::string& name) {
    if (name == "wayland" && !waylandReachable) return;
    if (isReal(name) && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  };
  if (const char* asked = std::getenv("SDL_VIDEODRIVER")) {
    std::string list = asked;
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t end = std::min(list.find(',', start), list.size());
      add(list.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const char* name : kRealVideoDrivers) add(name);
  return names;
}

bool StartVideo() {
  if (screen.videoStarted) return true;
  // SDL's own handlers would turn Ctrl+C and SIGTERM into a quit event, which reaches
  // the program as a close request and is ignored like one.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // SDL drops a click that comes within 10 ms of the window's getting the focus, as
  // the first click after a quick start does; the platform's windows get that click.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Without this SDL would back a window's surface with its OpenGL renderer, not with
  // the X server's shared memory.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Mesa keeps compiled shaders on disk from a thread of the lowest priority; on a busy
  // machine a process cannot end before that thread runs, which took seconds after
  // Ctrl+C. The renderer's few small shaders gain nothing from the cache.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  // SDL prefers X11's DirectColor visuals, for gamma ramps the screen never sets; their
  // colours are defined only while the window's own colormap is installed, which only
  // SDL's full-screen code does. The desktop's TrueColor visual shows pixels as they are.
  setenv("SDL_VIDEO_X11_NODIRECTCOLOR", "1", 0);
  for (const std::string& name : VideoDriversToTry()) {
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name.c_str(), SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      screen.videoStarted = true;
      break;
    }
  }
  if (!screen.videoStarted) return false;
  screen.onX11 = std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0;
  static bool once = false;
  if (!once) {
    once = true;
    std::atexit(StopVideo);
    sdl::CatchEndSignals();
  }
  SDL_AddEventWatch(WatchEvents, nullptr);
  SDL_ShowCursor(screen.cursorHidden ? SDL_DISABLE : SDL_ENABLE);
  return true;
}

// Window titles come in the platform's 8-bit text; SDL takes UTF-8.
std::string Utf8(const std::string& latin1) {
  std::string text;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      text += char(c);
    } else {
      text += char(0xC0 | (c >> 6));
      text += char(0x80 | (c & 0x3F));
    }
  }
  return text;
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

void PumpEvents() {
  EndIfSignalled();
  if (!screen.videoStarted) return;
  // A program in the background has nothing to draw and keeps asking for messages;
  // one pump per refresh answers it as well and leaves the core to the program the
  // user went to.
  if (screen.window && !screen.exclusive) SleepUntil(screen.lastPump + screen.clock.period);
  screen.lastPump = Now();
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_WINDOWEVENT:
        if (IsOurs(event.window.windowID)) HandleWindowEvent(event.window);
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (IsOurs(event.button.windowID) && event.button.which != SDL_TOUCH_MOUSEID)
          PostButton(event.button);
        break;
      case SDL_KEYDOWN:
        // With no window manager (a console, a bare X server) nobody else turns
        // Alt+F4 into a close request.
        if (IsOurs(event.key.windowID) && event.key.keysym.sym == SDLK_F4 &&
            (event.key.keysym.mod & KMOD_ALT) && !event.key.repeat)
          PostMessageA(screen.owner, WM_CLOSE, 0, 0);
        // On a console SDL takes the keyboard from the terminal, which then sends no
        // SIGINT for Ctrl+C: the key itself ends the program.
        if (event.key.keysym.sym == SDLK_c && (event.key.keysym.mod & KMOD_CTRL) &&
            std::strcmp(SDL_GetCurrentVideoDriver(), "kmsdrm") == 0) {
          StopVideo();
          sdl::EndBySignal(SIGINT);
        }
        break;
      default:  // SDL_QUIT included: only a signal ends the program, and it has its own path
        break;
    }
  }
}

bool Available() { return StartVideo(); }

// A window covering the display. On X11 it is borderless and asks for the full-screen
// state itself (x11_full_screen.h says why); elsewhere SDL makes it full screen.
SDL_Window* CreateScreenWindow(const std::string& title) {
  if (!screen.onX11)
    return SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                            SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_HIDDEN);
  SDL_Rect display;
  if (SDL_GetDisplayBounds(0, &display) != 0) return nullptr;
  return SDL_CreateWindow(title.c_str(), display.x, display.y, display.w, display.h,
                          SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
}

void ShowScreenWindow() {
  // A window manager forgets the state of a window that was hidden.
  if (screen.onX11 && !(SDL_GetWindowFlags(screen.window) & SDL_WINDOW_SHOWN))
    sdl::AskFullScreenState(screen.window);
  SDL_ShowWindow(screen.window);
}

// Vsync is asked for where the display really offers it; the retrace clock steps in
// where it turns out not to wait.
bool StartRenderer() {
  if (!screen.renderer) screen.renderer = SDL_CreateRenderer(screen.window, -1, SDL_RENDERER_PRESENTVSYNC);
  return screen.renderer != nullptr;
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
      if (surface && surface->format->format == SDL_PIXELFORMAT_RGB888) {
        screen.toSurface = true;
        PlacedSurface();  // black around the picture from the start
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

bool EnterExclusive(HWND window) {
  EndIfSignalled();
  if (!StartVideo()) return false;
  if (screen.window) {
    // Back from another application: only once the user has given the focus back.
    if (!screen.exclusive && !screen.focused) return false;
    screen.owner = window;
    screen.exclusive = true;
    return true;
  }
  const user32::Window* record = user32::AsWindow(window);
  if (!record) return false;
  screen.window = CreateScreenWindow(Utf8(record->title));
  if (!screen.window) return false;
  // On X11 the mode decides how frames are shown; elsewhere only a renderer can.
  if (!screen.onX11 && !StartRenderer()) {
    SDL_DestroyWindow(screen.window);
    screen.window = nullptr;
    return false;
  }
  screen.owner = window;
  screen.exclusive = true;
  screen.focused = false;
  if (record->visible) ShowScreenWindow();
  return true;
}

// The desktop never changed its mode, so handing it back is taking the window away.
// After a focus loss the window stays where it is, so the user can switch back to it.
void LeaveExclusive() {
  if (screen.reportingFocusLoss)
    screen.exclusive = false;
  else
    DestroyScreenWindow();
}

bool SetMode(int width, int height, int depth, SurfaceLayout* layout) {
  EndIfSignalled();
  // The frames go to SDL as they are, so only the layout SDL takes unchanged is offered.
  if (!screen.window || depth != 32) return false;
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return false;
  const bool presenting = screen.toSurface || screen.texture;
  if ((!presenting || width != screen.width || height != screen.height) && !ChoosePresentation(width, height))
    return false;
  SDL_DisplayMode mode{};
  const int display = SDL_GetWindowDisplayIndex(screen.window);
  const int refreshHz = SDL_GetDesktopDisplayMode(std::max(display, 0), &mode) == 0 ? mode.refresh_rate : 0;
  screen.clock = sdl::StartRetraceClock(Now(), refreshHz, height);
  layout->format = gdi::kFormat32;
  layout->pitch = width * 4;
  return true;
}

void SetTitle(HWND window, const char* title) {
  if (screen.window && window == screen.owner) SDL_SetWindowTitle(screen.window, Utf8(title).c_str());
}

void ShowWindow(HWND window, bool shown) {
  if (!screen.window || window != screen.owner) return;
  if (shown) {
    ShowScreenWindow();
    SDL_RaiseWindow(screen.window);
  } else if (screen.exclusive) {
    SDL_HideWindow(screen.window);
  } else {
    DestroyScreenWindow();  // the program gives up a screen it had lost
  }
}

void ShowCursor(bool shown) {
  screen.cursorHidden = !shown;
  if (screen.videoStarted) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void Present(const gdi::PixelMemory& frame, bool atRetrace) {
  EndIfSignalled();
  if (frame.format.bitsPerPixel != 32) return;
  if (screen.toSurface) {
    // The X server shows a surface the moment it has it, so the clock lets through at
    // most one frame per refresh, whether or not the frame asked for the retrace.
    SleepUntil(sdl::ScheduleFrame(screen.clock, Now()));
    ShowOnSurface(frame);
    return;
  }
  if (!screen.texture) return;
  if (atRetrace) SleepUntil(sdl::ScheduleRetraceFrame(screen.clock, Now()));
  const SDL_Rect area = {0, 0, std::min<int>(frame.width, screen.width),
                         std::min<int>(frame.height, screen.height)};
  SDL_UpdateTexture(screen.texture, &area, frame.bits, frame.pitch);
  ShowLastFrame();
  if (atRetrace) sdl::NotePresented(screen.clock, Now());
}

bool GetScanLine(DWORD* line) {
  EndIfSignalled();
  return (screen.toSurface || screen.texture) && sdl::ScanLineAt(screen.clock, Now(), line);
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

void Sleep(DWORD milliseconds) {
  EndIfSignalled();
  SleepUntil(Now() + sdl::Nanoseconds(milliseconds) * 1'000'000);
  EndIfSignalled();
}

constexpr DisplayDriver kSdlDriver = {
    "sdl",     Available, EnterExclusive, LeaveExclusive, SetMode, SetTitle,     ShowWindow,
    ShowCursor, Present,  GetScanLine,    PumpEvents,     AsyncKeyState, Sleep,
};

}  // namespace

const DisplayDriver& DisplayDriverInstance() { return kSdlDriver; }

}  // namespace platform
