#include "tests/e2e/tunnel_frames.h"

#include <cmath>
#include <cstdio>

namespace e2e {

RuleTables::RuleTables(int w, int h) : width(w), height(h), distance(w * h), angle(w * h) {
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      double dx = x - w / 2.0, dy = y - h / 2.0;
      distance[x * h + y] = DistanceValue(dx, dy, 32.0, 256);
      angle[x * h + y] = AngleValue(dx, dy, 0.5, 256);
    }
}

const RuleTables& Screen() {
  static const RuleTables tables(kWidth, kHeight);
  return tables;
}

const RuleTables& Big() {
  static const RuleTables tables(2 * kWidth, 2 * kHeight);
  return tables;
}

FrameParameters AnimatedFrame(int n) {
  double animation = 0.0;
  for (int i = 0; i < n; ++i) {
    animation = animation + 0.005;
    if (!(animation < 1.0)) animation = 0.0;
  }
  return {TextureShift(256, 2.0, animation), 0, 0};
}

FrameParameters LookaroundFrames::operator()(int n) {
  while (static_cast<int>(animation.size()) <= n) animation.push_back(animation.back() + 0.005);
  const double a = animation[n];
  return {TextureShift(256, 2.0, a), 320 + TruncToInt(320.0 * std::sin(a * 4.0)),
          240 + TruncToInt(240.0 * std::sin(a * 6.0))};
}

bool ShowsFrame(const Screenshot& shot, const RuleTables& tables, FrameParameters f, std::string* mismatch) {
  if (shot.width != kWidth || shot.height != kHeight) {
    *mismatch = "screenshot of " + std::to_string(shot.width) + " x " + std::to_string(shot.height);
    return false;
  }
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint32_t expected = static_cast<std::uint32_t>(tables.Shown(x, y, f.shift, f.lookX, f.lookY));
      if (shot.At(x, y) != expected) {
        char text[128];
        std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X", x, y, shot.At(x, y), expected);
        *mismatch = text;
        return false;
      }
    }
  return true;
}

}  // namespace e2e
