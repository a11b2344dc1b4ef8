#include "tests/e2e/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? int(left) : 0;
}

// Waits until `fd` can be read or the deadline passes.
bool Readable(int fd, Clock::time_point deadline) {
  pollfd p = {fd, POLLIN, 0};
  for (;;) {
    int ready = poll(&p, 1, RemainingMs(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

void ApplyEnvironment(const std::vector<std::string>& environment) {
  for (const std::string& entry : environment) {
    std::size_t equals = entry.find('=');
    if (equals == std::string::npos)
      unsetenv(entry.c_str());
    else
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
  }
}

std::uint32_t Big32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The 8-bit channel that `mask` selects; false for a mask that is not 8 contiguous bits.
// Where a colour channel lies in a pixel: a run of at most 8 bits.
struct Channel {
  int shift, bits;
  std::uint32_t EightBits(std::uint32_t pixel) const {
    return ((pixel >> shift) & ((1u << bits) - 1)) << (8 - bits);
  }
};

bool ChannelOf(std::uint32_t mask, Channel* channel) {
  if (mask == 0) return false;
  channel->shift = __builtin_ctz(mask);
  channel->bits = __builtin_popcount(mask);
  return channel->bits <= 8 && (mask >> channel->shift) == (1u << channel->bits) - 1;
}

}  // namespace

Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int inherited) {
  Child child;
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return child;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return child;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    if (inherited >= 0) fcntl(inherited, F_SETFD, 0);
    signal(SIGPIPE, SIG_DFL);
    ApplyEnvironment(environment);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  if (pid < 0) {
    close(toChild[1]);
    close(fromChild[0]);
    return child;
  }
  child.pid = pid;
  child.input = toChild[1];
  child.output = fromChild[0];
  return child;
}

bool RunForOutput(const std::vector<std::string>& argv, std::vector<unsigned char>* output,
                  milliseconds limit, const std::vector<std::string>& environment) {
  Child child = Spawn(argv, environment);
  if (child.pid < 0) return false;
  close(child.input);
  child.input = -1;
  const auto deadline = Clock::now() + limit;
  unsigned char buffer[65536];
  for (;;) {
    if (!Readable(child.output, deadline)) {
      Stop(child);
      return false;
    }
    ssize_t n = read(child.output, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output->insert(output->end(), buffer, buffer + n);
  }
  std::optional<int> status = AwaitExit(child, milliseconds(RemainingMs(deadline)));
  Stop(child);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::optional<std::string> ReadLine(Child& child, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    std::size_t newline = child.unread.find('\n');
    if (newline != std::string::npos) {
      std::string line = child.unread.substr(0, newline);
      child.unread.erase(0, newline + 1);
      return line;
    }
    if (child.output < 0 || !Readable(child.output, deadline)) return std::nullopt;
    char buffer[4096];
    ssize_t n = read(child.output, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(child.output);
      child.output = -1;
      return std::nullopt;
    }
    child.unread.append(buffer, std::size_t(n));
  }
}

std::optional<std::string> AwaitLine(Child& child, const std::string& prefix, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    std::optional<std::string> line = ReadLine(child, milliseconds(RemainingMs(deadline)));
    if (!line || line->rfind(prefix, 0) == 0) return line;
  }
}

void WriteLine(Child& child, const std::string& line) {
  std::string text = line + "\n";
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(child.input, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= std::size_t(n);
  }
}

std::optional<int> AwaitExit(Child& child, milliseconds limit) {
  if (child.pid < 0) return std::nullopt;
  const auto deadline = Clock::now() + limit;
  for (;;) {
    // Read before looking, so the last look comes after the limit (see Eventually).
    const bool late = Clock::now() >= deadline;
    int status = 0;
    pid_t done = waitpid(child.pid, &status, WNOHANG);
    if (done == child.pid) {
      child.pid = -1;
      return status;
    }
    if (late) return std::nullopt;
    usleep(2000);
  }
}

void Stop(Child& child) {
  if (child.pid > 0) {
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    child.pid = -1;
  }
  if (child.input >= 0) close(child.input);
  if (child.output >= 0) close(child.output);
  child.input = child.output = -1;
}

double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command name, which is in parentheses and may hold spaces.
  std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) {
      system = std::stoull(field);
      break;
    }
  }
  return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

