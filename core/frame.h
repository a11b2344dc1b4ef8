// The program frame: what runs before and after every program's main body.
//
// A program keeps all of its variables in one global block whose first two words are
// the main heap handle and the module handle:
//
//   struct {
//     ProgramHeader header;   // mainHeap, module
//     ...the program's own variables, tables among them...
//   } g;
//
// ProgramStart(g, kind) zeroes the block, fills the header and starts the services of
// the kind; ProgramEnd() ends them, destroys the main heap and exits with code 0.
// A program that cannot do its work (no display, no memory for a table, a picture
// not written) says why in one line and ends the same way with code 1, through one
// of the StopUnless... steps.
#pragma once

#include <cstddef>
#include <type_traits>

#include "platform/types.h"

struct ProgramHeader {
  platform::HANDLE mainHeap;
  platform::HMODULE module;
};

// The services a kind of program links, as start and end steps in the order they run.
using ServiceStep = void (*)();
struct ProgramKind {
  const char* name;
  ServiceStep startSteps[3];
  ServiceStep endSteps[2];
};

// The table-only program links no service.
inline constexpr ProgramKind kTableOnlyProgram = {"table-only program", {}, {}};

void ProgramStartBlock(void* block, std::size_t size, const ProgramKind& kind);

template <typename GlobalBlock>
void ProgramStart(GlobalBlock& block, const ProgramKind& kind) {
  static_assert(std::is_standard_layout_v<GlobalBlock> && std::is_trivially_copyable_v<GlobalBlock>,
                "the global block is plain data, zeroed as a whole");
  static_assert(offsetof(GlobalBlock, header) == 0, "the header comes first");
  ProgramStartBlock(&block, sizeof block, kind);
}

inline constexpr platform::UINT kExitFailure = 1;
[[noreturn]] void ProgramEnd(platform::UINT exitCode = 0);

// The running program's main heap; every table block and runtime record comes from it.
platform::HANDLE MainHeap();
// The running program's module handle (its window class, window and input object).
platform::HMODULE ModuleHandle();

// The object-list service's start step: creates the list heap for unnumbered objects.
void ObjectListsStart();
platform::HANDLE ListHeap();
