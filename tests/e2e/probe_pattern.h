// What the screen probe shows, known to the tests that look at the screen.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/e2e/x_session.h"

namespace e2e {

constexpr const char* kProbeTitle = "Varnoxia Tutorial";
constexpr int kProbeWidth = 640;
constexpr int kProbeHeight = 480;

// Pixel (x, y) of pattern n as 0x00RRGGBB. Every channel runs through all its values
// over the screen, and neighbouring pixels and patterns differ, so a shifted, scaled or
// stale picture cannot pass for the right one.
inline std::uint32_t PatternPixel(int n, int x, int y) {
  const std::uint32_t red = std::uint32_t(x * 3 + n * 71) & 0xFF;
  const std::uint32_t green = std::uint32_t(y * 5 + n * 29) & 0xFF;
  const std::uint32_t blue = std::uint32_t((x ^ y) + n * 113) & 0xFF;
  return red << 16 | green << 8 | blue;
}

// What is wrong with the part of the screen within width x height from its top left
// corner, which should show the pattern scaled by `scale` with its corner at (left,
// top), on black, each pixel as far as the display's `shown` bits keep it; empty when
// nothing is. A screen of fewer `rows` shows the pattern's top rows only.
inline std::string Mismatch(const Screenshot& shot, int pattern, int left, int top, int scale, int width, int height,
                            std::uint32_t shown = 0xFFFFFF, int rows = kProbeHeight) {
  if (shot.width < width || shot.height < height) return "a screenshot of " + std::to_string(shot.width) + " x " +
                                                        std::to_string(shot.height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int px = (x - left) / scale, py = (y - top) / scale;
      const bool inPicture = x >= left && y >= top && px < kProbeWidth && py < rows;
      const std::uint32_t expected = inPicture ? PatternPixel(pattern, px, py) & shown : 0;
      if (shot.At(x, y) != expected) {
        char text[128];
        std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X", x, y, shot.At(x, y), expected);
        return text;
      }
    }
  return "";
}

}  // namespace e2e
