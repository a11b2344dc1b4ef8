#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/table.h"
#include "tests/support/program_run.h"
#include "tunnel/quick_tables.h"
#include "tunnel/tables.h"

namespace {

struct {
  ProgramHeader header;
  Table2D texture, distance, angle;
} g;

// Builds the tables of a w x h screen around its middle, as every program does.
class TunnelTables : public ::testing::Test {
 protected:
  void Build(std::int32_t w, std::int32_t h) {
    ProgramStart(g, kTableOnlyProgram);
    DimTable(g.texture, 256, 256);
    DimTable(g.distance, w, h);
    DimTable(g.angle, w, h);
    BuildTunnelTables(g.texture, g.distance, g.angle, 256, w, h, w / 2.0, h / 2.0, 32.0, 0.5);
    width = w;
    height = h;
  }
  void TearDown() override { EXPECT_EQ(EndProgram(), 0u); }

  std::int64_t Sum(const Table2D& t) const {
    std::int64_t sum = 0;
    for (int x = 0; x < width; ++x)
      for (int y = 0; y < height; ++y) sum += t[x][y];
    return sum;
  }
  int width = 0, height = 0;
};

TEST_F(TunnelTables, WorkedValuesOf640By480) {
  Build(640, 480);
  struct Case {
    int x, y, distance, angle;
  };
  const Case cases[] = {
      {320, 240, 0, 0},   {321, 240, 0, 0},    {319, 240, 0, 128}, {320, 241, 0, 192},  {320, 239, 0, 64},
      {321, 241, 160, 224}, {319, 241, 160, 160}, {319, 239, 160, 96}, {321, 239, 160, 32}, {323, 240, 170, 0},
      {330, 240, 51, 0},  {384, 240, 128, 0},  {0, 0, 20, 101},    {639, 0, 20, 26},    {0, 479, 20, 154},
      {639, 479, 20, 229}, {0, 240, 25, 128},  {639, 240, 25, 0},  {320, 0, 34, 64},    {320, 479, 34, 192},
      {400, 300, 81, 229}, {100, 50, 28, 98},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(g.distance[c.x][c.y], c.distance) << "distance at " << c.x << ", " << c.y;
    EXPECT_EQ(g.angle[c.x][c.y], c.angle) << "angle at " << c.x << ", " << c.y;
  }
}

TEST_F(TunnelTables, SumsRangesAndUntouchedBoundOf640By480) {
  Build(640, 480);
  EXPECT_EQ(Sum(g.distance), 14402641);
  EXPECT_EQ(Sum(g.angle), 39087156);
  int zeros = 0;
  for (int x = 0; x <= 640; ++x) {
    for (int y = 0; y <= 480; ++y) {
      bool bound = x == 640 || y == 480;
      for (const Table2D* t : {&g.distance, &g.angle}) {
        ASSERT_GE((*t)[x][y], 0);
        ASSERT_LE((*t)[x][y], 255);
        if (bound) {
          ASSERT_EQ((*t)[x][y], 0) << x << ", " << y;
        }
      }
      if (!bound && g.distance[x][y] == 0) ++zeros;
    }
  }
  // The centre, 24 axis pixels at radii 1 to 32, and 24 just inside radius 32.
  EXPECT_EQ(zeros, 49);
  EXPECT_EQ(g.distance[320 + 24][240 + 21], 0);
}

TEST_F(TunnelTables, TextureIsUXorV) {
  Build(2, 2);
  std::int64_t sum = 0;
  for (int u = 0; u <= 256; ++u) {
    for (int v = 0; v <= 256; ++v) {
      if (u == 256 || v == 256) {
        ASSERT_EQ(g.texture[u][v], 0);
        continue;
      }
      ASSERT_EQ(g.texture[u][v], u ^ v);
      sum += g.texture[u][v];
    }
  }
  EXPECT_EQ(sum, 8355840);
  EXPECT_EQ(g.texture[255][0], 255);
}

TEST_F(TunnelTables, BigTablesOfTheLookAroundProgram) {
  Build(1280, 960);
  EXPECT_EQ(Sum(g.distance), 29849583);
  EXPECT_EQ(Sum(g.angle), 156510276);
  struct Case {
    int x, y, distance, angle;
  };
  for (Case c : {Case{640, 480, 0, 0}, Case{641, 480, 0, 0}, Case{639, 480, 0, 128}, Case{640, 481, 0, 192},
                 Case{0, 0, 10, 101}, Case{1279, 959, 10, 229}, Case{0, 480, 12, 128}, Case{1279, 480, 12, 0},
                 Case{640, 0, 17, 64}, Case{640, 959, 17, 192}, Case{646, 487, 120, 220}}) {
    EXPECT_EQ(g.distance[c.x][c.y], c.distance) << c.x << ", " << c.y;
    EXPECT_EQ(g.angle[c.x][c.y], c.angle) << c.x << ", " << c.y;
  }
}

TEST(TableRules, CentreAndOddExtents) {
  // The infinite quotient at the centre never reaches the conversion (the sanitizer
  // build fails on a conversion of infinity).
  EXPECT_EQ(DistanceValue(0.0, 0.0, 32.0, 256), 0);
  EXPECT_EQ(DistanceValue(1e-300, 0.0, 32.0, 256), 0);
  EXPECT_EQ(DistanceValue(0.0, 0.0, -32.0, 256), 0);
  // An odd extent puts the centre between pixels: radius 0.5 gives 16384, a multiple of 256.
  EXPECT_EQ(DistanceValue(0.5, 0.0, 32.0, 256), 0);
  EXPECT_EQ(AngleValue(0.0, 0.0, 0.5, 256), 0);
  EXPECT_EQ(AngleValue(-1.0, 0.0, 0.5, 256), 128);
  EXPECT_EQ(TruncToInt(2.9), 2);
  EXPECT_EQ(TruncToInt(255.999), 255);
  EXPECT_EQ(TruncToInt(-2.9), -2);
}

// Every program indexes the texture with the rules' values directly, so for every size
// and any ratio or angleScale each value must lie in 0..size-1; and with angleScale a
// multiple of 0.5 a turn around the centre must wrap the angle with no jump (a jump is a
// seam across the tunnel).
TEST(TableRules, EverySettingGivesTextureIndicesAndASeamlessTurn) {
  std::vector<std::int32_t> sizes = {3, 100, 300, 1000};
  for (std::int32_t size = 2; size <= 1024; size *= 2) sizes.push_back(size);
  const std::pair<double, double> settings[] = {{32.0, 0.5},   {64.0, 1.0},  {-32.0, -0.5},
                                                {0.0, 0.0},    {1e300, 1e12}, {INFINITY, INFINITY}};
  for (std::int32_t size : sizes) {
    for (auto [ratio, angleScale] : settings) {
      SCOPED_TRACE(::testing::Message() << "size " << size << ", ratio " << ratio << ", angleScale " << angleScale);
      for (double dx = -40.0; dx <= 40.0; dx += 0.5) {
        for (double dy = -30.0; dy <= 30.0; dy += 1.0) {
          std::int32_t distance = DistanceValue(dx, dy, ratio, size), angle = AngleValue(dx, dy, angleScale, size);
          ASSERT_TRUE(distance >= 0 && distance < size) << distance << " at " << dx << ", " << dy;
          ASSERT_TRUE(angle >= 0 && angle < size) << angle << " at " << dx << ", " << dy;
        }
      }
      if (std::fmod(angleScale, 0.5) != 0.0 || angleScale == 0.0 || std::fabs(angleScale) > 1.0) continue;
      // 3600 steps of a turn move the angle less than one unit each, plus truncation.
      std::int32_t previous = AngleValue(200.0, 0.0, angleScale, size);
      for (int step = 1; step <= 3600; ++step) {
        double turn = step * (2 * 3.141592653589793 / 3600);
        std::int32_t angle = AngleValue(200.0 * std::cos(turn), 200.0 * std::sin(turn), angleScale, size);
        std::int32_t jump = std::abs(angle - previous);
        ASSERT_LE(std::min(jump, size - jump), 2) << "from " << previous << " to " << angle << " at step " << step;
        previous = angle;
      }
    }
  }
}

TEST(TableRules, ComposeRGBKeepsEachChannelTo0To255) {
  EXPECT_EQ(ComposeRGB(0, 0, 64), 4194304);
  EXPECT_EQ(ComposeRGB(7, 7, 7), 7 * 65793);
  EXPECT_EQ(ComposeRGB(255, 255, 255), 0x00FFFFFF);
  // A channel past either end saturates and leaves its neighbours alone.
  EXPECT_EQ(ComposeRGB(2 * 128, 0, 0), 0x0000FF);
  EXPECT_EQ(ComposeRGB(-1, 2 * 255, 300), 0xFFFF00);
}

}  // namespace

