// What the interactive programs' frames look like, by the table rules alone, for the
// end-to-end tests that shoot a real screen: each frame's shift and viewpoint, the
// texture value each screen pixel shows, and which frame a screenshot is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tunnel/tables.h"

namespace e2e {

constexpr int kWidth = 640, kHeight = 480;

// The tables of one size, by the rules alone, indexed [x * height + y].
struct RuleTables {
  int width, height;
  std::vector<int> distance, angle;
  RuleTables(int w, int h);
  // The texture value shown at screen pixel (x, y) for a frame's shift and viewpoint.
  int Shown(int x, int y, int shift, int lookX = 0, int lookY = 0) const {
    int i = (x + lookX) * height + (y + lookY);
    return TextureValue((distance[i] + shift) % 256, (angle[i] + shift) % 256, 256);
  }
};

// The screen's tables, and those of twice its size that the look-around reads.
const RuleTables& Screen();
const RuleTables& Big();

// A frame as the programs compute it: shift and viewpoint.
struct FrameParameters {
  int shift, lookX, lookY;
};

// Frame n of tunnel_animated: the cycle of 200 frames, with the same rounding.
FrameParameters AnimatedFrame(int n);

// Frame n of tunnel_lookaround, whose animation is n additions of 0.005, as the
// program makes them.
struct LookaroundFrames {
  std::vector<double> animation = {0.0};
  FrameParameters operator()(int n);
};

// Whether a 640 x 480 screenshot shows the frame, the texture value v drawn as
// ComposeRGB(0, 0, v) showing as 0x000000vv; if not, `mismatch` says where.
bool ShowsFrame(const Screenshot& shot, const RuleTables& tables, FrameParameters f, std::string* mismatch);

// Which frame a screenshot shows, found from a few pixels and then checked whole.
// Returns the frame number, or 0 when none of the candidates matches.
template <typename Candidate>
int FindFrame(const Screenshot& shot, const RuleTables& tables, int last, Candidate&& candidate, std::string* why) {
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

}  // namespace e2e
