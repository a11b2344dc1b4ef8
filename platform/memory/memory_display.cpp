// The in-memory display backend. Nothing here waits: a flip "at the retrace" and a
// sleep only leave a mark in the view.
#include "platform/memory/memory_display.h"

#include <cstring>
#include <deque>
#include <map>

#include "platform/display_driver.h"

namespace platform::memory {
namespace {

struct State {
  DisplayView view;
  bool available;
  const char* unavailableReason;
  LONG rowPadding;
  std::map<int, gdi::PixelFormat> formats;
  std::deque<long> scanLines;
  std::map<int, std::deque<SHORT>> keyStates;
  std::vector<std::function<void()>> pumpSteps;
  std::vector<BYTE> frameBytes;
  gdi::PixelMemory frame;
};

State DefaultState() {
  State s{};
  s.view.cursorShown = true;
  s.available = true;
  s.formats = {{32, gdi::kFormat32}, {24, gdi::kFormat24}, {16, gdi::kFormat565}, {8, gdi::kFormat8}};
  return s;
}

State state = DefaultState();

bool Available() { return state.available; }
const char* WhyUnavailable() { return state.unavailableReason; }

bool EnterExclusive(HWND window) {
  state.view.exclusive = true;
  state.view.exclusiveWindow = window;
  return true;
}

void LeaveExclusive() {
  state.view.exclusive = false;
  state.view.exclusiveWindow = nullptr;
  state.view.width = state.view.height = state.view.depth = 0;
}

bool SetMode(int width, int height, int depth, SurfaceLayout* layout) {
  auto format = state.formats.find(depth);
  if (width <= 0 || height <= 0 || format == state.formats.end()) return false;
  state.view.width = width;
  state.view.height = height;
  state.view.depth = depth;
  layout->format = format->second;
  layout->pitch = SurfacePitch((width * (depth / 8) + state.rowPadding + 3) / 4 * 4);
  return true;
}

void SetTitle(HWND, const char* title) { state.view.title = title; }
void ShowWindow(HWND, bool shown) { state.view.windowShown = shown; }
void ShowCursor(bool shown) { state.view.cursorShown = shown; }

void Present(const gdi::PixelMemory& frame, bool atRetrace) {
  state.frameBytes.assign(frame.bits, frame.bits + static_cast<std::size_t>(frame.pitch) * frame.height);
  state.frame = frame;
  state.frame.bits = state.frameBytes.data();
  ++state.view.presents;
  state.view.lastAtRetrace = atRetrace;
}

bool GetScanLine(DWORD* line) {
  ++state.view.scanLineQuestions;
  if (state.scanLines.empty()) return false;
  long next = state.scanLines.front();
  state.scanLines.pop_front();
  if (next < 0) return false;
  *line = static_cast<DWORD>(next);
  return true;
}

void PumpEvents() {
  // Steps scheduled by a step run at the pump after this one.
  std::vector<std::function<void()>> steps;
  steps.swap(state.pumpSteps);
  for (auto& step : steps) step();
}

SHORT AsyncKeyState(int virtualKey) {
  auto it = state.keyStates.find(virtualKey);
  if (it == state.keyStates.end() || it->second.empty()) return 0;
  SHORT value = it->second.front();
  it->second.pop_front();
  return value;
}

void Sleep(DWORD milliseconds) { state.view.sleptMilliseconds += milliseconds; }

constexpr DisplayDriver kDriver = {
    "memory", Available, WhyUnavailable, EnterExclusive, LeaveExclusive, SetMode, SetTitle, ShowWindow, ShowCursor,
    Present, GetScanLine, PumpEvents, AsyncKeyState, Sleep,
};

}  // namespace

void ResetDisplay() { state = DefaultState(); }
void OfferFormat(const gdi::PixelFormat& format) { state.formats[format.bitsPerPixel] = format; }
void SetRowPadding(LONG bytes) { state.rowPadding = bytes; }
void SetAvailable(bool available, const char* reason) {
  state.available = available;
  state.unavailableReason = reason;
}

void ScriptScanLines(std::vector<long> lines) { state.scanLines.assign(lines.begin(), lines.end()); }

void ScriptKeyStates(int virtualKey, std::vector<SHORT> states) {
  state.keyStates[virtualKey].assign(states.begin(), states.end());
}

void AtNextPump(std::function<void()> step) { state.pumpSteps.push_back(std::move(step)); }

const DisplayView& View() { return state.view; }

DWORD PresentedValue(LONG x, LONG y) {
  if (!state.frame.bits || x < 0 || y < 0 || x >= state.frame.width || y >= state.frame.height)
    return 0;
  return gdi::ReadPixel(state.frame, x, y);
}

COLORREF PresentedPixel(LONG x, LONG y) {
  return gdi::DecodeColour(state.frame.format, PresentedValue(x, y));
}

LONG PresentedWidth() { return state.frame.width; }
LONG PresentedHeight() { return state.frame.height; }

}  // namespace platform::memory

namespace platform {

const DisplayDriver& DisplayDriverInstance() { return memory::kDriver; }

}  // namespace platform
