// The browser's canvas: the display backend of the WebAssembly build. The exclusive
// full-screen mode is the page's canvas covering the page's window, black around the
// picture, which is scaled as on the desktop (by whole pixels where it fits). A flip
// is shown at the page's next animation frame, so at most one frame per refresh, and
// the scan line is read off the same animation frames. A hidden page (another tab,
// a minimised window) is the lost focus. Everything that only the page can do is in
// web_canvas.js; this file keeps the state and speaks the driver interface.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/display_driver.h"
#include "platform/shared/frame_scaling.h"
#include "platform/shared/retrace_clock.h"
#include "platform/user32_internal.h"

// web_canvas.js
extern "C" {
bool web_canvas_available();
void web_canvas_stop();
void web_canvas_show(bool shown);
void web_canvas_size(int width, int height);
void web_canvas_place(int x, int y, int width, int height);
void web_window_size(int* width, int* height);
bool web_page_visible();
void web_set_title(const char* title);
void web_show_cursor(bool shown);
bool web_wait_animation_frame();
void web_put_frame(const std::uint32_t* rgba, int width, int height);
double web_last_animation_frame();
double web_animation_frame_period();
int web_key_state(int virtualKey);
void web_sleep(double milliseconds, bool untilShown);
// Called by web_canvas.js at each change of the window's size.
EMSCRIPTEN_KEEPALIVE void web_window_resized();
}

