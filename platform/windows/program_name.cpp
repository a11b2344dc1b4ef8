// The program's short name on Windows: its file name without the folder and ".exe",
// as the start of its messages ("tunnel_static: cannot open the display: ...").
#include <cstring>

#include "platform/kernel32.h"

namespace {

char shortName[MAX_PATH] = "program";

char* ShortName() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return shortName;
  const char* start = path;
  for (const char* c = path; *c; ++c)
    if (*c == '\\' || *c == '/') start = c + 1;
  std::strcpy(shortName, start);
  if (char* dot = std::strrchr(shortName, '.'); dot && _stricmp(dot, ".exe") == 0) *dot = '\0';
  return shortName;
}

}  // namespace

char* program_invocation_short_name = ShortName();
