#include "tunnel/tables.h"

#include <cmath>

#include "tunnel/quick_tables.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kAngleOffset = 256.0;
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
  // Nearer than any pixel offset can be, q leaves the 32-bit range (below it too, for
  // a negative ratio): treated alike.
  if (!(std::fabs(q) < 2147483648.0)) return 0;
  return WrapIntoTexture(TruncToInt(q) % textureSize, textureSize);
}

std::int32_t AngleValue(double dx, double dy, double angleScale, std::int32_t textureSize) {
  double f = angleScale * textureSize;
  double t = std::atan2(dy, dx);
  double a = (f * t) / kPi;
  double b = kAngleOffset - a;
  // The remainder is taken in doubles (exactly) before the conversion, so that no
  // angleScale takes the value out of the 32-bit range; only an infinite one gives no
  // number at all.
  double w = std::fmod(b, textureSize);
  if (std::isnan(w)) return 0;
  return WrapIntoTexture(TruncToInt(w), textureSize);
}

namespace {

// The texture pass: every entry by its rule.
void FillTexture(Table2D& texture, std::int32_t textureSize) {
  for (std::int32_t u = 0; u < textureSize; ++u)
    for (std::int32_t v = 0; v < textureSize; ++v) texture[u][v] = TextureValue(u, v, textureSize);
}

// The distance and angle pass: one square root, one division and one arc tangent per
// entry, straight from the rules.
void FillDistanceAndAngle(Table2D& distance, Table2D& angle, std::int32_t width, std::int32_t height, double cx,
                          double cy, double ratio, double angleScale, std::int32_t textureSize) {
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

}  // namespace

void BuildTunnelTables(Table2D& texture, Table2D& distance, Table2D& angle, std::int32_t textureSize,
                       std::int32_t width, std::int32_t height, double cx, double cy, double ratio,
                       double angleScale) {
  // With the constant 256 of every program the compiler folds the rule's two divisions
  // away, leaving u XOR v: the same rule, about thirty times as fast.
  if (textureSize == 256)
    FillTexture(texture, 256);
  else
    FillTexture(texture, textureSize);
  // The quick fills (quick_tables.cpp) give the rules' entries only for the values
  // they were written for; for any other the rules build the tables.
  if (QuickFillsServe(textureSize, width, height, cx, cy, ratio, angleScale)) {
    QuickFillDistance(distance, width, height, cx, cy, ratio);
    QuickFillAngle(angle, width, height, cx, cy);
  } else {
    FillDistanceAndAngle(distance, angle, width, height, cx, cy, ratio, angleScale, textureSize);
  }
}

void BuildTunnelTablesByRule(Table2D& texture, Table2D& distance, Table2D& angle, std::int32_t textureSize,
                             std::int32_t width, std::int32_t height, double cx, double cy, double ratio,
                             double angleScale) {
  FillTexture(texture, textureSize);
  FillDistanceAndAngle(distance, angle, width, height, cx, cy, ratio, angleScale, textureSize);
}

std::int32_t TextureShift(std::int32_t textureSize, double speed, double animation) {
  // The largest multiple of textureSize that leaves room for a table value below 2^31
  // (2147483392 for 256): below it the remainder changes nothing, above it the shift
  // wraps instead of overflowing.
  double period = static_cast<double>((2147483647 - (textureSize - 1)) / textureSize) * textureSize;
  double shift = std::trunc(std::fmod((textureSize * speed) * animation, period));
  if (std::isnan(shift)) return 0;  // an infinite speed
  return TruncToInt(shift < 0.0 ? shift + period : shift);
}
