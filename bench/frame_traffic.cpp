#include "bench/frame_traffic.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bench {

std::size_t LastLevelCacheBytes(const std::string& cacheFolder) {
  std::error_code error;
  int bestLevel = 0;
  std::size_t bestBytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cacheFolder, error)) {
    if (entry.path().filename().string().rfind("index", 0) != 0) continue;
    int level = 0;
    std::string type, size;
    std::ifstream(entry.path() / "level") >> level;
    std::ifstream(entry.path() / "type") >> type;
    std::ifstream(entry.path() / "size") >> size;
    if (type == "Instruction" || size.empty()) continue;
    char* unit = nullptr;
    std::size_t bytes = std::strtoull(size.c_str(), &unit, 10);
    if (*unit == 'K') bytes <<= 10;
    if (*unit == 'M') bytes <<= 20;
    if (level > bestLevel || (level == bestLevel && bytes > bestBytes)) {
      bestLevel = level;
      bestBytes = bytes;
    }
  }
  return bestBytes;
}

std::size_t TrafficSetCount(std::size_t cacheBytes, std::size_t setBytes, std::size_t times) {
  const std::size_t sets = (times * cacheBytes + setBytes - 1) / setBytes;
  return sets < 2 ? 2 : sets;
}

FrameTraffic::FrameTraffic(std::size_t pixels, std::size_t sets) : pixels_(pixels), sets_(sets) {
  // Whole cache lines per buffer, so that each buffer starts on a line of its own.
  pixels_ = (pixels + 15) / 16 * 16;
  block_ = static_cast<std::int32_t*>(std::aligned_alloc(64, TotalBytes()));
  if (block_) std::memset(block_, 1, TotalBytes());
}

FrameTraffic::~FrameTraffic() { std::free(block_); }

std::int32_t* FrameTraffic::Buffer(std::size_t set, int which) const {
  return block_ ? block_ + (set * 4 + static_cast<std::size_t>(which)) * pixels_ : nullptr;
}

}  // namespace bench
