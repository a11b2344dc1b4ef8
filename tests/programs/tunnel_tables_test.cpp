#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace {

TEST(TunnelTablesProgram, RunsSilentlyAndExitsWithZero) {
  std::string command = std::string(TUNNEL_TABLES_PATH) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(output, "");
}

}  // namespace

namespace {

// The table-only program links no window, display, keyboard or file code at all.
TEST(TunnelTablesProgram, LinksNoWindowDisplayKeyboardOrFileCode) {
  std::string command = std::string("nm -C ") + TUNNEL_TABLES_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string symbols;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) symbols += buffer;
  ASSERT_EQ(pclose(pipe), 0);
  ASSERT_NE(symbols.find("BuildTunnelTables"), std::string::npos) << "nm gave no symbols";
  for (const char* name : {"platform::CreateWindowExA", "platform::GetAsyncKeyState", "DirectDrawCreateEx",
                           "DirectInputCreateEx", "platform::CreateFileA", "platform::SetPixelV", "DisplayDriverInstance",
                           "SDL_"})
    EXPECT_EQ(symbols.find(name), std::string::npos) << name;
}

}  // namespace
