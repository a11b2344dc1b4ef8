// The X server ending under a running interactive program, as a log-out or a crash
// ends it: whatever the program is doing, it ends within a second with exit status 1
// and one line of its own that names the display. The X server is killed under each
// program at moments spread over 0.3 to 2 s after its first frame, in front and with
// the focus gone elsewhere; the runs go a few at a time, each on its own X server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/temp_folder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStartLimit = 20s;
constexpr milliseconds kEndLimit = 1s;
constexpr int kRunsEach = 10;
constexpr int kAtOnce = 4;

// Xlib is not made thread-safe here: the runs take turns with their connections.
std::mutex xlib;

struct Run {
  const char* path;
  bool focusLost;
  milliseconds killAfter;  // after the first frame
};

bool ShowsAFrame(const std::string& display) {
  Screenshot shot;
  std::string error;
  if (!TakeScreenshot(display, &shot, &error)) return false;
  for (std::uint32_t pixel : shot.pixels)
    if (pixel != 0) return true;
  return false;
}

// One run; what went wrong, or empty.
std::string KillTheServerUnder(const Run& run, const std::string& errorsPath) {
  XServer server;
  if (!StartXServer(&server, 640, 480, 24, kStartLimit)) return "no X server";
  Child program = Spawn({"/bin/sh", "-c", "exec \"$0\" 2>\"$1\"", run.path, errorsPath},
                        {"DISPLAY=" + server.display});
  std::string failure;
  if (!Eventually([&] { return ShowsAFrame(server.display); }, kStartLimit)) {
    failure = "no frame shown";
  } else if (run.focusLost) {
    std::lock_guard<std::mutex> turn(xlib);
    if (XClient* x = ConnectX(server.display)) {
      Focus(x, 0);
      // The test's own connection would break with the server, and Xlib end this process.
      DisconnectX(x);
    } else {
      failure = "no connection to the X server";
    }
  }
  if (failure.empty()) {
    std::this_thread::sleep_for(run.killAfter);
    kill(server.process.pid, SIGKILL);
    const auto killed = Clock::now();
    std::optional<int> status = AwaitExit(program, kEndLimit);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - killed);
    const std::string errors = ReadText(errorsPath);
    const std::string programName = std::filesystem::path(run.path).filename().string();
    const std::string line = programName + ": the display " + server.display + " went away\n";
    if (!status)
      failure = "still running " + std::to_string(kEndLimit.count()) + " ms after the X server ended";
    else if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 1)
      failure = "wait status " + std::to_string(*status) + " after " + std::to_string(took.count()) + " ms";
    else if (errors != line)
      failure = "said \"" + errors + "\"";
  }
  Stop(program);
  StopXServer(&server);
  return failure;
}

void KillTheServerUnderEach(const char* path, bool focusLost) {
  std::vector<Run> runs;
  for (int i = 0; i < kRunsEach; ++i) runs.push_back({path, focusLost, milliseconds(300 + i * 1700 / (kRunsEach - 1))});
  TempFolder folder;
  std::vector<std::string> failures(runs.size());
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kAtOnce; ++w)
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < runs.size();)
        failures[i] = KillTheServerUnder(runs[i], (folder.path() / ("errors" + std::to_string(i))).string());
    });
  for (std::thread& worker : workers) worker.join();
  for (std::size_t i = 0; i < runs.size(); ++i)
    EXPECT_EQ(failures[i], "") << "X server killed " << runs[i].killAfter.count() << " ms after the first frame";
}

TEST(DisplayGoneAway, AnimatedEndsWithOneLine) { KillTheServerUnderEach(TUNNEL_ANIMATED_PATH, false); }
TEST(DisplayGoneAway, StaticEndsWithOneLine) { KillTheServerUnderEach(TUNNEL_STATIC_PATH, false); }
TEST(DisplayGoneAway, LookaroundEndsWithOneLine) { KillTheServerUnderEach(TUNNEL_LOOKAROUND_PATH, false); }
TEST(DisplayGoneAway, AnimatedInTheBackgroundEndsWithOneLine) { KillTheServerUnderEach(TUNNEL_ANIMATED_PATH, true); }
TEST(DisplayGoneAway, StaticInTheBackgroundEndsWithOneLine) { KillTheServerUnderEach(TUNNEL_STATIC_PATH, true); }
TEST(DisplayGoneAway, LookaroundInTheBackgroundEndsWithOneLine) {
  KillTheServerUnderEach(TUNNEL_LOOKAROUND_PATH, true);
}

}  // namespace
}  // namespace e2e
