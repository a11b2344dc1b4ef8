// The object registry: runtime objects a program refers to by number, such as pictures.
//
// An ObjectTable is a growable array of fixed-size records indexed from 0, plus a list
// of unnumbered objects known by their address. A record holds an object exactly when
// its first word is not 0; the owner keeps a handle there.
//
//   table ─► | objectSize | growthStep | capacity | head | releaseAction |
//            | iterationIndex | iterationCursor | records ─► [rec 0][rec 1]...[rec capacity-1]
//
//   head ─► node ──older──► node ──older──► node (oldest) ──► null
//           | older | newer | record ... |      an unnumbered object's number is the
//                           ^ its address       address of its record
//
// The table and its records come from the main heap, the unnumbered nodes from the
// list heap. Links and addresses are pointer-sized, so the first word of a record (its
// occupancy) is pointer-sized too: it holds a handle.
#pragma once

#include <cstdint>

// A slot number 0..capacity-1, or the address of an unnumbered object.
using ObjectNumber = std::intptr_t;

inline constexpr std::int32_t kNewUnnumberedObject = -1;

struct ObjectNode {
  ObjectNode* older;  // null at the oldest
  ObjectNode* newer;  // null at the newest
};

// Called with a slot number that is about to be taken again; frees what it holds.
using ReleaseAction = void (*)(std::int32_t number);

struct ObjectTable {
  std::uint32_t objectSize;
  std::uint32_t growthStep;
  std::uint32_t capacity;
  ObjectNode* head;  // the newest unnumbered object, or null
  ReleaseAction releaseAction;
  std::uint32_t iterationIndex;
  ObjectNode* iterationCursor;  // the next unnumbered node to report, or null
  unsigned char* records;
};

// Capacity starts at the growth step, every record empty. Null when the main heap
// refuses the table or its records, or a record cannot hold its occupancy word.
ObjectTable* NewObjectTable(std::uint32_t objectSize, std::uint32_t growthStep, ReleaseAction releaseAction);

// The record to fill for `number`, growing the table to number + growth step when the
// number lies beyond it and calling the release action on it; -1 makes a new zero-filled
// unnumbered object instead. Null when the memory cannot be had, or for numbers below
// -1. A record address stays valid until the table next grows.
void* AcquireObject(ObjectTable* table, std::int32_t number);

// The object's record when `number` holds one, otherwise null. A value outside the slot
// range is looked up in the list before anything is read through it.
void* FindObject(const ObjectTable* table, ObjectNumber number);

// As FindObject for slots; any other value is returned exactly when it is the address
// of an unnumbered object in the list, occupied or not.
void* ValidateObject(const ObjectTable* table, ObjectNumber number);

// Empties the slot, or unlinks and frees the unnumbered object. A value that is neither
// is left alone.
void ReleaseObject(ObjectTable* table, ObjectNumber number);

// Iteration: numbered objects in increasing number, then unnumbered ones from oldest
// to newest. Releasing objects while iterating is safe.
void FirstObject(ObjectTable* table);
void* NextObject(ObjectTable* table, ObjectNumber* number);

// Calls action(number, record, user) for every object in iteration order and stops at
// the first call that returns 0. Returns 0 when an action stopped the walk, 1 otherwise.
using ObjectAction = int (*)(ObjectNumber number, void* record, void* user);
int ForEachObject(ObjectTable* table, ObjectAction action, void* user);

// A zero-filled block from the main heap, passed to `initialiser` first when one is
// given; null when the heap refuses it.
void* NewRecord(std::uint32_t size, void (*initialiser)(void* record));
