// Without a display the interactive programs end at once with exit code 1 and one
// line that says why: which display the environment points at and what it answered.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tests/support/command_output.h"
#include "tests/support/temp_folder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

// An authority file of one MIT-MAGIC-COOKIE-1 entry: an X server started with it
// refuses every client that has no such cookie.
void WriteCookieFile(const std::filesystem::path& path) {
  std::ofstream file(path, std::ios::binary);
  auto counted = [&](const std::string& text) {
    file.put(char(text.size() >> 8)).put(char(text.size() & 0xFF)) << text;
  };
  file.put(char(0xFF)).put(char(0xFF));  // any address family
  counted("");                            // any address
  counted("");                            // any display number
  counted("MIT-MAGIC-COOKIE-1");
  counted(std::string(16, 'Z'));
}

// A display number with no X server, nor the lock file of one.
std::string FreeDisplay() {
  for (int n = 170;; ++n) {
    const std::string number = std::to_string(n);
    const std::filesystem::path lock = "/tmp/.X" + number + "-lock", socket = "/tmp/.X11-unix/X" + number;
    if (!std::filesystem::exists(lock) && !std::filesystem::exists(socket)) return ":" + number;
  }
}

// A socket file that nobody listens on any more: connecting to it is refused.
void LeaveDeadSocket(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.string().copy(address.sun_path, sizeof address.sun_path - 1);
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(s);
}

TEST(ProgramWithoutDisplay, EndsAtOnceWithOneLineThatSaysWhy) {
  TempFolder folder;
  const std::filesystem::path runtime = folder.path();
  WriteCookieFile(runtime / "cookie");
  XServer refusing, oneScreen;
  ASSERT_TRUE(StartXServer(&refusing, 640, 480, 24, 20s, {"-auth", (runtime / "cookie").string()}));
  ASSERT_TRUE(StartXServer(&oneScreen, 640, 480, 24, 20s));
  LeaveDeadSocket(runtime / "wayland-dead");
  const std::string noServer = FreeDisplay();

  struct Case {
    const char* what;
    std::string environment;  // for env(1), after every display variable is removed
    std::string says;         // what the line says in its parentheses
    std::string limit = "";   // prlimit(1)'s options for the program
  };
  const std::vector<Case> cases = {
      {"no display at all", "", "(no desktop session"},
      {"no X server at DISPLAY", "DISPLAY=" + noServer, "(DISPLAY=" + noServer + " but no X server answers there)"},
      {"an X server that refuses", "DISPLAY=" + refusing.display + " XAUTHORITY=" + (runtime / "none").string(),
       "(the X server at DISPLAY=" + refusing.display + " refused the connection: Authorization required"},
      {"not a display name", "DISPLAY=nowhere", "(DISPLAY=nowhere is not a display name)"},
      {"no Wayland socket", "XDG_RUNTIME_DIR=" + runtime.string() + " WAYLAND_DISPLAY=wayland-7",
       "(WAYLAND_DISPLAY=wayland-7 but no compositor answers there: there is no " + (runtime / "wayland-7").string() +
           ")"},
      {"a Wayland socket nobody listens on", "XDG_RUNTIME_DIR=" + runtime.string() + " WAYLAND_DISPLAY=wayland-dead",
       "(WAYLAND_DISPLAY=wayland-dead but no compositor answers there: " + (runtime / "wayland-dead").string() +
           " refuses connections)"},
      {"a Wayland name without its folder", "WAYLAND_DISPLAY=wayland-7",
       "(WAYLAND_DISPLAY=wayland-7 but XDG_RUNTIME_DIR is not set)"},
      {"a screen the X server does not have", "DISPLAY=" + oneScreen.display + ".1",
       "(DISPLAY=" + oneScreen.display + ".1 names a screen the X server does not have)"},
      // Too few to connect at all, and enough to connect but not to start SDL's video.
      {"five file descriptors", "DISPLAY=" + oneScreen.display,
       "(the program ran out of file descriptors: ulimit -n lets it have 5 open at once)", "--nofile=5"},
      {"six file descriptors", "DISPLAY=" + oneScreen.display,
       "(the program ran out of file descriptors: ulimit -n lets it have 6 open at once)", "--nofile=6"},
  };
  for (const char* path : {TUNNEL_ANIMATED_PATH, TUNNEL_STATIC_PATH, TUNNEL_LOOKAROUND_PATH}) {
    const std::string name = std::filesystem::path(path).filename().string();
    for (const Case& c : cases) {
      SCOPED_TRACE(name + ", " + c.what);
      CommandResult run = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u XAUTHORITY " +
                                     c.environment + " timeout 20 " +
                                     (c.limit.empty() ? "" : "prlimit " + c.limit + " ") + path + " 2>&1");
      const std::string& output = run.output;
      ASSERT_TRUE(WIFEXITED(run.status));
      EXPECT_EQ(WEXITSTATUS(run.status), 1);
      EXPECT_EQ(output.rfind(name + ": cannot open the display: no display to show the screen on (", 0), 0u) << output;
      EXPECT_NE(output.find(c.says), std::string::npos) << output;
      EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
  }
  StopXServer(&refusing);
  StopXServer(&oneScreen);
}

}  // namespace
}  // namespace e2e
