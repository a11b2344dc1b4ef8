#include "platform/sdl/frame_scaling.h"

#include <algorithm>
#include <cstring>

namespace platform::sdl {

Area PicturePlace(int frameWidth, int frameHeight, int outputWidth, int outputHeight) {
  if (outputWidth >= frameWidth && outputHeight >= frameHeight) {
    const int scale = std::min(outputWidth / frameWidth, outputHeight / frameHeight);
    const int width = frameWidth * scale, height = frameHeight * scale;
    return {(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
  }
  // Bars above and below when the output is relatively wider than the frame, else beside it.
  if (std::int64_t(outputWidth) * frameHeight <= std::int64_t(outputHeight) * frameWidth) {
    const int height = int(std::int64_t(frameHeight) * outputWidth / frameWidth);
    return {0, (outputHeight - height) / 2, outputWidth, height};
  }
  const int width = int(std::int64_t(frameWidth) * outputHeight / frameHeight);
  return {(outputWidth - width) / 2, 0, width, outputHeight};
}

void ScaleByWholePixels(const std::uint8_t* source, int width, int height, std::ptrdiff_t sourcePitch,
                        std::uint8_t* target, std::ptrdiff_t targetPitch, int scale) {
  const std::size_t rowBytes = std::size_t(width) * scale * 4;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = source + y * sourcePitch;
    std::uint8_t* to = target + std::ptrdiff_t(y) * scale * targetPitch;
    if (scale == 1) {
      std::memcpy(to, from, rowBytes);
    } else {
      auto* row = reinterpret_cast<std::uint32_t*>(to);
      for (int x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, from + x * 4, 4);
        std::fill_n(row + x * scale, scale, pixel);
      }
    }
    for (int copy = 1; copy < scale; ++copy) std::memcpy(to + copy * targetPitch, to, rowBytes);
  }
}

}  // namespace platform::sdl
