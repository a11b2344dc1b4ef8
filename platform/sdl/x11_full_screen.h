// The full-screen window on an X11 desktop. SDL's own full-screen windows there wait
// 100 ms after every mapping for a window manager to resize them, which none does when
// the window already covers the display (or when there is no window manager at all).
// The screen window is instead a borderless window the size of the display that asks
// the window manager for the full-screen state itself, before it is mapped.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// Marks the (unmapped) window full screen for the window manager: _NET_WM_STATE holds
// _NET_WM_STATE_FULLSCREEN. Does nothing for a window that is not on X11.
void AskFullScreenState(SDL_Window* window);

}  // namespace platform::sdl
