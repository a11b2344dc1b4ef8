// GIF pictures written by us and read back by an independent reader.
#include "snapshots/gif_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "tests/support/gif_file.h"

namespace {

std::vector<std::uint32_t> Palette(std::size_t colours) {
  std::vector<std::uint32_t> palette(colours);
  for (std::size_t i = 0; i < colours; ++i)
    palette[i] = static_cast<std::uint32_t>((i * 0x9E3779B1u) & 0xFFFFFF);  // all different
  return palette;
}

// The colour 0x00BBGGRR the reader should give for a palette colour 0xRRGGBB.
std::uint32_t AsRead(std::uint32_t rgb) { return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16; }

struct Case {
  const char* what;
  int width, height;
  std::size_t colours;
  std::vector<int> delays;
  std::function<std::uint8_t(int frame, int x, int y, std::mt19937& random)> index;
};

TEST(GifWriter, TheReaderSeesEveryFrameAsWritten) {
  const Case cases[] = {
      {"one pixel, two colours (the smallest code size)", 1, 1, 2, {5}, [](int, int, int, std::mt19937&) { return 1; }},
      {"one colour throughout: ever longer strings", 300, 200, 256, {1, 2},
       [](int f, int, int, std::mt19937&) { return f == 0 ? 255 : 0; }},
      {"noise: the table fills up and starts over many times", 320, 240, 256, {2, 2, 2},
       [](int, int, int, std::mt19937& r) { return r() & 0xFF; }},
      {"noise of 128 colours", 257, 31, 128, {0, 65535}, [](int, int, int, std::mt19937& r) { return r() & 0x7F; }},
      {"few colours in runs, codes widen slowly", 640, 3, 4, {3},
       [](int, int x, int y, std::mt19937&) { return (x / 7 + y) & 3; }},
      {"a gradient one frame, its negative the next", 256, 256, 256, {4, 4},
       [](int f, int x, int y, std::mt19937&) { return f ? 255 - (x ^ y) : x ^ y; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mt19937 random(7);
    std::vector<std::uint32_t> palette = Palette(c.colours);
    GifPicture gif;
    StartGif(gif, c.width, c.height, palette);
    std::vector<std::vector<std::uint8_t>> written;
    for (std::size_t f = 0; f < c.delays.size(); ++f) {
      std::vector<std::uint8_t>& indices = written.emplace_back();
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) indices.push_back(c.index(static_cast<int>(f), x, y, random));
      AddGifFrame(gif, indices, c.delays[f]);
    }
    FinishGif(gif);

    DecodedGif read(gif.bytes);
    ASSERT_EQ(read.frames.size(), written.size());
    EXPECT_EQ(read.width, c.width);
    EXPECT_EQ(read.height, c.height);
    for (std::size_t f = 0; f < written.size(); ++f) {
      EXPECT_EQ(read.delays[f], 10 * c.delays[f]) << "frame " << f;
      for (std::size_t i = 0; i < written[f].size(); ++i)
        ASSERT_EQ(read.frames[f][i], AsRead(palette[written[f][i]])) << "frame " << f << ", pixel " << i;
    }
  }
}

TEST(GifWriter, TheAnimationLoopsForEver) {
  GifPicture gif;
  StartGif(gif, 2, 2, Palette(2));
  AddGifFrame(gif, {0, 1, 1, 0}, 2);
  FinishGif(gif);
  const std::vector<std::uint8_t> loop = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
  EXPECT_NE(std::search(gif.bytes.begin(), gif.bytes.end(), loop.begin(), loop.end()), gif.bytes.end());
  EXPECT_EQ(gif.bytes.back(), 0x3B);
}

TEST(GifWriter, RefusesWhatAPictureCannotHold) {
  GifPicture gif;
  EXPECT_THROW(StartGif(gif, 0, 10, Palette(256)), std::invalid_argument);
  EXPECT_THROW(StartGif(gif, 70000, 10, Palette(256)), std::invalid_argument);
  for (std::size_t colours : {0u, 1u, 3u, 200u, 512u})
    EXPECT_THROW(StartGif(gif, 4, 4, Palette(colours)), std::invalid_argument) << colours << " colours";
  StartGif(gif, 2, 2, Palette(4));
  EXPECT_THROW(AddGifFrame(gif, {0, 1, 2}, 2), std::invalid_argument);      // a pixel short
  EXPECT_THROW(AddGifFrame(gif, {0, 1, 2, 4}, 2), std::invalid_argument);   // index past the palette
  EXPECT_THROW(AddGifFrame(gif, {0, 1, 2, 3}, -1), std::invalid_argument);  // no such delay
}

}  // namespace
