// What the screen probe shows, known to the tests that look at the X server.
#pragma once

#include <cstdint>

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

}  // namespace e2e
