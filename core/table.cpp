#include "core/table.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/frame.h"
#include "platform/kernel32.h"

using namespace platform;

void AllocateArray(std::uint32_t elementSize, std::uint32_t* slots, int k, std::uint32_t reserved,
                   void** dataRef, void* owner, std::uint32_t typeCode) {
  if (*dataRef) {
    // The old contents are gone from here on, whatever follows.
    HeapFree(MainHeap(), 0, static_cast<char*>(*dataRef) - sizeof(ArrayBlockHeader));
  }
  // Each slot but the last becomes the product of the counts after it, modulo 2^32
  // as the slots are 32-bit; a size that does not fit in 32 bits is refused, never
  // wrapped into a small block.
  std::uint64_t firstCount = slots[0];
  std::uint64_t after = 1;  // product of the counts of the slots after slot i
  bool fits = true;
  for (int i = k - 1; i >= 1; --i) {
    std::uint64_t countHere = slots[i];
    if (i < k - 1) slots[i] = static_cast<std::uint32_t>(after);
    after *= countHere;
    if (after > UINT32_MAX) {
      fits = false;
      after &= UINT32_MAX;
    }
  }
  slots[0] = static_cast<std::uint32_t>(after);
  std::uint64_t count = firstCount * (fits ? after : 0);
  std::uint64_t bytes = sizeof(ArrayBlockHeader) + std::uint64_t(elementSize) * (count + 1);
  if (!fits || count > UINT32_MAX || bytes > UINT32_MAX) {
    *dataRef = nullptr;
    return;
  }
  void* block = HeapAlloc(MainHeap(), HEAP_ZERO_MEMORY, bytes);
  if (!block) {
    *dataRef = nullptr;
    return;
  }
  auto* header = static_cast<ArrayBlockHeader*>(block);
  *header = {elementSize, reserved, owner, static_cast<std::uint32_t>(count), typeCode};
  *dataRef = header + 1;
}

void DimTable(Table2D& table, std::int32_t n, std::int32_t m) {
  std::uint32_t slots[2] = {static_cast<std::uint32_t>(n) + 1, static_cast<std::uint32_t>(m) + 1};
  void* data = table.data;
  AllocateArray(4, slots, 2, 0, &data, &table, kInt32TypeCode);
  table.data = static_cast<std::int32_t*>(data);
  table.stride = slots[0];
  table.count2 = slots[1];
}

const ArrayBlockHeader* BlockHeaderOf(const Table2D& table) {
  return table.data ? reinterpret_cast<const ArrayBlockHeader*>(table.data) - 1 : nullptr;
}

void StopUnlessDeclared(std::initializer_list<NamedTable> tables) {
  for (const NamedTable& entry : tables) {
    if (entry.table->data) continue;
    std::fprintf(stderr, "%s: not enough memory for the table '%s'\n", program_invocation_short_name,
                 entry.name);
    ProgramEnd(kExitFailure);
  }
}
