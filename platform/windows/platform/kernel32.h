// kernel32 on Windows: the system's own (windows.h), and what the runtime takes beside
// it from the platform layer on Linux, in Windows form (replacement_file.cpp,
// program_name.cpp).
#pragma once

#include "platform/types.h"

// The program's file name without folder and ".exe", for the start of its messages:
// the name the C library on Linux gives the same variable.
extern char* program_invocation_short_name;

// Newer SDKs name it; MinGW-w64's headers do not yet.
#ifndef ERROR_DIRECTORY_NOT_SUPPORTED
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif

namespace platform {

// Creates and opens for writing a new file beside `fileName`, to be put in its place by
// ReplaceFileA (or MoveFileExA when there is no old file) once complete; its name goes
// into `temporaryName` (MAX_PATH bytes). INVALID_HANDLE_VALUE when the folder takes no
// new file.
HANDLE CreateReplacementFileA(LPCSTR fileName, char* temporaryName);

// Opens `fileName` for writing in place, `size` bytes long from the start: the space is
// claimed before any old byte is written over, so a full disk fails here.
HANDLE CreateFileInPlaceA(LPCSTR fileName, DWORD size);

}  // namespace platform
