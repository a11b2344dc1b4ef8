// The kernel32 calls of the screen runtime: modules loaded at run time, thread priority
// and sleeping. Kept apart from kernel32.cpp because they reach the display side, which
// a program without a screen does not link.
#include <cctype>
#include <string>

#include "platform/ddraw.h"
#include "platform/dinput.h"
#include "platform/display_driver.h"
#include "platform/kernel32.h"
#include "platform/no_memory.h"
#include "platform/testing.h"

namespace platform {
namespace {

struct Module {
  const char* fileName;
  const char* exportName;
  FARPROC entryPoint;
  int references;
};

Module modules[] = {
    {"DDRAW.DLL", "DirectDrawCreateEx", reinterpret_cast<FARPROC>(DirectDrawCreateEx), 0},
    {"DINPUT.DLL", "DirectInputCreateEx", reinterpret_cast<FARPROC>(DirectInputCreateEx), 0},
};

// The one thread of a program.
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
int threadPriority = THREAD_PRIORITY_NORMAL;

std::string Upper(LPCSTR text) {
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

Module* AsModule(HMODULE handle) {
  for (Module& m : modules)
    if (handle == reinterpret_cast<HMODULE>(&m)) return m.references > 0 ? &m : nullptr;
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  return FailingWithoutMemory<HMODULE>(nullptr, [&]() -> HMODULE {
    if (!fileName) return nullptr;
    std::string entry = "LoadLibraryA " + Upper(fileName);
    test::Record(entry);
    if (test::Refused(entry)) return nullptr;
    for (Module& m : modules) {
      if (Upper(fileName) != m.fileName) continue;
      ++m.references;
      return reinterpret_cast<HMODULE>(&m);
    }
    return nullptr;
  });
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
  return FailingWithoutMemory<FARPROC>(nullptr, [&]() -> FARPROC {
    if (!procName) return nullptr;
    std::string entry = std::string("GetProcAddress ") + procName;
    test::Record(entry);
    Module* module = AsModule(handle);
    if (!module || std::string(procName) != module->exportName || test::Refused(entry)) return nullptr;
    return module->entryPoint;
  });
}

BOOL FreeLibrary(HMODULE handle) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    Module* module = AsModule(handle);
    test::Record(std::string("FreeLibrary ") + (module ? module->fileName : "?"));
    if (!module) return FALSE;
    --module->references;
    return TRUE;
  });
}

HANDLE GetCurrentThread() { return kCurrentThread; }

int GetThreadPriority(HANDLE thread) {
  return thread == kCurrentThread ? threadPriority : THREAD_PRIORITY_ERROR_RETURN;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  return FailingWithoutMemory<BOOL>(FALSE, [&]() -> BOOL {
    test::Record("SetThreadPriority " + std::to_string(priority));
    if (thread != kCurrentThread || priority < THREAD_PRIORITY_LOWEST || priority > THREAD_PRIORITY_HIGHEST)
      return FALSE;
    threadPriority = priority;
    return TRUE;
  });
}

void Sleep(DWORD milliseconds) {
  test::Record("Sleep " + std::to_string(milliseconds));
  DisplayDriverInstance().Sleep(milliseconds);
}

namespace test {

int ModuleReferences(std::string_view fileName) {
  for (const Module& m : modules)
    if (fileName == m.fileName) return m.references;
  return 0;
}

void UnloadModules() {
  for (Module& m : modules) m.references = 0;
}

}  // namespace test

}  // namespace platform
