#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/bmp_writer.h"
#include "image/pictures.h"
#include "platform/testing.h"
#include "screen/drawing.h"
#include "tests/support/bmp_file.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

using namespace platform;

namespace {

struct {
  ProgramHeader header;
} g;

using Pattern = std::uint32_t (*)(int x, int y);

// Every channel varies, and neighbouring pixels differ.
std::uint32_t Varied(int x, int y) {
  return std::uint32_t((x * 37 + y) & 0xFF) | std::uint32_t((y * 53 + x) & 0xFF) << 8 |
         std::uint32_t((x * y + 7) & 0xFF) << 16;
}
std::uint32_t White(int, int) { return 0x00FFFFFF; }

class BmpWriter : public ::testing::Test {
 protected:
  void SetUp() override { ProgramStart(g, kImageProgram); }
  void TearDown() override {
    test::ClearFaults();
    EXPECT_EQ(EndProgram(), 0u);
  }

  static void Draw(std::int32_t number, int width, int height, Pattern colour) {
    ASSERT_NE(CreatePicture(number, width, height), nullptr);
    BeginDrawing(ImageTarget(number));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) PutPixel(x, y, std::int32_t(colour(x, y)));
    EndDrawing();
  }

  std::string Path(const std::string& name) const { return (folder / name).string(); }

  TempFolder folder;
};

TEST_F(BmpWriter, HeadersSizesAndEveryPixelAsAnIndependentReaderSeesThem) {
  struct Case {
    int width, height;
    std::uint32_t rowBytes;
  };
  const Case cases[] = {{1, 1, 4}, {2, 3, 8}, {3, 2, 12}, {5, 4, 16}, {7, 1, 24}, {256, 256, 768}, {640, 480, 1920}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    Draw(0, c.width, c.height, Varied);
    ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
    BmpBytes file(folder / "p.bmp");
    std::uint32_t pixelBytes = c.rowBytes * c.height;
    ASSERT_EQ(file.bytes.size(), 54 + pixelBytes);
    const std::pair<std::size_t, std::uint32_t> fields32[] = {
        {2, 54 + pixelBytes}, {6, 0}, {10, 54}, {14, 40}, {18, std::uint32_t(c.width)}, {22, std::uint32_t(c.height)},
        {30, 0}, {34, pixelBytes}, {38, 0}, {42, 0}, {46, 0}, {50, 0}};
    EXPECT_EQ(file.U16(0), 0x4D42u);
    for (auto [at, value] : fields32) EXPECT_EQ(file.U32(at), value) << "at offset " << at;
    EXPECT_EQ(file.U16(26), 1u) << "planes";
    EXPECT_EQ(file.U16(28), 24u) << "bits per pixel";
    for (int y = 0; y < c.height; ++y) {
      std::size_t rowEnd = file.Offset(0, y) + c.rowBytes;
      for (std::size_t at = file.Offset(c.width - 1, y) + 3; at < rowEnd; ++at)
        ASSERT_EQ(file.bytes[at], 0) << "padding of row " << y;
    }
    DecodedPicture decoded(folder / "p.bmp");
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        ASSERT_EQ(decoded.At(x, y), Varied(x, y)) << x << ", " << y;
        ASSERT_EQ(file.Colour(x, y), Varied(x, y)) << x << ", " << y;
      }
  }
}

TEST_F(BmpWriter, TheTopLeftPixelIsTheFirstOfTheLastRow) {
  Draw(0, 256, 256, [](int x, int y) { return x == 0 && y == 0 ? 0x00FF0000u : 0u; });
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  BmpBytes file(folder / "p.bmp");
  const std::size_t at = 54 + 255 * 768;
  EXPECT_EQ(file.bytes.at(at), 0xFF);
  std::uint64_t sum = 0;
  for (std::size_t i = 54; i < file.bytes.size(); ++i) sum += file.bytes[i];
  EXPECT_EQ(sum, 0xFFu) << "every other byte of the pixel data is 0";
}

TEST_F(BmpWriter, SavingAgainReplacesTheFileWhole) {
  WriteBytes(folder / "p.bmp", std::string(2'000'000, 'x'));
  Draw(0, 5, 3, Varied);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  Draw(0, 3, 2, White);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
  BmpBytes file(folder / "p.bmp");
  EXPECT_EQ(file.bytes.size(), 54u + 2 * 12);
  EXPECT_EQ(file.Width(), 3);
  EXPECT_EQ(file.Colour(2, 1), 0x00FFFFFFu);
}

TEST_F(BmpWriter, NothingToSaveCreatesNoFile) {
  Draw(0, 4, 4, White);
  EXPECT_EQ(SavePictureBmp(1, Path("p.bmp").c_str()), 0) << "an empty number";
  EXPECT_EQ(SavePictureBmp(99, Path("p.bmp").c_str()), 0) << "beyond the table";
  EXPECT_EQ(SavePictureBmp(0, nullptr), 0) << "no file name";
  EXPECT_EQ(SavePictureBmp(0, Path("missing/p.bmp").c_str()), 0) << "no such folder";
  BeginDrawing(ImageTarget(0));
  EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0) << "bound for drawing";
  EndDrawing();
  EXPECT_TRUE(folder.Names().empty());
}

TEST_F(BmpWriter, AFailureAnywhereLeavesTheOldFileAsItWas) {
  struct Case {
    const char* refuse;
    int skip;
  };
  const Case cases[] = {
      {"HeapAlloc", 0},        {"CreateCompatibleDC", 0}, {"GetDIBits", 0},         {"GetTempFileNameA", 0},
      {"CreateFileA", 0},      {"WriteFile", 0},          {"WriteFile", 1},         {"WriteFile", 2},
      {"WriteFile short", 0},  {"WriteFile short", 1},    {"WriteFile short", 2},   {"MoveFileExA", 0},
  };
  const std::string old = "the picture saved before";
  WriteBytes(folder / "p.bmp", old);
  Draw(0, 64, 64, Varied);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refuse << " after " << c.skip);
    test::RefuseCall(c.refuse, c.skip, 1);
    EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0);
    test::ClearFaults();
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"}) << "no temporary file left";
    std::vector<unsigned char> bytes = ReadBytes(folder / "p.bmp");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), old);
  }
  EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1) << "and then it works";
}

TEST_F(BmpWriter, AFullDeviceLeavesTheOldFileAsItWas) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  // 64 KiB hold the old file but not the new picture of 192 KiB.
  if (mount("tunnel-test", folder.path().c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "this machine does not let tests mount a file system";
  struct Unmount {
    const TempFolder& folder;
    ~Unmount() { umount(folder.path().c_str()); }
  } unmount{folder};
  const std::string old(20'000, 'o');
  WriteBytes(folder / "p.bmp", old);
  Draw(0, 256, 256, Varied);
  EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
  std::vector<unsigned char> bytes = ReadBytes(folder / "p.bmp");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), old);
}

}  // namespace
