// A screen program for the end-to-end tests. It runs the way the tunnel programs do
// (ProgramStart, InitDisplay, OpenDisplay, a frame loop of BeginDrawing(ScreenTarget()),
// PutPixel, EndDrawing and PresentFrame until GetAsyncKeyState(27), ProgramEnd), but
// draws numbered test patterns, only into buffers that do not hold the pattern yet (so
// its cost is the presentation's), and reports on its standard output what happened while
// the test drives it through its standard input:
//   pattern N   draw pattern N from the next frame on; "presented N" follows the first
//               PresentFrame of it
//   hold        make no platform call until the next line arrives ("holding")
//   frames      report "frames N", the PresentFrame calls so far, after the next one:
//               every event the display had sent before the line arrived is then
//               pumped and handled
//   mode W H    switch the open screen to W x H through DirectDraw's SetDisplayMode
//               and restore the surfaces, as a caller of the platform layer may
//               ("mode R", R SetDisplayMode's result); the pattern's top left W x H is
//               drawn from then on
//   trace       echo the platform's call log, one entry a line, from now on ("tracing")
// Reports: "open R" with OpenDisplay's result; "message M X Y" for every window message
// the platform dispatches (M in hexadecimal, X and Y the low and high word of lParam);
// "active 0/1" when the screen's `active` changes; "escape" when the loop ends.
// Arguments: PresentFrame's mode, the depth to open (32 unless given), and "renderer"
// to show the frames through SDL's renderer where the backend would put them on the
// window's surface.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/frame.h"
#include "platform/testing.h"
#include "platform/user32.h"
#include "screen/display.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_program.h"
#include "screen/screen_target.h"
#include "tests/e2e/probe_pattern.h"

namespace {

struct {
  ProgramHeader header;
  std::int32_t mode;
  std::int32_t pattern;
  std::int32_t presentedPattern;
  bool active;
  long frames;
  bool framesAsked;
  std::int32_t buffersToDraw;  // of the flipping pair, those without the pattern
  std::int32_t width, height;  // of the screen's mode
} g;

std::string pendingInput;

void Report(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The next whole line of standard input, if one has arrived (with wait: once one has).
bool NextCommand(std::string* line, bool wait) {
  for (;;) {
    std::size_t newline = pendingInput.find('\n');
    if (newline != std::string::npos) {
      *line = pendingInput.substr(0, newline);
      pendingInput.erase(0, newline + 1);
      return true;
    }
    pollfd p = {0, POLLIN, 0};
    int ready = poll(&p, 1, wait ? -1 : 0);
    if (ready < 0 && errno == EINTR && wait) continue;  // a held probe stays held
    if (ready <= 0) return false;
    char buffer[256];
    ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) ProgramEnd();  // the test went away
    pendingInput.append(buffer, std::size_t(n));
  }
}

void FollowCommands() {
  std::string command;
  while (NextCommand(&command, false)) {
    if (command.rfind("pattern ", 0) == 0) {
      g.pattern = std::atoi(command.c_str() + 8);
      g.buffersToDraw = 2;
    } else if (command == "frames") {
      g.framesAsked = true;
    } else if (command == "hold") {
      Report("holding");
      NextCommand(&command, true);
    } else if (command.rfind("mode ", 0) == 0) {
      int width = 0, height = 0;
      std::sscanf(command.c_str() + 5, "%d %d", &width, &height);
      const platform::HRESULT result = displayState.directDraw->SetDisplayMode(width, height, 32, 0, 0);
      displayState.directDraw->RestoreAllSurfaces();
      if (result == 0) {
        g.width = width;
        g.height = height;
      }
      Report("mode " + std::to_string(result));
      g.buffersToDraw = 2;
    } else if (command == "trace") {
      platform::test::StartCallLog();
      platform::test::EchoCallLog(1);
      Report("tracing");
    }
  }
}

// Reports each message as the platform hands it to the window procedure, whoever
// pumped the queue: PresentFrame's own pump takes in the events that arrive meanwhile.
void ReportMessage(platform::UINT message, platform::LPARAM lParam) {
  char text[64];
  std::snprintf(text, sizeof text, "message %X %d %d", message, std::int16_t(platform::LOWORD(std::uintptr_t(lParam))),
                std::int16_t(platform::HIWORD(std::uintptr_t(lParam))));
  Report(text);
  // A focus lost and regained within one frame leaves `active` as it was, but the
  // surfaces come back with nothing drawn.
  if (message == platform::WM_ACTIVATE) g.buffersToDraw = 2;
}

void DrawPattern() {
  if (!BeginDrawing(ScreenTarget())) return;  // surfaces lost: nothing drawn
  --g.buffersToDraw;
  for (std::int32_t y = 0; y < g.height; ++y) {
    for (std::int32_t x = 0; x < g.width; ++x) {
      const std::uint32_t rgb = e2e::PatternPixel(g.pattern, x, y);
      // Colours are 0x00BBGGRR.
      PutPixel(x, y, std::int32_t((rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16));
    }
  }
  EndDrawing();
}

}  // namespace

int main(int argc, char** argv) {
  ProgramStart(g, kScreenProgram);
  g.mode = argc > 1 ? std::atoi(argv[1]) : 1;
  const std::int32_t depth = argc > 2 ? std::atoi(argv[2]) : 32;
  if (argc > 3 && std::string(argv[3]) == "renderer") platform::test::RefuseCall("SDL_GetWindowSurface");
  g.presentedPattern = -1;
  g.buffersToDraw = 2;
  g.width = e2e::kProbeWidth;
  g.height = e2e::kProbeHeight;
  platform::test::WatchDispatch(ReportMessage);

  InitDisplay();
  const std::int32_t opened = OpenDisplay(e2e::kProbeWidth, e2e::kProbeHeight, depth, e2e::kProbeTitle);
  Report("open " + std::to_string(opened));
  StopUnlessDisplayOpen(opened);
  g.active = displayState.active;

  do {
    FollowCommands();
    if (g.buffersToDraw > 0) DrawPattern();
    PresentFrame(g.mode);
    ++g.frames;
    if (g.framesAsked) {
      g.framesAsked = false;
      Report("frames " + std::to_string(g.frames));
    }
    if (g.active != displayState.active) {
      g.active = displayState.active;
      g.buffersToDraw = 2;  // restored surfaces come back with nothing drawn
      Report(std::string("active ") + (g.active ? "1" : "0"));
    }
    if (g.presentedPattern != g.pattern) {
      g.presentedPattern = g.pattern;
      Report("presented " + std::to_string(g.pattern));
    }
  } while (platform::GetAsyncKeyState(27) == 0);

  Report("escape");
  ProgramEnd();
}
