// The screen probe on the real display backend under a private X server: what reaches
// the X server (pixels, window, title, cursor), what the user's keys, close requests
// and focus changes do, and how the program ends. Every wait is on a condition with a
// time limit, so a loaded machine makes the tests slower, not wrong.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "tests/e2e/probe_pattern.h"
#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStartLimit = 20s;
constexpr milliseconds kEventLimit = 10s;

// The probe's environment on the test's X server.
std::vector<std::string> ProbeEnvironment(const std::string& display) {
  return {"DISPLAY=" + display};
}

// The colour bits a 24-bit desktop shows of a pixel, and those of a 16-bit one (5 red,
// 6 green, 5 blue).
constexpr std::uint32_t kAllColourBits = 0xFFFFFF, kSixteenBitColours = 0xF8FCF8;

std::string Describe(const Screenshot& shot, int pattern, std::uint32_t shown = kAllColourBits) {
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (shot.At(x, y) != (PatternPixel(pattern, x, y) & shown)) {
        char text[128];
        std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, pattern %d has %06X", x, y,
                      shot.At(x, y), pattern, PatternPixel(pattern, x, y) & shown);
        return text;
      }
  return "shows pattern " + std::to_string(pattern);
}

bool Shows(const Screenshot& shot, int pattern, std::uint32_t shown = kAllColourBits) {
  if (shot.width != kProbeWidth || shot.height != kProbeHeight) return false;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (shot.At(x, y) != (PatternPixel(pattern, x, y) & shown)) return false;
  return true;
}

class RealScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartXServer(&server_, displayWidth_, displayHeight_, depth_, kStartLimit, serverOptions_));
    x_ = ConnectX(Display());
    ASSERT_NE(x_, nullptr);
  }

  void TearDown() override {
    Stop(probe_);
    DisconnectX(x_);
    StopXServer(&server_);
  }

  // With `renderer`, the frames go through SDL's renderer (Mesa's software OpenGL
  // here), the way they go on Wayland, on a console, or to a graphics card that scales.
  void StartProbe(const std::string& mode = "1", bool renderer = false) {
    std::vector<std::string> command = {TUNNEL_SCREEN_PROBE, mode};
    if (renderer) command.insert(command.end(), {"32", "renderer"});
    probe_ = Spawn(command, ProbeEnvironment(Display()));
    ASSERT_GT(probe_.pid, 0);
    ASSERT_EQ(AwaitLine(probe_, "open", kStartLimit), "open 1");
    ASSERT_EQ(AwaitLine(probe_, "presented 0", kStartLimit), "presented 0");
    ASSERT_TRUE(Eventually([&] { return ProbeWindow() != 0; }, kEventLimit));
  }

  XWindowId ProbeWindow() { return WindowOfProcess(x_, probe_.pid); }

  // DISPLAY as the probe gets it; the tests look at the same screen.
  std::string Display() const { return server_.display + screen_; }

  Screenshot Shoot() {
    Screenshot shot;
    std::string error;
    EXPECT_TRUE(TakeScreenshot(Display(), &shot, &error)) << error;
    return shot;
  }

  // Waits until the screen shows the pattern; on failure says what it shows instead.
  void ExpectShown(int pattern) {
    Screenshot shot;
    bool shown = Eventually([&] { return Shows(shot = Shoot(), pattern, shownColours_); }, kEventLimit);
    EXPECT_TRUE(shown) << Describe(shot, pattern, shownColours_);
  }

  // Has the probe draw and present the pattern.
  void Show(int pattern) {
    WriteLine(probe_, "pattern " + std::to_string(pattern));
    const std::string presented = "presented " + std::to_string(pattern);
    ASSERT_EQ(AwaitLine(probe_, presented, kEventLimit), presented);
  }

  // A round trip through the probe's frame loop: once answered, every event the X
  // server had sent before the question has been pumped and handled.
  long Frames() {
    WriteLine(probe_, "frames");
    std::optional<std::string> line = AwaitLine(probe_, "frames", kEventLimit);
    return line ? std::stol(line->substr(7)) : -1;
  }

  void Type(const std::string& key) {
    FakeKey(x_, key, true);
    FakeKey(x_, key, false);
  }

  bool CursorHidden() { return CursorInvisibleAt(x_, kProbeWidth / 2, kProbeHeight / 2); }

  // A second probe opens in front of the first, which goes inactive, and ends on
  // Escape; the first is active again.
  void AProgramInFrontComesAndGoes() {
    Child front = Spawn({TUNNEL_SCREEN_PROBE, "1"}, ProbeEnvironment(Display()));
    ASSERT_EQ(AwaitLine(front, "open", kStartLimit), "open 1");
    ASSERT_EQ(AwaitLine(front, "presented 0", kStartLimit), "presented 0");
    EXPECT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 0");
    Type("Escape");
    EXPECT_EQ(AwaitLine(front, "escape", kEventLimit), "escape");
    EXPECT_TRUE(AwaitExit(front, kEventLimit));
    Stop(front);
    EXPECT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 1");
  }

  // Frame rate and share of one core of the probe over a window long enough to even
  // out a loaded machine. The clock brackets both counts: read after them, a reply
  // that reached a held-up test late would add its frames but not its time.
  void Measure(double* rate, double* cpuShare) {
    constexpr double kWindowSeconds = 5.0;
    const auto start = Clock::now();
    const long framesBefore = Frames();
    const double cpuBefore = CpuSeconds(probe_.pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
    const long framesAfter = Frames();
    const double cpuAfter = CpuSeconds(probe_.pid);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    *rate = double(framesAfter - framesBefore) / seconds;
    *cpuShare = (cpuAfter - cpuBefore) / seconds;
  }

  // Waits until the part of the screen within width x height shows the pattern as
  // Mismatch says.
  void ExpectShownAt(int pattern, int left, int top, int scale, int width, int height, int rows = kProbeHeight) {
    std::string why;
    EXPECT_TRUE(Eventually([&] {
      return (why = Mismatch(Shoot(), pattern, left, top, scale, width, height, shownColours_, rows)).empty();
    }, kEventLimit)) << why;
  }

  int displayWidth_ = kProbeWidth, displayHeight_ = kProbeHeight, depth_ = 24;
  std::vector<std::string> serverOptions_;
  std::string screen_;  // ".N" for a screen other than the first
  std::uint32_t shownColours_ = kAllColourBits;
  XServer server_;
  XClient* x_ = nullptr;
  Child probe_;
};

