// The Windows build's programs (tools/windows) under Wine, through the system's own
// libraries as Wine gives them: the interactive ones on a private X server of 640 x 480
// show the frames of the table rules and end on Escape with exit code 0; the picture
// programs write the same bytes as the Linux build's, and where drive C: takes no file
// they leave none and say what the Linux programs say. Skipped where Wine or the
// Windows build is missing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/program_screen.h"
#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/command_output.h"
#include "tests/support/rule_frames.h"
#include "tests/support/temp_folder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using namespace rule_frames;

constexpr milliseconds kStartLimit = 60s;  // Wine's first start on a loaded machine

std::string WindowsProgram(const std::string& name) { return std::string(TUNNEL_WINDOWS_PROGRAMS) + "/" + name + ".exe"; }

std::filesystem::path DriveC() { return std::filesystem::path(TUNNEL_WINE_PREFIX) / "drive_c"; }

// Runs shell text to its end (within two minutes), with what it wrote to both
// streams; a Windows program's "\r\n" line ends read as a Linux program's "\n".
CommandResult RunShell(const std::string& command) {
  CommandResult result = RunCommand("timeout 120 " + command + " 2>&1");
  std::erase(result.output, '\r');
  return result;
}

// A shell command that runs `command` in `folder` made read-only for it alone: a
// read-only bind mount in a mount namespace of its own (which needs root). The line
// kReadOnly comes first once the folder is read-only.
constexpr char kReadOnly[] = "read-only\n";
std::string InReadOnlyFolder(const std::string& folder, const std::string& command) {
  const std::string quoted = "\"" + folder + "\"";
  return "unshare -m sh -c 'mount --bind " + quoted + " " + quoted + " && mount -o remount,bind,ro " + quoted + " " +
         quoted + " && cd " + quoted + " && ! touch x 2>/dev/null && echo read-only && exec " + command + "'";
}

class UnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(TUNNEL_WINE, X_OK) != 0) GTEST_SKIP() << "no Wine (tools/install-deps --windows)";
    if (access(WindowsProgram("tunnel_static").c_str(), R_OK) != 0) GTEST_SKIP() << "no Windows build (tools/windows)";
    ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(TUNNEL_WINE_PREFIX) / "system.reg"))
        << "no Wine prefix: the test wine_prefix makes it";
  }

  // Wine's desktop process ends with the X server it was shown on; the next test
  // starts once the prefix's server has seen every process go and ended.
  void TearDown() override {
    if (IsSkipped()) return;
    std::vector<unsigned char> ignored;
    RunForOutput({TUNNEL_WINESERVER, "-w"}, &ignored, kStartLimit, {"WINEPREFIX=" TUNNEL_WINE_PREFIX});
  }

  std::vector<std::string> Environment(const std::string& display) const {
    return {"WINEPREFIX=" TUNNEL_WINE_PREFIX, "WINEDEBUG=-all", "DISPLAY=" + display};
  }
  // The program under Wine as shell text, on the display or on none.
  std::string UnderWineCommand(const std::string& program, const std::string& display = "") const {
    return std::string("env ") + (display.empty() ? "-u DISPLAY" : "DISPLAY=" + display) +
           " WINEPREFIX=" TUNNEL_WINE_PREFIX " WINEDEBUG=-all " TUNNEL_WINE " " + WindowsProgram(program);
  }
};

class ScreenUnderWine : public UnderWine {
 protected:
  void SetUp() override {
    UnderWine::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    screen_.Open();
  }
  void TearDown() override {
    screen_.Close();
    UnderWine::TearDown();
  }

  // Starts the program and waits until its window is shown over the whole screen.
  void Start(const std::string& name) {
    screen_.Start({TUNNEL_WINE, WindowsProgram(name)}, Environment(screen_.server.display));
  }
  template <typename Find>
  int AwaitFrame(Find find) {
    return screen_.AwaitFrame(find);
  }

  // The programs look at Escape once a frame (GetAsyncKeyState): the key is held, on
  // the focused window, until the program has ended.
  void EscapeEndsIt() {
    Focus(screen_.x, screen_.window);
    FakeKey(screen_.x, "Escape", true);
    std::optional<int> status = AwaitExit(screen_.program, 20s);
    FakeKey(screen_.x, "Escape", false);
    ASSERT_TRUE(status.has_value()) << "Escape did not end the program";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
    EXPECT_TRUE(screen_.DesktopIsBack(20s)) << "the desktop is not back as it was";
  }

  ProgramScreen screen_{kStartLimit};
};

TEST_F(ScreenUnderWine, StaticShowsTheStaticFrame) {
  Start("tunnel_static");
  AwaitFrame([](const Screenshot& shot, std::string* why) { return ShowsFrame(shot, Screen(), {0, 0, 0}, why) ? 1 : 0; });
  EscapeEndsIt();
}