namespace platform {
namespace {

// A program in a hidden page wakes at most this often.
constexpr double kBackgroundPumpMs = 1000.0;
// The largest canvas side every browser takes.
constexpr int kLargestSide = 8192;

struct WebScreen {
  bool started;
  HWND owner;  // the window shown full screen, or null
  // False once the page was hidden: the canvas stays, holding the last frame, until
  // the program takes the display again.
  bool exclusive;
  bool reportingFocusLoss;
  bool focused;
  int width, height;  // the mode; 0 before SetMode
  int windowWidth, windowHeight;
  double lastPump;
  // The frame in the canvas's byte order, R G B A.
  std::vector<std::uint32_t> rgba;
};

WebScreen screen;

Nanoseconds FromMs(double milliseconds) { return Nanoseconds(milliseconds * 1e6); }

void PlaceCanvas() {
  web_window_size(&screen.windowWidth, &screen.windowHeight);
  if (screen.width == 0 || screen.windowWidth <= 0 || screen.windowHeight <= 0) return;
  const Area at = PicturePlace(screen.width, screen.height, screen.windowWidth, screen.windowHeight);
  web_canvas_place(at.x, at.y, at.width, at.height);
}

void ReleaseScreen() {
  web_canvas_show(false);
  screen.owner = nullptr;
  screen.exclusive = false;
  screen.focused = false;
  screen.width = screen.height = 0;
}

void Stop() {
  ReleaseScreen();
  web_canvas_stop();
}

bool Available() {
  if (!web_canvas_available()) return false;
  if (!screen.started) {
    screen.started = true;
    std::atexit(Stop);
  }
  return true;
}

const char* WhyUnavailable() { return "the page's canvas gives no 2D drawing context"; }

bool EnterExclusive(HWND window) {
  if (screen.owner) {
    // Back from a hidden page: only once it is shown again.
    if (!screen.exclusive && !screen.focused) return false;
    screen.owner = window;
    screen.exclusive = true;
    return true;
  }
  const user32::Window* record = user32::AsWindow(window);
  if (!record) return false;
  screen.owner = window;
  screen.exclusive = true;
  screen.focused = true;  // a page hidden already is reported at the next pump
  web_set_title(record->title.c_str());
  web_canvas_show(record->visible);
  return true;
}

// The page is no desktop to hand back: leaving is taking the canvas away. After the
// page was hidden the canvas stays, for the user to come back to.
void LeaveExclusive() {
  if (screen.reportingFocusLoss)
    screen.exclusive = false;
  else
    ReleaseScreen();
}

bool SetMode(int width, int height, int depth, SurfaceLayout* layout) {
  if (!screen.exclusive || depth != 32) return false;
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return false;
  if (width != screen.width || height != screen.height) {
    screen.width = width;
    screen.height = height;
    screen.rgba.assign(std::size_t(width) * height, 0);
    web_canvas_size(width, height);
  }
  PlaceCanvas();
  layout->format = gdi::kFormat32;
  layout->pitch = width * 4;
  return true;
}

void SetTitle(HWND window, const char* title) {
  if (window == screen.owner) web_set_title(title);
}

void ShowWindow(HWND window, bool shown) {
  if (!screen.owner || window != screen.owner) return;
  if (shown || screen.exclusive)
    web_canvas_show(shown);
  else
    ReleaseScreen();  // the program gives up a screen it had lost
}

void ShowCursor(bool shown) { web_show_cursor(shown); }

// 0x00RRGGBB words, bytes B G R 0, become the canvas's bytes R G B A.
void ToCanvasOrder(const gdi::PixelMemory& frame, int width, int height) {
  for (int y = 0; y < height; ++y) {
    const auto* from = reinterpret_cast<const std::uint32_t*>(frame.bits + std::ptrdiff_t(y) * frame.pitch);
    std::uint32_t* to = screen.rgba.data() + std::size_t(y) * screen.width;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = from[x];
      to[x] = 0xFF000000u | (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
    }
  }
}

// Whether or not the flip asked for the retrace, the page shows the canvas at its
// next animation frame only: one frame per refresh at most.
void Present(const gdi::PixelMemory& frame, bool) {
  if (frame.format.bitsPerPixel != 32 || !screen.exclusive || screen.width == 0) return;
  if (!web_wait_animation_frame()) return;  // hidden meanwhile: nothing is shown
  const int width = std::min<int>(frame.width, screen.width), height = std::min<int>(frame.height, screen.height);
  ToCanvasOrder(frame, width, height);
  web_put_frame(screen.rgba.data(), screen.width, screen.height);
}

// The raster as if it swept the screen between two animation frames.
bool GetScanLine(DWORD* line) {
  if (!screen.exclusive || screen.height == 0) return false;
  RetraceClock clock = StartRetraceClock(FromMs(web_last_animation_frame()), 0, screen.height);
  clock.period = FromMs(web_animation_frame_period());
  return ScanLineAt(clock, FromMs(emscripten_get_now()), line);
}

void PumpEvents() {
  if (!screen.owner) return;
  // A program without the screen has nothing to draw and keeps asking for messages: in
  // a hidden page it is answered once a second, once shown again once per refresh
  // until it has taken the screen back.
  if (!screen.exclusive) {
    const double wait = screen.focused ? web_animation_frame_period() : kBackgroundPumpMs;
    web_sleep(screen.lastPump + wait - emscripten_get_now(), true);
  }
  screen.lastPump = emscripten_get_now();
  const bool visible = web_page_visible();
  if (!visible && screen.focused) {
    screen.focused = false;
    // The layer ends the exclusive mode from in here (LeaveExclusive).
    screen.reportingFocusLoss = true;
    display::FocusLost(screen.owner);
    screen.reportingFocusLoss = false;
  } else if (visible && !screen.focused) {
    screen.focused = true;
    display::FocusRegained(screen.owner);
  }
  // A change of the pixel ratio alone fires no resize (web_window_resized).
  int width = 0, height = 0;
  web_window_size(&width, &height);
  if (width != screen.windowWidth || height != screen.windowHeight) PlaceCanvas();
}

SHORT AsyncKeyState(int virtualKey) { return SHORT(web_key_state(virtualKey)); }

void Sleep(DWORD milliseconds) { web_sleep(milliseconds, false); }

constexpr DisplayDriver kWebDriver = {
    "web",    Available,  WhyUnavailable, EnterExclusive, LeaveExclusive, SetMode,       SetTitle,
    ShowWindow, ShowCursor, Present,      GetScanLine,    PumpEvents,     AsyncKeyState, Sleep,
};

}  // namespace

const DisplayDriver& DisplayDriverInstance() { return kWebDriver; }

}  // namespace platform

void web_window_resized() { platform::PlaceCanvas(); }
