// Starting and stopping SDL's video, the end signals, sleeping, and the driver table
// that the platform layer calls. sdl_screen.h says what the other files hold.
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sdl/display_loss.h"
#include "platform/sdl/end_signals.h"
#include "platform/sdl/no_display_reason.h"
#include "platform/sdl/sdl_screen.h"
#include "platform/sdl/session_bus.h"
#include "platform/sdl/xlib_messages.h"
#include "platform/testing.h"

namespace platform {
namespace sdl {

SdlScreen screen;

namespace {

// The video drivers that show a person something. Without a display SDL falls back
// by itself to its offscreen driver, where a window is created happily and a program
// would run for ever with nothing shown and no key to end it.
constexpr const char* kRealVideoDrivers[] = {"x11", "wayland", "kmsdrm"};

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

// The X screen that DISPLAY ("host:display.screen") names; 0 when it names none.
int NamedXScreen() {
  const char* name = std::getenv("DISPLAY");
  const char* colon = name ? std::strrchr(name, ':') : nullptr;
  const char* dot = colon ? std::strchr(colon, '.') : nullptr;
  return dot ? std::atoi(dot + 1) : 0;
}

bool Available() { return StartVideo(); }

const char* WhyUnavailable() {
  static std::string reason;
  if (screen.videoStarted) return nullptr;
  reason = WhyNoDisplay();
  return reason.c_str();
}

void Sleep(DWORD milliseconds) {
  EndIfSignalled();
  SleepUntil(Now() + Nanoseconds(milliseconds) * 1'000'000);
  EndIfSignalled();
}

}  // namespace

Nanoseconds Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void StopVideo() {
  DestroyScreenWindow();
  if (screen.videoStarted) SDL_Quit();
  screen.videoStarted = false;
}

// The desktop is handed back, then the process ends by the signal.
void EndIfSignalled() {
  if (int signal = PendingEndSignal()) {
    StopVideo();
    test::Record("EndBySignal " + std::to_string(signal));
    EndBySignal(signal);
  }
}

void SleepUntil(Nanoseconds deadline) {
  timespec at = {time_t(deadline / 1'000'000'000), long(deadline % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) EndIfSignalled();
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
  // The screen window is full screen, without a title bar: libdecor, which draws one
  // where a Wayland compositor does not (weston), would only print its search for
  // plugins on standard error.
  SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
  // Mesa keeps compiled shaders on disk from a thread of the lowest priority; on a busy
  // machine a process cannot end before that thread runs, which took seconds after
  // Ctrl+C. The renderer's few small shaders gain nothing from the cache.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  // A program says in one line of its own why it cannot show the screen; Mesa's loader
  // would add warnings of its own (a driver that did not load for want of memory).
  setenv("EGL_LOG_LEVEL", "fatal", 0);
  // SDL prefers X11's DirectColor visuals, for gamma ramps the screen never sets; their
  // colours are defined only while the window's own colormap is installed, which only
  // SDL's full-screen code does. The desktop's TrueColor visual shows pixels as they are.
  setenv("SDL_VIDEO_X11_NODIRECTCOLOR", "1", 0);
  // Through XRandR SDL lists the monitors of every X screen and opens its windows on
  // the first screen's; without it SDL knows only the screen DISPLAY names, as one
  // display. A server of several screens has a monitor per screen, as a rule.
  if (NamedXScreen() != 0) SDL_SetHint(SDL_HINT_VIDEO_X11_XRANDR, "0");
  // Once, before SDL's first video start: the bus it connects to, and Xlib's lines.
  static bool prepared = false;
  if (!prepared) {
    prepared = true;
    SkipSilentSessionBus();
    QuietMissingExtensions();
  }
  for (const std::string& name : VideoDriversToTry()) {
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name.c_str(), SDL_HINT_OVERRIDE);
    // A display that refuses the program has its library say so on standard error;
    // the program's one line says it instead (WhyUnavailable).
    const HeldStderr held = HoldStderr();
    const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    const std::string said = ReleaseStderr(held);
    if (started) {
      std::fputs(said.c_str(), stderr);
      screen.videoStarted = true;
      break;
    }
  }
  if (!screen.videoStarted) return false;
  screen.onX11 = std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0;
  CatchLostDisplay();
  static bool once = false;
  if (!once) {
    once = true;
    std::atexit(StopVideo);
    CatchEndSignals();
  }
  SDL_AddEventWatch(WatchEvents, nullptr);
  SDL_ShowCursor(screen.cursorHidden ? SDL_DISABLE : SDL_ENABLE);
  return true;
}

constexpr DisplayDriver kSdlDriver = {
    "sdl",     Available, WhyUnavailable, EnterExclusive, LeaveExclusive, SetMode, SetTitle,     ShowWindow,
    ShowCursor, Present,  GetScanLine,    PumpEvents,     AsyncKeyState, Sleep,
};

}  // namespace sdl

const DisplayDriver& DisplayDriverInstance() { return sdl::kSdlDriver; }

}  // namespace platform
