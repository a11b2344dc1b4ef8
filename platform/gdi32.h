// gdi32: brushes, pens, bitmaps and device contexts. A device context here is a real
// drawing target: it draws into pixel memory (a bitmap's or a display surface's) in that
// memory's own pixel format. The display is true colour: a bitmap compatible with it
// holds 32 bits per pixel and keeps every colour exactly.
#pragma once

#include "platform/types.h"

namespace platform {

// GetStockObject
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;

// CreatePen
constexpr int PS_SOLID = 0;

// SetTextAlign
constexpr UINT TA_UPDATECP = 1;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

// GetDIBits
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows bottom-up
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// The header of a BMP file, packed as it is stored.
#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct DEVMODEA;

HGDIOBJ GetStockObject(int object);
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
// Returns the object of the same kind that the context held before, or 0.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Stock objects and objects still selected into a context are not deleted.
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC dc);

// The driver "DISPLAY" gives a context on the display; there is no other driver.
HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode);
// A memory context compatible with `dc`, or with the display when `dc` is 0. It holds
// a stock 1 x 1 bitmap until a bitmap is selected into it; only then does it draw.
HDC CreateCompatibleDC(HDC dc);
// A 32-bit bitmap of width x height pixels, all black. 0 for a size that is not
// positive or whose pixels would not fit in 2 GiB, or for a context that is no context.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Describes a bitmap made by CreateCompatibleBitmap into a BITMAP (bmBits is null:
// its pixels are reached only through contexts and GetDIBits). With a null buffer,
// returns the size needed. 0 for anything else.
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
// Copies scan lines start..start+lines-1 of the bitmap, clipped to its height, into
// `bits` as 24-bit rows (bytes blue, green, red; each row padded with zeros to 4 bytes),
// counted from the bottom when biHeight is positive. The header asks for 24 bits,
// BI_RGB and the bitmap's own width and height; usage is DIB_RGB_COLORS. A bitmap
// still selected into a context is refused. Returns the number of lines copied.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage);

// Sets the pixel to the nearest colour the context can show; positions outside the
// drawing surface are ignored (FALSE).
BOOL SetPixelV(HDC dc, int x, int y, COLORREF colour);

UINT SetTextAlign(HDC dc, UINT align);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);

}  // namespace platform
