#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi32.h"
#include "platform/display_driver.h"
#include "platform/gdi_internal.h"
#include "platform/kernel32.h"
#include "platform/memory/memory_display.h"
#include "platform/testing.h"
#include "platform/user32.h"

using namespace platform;

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  bool operator==(const Seen&) const = default;
};
std::vector<Seen> seen;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back({window, message, wParam});
  return message == WM_CLOSE ? DefWindowProcA(window, message, wParam, lParam) : 40 + message;
}

WNDCLASSEXA ClassNamed(const char* name) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = RecordingProc;
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  c.lpszClassName = name;
  return c;
}

HWND MakeWindow(const char* className, int width = 4, int height = 3) {
  WNDCLASSEXA c = ClassNamed(className);
  RegisterClassExA(&c);
  return CreateWindowExA(0, className, "", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

void Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

class User32 : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::ResetDisplay();
    test::ClearFaults();
    seen.clear();
  }
};

TEST_F(User32, RegisterClassRefusesMalformedRecordsAndTakenNames) {
  struct Case {
    const char* what;
    void (*spoil)(WNDCLASSEXA&);
  };
  const Case cases[] = {
      {"wrong record size", [](WNDCLASSEXA& c) { c.cbSize = 47; }},
      {"no procedure", [](WNDCLASSEXA& c) { c.lpfnWndProc = nullptr; }},
      {"no name", [](WNDCLASSEXA& c) { c.lpszClassName = nullptr; }},
      {"name taken", [](WNDCLASSEXA& c) { c.lpszClassName = "taken"; }},
  };
  WNDCLASSEXA first = ClassNamed("taken");
  ASSERT_NE(RegisterClassExA(&first), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WNDCLASSEXA record = ClassNamed("fresh");
    c.spoil(record);
    EXPECT_EQ(RegisterClassExA(&record), 0);
  }
  EXPECT_EQ(CreateWindowExA(0, "never registered", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
}

TEST_F(User32, PostedMessagesReachTheProcedureInOrderAndFiltersHoldOthersBack) {
  HWND a = MakeWindow("order a"), b = MakeWindow("order b");
  ASSERT_TRUE(a && b);
  PostMessageA(a, WM_KEYUP, 1, 0);
  PostMessageA(b, WM_LBUTTONDOWN, 2, 0);
  PostMessageA(a, WM_RBUTTONUP, 3, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_LBUTTONDOWN);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_RBUTTONUP, WM_RBUTTONUP, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(DispatchMessageA(&m), LRESULT(40 + WM_RBUTTONUP));
  seen.clear();
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{a, WM_KEYUP, 1}, {a, WM_RBUTTONUP, 3}}));
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(User32, TranslateMessageTypesTheCharactersOfKeys) {
  HWND w = MakeWindow("typing");
  PostMessageA(w, WM_KEYDOWN, 'Q', 0);
  PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(w, WM_KEYDOWN, 0x70, 0);  // F1 types nothing
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{w, WM_KEYDOWN, 'Q'},
                                     {w, WM_KEYDOWN, VK_ESCAPE},
                                     {w, WM_KEYDOWN, 0x70},
                                     {w, WM_CHAR, 'q'},
                                     {w, WM_CHAR, VK_ESCAPE}}));
}

TEST_F(User32, TheDisplayPostsItsEventsFromInsideThePump) {
  HWND w = MakeWindow("pumped");
  memory::AtNextPump([w] { PostMessageA(w, WM_LBUTTONUP, 7, 0); });
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{w, WM_LBUTTONUP, 7}}));
}

TEST_F(User32, FocusChangesArriveAsActivationMessages) {
  HWND w = MakeWindow("focus");
  memory::AtNextPump([w] {
    display::FocusLost(w);
    display::FocusRegained(w);
  });
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{w, WM_ACTIVATE, WA_INACTIVE}, {w, WM_ACTIVATE, WA_ACTIVE}}));
}

TEST_F(User32, ClosingThroughDefWindowProcDestroysTheWindow) {
  HWND w = MakeWindow("closing");
  PostMessageA(w, WM_CLOSE, 0, 0);
  PostMessageA(w, WM_KEYUP, 0, 0);  // dropped with its window
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{w, WM_CLOSE, 0}}));
  EXPECT_EQ(GetDC(w), nullptr);
  EXPECT_FALSE(PostMessageA(w, WM_KEYUP, 0, 0));
}