namespace {

// The build must give exactly what the rules give, element for element, and leave the
// bound row and column 0: with the programs' values (the quick fills) for every table
// size the programs use and for odd sizes whose centre falls between pixels, where tall,
// flat and square tables put the angle's boundaries and diagonals in every place; and
// with any other ratio or angleScale, which the quick fills were not written for.
TEST(BuildTunnelTables, EqualsTheRuleInEveryElement) {
  struct Case {
    std::int32_t w, h;
    double ratio, angleScale;
    bool quick;  // whether the quick fills serve these values
  };
  std::vector<Case> cases;
  for (auto [w, h] : {std::pair{640, 480}, {1280, 960}, {5, 3}, {33, 17}, {1, 1}, {2, 7}, {4, 301}, {3, 200},
                      {300, 4}, {201, 3}, {64, 64}, {65, 66}})
    cases.push_back({w, h, 32.0, 0.5, true});
  for (auto [w, h] : {std::pair{640, 480}, {33, 17}, {2, 7}})
    for (auto [ratio, angleScale] : {std::pair{32.0, 1.0}, {32.0, 0.25}, {32.0, -0.5}, {32.0, 0.0}, {16.0, 0.5},
                                     {64.0, 0.5}, {0.0, 0.5}, {-32.0, 0.5}, {100.0, 1.5}})
      cases.push_back({w, h, ratio, angleScale, angleScale == 0.5 && ratio >= 0.0});
  // Empty tables: nothing is written, not even a bound row.
  for (auto [w, h] : {std::pair{3, 0}, {0, 3}}) cases.push_back({w, h, 32.0, 0.5, false});

  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h << ", ratio " << c.ratio << ", angleScale "
                                      << c.angleScale);
    EXPECT_EQ(QuickFillsServe(256, c.w, c.h, c.w / 2.0, c.h / 2.0, c.ratio, c.angleScale), c.quick);
    ProgramStart(g, kTableOnlyProgram);
    DimTable(g.texture, 256, 256);
    DimTable(g.distance, c.w, c.h);
    DimTable(g.angle, c.w, c.h);
    BuildTunnelTables(g.texture, g.distance, g.angle, 256, c.w, c.h, c.w / 2.0, c.h / 2.0, c.ratio, c.angleScale);
    int wrong = 0;
    for (int x = 0; x <= c.w && wrong < 5; ++x) {
      for (int y = 0; y <= c.h && wrong < 5; ++y) {
        double dx = x - c.w / 2.0, dy = y - c.h / 2.0;
        bool bound = x == c.w || y == c.h;
        std::int32_t distance = bound ? 0 : DistanceValue(dx, dy, c.ratio, 256);
        std::int32_t angle = bound ? 0 : AngleValue(dx, dy, c.angleScale, 256);
        if (g.distance[x][y] != distance || g.angle[x][y] != angle) {
          ++wrong;
          ADD_FAILURE() << "at " << x << ", " << y << ": " << g.distance[x][y] << ", " << g.angle[x][y]
                        << " instead of " << distance << ", " << angle;
        }
      }
    }
    EXPECT_EQ(EndProgram(), 0u);
  }
}

