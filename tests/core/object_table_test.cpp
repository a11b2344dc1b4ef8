#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/object_table.h"
#include "platform/testing.h"
#include "tests/support/program_run.h"

namespace {

struct {
  ProgramHeader header;
} g;

constexpr ProgramKind kWithObjectLists = {"object lists", {ObjectListsStart}, {}};

// A record as an owner keeps it: a handle-sized first word, then its own data.
struct Item {
  std::uintptr_t handle;
  std::int32_t value;
};

std::vector<std::int32_t> released;
void RecordRelease(std::int32_t number) { released.push_back(number); }

class ObjectTables : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramStart(g, kWithObjectLists);
    released.clear();
  }
  void TearDown() override {
    platform::test::ClearFaults();
    EXPECT_EQ(EndProgram(), 0u);
  }

  static Item* Fill(void* record, std::uintptr_t handle, std::int32_t value) {
    auto* item = static_cast<Item*>(record);
    item->handle = handle;
    item->value = value;
    return item;
  }

  // The numbers an iteration reports; unnumbered objects by their value field.
  static std::vector<std::string> Iterated(ObjectTable* table) {
    std::vector<std::string> seen;
    FirstObject(table);
    ObjectNumber number = 0;
    while (void* record = NextObject(table, &number)) seen.push_back(Name(table, number, record));
    return seen;
  }

  static std::string Name(const ObjectTable* table, ObjectNumber number, void* record) {
    if (number >= 0 && std::uintptr_t(number) < table->capacity) return std::to_string(number);
    EXPECT_EQ(reinterpret_cast<void*>(number), record) << "an unnumbered object's number is its address";
    return std::string(1, char(static_cast<Item*>(record)->value));
  }
};

TEST_F(ObjectTables, GrowsToTheNumberPlusTheStepAndKeepsEveryOtherRecordEmpty) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, nullptr);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->capacity, 16u);
  Fill(AcquireObject(table, 3), 0x33, 3);

  Item* twenty = Fill(AcquireObject(table, 20), 0x20, 20);
  EXPECT_EQ(table->capacity, 36u);
  EXPECT_EQ(FindObject(table, 20), twenty);
  for (int n = 0; n < 36; ++n) {
    if (n == 3 || n == 20) continue;
    EXPECT_EQ(FindObject(table, n), nullptr) << n;
  }
  auto* three = static_cast<Item*>(FindObject(table, 3));
  ASSERT_NE(three, nullptr) << "growth keeps the records already held";
  EXPECT_EQ(three->value, 3);
}

TEST_F(ObjectTables, CallsTheReleaseActionOnEveryNumberTaken) {
  struct Step {
    std::int32_t number;
    std::uint32_t capacityAfter;
    std::vector<std::int32_t> releasedAfter;
  };
  const Step steps[] = {
      {0, 16, {0}},          // below the capacity: no growth, still released
      {0, 16, {0, 0}},       // taken again
      {15, 16, {0, 0, 15}},  // the last slot
      {16, 32, {0, 0, 15, 16}},
      {-1, 32, {0, 0, 15, 16}},  // a new unnumbered object replaces nothing
  };
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, RecordRelease);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.number);
    EXPECT_NE(AcquireObject(table, step.number), nullptr);
    EXPECT_EQ(table->capacity, step.capacityAfter);
    EXPECT_EQ(released, step.releasedAfter);
  }
}

TEST_F(ObjectTables, FindsOnlyOccupiedSlotsAndLiveUnnumberedObjects) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, nullptr);
  Fill(AcquireObject(table, 4), 0x44, 4);
  AcquireObject(table, 5);  // taken, but its first word stays 0: empty
  Item* live = Fill(AcquireObject(table, kNewUnnumberedObject), 0xA, 'A');
  void* blank = AcquireObject(table, kNewUnnumberedObject);
  void* freed = Fill(AcquireObject(table, kNewUnnumberedObject), 0xF, 'F');
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(freed));
  // Looks like an occupied record, but the table never made it.
  Item stranger = {0x5, 5};

  struct Case {
    const char* what;
    ObjectNumber number;
    void* found;
    void* validated;
  };
  const Case cases[] = {
      {"occupied slot", 4, FindObject(table, 4), FindObject(table, 4)},
      {"empty slot", 5, nullptr, nullptr},
      {"slot never taken", 15, nullptr, nullptr},
      {"beyond the capacity", 16, nullptr, nullptr},
      {"below -1", -7, nullptr, nullptr},
      {"live unnumbered object", reinterpret_cast<ObjectNumber>(live), live, live},
      {"unnumbered object with first word 0", reinterpret_cast<ObjectNumber>(blank), nullptr, blank},
      {"released unnumbered object", reinterpret_cast<ObjectNumber>(freed), nullptr, nullptr},
      {"address the table never gave", reinterpret_cast<ObjectNumber>(&stranger), nullptr, nullptr},
  };
  ASSERT_NE(cases[0].found, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FindObject(table, c.number), c.found);
    EXPECT_EQ(ValidateObject(table, c.number), c.validated);
  }
  // Releasing values that are no object leaves everything as it was.
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(&stranger));
  ReleaseObject(table, reinterpret_cast<ObjectNumber>(freed));
  ReleaseObject(table, 999);
  EXPECT_EQ(stranger.handle, 0x5u);
  EXPECT_EQ(FindObject(table, reinterpret_cast<ObjectNumber>(live)), live);
  EXPECT_NE(FindObject(table, 4), nullptr);
}