TEST_F(User32, ShowingAndHidingSendsActivationAndTellsTheDisplay) {
  HWND w = MakeWindow("shown");
  EXPECT_FALSE(ShowWindow(w, SW_SHOWMAXIMIZED));
  EXPECT_TRUE(memory::View().windowShown);
  EXPECT_TRUE(ShowWindow(w, SW_SHOWMAXIMIZED));  // already shown: nothing sent
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_FALSE(memory::View().windowShown);
  EXPECT_EQ(seen, (std::vector<Seen>{{w, WM_SHOWWINDOW, 1},
                                     {w, WM_ACTIVATE, WA_ACTIVE},
                                     {w, WM_SHOWWINDOW, 0},
                                     {w, WM_ACTIVATE, WA_INACTIVE}}));
  EXPECT_TRUE(SetWindowTextA(w, "Title"));
  EXPECT_EQ(memory::View().title, "Title");
}

TEST_F(User32, TheCursorHidesWhileTheCounterIsBelowZero) {
  const struct {
    BOOL show;
    int counter;
    bool shown;
  } steps[] = {{FALSE, -1, false}, {FALSE, -2, false}, {TRUE, -1, false}, {TRUE, 0, true}, {TRUE, 1, true}};
  for (const auto& step : steps) {
    EXPECT_EQ(ShowCursor(step.show), step.counter);
    EXPECT_EQ(memory::View().cursorShown, step.shown);
  }
  ShowCursor(FALSE);
}

TEST_F(User32, WindowContextsDrawIntoTheWindowAndOutliveAResize) {
  HWND w = MakeWindow("drawn", 4, 3);
  HDC dc = GetDC(w);
  ASSERT_NE(dc, nullptr);
  RECT all = {0, 0, 4, 3};
  EXPECT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 1);
  const gdi::PixelMemory* before = gdi::TargetOf(dc);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(gdi::ReadPixel(*before, 3, 2), 0x00FFFFFFu);
  // The old context keeps its pixels until it is released; a new one sees the new size.
  EXPECT_TRUE(MoveWindow(w, 0, 0, 8, 6, TRUE));
  EXPECT_TRUE(SetPixelV(dc, 1, 1, 0x0000FF));
  HDC after = GetDC(w);
  EXPECT_EQ(gdi::TargetOf(after)->width, 8);
  EXPECT_EQ(gdi::ReadPixel(*gdi::TargetOf(after), 3, 2), 0x00FFFFFFu);
  EXPECT_EQ(ReleaseDC(w, dc), 1);
  EXPECT_EQ(ReleaseDC(w, dc), 0);
  EXPECT_EQ(ReleaseDC(w, after), 1);
  EXPECT_EQ(seen.back(), (Seen{w, WM_SIZE, 0}));
}

// No memory for a window's pixels: the call fails, nothing is thrown, and the window
// keeps its size and pixels; the last error says why.
TEST_F(User32, AWindowWithoutMemoryForItsPixelsFailsByItsResult) {
  test::RefuseCall("ResizePixels", 0, 1);
  SetLastError(0);
  EXPECT_EQ(MakeWindow("starved", 4, 3), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);

  HWND w = MakeWindow("kept", 4, 3);
  HDC dc = GetDC(w);
  RECT all = {0, 0, 4, 3};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(w, dc);
  test::RefuseCall("ResizePixels", 0, 1);
  EXPECT_FALSE(MoveWindow(w, 0, 0, 640, 480, TRUE));
  dc = GetDC(w);
  EXPECT_EQ(gdi::TargetOf(dc)->width, 4);
  EXPECT_EQ(gdi::ReadPixel(*gdi::TargetOf(dc), 3, 2), 0x00FFFFFFu);
  ReleaseDC(w, dc);
  EXPECT_TRUE(MoveWindow(w, 0, 0, 640, 480, TRUE)) << "and with memory it moves";
}

TEST_F(User32, KeyStatesComeFromTheDisplay) {
  memory::ScriptKeyStates(VK_ESCAPE, {0, SHORT(0x8001)});
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), SHORT(0x8001));
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
}

}  // namespace
