// Window classes, windows, the message queue and window device contexts. A window's
// handle is the address of its record; the table of live records lets every call
// refuse a handle that was never made or whose window is gone.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/gdi32.h"
#include "platform/gdi_internal.h"
#include "platform/no_memory.h"
#include "platform/testing.h"
#include "platform/user32_internal.h"

namespace platform {
namespace user32 {
namespace {

struct WindowClass {
  std::string name;
  WNDPROC procedure;
  HBRUSH background;
};

// The pixels a window's device contexts draw into (32 bits, 0x00RRGGBB). A context
// still open when the window changes size keeps drawing into the old pixels, which
// stay until the last context is released.
// Zeroed by calloc, which takes large blocks as fresh pages: the memory of a window
// nothing draws into (the screen window, whose frames go to the display) is never touched.
struct FreeBytes {
  void operator()(BYTE* bytes) const { std::free(bytes); }
};
using PixelBytes = std::unique_ptr<BYTE[], FreeBytes>;

struct WindowPixels {
  std::vector<PixelBytes> retired;
  PixelBytes bits;
  gdi::PixelMemory memory;
  std::vector<HDC> contexts;
};

struct WindowRecord {
  Window window;
  WindowPixels pixels;
};

std::vector<WindowClass> classes;
std::unordered_map<const void*, std::unique_ptr<WindowRecord>> liveWindows;
std::vector<MSG> queue;  // a vector: unlike a deque it takes no memory before main

WindowRecord* RecordOf(HWND handle) {
  return liveWindows.count(handle) ? reinterpret_cast<WindowRecord*>(handle) : nullptr;
}

const WindowClass* FindClass(LPCSTR name) {
  if (!name) return nullptr;
  for (const WindowClass& c : classes)
    if (c.name == name) return &c;
  return nullptr;
}

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

void ResizePixels(WindowPixels& pixels, LONG width, LONG height) {
  width = std::max<LONG>(width, 0);
  height = std::max<LONG>(height, 0);
  gdi::PixelMemory memory = {nullptr, width, height, width * 4, gdi::kFormat32};
  PixelBytes bits(static_cast<BYTE*>(std::calloc(static_cast<std::size_t>(memory.pitch) * height + 4, 1)));
  if (!bits || test::Refused("ResizePixels")) throw std::bad_alloc();
  memory.bits = bits.get();
  LONG rows = std::min(height, pixels.memory.height);
  LONG rowBytes = std::min(memory.pitch, pixels.memory.pitch);
  for (LONG y = 0; y < rows; ++y)
    std::memcpy(memory.bits + y * memory.pitch, pixels.memory.bits + y * pixels.memory.pitch,
                static_cast<std::size_t>(rowBytes));
  if (!pixels.contexts.empty() && pixels.bits) pixels.retired.push_back(std::move(pixels.bits));
  pixels.bits = std::move(bits);
  pixels.memory = memory;
}

// A device context on the window's pixels, or 0 when there is no memory for it.
HDC OpenContext(WindowPixels& pixels) {
  pixels.contexts.reserve(pixels.contexts.size() + 1);
  HDC dc = gdi::CreateMemoryTargetDC(pixels.memory);
  if (dc) pixels.contexts.push_back(dc);
  return dc;
}

bool ReleaseContext(WindowPixels& pixels, HDC dc) {
  auto it = std::find(pixels.contexts.begin(), pixels.contexts.end(), dc);
  if (it == pixels.contexts.end()) return false;
  pixels.contexts.erase(it);
  gdi::DeleteMemoryTargetDC(dc);
  if (pixels.contexts.empty()) pixels.retired.clear();
  return true;
}

void Destroy(WindowRecord* record) {
  for (HDC dc : record->pixels.contexts) gdi::DeleteMemoryTargetDC(dc);
  std::erase_if(queue, [&](const MSG& m) { return m.hwnd == reinterpret_cast<HWND>(record); });
  liveWindows.erase(record);
}

// The character a key-down types, or 0.
WPARAM CharacterOf(WPARAM key) {
  if (key == VK_BACK || key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE) return key;
  if (key >= '0' && key <= '9') return key;
  if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
  return 0;
}

}  // namespace

int cursorCounter = 0;

Window* AsWindow(HWND handle) {
  WindowRecord* record = RecordOf(handle);
  return record ? &record->window : nullptr;
}

LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = AsWindow(handle);
  return window ? window->procedure(handle, message, wParam, lParam) : 0;
}

bool TakeQueued(MSG* message, HWND window, UINT first, UINT last, bool remove) {
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (window && it->hwnd != window) continue;
    if ((first || last) && (it->message < first || it->message > last)) continue;
    *message = *it;
    if (remove) queue.erase(it);
    return true;
  }
  return false;
}

}  // namespace user32

