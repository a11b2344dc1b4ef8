// The interactive programs started as a launcher may leave them, on a private X server.
// Under tight memory, as `ulimit -v` makes it: from the least address space the dynamic
// loader can start them in up to where they run, each either runs until Escape without
// a word and ends with exit code 0, or says in one line that memory was short and ends
// with exit code 1; never an abort, never a signal. With the standard streams closed:
// they are /dev/null, so the X connection has a number of its own. Under a silent
// session bus and without RANDR: they start, and say nothing.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/temp_folder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

constexpr long kMiB = 1024 * 1024;

struct LimitedRun {
  bool loaderGaveUp = false;
  bool shown = false;  // the window appeared, and Escape was typed
  std::optional<int> status;
  std::vector<std::string> lines;  // standard output and standard error
};

// Runs a shell command on the server until its window shows and Escape ends it.
LimitedRun RunUntilEscape(const std::string& command, std::vector<std::string> environment, const XServer& server,
                          XClient* x) {
  LimitedRun run;
  environment.push_back("DISPLAY=" + server.display);
  Child program = Spawn({"sh", "-c", "exec 2>&1 " + command}, environment);
  if (program.pid <= 0) return run;
  Eventually(
      [&] {
        if (!run.status) run.status = AwaitExit(program, 0ms);
        XWindowId window = WindowOfProcess(x, program.pid);
        WindowFacts facts;
        run.shown = window && ReadWindow(x, window, &facts) && facts.viewable;
        return run.status || run.shown;
      },
      20s);
  // Typed again until it ends: a key typed while the window is only being shown may
  // reach it before it has the focus.
  if (!run.status && run.shown)
    Eventually(
        [&] {
          FakeKey(x, "Escape", true);
          FakeKey(x, "Escape", false);
          return (run.status = AwaitExit(program, 300ms)).has_value();
        },
        10s);
  while (std::optional<std::string> line = ReadLine(program, 1s)) run.lines.push_back(*line);
  Stop(program);
  return run;
}

LimitedRun RunUnderLimit(const char* path, long bytes, const XServer& server, XClient* x) {
  LimitedRun run = RunUntilEscape("prlimit --as=" + std::to_string(bytes) + " " + path, {}, server, x);
  run.loaderGaveUp = run.status && WIFEXITED(*run.status) && WEXITSTATUS(*run.status) == 127 &&
                     std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& line) {
                       return line.find("error while loading shared libraries") != std::string::npos ||
                              line.find("cannot allocate TLS") != std::string::npos || line == "out of memory" ||
                              line.find("Fatal glibc error") != std::string::npos;
                     });
  return run;
}

class StartConditions : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartXServer(&server_, 640, 480, 24, 20s));
    x_ = ConnectX(server_.display);
    ASSERT_NE(x_, nullptr);
  }
  void TearDown() override {
    if (x_) DisconnectX(x_);
    StopXServer(&server_);
  }
  XServer server_;
  XClient* x_ = nullptr;
};

TEST_P(StartConditions, UnderTightMemoryRunsOrSaysMemoryWasShort) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer maps terabytes of shadow memory: its programs cannot run under ulimit -v";
#endif
  const char* path = GetParam();
  const std::string name = std::string(path).substr(std::string(path).rfind('/') + 1);
  long limit = 8 * kMiB;
  while (RunUnderLimit(path, limit, server_, x_).loaderGaveUp) {
    limit += kMiB;
    ASSERT_LT(limit, 1024 * kMiB) << "the loader never got through";
  }
  int memoryLines = 0, wholeRuns = 0;
  // Steps of half a MiB: finer than the tables, the screen buffers and SDL's libraries.
  for (limit -= kMiB; wholeRuns < 3; limit += kMiB / 2) {
    SCOPED_TRACE(testing::Message() << "limit " << limit / 1024 << " KiB");
    LimitedRun run = RunUnderLimit(path, limit, server_, x_);
    if (run.loaderGaveUp && memoryLines == 0 && wholeRuns == 0) continue;
    ASSERT_TRUE(run.status.has_value()) << "still running after Escape";
    std::string said;
    for (const std::string& line : run.lines) said += line + "\n";
    ASSERT_TRUE(WIFEXITED(*run.status)) << "wait status " << *run.status << ": " << said;
    ASSERT_EQ(WEXITSTATUS(*run.status), run.lines.empty() ? 0 : 1) << said;
    if (run.lines.empty()) {
      EXPECT_TRUE(run.shown) << "ended by itself without a word";
      ++wholeRuns;
      continue;
    }
    wholeRuns = 0;
    ++memoryLines;
    ASSERT_EQ(run.lines.size(), 1u) << said;
    EXPECT_EQ(run.lines[0].rfind(name + ": ", 0), 0u) << said;
    EXPECT_NE(run.lines[0].find("memory"), std::string::npos) << said;
  }
  EXPECT_GT(memoryLines, 0) << "the scan never met a limit that makes the program fail";
}

