#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/gdi_internal.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_target.h"
#include "tests/support/screen_run.h"

using namespace platform;

namespace {

using ScreenDrawing = ScreenProgramTest;

TEST_F(ScreenDrawing, OneFrameAtDepth32MakesThesePlatformCallsInThisOrder) {
  Open();
  test::StartCallLog();
  BeginDrawing(ScreenTarget());
  for (int x = 0; x < 640; ++x)
    for (int y = 0; y < 480; ++y) PutPixel(x, y, 0x400000);
  EndDrawing();
  EXPECT_EQ(test::TakeCallLog(),
            (std::vector<std::string>{"GetDC back", "ReleaseDC back", "Lock back", "Unlock back", "GetDC back",
                                      "SetTextAlign", "SelectObject", "SelectObject", "CreateSolidBrush",
                                      "SetTextColor", "ReleaseDC back", "Lock back", "SelectObject",
                                      "SelectObject", "DeleteObject", "Unlock back"}));
  EXPECT_EQ(displayState.backBufferAccess, kBackBufferFree);
  PresentFrame(1);
  EXPECT_EQ(memory::PresentedValue(0, 0), 0x40u);
  EXPECT_EQ(memory::PresentedValue(639, 479), 0x40u);
}

TEST_F(ScreenDrawing, ColoursTakeTheLayoutOfTheScreen) {
  struct Row {
    int depth;
    std::int32_t colour;
    DWORD stored;
  };
  const Row rows[] = {
      {32, 0x00000040, 0x00400000}, {32, 0x00400000, 0x00000040}, {32, 0x00FFFFFF, 0x00FFFFFF},
      {32, 0, 0},                   {32, 0x00123456, 0x00563412}, {16, 0x000000FF, 0xF800},
      {16, 0x0000FF00, 0x07E0},     {16, 0x00FF0000, 0x001F},     {16, 0x00FFFFFF, 0xFFFF},
      {16, 0x00070307, 0},          {8, 0x00332211, 0x11},        {8, 0x000000FF, 0xFF},
      // 24 bits go through SetPixelV: bytes B, G, R.
      {24, 0x00123456, 0x00563412}, {24, 0x000000FF, 0x00FF0000},
  };
  ASSERT_NE(InitDisplay(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.depth << " bits, colour " << std::hex << row.colour);
    ASSERT_EQ(OpenDisplay(8, 4, row.depth, "t"), 1);
    ASSERT_NE(BeginDrawing(ScreenTarget()), nullptr);
    test::StartCallLog();
    PutPixel(3, 2, row.colour);
    PutPixel(4, 2, row.colour);
    std::vector<std::string> pixelCalls = test::TakeCallLog();
    EndDrawing();
    PresentFrame(0);
    EXPECT_EQ(memory::PresentedValue(3, 2), row.stored);
    EXPECT_EQ(memory::PresentedValue(4, 2), row.stored);
    EXPECT_EQ(memory::PresentedValue(5, 2), 0u);
    EXPECT_EQ(Contains(pixelCalls, "Lock back"), row.depth != 24);
  }
}

TEST_F(ScreenDrawing, RowsFollowThePitchAndTheBytesBeyondARowStayUntouched) {
  struct Row {
    int width;
    LONG padding, pitch;
  };
  // Rows of a multiple of 128 bytes get one cache line more, so that a column's pixels
  // spread over every cache set (640 pixels: 2624 bytes, not 2560).
  const Row rows[] = {{8, 12, 8 * 4 + 12}, {32, 0, 32 * 4 + 64}, {640, 0, 2624}, {24, 0, 24 * 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << " pixels wide, padding " << row.padding);
    Restart();
    memory::SetRowPadding(row.padding);
    Open(row.width, 4, 32);
    const DrawingTarget* target = ScreenTarget();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->pitch, row.pitch);
    BeginDrawing(target);
    for (int x = 0; x < row.width; ++x)
      for (int y = 0; y < 4; ++y) PutPixel(x, y, 0x00FFFFFF);
    EndDrawing();
    PresentFrame(1);
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    ASSERT_EQ(displayState.frontBuffer->Lock(nullptr, &description, DDLOCK_WAIT, nullptr), DD_OK);
    const BYTE* bits = static_cast<const BYTE*>(description.lpSurface);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < row.width * 4; ++x)  // bytes B, G, R, 0
        ASSERT_EQ(bits[y * description.lPitch + x], x % 4 == 3 ? 0 : 0xFF) << y << "," << x;
      // Never written, not even cleared: what the memory held when it was made.
      for (int x = row.width * 4; x < description.lPitch; ++x) ASSERT_EQ(bits[y * description.lPitch + x], 0xA5);
    }
    displayState.frontBuffer->Unlock(nullptr);
  }
}

