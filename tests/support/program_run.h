// Runs a program frame inside a test: ProgramEnd's exit becomes an exception that
// EndProgram catches and turns into the exit code.
#pragma once

#include <gtest/gtest.h>

#include "core/frame.h"
#include "platform/testing.h"

template <typename Body>
unsigned RunToExit(Body body) {
  platform::test::TrapExit(true);
  unsigned code = 0xDEAD;
  try {
    body();
    ADD_FAILURE() << "the program returned instead of ending through ProgramEnd";
  } catch (const platform::test::ProcessExit& exit) {
    code = exit.code;
  }
  platform::test::TrapExit(false);
  return code;
}

inline unsigned EndProgram() {
  return RunToExit([] { ProgramEnd(); });
}
