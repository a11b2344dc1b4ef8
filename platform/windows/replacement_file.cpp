// The files a picture is written to, on Windows: a new file that takes an old one's place
// whole, written beside it under ".NAME.XXXXXXXX" (so one left behind by a killed
// program shows what it belongs to), or the old file itself, written in place.
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

HANDLE CreateFileInPlaceA(LPCSTR fileName, DWORD size) {
  if (!fileName || !*fileName) return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  // The end of the file set at the new size allocates it (or cuts a longer old file).
  LARGE_INTEGER end{}, start{};
  end.QuadPart = size;
  if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file) ||
      !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace platform
