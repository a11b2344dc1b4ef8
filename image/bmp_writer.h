// The BMP writer: a picture as an uncompressed 24-bit Windows bitmap file.
//
//   offset 0   file header, 14 bytes: "BM", file size, 0, 0, pixel data offset 54
//   offset 14  info header, 40 bytes: 40, W, H (positive: bottom-up), 1 plane, 24 bits,
//              BI_RGB, pixel data size, then four zeros
//   offset 54  H rows of R = 3W + (W AND 3) bytes, the picture's bottom row first;
//              each row W pixels as bytes blue, green, red, then zero padding
#pragma once

#include <cstdint>

// Writes picture `number` to `fileName` (a platform path, see CreateFileA). Returns 1
// when the whole file was written, 0 otherwise. The file is written beside the file
// the name leads to (through a symbolic link) and put in its place only once
// complete, with its permission bits, so an existing file is either replaced by the
// whole new one or left as it was; where the folder takes no new file, the file is
// written in place, with room for it reserved first. The picture must not be bound
// for drawing.
std::int32_t SavePictureBmp(std::int32_t number, const char* fileName);

// Why the last SavePictureBmp that returned 0 failed, in words ("the disk is full").
const char* SaveFailure();

// Stops the program through ProgramEnd, with exit code 1, when the picture was not
// saved (`saved` is SavePictureBmp's result), with one line on standard error that
// names the file and says why. The file name must still be the one SavePictureBmp had.
void StopUnlessSaved(std::int32_t saved);
