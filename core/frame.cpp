#include "core/frame.h"

#include <cstring>

#include "platform/kernel32.h"

using namespace platform;

namespace {

ProgramHeader* header = nullptr;
const ProgramKind* kind = nullptr;
HANDLE listHeap = nullptr;

}  // namespace

void ProgramStartBlock(void* block, std::size_t size, const ProgramKind& programKind) {
  std::memset(block, 0, size);
  header = static_cast<ProgramHeader*>(block);
  kind = &programKind;
  header->module = GetModuleHandleA(nullptr);
  // No maximum size: the heap grows as the tables need.
  header->mainHeap = HeapCreate(0, 4096, 0);
  for (ServiceStep step : kind->startSteps)
    if (step) step();
}

void ProgramEnd(UINT exitCode) {
  for (ServiceStep step : kind->endSteps)
    if (step) step();
  HeapDestroy(header->mainHeap);
  header->mainHeap = nullptr;
  ExitProcess(exitCode);
}

HANDLE MainHeap() { return header ? header->mainHeap : nullptr; }

HMODULE ModuleHandle() { return header ? header->module : nullptr; }

void ObjectListsStart() {
  // A process runs one program, but a test process runs several one after another.
  if (listHeap) HeapDestroy(listHeap);
  listHeap = HeapCreate(0, 1024, 0);
}

HANDLE ListHeap() { return listHeap; }
