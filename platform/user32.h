// user32: windows, messages, the keyboard state and rectangle filling.
#pragma once

#include "platform/types.h"

namespace platform {

// Fills the rectangle (right and bottom excluded) with the brush, clipped to the
// context's drawing surface.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

}  // namespace platform

namespace platform {

// A window's device context, until ReleaseDC gives it back.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

}  // namespace platform
