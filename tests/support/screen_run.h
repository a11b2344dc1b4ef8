// A screen program's run inside a test, on the in-memory display: every test starts
// from what a new process finds (no window, no module, nothing scripted) with the
// screen program's frame started, and ends through the frame's end steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi32.h"
#include "platform/memory/memory_display.h"
#include "platform/testing.h"
#include "screen/display.h"
#include "screen/drawing.h"
#include "screen/screen_program.h"
#include "tests/support/program_run.h"

inline void ResetScreenRuntime() {
  // The previous program's default brush and pen would have gone with its process.
  platform::DeleteObject(drawingState.defaultBrush);
  platform::DeleteObject(drawingState.defaultPen);
  drawingState = {};
  platform::test::ClearFaults();
  platform::test::TakeCallLog();
  platform::test::ForgetWindows();
  platform::test::UnloadModules();
  platform::memory::ResetDisplay();
  ResetDisplayState();
}

// The entries of a call log that start with one of the prefixes, in order.
inline std::vector<std::string> Only(const std::vector<std::string>& log,
                                     const std::vector<std::string>& prefixes) {
  std::vector<std::string> kept;
  for (const std::string& entry : log)
    if (std::any_of(prefixes.begin(), prefixes.end(),
                    [&](const std::string& p) { return entry.rfind(p, 0) == 0; }))
      kept.push_back(entry);
  return kept;
}

inline bool Contains(const std::vector<std::string>& log, const std::string& entry) {
  return std::find(log.begin(), log.end(), entry) != log.end();
}

class ScreenProgramTest : public ::testing::Test {
 protected:
  struct Globals {
    ProgramHeader header;
  };
  static inline Globals g;

  void SetUp() override { Restart(); }
  void TearDown() override {
    platform::test::ClearFaults();
    if (running_) End();
  }
  // Runs the end steps now, so a test can look at what they did.
  void End() {
    running_ = false;
    EXPECT_EQ(EndProgram(), 0u);
  }
  // Another program in the same process: the running one ends first.
  void Restart() {
    if (running_) End();
    ResetScreenRuntime();
    ProgramStart(g, kScreenProgram);
    running_ = true;
  }
  // InitDisplay and OpenDisplay as the screen programs call them.
  void Open(int width = 640, int height = 480, int depth = 32) {
    ASSERT_NE(InitDisplay(), 0);
    ASSERT_EQ(OpenDisplay(width, height, depth, "Varnoxia Tutorial"), 1);
  }

 private:
  bool running_ = false;
};
