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

#include "tests/e2e/program_screen.h"
#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/command_output.h"
#include "tests/support/rule_frames.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using namespace rule_frames;

constexpr milliseconds kStartLimit = 20s;

class ProgramOnScreen : public ::testing::Test {
 protected:
  void SetUp() override { screen_.Open(); }
  void TearDown() override { screen_.Close(); }

  // Starts the program as a user would and waits until its window is shown.
  void Start(const char* path) { screen_.Start({path}, {"DISPLAY=" + screen_.server.display}); }
  template <typename Find>
  int AwaitFrame(Find find) {
    return screen_.AwaitFrame(find);
  }

  // Close requests (the close button, Alt+F4) and mouse clicks leave the program
  // running; Escape ends it with exit code 0 within a second; the desktop is back.
  void UserActionsAndEscape() {
    RequestClose(screen_.x, screen_.window);
    FakeKey(screen_.x, "Alt_L", true);
    FakeKey(screen_.x, "F4", true);
    FakeKey(screen_.x, "F4", false);
    FakeKey(screen_.x, "Alt_L", false);
    for (int button : {1, 3}) {
      FakeButton(screen_.x, 100, 100, button, true);
      FakeButton(screen_.x, 100, 100, button, false);
    }
    EXPECT_FALSE(AwaitExit(screen_.program, 1s).has_value()) << "a close request or a click ended the program";

    auto pressed = Clock::now();
    FakeKey(screen_.x, "Escape", true);
    FakeKey(screen_.x, "Escape", false);
    std::optional<int> status = AwaitExit(screen_.program, 5s);
    ASSERT_TRUE(status.has_value()) << "Escape did not end the program";
    EXPECT_LT(Clock::now() - pressed, 1s);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;

    ASSERT_TRUE(screen_.DesktopIsBack(5s)) << "the desktop is not back as it was";
  }

  ProgramScreen screen_{kStartLimit};
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
  LookaroundFrames frame;
  int n = AwaitFrame([&](const Screenshot& shot, std::string* why) { return FindFrame(shot, Big(), 20000, frame, why); });
  EXPECT_GT(n, 0);
  UserActionsAndEscape();
}

// Two programs on a server with no window manager: when the front one ends, the one
// left behind shows its picture again and takes the keys back.
TEST_F(ProgramOnScreen, TheProgramLeftBehindGetsTheKeysWhenTheFrontOneEnds) {
  Start(TUNNEL_STATIC_PATH);
  auto showsStatic = [](const Screenshot& shot, std::string* why) {
    return ShowsFrame(shot, Screen(), {0, 0, 0}, why) ? 1 : 0;
  };
  AwaitFrame(showsStatic);
  Child front = Spawn({TUNNEL_ANIMATED_PATH}, {"DISPLAY=" + screen_.server.display});
  AwaitFrame([&](const Screenshot& shot, std::string* why) {
    std::string unused;
    return showsStatic(shot, &unused) ? 0 : FindFrame(shot, Screen(), 200, AnimatedFrame, why);
  });
  FakeKey(screen_.x, "Escape", true);
  FakeKey(screen_.x, "Escape", false);
  std::optional<int> status = AwaitExit(front, 5s);
  Stop(front);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the program in front";
  AwaitFrame(showsStatic);
  FakeKey(screen_.x, "Escape", true);
  FakeKey(screen_.x, "Escape", false);
  status = AwaitExit(screen_.program, 5s);
  ASSERT_TRUE(status.has_value()) << "Escape did not reach the program left behind";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
}

}  // namespace
}  // namespace e2e
