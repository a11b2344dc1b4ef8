// The explorer's tables, frame and read-out against the table rules, entry by entry,
// through a run of changes one setting at a time: each rebuilds only what its setting
// changes, from cached square roots and arc tangents, and must leave exactly what the
// rules give for all the settings together.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/rule_frames.h"
#include "tunnel/tables.h"
#include "web/explorer/explorer.h"

namespace {

using explorer::Settings;

// The first mismatch with the rules, or "" when every entry, pixel and picture agrees.
std::string Mismatch(const explorer::Explorer& e) {
  const Settings& s = e.settings;
  const std::int32_t size = s.textureSize;
  const auto rule = explorer::TextureRules()[s.rule].value;
  const auto colour = explorer::Colours()[s.colour].of;
  // The picture shows entry [u][v] at (u, v), or above 256 at (u, v) x 256 / size.
  const int side = explorer::TexturePictureSide(size);
  for (int u = 0; u < size; ++u)
    for (int v = 0; v < size; ++v)
      if (e.texture[std::size_t(v) * size + u] != rule(u, v, size) ||
          e.texturePicture[std::size_t(v * side / size) * side + u * side / size] !=
              (std::uint32_t(colour(rule(u, v, size))) | 0xFF000000u))
        return "texture (" + std::to_string(u) + ", " + std::to_string(v) + ")";
  const double animation = rule_frames::AnimatedAnimation(s.frame);
  const std::int32_t shiftX = TextureShift(size, s.speedX, animation), shiftY = TextureShift(size, s.speedY, animation);
  for (int y = 0; y < explorer::kHeight; ++y) {
    for (int x = 0; x < explorer::kWidth; ++x) {
      const std::size_t i = std::size_t(y) * explorer::kWidth + x;
      const std::int32_t d = DistanceValue(x - double(s.cx), y - double(s.cy), s.ratio, size);
      const std::int32_t a = AngleValue(x - double(s.cx), y - double(s.cy), s.angleScale, size);
      // The remainders taken round to 0..size-1 for a negative speed too.
      const std::int32_t u = ((d + shiftX) % size + size) % size, v = ((a + shiftY) % size + size) % size;
      const std::uint32_t shown = std::uint32_t(colour(rule(u, v, size))) | 0xFF000000u;
      const explorer::Chain c = explorer::Follow(e, x, y);
      if (e.distance[i] != d || e.angle[i] != a || e.frame[i] != shown || c.distance != d || c.angle != a ||
          c.shiftX != shiftX || c.shiftY != shiftY || c.u != u || c.v != v || c.value != rule(u, v, size) ||
          std::uint32_t(c.colour) != (shown & 0xFFFFFFu))
        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    }
  }
  return "";
}

TEST(Explorer, EveryChangeOfOneSettingLeavesWhatTheRulesGive) {
  // Each step changes the settings of the step before; together they pass every setting,
  // both ends of the centre, every texture size and rule, and each colour.
  const struct {
    const char* change;
    void (*to)(Settings&);
  } steps[] = {
      {"the programs' values, frame 20", [](Settings& s) { s.frame = 20; }},
      {"ratio 48", [](Settings& s) { s.ratio = 48.0; }},
      {"angleScale 1", [](Settings& s) { s.angleScale = 1.0; }},
      {"angleScale -0.375, a seam", [](Settings& s) { s.angleScale = -0.375; }},
      {"speeds 3.5 and -1", [](Settings& s) { s.speedX = 3.5, s.speedY = -1.0; }},
      {"frame 200, shifts 0", [](Settings& s) { s.frame = 200; }},
      {"centre top left", [](Settings& s) { s.cx = 0, s.cy = 0; }},
      {"centre bottom right", [](Settings& s) { s.cx = 640, s.cy = 480; }},
      {"centre (123, 401)", [](Settings& s) { s.cx = 123, s.cy = 401; }},
      {"size 64, and", [](Settings& s) { s.textureSize = 64, s.rule = 1; }},
      {"size 1024, or, fire", [](Settings& s) { s.textureSize = 1024, s.rule = 2, s.colour = 2; }},
      {"size 512, sum, grey", [](Settings& s) { s.textureSize = 512, s.rule = 3, s.colour = 1; }},
      {"checker, orange, ratio 1.5", [](Settings& s) { s.rule = 4, s.colour = 3, s.ratio = 1.5; }},
      {"ice, size 128, frame 1", [](Settings& s) { s.colour = 4, s.textureSize = 128, s.frame = 1; }},
  };
  explorer::Explorer e;
  Settings settings;
  for (const auto& step : steps) {
    step.to(settings);
    explorer::Apply(e, settings);
    EXPECT_EQ(Mismatch(e), "") << "after " << step.change;
  }
}

TEST(Explorer, SettingsOutOfReachAreBroughtIntoRange) {
  Settings wild;
  wild.ratio = -5.0;
  wild.angleScale = std::nan("");
  wild.textureSize = 300;
  wild.rule = 9;
  wild.cx = -4;
  wild.cy = 9999;
  wild.frame = 0;
  const Settings s = explorer::Clamped(wild);
  EXPECT_EQ(s.ratio, 0.5);
  EXPECT_EQ(s.angleScale, 0.5);
  EXPECT_EQ(s.textureSize, 256);
  EXPECT_EQ(s.rule, 0);
  EXPECT_EQ(s.cx, 0);
  EXPECT_EQ(s.cy, 480);
  EXPECT_EQ(s.frame, 1);
}

}  // namespace
