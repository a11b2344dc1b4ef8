// The buffers of BM_FrameTrafficLimit: one frame's bytes (the two tables read, the frame
// values and the screen written, 4 bytes each per pixel) in as many copies as it takes
// to exceed the machine's last-level cache several times over. Passing through them in
// turn, each pass finds its buffers long gone from every cache, so it measures moving
// the bytes from and to memory and nothing else: no flush inside or between the passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// The size of the largest data cache the system reports for the first processor, read
// from `cacheFolder` (Linux's sysfs layout: index*/level, type, size such as "266240K");
// 0 when it reports none.
std::size_t LastLevelCacheBytes(const std::string& cacheFolder = "/sys/devices/system/cpu/cpu0/cache");

// Assumed when the system reports no cache: more than the last level of any processor
// in common use.
inline constexpr std::size_t kUnknownCacheBytes = std::size_t(512) << 20;

// Copies of `setBytes` needed to hold at least `times` x `cacheBytes` (at least 2).
std::size_t TrafficSetCount(std::size_t cacheBytes, std::size_t setBytes, std::size_t times);

// `sets` copies of one frame's four buffers of `pixels` 32-bit words each, one block
// aligned to cache lines, every byte written once so that no page is first touched
// inside a timed pass.
class FrameTraffic {
 public:
  FrameTraffic(std::size_t pixels, std::size_t sets);
  ~FrameTraffic();
  FrameTraffic(const FrameTraffic&) = delete;
  FrameTraffic& operator=(const FrameTraffic&) = delete;

  std::size_t Sets() const { return sets_; }
  std::size_t TotalBytes() const { return sets_ * 4 * pixels_ * 4; }
  // Buffer 0 and 1 (the tables read), 2 and 3 (the frame values and the screen
  // written) of the set; null when the block could not be had.
  std::int32_t* Buffer(std::size_t set, int which) const;

 private:
  std::size_t pixels_, sets_;
  std::int32_t* block_;
};

}  // namespace bench