// A display larger than the frame: the picture is scaled by whole pixels, centred, with
// black around it.
class LargerDisplay : public RealScreen {
 protected:
  LargerDisplay() {
    displayWidth_ = 1400;
    displayHeight_ = 1000;
  }
};

TEST_F(LargerDisplay, ThePictureIsScaledByWholePixelsWithBlackBorders) {
  for (bool renderer : {false, true}) {
    StartProbe("1", renderer);
    WindowFacts window;
    ASSERT_TRUE(ReadWindow(x_, ProbeWindow(), &window));
    EXPECT_EQ(window.width, 1400);
    EXPECT_EQ(window.height, 1000);
    for (int pattern : {2, 9}) {
      Show(pattern);
      ExpectShownAt(pattern, 60, 20, 2, 1400, 1000);
    }
    Stop(probe_);
  }
}

TEST_F(LargerDisplay, AWindowGivenAnotherSizeShowsTheLastPictureAtOnceScaledAnew) {
  StartProbe();
  Show(3);
  ExpectShownAt(3, 60, 20, 2, 1400, 1000);
  // In the background the program presents nothing: only the backend can redraw.
  Focus(x_, 0);
  ASSERT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 0");
  // Larger than the display, so the window still covers it (a screenshot of the root
  // window is then one picture): three times, with its corner at (40, 30).
  ResizeWindow(x_, ProbeWindow(), 2000, 1500);
  ExpectShownAt(3, 40, 30, 3, 1400, 1000);
  ResizeWindow(x_, ProbeWindow(), 1400, 1000);
  ExpectShownAt(3, 60, 20, 2, 1400, 1000);
}

