// The screen programs' main bodies, run as they are on the in-memory display, with
// Escape scripted to end them after a number of frames.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "platform/memory/memory_display.h"
#include "programs/program_bodies.h"
#include "tests/support/screen_run.h"
#include "tunnel/tables.h"

namespace {

using platform::COLORREF;
namespace memory = platform::memory;

constexpr int kWidth = 640, kHeight = 480;
constexpr platform::SHORT kEscapeDown = static_cast<platform::SHORT>(0x8000);

struct Frame {
  std::vector<COLORREF> pixels = std::vector<COLORREF>(kWidth * kHeight);
  COLORREF operator()(int x, int y) const { return pixels[y * kWidth + x]; }
  bool operator==(const Frame&) const = default;
};

Frame Presented() {
  Frame frame;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) frame.pixels[y * kWidth + x] = memory::PresentedPixel(x, y);
  return frame;
}

// Runs a main body until Escape is seen after frame `frames`; `seen(n, frame)` gets each
// presented frame the test asks for in `wanted`.
struct ProgramRun {
  unsigned exitCode;
  int presents;
  std::string errors;
};

ProgramRun RunProgram(int (*body)(), int frames, const std::vector<int>& wanted = {},
               const std::function<void(int, const Frame&)>& seen = {}) {
  ResetScreenRuntime();
  std::vector<platform::SHORT> keys(frames - 1, 0);
  keys.push_back(kEscapeDown);
  memory::ScriptKeyStates(27, keys);
  // The pump of frame n + 1 runs while frame n is the one on show.
  std::function<void()> watch = [&] {
    int shown = memory::View().presents;
    if (std::find(wanted.begin(), wanted.end(), shown) != wanted.end()) seen(shown, Presented());
    memory::AtNextPump(watch);
  };
  memory::AtNextPump(watch);
  ::testing::internal::CaptureStderr();
  unsigned code = RunToExit(body);
  std::string errors = ::testing::internal::GetCapturedStderr();
  int presents = memory::View().presents;
  if (std::find(wanted.begin(), wanted.end(), presents) != wanted.end()) seen(presents, Presented());
  return {code, presents, errors};
}

COLORREF Blue(int value) { return static_cast<COLORREF>(ComposeRGB(0, 0, value)); }

// The texture value of a pixel by the rules alone: distance and angle of the table
// element (tx, ty) around (cx, cy), shifted.
int Expected(int tx, int ty, double cx, double cy, int shift) {
  int u = (DistanceValue(tx - cx, ty - cy, 32.0, 256) + shift) % 256;
  int v = (AngleValue(tx - cx, ty - cy, 0.5, 256) + shift) % 256;
  return TextureValue(u, v, 256);
}

TEST(AnimatedTunnel, FramesOfTheCycle) {
  std::map<int, Frame> frames;
  ProgramRun run = RunProgram(Run_animated, 201, {1, 100, 200, 201}, [&](int n, const Frame& f) { frames[n] = f; });
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.presents, 201);
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(frames.size(), 4u);
  const Frame& first = frames[1];
  EXPECT_EQ(first(320, 240), 0u);
  EXPECT_EQ(first(321, 241), 4194304u);
  EXPECT_EQ(first(0, 0), 7405568u);
  EXPECT_EQ(frames[200](321, 241), Blue(160 ^ 224));
  // Shift 256 shows what shift 0 shows, and the cycle is 200 frames long.
  EXPECT_TRUE(frames[100] == frames[200]);
  EXPECT_TRUE(frames[201] == first);
  EXPECT_FALSE(first == frames[200]);
  for (int x = 0; x < kWidth; x += 7)
    for (int y = 0; y < kHeight; y += 5) ASSERT_EQ(first(x, y), Blue(Expected(x, y, 320.0, 240.0, 2))) << x << ", " << y;
}

