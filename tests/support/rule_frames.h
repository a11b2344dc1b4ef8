// The frames the interactive programs show, by the table rules alone, and how to tell
// which of them a picture of the screen holds. A picture is anything with width,
// height and At(x, y) giving a pixel as 0x00RRGGBB.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tunnel/tables.h"

namespace rule_frames {

constexpr int kWidth = 640, kHeight = 480;

// The tables of both sizes, by the rules alone, indexed [x * height + y]; the programs'
// ratio and angleScale unless given.
struct RuleTables {
  int width, height;
  std::vector<int> distance, angle;
  RuleTables(int w, int h, double ratio = 32.0, double angleScale = 0.5)
      : width(w), height(h), distance(w * h), angle(w * h) {
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) {
        double dx = x - w / 2.0, dy = y - h / 2.0;
        distance[x * h + y] = DistanceValue(dx, dy, ratio, 256);
        angle[x * h + y] = AngleValue(dx, dy, angleScale, 256);
      }
  }
  // The texture value shown at screen pixel (x, y) for a frame's shift and viewpoint.
  int Shown(int x, int y, int shift, int lookX = 0, int lookY = 0) const {
    int i = (x + lookX) * height + (y + lookY);
    return TextureValue((distance[i] + shift) % 256, (angle[i] + shift) % 256, 256);
  }
};

inline const RuleTables& Screen() {
  static const RuleTables tables(kWidth, kHeight);
  return tables;
}
inline const RuleTables& Big() {
  static const RuleTables tables(2 * kWidth, 2 * kHeight);
  return tables;
}

// A frame as the programs compute it: shift and viewpoint.
struct FrameParameters {
  int shift, lookX, lookY;
};

// tunnel_animated's animation in frame n: the cycle of 200 frames, with the same rounding.
inline double AnimatedAnimation(int n) {
  double animation = 0.0;
  for (int i = 0; i < n; ++i) {
    animation = animation + 0.005;
    if (!(animation < 1.0)) animation = 0.0;
  }
  return animation;
}

inline FrameParameters AnimatedFrame(int n) { return {TextureShift(256, 2.0, AnimatedAnimation(n)), 0, 0}; }

inline FrameParameters LookaroundFrame(double animation) {
  return {TextureShift(256, 2.0, animation), 320 + TruncToInt(320.0 * std::sin(animation * 4.0)),
          240 + TruncToInt(240.0 * std::sin(animation * 6.0))};
}

// Frame n of tunnel_lookaround: its animation is n additions of 0.005, as the program
// makes them.
struct LookaroundFrames {
  std::vector<double> animation{0.0};
  FrameParameters operator()(int n) {
    while (static_cast<int>(animation.size()) <= n) animation.push_back(animation.back() + 0.005);
    return LookaroundFrame(animation[n]);
  }
};

// The texture value v drawn as ComposeRGB(0, 0, v) is shown as 0x000000vv.
template <typename Picture>
bool ShowsFrame(const Picture& shot, const RuleTables& tables, FrameParameters f, std::string* mismatch) {
  if (shot.width != kWidth || shot.height != kHeight) {
    *mismatch = "picture of " + std::to_string(shot.width) + " x " + std::to_string(shot.height);
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

// Which frame a picture shows, found from a few pixels and then checked whole.
// Returns the frame number, or 0 when none of the candidates matches.
template <typename Picture, typename Candidate>
int FindFrame(const Picture& shot, const RuleTables& tables, int last, Candidate candidate, std::string* why) {
  const int probes[][2] = {{0, 0}, {639, 479}, {321, 241}, {100, 400}, {500, 50}, {320, 240}};
  for (int n = 1; n <= last; ++n) {
    FrameParameters f = candidate(n);
    bool fits = shot.width == kWidth && shot.height == kHeight;
    for (const auto& p : probes)
      fits = fits && shot.At(p[0], p[1]) == static_cast<std::uint32_t>(tables.Shown(p[0], p[1], f.shift, f.lookX, f.lookY));
    if (fits && ShowsFrame(shot, tables, f, why)) return n;
  }
  return 0;
}

}  // namespace rule_frames
