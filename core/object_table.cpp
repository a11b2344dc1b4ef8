#include "core/object_table.h"

#include <cstring>

#include "core/frame.h"
#include "platform/kernel32.h"

using namespace platform;

namespace {

constexpr std::uint32_t kOccupancySize = sizeof(std::uintptr_t);

bool Occupied(const void* record) {
  std::uintptr_t first;
  std::memcpy(&first, record, sizeof first);
  return first != 0;
}

unsigned char* ObjectOf(ObjectNode* node) { return reinterpret_cast<unsigned char*>(node + 1); }

bool IsSlot(const ObjectTable* table, ObjectNumber number) {
  return number >= 0 && static_cast<std::uintptr_t>(number) < table->capacity;
}

unsigned char* Slot(const ObjectTable* table, std::uint32_t number) {
  return table->records + static_cast<SIZE_T>(number) * table->objectSize;
}

// The list node whose object address is `number`, found by walking the list, so that
// nothing is read through a value that is not a live object.
ObjectNode* NodeOf(const ObjectTable* table, ObjectNumber number) {
  for (ObjectNode* node = table->head; node; node = node->older)
    if (reinterpret_cast<ObjectNumber>(ObjectOf(node)) == number) return node;
  return nullptr;
}

ObjectNode* Oldest(ObjectNode* node) {
  while (node && node->older) node = node->older;
  return node;
}

void* NewUnnumberedObject(ObjectTable* table) {
  auto* node = static_cast<ObjectNode*>(
      HeapAlloc(ListHeap(), HEAP_ZERO_MEMORY, sizeof(ObjectNode) + SIZE_T(table->objectSize)));
  if (!node) return nullptr;
  node->older = table->head;
  if (table->head) table->head->newer = node;
  table->head = node;
  return ObjectOf(node);
}

bool Grow(ObjectTable* table, std::int32_t number) {
  std::uint64_t capacity = std::uint64_t(number) + table->growthStep;
  if (capacity > UINT32_MAX) return false;
  void* records = HeapReAlloc(MainHeap(), HEAP_ZERO_MEMORY, table->records, SIZE_T(capacity) * table->objectSize);
  if (!records) return false;  // the old records stay as they were
  table->records = static_cast<unsigned char*>(records);
  table->capacity = static_cast<std::uint32_t>(capacity);
  return true;
}

}  // namespace

ObjectTable* NewObjectTable(std::uint32_t objectSize, std::uint32_t growthStep, ReleaseAction releaseAction) {
  if (objectSize < kOccupancySize) return nullptr;
  auto* table = static_cast<ObjectTable*>(NewRecord(sizeof(ObjectTable), nullptr));
  if (!table) return nullptr;
  void* records = HeapAlloc(MainHeap(), HEAP_ZERO_MEMORY, SIZE_T(growthStep) * objectSize);
  if (!records) {
    HeapFree(MainHeap(), 0, table);
    return nullptr;
  }
  table->objectSize = objectSize;
  table->growthStep = growthStep;
  table->capacity = growthStep;
  table->releaseAction = releaseAction;
  table->records = static_cast<unsigned char*>(records);
  return table;
}

void* AcquireObject(ObjectTable* table, std::int32_t number) {
  if (!table || number < kNewUnnumberedObject) return nullptr;
  if (number == kNewUnnumberedObject) return NewUnnumberedObject(table);
  if (static_cast<std::uint32_t>(number) >= table->capacity && !Grow(table, number)) return nullptr;
  if (table->releaseAction) table->releaseAction(number);
  return Slot(table, static_cast<std::uint32_t>(number));
}

void* FindObject(const ObjectTable* table, ObjectNumber number) {
  void* object = ValidateObject(table, number);
  return object && Occupied(object) ? object : nullptr;
}

void* ValidateObject(const ObjectTable* table, ObjectNumber number) {
  if (!table) return nullptr;
  if (IsSlot(table, number)) {
    unsigned char* record = Slot(table, static_cast<std::uint32_t>(number));
    return Occupied(record) ? record : nullptr;
  }
  ObjectNode* node = NodeOf(table, number);
  return node ? ObjectOf(node) : nullptr;
}

void ReleaseObject(ObjectTable* table, ObjectNumber number) {
  if (!table) return;
  if (IsSlot(table, number)) {
    std::memset(Slot(table, static_cast<std::uint32_t>(number)), 0, table->objectSize);
    return;
  }
  ObjectNode* node = NodeOf(table, number);
  if (!node) return;
  if (node == table->head) {
    table->head = node->older;
    if (node->older) node->older->newer = nullptr;
  } else {
    node->newer->older = node->older;
    if (node->older) node->older->newer = node->newer;
  }
  // An iteration waiting on this node goes on with the next newer one.
  if (table->iterationCursor == node) table->iterationCursor = node->newer;
  HeapFree(ListHeap(), 0, node);
}

void FirstObject(ObjectTable* table) {
  if (!table) return;
  table->iterationIndex = 0;
  table->iterationCursor = Oldest(table->head);
}

void* NextObject(ObjectTable* table, ObjectNumber* number) {
  if (!table) return nullptr;
  while (table->iterationIndex < table->capacity) {
    std::uint32_t slot = table->iterationIndex++;
    unsigned char* record = Slot(table, slot);
    if (Occupied(record)) {
      if (number) *number = slot;
      return record;
    }
  }
  ObjectNode* node = table->iterationCursor;
  if (!node) return nullptr;
  table->iterationCursor = node->newer;
  unsigned char* object = ObjectOf(node);
  if (number) *number = reinterpret_cast<ObjectNumber>(object);
  return object;
}

int ForEachObject(ObjectTable* table, ObjectAction action, void* user) {
  if (!table || !action) return 1;
  // The capacity and the records are read afresh each time: an action may grow the table.
  for (std::uint32_t slot = 0; slot < table->capacity; ++slot) {
    unsigned char* record = Slot(table, slot);
    if (Occupied(record) && !action(slot, record, user)) return 0;
  }
  for (ObjectNode* node = Oldest(table->head); node;) {
    ObjectNode* newer = node->newer;  // the action may release the object it is given
    unsigned char* object = ObjectOf(node);
    if (!action(reinterpret_cast<ObjectNumber>(object), object, user)) return 0;
    node = newer;
  }
  return 1;
}

void* NewRecord(std::uint32_t size, void (*initialiser)(void* record)) {
  void* record = HeapAlloc(MainHeap(), HEAP_ZERO_MEMORY, size);
  if (record && initialiser) initialiser(record);
  return record;
}
