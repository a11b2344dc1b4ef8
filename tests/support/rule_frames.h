// The frames the interactive programs show, by the table rules alone, for the values of
// tunnel/settings.h or any others, and how to tell which of them a picture of the
// screen holds. A picture is anything with width, height and At(x, y) giving a pixel as
// 0x00RRGGBB.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tunnel/settings.h"
#include "tunnel/tables.h"

namespace rule_frames {

constexpr int kWidth = 640, kHeight = 480;

// The values the programs take from tunnel/settings.h; a test may give others.
struct Settings {
  std::int32_t textureSize = kTextureSize;
  double ratio = kRatio, angleScale = kAngleScale, speedX = kSpeedX, speedY = kSpeedY;
  std::int32_t (*colour)(std::int32_t value) = TextureColour;
};

// A frame as the programs compute it: the two shifts, unbounded, and the viewpoint.
struct FrameParameters {
  std::int64_t shiftX, shiftY;
  int lookX = 0, lookY = 0;
};

// The tables of both sizes, by the rules alone, indexed [x * height + y].
struct RuleTables {
  int width, height;
  Settings settings;
  std::vector<int> distance, angle;
  RuleTables(int w, int h, const Settings& s = {}) : width(w), height(h), settings(s), distance(w * h), angle(w * h) {
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) {
        double dx = x - w / 2.0, dy = y - h / 2.0;
        distance[x * h + y] = DistanceValue(dx, dy, s.ratio, s.textureSize);
        angle[x * h + y] = AngleValue(dx, dy, s.angleScale, s.textureSize);
      }
  }
  // The texture value shown at screen pixel (x, y) in a frame: a table value plus a
  // shift, taken around the texture (from below for a negative sum).
  int Shown(int x, int y, const FrameParameters& f) const {
    int i = (x + f.lookX) * height + (y + f.lookY);
    auto around = [size = settings.textureSize](std::int64_t k) { return static_cast<std::int32_t>((k % size + size) % size); };
    return TextureValue(around(distance[i] + f.shiftX), around(angle[i] + f.shiftY), settings.textureSize);
  }
  // Its colour as a picture gives it, 0x00RRGGBB.
  std::uint32_t ShownColour(int x, int y, const FrameParameters& f) const {
    auto colour = static_cast<std::uint32_t>(settings.colour(Shown(x, y, f)));
    return (colour & 0xFF) << 16 | (colour & 0xFF00) | colour >> 16;
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

// The shift of a speed at a point of the animation, before any wrapping.
inline std::int64_t Shift(const Settings& s, double speed, double animation) {
  return static_cast<std::int64_t>((s.textureSize * speed) * animation);
}

// tunnel_animated's animation in frame n: the cycle of 200 frames, with the same rounding.
inline double AnimatedAnimation(int n) {
  double animation = 0.0;
  for (int i = 0; i < n; ++i) {
    animation = animation + 0.005;
    if (!(animation < 1.0)) animation = 0.0;
  }
  return animation;
}

// Frame n of tunnel_animated.
inline FrameParameters AnimatedFrameWith(int n, const Settings& s) {
  double animation = AnimatedAnimation(n);
  return {Shift(s, s.speedX, animation), Shift(s, s.speedY, animation)};
}
inline FrameParameters AnimatedFrame(int n) { return AnimatedFrameWith(n, {}); }

inline FrameParameters LookaroundFrame(double animation, const Settings& s = {}) {
  return {Shift(s, s.speedX, animation), Shift(s, s.speedY, animation),
          320 + TruncToInt(320.0 * std::sin(animation * 4.0)), 240 + TruncToInt(240.0 * std::sin(animation * 6.0))};
}

// Frame n of tunnel_lookaround: its animation is n additions of 0.005, as the program
// makes them.
struct LookaroundFrames {
  Settings settings;
  std::vector<double> animation{0.0};
  FrameParameters operator()(int n) {
    while (static_cast<int>(animation.size()) <= n) animation.push_back(animation.back() + 0.005);
    return LookaroundFrame(animation[n], settings);
  }
};

template <typename Picture>
bool ShowsFrame(const Picture& shot, const RuleTables& tables, FrameParameters f, std::string* mismatch) {
  if (shot.width != kWidth || shot.height != kHeight) {
    *mismatch = "picture of " + std::to_string(shot.width) + " x " + std::to_string(shot.height);
    return false;
  }
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint32_t expected = tables.ShownColour(x, y, f);
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
      fits = fits && shot.At(p[0], p[1]) == tables.ShownColour(p[0], p[1], f);
    if (fits && ShowsFrame(shot, tables, f, why)) return n;
  }
  return 0;
}

}  // namespace rule_frames
