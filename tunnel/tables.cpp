#include "tunnel/tables.h"

#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kAngleOffset = 256.0;
constexpr std::int32_t kAngleMask = 255;
constexpr std::int32_t kTextureFactor = 256;

}  // namespace

std::int32_t TruncToInt(double value) { return static_cast<std::int32_t>(value); }

std::int32_t TextureValue(std::int32_t u, std::int32_t v, std::int32_t textureSize) {
  return (u * kTextureFactor / textureSize) ^ (v * kTextureFactor / textureSize);
}

std::int32_t DistanceValue(double dx, double dy, double ratio, std::int32_t textureSize) {
  double n = ratio * textureSize;
  double s = dx * dx + dy * dy;
  double r = std::sqrt(s);
  double q = n / r;
  // At the centre q is infinite and the entry is 0; the conversion never sees it.
  // Nearer than any pixel offset can be, q leaves the 32-bit range: treated alike.
  if (!(q < 2147483648.0)) return 0;
  return TruncToInt(q) % textureSize;
}

std::int32_t AngleValue(double dx, double dy, double angleScale, std::int32_t textureSize) {
  double f = angleScale * textureSize;
  double t = std::atan2(dy, dx);
  double a = (f * t) / kPi;
  double b = kAngleOffset - a;
  return TruncToInt(b) & kAngleMask;
}

void BuildTunnelTables(Table2D& texture, Table2D& distance, Table2D& angle, std::int32_t textureSize,
                       std::int32_t width, std::int32_t height, double cx, double cy, double& ratio,
                       double& angleScale) {
  for (std::int32_t u = 0; u < textureSize; ++u)
    for (std::int32_t v = 0; v < textureSize; ++v) texture[u][v] = TextureValue(u, v, textureSize);

  ratio = 32.0;
  angleScale = 0.5;
  for (std::int32_t x = 0; x < width; ++x) {
    for (std::int32_t y = 0; y < height; ++y) {
      // x - cx is +0.0 on the centre column, never -0.0, so atan2 sees the right sign.
      double dx = x - cx;
      double dy = y - cy;
      distance[x][y] = DistanceValue(dx, dy, ratio, textureSize);
      angle[x][y] = AngleValue(dx, dy, angleScale, textureSize);
    }
  }
}

std::int32_t ComposeRGB(std::int32_t r, std::int32_t g, std::int32_t b) {
  // Unsigned arithmetic: the sum wraps like the original's instead of overflowing.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(r) + static_cast<std::uint32_t>(g) * 256u +
                                   static_cast<std::uint32_t>(b) * 65536u);
}
