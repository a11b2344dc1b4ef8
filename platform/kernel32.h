// kernel32: module handle, private heaps, files and process exit (kernel32.cpp,
// kernel32_files.cpp); modules loaded at run time, thread priority and sleeping
// (kernel32_modules.cpp).
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

// The calling thread's last error: set by a call that failed for want of memory
// (ERROR_NOT_ENOUGH_MEMORY), HeapAlloc among them, and by a file call that failed
// (one of the codes below); 0 until then, or until a caller clears it. A call that
// succeeds leaves it as it was.
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;             // a folder on the way is missing
constexpr DWORD ERROR_ACCESS_DENIED = 5;              // this user may not write there
constexpr DWORD ERROR_WRITE_PROTECT = 19;             // the file system is read-only
constexpr DWORD ERROR_WRITE_FAULT = 29;               // the device failed, or any other cause
constexpr DWORD ERROR_DISK_FULL = 112;                // no room left on the device
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;     // the name is too long
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;           // beyond the largest file allowed
constexpr DWORD ERROR_DIRECTORY_NOT_SUPPORTED = 336;  // the name is a folder
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;   // symbolic links that lead round in a loop
DWORD GetLastError();
void SetLastError(DWORD error);

// Not a kernel32 call: at the process start, before main, every one of descriptors 0
// to 2 that is closed is opened on /dev/null, so no file or socket opened later takes
// a standard stream's number.
void OpenMissingStandardDescriptors();

// --- Files ---------------------------------------------------------------------------
// Paths are 8-bit text. On this system drive C: is the current working directory: a
// path "c:\NAME" names the file NAME there. Every other path is used as it stands,
// with '\' read as '/'.

constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD MAX_PATH = 260;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t(0));

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Opens a file for writing, creating it or emptying the one there (GENERIC_WRITE with
// CREATE_ALWAYS, the one form provided). The share mode is advisory here: other
// processes are not kept from writing. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Writes all the bytes or fails; *bytesWritten tells how many reached the file.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped);
// Returns once the written bytes are on the device.
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE object);
BOOL DeleteFileA(LPCSTR fileName);

// Not a kernel32 call: this platform's first half of replacing a file whole. Creates
// and opens for writing a new file beside the file `fileName` leads to (a symbolic
// link is followed to its target), named ".NAME.XXXXXX" after it so that one left by
// a killed program shows what it belongs to, with the permission bits (and, for root,
// the owner) of the file it is to replace. Its name goes into `temporaryName`
// (MAX_PATH bytes). INVALID_HANDLE_VALUE when the folder takes no new file, or when
// the file there is no plain file or is one CREATE_ALWAYS would refuse (this user may
// not write it).
//
// Until the replacement is put in place or deleted, Ctrl+C, SIGTERM and SIGHUP remove
// it before they end the program (one replacement at a time). SIGKILL cannot be
// caught: it leaves the file behind.
HANDLE CreateReplacementFileA(LPCSTR fileName, char* temporaryName);
// Puts the replacement in the place of the file `replacedFileName` leads to, in one
// step: that name then leads either to the old file or to the new one, never a mix. A
// missing old file is no failure. Only the form without backup and flags is provided.
BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName, LPCSTR backupFileName, DWORD replaceFlags,
                  LPVOID exclude, LPVOID reserved);

// Not a kernel32 call: this platform's CREATE_ALWAYS for a file written in place, where
// no replacement can be made. Room for `size` bytes is reserved on the device before
// the file is cut to that size, so a full disk fails here (ERROR_DISK_FULL) and leaves
// the old file as it was; the old bytes are then written over. A pipe or a device is
// opened as it is.
HANDLE CreateFileInPlaceA(LPCSTR fileName, DWORD size);

// --- Modules loaded at run time ----------------------------------------------------

// Any entry point; cast to its own type before calling.
using FARPROC = void (*)();

// "DDRAW.DLL" and "DINPUT.DLL" (any letter case). Each load counts a reference; the
// module goes when FreeLibrary has dropped the last one. 0 for a module that is
// missing.
HMODULE LoadLibraryA(LPCSTR fileName);
// 0 when the module is not loaded or does not export the name.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// --- Threads -----------------------------------------------------------------------

constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

// A handle that stands for the calling thread wherever a thread handle is taken.
HANDLE GetCurrentThread();
int GetThreadPriority(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);

void Sleep(DWORD milliseconds);

}  // namespace platform