// On both paths, each on a server of its own: once Xvfb's one output is switched off
// for a new size, no program can start there any more.
class DesktopResize : public LargerDisplay, public ::testing::WithParamInterface<bool> {};

TEST_P(DesktopResize, TheWindowAndThePictureFollowTheDesktopsNewSize) {
  StartProbe("1", GetParam());
  Show(3);
  ExpectShownAt(3, 60, 20, 2, 1400, 1000);
  const XWindowId probeWindow = ProbeWindow();
  struct Size {
    int width, height, left, top, scale;
  };
  for (Size size : {Size{1000, 700, 180, 110, 1}, Size{1300, 960, 10, 0, 2}, Size{1400, 1000, 60, 20, 2}}) {
    ResizeDesktop(x_, size.width, size.height);
    WindowFacts window{};
    EXPECT_TRUE(Eventually([&] {
      return ReadWindow(x_, probeWindow, &window) && window.width == size.width && window.height == size.height;
    }, kEventLimit)) << "the window stayed " << window.width << " x " << window.height;
    ExpectShownAt(3, size.left, size.top, size.scale, size.width, size.height);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, DesktopResize, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Renderer" : "WindowSurface";
                         });

// A desktop of two monitors side by side: the window on the right-hand, narrower one,
// its corner on the left-hand one's edge, follows that one when the desktop changes
// its size.
TEST_F(LargerDisplay, OnTwoMonitorsTheWindowFollowsTheOneItIsOn) {
  StartProbe();
  std::vector<unsigned char> output;
  for (auto [name, geometry] : {std::pair{"left", "700/185x900/238+0+0"}, {"right", "600/159x900/238+700+0"}})
    ASSERT_TRUE(RunForOutput({"xrandr", "--display", Display(), "--setmonitor", name, geometry, "none"}, &output,
                             kEventLimit))
        << name;
  // Each xrandr run hands the desktop its size again, and the probe follows it: SDL,
  // resizing the window, moves it back to where it last saw it, so the move waits.
  ASSERT_GE(Frames(), 0);
  const XWindowId probeWindow = ProbeWindow();
  MoveWindow(x_, probeWindow, 700, 0);
  ASSERT_GE(Frames(), 0);  // the probe has seen its window move
  ResizeDesktop(x_, 1400, 900);
  WindowFacts window{};
  EXPECT_TRUE(Eventually([&] {
    return ReadWindow(x_, probeWindow, &window) && window.x == 700 && window.y == 0 && window.width == 600 &&
           window.height == 900;
  }, kEventLimit)) << "the window is at (" << window.x << ", " << window.y << "), " << window.width << " x "
                   << window.height;
}

// A server of two screens with DISPLAY naming the second, larger one: the program takes
// that screen and leaves the first alone.
class SecondScreen : public RealScreen {
 protected:
  SecondScreen() {
    displayWidth_ = 1280;
    displayHeight_ = 1024;
    serverOptions_ = {"-screen", "1", "1920x1080x24"};
    screen_ = ".1";
  }
};

