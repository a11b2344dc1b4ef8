// The screen as a drawing target: the back buffer, reached through its device context
// or, from the first PutPixel on, through its locked pixel memory.
//
// A frame moves backBufferAccess through: free -> device context (ScreenTarget) ->
// locked (first PutPixel) -> free (EndDrawing, or PresentFrame, which ends a drawing
// not ended).
#pragma once

#include "platform/types.h"
#include "screen/drawing.h"

// The screen's target, or null while the back buffer is held or gives no device
// context (as while its surfaces are lost). The record is reused by every call.
const DrawingTarget* ScreenTarget();

// Ends a screen drawing still open, so no pixel lands through its old address once
// the back buffer is flipped, released or restored; then the buffer is free.
void EndScreenDrawing();

// The screen target's routines.
// Unlocks the back buffer or gives its device context back; the buffer is then free.
void ReleaseBackBuffer();
// Ends direct access: unlocks and takes the device context again (0 when it cannot
// be had).
platform::HDC RegainBackBufferDC();
// Gives the device context up and locks the back buffer; its pixels, or null when the
// lock failed.
platform::BYTE* LockBackBuffer();
