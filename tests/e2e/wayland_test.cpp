// The screen probe and the three interactive programs under a real Wayland compositor:
// a private headless sway per test, its output shot with grim, keys and clicks from a
// virtual keyboard and pointer of its seat, windows closed through sway's own commands.
// What reaches the output is checked pixel for pixel, also scaled on a larger output;
// close requests and clicks leave a program running; Escape, Ctrl+C and SIGTERM end it;
// the compositor going away ends it; without a compositor it says so in one line.
// Skipped, saying why, where sway or grim is not installed. Every wait is on a
// condition with a time limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/probe_pattern.h"
#include "tests/e2e/wayland_input.h"
#include "tests/e2e/wayland_session.h"
#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/rule_frames.h"
#include "tests/support/temp_folder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using namespace rule_frames;

constexpr milliseconds kStartLimit = 20s;
constexpr milliseconds kEventLimit = 10s;

class Wayland : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = MissingWaylandTools();
    if (!missing.empty())
      GTEST_SKIP() << "no Wayland compositor to test on: " << missing
                   << " not installed (tools/install-deps --tests installs them)";
  }

  void TearDown() override {
    Stop(program_);
    DisconnectInput(input_);
    StopCompositor(&compositor_);
  }

  // A compositor with one output of that size, and the tests' keyboard on its seat
  // before any program looks at the seat.
  void StartSway(int width = kProbeWidth, int height = kProbeHeight, int scale = 1) {
    std::string log;
    ASSERT_TRUE(StartCompositor(&compositor_, width, height, kStartLimit, &log, scale))
        << "sway did not start: " << log;
    input_ = ConnectInput(SocketPath(compositor_));
    ASSERT_NE(input_, nullptr) << "sway took no virtual keyboard or pointer";
    width_ = width;
    height_ = height;
    ASSERT_TRUE(MovePointer(input_, width / 2, height / 2, width, height));
    desktop_ = Shoot();
  }

  // Starts a program with its standard error going to a file of its own.
  void Start(const char* path, const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\" 2>\"$0\"", errors_.path() / "stderr", path};
    command.insert(command.end(), arguments.begin(), arguments.end());
    program_ = Spawn(command, ClientEnvironment(compositor_));
    ASSERT_GT(program_.pid, 0);
  }

  void StartProbe() {
    Start(TUNNEL_SCREEN_PROBE, {"1"});
    ASSERT_EQ(AwaitLine(program_, "open", kStartLimit), "open 1");
    ASSERT_EQ(AwaitLine(program_, "presented 0", kStartLimit), "presented 0");
    AwaitFocus();
    // sway focuses a window when it maps it, but places it (and sends it the pointer's
    // clicks) only once the window has drawn itself at its new size.
    ASSERT_TRUE(Eventually([&] { return Shoot().pixels != desktop_.pixels; }, kStartLimit)) << "nothing shown";
  }

  // Keys typed before sway gives the window the focus would go nowhere.
  void AwaitFocus() {
    ASSERT_TRUE(Eventually([&] { return HasKeyboardFocus(compositor_, program_.pid); }, kStartLimit))
        << "the window never got the keyboard focus";
  }

  std::string Errors() { return ReadText(errors_.path() / "stderr"); }

  Screenshot Shoot() {
    Screenshot shot;
    std::string error;
    EXPECT_TRUE(TakeScreenshot(compositor_, &shot, &error)) << error;
    return shot;
  }

  void Show(int pattern) {
    WriteLine(program_, "pattern " + std::to_string(pattern));
    const std::string presented = "presented " + std::to_string(pattern);
    ASSERT_EQ(AwaitLine(program_, presented, kEventLimit), presented);
  }

  // Waits until the whole output shows the pattern scaled by `scale` with its corner
  // at (left, top), black around it.
  void ExpectShownAt(int pattern, int left = 0, int top = 0, int scale = 1) {
    std::string why;
    EXPECT_TRUE(Eventually(
        [&] {
          const Screenshot shot = Shoot();
          return (why = Mismatch(shot, pattern, left, top, scale, shot.width, shot.height)).empty();
        },
        kEventLimit))
        << why;
  }

  // A round trip through the probe's frame loop: the PresentFrame calls so far.
  long Frames() {
    WriteLine(program_, "frames");
    std::optional<std::string> line = AwaitLine(program_, "frames", kEventLimit);
    return line ? std::stol(line->substr(7)) : -1;
  }

  // Frame rate and share of one core of the probe over a few seconds; the clock
  // brackets both counts (see the X11 tests' Measure).
  void Measure(double* rate, double* cpuShare) {
    const auto start = Clock::now();
    const long framesBefore = Frames();
    const double cpuBefore = CpuSeconds(program_.pid);
    std::this_thread::sleep_for(3s);
    const long framesAfter = Frames();
    const double cpuAfter = CpuSeconds(program_.pid);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    *rate = double(framesAfter - framesBefore) / seconds;
    *cpuShare = (cpuAfter - cpuBefore) / seconds;
  }

  void Type(const std::string& key) {
    ASSERT_TRUE(PressKey(input_, key, true)) << key;
    ASSERT_TRUE(PressKey(input_, key, false)) << key;
  }

  void ExpectOutputBack() {
    EXPECT_TRUE(Eventually([&] { return Shoot().pixels == desktop_.pixels; }, kEventLimit))
        << "the output is not back as it was";
  }

  // A click at (x, y); the pointer then rests where it was, at the output's centre.
  void Click(int x, int y, int button) {
    ASSERT_TRUE(MovePointer(input_, x, y, width_, height_));
    ASSERT_TRUE(PressButton(input_, button, true));
    ASSERT_TRUE(PressButton(input_, button, false));
    ASSERT_TRUE(MovePointer(input_, width_ / 2, height_ / 2, width_, height_));
  }

  // sway's close request (as its kill binding, a title bar's button, or a task bar
  // sends one), Alt+F4 typed and mouse clicks leave the program running.
  void CloseRequestsAndClicks() {
    ASSERT_TRUE(SwayCommand(compositor_, "[pid=" + std::to_string(program_.pid) + "] kill"));
    ASSERT_TRUE(PressKey(input_, "Alt_L", true));
    Type("F4");
    ASSERT_TRUE(PressKey(input_, "Alt_L", false));
    for (int button : {1, 3}) Click(100, 100, button);
  }

  // Escape ends the program with exit code 0 within a second, the output back as it was.
  // The second is not held against the sanitizer tree, whose leak check at the end
  // reads through every library still loaded (Mesa's among them): seconds on a busy
  // machine.
  void EscapeEnds() {
    [[maybe_unused]] const auto pressed = Clock::now();
    Type("Escape");
    std::optional<int> status = AwaitExit(program_, kEventLimit);
    ASSERT_TRUE(status) << "Escape did not end the program";
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(Clock::now() - pressed, 1s);
#endif
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status << ": " << Errors();
    ExpectOutputBack();
  }

  Compositor compositor_;
  WaylandInput* input_ = nullptr;
  int width_ = 0, height_ = 0;
  TempFolder errors_;
  Child program_;
  Screenshot desktop_;
};