TEST_F(SecondScreen, TheProgramTakesTheScreenThatDisplayNames) {
  ASSERT_NO_FATAL_FAILURE(StartProbe());
  WindowFacts window;
  ASSERT_TRUE(ReadWindow(x_, ProbeWindow(), &window));
  EXPECT_TRUE(window.viewable);
  EXPECT_EQ(window.width, 1920);
  EXPECT_EQ(window.height, 1080);
  Show(4);
  ExpectShownAt(4, 320, 60, 2, 1920, 1080);
  XClient* first = ConnectX(server_.display + ".0");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(WindowOfProcess(first, probe_.pid), 0u);
  DisconnectX(first);
  Type("Escape");
  EXPECT_EQ(AwaitLine(probe_, "escape", kEventLimit), "escape");
  std::optional<int> status = AwaitExit(probe_, kEventLimit);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

// Under i3, which keeps one full-screen window a workspace: a second program in front
// takes the full-screen state from the first, after a change of resolution i3 floats
// the first one off the display's corner, and neither comes back by itself when the
// second ends.
class TilingWindowManager : public RealScreen {
 protected:
  TilingWindowManager() {
    displayWidth_ = 1920;
    displayHeight_ = 1080;
  }

  // i3 keeps its socket in a folder of the runtime folder: here one of the test's own.
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RealScreen::SetUp());
    std::string folder = ::testing::TempDir() + "i3-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder.data()));
    folder_ = folder;
    const std::string config = folder + "/config";
    // Without its first line i3 takes the file for an old one and converts it, adding
    // a status bar.
    std::ofstream(config) << "# i3 config file (v4)\nfont pango:monospace 8\n";
    windowManager_ = Spawn({"i3", "-c", config}, {"DISPLAY=" + Display(), "XDG_RUNTIME_DIR=" + folder});
    ASSERT_TRUE(Eventually([&] { return WindowManagerRunning(x_); }, kStartLimit)) << "i3 did not start";
  }

  void TearDown() override {
    Stop(windowManager_);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
    RealScreen::TearDown();
  }

  bool Xrandr(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"xrandr", "--display", Display()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<unsigned char> output;
    return RunForOutput(command, &output, kEventLimit);
  }

  // Waits until the probe's window covers the display at the size given.
  void ExpectCovering(int width, int height) {
    WindowFacts window{};
    EXPECT_TRUE(Eventually([&] {
      return ReadWindow(x_, ProbeWindow(), &window) && window.viewable && window.x == 0 && window.y == 0 &&
             window.width == width && window.height == height;
    }, kEventLimit)) << "the window is at (" << window.x << ", " << window.y << "), " << window.width << " x "
                     << window.height;
  }

  std::string folder_;
  Child windowManager_;
};

TEST_F(TilingWindowManager, TheProgramLeftBehindTakesTheFullScreenBack) {
  ASSERT_TRUE(Xrandr({"--newmode", "1280x720", "74.25", "1280", "1390", "1430", "1650", "720", "725", "730", "750",
                      "+hsync", "+vsync"}));
  ASSERT_TRUE(Xrandr({"--addmode", "screen", "1280x720"}));
  ASSERT_NO_FATAL_FAILURE(StartProbe());
  Show(1);
  ExpectShownAt(1, 320, 60, 2, 1920, 1080);
  ASSERT_TRUE(Xrandr({"-s", "1280x720"}));
  ExpectCovering(1280, 720);
  ASSERT_TRUE(Xrandr({"-s", "1920x1080"}));
  ExpectCovering(1920, 1080);

  AProgramInFrontComesAndGoes();
  ExpectCovering(1920, 1080);
  ExpectShownAt(1, 320, 60, 2, 1920, 1080);
  Type("Escape");
  EXPECT_EQ(AwaitLine(probe_, "escape", kEventLimit), "escape");
}

// A 16-bit desktop: the frames are converted on the processor, onto the window's own
// surface, pixel for pixel once reduced to 16 bits; OpenGL is never loaded.
struct SixteenBitCase {
  int width, height, left, top, scale;
};

class SixteenBitDesktop : public RealScreen, public ::testing::WithParamInterface<SixteenBitCase> {
 protected:
  SixteenBitDesktop() {
    displayWidth_ = GetParam().width;
    displayHeight_ = GetParam().height;
    depth_ = 16;
    shownColours_ = kSixteenBitColours;
  }
};