TEST(StaticTunnel, SamePictureEveryFrameFlippedAfterTheRasterWait) {
  std::map<int, Frame> frames;
  ProgramRun run = RunProgram(Run_static, 3, {1, 3}, [&](int n, const Frame& f) { frames[n] = f; });
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.presents, 3);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(frames[1] == frames[3]);
  struct Pixel {
    int x, y, value;
  };
  for (Pixel p : {Pixel{320, 240, 0}, Pixel{0, 0, 113}, Pixel{639, 0, 14}, Pixel{0, 479, 142}, Pixel{639, 479, 241},
                  Pixel{384, 240, 128}, Pixel{321, 241, 64}, Pixel{400, 300, 180}})
    EXPECT_EQ(frames[1](p.x, p.y), Blue(p.value)) << p.x << ", " << p.y;
  long long sum = 0;
  for (COLORREF c : frames[1].pixels) sum += c >> 16;
  EXPECT_EQ(sum, 39124359);
  EXPECT_FALSE(memory::View().lastAtRetrace);  // mode 2 flips without waiting for the retrace
}

TEST(LookAroundTunnel, FirstFramesFollowTheShiftsAndViewpoints) {
  struct Step {
    int shift, lookX, lookY;
  };
  const Step steps[] = {{2, 326, 247}, {5, 332, 254}, {7, 339, 261}, {10, 345, 268}, {12, 351, 275}};
  std::map<int, Frame> frames;
  ProgramRun run = RunProgram(Run_lookaround, 5, {1, 2, 3, 4, 5}, [&](int n, const Frame& f) { frames[n] = f; });
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[1](320, 240), 10747904u);
  EXPECT_EQ(frames[1](0, 0), Blue(113));
  EXPECT_TRUE(memory::View().lastAtRetrace);
  for (int n = 1; n <= 5; ++n) {
    const Step& s = steps[n - 1];
    for (int x = 0; x < kWidth; x += 11)
      for (int y = 0; y < kHeight; y += 13)
        ASSERT_EQ(frames[n](x, y), Blue(Expected(x + s.lookX, y + s.lookY, 640.0, 480.0, s.shift)))
            << "frame " << n << " at " << x << ", " << y;
  }
}

// What every screen program of the list does (programs/programs.cmake).
using Program = ProgramBody;
constexpr const auto& kPrograms = kScreenBodies;

TEST(ScreenPrograms, EscapeHeldBeforeTheStartShowsOneFrame) {
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    ProgramRun run = RunProgram(p.body, 1);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.presents, 1);
    EXPECT_EQ(run.errors, "");
    // The end steps gave the desktop back.
    EXPECT_FALSE(memory::View().exclusive);
    EXPECT_TRUE(memory::View().cursorShown);
  }
}

TEST(ScreenPrograms, StopInOrderWhenTheDisplayCannotBeHad) {
  struct Case {
    const char* fault;
    const char* says;
  };
  const Case cases[] = {
      {nullptr, "no display to show the screen on"},
      {"SetDisplayMode", "does not offer the requested size and depth"},
      {"LoadLibraryA DINPUT.DLL", "keyboard device could not be made"},
      {"NewSurface", "not enough memory: the screen buffers could not be created"},
  };
  for (const Program& p : kPrograms) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << p.name << ", " << (c.fault ? c.fault : "no display"));
      ResetScreenRuntime();
      if (c.fault)
        platform::test::RefuseCall(c.fault);
      else
        memory::SetAvailable(false);
      ::testing::internal::CaptureStderr();
      unsigned code = RunToExit(p.body);
      std::string errors = ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(code, 1u);
      EXPECT_EQ(memory::View().presents, 0);
      EXPECT_NE(errors.find("cannot open the display"), std::string::npos) << errors;
      EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
      EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }
  }
  platform::test::ClearFaults();
}

TEST(ScreenPrograms, StopInOrderNamingATableThatCannotBeAllocated) {
  // The fourth table's block is refused: frameValues.
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    ResetScreenRuntime();
    platform::test::RefuseCall("HeapAlloc", 3, 1);
    ::testing::internal::CaptureStderr();
    unsigned code = RunToExit(p.body);
    std::string errors = ::testing::internal::GetCapturedStderr();
    platform::test::ClearFaults();
    EXPECT_EQ(code, 1u);
    EXPECT_NE(errors.find("'frameValues'"), std::string::npos) << errors;
    EXPECT_EQ(memory::View().presents, 0);
    EXPECT_EQ(memory::View().width, 0);  // the display was never taken
  }
}

}  // namespace
