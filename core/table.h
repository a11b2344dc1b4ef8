// Dynamic two-dimensional tables of 32-bit integers, declared with inclusive upper
// bounds: a table declared (n, m) holds (n + 1) x (m + 1) elements, [0..n][0..m].
//
// A table variable is three words: the data reference and two dimension slots. Its
// block comes from the main heap, zero-filled, and starts with a five-word header:
//
//   block ─► | element size 4 | reserved 0 | owner (table variable) | count | type 5 |
//   data  ─────────────────────────────────────────────────────────────────────────► | e(0,0) e(0,1) ... e(n,m) | spare |
//
// Element (i, j) sits at data + i x stride + j, stride = m + 1: the first index is
// outermost. There are no bounds checks. The stride slot is as wide as an address: an
// integer of another width than the elements', so the compiler knows that a store
// into a table leaves every stride as it was and keeps them in registers.
#pragma once

#include <cstdint>
#include <initializer_list>

struct Table2D {
  std::int32_t* data;     // element (0, 0), or null when the table has no block
  std::size_t stride;     // first slot: n + 1 before declaring, m + 1 after
  std::uint32_t count2;   // second slot: m + 1

  std::int32_t* operator[](std::int32_t i) const {
    return data + static_cast<std::ptrdiff_t>(i) * stride;
  }
};

struct ArrayBlockHeader {
  std::uint32_t elementSize;
  std::uint32_t reserved;
  void* owner;  // pointer-sized on this build; the words keep their order
  std::uint32_t elementCount;
  std::uint32_t typeCode;
};

inline constexpr std::uint32_t kInt32TypeCode = 5;

// Declares or re-declares the table; the old block is released first. Afterwards
// the data reference is a fresh zero-filled block, or null when the main heap refused
// it or its size does not fit in 32 bits.
void DimTable(Table2D& table, std::int32_t n, std::int32_t m);

// The allocation step under DimTable, for k >= 2 dimension slots holding counts:
// turns the slots into strides and points dataRef at a fresh zero-filled block.
void AllocateArray(std::uint32_t elementSize, std::uint32_t* slots, int k, std::uint32_t reserved,
                   void** dataRef, void* owner, std::uint32_t typeCode);

// The header of a declared table's block.
const ArrayBlockHeader* BlockHeaderOf(const Table2D& table);

struct NamedTable {
  const char* name;
  const Table2D* table;
};

// Stops the program through ProgramEnd, with exit code 1, when a table was left
// without a block, with one line on standard error that names it.
void StopUnlessDeclared(std::initializer_list<NamedTable> tables);
