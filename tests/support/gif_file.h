// An animated GIF as an independent reader (stb_image, from Debian's libstb) decodes it.
#pragma once

#include <stb/stb_image.h>

#include <cstdint>
#include <vector>

// Empty (no frames) when the bytes cannot be read.
struct DecodedGif {
  int width = 0, height = 0;
  std::vector<std::vector<std::uint32_t>> frames;  // colours 0x00BBGGRR, top row first
  std::vector<int> delays;                         // milliseconds

  explicit DecodedGif(const std::vector<std::uint8_t>& bytes) {
    int* frameDelays = nullptr;
    int count = 0, channels = 0;
    unsigned char* rgba = stbi_load_gif_from_memory(bytes.data(), static_cast<int>(bytes.size()), &frameDelays,
                                                    &width, &height, &count, &channels, 4);
    if (!rgba) return;
    const std::size_t pixels = std::size_t(width) * height;
    for (int f = 0; f < count; ++f) {
      const unsigned char* p = rgba + f * pixels * 4;
      std::vector<std::uint32_t>& frame = frames.emplace_back(pixels);
      for (std::size_t i = 0; i < pixels; ++i) frame[i] = p[4 * i] | p[4 * i + 1] << 8 | p[4 * i + 2] << 16;
      delays.push_back(frameDelays[f]);
    }
    stbi_image_free(rgba);
    stbi_image_free(frameDelays);
  }
};
