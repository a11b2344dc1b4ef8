// The six drawing programs' main bodies built with other values in tunnel/settings.h:
// tests/CMakeLists.txt builds this file and the bodies once for each set of values,
// with that set's settings.h found before the real one. Each program must draw what
// the rules give for those values, read no memory outside its tables (the sanitizer
// tree fails on such a read) and end with exit code 0.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "snapshots/program_frames.h"
#include "tests/support/bmp_file.h"
#include "tests/support/rule_frames.h"
#include "tests/support/screen_run.h"
#include "tests/support/temp_folder.h"
#include "tunnel/settings.h"
#include "tunnel/tables.h"

int Run_animated();
int Run_static();
int Run_lookaround();
int Run_texture();
int Run_distance();
int Run_angle();

namespace {

using namespace rule_frames;

std::int32_t Grey(std::int32_t v) { return ComposeRGB(v, v, v); }

struct Program {
  const char* name;
  int (*body)();
  const char* file;  // the picture program's file; none for a screen program
  int width, height;
  std::function<std::int32_t(int frame, int x, int y)> colour;  // by the rules
};

TEST(Settings, EveryProgramDrawsWhatTheRulesGiveForThem) {
  const Settings s;  // this build's tunnel/settings.h
  const RuleTables screen(kWidth, kHeight, s), big(2 * kWidth, 2 * kHeight, s);
  LookaroundFrames lookaround{s};
  const Program programs[] = {
      {"tunnel_animated", Run_animated, nullptr, kWidth, kHeight,
       [&](int n, int x, int y) { return s.colour(screen.Shown(x, y, AnimatedFrameWith(n, s))); }},
      {"tunnel_static", Run_static, nullptr, kWidth, kHeight,
       [&](int, int x, int y) { return s.colour(screen.Shown(x, y, {0, 0})); }},
      {"tunnel_lookaround", Run_lookaround, nullptr, kWidth, kHeight,
       [&](int n, int x, int y) { return s.colour(big.Shown(x, y, lookaround(n))); }},
      {"texture_dump", Run_texture, "Varnoxia_Texture.bmp", s.textureSize, s.textureSize,
       [&](int, int x, int y) { return s.colour(TextureValue(x, y, s.textureSize)); }},
      {"distance_dump", Run_distance, "Varnoxia_Distance.bmp", kWidth, kHeight,
       [&](int, int x, int y) { return Grey(DistanceValue(x - 320.0, y - 240.0, s.ratio, s.textureSize)); }},
      {"angle_dump", Run_angle, "Varnoxia_Angle.bmp", kWidth, kHeight,
       [&](int, int x, int y) { return Grey(AngleValue(x - 320.0, y - 240.0, s.angleScale, s.textureSize)); }},
  };
  for (const Program& p : programs) {
    SCOPED_TRACE(p.name);
    ResetScreenRuntime();
    // Each picture, 0x00BBGGRR colours row by row, against the rules.
    auto expectRules = [&](int frame, int width, int height, auto colourAt) {
      ASSERT_EQ(width, p.width);
      ASSERT_EQ(height, p.height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          if (colourAt(x, y) != static_cast<std::uint32_t>(p.colour(frame, x, y)))
            FAIL() << "frame " << frame << ", pixel " << x << ", " << y << ": " << colourAt(x, y) << " instead of "
                   << p.colour(frame, x, y);
    };
    if (!p.file) {
      // Two frames: the second's shifts differ from the first's.
      int checked = 0;
      ProgramShow show = ShowProgram(p.body, 2, [&](const ShownFrame& f) {
        expectRules(f.number, f.width, f.height, [&](int x, int y) { return f.pixels[y * f.width + x]; });
        ++checked;
      });
      EXPECT_EQ(show.exitCode, 0u);
      EXPECT_EQ(checked, 2);
      continue;
    }
    TempFolder drive;
    unsigned exitCode = 0;
    {
      InFolder in(drive.path());
      exitCode = RunMainBody(p.body);
    }
    EXPECT_EQ(exitCode, 0u);
    ASSERT_EQ(drive.Names(), std::vector<std::string>{p.file});
    BmpBytes file(drive / p.file);
    expectRules(1, file.Width(), file.Height(), [&](int x, int y) { return file.Colour(x, y); });
  }
}

}  // namespace