TEST_F(ObjectTables, IteratesNumbersUpwardsThenUnnumberedOldestFirst) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, nullptr);
  EXPECT_EQ(Iterated(table), std::vector<std::string>{}) << "an empty table ends at once";
  Fill(AcquireObject(table, 5), 0x55, 5);
  Fill(AcquireObject(table, 2), 0x22, 2);
  Fill(AcquireObject(table, kNewUnnumberedObject), 0xA, 'A');
  Fill(AcquireObject(table, kNewUnnumberedObject), 0xB, 'B');
  const std::vector<std::string> expected = {"2", "5", "A", "B"};
  EXPECT_EQ(Iterated(table), expected);

  std::vector<std::string> walked;
  struct Walk {
    ObjectTable* table;
    std::vector<std::string>* seen;
  } walk = {table, &walked};
  EXPECT_EQ(ForEachObject(
                table,
                [](ObjectNumber number, void* record, void* user) {
                  auto* w = static_cast<Walk*>(user);
                  w->seen->push_back(Name(w->table, number, record));
                  return 1;
                },
                &walk),
            1);
  EXPECT_EQ(walked, expected);
}

TEST_F(ObjectTables, ReleasingDuringAnIterationDisturbsNothing) {
  struct Case {
    const char* what;
    std::string releaseAt;       // release when this one is reported
    std::string releaseWhich;    // "self" or the name of another object
    std::vector<std::string> seen;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"each one as it comes", "*", "self", {"2", "5", "A", "B", "C"}, {}},
      {"a slot ahead", "2", "5", {"2", "A", "B", "C"}, {"2", "A", "B", "C"}},
      {"the next unnumbered one", "A", "B", {"2", "5", "A", "C"}, {"2", "5", "A", "C"}},
      {"the newest from the oldest", "A", "C", {"2", "5", "A", "B"}, {"2", "5", "A", "B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ObjectTable* table = NewObjectTable(sizeof(Item), 16, nullptr);
    Fill(AcquireObject(table, 5), 0x55, 5);
    Fill(AcquireObject(table, 2), 0x22, 2);
    std::vector<std::pair<std::string, ObjectNumber>> numbers = {{"2", 2}, {"5", 5}};
    for (char name : {'A', 'B', 'C'}) {
      void* object = Fill(AcquireObject(table, kNewUnnumberedObject), 0xA, name);
      numbers.push_back({std::string(1, name), reinterpret_cast<ObjectNumber>(object)});
    }
    auto numberOf = [&](const std::string& name) {
      for (auto& [n, number] : numbers)
        if (n == name) return number;
      return ObjectNumber(-99);
    };

    std::vector<std::string> seen;
    FirstObject(table);
    ObjectNumber number = 0;
    while (void* record = NextObject(table, &number)) {
      std::string name = Name(table, number, record);
      seen.push_back(name);
      if (c.releaseAt == "*" || c.releaseAt == name)
        ReleaseObject(table, c.releaseWhich == "self" ? number : numberOf(c.releaseWhich));
    }
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(Iterated(table), c.left);
  }
}

TEST_F(ObjectTables, ForEachStopsAtTheFirstActionThatSaysSoAndMayReleaseWhatItIsGiven) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, nullptr);
  Fill(AcquireObject(table, 1), 0x11, 1);
  for (char name : {'A', 'B'}) Fill(AcquireObject(table, kNewUnnumberedObject), 0xA, name);

  struct Walk {
    ObjectTable* table;
    int calls;
    int stopAt;
  };
  auto action = [](ObjectNumber number, void* record, void* user) {
    auto* w = static_cast<Walk*>(user);
    EXPECT_NE(record, nullptr);
    ReleaseObject(w->table, number);
    return ++w->calls == w->stopAt ? 0 : 1;
  };
  Walk stopping = {table, 0, 2};
  EXPECT_EQ(ForEachObject(table, action, &stopping), 0);
  EXPECT_EQ(stopping.calls, 2);
  EXPECT_EQ(Iterated(table), std::vector<std::string>{"B"});

  Walk completing = {table, 0, 0};
  EXPECT_EQ(ForEachObject(table, action, &completing), 1);
  EXPECT_EQ(completing.calls, 1);
  EXPECT_EQ(Iterated(table), std::vector<std::string>{});
}

