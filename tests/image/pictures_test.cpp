#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/pictures.h"
#include "platform/gdi32.h"
#include "platform/testing.h"
#include "screen/drawing.h"
#include "tests/support/program_run.h"

using namespace platform;

namespace {

struct {
  ProgramHeader header;
} g;

// The picture's colours 0x00BBGGRR, top row first, read through the platform; empty
// when the bitmap cannot be read (deleted, or still selected for drawing).
std::vector<std::uint32_t> Colours(HBITMAP bitmap, int width, int height) {
  std::vector<BYTE> rows(std::size_t((3 * width + 3) & ~3) * height);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  int lines = GetDIBits(dc, bitmap, 0, UINT(height), rows.data(), &info, DIB_RGB_COLORS);
  DeleteDC(dc);
  std::vector<std::uint32_t> colours;
  if (lines != height) return colours;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const BYTE* p = &rows[std::size_t(y) * ((3 * width + 3) & ~3) + 3 * x];
      colours.push_back(p[2] | p[1] << 8 | p[0] << 16);
    }
  return colours;
}

bool Alive(HBITMAP bitmap) { return GetObjectA(bitmap, 0, nullptr) != 0; }

// Every context the calls asked for, less those refused, was deleted again.
void ExpectContextsPaired(const std::vector<std::string>& log, long refused = 0) {
  auto asked = std::count(log.begin(), log.end(), "CreateDCA") + std::count(log.begin(), log.end(), "CreateCompatibleDC");
  EXPECT_EQ(asked - refused, std::count(log.begin(), log.end(), "DeleteDC"));
}

class Pictures : public ::testing::Test {
 protected:
  void SetUp() override { ProgramStart(g, kImageProgram); }
  void TearDown() override {
    test::ClearFaults();
    EXPECT_EQ(EndProgram(), 0u);
  }
  static PictureRecord* Record(std::int32_t number) {
    return static_cast<PictureRecord*>(FindObject(pictureTable, number));
  }
};

TEST_F(Pictures, StartMakesAnEmptyTableOfSixteenAndAnIdleImageTarget) {
  ASSERT_NE(pictureTable, nullptr);
  EXPECT_EQ(pictureTable->capacity, 16u);
  EXPECT_EQ(pictureTable->growthStep, 16u);
  EXPECT_EQ(pictureTable->objectSize, sizeof(PictureRecord));
  EXPECT_EQ(pictureTable->releaseAction, &FreePicture);
  ASSERT_NE(imageTargetRecord, nullptr);
  EXPECT_EQ(imageTargetRecord->memoryContext, nullptr);
}

TEST_F(Pictures, ANewPictureIsBlackAndDescribedInItsRecord) {
  test::StartCallLog();
  HBITMAP bitmap = CreatePicture(3, 7, 5);
  std::vector<std::string> log = test::TakeCallLog();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "FillRect"), log.end()) << "cleared, not trusted to be black";
  ExpectContextsPaired(log);
  PictureRecord* record = Record(3);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->handle, bitmap);
  EXPECT_EQ(record->width, 7);
  EXPECT_EQ(record->height, 5);
  EXPECT_EQ(record->depth, 32);
  EXPECT_EQ(record->flags, kDisplayFormatPicture);
  EXPECT_EQ(Colours(bitmap, 7, 5), std::vector<std::uint32_t>(35, 0));
}

TEST_F(Pictures, ReusingANumberFreesTheOldPicture) {
  ASSERT_NE(CreatePicture(0, 4, 4), nullptr);
  test::StartCallLog();
  HBITMAP second = CreatePicture(0, 8, 2);
  std::vector<std::string> log = test::TakeCallLog();
  ASSERT_NE(second, nullptr);
  // The old bitmap goes before the new one is made (which may then get its handle).
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "DeleteObject");
  EXPECT_EQ(std::count(log.begin(), log.end(), "DeleteObject"), 1);
  EXPECT_EQ(Record(0)->handle, second);
  EXPECT_EQ(Record(0)->width, 8);
  // Freed even when the new one cannot be made: the number is taken first.
  test::RefuseCall("CreateCompatibleBitmap");
  EXPECT_EQ(CreatePicture(0, 4, 4), nullptr);
  EXPECT_FALSE(Alive(second));
  EXPECT_EQ(Record(0), nullptr);
}

TEST_F(Pictures, NumberTwentyGrowsTheTableToThirtySix) {
  ASSERT_NE(CreatePicture(20, 2, 2), nullptr);
  EXPECT_EQ(pictureTable->capacity, 36u);
  for (int n = 0; n < 36; ++n) EXPECT_EQ(Record(n) != nullptr, n == 20) << n;
}

