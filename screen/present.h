// Frame presentation: PresentFrame ends a screen frame. It gives the back buffer up,
// lets every waiting window message through, and, while the window is active, flips
// the back buffer to the front, paced by the mode:
//
//   mode bit 0 set: flip at the next vertical retrace (DDFLIP_WAIT)
//   mode bit 0 clear: flip at once (DDFLIP_WAIT | DDFLIP_NOVSYNC)
//   mode bit 1 set: first wait, at the highest thread priority and in 1 ms sleeps,
//                   until the raster is within the last 150 lines or in the blank
//
// Other bits are ignored. A flip that finds the surfaces lost puts the display mode
// and the surfaces back; that frame is not shown.
#pragma once

#include <cstdint>

void PresentFrame(std::int32_t mode);

// The flip routine OpenDisplay installs.
void FlipScreen(std::int32_t mode);
