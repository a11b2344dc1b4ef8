// Animated GIF pictures: one palette for every frame, each frame a whole picture of
// palette indices, LZW-coded, and the animation looping for ever.
#pragma once

#include <cstdint>
#include <vector>

struct GifPicture {
  int width = 0, height = 0;
  int indexBits = 0;  // the palette has 2^indexBits colours
  std::vector<std::uint8_t> bytes;
};

// Starts the picture's bytes: header, palette and the endless loop. The palette holds
// colours 0xRRGGBB, 2, 4, 8 ... or 256 of them; index i of a frame shows palette[i].
void StartGif(GifPicture& gif, int width, int height, const std::vector<std::uint32_t>& palette);
// Appends a frame of width x height palette indices, row by row from the top, shown for
// the delay (hundredths of a second).
void AddGifFrame(GifPicture& gif, const std::vector<std::uint8_t>& indices, int delayCentiseconds);
// Ends the bytes; the picture is complete.
void FinishGif(GifPicture& gif);
