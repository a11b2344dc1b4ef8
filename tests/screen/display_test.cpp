#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/gdi32.h"
#include "platform/gdi_internal.h"
#include "platform/user32.h"
#include "tests/support/screen_run.h"

using namespace platform;

namespace {

using Display = ScreenProgramTest;

// Every pixel of a surface, read through a lock.
bool AllPixels(IDirectDrawSurface7* surface, DWORD stored) {
  DDSURFACEDESC2 description{};
  description.dwSize = sizeof description;
  if (surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  gdi::PixelMemory memory = {static_cast<BYTE*>(description.lpSurface), LONG(description.dwWidth),
                             LONG(description.dwHeight), description.lPitch,
                             {int(description.ddpfPixelFormat.dwRGBBitCount), 0, 0, 0}};
  bool all = true;
  for (LONG y = 0; y < memory.height && all; ++y)
    for (LONG x = 0; x < memory.width && all; ++x) all = gdi::ReadPixel(memory, x, y) == stored;
  surface->Unlock(nullptr);
  return all;
}

bool DesktopGivenBack() {
  const memory::DisplayView& view = memory::View();
  return !view.exclusive && view.depth == 0 && view.cursorShown && !view.windowShown;
}

TEST_F(Display, FailureTable) {
  struct Row {
    const char* situation;
    std::function<void()> fault;
    std::int32_t initResult;
    std::int32_t openResult;
    std::function<void(const std::vector<std::string>& log)> check;
  };
  const Row rows[] = {
      {"window class refused", [] { test::RefuseCall("RegisterClassExA"); }, 0, 0,
       [](const auto& log) {
         EXPECT_FALSE(displayState.windowCreated);
         EXPECT_FALSE(Contains(log, "LoadLibraryA DINPUT.DLL"));
         EXPECT_FALSE(Contains(log, "LoadLibraryA DDRAW.DLL"));
         // No window at OpenDisplay: the failure path runs, the cursor is never hidden.
         EXPECT_FALSE(Contains(log, "ShowCursor FALSE"));
         EXPECT_TRUE(memory::View().cursorShown);
       }},
      {"window refused", [] { test::RefuseCall("CreateWindowExA"); }, 0, 0,
       [](const auto& log) {
         EXPECT_EQ(displayState.window, nullptr);
         EXPECT_FALSE(Contains(log, "LoadLibraryA DINPUT.DLL"));
       }},
      {"DINPUT.DLL missing", [] { test::RefuseCall("LoadLibraryA DINPUT.DLL"); }, 0, 0,
       [](const auto& log) {
         EXPECT_TRUE(displayState.keyboardStarted);
         EXPECT_FALSE(displayState.initialised);
         EXPECT_FALSE(Contains(log, "LoadLibraryA DDRAW.DLL"));
       }},
      {"no DirectInput entry point", [] { test::RefuseCall("GetProcAddress DirectInputCreateEx"); }, 0, 0,
       [](const auto&) {
         // The library that gave no object stays loaded.
         EXPECT_EQ(test::ModuleReferences("DINPUT.DLL"), 1);
         EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
       }},
      {"no DirectInput object", [] { test::RefuseCall("DirectInputCreateEx"); }, 0, 0,
       [](const auto&) { EXPECT_EQ(test::ModuleReferences("DINPUT.DLL"), 1); }},
      {"keyboard device refused", [] { test::RefuseCall("CreateDeviceEx"); }, 0, 0,
       [](const auto& log) {
         EXPECT_FALSE(displayState.keyboardReady);
         EXPECT_FALSE(Contains(log, "LoadLibraryA DDRAW.DLL"));
       }},
      {"keyboard format refused", [] { test::RefuseCall("SetDataFormat"); }, 0, 0,
       [](const auto&) { EXPECT_NE(displayState.keyboard, nullptr); }},
      {"DDRAW.DLL missing", [] { test::RefuseCall("LoadLibraryA DDRAW.DLL"); }, 0, 0,
       [](const auto&) {
         EXPECT_TRUE(displayState.initialised);
         EXPECT_EQ(displayState.directDraw, nullptr);
       }},
      {"no DirectDraw entry point", [] { test::RefuseCall("GetProcAddress DirectDrawCreateEx"); }, 0, 0,
       [](const auto& log) {
         EXPECT_TRUE(displayState.initialised);
         EXPECT_TRUE(Contains(log, "FreeLibrary DDRAW.DLL"));
         EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
       }},
      {"no display at all", [] { memory::SetAvailable(false); }, 0, 0,
       [](const auto&) {
         EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
         EXPECT_TRUE(DesktopGivenBack());
       }},
      {"exclusive mode refused", [] { test::RefuseCall("SetCooperativeLevel 0x11"); }, 1, 0,
       [](const auto& log) {
         EXPECT_TRUE(Contains(log, "SetCooperativeLevel 0x8"));
         EXPECT_TRUE(DesktopGivenBack());
       }},
      {"display mode refused", [] { test::RefuseCall("SetDisplayMode"); }, 1, 0,
       [](const auto&) { EXPECT_TRUE(DesktopGivenBack()); }},
      {"front buffer refused", [] { test::RefuseCall("CreateSurface"); }, 1, 0,
       [](const auto&) {
         EXPECT_EQ(displayState.frontBuffer, nullptr);
         EXPECT_TRUE(DesktopGivenBack());
       }},
      {"back buffer refused", [] { test::RefuseCall("GetAttachedSurface"); }, 1, 0,
       [](const auto& log) {
         EXPECT_TRUE(Contains(log, "Release front"));
         EXPECT_EQ(displayState.frontBuffer, nullptr);
         EXPECT_EQ(displayState.backBuffer, nullptr);
         EXPECT_TRUE(DesktopGivenBack());
       }},
      {"back buffer gives no context while cleared", [] { test::RefuseCall("GetDC back", 0, 1); }, 1, 1,
       [](const auto&) {
         EXPECT_TRUE(AllPixels(displayState.frontBuffer, 0));
         EXPECT_FALSE(AllPixels(displayState.backBuffer, 0));
       }},
      {"front buffer cannot be locked", [] { test::RefuseCall("Lock front"); }, 1, 1,
       [](const auto&) { EXPECT_EQ(displayState.pixelFormat, 0); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.situation);
    Restart();
    row.fault();
    test::StartCallLog();
    EXPECT_EQ(InitDisplay() != 0, row.initResult != 0);
    EXPECT_EQ(OpenDisplay(640, 480, 32, "Varnoxia Tutorial"), row.openResult);
    row.check(test::TakeCallLog());
    test::ClearFaults();
    // Whatever failed, the end steps give the display back and unload DirectDraw; only
    // a DirectInput library that gave no object stays loaded.
    End();
    EXPECT_TRUE(DesktopGivenBack());
    EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
    bool inputLibraryWithoutObject = displayState.directInputModule && !displayState.directInput;
    EXPECT_EQ(test::ModuleReferences("DINPUT.DLL"), inputLibraryWithoutObject ? 1 : 0);
  }
}

TEST_F(Display, NoDisplaySaysWhyInTheBackendsWords) {
  struct Row {
    const char* reason;  // what the backend says, or null
    const char* failure;
  };
  const Row rows[] = {
      {nullptr, "no display to show the screen on (no desktop session or console)"},
      {"DISPLAY=:7 but no X server answers there",
       "no display to show the screen on (DISPLAY=:7 but no X server answers there)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failure);
    Restart();
    memory::SetAvailable(false, row.reason);
    EXPECT_EQ(InitDisplay(), 0);
    EXPECT_EQ(OpenDisplay(640, 480, 32, "Varnoxia Tutorial"), 0);
    ASSERT_NE(DisplayFailure(), nullptr);
    EXPECT_STREQ(DisplayFailure(), row.failure);
    End();
  }
  // The reason goes with the refusal it came with: a later one for another cause
  // says nothing of it.
  Restart();
  test::RefuseCall("DirectDrawCreateEx");
  EXPECT_EQ(InitDisplay(), 0);
  EXPECT_STREQ(DisplayFailure(), "no display to show the screen on (no desktop session or console)");
  test::ClearFaults();
  End();
}

TEST_F(Display, OpensTheModeBlackTitledWithTheCursorHidden) {
  struct Row {
    std::int32_t width, height, depth;
  };
  // Only the low 16 bits count.
  const Row rows[] = {{640, 480, 32}, {640 + 65536, 480, 32}, {640, 480 + 3 * 65536, 32 - 65536}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.width);
    Restart();
    ASSERT_NE(InitDisplay(), 0);
    test::StartCallLog();
    ASSERT_EQ(OpenDisplay(row.width, row.height, row.depth, "Varnoxia Tutorial"), 1);
    std::vector<std::string> log = test::TakeCallLog();
    const memory::DisplayView& view = memory::View();
    EXPECT_TRUE(view.exclusive);
    EXPECT_EQ(view.exclusiveWindow, displayState.window);
    EXPECT_EQ(view.width, 640);
    EXPECT_EQ(view.height, 480);
    EXPECT_EQ(view.depth, 32);
    EXPECT_EQ(view.title, "Varnoxia Tutorial");
    EXPECT_TRUE(view.windowShown);
    EXPECT_FALSE(view.cursorShown);
    EXPECT_TRUE(displayState.active);
    EXPECT_EQ(displayState.modeWidth, 640);
    EXPECT_EQ(displayState.modeHeight, 480);
    EXPECT_EQ(displayState.pixelFormat, kPixels32);
    EXPECT_TRUE(AllPixels(displayState.backBuffer, 0));
    EXPECT_TRUE(AllPixels(displayState.frontBuffer, 0));
    EXPECT_TRUE(Contains(log, "MoveWindow 640x480"));
    EXPECT_TRUE(Contains(log, "timeBeginPeriod 1"));
  }
}

TEST_F(Display, PixelFormatComesFromDepthAndMasks) {
  struct Row {
    gdi::PixelFormat offered;
    std::int32_t code;
  };
  const Row rows[] = {
      {gdi::kFormat32, kPixels32},
      {{32, 0x000000FF, 0x0000FF00, 0x00FF0000}, kPixels32RedLow},
      {gdi::kFormat24, kPixels24},
      {{24, 0x000000FF, 0x0000FF00, 0x00FF0000}, kPixels24RedLow},
      {gdi::kFormat565, kPixels565},
      {gdi::kFormat555, kPixels555},
      {gdi::kFormat8, kPixelsPalette},
  };
  ASSERT_NE(InitDisplay(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    memory::OfferFormat(row.offered);
    ASSERT_EQ(OpenDisplay(64, 48, row.offered.bitsPerPixel, "t"), 1);
    EXPECT_EQ(displayState.pixelFormat, row.code);
  }
}

TEST_F(Display, CloseWithNothingOpenDoesNothingAndReopeningUsesTheSameWindow) {
  ASSERT_NE(InitDisplay(), 0);
  test::StartCallLog();
  CloseDisplay();
  EXPECT_TRUE(test::TakeCallLog().empty());
  ASSERT_EQ(OpenDisplay(640, 480, 32, "a"), 1);
  HWND window = displayState.window;
  CloseDisplay();
  EXPECT_TRUE(DesktopGivenBack());
  EXPECT_EQ(displayState.modeWidth, 0);
  ASSERT_EQ(OpenDisplay(640, 480, 32, "a"), 1);
  EXPECT_EQ(displayState.window, window);
  EXPECT_FALSE(memory::View().cursorShown);
  // Opening an open screen closes it first: one timer request in force.
  test::StartCallLog();
  ASSERT_EQ(OpenDisplay(640, 480, 32, "a"), 1);
  EXPECT_EQ(Only(test::TakeCallLog(), {"time"}), (std::vector<std::string>{"timeEndPeriod 1", "timeBeginPeriod 1"}));
}

TEST_F(Display, WindowProcedureDecidesByMessage) {
  Open();
  HWND window = displayState.window;
  HDC dc = GetDC(window);
  RECT all = {0, 0, 640, 480};
  FillRect(dc, &all, GetStockObject(WHITE_BRUSH));
  struct Row {
    UINT message;
    WPARAM wParam;
    LRESULT result;
    bool activeAfter;
  };
  const Row rows[] = {
      {WM_ACTIVATE, WA_INACTIVE, 0, false},
      {WM_ACTIVATE, WA_CLICKACTIVE, 0, true},
      {WM_ACTIVATE, 0x10000 | WA_INACTIVE, 0, false},  // only the low word counts
      {WM_ACTIVATE, WA_ACTIVE, 0, true},
      {WM_CLOSE, 0, 0, true},
      {WM_PAINT, 0, 1, true},
      {WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 1, true},
      {WM_KEYUP, VK_ESCAPE, 0, true},
      {WM_SYSKEYUP, 0, 0, true},
      {WM_LBUTTONDOWN, 0, 0, true},
      {WM_LBUTTONUP, 0, 0, true},
      {WM_RBUTTONDOWN, 0, 0, true},
      {WM_RBUTTONUP, 0, 0, true},
      {WM_LBUTTONDBLCLK, 0, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    EXPECT_EQ(ScreenWindowProc(window, row.message, row.wParam, 0), row.result);
    EXPECT_EQ(displayState.active, row.activeAfter);
  }
  // The close request left the window, and nothing erased it.
  EXPECT_TRUE(PostMessageA(window, WM_KEYUP, 0, 0));
  EXPECT_EQ(gdi::ReadPixel(*gdi::TargetOf(dc), 5, 5), 0x00FFFFFFu);
  ReleaseDC(window, dc);
}

TEST_F(Display, EndStepsHandTheDisplayBackAndUnloadBothLibraries) {
  Open();
  EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 1);
  EXPECT_EQ(test::ModuleReferences("DINPUT.DLL"), 1);
  test::StartCallLog();
  End();
  std::vector<std::string> log = test::TakeCallLog();
  EXPECT_TRUE(DesktopGivenBack());
  EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
  EXPECT_EQ(test::ModuleReferences("DINPUT.DLL"), 0);
  EXPECT_EQ(Only(log, {"Release", "FreeLibrary", "Unacquire", "SetCooperativeLevel"}),
            (std::vector<std::string>{"SetCooperativeLevel 0x8", "Release back", "Release front",
                                      "Release DirectDraw", "FreeLibrary DDRAW.DLL", "Unacquire",
                                      "Release keyboard", "Release DirectInput", "FreeLibrary DINPUT.DLL"}));
  EXPECT_FALSE(Contains(log, "timeEndPeriod 1"));
}

TEST_F(Display, EndStepsWithoutInitDisplayDoNothing) {
  test::StartCallLog();
  End();
  EXPECT_TRUE(test::TakeCallLog().empty());
}

TEST_F(Display, KeyboardFormatIsTheStandardOne) {
  Open();
  const DIDATAFORMAT& format = displayState.keyboardFormat;
  EXPECT_EQ(format.dwSize, sizeof(DIDATAFORMAT));
  EXPECT_EQ(format.dwObjSize, sizeof(DIOBJECTDATAFORMAT));
  EXPECT_EQ(format.dwFlags, DIDF_RELAXIS);
  EXPECT_EQ(format.dwDataSize, 256u);
  ASSERT_EQ(format.dwNumObjs, 256u);
  for (DWORD i : {0u, 27u, 255u}) {
    EXPECT_EQ(format.rgodf[i].pguid, &GUID_Key);
    EXPECT_EQ(format.rgodf[i].dwOfs, i);
    EXPECT_EQ(format.rgodf[i].dwType, DIDFT_BUTTON | DIDFT_OPTIONAL | (i << 8));
    EXPECT_EQ(format.rgodf[i].dwFlags, 0u);
  }
}

}  // namespace
