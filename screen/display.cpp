// The display library. Every step reports by its result only; nothing is shown to the
// user and nothing is logged.
#include "screen/display.h"

#include <cerrno>
#include <cstdio>

#include "core/frame.h"
#include "platform/gdi32.h"
#include "platform/kernel32.h"
#include "platform/user32.h"
#include "platform/winmm.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_target.h"

using namespace platform;

DisplayState displayState;

namespace {

constexpr char kClassName[] = "MultimediaBase Class";

const char* failure = nullptr;

char memoryFailure[1100];  // room for the longest reason

// Keeps the first reason: a failed InitDisplay says more than the OpenDisplay after it.
// A step the platform refused for want of memory says so.
bool Failed(const char* reason) {
  if (failure) return false;
  failure = reason;
  if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY) {
    std::snprintf(memoryFailure, sizeof memoryFailure, "not enough memory: %s", reason);
    failure = memoryFailure;
  }
  return false;
}
constexpr int kKeyboardKeys = 256;

// The words for a display that could not be had, with the platform's reason.
const char* NoDisplayText() {
  static char text[1024];
  const char* reason = NoDisplayReason();
  std::snprintf(text, sizeof text, "no display to show the screen on (%s)",
                reason ? reason : "no desktop session or console");
  return text;
}

std::int32_t Low16(std::int32_t value) { return static_cast<std::int16_t>(value & 0xFFFF); }

bool CreateScreenWindow() {
  DisplayState& d = displayState;
  if (d.windowCreated || d.window) return d.windowCreated;
  HMODULE module = ModuleHandle();
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = ScreenWindowProc;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(1));
  windowClass.hbrBackground = GetStockObject(BLACK_BRUSH);
  windowClass.lpszClassName = kClassName;
  if (static_cast<WORD>(RegisterClassExA(&windowClass)) == 0) return d.windowCreated;
  // A bare popup: hidden until OpenDisplay shows it over the whole screen.
  d.window = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, module, nullptr);
  d.windowCreated = d.window != nullptr;
  return d.windowCreated;
}

void OpenDirectDraw() {
  DisplayState& d = displayState;
  if (!d.directDraw) {
    d.directDrawModule = LoadLibraryA("DDRAW.DLL");
    if (d.directDrawModule) {
      auto create = reinterpret_cast<DirectDrawCreateExProc>(GetProcAddress(d.directDrawModule, "DirectDrawCreateEx"));
      LPVOID object = nullptr;
      if (create) create(nullptr, &object, IID_IDirectDraw7, nullptr);
      d.directDraw = static_cast<IDirectDraw7*>(object);
      if (!d.directDraw) {
        FreeLibrary(d.directDrawModule);
        d.directDrawModule = nullptr;
      }
    }
  }
  ++d.directDrawUsers;
}

void CloseDirectDraw() {
  DisplayState& d = displayState;
  --d.directDrawUsers;
  if (!d.directDraw || d.directDrawUsers != 0) return;
  d.directDraw->Release();
  FreeLibrary(d.directDrawModule);
  d.directDrawModule = nullptr;
  d.directDraw = nullptr;
}

// Unlike DirectDraw, a library that loads but gives no object stays loaded.
void OpenDirectInput() {
  DisplayState& d = displayState;
  if (!d.directInput) {
    d.directInputModule = LoadLibraryA("DINPUT.DLL");
    if (d.directInputModule) {
      auto create = reinterpret_cast<DirectInputCreateExProc>(GetProcAddress(d.directInputModule, "DirectInputCreateEx"));
      LPVOID object = nullptr;
      if (create) create(ModuleHandle(), DIRECTINPUT_VERSION, IID_IDirectInput7A, &object, nullptr);
      d.directInput = static_cast<IDirectInput7A*>(object);
    }
  }
  ++d.directInputUsers;
}

void CloseDirectInput() {
  DisplayState& d = displayState;
  --d.directInputUsers;
  if (!d.directInput || d.directInputUsers != 0) return;
  d.directInput->Release();
  FreeLibrary(d.directInputModule);
  d.directInputModule = nullptr;
  d.directInput = nullptr;
}

// The standard keyboard format: one optional button per key, byte i for key i.
bool BuildKeyboardFormat() {
  auto* objects = static_cast<DIOBJECTDATAFORMAT*>(
      HeapAlloc(MainHeap(), 0, kKeyboardKeys * sizeof(DIOBJECTDATAFORMAT)));
  if (!objects) return false;
  for (DWORD i = 0; i < kKeyboardKeys; ++i)
    objects[i] = {&GUID_Key, i, DIDFT_BUTTON | DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(i), 0};
  displayState.keyboardFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS,
                                 kKeyboardKeys, kKeyboardKeys, objects};
  return true;
}

bool InitKeyboard() {
  DisplayState& d = displayState;
  OpenDirectInput();
  d.keyboardStarted = true;
  if (!d.directInput) return false;
  if (d.keyboardReady) return true;
  if (!BuildKeyboardFormat()) return false;
  LPVOID device = nullptr;
  if (d.directInput->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A, &device, nullptr) != DI_OK)
    return false;
  d.keyboard = static_cast<IDirectInputDevice7A*>(device);
  if (d.keyboard->SetDataFormat(&d.keyboardFormat) != DI_OK) return false;
  d.keyboardReady = true;
  return true;
}

bool CreateScreenSurfaces() {
  DisplayState& d = displayState;
  DDSURFACEDESC2 primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  primary.dwBackBufferCount = 1;
  if (d.directDraw->CreateSurface(&primary, &d.frontBuffer, nullptr) != DD_OK) return false;
  DDSCAPS2 backCaps{};
  backCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
  return d.frontBuffer->GetAttachedSurface(&backCaps, &d.backBuffer) == DD_OK;
}

