#include "platform/shared/frame_scaling.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {
namespace {

TEST(PicturePlace, ScalesByTheLargestWholeFactorThatFitsOrShrinksToFitCentred) {
  struct Case {
    int outputWidth, outputHeight;
    Area place;
  };
  for (Case c : std::vector<Case>{
           {640, 480, {0, 0, 640, 480}},
           {1280, 960, {0, 0, 1280, 960}},
           {1920, 1080, {320, 60, 1280, 960}},   // bars on all four sides
           {1400, 1000, {60, 20, 1280, 960}},
           {1920, 1200, {320, 120, 1280, 960}},
           {2560, 1440, {320, 0, 1920, 1440}},   // three times: the height decides
           {800, 480, {80, 0, 640, 480}},
           {1279, 959, {319, 239, 640, 480}},    // just short of twice: once
           {400, 400, {0, 50, 400, 300}},        // smaller than the frame: shrunk
           {600, 300, {100, 0, 400, 300}},
           {320, 240, {0, 0, 320, 240}},
       }) {
    EXPECT_EQ(PicturePlace(640, 480, c.outputWidth, c.outputHeight), c.place)
        << c.outputWidth << " x " << c.outputHeight;
  }
}

TEST(ScaleByWholePixels, MakesEachPixelASquareAndWritesNothingElse) {
  constexpr int kWidth = 3, kHeight = 2, kSourcePitch = 16;  // a word of padding a row
  std::vector<std::uint8_t> source(kSourcePitch * kHeight, 0xEE);
  auto pixel = [](int x, int y) { return std::uint32_t(0x00102030 + x * 0x010000 + y * 0x000100); };
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t value = pixel(x, y);
      std::memcpy(&source[y * kSourcePitch + x * 4], &value, 4);
    }
  for (int scale : {1, 2, 3}) {
    // The picture sits at (1, 1) of a target with a margin and row padding all round.
    const int targetWidth = kWidth * scale + 3, targetHeight = kHeight * scale + 2;
    const std::uint32_t kUntouched = 0xABCDEF01;
    std::vector<std::uint32_t> target(std::size_t(targetWidth) * targetHeight, kUntouched);
    ScaleByWholePixels(source.data(), kWidth, kHeight, kSourcePitch,
                       reinterpret_cast<std::uint8_t*>(&target[targetWidth + 1]), targetWidth * 4, scale);
    for (int y = 0; y < targetHeight; ++y)
      for (int x = 0; x < targetWidth; ++x) {
        const bool inside = x >= 1 && x < 1 + kWidth * scale && y >= 1 && y < 1 + kHeight * scale;
        const std::uint32_t expected = inside ? pixel((x - 1) / scale, (y - 1) / scale) : kUntouched;
        ASSERT_EQ(target[std::size_t(y) * targetWidth + x], expected) << "scale " << scale << " at " << x << ", " << y;
      }
  }
}

TEST(ScaleByWholePixels, DoublesRowsOfEveryLengthExactly) {
  // Rows a vector loop takes whole, with a remainder, or shorter than one vector.
  for (int width : {1, 3, 4, 8, 11, 640}) {
    constexpr int kHeight = 3;
    std::vector<std::uint32_t> source(std::size_t(width) * kHeight);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = std::uint32_t(0x00010203 * (i + 1));
    // Untouched words at the end of each row, and rows of whole 16-byte lines as on a
    // desktop's surface.
    const int targetWidth = (2 * width + 4) & ~3;
    std::vector<std::uint32_t> target(std::size_t(targetWidth) * 2 * kHeight, 0xABCDEF01);
    ScaleByWholePixels(reinterpret_cast<const std::uint8_t*>(source.data()), width, kHeight, width * 4,
                       reinterpret_cast<std::uint8_t*>(target.data()), targetWidth * 4, 2);
    for (int y = 0; y < 2 * kHeight; ++y)
      for (int x = 0; x < targetWidth; ++x) {
        const std::uint32_t expected = x < 2 * width ? source[std::size_t(y / 2) * width + x / 2] : 0xABCDEF01;
        ASSERT_EQ(target[std::size_t(y) * targetWidth + x], expected) << "width " << width << " at " << x << ", " << y;
      }
  }
}

}  // namespace
}  // namespace platform