TEST_F(Wayland, PresentedFramesReachTheOutputPixelForPixel) {
  StartSway();
  StartProbe();
  EXPECT_TRUE(SwayCommand(compositor_, "[pid=" + std::to_string(program_.pid) + " title=\"^" + kProbeTitle + "$\"] nop"))
      << "no window titled " << kProbeTitle;
  for (int pattern : {1, 2, 7}) {
    Show(pattern);
    ExpectShownAt(pattern);
  }
}

struct Output {
  int width, height;
  int left, top, scale;  // where the picture lies on it
  int outputScale = 1;   // the compositor's: logical pixels of outputScale x outputScale
};

void PrintTo(const Output& output, std::ostream* out) {
  *out << output.width << " x " << output.height << " at scale " << output.outputScale;
}

class WaylandOutput : public Wayland, public ::testing::WithParamInterface<Output> {};

TEST_P(WaylandOutput, ThePictureIsScaledByWholePixelsWithBlackBorders) {
  const Output output = GetParam();
  StartSway(output.width, output.height, output.outputScale);
  StartProbe();
  for (int pattern : {2, 9}) {
    Show(pattern);
    ExpectShownAt(pattern, output.left, output.top, output.scale);
  }
}

// At scale 2 the picture is placed in the output's own pixels: 960 x 720 logical
// pixels take it once, 1920 x 1440 real ones three times.
INSTANTIATE_TEST_SUITE_P(Larger, WaylandOutput,
                         ::testing::Values(Output{1280, 960, 0, 0, 2}, Output{1920, 1080, 320, 60, 2},
                                           Output{1920, 1440, 0, 0, 3, 2}),
                         [](const ::testing::TestParamInfo<Output>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                  "Scale" + std::to_string(info.param.outputScale);
                         });

TEST_F(Wayland, CloseRequestsAndClicksLeaveTheProgramRunning) {
  StartSway();
  StartProbe();
  Show(1);
  CloseRequestsAndClicks();
  EXPECT_EQ(AwaitLine(program_, "message 10 ", kEventLimit), "message 10 0 0");  // WM_CLOSE
  EXPECT_EQ(AwaitLine(program_, "message 10 ", kEventLimit), "message 10 0 0");
  Show(2);
  ExpectShownAt(2);
  EXPECT_FALSE(AwaitExit(program_, 0ms));
}

