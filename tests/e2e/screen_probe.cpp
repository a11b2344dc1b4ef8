// A screen program for the end-to-end tests: it takes the display like the tunnel
// programs do, shows numbered test patterns, and reports on its standard output what
// it did, while the test drives it through its standard input:
//   pattern N   draw pattern N from the next frame on; "shown N" follows its first present
//   hold        stop making any platform call until the next line arrives ("holding")
//   frames      report "frames N", the frames presented so far
// It reports "open 1" (or "open 0"), "active 0/1" when the window's activation changes,
// "close" for each close request, "escape" when GetAsyncKeyState(27) answers, then
// ends. Argument: the presentation mode (1: at the retrace, 0: at once).
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/display_driver.h"
#include "platform/kernel32.h"
#include "platform/user32.h"
#include "tests/e2e/probe_pattern.h"

namespace {

using namespace platform;

std::string pendingInput;

void Report(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The next whole line of standard input, if one has arrived (or, with wait, once one
// arrives).
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
    if (n <= 0) std::exit(2);  // the test went away
    pendingInput.append(buffer, std::size_t(n));
  }
}

LRESULT ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      Report(std::string("active ") + (LOWORD(wParam) != WA_INACTIVE ? "1" : "0"));
      return 0;
    case WM_CLOSE:
      Report("close");
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool atRetrace = argc < 2 || std::atoi(argv[1]) != 0;
  const DisplayDriver& display = DisplayDriverInstance();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = ProbeWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "Probe";
  RegisterClassExA(&windowClass);
  HWND window = CreateWindowExA(0, "Probe", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                                nullptr);
  SetWindowTextA(window, e2e::kProbeTitle);
  ShowCursor(FALSE);
  SurfaceLayout layout{};
  if (!display.Available() || !display.EnterExclusive(window) ||
      !display.SetMode(e2e::kProbeWidth, e2e::kProbeHeight, 32, &layout)) {
    Report("open 0");
    return 0;
  }
  ShowWindow(window, SW_SHOWMAXIMIZED);
  Report("open 1");

  std::vector<BYTE> pixels(std::size_t(layout.pitch) * e2e::kProbeHeight);
  const gdi::PixelMemory frame = {pixels.data(), e2e::kProbeWidth, e2e::kProbeHeight, layout.pitch,
                                  layout.format};
  int pattern = 0, drawn = -1;
  long frames = 0;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    std::string command;
    while (NextCommand(&command, false)) {
      if (command.rfind("pattern ", 0) == 0) {
        pattern = std::atoi(command.c_str() + 8);
      } else if (command == "frames") {
        Report("frames " + std::to_string(frames));
      } else if (command == "hold") {
        Report("holding");
        NextCommand(&command, true);
      }
    }
    if (drawn != pattern) {
      for (LONG y = 0; y < frame.height; ++y)
        for (LONG x = 0; x < frame.width; ++x)
          gdi::WritePixel(frame, x, y, e2e::PatternPixel(pattern, x, y));
    }
    display.Present(frame, atRetrace);
    ++frames;
    if (drawn != pattern) Report("shown " + std::to_string(pattern));
    drawn = pattern;
    if (GetAsyncKeyState(VK_ESCAPE)) {
      Report("escape");
      display.LeaveExclusive();
      return 0;
    }
  }
}
