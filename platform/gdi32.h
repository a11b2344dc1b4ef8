// gdi32: brushes, pens and device contexts. A device context here is a real drawing
// target: it draws into pixel memory (a bitmap's or a display surface's) in that
// memory's own pixel format.
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

HGDIOBJ GetStockObject(int object);
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
// Returns the object of the same kind that the context held before, or 0.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Stock objects and objects still selected into a context are not deleted.
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC dc);

// Sets the pixel to the nearest colour the context can show; positions outside the
// drawing surface are ignored (FALSE).
BOOL SetPixelV(HDC dc, int x, int y, COLORREF colour);

UINT SetTextAlign(HDC dc, UINT align);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);

}  // namespace platform
