#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/frame.h"
#include "platform/kernel32.h"
#include "tests/support/program_run.h"

namespace {

std::vector<std::string> steps;

struct {
  ProgramHeader header;
  int counter;
  double value;
} g;

void StartA() { steps.push_back("start A"); }
void StartB() { steps.push_back("start B"); }
void StartC() { steps.push_back("start C"); }
void EndA() { steps.push_back("end A"); }
void EndB() {
  // End steps run before the main heap goes.
  steps.push_back(MainHeap() ? "end B with heap" : "end B without heap");
}

TEST(ProgramFrame, RunsTheKindsStepsInOrderAndExitsWithZero) {
  struct Case {
    ProgramKind kind;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {kTableOnlyProgram, {"body"}},
      {{"screen-like", {StartA, StartB}, {EndA, EndB}}, {"start A", "start B", "body", "end A", "end B with heap"}},
      {{"image-like", {StartA, StartB, StartC}, {EndA}}, {"start A", "start B", "start C", "body", "end A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind.name);
    steps.clear();
    g.counter = 41;
    g.value = -1.0;
    unsigned code = RunToExit([&] {
      ProgramStart(g, c.kind);
      EXPECT_EQ(g.counter, 0);
      EXPECT_EQ(g.value, 0.0);
      EXPECT_FALSE(std::signbit(g.value));
      EXPECT_EQ(g.header.module, platform::GetModuleHandleA(nullptr));
      EXPECT_NE(g.header.mainHeap, nullptr);
      EXPECT_EQ(MainHeap(), g.header.mainHeap);
      steps.push_back("body");
      ProgramEnd();
    });
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(steps, c.expected);
  }
}

TEST(ProgramFrame, ObjectListsStepMakesAListHeap) {
  ObjectListsStart();
  ASSERT_NE(ListHeap(), nullptr);
  EXPECT_NE(platform::HeapAlloc(ListHeap(), 0, 16), nullptr);
}

}  // namespace
