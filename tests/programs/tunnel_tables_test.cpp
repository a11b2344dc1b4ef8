#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <sys/wait.h>

#include "tests/support/command_output.h"

namespace {

TEST(TunnelTablesProgram, RunsSilentlyAndExitsWithZero) {
  CommandResult run = RunCommand(std::string(TUNNEL_TABLES_PATH) + " 2>&1");
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  EXPECT_EQ(run.output, "");
}

}  // namespace

namespace {

// The table-only program links no window, display, keyboard or file code at all.
TEST(TunnelTablesProgram, LinksNoWindowDisplayKeyboardOrFileCode) {
  CommandResult nm = RunCommand(std::string("nm -C ") + TUNNEL_TABLES_PATH);
  ASSERT_EQ(nm.status, 0);
  const std::string& symbols = nm.output;
  ASSERT_NE(symbols.find("BuildTunnelTables"), std::string::npos) << "nm gave no symbols";
  for (const char* name : {"platform::CreateWindowExA", "platform::GetAsyncKeyState", "DirectDrawCreateEx",
                           "DirectInputCreateEx", "platform::CreateFileA", "platform::SetPixelV", "DisplayDriverInstance",
                           "SDL_"})
    EXPECT_EQ(symbols.find(name), std::string::npos) << name;
}

}  // namespace
