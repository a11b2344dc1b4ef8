#include <gtest/gtest.h>

#include "core/table.h"
#include "platform/kernel32.h"
#include "tests/support/program_run.h"

namespace {

struct {
  ProgramHeader header;
  Table2D table;
  Table2D other;
} g;

class Tables : public ::testing::Test {
 protected:
  void SetUp() override { ProgramStart(g, kTableOnlyProgram); }
  void TearDown() override {
    platform::test::ClearFaults();
    EXPECT_EQ(EndProgram(), 0u);
  }
};

struct Declared {
  std::int32_t n, m;
  std::uint32_t elements;
  std::size_t blockBytes;
};

TEST_F(Tables, StridesHeaderAndBlockSize) {
  for (Declared d : {Declared{256, 256, 66049, 264220}, Declared{640, 480, 308321, 1233308},
                     Declared{1280, 960, 1231041, 4924188}, Declared{0, 0, 1, 28}, Declared{4, 0, 5, 44}}) {
    SCOPED_TRACE(testing::Message() << d.n << " x " << d.m);
    DimTable(g.table, d.n, d.m);
    ASSERT_NE(g.table.data, nullptr);
    // The first slot now holds the stride m + 1, no longer n + 1.
    EXPECT_EQ(g.table.stride, std::uint32_t(d.m + 1));
    EXPECT_EQ(g.table.count2, std::uint32_t(d.m + 1));
    const ArrayBlockHeader* header = BlockHeaderOf(g.table);
    EXPECT_EQ(header->elementSize, 4u);
    EXPECT_EQ(header->reserved, 0u);
    EXPECT_EQ(header->owner, &g.table);
    EXPECT_EQ(header->elementCount, d.elements);
    EXPECT_EQ(header->typeCode, 5u);
    // The header on this 64-bit build is 24 bytes, not 20: one more pointer-sized word.
    EXPECT_EQ(platform::HeapSize(g.header.mainHeap, 0, header),
              d.blockBytes - 20 + sizeof(ArrayBlockHeader));
    // Every element, the bound row and column and the spare one included, is zero.
    for (std::uint32_t k = 0; k <= d.elements; ++k) ASSERT_EQ(g.table.data[k], 0) << k;
  }
}

TEST_F(Tables, FirstIndexIsOutermost) {
  DimTable(g.table, 3, 5);
  g.table[2][4] = 7;
  g.table[3][5] = 9;  // the bound element is a real element
  EXPECT_EQ(g.table.data[2 * 6 + 4], 7);
  EXPECT_EQ(g.table.data[3 * 6 + 5], 9);
}

TEST_F(Tables, RedeclaringReleasesTheOldBlockAndStartsFromZero) {
  DimTable(g.table, 10, 10);
  for (int i = 0; i <= 10; ++i)
    for (int j = 0; j <= 10; ++j) g.table[i][j] = i * 100 + j;
  DimTable(g.table, 10, 10);
  for (int i = 0; i <= 10; ++i)
    for (int j = 0; j <= 10; ++j) ASSERT_EQ(g.table[i][j], 0);
}

TEST_F(Tables, RefusedBlockLeavesNullAndDropsTheOldOne) {
  DimTable(g.table, 10, 10);
  platform::test::RefuseCall("HeapAlloc", 0, 1);
  DimTable(g.table, 20, 30);
  EXPECT_EQ(g.table.data, nullptr);
  EXPECT_EQ(g.table.stride, 31u);
  EXPECT_EQ(g.table.count2, 31u);
  // A null table is declared again without a release step.
  DimTable(g.table, 2, 2);
  EXPECT_NE(g.table.data, nullptr);
}

TEST_F(Tables, SizesThatDoNotFitAreRefusedNotWrapped) {
  struct Case {
    std::int32_t n, m;
  };
  // 65536 x 65536 elements wrap to 0 in 32 bits; 2^30 elements fit the count but not
  // the byte size; -2 makes a count of 2^32 - 1.
  for (Case c : {Case{65535, 65535}, Case{32767, 32767}, Case{-2, 0}, Case{0x7FFFFFFF, 1}}) {
    SCOPED_TRACE(testing::Message() << c.n << " x " << c.m);
    DimTable(g.table, c.n, c.m);
    EXPECT_EQ(g.table.data, nullptr);
  }
}

TEST_F(Tables, AllocationStepTurnsSlotsIntoStridesForMoreDimensions) {
  std::uint32_t slots[3] = {2, 3, 4};
  void* data = nullptr;
  AllocateArray(4, slots, 3, 0, &data, &g.other, 5);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(slots[0], 12u);
  EXPECT_EQ(slots[1], 4u);
  EXPECT_EQ(slots[2], 4u);
  EXPECT_EQ((reinterpret_cast<ArrayBlockHeader*>(data) - 1)->elementCount, 24u);
}

TEST_F(Tables, MissingTableStopsTheProgramNamingIt) {
  DimTable(g.table, 1, 1);
  g.other = {};
  ::testing::internal::CaptureStderr();
  unsigned code = RunToExit([] { StopUnlessDeclared({{"texture", &g.table}, {"angle", &g.other}}); });
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, 1u);
  EXPECT_NE(err.find("'angle'"), std::string::npos) << err;
  EXPECT_EQ(err.find("texture"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  ProgramStart(g, kTableOnlyProgram);  // the stop ended the frame; TearDown ends this one
}

}  // namespace