// The cursor shows on the desktop, not over the window (where every screenshot is
// the picture alone), and comes back with the desktop.
TEST_F(Wayland, EscapeEndsTheProgramWithExitCodeZeroAndTheCursorComesBack) {
  StartSway();
  EXPECT_NE(std::count(desktop_.pixels.begin(), desktop_.pixels.end(), desktop_.pixels[0]),
            std::ptrdiff_t(desktop_.pixels.size()))
      << "no cursor on the desktop";
  StartProbe();
  Show(8);
  ExpectShownAt(8);
  EscapeEnds();
  EXPECT_EQ(AwaitLine(program_, "escape", kEventLimit), "escape");
}

// The seat's keyboard unplugged and plugged back (a switch between two machines): the
// seat has no keyboard for a while, and keys come from a new one with its own keymap.
TEST_F(Wayland, EscapeOnAKeyboardPluggedBackEndsTheProgram) {
  StartSway();
  StartProbe();
  Show(1);
  DisconnectInput(input_);
  input_ = nullptr;
  EXPECT_FALSE(AwaitExit(program_, 300ms)) << "ended when the keyboard went";
  input_ = ConnectInput(SocketPath(compositor_));
  ASSERT_NE(input_, nullptr);
  EXPECT_FALSE(AwaitExit(program_, 300ms)) << "ended when the keyboard came back";
  EscapeEnds();
}

// Switching to another workspace stops the picture; switching back brings it back.
TEST_F(Wayland, AnotherWorkspaceTakesTheFocusAndTheWayBackGivesItBack) {
  StartSway();
  StartProbe();
  Show(4);
  ExpectShownAt(4);
  ASSERT_TRUE(SwayCommand(compositor_, "workspace 2"));
  EXPECT_EQ(AwaitLine(program_, "active", kEventLimit), "active 0");
  EXPECT_TRUE(Eventually([&] { return Shoot().pixels == desktop_.pixels; }, kEventLimit)) << "still shown";
  Show(5);
  ASSERT_TRUE(SwayCommand(compositor_, "workspace 1"));
  EXPECT_EQ(AwaitLine(program_, "active", kEventLimit), "active 1");
  ExpectShownAt(5);
  EscapeEnds();
}

// In front, frames presented at the retrace come at most once per refresh of the
// output (60 a second, headless); in the background the program does not spin.
TEST_F(Wayland, PresentingAtTheRetraceShowsAtMostOneFramePerRefreshInFrontAndBehind) {
  StartSway();
  StartProbe();
  Show(1);
  for (bool behind : {false, true}) {
    if (behind) {
      ASSERT_TRUE(SwayCommand(compositor_, "workspace 2"));
      ASSERT_EQ(AwaitLine(program_, "active", kEventLimit), "active 0");
    }
    const char* where = behind ? "in the background" : "in front";
    double rate, cpuShare;
    Measure(&rate, &cpuShare);
    std::printf("mode 1 under sway %s: %.1f frames a second, %.0f%% of one core\n", where, rate, cpuShare * 100);
    EXPECT_LE(rate, 61.0) << where;
    EXPECT_TRUE(behind || rate > 5.0) << "no frames flow: " << rate << " a second";
    EXPECT_LT(cpuShare, 0.5) << where;
  }
}

// The output given another resolution under a running program: the window follows it
// and the next frames are placed and scaled anew.
TEST_F(Wayland, TheOutputsNewResolutionIsFollowed) {
  StartSway();
  StartProbe();
  Show(1);
  ExpectShownAt(1);
  int pattern = 1;
  for (Output output : {Output{1920, 1080, 320, 60, 2}, Output{1280, 960, 0, 0, 2}, Output{640, 480, 0, 0, 1}}) {
    SCOPED_TRACE(std::to_string(output.width) + " x " + std::to_string(output.height));
    ASSERT_TRUE(SwayCommand(compositor_, "output HEADLESS-1 resolution " + std::to_string(output.width) + "x" +
                                             std::to_string(output.height)));
    Show(++pattern);
    ExpectShownAt(pattern, output.left, output.top, output.scale);
  }
}