TEST_P(SixteenBitDesktop, FramesAreConvertedOnTheProcessor) {
  const SixteenBitCase display = GetParam();
  StartProbe();
  for (int pattern : {2, 7}) {
    Show(pattern);
    ExpectShownAt(pattern, display.left, display.top, display.scale, display.width, display.height);
  }
  std::ifstream maps("/proc/" + std::to_string(probe_.pid) + "/maps");
  for (std::string line; std::getline(maps, line);)
    EXPECT_EQ(line.find("libGL"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(AsLargeAndLarger, SixteenBitDesktop,
                         ::testing::Values(SixteenBitCase{640, 480, 0, 0, 1}, SixteenBitCase{1400, 1000, 60, 20, 2}),
                         [](const ::testing::TestParamInfo<SixteenBitCase>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

TEST_F(RealScreen, PresentedFramesReachTheScreenPixelForPixel) {
  for (bool renderer : {false, true}) {
    StartProbe("1", renderer);
    for (int pattern : {1, 2, 7}) {
      Show(pattern);
      ExpectShown(pattern);
    }
    Stop(probe_);
  }
}

// A mode of another height only: the picture is placed anew, centred on black, on both
// paths.
TEST_F(RealScreen, AModeOfAnotherHeightOnlyIsPlacedAnew) {
  for (bool renderer : {false, true}) {
    StartProbe("1", renderer);
    Show(2);
    ExpectShown(2);
    WriteLine(probe_, "mode 640 400");
    ASSERT_EQ(AwaitLine(probe_, "mode", kEventLimit), "mode 0") << renderer;
    Show(5);
    // Black above the picture's 400 rows and below them.
    SCOPED_TRACE(renderer ? "through the renderer" : "on the window surface");
    ExpectShownAt(5, 0, 40, 1, kProbeWidth, kProbeHeight, 400);
    Stop(probe_);
  }
}

TEST_F(RealScreen, TheScreenWindowCoversTheDisplayTitledWithTheCursorHidden) {
  const bool cursorShownBefore = !CursorHidden();
  StartProbe();
  WindowFacts window;
  ASSERT_TRUE(ReadWindow(x_, ProbeWindow(), &window));
  EXPECT_EQ(window.title, kProbeTitle);
  EXPECT_TRUE(window.viewable);
  EXPECT_EQ(window.x, 0);
  EXPECT_EQ(window.y, 0);
  EXPECT_EQ(window.width, kProbeWidth);
  EXPECT_EQ(window.height, kProbeHeight);
  EXPECT_TRUE(cursorShownBefore);
  EXPECT_TRUE(Eventually([&] { return CursorHidden(); }, kEventLimit));
}

TEST_F(RealScreen, AWindowPassingOverTheScreenLeavesItWhole) {
  StartProbe();
  Show(6);
  ExpectShown(6);
  // In the background the program presents nothing that would paint over the damage.
  Focus(x_, 0);
  ASSERT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 0");
  CoverAndUncover(x_, 100, 80, 300, 200);
  EXPECT_EQ(AwaitLine(probe_, "message F ", kEventLimit), "message F 0 0");  // WM_PAINT
  ExpectShown(6);
}

TEST_F(RealScreen, CloseRequestsLeaveTheProgramRunning) {
  StartProbe();
  Show(1);
  RequestClose(x_, ProbeWindow());
  EXPECT_EQ(AwaitLine(probe_, "message 10 ", kEventLimit), "message 10 0 0");  // WM_CLOSE
  // Alt+F4 typed on a display with no window manager to catch it.
  FakeKey(x_, "Alt_L", true);
  Type("F4");
  FakeKey(x_, "Alt_L", false);
  EXPECT_EQ(AwaitLine(probe_, "message 10 ", kEventLimit), "message 10 0 0");
  Show(2);
  ExpectShown(2);
  EXPECT_FALSE(AwaitExit(probe_, 0ms));
}

TEST_F(RealScreen, EscapeTypedOnTheKeyboardEndsTheProgramAndGivesTheDesktopBack) {
  const Screenshot desktop = Shoot();
  StartProbe();
  Show(8);
  Type("Escape");
  EXPECT_EQ(AwaitLine(probe_, "escape", kEventLimit), "escape");
  std::optional<int> status = AwaitExit(probe_, kEventLimit);
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  EXPECT_TRUE(Eventually([&] { return Shoot().pixels == desktop.pixels; }, kEventLimit));
  EXPECT_FALSE(CursorHidden());
}

TEST_F(RealScreen, ADepthTheDisplayCannotOfferIsRefusedAndTheDesktopStaysAsItWas) {
  const Screenshot desktop = Shoot();
  for (const char* depth : {"16", "24", "8"}) {
    probe_ = Spawn({TUNNEL_SCREEN_PROBE, "1", depth}, ProbeEnvironment(Display()));
    EXPECT_EQ(AwaitLine(probe_, "open", kStartLimit), "open 0") << depth;
    std::optional<int> status = AwaitExit(probe_, kEventLimit);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << depth;
    EXPECT_EQ(Shoot().pixels, desktop.pixels) << depth;
    EXPECT_FALSE(CursorHidden()) << depth;
    Stop(probe_);
  }
}

TEST_F(RealScreen, EscapePressedAndReleasedBetweenTwoPollsIsSeen) {
  StartProbe();
  WriteLine(probe_, "hold");
  ASSERT_EQ(AwaitLine(probe_, "holding", kEventLimit), "holding");
  Type("Escape");
  WriteLine(probe_, "go on");
  EXPECT_EQ(AwaitLine(probe_, "escape", kEventLimit), "escape");
}

TEST_F(RealScreen, WhileAnotherWindowHasTheFocusFlipsShowNothingNew) {
  StartProbe();
  Show(4);
  ExpectShown(4);
  const XWindowId window = ProbeWindow();
  Focus(x_, 0);
  EXPECT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 0");
  Show(5);
  Frames();
  Frames();
  EXPECT_TRUE(Shows(Shoot(), 4)) << Describe(Shoot(), 4);
  // The window stays on the desktop for the user to come back to.
  WindowFacts facts;
  ASSERT_TRUE(ReadWindow(x_, window, &facts));
  EXPECT_TRUE(facts.viewable);
  const auto focusGiven = Clock::now();
  Focus(x_, window);
  EXPECT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 1");
  std::printf("active again %.1f ms after the focus came back\n",
              std::chrono::duration<double, std::milli>(Clock::now() - focusGiven).count());
  ExpectShown(5);
}

// A frame of the probe's loop is one pass through the message pump: in the background
// it wakes a few times a second, not once per refresh, and a signal still ends it.
TEST_F(RealScreen, AProgramInTheBackgroundWakesOnlyAFewTimesASecond) {
  StartProbe();
  Focus(x_, 0);
  ASSERT_EQ(AwaitLine(probe_, "active", kEventLimit), "active 0");
  double rate, cpuShare;
  Measure(&rate, &cpuShare);
  std::printf("in the background: %.1f frames a second, %.1f%% of one core\n", rate, cpuShare * 100);
  EXPECT_LE(rate, 5.0);
  EXPECT_LT(cpuShare, 0.1);
  kill(probe_.pid, SIGTERM);
  std::optional<int> status = AwaitExit(probe_, 1000ms);
  ASSERT_TRUE(status) << "still running a second after the signal";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) << *status;
}

// With no window manager nobody hands the focus on when a window goes away: the
// program whose window is uncovered takes it back itself.
TEST_F(RealScreen, TheProgramLeftBehindOnABareServerGetsTheKeysBack) {
  StartProbe();
  Show(1);
  AProgramInFrontComesAndGoes();
  ExpectShown(1);
  Type("Escape");
  EXPECT_EQ(AwaitLine(probe_, "escape", kEventLimit), "escape");
}

TEST_F(RealScreen, MouseButtonsArriveAsTheirMessages) {
  StartProbe();
  struct Click {
    int button;
    const char* down;
    const char* up;
  };
  for (Click click : {Click{1, "201", "202"}, Click{3, "204", "205"}}) {
    FakeButton(x_, 100, 50, click.button, true);
    FakeButton(x_, 100, 50, click.button, false);
    EXPECT_EQ(AwaitLine(probe_, "message 2", kEventLimit), std::string("message ") + click.down + " 100 50");
    EXPECT_EQ(AwaitLine(probe_, "message 2", kEventLimit), std::string("message ") + click.up + " 100 50");
  }
  // A second left click straight after the first is a double click.
  for (int i = 0; i < 2; ++i) {
    FakeButton(x_, 7, 9, 1, true);
    FakeButton(x_, 7, 9, 1, false);
  }
  for (const char* expected : {"201", "202", "203", "202"})
    EXPECT_EQ(AwaitLine(probe_, "message 2", kEventLimit), std::string("message ") + expected + " 7 9");
}

class EndSignal : public RealScreen, public ::testing::WithParamInterface<int> {};

TEST_P(EndSignal, EndsTheProgramWithinASecondAndGivesTheDesktopBack) {
  const Screenshot desktop = Shoot();
  StartProbe();
  Show(3);
  WriteLine(probe_, "trace");
  ASSERT_EQ(AwaitLine(probe_, "tracing", kEventLimit), "tracing");
  kill(probe_.pid, GetParam());
  // The signal's default action would end the program the same way, but without the
  // orderly end, which on a console is what gives the screen and keyboard back.
  const std::string orderlyEnd = "EndBySignal " + std::to_string(GetParam());
  EXPECT_EQ(AwaitLine(probe_, "EndBySignal", 1000ms), orderlyEnd);
  std::optional<int> status = AwaitExit(probe_, 1000ms);
  ASSERT_TRUE(status) << "still running a second after the signal";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == GetParam()) << *status;
  EXPECT_EQ(ProbeWindow(), 0u);
  EXPECT_TRUE(Eventually([&] { return Shoot().pixels == desktop.pixels; }, kEventLimit));
}

TEST_P(EndSignal, EndsABusyProgramWithinASecond) {
  StartProbe();
  WriteLine(probe_, "hold");
  ASSERT_EQ(AwaitLine(probe_, "holding", kEventLimit), "holding");
  kill(probe_.pid, GetParam());
  std::optional<int> status = AwaitExit(probe_, 1000ms);
  ASSERT_TRUE(status) << "still running a second after the signal";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == GetParam()) << *status;
}

// SIGHUP: the terminal that started the program was closed.
INSTANTIATE_TEST_SUITE_P(InterruptTerminateAndHangUp, EndSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGINT ? "Interrupt" : info.param == SIGTERM ? "Terminate" : "HangUp";
                         });

// One rule on both paths, whatever the flip flags: at most one frame per refresh. A
// flip without the retrace (modes 0 and 2) goes out at once unless the frame before it
// is still waiting for its refresh.
class Pacing : public RealScreen, public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(Pacing, AtMostOneFramePerRefreshWithoutSpinning) {
  const auto [mode, renderer] = GetParam();
  StartProbe(mode, renderer);
  Show(1);
  double rate, cpuShare;
  Measure(&rate, &cpuShare);
  std::printf("mode %s %s under Xvfb: %.1f frames a second, %.0f%% of one core\n", mode,
              renderer ? "through the renderer" : "on the window surface", rate, cpuShare * 100);
  RecordProperty("frames_per_second", std::to_string(rate));
  RecordProperty("cpu_share", std::to_string(cpuShare));
  // The retrace clock runs at 60 Hz on a display that does not say its refresh rate.
  EXPECT_LE(rate, 61.0);
  EXPECT_GT(rate, 5.0);
  // Mesa's software OpenGL behind the renderer draws each frame on the processor.
  EXPECT_LT(cpuShare, renderer ? 1.0 : 0.5);
}

INSTANTIATE_TEST_SUITE_P(ModesAndPaths, Pacing,
                         ::testing::Combine(::testing::Values("0", "1", "2"), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<Pacing::ParamType>& info) {
                           return std::string("Mode") + std::get<0>(info.param) +
                                  (std::get<1>(info.param) ? "Renderer" : "WindowSurface");
                         });

TEST(NoDisplay, TheScreenCannotBeOpenedAndNothingHangs) {
  // No X server, no Wayland compositor, and SDL's headless drivers asked for by name.
  for (const char* driver : {"", "offscreen", "dummy"}) {
    Child probe = Spawn({TUNNEL_SCREEN_PROBE, "1"},
                        {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                         std::string("SDL_VIDEODRIVER=") + driver});
    EXPECT_EQ(AwaitLine(probe, "open", kEventLimit), "open 0") << driver;
    std::optional<int> status = AwaitExit(probe, kEventLimit);
    EXPECT_TRUE(status && WIFEXITED(*status)) << driver;
    Stop(probe);
  }
}

}  // namespace
}  // namespace e2e
