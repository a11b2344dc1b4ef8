// Tells the page tests which frame of the table rules a canvas shows, with the same
// rule code as the end-to-end tests on the desktop:
//   frame_finder static|animated|lookaround PIXELS [RATIO ANGLESCALE]
// PIXELS holds the canvas as the page reads it back, 640 x 480 x R G B A; RATIO and
// ANGLESCALE (the programs' 32 and 0.5 unless given) build the animated frames, as the
// explorer page shows them. Prints the frame's number (1 for the static frame), or 0
// and why none matches.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/rule_frames.h"

namespace {

using namespace rule_frames;

struct Canvas {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB; opaque pixels only
  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

bool ReadCanvas(const char* path, Canvas* canvas, std::string* why) {
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() != std::size_t(kWidth) * kHeight * 4) {
    *why = "canvas of " + std::to_string(bytes.size()) + " bytes, expected 640 x 480 x 4";
    return false;
  }
  canvas->width = kWidth;
  canvas->height = kHeight;
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    // A pixel that is not opaque is shown blended with what is under it: never a frame.
    std::uint32_t rgb = bytes[i + 3] == 255 ? (bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]) : 0xFFFFFFFFu;
    canvas->pixels.push_back(rgb);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: frame_finder static|animated|lookaround PIXELS [RATIO ANGLESCALE]\n");
    return 2;
  }
  const std::string program = argv[1];
  Canvas canvas;
  std::string why;
  int n = 0;
  if (ReadCanvas(argv[2], &canvas, &why)) {
    if (program == "static") {
      n = ShowsFrame(canvas, Screen(), {0, 0, 0}, &why) ? 1 : 0;
    } else if (program == "animated" && argc == 5) {
      const RuleTables tables(kWidth, kHeight, {.ratio = std::stod(argv[3]), .angleScale = std::stod(argv[4])});
      n = FindFrame(canvas, tables, 200, AnimatedFrame, &why);
    } else if (program == "animated") {
      n = FindFrame(canvas, Screen(), 200, AnimatedFrame, &why);
    } else if (program == "lookaround") {
      LookaroundFrames frames;
      n = FindFrame(canvas, Big(), 20000, frames, &why);
    } else {
      std::fprintf(stderr, "frame_finder: no program %s\n", program.c_str());
      return 2;
    }
  }
  std::printf(n ? "%d\n" : "%d %s\n", n, why.c_str());
  return 0;
}