TEST_F(Wayland, MouseButtonsArriveAsTheirMessages) {
  StartSway();
  StartProbe();
  // On a busy machine sway may send the first clicks on a new window nowhere: it gives
  // the window the pointer only after some later move. Clicked until one arrives, then
  // past the double-click time, with whatever else arrived read away.
  ASSERT_TRUE(Eventually(
      [&] {
        Click(100, 50, 1);
        return AwaitLine(program_, "message 202", 1s).has_value();
      },
      kEventLimit))
      << "no click reached the window";
  std::this_thread::sleep_for(700ms);
  while (ReadLine(program_, 300ms)) {
  }
  struct Expected {
    int button;
    const char* down;
    const char* up;
  };
  for (Expected click : {Expected{1, "201", "202"}, Expected{3, "204", "205"}}) {
    Click(100, 50, click.button);
    EXPECT_EQ(AwaitLine(program_, "message 2", kEventLimit), std::string("message ") + click.down + " 100 50");
    EXPECT_EQ(AwaitLine(program_, "message 2", kEventLimit), std::string("message ") + click.up + " 100 50");
  }
  // A second left click straight after the first is a double click.
  ASSERT_TRUE(MovePointer(input_, 7, 9, width_, height_));
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(PressButton(input_, 1, true));
    ASSERT_TRUE(PressButton(input_, 1, false));
  }
  for (const char* expected : {"201", "202", "203", "202"})
    EXPECT_EQ(AwaitLine(program_, "message 2", kEventLimit), std::string("message ") + expected + " 7 9");
}

class WaylandEndSignal : public Wayland, public ::testing::WithParamInterface<int> {};

TEST_P(WaylandEndSignal, EndsTheProgramWithinASecondAndGivesTheOutputBack) {
  StartSway();
  StartProbe();
  Show(3);
  ExpectShownAt(3);
  kill(program_.pid, GetParam());
  std::optional<int> status = AwaitExit(program_, 1000ms);
  ASSERT_TRUE(status) << "still running a second after the signal";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == GetParam()) << *status;
  ExpectOutputBack();
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, WaylandEndSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGINT ? "Interrupt" : "Terminate";
                         });

// The programs as a user starts them: the picture of the table rules, pixel for pixel;
// close requests ignored; Escape ends them.
TEST_F(Wayland, AnimatedShowsFramesOfTheCycleUntilEscape) {
  StartSway();
  Start(TUNNEL_ANIMATED_PATH);
  AwaitFocus();
  int first = 0, later = 0;
  std::string why;
  ASSERT_TRUE(Eventually([&] { return (first = FindFrame(Shoot(), Screen(), 200, AnimatedFrame, &why)) != 0; },
                         kStartLimit))
      << why;
  // Still moving: a later screenshot shows another frame of the cycle.
  EXPECT_TRUE(Eventually(
      [&] {
        later = FindFrame(Shoot(), Screen(), 200, AnimatedFrame, &why);
        return later != 0 && later != first;
      },
      kEventLimit))
      << why;
  CloseRequestsAndClicks();
  EXPECT_FALSE(AwaitExit(program_, 500ms)) << "a close request or a click ended the program";
  EscapeEnds();
}

TEST_F(Wayland, StaticShowsTheStaticFrameUntilEscape) {
  StartSway();
  Start(TUNNEL_STATIC_PATH);
  AwaitFocus();
  std::string why;
  EXPECT_TRUE(Eventually([&] { return ShowsFrame(Shoot(), Screen(), {0, 0, 0}, &why); }, kStartLimit)) << why;
  EscapeEnds();
}

TEST_F(Wayland, LookaroundShowsTheFrameOfSomeNUntilEscape) {
  StartSway();
  Start(TUNNEL_LOOKAROUND_PATH);
  AwaitFocus();
  LookaroundFrames frame;
  std::string why;
  EXPECT_TRUE(Eventually([&] { return FindFrame(Shoot(), Big(), 20000, frame, &why) != 0; }, kStartLimit)) << why;
  EscapeEnds();
}

// The compositor ending (a crash, the user's session ending) ends each program within a
// second, with exit status 1 and one line that names the display: in front, and with
// the focus on another workspace; at moments after the first frame that vary.
TEST_F(Wayland, TheCompositorGoingAwayEndsEachProgram) {
  struct Run {
    const char* path;
    bool behind;
    milliseconds after;  // the first frame
  };
  for (Run run : {Run{TUNNEL_ANIMATED_PATH, false, 0ms}, Run{TUNNEL_STATIC_PATH, false, 700ms},
                  Run{TUNNEL_LOOKAROUND_PATH, false, 300ms}, Run{TUNNEL_ANIMATED_PATH, true, 500ms}}) {
    SCOPED_TRACE(std::string(run.path) + (run.behind ? " in the background" : " in front"));
    StartSway();
    Start(run.path);
    AwaitFocus();
    ASSERT_TRUE(Eventually([&] { return Shoot().pixels != desktop_.pixels; }, kStartLimit)) << "no frame shown";
    if (run.behind) {
      ASSERT_TRUE(SwayCommand(compositor_, "workspace 2"));
    }
    std::this_thread::sleep_for(run.after);
    kill(compositor_.process.pid, SIGKILL);
    std::optional<int> status = AwaitExit(program_, 1000ms);
    ASSERT_TRUE(status) << "still running a second after the compositor ended";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << "wait status " << *status;
    EXPECT_EQ(Errors(), std::filesystem::path(run.path).filename().string() + ": the display " + compositor_.socket +
                            " went away\n");
    Stop(program_);
    DisconnectInput(input_);
    input_ = nullptr;
    StopCompositor(&compositor_);
  }
}

