#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/display_driver.h"
#include "platform/kernel32.h"
#include "platform/user32.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_target.h"
#include "tests/support/screen_run.h"

using namespace platform;

namespace {

using Presentation = ScreenProgramTest;
using Log = std::vector<std::string>;

const std::vector<std::string> kPacingCalls = {"SetThreadPriority", "GetScanLine", "Sleep", "Flip"};

void DrawFrame(std::int32_t colour) {
  BeginDrawing(ScreenTarget());
  PutPixel(0, 0, colour);
  EndDrawing();
}

TEST_F(Presentation, PacingModes) {
  struct Row {
    const char* what;
    std::int32_t height;
    std::int32_t mode;
    std::vector<long> scanLines;  // negative: no answer (the blank)
    Log calls;
    bool atRetrace;
  };
  const Log raised = {"SetThreadPriority 2"}, restored = {"SetThreadPriority 0"};
  const Row rows[] = {
      {"mode 0 flips at once", 480, 0, {100}, {"Flip 9"}, false},
      {"mode 1 flips at the retrace", 480, 1, {100}, {"Flip 1"}, true},
      {"mode 5 acts as 1", 480, 5, {100}, {"Flip 1"}, true},
      {"mode 2 sleeps above line 330",
       480,
       2,
       {0, 329, 330},
       {"SetThreadPriority 2", "GetScanLine", "Sleep 1", "GetScanLine", "Sleep 1", "GetScanLine",
        "SetThreadPriority 0", "Flip 9"},
       false},
      {"mode 3 waits, then flips at the retrace",
       480,
       3,
       {12, 479},
       {"SetThreadPriority 2", "GetScanLine", "Sleep 1", "GetScanLine", "SetThreadPriority 0", "Flip 1"},
       true},
      {"mode 2 stops waiting in the blank",
       480,
       2,
       {5, -1, 5},
       {"SetThreadPriority 2", "GetScanLine", "Sleep 1", "GetScanLine", "SetThreadPriority 0", "Flip 9"},
       false},
      {"mode -2 keeps only its two low bits",
       480,
       -2,
       {400},
       {"SetThreadPriority 2", "GetScanLine", "SetThreadPriority 0", "Flip 9"},
       false},
      {"under 150 lines only the blank ends the wait",
       100,
       2,
       {0, 99, 99, -1},
       {"SetThreadPriority 2", "GetScanLine", "Sleep 1", "GetScanLine", "Sleep 1", "GetScanLine", "Sleep 1",
        "GetScanLine", "SetThreadPriority 0", "Flip 9"},
       false},
      {"at 150 lines it never sleeps",
       150,
       2,
       {0},
       {"SetThreadPriority 2", "GetScanLine", "SetThreadPriority 0", "Flip 9"},
       false},
  };
  ASSERT_NE(InitDisplay(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(OpenDisplay(640, row.height, 32, "t"), 1);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    DrawFrame(0x00FFFFFF);
    int presents = memory::View().presents;
    memory::ScriptScanLines(row.scanLines);
    test::StartCallLog();
    PresentFrame(row.mode);
    EXPECT_EQ(Only(test::TakeCallLog(), kPacingCalls), row.calls);
    EXPECT_EQ(memory::View().presents, presents + 1);
    EXPECT_EQ(memory::View().lastAtRetrace, row.atRetrace);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(memory::PresentedPixel(0, 0), 0x00FFFFFFu);
  }
}

TEST_F(Presentation, TheRasterWaitPutsBackWhateverPriorityItFound) {
  Open();
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  memory::ScriptScanLines({1});
  test::StartCallLog();
  PresentFrame(2);
  EXPECT_EQ(Only(test::TakeCallLog(), {"SetThreadPriority"}),
            (Log{"SetThreadPriority 2", "SetThreadPriority -1"}));
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

TEST_F(Presentation, AnInactiveWindowGetsItsMessagesAndNoFlip) {
  struct Row {
    const char* how;
    void (*deactivate)();
  };
  const Row rows[] = {
      {"already inactive", [] { ScreenWindowProc(displayState.window, WM_ACTIVATE, WA_INACTIVE, 0); }},
      {"deactivated during the pump",
       [] { memory::AtNextPump([] { PostMessageA(displayState.window, WM_ACTIVATE, WA_INACTIVE, 0); }); }},
      {"focus lost during the pump", [] { memory::AtNextPump([] { display::FocusLost(displayState.window); }); }},
  };
  ASSERT_NE(InitDisplay(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    ASSERT_EQ(OpenDisplay(640, 480, 32, "t"), 1);
    DrawFrame(0x00FFFFFF);
    row.deactivate();
    PostMessageA(displayState.window, WM_KEYUP, VK_ESCAPE, 0);
    int presents = memory::View().presents;
    memory::ScriptScanLines({0, 0, 0});
    test::StartCallLog();
    PresentFrame(3);
    EXPECT_EQ(Only(test::TakeCallLog(), kPacingCalls), Log{});
    EXPECT_EQ(memory::View().presents, presents);
    EXPECT_FALSE(displayState.active);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
  }
}

TEST_F(Presentation, AfterSwitchingAwayAndBackTheScreenComesBack) {
  Open();
  DrawFrame(0x000040);
  PresentFrame(1);
  memory::AtNextPump([] { display::FocusLost(displayState.window); });
  PresentFrame(1);
  EXPECT_FALSE(memory::View().exclusive);
  EXPECT_EQ(ScreenTarget(), nullptr);  // the surfaces are lost: the frame is skipped
  DrawFrame(0x400000);
  PresentFrame(1);

  memory::AtNextPump([] { display::FocusRegained(displayState.window); });
  int presents = memory::View().presents;
  test::StartCallLog();
  PresentFrame(1);
  EXPECT_EQ(test::TakeCallLog(), (Log{"Flip 1", "SetCooperativeLevel 0x11", "SetDisplayMode 640x480x32",
                                      "RestoreAllSurfaces", "ShowWindow 3"}));
  EXPECT_EQ(memory::View().presents, presents);  // the lost frame is not shown
  EXPECT_TRUE(memory::View().exclusive);
  EXPECT_EQ(memory::View().depth, 32);

  DrawFrame(0x00FF00);
  PresentFrame(1);
  EXPECT_EQ(memory::View().presents, presents + 1);
  EXPECT_EQ(memory::PresentedPixel(0, 0), 0x00FF00u);
}

TEST_F(Presentation, AnEightBitScreenGetsItsPaletteBack) {
  Open(64, 48, 8);
  IDirectDrawPalette* palette = displayState.frontBuffer->palette;
  ASSERT_NE(palette, nullptr);
  ULONG references = palette->references;
  memory::AtNextPump([] {
    display::FocusLost(displayState.window);
    display::FocusRegained(displayState.window);
  });
  test::StartCallLog();
  PresentFrame(0);
  Log log = test::TakeCallLog();
  EXPECT_EQ(Only(log, {"GetPalette", "SetPalette"}), (Log{"GetPalette front", "SetPalette front"}));
  EXPECT_EQ(displayState.frontBuffer->palette, palette);
  EXPECT_EQ(palette->references, references);
}

TEST_F(Presentation, WithoutAnOpenScreenOnlyMessagesAreHandled) {
  struct Row {
    const char* when;
    void (*setUp)();
  };
  const Row rows[] = {
      {"before OpenDisplay", [] {}},
      {"after CloseDisplay",
       [] {
         OpenDisplay(640, 480, 32, "t");
         CloseDisplay();
       }},
      {"after a failed OpenDisplay",
       [] {
         test::RefuseCall("CreateSurface", 0, 1);
         OpenDisplay(640, 480, 32, "t");
       }},
      {"after a failed OpenDisplay and a drawing",
       [] {
         test::RefuseCall("GetAttachedSurface", 0, 1);
         OpenDisplay(640, 480, 32, "t");
         DrawFrame(1);
       }},
  };
  ASSERT_NE(InitDisplay(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    row.setUp();
    PostMessageA(displayState.window, WM_ACTIVATE, WA_ACTIVE, 0);
    displayState.active = false;
    int presents = memory::View().presents;
    test::StartCallLog();
    for (std::int32_t mode : {0, 1, 2, 3}) PresentFrame(mode);
    EXPECT_EQ(Only(test::TakeCallLog(), kPacingCalls), Log{});
    EXPECT_TRUE(displayState.active);  // the message arrived
    EXPECT_EQ(memory::View().presents, presents);
  }
}

TEST_F(Presentation, ACloseRequestLeavesTheProgramRunning) {
  Open();
  PostMessageA(displayState.window, WM_CLOSE, 0, 0);
  PresentFrame(1);
  EXPECT_TRUE(PostMessageA(displayState.window, WM_KEYUP, 0, 0));
  DrawFrame(0x00FFFFFF);
  int presents = memory::View().presents;
  PresentFrame(1);
  EXPECT_EQ(memory::View().presents, presents + 1);
}

TEST_F(Presentation, ADrawingNotEndedIsEndedByTheFrame) {
  Open();
  BeginDrawing(ScreenTarget());
  PutPixel(0, 0, 0x00FFFFFF);
  test::StartCallLog();
  PresentFrame(1);
  EXPECT_EQ(Only(test::TakeCallLog(), {"Unlock", "Flip"}), (Log{"Unlock back", "Flip 1"}));
  EXPECT_EQ(memory::PresentedPixel(0, 0), 0x00FFFFFFu);
}

// The frame ends the drawing too: a PutPixel after PresentFrame must not reach the
// buffer now on show, nor, after the surfaces were restored, the memory they had.
TEST_F(Presentation, APixelAfterTheFrameGoesNowhere) {
  Open();
  auto frontWord = [](LONG x) {
    const gdi::PixelMemory& front = displayState.frontBuffer->memory;
    return reinterpret_cast<const std::uint32_t*>(front.bits)[x];
  };
  BeginDrawing(ScreenTarget());
  PutPixel(0, 0, 0x00FFFFFF);
  PresentFrame(1);
  EXPECT_EQ(drawingState.deviceContext, nullptr);
  std::uint32_t shown = frontWord(1);
  PutPixel(1, 0, 0x00FFFFFF);
  EXPECT_EQ(frontWord(1), shown) << "written into the frame on show";

  memory::AtNextPump([] { display::FocusLost(displayState.window); });
  PresentFrame(1);
  memory::AtNextPump([] { display::FocusRegained(displayState.window); });
  PresentFrame(1);  // restores the surfaces into new memory
  PutPixel(2, 0, 0x00FFFFFF);
  EndDrawing();

  DrawFrame(0x0000FF);
  PresentFrame(1);
  EXPECT_EQ(memory::PresentedPixel(0, 0), 0x0000FFu);
  EXPECT_EQ(memory::PresentedValue(2, 0), memory::PresentedValue(3, 0)) << "the stray pixel arrived";
}

// Out of memory when the surfaces come back: the frames are skipped until the memory
// is there again; nothing is thrown at the program.
TEST_F(Presentation, SurfacesWithoutMemoryComeBackWhenThereIsMemory) {
  Open();
  memory::AtNextPump([] {
    display::FocusLost(displayState.window);
    display::FocusRegained(displayState.window);
  });
  test::RefuseCall("NewSurface", 0, 2);
  PresentFrame(1);
  EXPECT_EQ(ScreenTarget(), nullptr) << "still lost";
  int presents = memory::View().presents;
  PresentFrame(1);  // the second refusal: restored on the next frame
  DrawFrame(0x00FF00);
  PresentFrame(1);
  EXPECT_EQ(memory::View().presents, presents);
  DrawFrame(0x00FF00);
  PresentFrame(1);
  EXPECT_EQ(memory::View().presents, presents + 1);
  EXPECT_EQ(memory::PresentedPixel(0, 0), 0x00FF00u);
}

}  // namespace
