#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel32.h"
#include "platform/testing.h"

using namespace platform;

namespace {

bool AllZero(const void* p, std::size_t n) {
  auto* b = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

TEST(Heap, ZeroFillsOnRequestAndGrowsWithoutLimit) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  // Far beyond the initial size: a heap with no maximum grows as needed.
  auto* big = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 8 << 20));
  ASSERT_NE(big, nullptr);
  EXPECT_TRUE(AllZero(big, 8 << 20));
  EXPECT_EQ(HeapSize(heap, 0, big), SIZE_T(8 << 20));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, ReAllocKeepsContentsAndZeroFillsTheAddedPart) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 16));
  std::memset(block, 0xAB, 16);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 1 << 20));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0xAB);
  EXPECT_TRUE(AllZero(block + 16, (1 << 20) - 16));
  HeapDestroy(heap);
}

TEST(Heap, DestroyReleasesEveryBlockAtOnce) {
  // Under AddressSanitizer a block left behind would be reported as a leak.
  HANDLE heap = HeapCreate(0, 4096, 0);
  for (int i = 0; i < 100; ++i) ASSERT_NE(HeapAlloc(heap, 0, 1000 + i), nullptr);
  void* moved = HeapAlloc(heap, 0, 10);
  ASSERT_NE(HeapReAlloc(heap, 0, moved, 100000), nullptr);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, FreeGivesBackAndRefusesForeignBlocks) {
  HANDLE a = HeapCreate(0, 4096, 0), b = HeapCreate(0, 4096, 0);
  void* block = HeapAlloc(a, 0, 64);
  EXPECT_FALSE(HeapFree(b, 0, block));
  EXPECT_EQ(HeapReAlloc(b, 0, block, 128), nullptr);
  EXPECT_TRUE(HeapFree(a, 0, block));
  EXPECT_TRUE(HeapFree(a, 0, nullptr));
  HeapDestroy(a);
  HeapDestroy(b);
}

TEST(Heap, MaximumSizeAndRefusedRequestsGiveNull) {
  HANDLE limited = HeapCreate(0, 1024, 4096);
  void* first = HeapAlloc(limited, 0, 4000);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(HeapAlloc(limited, 0, 200), nullptr);
  EXPECT_EQ(HeapReAlloc(limited, 0, first, 5000), nullptr);
  HeapDestroy(limited);

  HANDLE heap = HeapCreate(0, 4096, 0);
  test::RefuseCall("HeapAlloc", 1, 1);
  EXPECT_NE(HeapAlloc(heap, 0, 8), nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
  EXPECT_NE(HeapAlloc(heap, 0, 8), nullptr);
  test::ClearFaults();
  HeapDestroy(heap);
}

TEST(Process, ModuleHandleAndTrappedExit) {
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleA("OTHER.DLL"), nullptr);
  test::TrapExit(true);
  try {
    ExitProcess(3);
    ADD_FAILURE() << "ExitProcess returned";
  } catch (const test::ProcessExit& exit) {
    EXPECT_EQ(exit.code, 3u);
  }
  test::TrapExit(false);
}

}  // namespace