TEST_F(Pictures, CreationFailuresLeaveTheNumberEmpty) {
  struct Case {
    const char* what;
    const char* refuse;
    std::int32_t number, width, height;
  };
  const Case cases[] = {
      {"no display context", "CreateDCA", 1, 4, 4},
      {"no bitmap", "CreateCompatibleBitmap", 1, 4, 4},
      {"zero width", nullptr, 1, 0, 4},
      {"negative height", nullptr, 1, 4, -4},
      {"wider than the record holds", nullptr, 1, 32768, 1},
      {"negative number", nullptr, -1, 4, 4},
      {"no memory to grow", "HeapReAlloc", 100, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.refuse) test::RefuseCall(c.refuse, 0, 1);
    test::StartCallLog();
    EXPECT_EQ(CreatePicture(c.number, c.width, c.height), nullptr);
    ExpectContextsPaired(test::TakeCallLog(), c.refuse && std::string(c.refuse) == "CreateDCA" ? 1 : 0);
    EXPECT_EQ(Record(c.number), nullptr);
    FirstObject(pictureTable);
    EXPECT_EQ(NextObject(pictureTable, nullptr), nullptr) << "nothing registered";
    test::ClearFaults();
  }
  // Without a memory context the picture is still made, only not cleared.
  test::RefuseCall("CreateCompatibleDC", 0, 1);
  EXPECT_NE(CreatePicture(2, 4, 4), nullptr);
  EXPECT_NE(Record(2), nullptr);
}

TEST_F(Pictures, DrawingThroughTheImageTargetSetsExactColoursInsideThePicture) {
  HBITMAP bitmap = CreatePicture(0, 3, 2);
  const DrawingTarget* target = ImageTarget(0);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->kind, kImageTarget);
  EXPECT_EQ(target->deviceContext, imageTargetRecord->memoryContext);
  EXPECT_EQ(target->window, nullptr);
  ASSERT_NE(BeginDrawing(target), nullptr);
  PutPixel(0, 0, 0x00123456);
  PutPixel(2, 1, 0x00FFFFFF);
  for (auto [x, y] : {std::pair{3, 0}, {-1, 0}, {0, 2}, {0, -1}}) PutPixel(x, y, 0x00FFFFFF);
  EXPECT_EQ(Colours(bitmap, 3, 2), std::vector<std::uint32_t>()) << "bound while drawing";
  EndDrawing();
  EXPECT_EQ(imageTargetRecord->memoryContext, nullptr);
  EXPECT_EQ(Colours(bitmap, 3, 2), (std::vector<std::uint32_t>{0x00123456, 0, 0, 0, 0, 0x00FFFFFF}));
}

TEST_F(Pictures, ImageTargetIsOneRecordWhoseOldContextGoes) {
  CreatePicture(0, 2, 2);
  CreatePicture(1, 2, 2);
  const DrawingTarget* first = ImageTarget(0);
  ASSERT_NE(first, nullptr);
  test::StartCallLog();
  const DrawingTarget* second = ImageTarget(1);
  std::vector<std::string> log = test::TakeCallLog();
  EXPECT_EQ(second, first);
  EXPECT_NE(second->deviceContext, nullptr);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "DeleteDC") << "the first call's context goes first";
  EXPECT_NE(Colours(Record(0)->handle, 2, 2), std::vector<std::uint32_t>()) << "picture 0 is free again";

  EXPECT_EQ(ImageTarget(5), nullptr) << "an empty number";
  EXPECT_EQ(imageTargetRecord->memoryContext, nullptr);
  EXPECT_EQ(ImageTarget(99), nullptr) << "beyond the table";
}

TEST_F(Pictures, ImageTargetFailsWhenItsContextCannotBeMadeOrTakeTheBitmap) {
  CreatePicture(0, 2, 2);
  test::RefuseCall("CreateCompatibleDC", 0, 1);
  EXPECT_EQ(ImageTarget(0), nullptr);
  // A bitmap sits in one context at a time.
  HDC elsewhere = CreateCompatibleDC(nullptr);
  SelectObject(elsewhere, Record(0)->handle);
  test::StartCallLog();
  EXPECT_EQ(ImageTarget(0), nullptr);
  ExpectContextsPaired(test::TakeCallLog());
  EXPECT_EQ(imageTargetRecord->memoryContext, nullptr);
  DeleteDC(elsewhere);
}

TEST_F(Pictures, FreeAndEndDeleteEveryBitmap) {
  HBITMAP kept[3] = {CreatePicture(0, 2, 2), CreatePicture(7, 2, 2), CreatePicture(40, 2, 2)};
  FreePicture(7);
  EXPECT_FALSE(Alive(kept[1]));
  EXPECT_EQ(Record(7), nullptr);
  FreePicture(7);
  FreePicture(1000);
  FreePicture(-3);
  EXPECT_TRUE(Alive(kept[0]));
  EXPECT_TRUE(Alive(kept[2]));
  PicturesEnd();
  EXPECT_FALSE(Alive(kept[0]));
  EXPECT_FALSE(Alive(kept[2]));
  FirstObject(pictureTable);
  EXPECT_EQ(NextObject(pictureTable, nullptr), nullptr);
}

TEST_F(Pictures, WithoutATableEverythingDoesNothing) {
  test::RefuseCall("HeapAlloc");
  PicturesStart();
  test::ClearFaults();
  ASSERT_EQ(pictureTable, nullptr);
  ASSERT_EQ(imageTargetRecord, nullptr);
  EXPECT_EQ(CreatePicture(0, 4, 4), nullptr);
  EXPECT_EQ(ImageTarget(0), nullptr);
  FreePicture(0);
  PicturesEnd();
}

}  // namespace