// A centre off the middle, by half a pixel too, is no case for the quick fills.
TEST(BuildTunnelTables, OffCentreAndOtherTextureSizesFollowTheRule) {
  struct Case {
    std::int32_t textureSize, w, h;
    double cx, cy;
  };
  for (const Case& c : {Case{64, 40, 30, 13.0, 7.5}, Case{256, 640, 480, 320.5, 240.0}}) {
    SCOPED_TRACE(::testing::Message() << "texture " << c.textureSize << ", centre " << c.cx << ", " << c.cy);
    ProgramStart(g, kTableOnlyProgram);
    DimTable(g.texture, c.textureSize, c.textureSize);
    DimTable(g.distance, c.w, c.h);
    DimTable(g.angle, c.w, c.h);
    BuildTunnelTables(g.texture, g.distance, g.angle, c.textureSize, c.w, c.h, c.cx, c.cy, 32.0, 0.5);
    for (int x = 0; x < c.w; ++x)
      for (int y = 0; y < c.h; ++y) {
        ASSERT_EQ(g.distance[x][y], DistanceValue(x - c.cx, y - c.cy, 32.0, c.textureSize)) << x << ", " << y;
        ASSERT_EQ(g.angle[x][y], AngleValue(x - c.cx, y - c.cy, 0.5, c.textureSize)) << x << ", " << y;
      }
    for (int u = 0; u <= c.textureSize; ++u)
      for (int v = 0; v <= c.textureSize; ++v)
        ASSERT_EQ(g.texture[u][v], u < c.textureSize && v < c.textureSize ? TextureValue(u, v, c.textureSize) : 0);
    EXPECT_EQ(EndProgram(), 0u);
  }
}

}  // namespace

