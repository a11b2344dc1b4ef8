// What the rest of the platform layer sees of gdi32: pixel memory described by its
// layout, and device contexts made over such memory (display surfaces use these).
#pragma once

#include "platform/types.h"

namespace platform::gdi {

// A pixel layout: bits per pixel and, for 15 to 32 bits, where each channel sits.
// 8 bits per pixel means palette indices.
struct PixelFormat {
  int bitsPerPixel;
  DWORD redMask, greenMask, blueMask;
};

constexpr PixelFormat kFormat32 = {32, 0x00FF0000, 0x0000FF00, 0x000000FF};  // 0x00RRGGBB
constexpr PixelFormat kFormat24 = {24, 0x00FF0000, 0x0000FF00, 0x000000FF};  // bytes B, G, R
constexpr PixelFormat kFormat565 = {16, 0xF800, 0x07E0, 0x001F};
constexpr PixelFormat kFormat555 = {16, 0x7C00, 0x03E0, 0x001F};
constexpr PixelFormat kFormat8 = {8, 0, 0, 0};

struct PixelMemory {
  BYTE* bits;
  LONG width, height;
  LONG pitch;  // bytes from one row to the next; may exceed width x bytes per pixel
  PixelFormat format;
};

// The stored value of a colour in a layout: exact for 24 and 32 bits, the kept top
// bits for 15 and 16, an index into a 3-3-2 palette for 8.
DWORD EncodeColour(const PixelFormat& format, COLORREF colour);
COLORREF DecodeColour(const PixelFormat& format, DWORD stored);

// Reads or writes one pixel; the caller keeps (x, y) inside the memory.
DWORD ReadPixel(const PixelMemory& memory, LONG x, LONG y);
void WritePixel(const PixelMemory& memory, LONG x, LONG y, DWORD stored);

// A context that draws straight into `memory` until it is deleted with DeleteDC, or
// by the layer itself with DeleteMemoryTargetDC (which keeps no call-log entry, so a
// surface's or window's ReleaseDC logs as one call).
HDC CreateMemoryTargetDC(const PixelMemory& memory);
bool DeleteMemoryTargetDC(HDC dc);

// The memory a context currently draws into, or null (no bitmap selected, or not a
// context).
const PixelMemory* TargetOf(HDC dc);

// The solid colour of a brush, or false for a null brush or a handle that is no brush.
bool BrushColour(HBRUSH brush, COLORREF* colour);

}  // namespace platform::gdi