TEST_F(ScreenUnderWine, AnimatedShowsFramesOfTheCycle) {
  Start("tunnel_animated");
  int n = AwaitFrame([](const Screenshot& shot, std::string* why) { return FindFrame(shot, Screen(), 200, AnimatedFrame, why); });
  AwaitFrame([n](const Screenshot& shot, std::string* why) {
    int m = FindFrame(shot, Screen(), 200, AnimatedFrame, why);
    return m != n ? m : 0;
  });
  EscapeEndsIt();
}

TEST_F(ScreenUnderWine, LookaroundShowsTheFrameOfSomeN) {
  Start("tunnel_lookaround");
  LookaroundFrames frame;
  AwaitFrame([&](const Screenshot& shot, std::string* why) { return FindFrame(shot, Big(), 20000, frame, why); });
  EscapeEndsIt();
}

// Wine offers an X screen's own modes only: on a larger screen the 640 x 480 mode is
// refused, and the program says so, under its own name, and ends.
TEST_F(UnderWine, AModeTheScreenDoesNotOfferIsRefusedWithAMessage) {
  XServer server;
  ASSERT_TRUE(StartXServer(&server, 1024, 768, 24, kStartLimit));
  CommandResult ended = RunShell(UnderWineCommand("tunnel_static", server.display));
  StopXServer(&server);
  EXPECT_EQ(ended.output,
            "tunnel_static: cannot open the display: the display does not offer the requested size and depth\n");
}

struct PictureProgram {
  const char* name;
  const char* linuxPath;
  const char* file;
};

const PictureProgram kPicturePrograms[] = {
    {"texture_dump", TEXTURE_DUMP_PATH, "Varnoxia_Texture.bmp"},
    {"distance_dump", DISTANCE_DUMP_PATH, "Varnoxia_Distance.bmp"},
    {"angle_dump", ANGLE_DUMP_PATH, "Varnoxia_Angle.bmp"},
};

// Pictures need no screen: the programs run without an X server. One writes a new
// file (MoveFileExA), the others replace an old one (ReplaceFileA); no temporary file
// is left beside them.
TEST_F(UnderWine, PictureFilesEqualTheLinuxBuildsByteForByte) {
  TempFolder folder;
  for (const PictureProgram& p : kPicturePrograms) std::filesystem::remove(DriveC() / p.file);
  const std::vector<std::string> before = TempFolder::NamesIn(DriveC());
  for (const PictureProgram& p : kPicturePrograms) {
    SCOPED_TRACE(p.name);
    const std::filesystem::path onWindows = DriveC() / p.file;
    if (&p != &kPicturePrograms[0]) WriteBytes(onWindows, "an old file");
    CommandResult linux = RunShell("sh -c 'cd \"" + folder.path().string() + "\" && exec " + p.linuxPath + "'");
    ASSERT_EQ(linux.status, 0) << linux.output;
    CommandResult windows = RunShell(UnderWineCommand(p.name));
    EXPECT_EQ(windows.status, 0) << windows.output;
    EXPECT_EQ(windows.output, "");
    std::vector<unsigned char> made = ReadBytes(onWindows);
    EXPECT_FALSE(made.empty()) << "no file " << onWindows;
    EXPECT_TRUE(made == ReadBytes(folder.path() / p.file)) << onWindows << " differs from the Linux build's";
    std::filesystem::remove(onWindows);
  }
  EXPECT_EQ(TempFolder::NamesIn(DriveC()), before) << "a temporary file was left on drive C:";
}

// A folder that takes no file: nothing is left in it, neither the picture nor a
// temporary file, and the program says and ends as the Linux build's does, naming the
// same file (the cause in its words: Wine reports a read-only mount as access denied).
TEST_F(UnderWine, AReadOnlyDriveCLeavesNoFileAndSaysWhatLinuxSays) {
  if (geteuid() != 0) GTEST_SKIP() << "a read-only mount of drive C: needs root";
  TempFolder folder;
  const std::vector<std::string> before = TempFolder::NamesIn(DriveC());
  for (const PictureProgram& p : kPicturePrograms) {
    SCOPED_TRACE(p.name);
    CommandResult linux = RunShell(InReadOnlyFolder(folder.path().string(), p.linuxPath));
    CommandResult windows = RunShell(InReadOnlyFolder(DriveC().string(), UnderWineCommand(p.name)));
    ASSERT_EQ(linux.output.rfind(kReadOnly, 0), 0u) << linux.output;
    ASSERT_EQ(windows.output.rfind(kReadOnly, 0), 0u) << windows.output;
    auto upToCause = [](const std::string& output) { return output.substr(0, output.rfind(": ")); };
    EXPECT_EQ(upToCause(windows.output), upToCause(linux.output)) << windows.output;
    EXPECT_EQ(windows.status, linux.status);
    EXPECT_EQ(WEXITSTATUS(linux.status), 1);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "the Linux build left a file";
  }
  EXPECT_EQ(TempFolder::NamesIn(DriveC()), before) << "a file was left on drive C:";
}

}  // namespace
}  // namespace e2e
