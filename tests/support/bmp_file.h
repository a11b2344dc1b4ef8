// Reading the BMP files back: the bytes as they are stored, and the picture as an
// independent reader (stb_image, from Debian's libstb) decodes it.
#pragma once

#include <stb/stb_image.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/support/temp_folder.h"

struct BmpBytes {
  std::vector<unsigned char> bytes;

  explicit BmpBytes(const std::filesystem::path& file) : bytes(ReadBytes(file)) {}

  std::uint32_t U16(std::size_t at) const { return bytes.at(at) | bytes.at(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::int32_t Width() const { return static_cast<std::int32_t>(U32(18)); }
  std::int32_t Height() const { return static_cast<std::int32_t>(U32(22)); }
  std::size_t RowBytes() const { return 3 * std::size_t(Width()) + (Width() & 3); }
  // Offset of pixel (x, y), y = 0 the top row: rows are stored bottom-up from 54.
  std::size_t Offset(int x, int y) const { return 54 + std::size_t(Height() - 1 - y) * RowBytes() + 3 * x; }
  // The stored pixel as a colour 0x00BBGGRR.
  std::uint32_t Colour(int x, int y) const {
    std::size_t at = Offset(x, y);
    return bytes.at(at + 2) | bytes.at(at + 1) << 8 | bytes.at(at) << 16;
  }
};

// The picture as stb_image decodes it: width x height colours 0x00BBGGRR, top row
// first; empty when it cannot read the file.
struct DecodedPicture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> colours;

  explicit DecodedPicture(const std::filesystem::path& file) {
    int channels = 0;
    unsigned char* rgb = stbi_load(file.c_str(), &width, &height, &channels, 3);
    if (!rgb) return;
    colours.resize(std::size_t(width) * height);
    for (std::size_t i = 0; i < colours.size(); ++i)
      colours[i] = rgb[3 * i] | rgb[3 * i + 1] << 8 | rgb[3 * i + 2] << 16;
    stbi_image_free(rgb);
  }
  std::uint32_t At(int x, int y) const { return colours.at(std::size_t(y) * width + x); }
};
