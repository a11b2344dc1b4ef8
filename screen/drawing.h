// The drawing operations shared by the screen and by pictures: BeginDrawing on a
// target, any number of PutPixel, EndDrawing. One drawing is open at a time.
//
// A target reaches its pixels through a device context, or (the screen, kind 7)
// directly: the first PutPixel gives the context up, locks the back buffer and from
// then on stores each pixel straight into the locked memory. PutPixel is the one
// place where the runtime touches screen pixels itself.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/types.h"

inline constexpr std::int32_t kWindowTarget = 1;
inline constexpr std::int32_t kImageTarget = 2;
inline constexpr std::int32_t kScreenTarget = 7;

struct DrawingTarget {
  std::int32_t kind;
  platform::HWND window;                   // kind 1: the window whose context is fetched
  platform::HDC deviceContext;             // kinds other than 1
  void (*release)();                       // ends access; called by EndDrawing for kinds 2 and 7
  platform::BYTE* pixels;                  // kind 7: pixel memory as seen by the last lock
  std::int32_t pitch;                      // kind 7: bytes from one row to the next
  std::int32_t width, height;              // kind 7
  std::int32_t depth;                      // kind 7: bits per pixel
  std::int32_t pixelFormat;                // kind 7: the screen's pixel-format code
  platform::HDC (*regain)();               // kind 7: ends direct access, gives the context back
  platform::BYTE* (*lock)();               // kind 7: gives the context up, locks, returns pixels
};

inline constexpr std::int32_t kAccessThroughContext = 1;
inline constexpr std::int32_t kAccessDirect = -1;

struct DrawingState {
  platform::HDC deviceContext;  // 0: no drawing open
  std::int32_t kind;
  platform::HWND window;
  void (*release)();
  platform::BYTE* pixels;
  std::int32_t pitch, width, height, depth, pixelFormat;
  platform::HDC (*regain)();
  platform::BYTE* (*lock)();
  std::int32_t accessMode;
  // The locked pixels of a 32-bit screen once the first PutPixel has locked them, null
  // otherwise: the one field PutPixel tests before it stores a pixel.
  platform::BYTE* directPixels;
  platform::HBRUSH defaultBrush;
  platform::HPEN defaultPen;
  platform::HBRUSH savedBrush;
  platform::HPEN savedPen;
  platform::HBRUSH fillBrush;
  platform::COLORREF textColour;
  platform::COLORREF backgroundColour;
};

extern DrawingState drawingState;

// Start step of the drawing service: clears the state, makes the default brush and pen.
void InitDrawing();

// Returns the context of the new drawing, or 0 when none was opened (null target, or
// a target without a context).
platform::HDC BeginDrawing(const DrawingTarget* target);

// 0x00BBGGRR becomes 0x00RRGGBB: red and blue swap places (bytes B, G, R, 0 in memory).
// The store is a 32-bit word, not bytes, so the compiler need not assume it changes the
// drawing state or the program's tables.
inline void StoreScreenPixel32(platform::BYTE* at, std::int32_t colour) {
  auto c = static_cast<std::uint32_t>(colour);
  *reinterpret_cast<std::uint32_t*>(at) = ((c & 0xFF) << 16) + (c & 0xFF00) + static_cast<std::uint32_t>(colour >> 16);
}

// PutPixel for every case but a 32-bit screen already locked.
void PutPixelAnyTarget(std::int32_t x, std::int32_t y, std::int32_t colour);

// Colour 0x00BBGGRR. Does nothing when no drawing is open. A screen frame calls this
// 307,200 times, so the common case, a 32-bit screen locked by the first call, is
// inline: one pointer tested, the position checked against the surface, one store.
inline void PutPixel(std::int32_t x, std::int32_t y, std::int32_t colour) {
  const DrawingState& d = drawingState;
  if (d.directPixels && static_cast<std::uint32_t>(x) < static_cast<std::uint32_t>(d.width) &&
      static_cast<std::uint32_t>(y) < static_cast<std::uint32_t>(d.height)) {
    StoreScreenPixel32(d.directPixels + static_cast<std::ptrdiff_t>(y) * d.pitch + static_cast<std::ptrdiff_t>(x) * 4,
                       colour);
    return;
  }
  PutPixelAnyTarget(x, y, colour);
}

void EndDrawing();
