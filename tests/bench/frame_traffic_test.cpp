// The frame traffic limit's buffers: the cache size read as the system reports it, and
// enough copies of one frame's buffers to exceed it several times, none overlapping.
#include "bench/frame_traffic.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

TEST(FrameTraffic, TheLastLevelCacheIsTheLargestDataCacheOfTheHighestLevel) {
  struct Row {
    const char* why;
    std::vector<std::array<const char*, 3>> caches;  // level, type, size
    std::size_t bytes;
  };
  const Row rows[] = {
      {"this machine's kind", {{"1", "Data", "48K"}, {"1", "Instruction", "32K"}, {"2", "Unified", "2048K"},
                               {"3", "Unified", "266240K"}}, std::size_t(266240) << 10},
      {"no third level", {{"1", "Data", "32K"}, {"2", "Unified", "1024K"}}, std::size_t(1) << 20},
      {"an instruction cache is never the one", {{"1", "Data", "32K"}, {"2", "Instruction", "64M"}}, 32 << 10},
      {"sizes in megabytes", {{"1", "Data", "64K"}, {"3", "Unified", "32M"}}, std::size_t(32) << 20},
      {"nothing reported", {}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TempFolder folder;
    int index = 0;
    for (const auto& [level, type, size] : row.caches) {
      const std::filesystem::path entry = folder.path() / ("index" + std::to_string(index++));
      std::filesystem::create_directories(entry);
      std::ofstream(entry / "level") << level << "\n";
      std::ofstream(entry / "type") << type << "\n";
      std::ofstream(entry / "size") << size << "\n";
    }
    EXPECT_EQ(bench::LastLevelCacheBytes(folder.path().string()), row.bytes);
  }
  EXPECT_EQ(bench::LastLevelCacheBytes("/no/such/folder"), 0u);
}

TEST(FrameTraffic, TheCopiesTogetherExceedTheCacheReportedHereFourTimesOver) {
  constexpr std::size_t kPixels = 640 * 480, kSetBytes = 4 * kPixels * 4;
  EXPECT_EQ(bench::TrafficSetCount(0, kSetBytes, 4), 2u);
  EXPECT_EQ(bench::TrafficSetCount(kSetBytes, kSetBytes, 4), 4u);
  EXPECT_EQ(bench::TrafficSetCount(kSetBytes + 1, kSetBytes, 4), 5u);

  std::size_t cache = bench::LastLevelCacheBytes();
  if (cache == 0) cache = bench::kUnknownCacheBytes;
  // A smaller frame keeps the test's memory small; the count is worked out the same way.
  constexpr std::size_t kSmallPixels = 64 * 1024;
  const bench::FrameTraffic traffic(kSmallPixels, bench::TrafficSetCount(cache / 64, 4 * kSmallPixels * 4, 4));
  ASSERT_NE(traffic.Buffer(0, 0), nullptr);
  EXPECT_GE(traffic.TotalBytes(), 4 * (cache / 64));
  // Every buffer starts on a cache line of its own, right after the one before it.
  for (std::size_t set = 0; set < traffic.Sets(); ++set)
    for (int which = 0; which < 4; ++which) {
      const std::int32_t* buffer = traffic.Buffer(set, which);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % 64, 0u);
      EXPECT_EQ(buffer, traffic.Buffer(0, 0) + (set * 4 + std::size_t(which)) * kSmallPixels);
    }
}

}  // namespace