bool StartXServer(XServer* server, int width, int height, int depth, milliseconds limit,
                  const std::vector<std::string>& options) {
  // Xvfb picks a free display number itself and writes it to the descriptor once it
  // accepts connections. Only Xvfb gets the pipe's end: a copy in a child of another
  // test thread would keep the end open after an Xvfb that failed to start.
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return false;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" +
                             std::to_string(depth);
  std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen,
                                   "-nolisten", "tcp", "-noreset"};
  argv.insert(argv.end(), options.begin(), options.end());
  server->process = Spawn(argv, {}, ready[1]);
  close(ready[1]);
  std::string number;
  const auto deadline = Clock::now() + limit;
  while (Readable(ready[0], deadline)) {
    char c;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (number.empty()) {
    StopXServer(server);
    return false;
  }
  server->display = ":" + number;
  return true;
}

void StopXServer(XServer* server) {
  if (server->process.pid > 0) {
    kill(server->process.pid, SIGTERM);
    if (!AwaitExit(server->process, milliseconds(5000))) Stop(server->process);
  }
  Stop(server->process);
  server->display.clear();
}

bool ParseXwd(const std::vector<unsigned char>& bytes, Screenshot* shot, std::string* error) {
  constexpr std::size_t kHeaderFields = 25, kColourEntrySize = 12;
  if (bytes.size() < kHeaderFields * 4) {
    *error = "shorter than an XWD header";
    return false;
  }
  std::uint32_t field[kHeaderFields];
  for (std::size_t i = 0; i < kHeaderFields; ++i) field[i] = Big32(&bytes[i * 4]);
  const std::uint32_t headerSize = field[0], version = field[1], format = field[2],
                      width = field[4], height = field[5], byteOrder = field[7],
                      bitsPerPixel = field[11], bytesPerLine = field[12], visualClass = field[13],
                      colours = field[19];
  constexpr std::uint32_t kZPixmap = 2, kTrueColor = 4, kDirectColor = 5;
  Channel red, green, blue;
  if (version != 7 || format != kZPixmap || (bitsPerPixel != 32 && bitsPerPixel != 16) ||
      (visualClass != kTrueColor && visualClass != kDirectColor) || !ChannelOf(field[14], &red) ||
      !ChannelOf(field[15], &green) || !ChannelOf(field[16], &blue)) {
    *error = "not a 16- or 32-bit true-colour ZPixmap dump";
    return false;
  }
  const std::uint32_t pixelBytes = bitsPerPixel / 8;
  const std::uint64_t start = std::uint64_t(headerSize) + std::uint64_t(colours) * kColourEntrySize;
  if (bytesPerLine < width * pixelBytes || start + std::uint64_t(bytesPerLine) * height > bytes.size()) {
    *error = "image data cut short";
    return false;
  }
  shot->width = int(width);
  shot->height = int(height);
  shot->pixels.assign(std::size_t(width) * height, 0);
  for (std::uint32_t y = 0; y < height; ++y) {
    const unsigned char* row = &bytes[start + std::uint64_t(y) * bytesPerLine];
    for (std::uint32_t x = 0; x < width; ++x) {
      const unsigned char* p = row + x * pixelBytes;
      std::uint32_t value = 0;
      for (std::uint32_t i = 0; i < pixelBytes; ++i)
        value |= std::uint32_t(p[byteOrder == 0 ? i : pixelBytes - 1 - i]) << (8 * i);
      shot->pixels[std::size_t(y) * width + x] =
          red.EightBits(value) << 16 | green.EightBits(value) << 8 | blue.EightBits(value);
    }
  }
  return true;
}

bool TakeScreenshot(const std::string& display, Screenshot* shot, std::string* error) {
  std::vector<unsigned char> dump;
  if (!RunForOutput({"xwd", "-root", "-silent", "-display", display}, &dump, milliseconds(10000))) {
    *error = "xwd failed";
    return false;
  }
  return ParseXwd(dump, shot, error);
}

}  // namespace e2e
