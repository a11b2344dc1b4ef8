// What tests can do to the platform layer from code: make named calls fail, keep a
// log of the calls made, and turn ExitProcess into an exception they can catch.
// Nothing here is reachable from a command line or the environment; the programs
// never call the test-side functions, so for them no call is ever refused.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::test {

// --- Asked by the platform layer -------------------------------------------------

// True when a test made `call` fail this time. `call` names the operation, optionally
// with a detail: "HeapAlloc", "LoadLibraryA DDRAW.DLL", "Lock back". The layer's own
// allocations are refused by their names too ("NewSurface", "ResizePixels",
// "BitmapPixels"): they then run out of memory.
bool Refused(std::string_view call);

// Appends an entry to the call log while a test keeps one; copies it only then.
void Record(std::string_view entry);
bool Recording();

// Called by DispatchMessageA with each message it hands to a window procedure.
void Dispatched(UINT message, LPARAM lParam);

// --- Used by tests ---------------------------------------------------------------

// Makes `call` fail `times` times (-1: for ever) after letting `skip` of them pass.
void RefuseCall(std::string call, int skip = 0, int times = -1);
void ClearFaults();

void StartCallLog();
std::vector<std::string> TakeCallLog();
// While the log is kept, each entry is also written to `descriptor` as a line of its
// own as it is made (-1: not at all), so a process that a signal ends leaves its last
// calls behind.
void EchoCallLog(int descriptor);

// Has `watch` see every message DispatchMessageA hands on, whoever pumped the queue
// (the end-to-end probe reports them all); nullptr stops it.
void WatchDispatch(void (*watch)(UINT message, LPARAM lParam));

// References held on a module loaded with LoadLibraryA ("DDRAW.DLL"); 0 once it is
// unloaded.
int ModuleReferences(std::string_view fileName);

// What a new process starts with, for tests that run several programs in one: no
// module loaded; no window, window class or queued message, and the cursor shown.
void UnloadModules();
void ForgetWindows();

// While trapped, ExitProcess throws ProcessExit instead of ending the process.
struct ProcessExit {
  UINT code;
};
void TrapExit(bool trapped);
bool ExitTrapped();

}  // namespace platform::test
