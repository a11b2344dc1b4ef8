// The three interactive programs started as a user starts them, on a private X server
// of 640 x 480: what they show is checked pixel for pixel against the table rules, close
// requests and mouse clicks leave them running, Escape ends them with exit code 0, and
// the desktop is back as it was. Every wait is on a condition with a time limit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tunnel/tables.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640, kHeight = 480;
constexpr milliseconds kStartLimit = 20s;

// The tables of both sizes, by the rules alone, indexed [x * height + y].
struct RuleTables {
  int width, height;
  std::vector<int> distance, angle;
  RuleTables(int w, int h) : width(w), height(h), distance(w * h), angle(w * h) {
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) {
        double dx = x - w / 2.0, dy = y - h / 2.0;
        distance[x * h + y] = DistanceValue(dx, dy, 32.0, 256);
        angle[x * h + y] = AngleValue(dx, dy, 0.5, 256);
      }
  }
  // The texture value shown at screen pixel (x, y) for a frame's shift and viewpoint.
  int Shown(int x, int y, int shift, int lookX = 0, int lookY = 0) const {
    int i = (x + lookX) * height + (y + lookY);
    return TextureValue((distance[i] + shift) % 256, (angle[i] + shift) % 256, 256);
  }
};

const RuleTables& Screen() {
  static const RuleTables tables(kWidth, kHeight);
  return tables;
}
const RuleTables& Big() {
  static const RuleTables tables(2 * kWidth, 2 * kHeight);
  return tables;
}

// A frame as the programs compute it: shift and viewpoint.
struct FrameParameters {
  int shift, lookX, lookY;
};

// Frame n of tunnel_animated: the cycle of 200 frames, with the same rounding.
FrameParameters AnimatedFrame(int n) {
  double animation = 0.0;
  for (int i = 0; i < n; ++i) {
    animation = animation + 0.005;
    if (!(animation < 1.0)) animation = 0.0;
  }
  return {TextureShift(256, 2.0, animation), 0, 0};
}

FrameParameters LookaroundFrame(double animation) {
  return {TextureShift(256, 2.0, animation), 320 + TruncToInt(320.0 * std::sin(animation * 4.0)),
          240 + TruncToInt(240.0 * std::sin(animation * 6.0))};
}

// The texture value v drawn as ComposeRGB(0, 0, v) reaches the X server as 0x000000vv.
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

// Which frame a screenshot shows, found from a few pixels and then checked whole.
// Returns the frame number, or 0 when none of the candidates matches.
template <typename Candidate>
int FindFrame(const Screenshot& shot, const RuleTables& tables, int last, Candidate candidate, std::string* why) {
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

class ProgramOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartXServer(&server_, kWidth, kHeight, 24, kStartLimit));
    x_ = ConnectX(server_.display);
    ASSERT_NE(x_, nullptr);
    std::string error;
    ASSERT_TRUE(TakeScreenshot(server_.display, &desktop_, &error)) << error;
  }
  void TearDown() override {
    Stop(program_);
    DisconnectX(x_);
    StopXServer(&server_);
  }

  // Starts the program as a user would and waits until its window is shown.
  void Start(const char* path) {
    program_ = Spawn({path}, {"DISPLAY=" + server_.display, "ASAN_OPTIONS=detect_leaks=0"});
    ASSERT_GT(program_.pid, 0);
    ASSERT_TRUE(Eventually(
        [&] {
          window_ = WindowOfProcess(x_, program_.pid);
          WindowFacts facts;
          return window_ && ReadWindow(x_, window_, &facts) && facts.viewable;
        },
        kStartLimit))
        << "no window shown";
    WindowFacts facts;
    ASSERT_TRUE(ReadWindow(x_, window_, &facts));
    EXPECT_EQ(facts.title, "Varnoxia Tutorial");
    EXPECT_EQ(facts.width, kWidth);
    EXPECT_EQ(facts.height, kHeight);
  }

  // Waits until a screenshot shows a frame that `find` recognises; returns its number.
  template <typename Find>
  int AwaitFrame(Find find) {
    int n = 0;
    std::string why = "no screenshot";
    Eventually(
        [&] {
          Screenshot shot;
          if (!TakeScreenshot(server_.display, &shot, &why)) return false;
          n = find(shot, &why);
          return n != 0;
        },
        kStartLimit);
    EXPECT_NE(n, 0) << why;
    return n;
  }

  // Close requests (the close button, Alt+F4) and mouse clicks leave the program
  // running; Escape ends it with exit code 0 within a second; the desktop is back.
  void UserActionsAndEscape() {
    RequestClose(x_, window_);
    FakeKey(x_, "Alt_L", true);
    FakeKey(x_, "F4", true);
    FakeKey(x_, "F4", false);
    FakeKey(x_, "Alt_L", false);
    for (int button : {1, 3}) {
      FakeButton(x_, 100, 100, button, true);
      FakeButton(x_, 100, 100, button, false);
    }
    EXPECT_FALSE(AwaitExit(program_, 1s).has_value()) << "a close request or a click ended the program";

    auto pressed = Clock::now();
    FakeKey(x_, "Escape", true);
    FakeKey(x_, "Escape", false);
    std::optional<int> status = AwaitExit(program_, 5s);
    ASSERT_TRUE(status.has_value()) << "Escape did not end the program";
    EXPECT_LT(Clock::now() - pressed, 1s);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;

    Screenshot after;
    std::string error;
    ASSERT_TRUE(Eventually([&] { return TakeScreenshot(server_.display, &after, &error) && after.pixels == desktop_.pixels; },
                           5s))
        << "the desktop is not back as it was";
  }

  XServer server_;
  XClient* x_ = nullptr;
  Child program_;
  XWindowId window_ = 0;
  Screenshot desktop_;
};

TEST_F(ProgramOnScreen, StaticShowsTheStaticFrame) {
  Start(TUNNEL_STATIC_PATH);
  AwaitFrame([](const Screenshot& shot, std::string* why) { return ShowsFrame(shot, Screen(), {0, 0, 0}, why) ? 1 : 0; });
  UserActionsAndEscape();
}

TEST_F(ProgramOnScreen, AnimatedShowsAFrameOfTheCycle) {
  Start(TUNNEL_ANIMATED_PATH);
  int n = AwaitFrame([](const Screenshot& shot, std::string* why) {
    return FindFrame(shot, Screen(), 200, AnimatedFrame, why);
  });
  // Still moving: a later screenshot shows another frame of the cycle.
  int later = AwaitFrame([n](const Screenshot& shot, std::string* why) {
    int m = FindFrame(shot, Screen(), 200, AnimatedFrame, why);
    return m != n ? m : 0;
  });
  EXPECT_NE(later, n);
  UserActionsAndEscape();
}

TEST_F(ProgramOnScreen, LookaroundShowsTheFrameOfSomeN) {
  Start(TUNNEL_LOOKAROUND_PATH);
  // The animation of frame n is n additions of 0.005, as the program makes them.
  std::vector<double> animation(1);
  auto frame = [&](int n) {
    while (static_cast<int>(animation.size()) <= n) animation.push_back(animation.back() + 0.005);
    return LookaroundFrame(animation[n]);
  };
  int n = AwaitFrame([&](const Screenshot& shot, std::string* why) { return FindFrame(shot, Big(), 20000, frame, why); });
  EXPECT_GT(n, 0);
  UserActionsAndEscape();
}

}  // namespace
}  // namespace e2e
