#include "snapshots/program_frames.h"

#include "platform/memory/memory_display.h"
#include "platform/testing.h"
#include "platform/user32.h"

namespace memory = platform::memory;

namespace {

constexpr platform::SHORT kKeyDown = static_cast<platform::SHORT>(0x8000);

ShownFrame Presented() {
  ShownFrame frame{memory::View().presents, memory::PresentedWidth(), memory::PresentedHeight(), {}};
  frame.pixels.reserve(static_cast<std::size_t>(frame.width) * frame.height);
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) frame.pixels.push_back(memory::PresentedPixel(x, y));
  return frame;
}

}  // namespace

unsigned RunMainBody(int (*body)()) {
  // ProgramEnd's exit comes back here as an exception.
  unsigned exitCode = 0;
  platform::test::TrapExit(true);
  try {
    exitCode = static_cast<unsigned>(body());
  } catch (const platform::test::ProcessExit& exit) {
    exitCode = exit.code;
  }
  platform::test::TrapExit(false);
  return exitCode;
}

ProgramShow ShowProgram(int (*body)(), int frames, const std::function<void(const ShownFrame&)>& seen) {
  // The program asks for Escape once a frame, after presenting it.
  std::vector<platform::SHORT> keys(frames - 1, 0);
  keys.push_back(kKeyDown);
  memory::ScriptKeyStates(platform::VK_ESCAPE, keys);

  // Frame n is the one on show while the program pumps its messages for frame n + 1;
  // the last one is read after the end.
  int handedOn = 0;
  bool allSeen = true;
  auto handOn = [&] {
    int shown = memory::View().presents;
    if (shown == handedOn) return;
    allSeen = allSeen && shown == handedOn + 1;
    handedOn = shown;
    seen(Presented());
  };
  std::function<void()> watch = [&] {
    handOn();
    memory::AtNextPump(watch);
  };
  memory::AtNextPump(watch);

  unsigned exitCode = RunMainBody(body);
  handOn();
  return {exitCode, memory::View().presents, allSeen};
}