namespace {

TEST(TextureShift, FollowsTheFrameRuleAndNeverLeavesThe32BitRange) {
  struct Case {
    double animation;
    std::int32_t shift;
  };
  // 512 x animation, truncated, while that leaves room for a table value below 2^31;
  // past it the shift wraps by 2147483392 = 256 x 8388607 texture lengths.
  const Case cases[] = {
      {0.005, 2},
      {0.01, 5},
      {0.9950000000000008, 509},
      {1.0000000000000007, 512},
      {4194303.0, 2147483136},
      {4194303.49, 2147483386},
      {4194303.5, 0},
      {4194304.0, 256},
      {1e12, static_cast<std::int32_t>(std::fmod(512e12, 2147483392.0))},
  };
  for (const Case& c : cases) {
    std::int32_t shift = TextureShift(256, 2.0, c.animation);
    EXPECT_EQ(shift, c.shift) << c.animation;
    EXPECT_LE(shift, 2147483647 - 255) << c.animation;
    // The remainder a pixel takes is the one the unbounded shift would give.
    EXPECT_EQ(shift % 256, static_cast<std::int64_t>(512.0 * c.animation) % 256) << c.animation;
  }
  // Other sizes and speeds, negative ones too: a shift of 0 and up that leaves room for
  // a table value, with the remainder of the unbounded one (taken from below for a
  // negative one), so that the frame loops' remainder never sees a negative sum.
  for (std::int32_t size : {2, 300, 512, 1024}) {
    for (double speed : {2.0, -2.0, 3.0, -0.5}) {
      for (double animation : {0.005, 0.995, 4194303.5, 1e12}) {
        SCOPED_TRACE(::testing::Message() << size << " x " << speed << " x " << animation);
        std::int32_t shift = TextureShift(size, speed, animation);
        EXPECT_GE(shift, 0);
        EXPECT_LE(shift, 2147483647 - (size - 1));
        auto unbounded = static_cast<std::int64_t>((size * speed) * animation);
        EXPECT_EQ(shift % size, (unbounded % size + size) % size);
      }
    }
  }
  EXPECT_EQ(TextureShift(256, -2.0, 0.005), 2147483392 - 2);
  EXPECT_EQ(TextureShift(256, INFINITY, 0.005), 0);
}

}  // namespace

namespace {

TEST(TextureRemainder, IsTheRemainderForEverySize) {
  for (std::int32_t size : {256, 64, 1, 200, 255}) {
    for (std::int32_t k : {0, 1, 255, 256, 257, 511, 1000, 2147483391}) {
      EXPECT_EQ(TextureRemainder(k, size), k % size) << k << " by " << size;
    }
  }
}

}  // namespace
