// Runs a shell command for a test and keeps what it printed and how it ended.
#pragma once

#include <cstdio>
#include <string>

struct CommandResult {
  int status;  // as pclose gives it, or -1 when the command could not be started
  std::string output;
};

inline CommandResult RunCommand(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  return {pclose(pipe), output};
}