TEST_F(ObjectTables, UnlinksUnnumberedObjectsFromAnyPlaceInTheList) {
  const std::pair<char, std::vector<std::string>> cases[] = {
      {'A', {"B", "C"}},  // the oldest
      {'B', {"A", "C"}},  // the middle
      {'C', {"A", "B"}},  // the head
  };
  for (const auto& [gone, left] : cases) {
    SCOPED_TRACE(gone);
    ObjectTable* table = NewObjectTable(sizeof(Item), 1, nullptr);
    ObjectNumber numbers[3];
    for (char name : {'A', 'B', 'C'})
      numbers[name - 'A'] = reinterpret_cast<ObjectNumber>(Fill(AcquireObject(table, kNewUnnumberedObject), 1, name));
    ReleaseObject(table, numbers[gone - 'A']);
    EXPECT_EQ(Iterated(table), left);
    // The links are whole both ways: a new head still iterates last.
    Fill(AcquireObject(table, kNewUnnumberedObject), 1, 'D');
    std::vector<std::string> more = left;
    more.push_back("D");
    EXPECT_EQ(Iterated(table), more);
  }
}

TEST_F(ObjectTables, RefusedMemoryLeavesTheTableAsItWas) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, RecordRelease);
  Fill(AcquireObject(table, 2), 0x22, 2);
  released.clear();

  platform::test::RefuseCall("HeapReAlloc", 0, 1);
  EXPECT_EQ(AcquireObject(table, 40), nullptr);
  EXPECT_EQ(table->capacity, 16u);
  EXPECT_TRUE(released.empty()) << "nothing is released for a number that could not be had";
  EXPECT_NE(FindObject(table, 2), nullptr);

  platform::test::RefuseCall("HeapAlloc", 0, 1);
  EXPECT_EQ(AcquireObject(table, kNewUnnumberedObject), nullptr);
  EXPECT_EQ(table->head, nullptr);

  platform::test::RefuseCall("HeapAlloc", 0, 1);
  EXPECT_EQ(NewObjectTable(sizeof(Item), 16, nullptr), nullptr);
  // An owner whose table was refused goes on with null; nothing is read through it.
  EXPECT_EQ(AcquireObject(nullptr, 0), nullptr);
  EXPECT_EQ(FindObject(nullptr, 0), nullptr);
  ReleaseObject(nullptr, 0);
  FirstObject(nullptr);
  EXPECT_EQ(NextObject(nullptr, nullptr), nullptr);
}

TEST_F(ObjectTables, RefusesNumbersBelowMinusOneAndRecordsTooSmallForAHandle) {
  ObjectTable* table = NewObjectTable(sizeof(Item), 16, RecordRelease);
  EXPECT_EQ(AcquireObject(table, -2), nullptr);
  EXPECT_TRUE(released.empty());
  EXPECT_EQ(NewObjectTable(4, 16, nullptr), nullptr);
}

TEST_F(ObjectTables, NewRecordIsZeroFilledAndInitialisedWhenAsked) {
  static void* initialised;
  initialised = nullptr;
  auto* plain = static_cast<unsigned char*>(NewRecord(64, nullptr));
  ASSERT_NE(plain, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(plain[i], 0) << i;
  auto* item = static_cast<Item*>(NewRecord(sizeof(Item), [](void* record) {
    EXPECT_EQ(static_cast<Item*>(record)->value, 0);
    initialised = record;
    static_cast<Item*>(record)->value = 7;
  }));
  EXPECT_EQ(initialised, item);
  EXPECT_EQ(item->value, 7);
}

}  // namespace
