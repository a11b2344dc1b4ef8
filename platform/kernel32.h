// kernel32: module handle, private heaps and process exit.
#pragma once

#include "platform/types.h"

namespace platform {

constexpr DWORD HEAP_ZERO_MEMORY = 0x00000008;

HMODULE GetModuleHandleA(LPCSTR moduleName);

// A private heap grows as needed when maximumSize is 0 and frees every block it
// handed out when it is destroyed.
HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// With HEAP_ZERO_MEMORY the bytes added beyond the old size are zero.
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
BOOL HeapDestroy(HANDLE heap);

[[noreturn]] void ExitProcess(UINT exitCode);

}  // namespace platform