void ClearScreenBuffers() {
  DisplayState& d = displayState;
  RECT whole = {0, 0, d.modeWidth, d.modeHeight};
  for (IDirectDrawSurface7* surface : {d.backBuffer, d.frontBuffer}) {
    HDC dc = nullptr;
    if (surface->GetDC(&dc) != DD_OK) continue;
    FillRect(dc, &whole, GetStockObject(BLACK_BRUSH));
    surface->ReleaseDC(dc);
  }
}

void DetectPixelFormat() {
  DisplayState& d = displayState;
  if (!d.frontBuffer || !LockIntoDescription(d.frontBuffer)) return;
  d.frontBuffer->Unlock(nullptr);
  DWORD red = d.surfaceDescription.ddpfPixelFormat.dwRBitMask;
  DWORD green = d.surfaceDescription.ddpfPixelFormat.dwGBitMask;
  switch (d.modeDepth) {
    case 32: d.pixelFormat = red != 0xFF ? kPixels32 : kPixels32RedLow; break;
    case 24: d.pixelFormat = red != 0xFF ? kPixels24 : kPixels24RedLow; break;
    case 16: d.pixelFormat = green == 0x07E0 ? kPixels565 : kPixels555; break;
    default: d.pixelFormat = kPixelsPalette;
  }
}

void ReleaseScreen() {
  DisplayState& d = displayState;
  // Before the buffers go: no pixel may land in a released surface.
  EndScreenDrawing();
  if (d.directDraw) d.directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
  if (d.backBuffer) {
    d.backBuffer->Release();
    d.backBuffer = nullptr;
  }
  if (d.frontBuffer) {
    d.frontBuffer->Release();
    d.frontBuffer = nullptr;
  }
  if (d.window) ShowCursor(TRUE);
  ShowWindow(d.window, SW_HIDE);
}

std::int32_t FailOpen(const char* reason) {
  Failed(reason);
  ReleaseScreen();
  return 0;
}

}  // namespace

bool LockIntoDescription(IDirectDrawSurface7* surface) {
  displayState.surfaceDescription.dwSize = sizeof(DDSURFACEDESC2);
  return surface->Lock(nullptr, &displayState.surfaceDescription, DDLOCK_WAIT, nullptr) == DD_OK;
}

std::int32_t InitDisplay() {
  DisplayState& d = displayState;
  d.backBufferAccess = kBackBufferFree;
  failure = nullptr;
  SetLastError(0);
  if (!CreateScreenWindow()) return Failed("the screen window could not be created");
  if (!InitKeyboard()) return Failed("the keyboard device could not be made");
  d.initialised = true;
  OpenDirectDraw();
  // Short of memory, the display was not even asked: there is no reason of its to give.
  if (!d.directDraw)
    return Failed(GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? "the display could not be started" : NoDisplayText());
  return 1;
}

std::int32_t OpenDisplay(std::int32_t width, std::int32_t height, std::int32_t depth, const char* title) {
  DisplayState& d = displayState;
  width = Low16(width);
  height = Low16(height);
  depth = Low16(depth);
  CloseDisplay();
  SetLastError(0);
  SetWindowTextA(d.window, title);
  MoveWindow(d.window, 0, 0, width, height, TRUE);
  if (!d.window) return FailOpen("there is no screen window");
  // From here on the screen counts as open, whatever fails next.
  d.modeWidth = width;
  d.modeHeight = height;
  d.modeDepth = depth;
  ShowCursor(FALSE);
  if (!d.directDraw) return FailOpen("no display to show the screen on");
  if (d.directDraw->SetCooperativeLevel(d.window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) != DD_OK)
    return FailOpen("the display refused the full-screen mode");
  if (d.directDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height),
                                   static_cast<DWORD>(depth), 0, 0) != DD_OK)
    return FailOpen("the display does not offer the requested size and depth");
  if (!CreateScreenSurfaces()) return FailOpen("the screen buffers could not be created");
  ShowWindow(d.window, SW_SHOWMAXIMIZED);
  ClearScreenBuffers();
  DetectPixelFormat();
  d.active = true;
  d.flipRoutine = FlipScreen;
  timeBeginPeriod(1);
  return 1;
}

void CloseDisplay() {
  DisplayState& d = displayState;
  if (d.modeWidth == 0) return;
  timeEndPeriod(1);
  ReleaseScreen();
  d.modeWidth = 0;
  d.modeHeight = 0;
}

void EndDisplay() {
  if (!displayState.initialised) return;
  ReleaseScreen();
  CloseDirectDraw();
}

void EndKeyboard() {
  DisplayState& d = displayState;
  if (!d.keyboardStarted) return;
  if (d.keyboard) {
    d.keyboard->Unacquire();
    d.keyboard->Release();
    d.keyboard = nullptr;
  }
  CloseDirectInput();
}

LRESULT ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE: displayState.active = LOWORD(wParam) != WA_INACTIVE; return 0;
    case WM_CLOSE: return 0;  // Alt+F4 and the system menu cannot end a program
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 1;
    }
    case WM_ERASEBKGND: return 1;
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

const char* DisplayFailure() { return failure; }

void StopUnlessDisplayOpen(std::int32_t opened) {
  if (opened) return;
  std::fprintf(stderr, "%s: cannot open the display: %s\n", program_invocation_short_name,
               failure ? failure : "unknown reason");
  ProgramEnd(kExitFailure);
}

void ResetDisplayState() {
  displayState = {};
  failure = nullptr;
}
