// The in-memory display: a pretend screen that tests drive from code. It offers every
// mode of 8, 16, 24 and 32 bits, answers the scan-line question from a script, reads
// keys from a script, runs scripted steps (posted messages, focus changes) when the
// program pumps its messages, and keeps a copy of every presented frame.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"
#include "platform/types.h"

namespace platform::memory {

// Back to a display with nothing scripted, nothing shown and the default layouts.
void ResetDisplay();

// The layout of the surfaces of `depth` from now on (by default 0x00RRGGBB at 32,
// bytes B, G, R at 24, 5-6-5 at 16, palette indices at 8).
void OfferFormat(const gdi::PixelFormat& format);
// Extra bytes at the end of every surface row (rows still start on 4-byte boundaries);
// the pitch is then chosen as on every display (SurfacePitch).
void SetRowPadding(LONG bytes);
// With false, no display can be had (no DirectDraw object), for `reason` when given.
void SetAvailable(bool available, const char* reason = nullptr);

// Answers of the coming scan-line questions, one each; a negative entry (and every
// question once the script is used up) gets no answer, as in the vertical blank.
void ScriptScanLines(std::vector<long> lines);
// Results of the coming GetAsyncKeyState calls for the key, one each; 0 afterwards.
void ScriptKeyStates(int virtualKey, std::vector<SHORT> states);
// Runs `step` inside the next message pump (the first PeekMessageA after now).
void AtNextPump(std::function<void()> step);

struct DisplayView {
  bool exclusive;
  HWND exclusiveWindow;
  int width, height, depth;  // the mode set last; 0 for the desktop
  std::string title;
  bool windowShown;
  bool cursorShown;
  int presents;
  bool lastAtRetrace;
  int scanLineQuestions;
  DWORD sleptMilliseconds;
};
const DisplayView& View();

// A pixel of the last presented frame: as stored in the surface's layout, and as a
// colour 0x00BBGGRR. Positions outside the frame read 0.
DWORD PresentedValue(LONG x, LONG y);
COLORREF PresentedPixel(LONG x, LONG y);
LONG PresentedWidth();
LONG PresentedHeight();

}  // namespace platform::memory
