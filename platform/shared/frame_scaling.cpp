#include "platform/shared/frame_scaling.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

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

namespace {

// Twice across and twice down, both target rows written straight from the source row,
// four pixels at a time. The stores stream past the caches: the X server reads the
// picture from shared memory anyway, and a 1280 x 960 picture (4.9 MB) would only push
// the program's own tables out of them. Pixels are whole aligned words in every
// surface (the pitches are multiples of 4); rows not aligned to 16 bytes take the plain
// loop, as do processors without SSE2.
void DoubleRow(const std::uint32_t* __restrict from, int width, std::uint32_t* __restrict upper,
               std::uint32_t* __restrict lower) {
  int x = 0;
#if defined(__SSE2__)
  if ((reinterpret_cast<std::uintptr_t>(upper) | reinterpret_cast<std::uintptr_t>(lower)) % 16 == 0) {
    for (; x + 4 <= width; x += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
      const __m128i lo = _mm_unpacklo_epi32(p, p), hi = _mm_unpackhi_epi32(p, p);
      _mm_stream_si128(reinterpret_cast<__m128i*>(upper + 2 * x), lo);
      _mm_stream_si128(reinterpret_cast<__m128i*>(upper + 2 * x + 4), hi);
      _mm_stream_si128(reinterpret_cast<__m128i*>(lower + 2 * x), lo);
      _mm_stream_si128(reinterpret_cast<__m128i*>(lower + 2 * x + 4), hi);
    }
  }
#endif
  for (; x < width; ++x) {
    const std::uint32_t pixel = from[x];
    upper[2 * x] = pixel;
    upper[2 * x + 1] = pixel;
    lower[2 * x] = pixel;
    lower[2 * x + 1] = pixel;
  }
}

}  // namespace

void ScaleByWholePixels(const std::uint8_t* source, int width, int height, std::ptrdiff_t sourcePitch,
                        std::uint8_t* target, std::ptrdiff_t targetPitch, int scale) {
  const std::size_t rowBytes = std::size_t(width) * scale * 4;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = source + y * sourcePitch;
    std::uint8_t* to = target + std::ptrdiff_t(y) * scale * targetPitch;
    if (scale == 2) {
      DoubleRow(reinterpret_cast<const std::uint32_t*>(from), width, reinterpret_cast<std::uint32_t*>(to),
                reinterpret_cast<std::uint32_t*>(to + targetPitch));
      continue;
    }
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

}  // namespace platform