// weston offers no server-side decorations, and takes its output's scale on its command
// line: a HiDPI panel of 1920 x 1440 pixels at scale 2 shows the picture three times
// over, sharp. Escape ends the program with exit code 0 and nothing said, also in the
// sanitizer tree with leak detection on.
class Weston : public Wayland {
 protected:
  void SetUp() override {
    const std::string missing = MissingWestonTools();
    if (!missing.empty())
      GTEST_SKIP() << "no weston to test on: " << missing << " not installed (tools/install-deps --tests installs them)";
  }
  void TearDown() override {
    if (x_) DisconnectX(x_);
    Wayland::TearDown();
  }
  XClient* x_ = nullptr;
};

TEST_F(Weston, AtScaleTwoThePictureIsPlacedInTheOutputsOwnPixelsAndEscapeEndsSilently) {
  std::string log;
  ASSERT_TRUE(StartWeston(&compositor_, 1920, 1440, 2, kStartLimit, &log)) << "weston did not start: " << log;
  x_ = ConnectX(compositor_.x.display);
  ASSERT_NE(x_, nullptr);
  Start(TUNNEL_SCREEN_PROBE, {"1"});
  ASSERT_EQ(AwaitLine(program_, "open", kStartLimit), "open 1");
  Show(2);
  std::string why;
  EXPECT_TRUE(Eventually(
      [&] {
        Screenshot shot;
        return TakeScreenshot(compositor_.x.display, &shot, &why) &&
               (why = Mismatch(shot, 2, 0, 0, 3, shot.width, shot.height)).empty();
      },
      kStartLimit))
      << why;
  // Typed again until it ends: weston gives the window the keys once it is shown.
  std::optional<int> status;
  EXPECT_TRUE(Eventually(
      [&] {
        FakeKey(x_, "Escape", true);
        FakeKey(x_, "Escape", false);
        return (status = AwaitExit(program_, 300ms)).has_value();
      },
      kEventLimit))
      << "Escape did not end the program";
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << status.value_or(-1);
  EXPECT_EQ(Errors(), "");
}

// No compositor behind the socket (a socket left by a crash) and no socket at all (a
// session that ended): the programs end at once with exit code 1, saying why in one line.
TEST_F(Wayland, WithoutACompositorTheProgramsSayWhyInOneLine) {
  StartSway();
  DisconnectInput(input_);
  input_ = nullptr;
  // Killed, sway leaves its socket's file behind.
  kill(compositor_.process.pid, SIGKILL);
  ASSERT_TRUE(AwaitExit(compositor_.process, kEventLimit));
  struct Case {
    std::string socket, reason;
  };
  const Case cases[] = {{compositor_.socket, SocketPath(compositor_) + " refuses connections"},
                        {"wayland-9", "there is no " + compositor_.runtimeDir + "/wayland-9"}};
  for (const Case& c : cases) {
    compositor_.socket = c.socket;
    const std::string line = "cannot open the display: no display to show the screen on (WAYLAND_DISPLAY=" +
                             c.socket + " but no compositor answers there: " + c.reason + ")\n";
    for (const char* path : {TUNNEL_ANIMATED_PATH, TUNNEL_STATIC_PATH, TUNNEL_LOOKAROUND_PATH}) {
      SCOPED_TRACE(path);
      program_ = Spawn({"/bin/sh", "-c", "exec \"$0\" 2>&1", path}, ClientEnvironment(compositor_));
      std::string output;
      while (std::optional<std::string> said = ReadLine(program_, kEventLimit)) output += *said + "\n";
      std::optional<int> status = AwaitExit(program_, kEventLimit);
      ASSERT_TRUE(status);
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << "wait status " << *status;
      EXPECT_EQ(output, std::filesystem::path(path).filename().string() + ": " + line);
    }
  }
}

}  // namespace
}  // namespace e2e