std::string LinkOf(pid_t pid, int descriptor) {
  std::array<char, 256> target{};
  std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(descriptor);
  ssize_t n = readlink(link.c_str(), target.data(), target.size() - 1);
  return n > 0 ? std::string(target.data(), std::size_t(n)) : "";
}

TEST_P(StartConditions, WithTheStandardStreamsClosedTheyAreTheNullDevice) {
  const char* path = GetParam();
  Child program = Spawn({"sh", "-c", std::string("exec <&- >&- 2>&- ") + path},
                        {"DISPLAY=" + server_.display});
  ASSERT_GT(program.pid, 0);
  XWindowId window = 0;
  ASSERT_TRUE(Eventually(
      [&] {
        window = WindowOfProcess(x_, program.pid);
        WindowFacts facts;
        return window && ReadWindow(x_, window, &facts) && facts.viewable;
      },
      20s))
      << "no window shown";
  for (int descriptor : {0, 1, 2}) EXPECT_EQ(LinkOf(program.pid, descriptor), "/dev/null") << descriptor;
  FakeKey(x_, "Escape", true);
  FakeKey(x_, "Escape", false);
  std::optional<int> status = AwaitExit(program, 10s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the program";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
  Stop(program);
}

// A session bus that accepts connections and never answers (a stopped dbus-daemon),
// and an X server without RANDR (some VNC servers): the window shows, and nothing but
// the program's own lines (none) is said.
TEST_P(StartConditions, UnderAnUnhelpfulDesktopTheWindowShowsWithoutAWord) {
  TempFolder folder;
  const std::string bus = (folder.path() / "bus").string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  bus.copy(address.sun_path, sizeof address.sun_path - 1);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 16), 0);
  XServer withoutRandr;
  ASSERT_TRUE(StartXServer(&withoutRandr, 640, 480, 24, 20s, {"-extension", "RANDR"}));
  XClient* x = ConnectX(withoutRandr.display);
  ASSERT_NE(x, nullptr);
  struct Case {
    const char* what;
    std::vector<std::string> environment;
    const XServer& server;
    XClient* x;
  };
  for (const Case& c : {Case{"a session bus that never answers", {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus}, server_, x_},
                        Case{"an X server without RANDR", {}, withoutRandr, x}}) {
    SCOPED_TRACE(c.what);
    const LimitedRun run = RunUntilEscape(GetParam(), c.environment, c.server, c.x);
    EXPECT_TRUE(run.shown) << "no window shown";
    ASSERT_TRUE(run.status.has_value()) << "still running";
    EXPECT_TRUE(WIFEXITED(*run.status) && WEXITSTATUS(*run.status) == 0) << "wait status " << *run.status;
    EXPECT_EQ(run.lines, std::vector<std::string>{});
  }
  DisconnectX(x);
  StopXServer(&withoutRandr);
  close(listener);
}

INSTANTIATE_TEST_SUITE_P(Programs, StartConditions,
                         ::testing::Values(TUNNEL_ANIMATED_PATH, TUNNEL_STATIC_PATH, TUNNEL_LOOKAROUND_PATH),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string path = info.param;
                           return path.substr(path.rfind("tunnel_") + 7);
                         });

}  // namespace
}  // namespace e2e