TEST_F(ScreenDrawing, TheBackBufferIsHeldOnceAFrame) {
  Open(8, 4, 32);
  ASSERT_NE(ScreenTarget(), nullptr);
  EXPECT_EQ(ScreenTarget(), nullptr);
  PresentFrame(1);
  const DrawingTarget* target = ScreenTarget();
  ASSERT_NE(target, nullptr);
  // A drawing with no pixel never locks; ending it gives the context back.
  BeginDrawing(target);
  test::StartCallLog();
  EndDrawing();
  EXPECT_EQ(Only(test::TakeCallLog(), {"Lock", "Unlock", "ReleaseDC"}), (std::vector<std::string>{"ReleaseDC back"}));
  EXPECT_NE(ScreenTarget(), nullptr);
}

TEST_F(ScreenDrawing, PixelsWithoutAnOpenDrawingChangeNothing) {
  Open(8, 4, 32);
  struct Row {
    const char* when;
    void (*before)();
  };
  const Row rows[] = {
      {"before any drawing", [] {}},
      {"after EndDrawing",
       [] {
         BeginDrawing(ScreenTarget());
         EndDrawing();
       }},
      {"after BeginDrawing(null)", [] { BeginDrawing(nullptr); }},
      {"on a target without context", [] {
         static DrawingTarget noContext{};
         noContext.kind = kScreenTarget;
         BeginDrawing(&noContext);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    row.before();
    test::StartCallLog();
    PutPixel(1, 1, 0x00FFFFFF);
    EndDrawing();
    EXPECT_TRUE(test::TakeCallLog().empty());
    PresentFrame(0);
    EXPECT_EQ(memory::PresentedValue(1, 1), 0u);
  }
}

TEST_F(ScreenDrawing, EndDrawingTwiceEndsOnce) {
  Open(8, 4, 32);
  BeginDrawing(ScreenTarget());
  PutPixel(0, 0, 1);
  EndDrawing();
  test::StartCallLog();
  EndDrawing();
  EXPECT_TRUE(test::TakeCallLog().empty());
}

TEST_F(ScreenDrawing, PixelsOutsideTheSurfaceOrWithoutALockAreSkipped) {
  Open(8, 4, 32);
  BeginDrawing(ScreenTarget());
  for (auto [x, y] : {std::pair{-1, 0}, {8, 0}, {0, -1}, {0, 4}, {100000, 100000}}) PutPixel(x, y, 0x00FFFFFF);
  PutPixel(7, 3, 0x00FFFFFF);
  EndDrawing();
  PresentFrame(0);
  EXPECT_EQ(memory::PresentedValue(7, 3), 0x00FFFFFFu);
  EXPECT_EQ(memory::PresentedValue(0, 0), 0u);

  // The lock of the first pixel fails: that frame's pixels go nowhere.
  BeginDrawing(ScreenTarget());
  test::RefuseCall("Lock back", 0, 1);
  PutPixel(2, 2, 0x00FFFFFF);
  PutPixel(3, 2, 0x00FFFFFF);
  EndDrawing();
  PresentFrame(0);
  EXPECT_EQ(memory::PresentedValue(2, 2), 0u);
  EXPECT_EQ(displayState.backBufferAccess, kBackBufferFree);
  EXPECT_NE(ScreenTarget(), nullptr);
}

TEST_F(ScreenDrawing, ClosingTheScreenEndsItsOpenDrawing) {
  Open(8, 4, 32);
  BeginDrawing(ScreenTarget());
  PutPixel(0, 0, 1);
  CloseDisplay();
  EXPECT_EQ(drawingState.deviceContext, nullptr);
  EXPECT_EQ(displayState.backBufferAccess, kBackBufferFree);
  PutPixel(1, 0, 1);  // no buffer to write to any more
  ASSERT_EQ(OpenDisplay(8, 4, 32, "again"), 1);
  EXPECT_NE(ScreenTarget(), nullptr);
}

}  // namespace
