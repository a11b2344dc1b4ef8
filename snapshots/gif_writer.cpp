#include "snapshots/gif_writer.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int kMaxCodes = 1 << 12;  // codes are at most 12 bits wide

void Put16(std::vector<std::uint8_t>& out, int value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
}

// Codes go out least significant bit first, packed into sub-blocks of up to 255 bytes.
struct CodeOutput {
  std::vector<std::uint8_t>& out;
  std::vector<std::uint8_t> block = {};
  std::uint32_t bits = 0;
  int bitCount = 0;

  void Put(int code, int width) {
    bits |= static_cast<std::uint32_t>(code) << bitCount;
    for (bitCount += width; bitCount >= 8; bitCount -= 8, bits >>= 8) Byte(bits & 0xFF);
  }
  void Byte(std::uint32_t byte) {
    block.push_back(static_cast<std::uint8_t>(byte));
    if (block.size() == 255) Flush();
  }
  void Flush() {
    if (block.empty()) return;
    out.push_back(static_cast<std::uint8_t>(block.size()));
    out.insert(out.end(), block.begin(), block.end());
    block.clear();
  }
  void Finish() {
    if (bitCount > 0) Byte(bits);
    Flush();
    out.push_back(0);  // the empty block that ends the data
  }
};

// The LZW string table as a tree: child[code << rootBits | index] is the code of the
// string `code` followed by `index`, 0 where there is none yet (0 is never a child).
struct StringTable {
  int rootBits;  // the single indices are the codes below 2^rootBits
  std::vector<std::uint16_t> child = std::vector<std::uint16_t>(std::size_t(kMaxCodes) << rootBits);
  std::vector<int> used = {};  // entries of `child` set since the last start-over
  int clearCode = 1 << rootBits;
  int endCode = clearCode + 1;
  int nextCode = endCode + 1;

  void StartOver() {
    for (int entry : used) child[entry] = 0;
    used.clear();
    nextCode = endCode + 1;
  }
};

void PutLzw(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& indices, int indexBits) {
  StringTable table{std::max(indexBits, 2)};  // the format's smallest code size is 2
  out.push_back(static_cast<std::uint8_t>(table.rootBits));
  CodeOutput codes{out};
  const int firstWidth = table.rootBits + 1;
  int width = firstWidth;
  codes.Put(table.clearCode, width);
  int string = indices[0];
  for (std::size_t i = 1; i < indices.size(); ++i) {
    int entry = string << table.rootBits | indices[i];
    if (table.child[entry] != 0) {
      string = table.child[entry];
      continue;
    }
    codes.Put(string, width);
    if (table.nextCode == kMaxCodes) {
      // The table is full: start it over, and tell the reader so.
      codes.Put(table.clearCode, width);
      table.StartOver();
      width = firstWidth;
    } else {
      table.child[entry] = static_cast<std::uint16_t>(table.nextCode++);
      table.used.push_back(entry);
      // The reader adds each string one code later than we do, so it widens its codes
      // when its table reaches 2^width: we widen one code after that.
      if (table.nextCode > 1 << width) ++width;
    }
    string = indices[i];
  }
  codes.Put(string, width);
  codes.Put(table.endCode, width);
  codes.Finish();
}

}  // namespace

void StartGif(GifPicture& gif, int width, int height, const std::vector<std::uint32_t>& palette) {
  if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF)
    throw std::invalid_argument("a GIF picture is 1 to 65535 pixels wide and high");
  int indexBits = 1;
  while (indexBits < 8 && palette.size() > 1u << indexBits) ++indexBits;
  if (palette.size() != 1u << indexBits)
    throw std::invalid_argument("a GIF palette has 2, 4, 8, 16, 32, 64, 128 or 256 colours");
  gif = {width, height, indexBits, {'G', 'I', 'F', '8', '9', 'a'}};
  std::vector<std::uint8_t>& out = gif.bytes;
  Put16(out, width);
  Put16(out, height);
  // A global palette, 8 bits a colour component; no background colour, square pixels.
  out.insert(out.end(), {static_cast<std::uint8_t>(0xF0 | (indexBits - 1)), 0, 0});
  for (std::uint32_t colour : palette)
    out.insert(out.end(), {static_cast<std::uint8_t>(colour >> 16 & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                           static_cast<std::uint8_t>(colour & 0xFF)});
  // The application extension that loops the animation: repeat count 0, for ever.
  out.insert(out.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
}

void AddGifFrame(GifPicture& gif, const std::vector<std::uint8_t>& indices, int delayCentiseconds) {
  if (indices.size() != static_cast<std::size_t>(gif.width) * gif.height)
    throw std::invalid_argument("a GIF frame has one index for each pixel of the picture");
  if (std::any_of(indices.begin(), indices.end(), [&](std::uint8_t i) { return i >> gif.indexBits != 0; }))
    throw std::invalid_argument("a GIF frame's indices are below the palette's size");
  if (delayCentiseconds < 0 || delayCentiseconds > 0xFFFF)
    throw std::invalid_argument("a GIF frame's delay is 0 to 65535 hundredths of a second");
  std::vector<std::uint8_t>& out = gif.bytes;
  // Graphic control: the frame stays in place under the next one, no transparent colour.
  out.insert(out.end(), {0x21, 0xF9, 4, 0x04});
  Put16(out, delayCentiseconds);
  out.insert(out.end(), {0, 0});
  // The frame covers the whole picture, with the global palette, not interlaced.
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, gif.width);
  Put16(out, gif.height);
  out.push_back(0);
  PutLzw(out, indices, gif.indexBits);
}

void FinishGif(GifPicture& gif) { gif.bytes.push_back(0x3B); }