using user32::AsWindow;
using user32::RecordOf;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
  return FailingWithoutMemory<ATOM>(0, [&]() -> ATOM {
    test::Record("RegisterClassExA");
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
        !windowClass->lpszClassName || user32::FindClass(windowClass->lpszClassName) ||
        test::Refused("RegisterClassExA"))
      return 0;
    user32::classes.push_back(
        {windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hbrBackground});
    // Atoms of registered classes start where the system's own end.
    return static_cast<ATOM>(0xC000 + user32::classes.size());
  });
}

HICON LoadIconA(HINSTANCE, LPCSTR) {
  test::Record("LoadIconA");
  return nullptr;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
  return FailingWithoutMemory<HWND>(nullptr, [&]() -> HWND {
    test::Record("CreateWindowExA");
    const user32::WindowClass* windowClass = user32::FindClass(className);
    if (!windowClass || test::Refused("CreateWindowExA")) return nullptr;
    auto owned = std::make_unique<user32::WindowRecord>();
    user32::WindowRecord* record = owned.get();
    record->window = {windowClass->procedure, windowClass->background, title ? title : "",
                      style & ~WS_VISIBLE, {x, y, x + width, y + height}, false};
    user32::ResizePixels(record->pixels, width, height);
    user32::liveWindows.emplace(record, std::move(owned));
    auto handle = reinterpret_cast<HWND>(record);
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
  });
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    test::Record("MoveWindow " + std::to_string(width) + "x" + std::to_string(height));
    user32::WindowRecord* record = RecordOf(handle);
    if (!record) return FALSE;
    RECT& rect = record->window.rect;
    bool resized = user32::Width(rect) != width || user32::Height(rect) != height;
    // New pixels first: a window that cannot have them keeps its size.
    if (resized) user32::ResizePixels(record->pixels, width, height);
    rect = {x, y, x + width, y + height};
    if (resized) {
      user32::Send(handle, WM_SIZE, 0,
                   static_cast<LPARAM>((static_cast<DWORD>(height & 0xFFFF) << 16) | (width & 0xFFFF)));
    }
    return TRUE;
  });
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    if (window && !AsWindow(window)) return FALSE;
    user32::queue.push_back({window, message, wParam, lParam, 0, {0, 0}});
    return TRUE;
  });
}

BOOL TranslateMessage(const MSG* message) {
  if (!message || (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN)) return FALSE;
  WPARAM character = user32::CharacterOf(message->wParam);
  if (!character) return FALSE;
  UINT charMessage = message->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  return PostMessageA(message->hwnd, charMessage, character, message->lParam);
}

LRESULT DispatchMessageA(const MSG* message) {
  if (!message) return 0;
  test::Dispatched(message->message, message->lParam);
  return user32::Send(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM) {
  user32::WindowRecord* record = RecordOf(handle);
  if (!record) return 0;
  switch (message) {
    case WM_ERASEBKGND: {
      const gdi::PixelMemory& memory = record->pixels.memory;
      RECT all = {0, 0, memory.width, memory.height};
      return FillRect(reinterpret_cast<HDC>(wParam), &all, record->window.background) ? 1 : 0;
    }
    case WM_CLOSE: user32::Destroy(record); return 0;
    default: return 0;
  }
}

HDC GetDC(HWND handle) {
  return FailingWithoutMemory<HDC>(nullptr, [&]() -> HDC {
    test::Record("GetDC window");
    user32::WindowRecord* record = RecordOf(handle);
    if (!record || test::Refused("GetDC window")) return nullptr;
    return user32::OpenContext(record->pixels);
  });
}

int ReleaseDC(HWND handle, HDC dc) {
  test::Record("ReleaseDC window");
  user32::WindowRecord* record = RecordOf(handle);
  return record && user32::ReleaseContext(record->pixels, dc);
}

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint) {
  return FailingWithoutMemory<HDC>(nullptr, [&]() -> HDC {
    test::Record("BeginPaint");
    user32::WindowRecord* record = RecordOf(handle);
    if (!record || !paint) return nullptr;
    *paint = {};
    paint->hdc = user32::OpenContext(record->pixels);
    if (!paint->hdc) return nullptr;
    paint->rcPaint = {0, 0, record->pixels.memory.width, record->pixels.memory.height};
    return paint->hdc;
  });
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint) {
  test::Record("EndPaint");
  user32::WindowRecord* record = RecordOf(handle);
  return record && paint && user32::ReleaseContext(record->pixels, paint->hdc);
}

namespace test {

void ForgetWindows() {
  while (!user32::liveWindows.empty())
    user32::Destroy(user32::liveWindows.begin()->second.get());
  user32::classes.clear();
  user32::queue.clear();
  user32::cursorCounter = 0;
}

}  // namespace test

}  // namespace platform
