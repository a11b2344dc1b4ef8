// A program started as a user starts it, on a private X server of 640 x 480: the server
// and a picture of its desktop before the program, the program and its window, and the
// waits for what the screen shows. Shared by the Linux programs' and the Windows
// programs' end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/x_client.h"
#include "tests/e2e/x_session.h"
#include "tests/support/rule_frames.h"

namespace e2e {

struct ProgramScreen {
  // `startLimit`: how long a start (the server's, the program's window, its first
  // frame) may take.
  explicit ProgramScreen(milliseconds startLimit) : startLimit(startLimit) {}

  // The server, a connection to it and its empty desktop's picture.
  void Open() {
    ASSERT_TRUE(StartXServer(&server, rule_frames::kWidth, rule_frames::kHeight, 24, startLimit));
    x = ConnectX(server.display);
    ASSERT_NE(x, nullptr);
    std::string error;
    ASSERT_TRUE(TakeScreenshot(server.display, &desktop, &error)) << error;
  }
  void Close() {
    Stop(program);
    if (x) DisconnectX(x);
    StopXServer(&server);
  }

  // Starts the program and waits until its window is shown, whole-screen, with the title.
  void Start(const std::vector<std::string>& command, const std::vector<std::string>& environment) {
    program = Spawn(command, environment);
    ASSERT_GT(program.pid, 0);
    WindowFacts facts{};
    ASSERT_TRUE(Eventually(
        [&] {
          window = WindowOfProcess(x, program.pid);
          return window && ReadWindow(x, window, &facts) && facts.viewable;
        },
        startLimit))
        << "no window shown";
    EXPECT_EQ(facts.title, "Varnoxia Tutorial");
    EXPECT_EQ(facts.width, rule_frames::kWidth);
    EXPECT_EQ(facts.height, rule_frames::kHeight);
  }

  // Waits until a screenshot shows a frame that `find` recognises; returns its number.
  template <typename Find>
  int AwaitFrame(Find find) {
    int n = 0;
    std::string why = "no screenshot";
    Eventually(
        [&] {
          Screenshot shot;
          if (!TakeScreenshot(server.display, &shot, &why)) return false;
          n = find(shot, &why);
          return n != 0;
        },
        startLimit);
    EXPECT_NE(n, 0) << why;
    return n;
  }

  // Whether the desktop shows as it was before the program, within the limit.
  bool DesktopIsBack(milliseconds limit) {
    Screenshot after;
    std::string error;
    return Eventually([&] { return TakeScreenshot(server.display, &after, &error) && after.pixels == desktop.pixels; },
                      limit);
  }

  milliseconds startLimit;
  XServer server;
  XClient* x = nullptr;
  Child program;
  XWindowId window = 0;
  Screenshot desktop;
};

}  // namespace e2e
