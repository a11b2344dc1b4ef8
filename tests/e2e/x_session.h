// What the end-to-end tests need to run a program on a real X server: child processes
// with a line protocol on their standard streams, a private Xvfb, and screenshots of
// its root window as `xwd` takes them. Every wait has a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using std::chrono::milliseconds;

// Polls `condition` until it holds or the limit passes. The time is read before the
// condition, so the last look comes after the limit: a test held up by a loaded machine
// past the limit looks once more instead of failing on a look taken before it.
template <typename Condition>
bool Eventually(Condition condition, milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const bool late = std::chrono::steady_clock::now() >= deadline;
    if (condition()) return true;
    if (late) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
}

struct Child {
  pid_t pid = -1;
  int input = -1;   // the child's standard input
  int output = -1;  // the child's standard output
  std::string unread;
};

// Starts `argv` with the environment changed by `environment`: "NAME=value" sets a
// variable, "NAME" alone removes it. Standard input and output become pipes. The
// child keeps `inherited` open too, when given; it should be made close-on-exec, so
// that no child another thread starts meanwhile gets it as well.
Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            int inherited = -1);

// The next line the child writes, without its newline; nothing when the limit passes
// or the child closes its output first.
std::optional<std::string> ReadLine(Child& child, milliseconds limit);
// Skips lines until one starts with `prefix`, and returns it.
std::optional<std::string> AwaitLine(Child& child, const std::string& prefix, milliseconds limit);
void WriteLine(Child& child, const std::string& line);

// Runs a command to its end and keeps what it wrote to its standard output; false when
// it failed or did not end within the limit.
bool RunForOutput(const std::vector<std::string>& argv, std::vector<unsigned char>* output, milliseconds limit,
                  const std::vector<std::string>& environment = {});

// The child's wait status once it has ended, or nothing when it still runs at the limit.
std::optional<int> AwaitExit(Child& child, milliseconds limit);
// Ends the child for good (SIGKILL) if it still runs and reaps it.
void Stop(Child& child);

// CPU time (user + system) the process has used so far, in seconds.
double CpuSeconds(pid_t pid);

// A private X server on a display number of its own choosing.
struct XServer {
  Child process;
  std::string display;  // ":N"
};
// False when Xvfb did not come up within the limit. `options` go to Xvfb as well.
bool StartXServer(XServer* server, int width, int height, int depth, milliseconds limit,
                  const std::vector<std::string>& options = {});
void StopXServer(XServer* server);

struct Screenshot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row after row
  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// Parses a window dump in the X Window Dump format (16 or 32 bits per pixel, direct or
// true colour). A channel of fewer than 8 bits reads as the top bits of its 8-bit value
// (a 5-bit 31 as 0xF8). Fills `error` and returns false for anything else.
bool ParseXwd(const std::vector<unsigned char>& bytes, Screenshot* shot, std::string* error);

// The root window of the server, as `xwd -root` dumps it.
bool TakeScreenshot(const std::string& display, Screenshot* shot, std::string* error);

}  // namespace e2e
