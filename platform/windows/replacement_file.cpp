// The new file that takes an old one's place whole, on Windows: written beside it under
// ".NAME.XXXXXXXX", so one left behind by a killed program shows what it belongs to.
#include <cstdio>
#include <cstring>

#include "platform/kernel32.h"

namespace platform {

HANDLE CreateReplacementFileA(LPCSTR fileName, char* temporaryName) {
  if (!fileName || !*fileName || !temporaryName) return INVALID_HANDLE_VALUE;
  // The folder part ends at the last '\', '/' or the drive's ':'.
  const char* base = fileName;
  for (const char* c = fileName; *c; ++c)
    if (*c == '\\' || *c == '/' || *c == ':') base = c + 1;
  if (!*base) return INVALID_HANDLE_VALUE;
  const int folderLength = static_cast<int>(base - fileName);
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    const DWORD suffix = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ attempt;
    const int length = std::snprintf(temporaryName, MAX_PATH, "%.*s.%s.%08lX", folderLength, fileName, base,
                                     static_cast<unsigned long>(suffix));
    if (length < 0 || length >= static_cast<int>(MAX_PATH)) return INVALID_HANDLE_VALUE;
    // CREATE_NEW: never a file that is there already.
    HANDLE file = CreateFileA(temporaryName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace platform
