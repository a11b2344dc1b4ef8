// Where a frame lands on a larger (or smaller) window, and the whole-pixel scaling that
// puts it there when no graphics card does it. Plain arithmetic and memory copies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct Area {
  int x, y, width, height;
  bool operator==(const Area&) const = default;
};

// The frame on an output of the given size, proportions kept and centred: scaled by the
// largest whole factor that fits, or shrunk to fit when the output is smaller than the
// frame. The output around it stays black.
Area PicturePlace(int frameWidth, int frameHeight, int outputWidth, int outputHeight);

// Copies a width x height block of 32-bit pixels, each source pixel becoming a
// scale x scale square of the target. Pitches are in bytes.
void ScaleByWholePixels(const std::uint8_t* source, int width, int height, std::ptrdiff_t sourcePitch,
                        std::uint8_t* target, std::ptrdiff_t targetPitch, int scale);

}  // namespace platform
