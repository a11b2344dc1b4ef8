// Runs a program's main body inside this process on the in-memory display, as a process
// of its own would run it. An interactive one gets Escape once it has shown a number of
// frames, and hands on each frame it presents.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct ShownFrame {
  int number;  // 1 for the first frame presented
  int width, height;
  std::vector<std::uint32_t> pixels;  // colours 0x00BBGGRR, row by row from the top
};

struct ProgramShow {
  unsigned exitCode;
  int frames;  // the frames presented
  bool allSeen;  // each of them was handed on
};

// Runs `body` once in this process (the runtime is not reset for a second run) and gives
// its exit code: ProgramEnd's exit comes back here instead of ending the process.
unsigned RunMainBody(int (*body)());

// Runs an interactive program's `body` as RunMainBody does, for `frames` frames.
ProgramShow ShowProgram(int (*body)(), int frames, const std::function<void(const ShownFrame&)>& seen);
