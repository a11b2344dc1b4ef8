// The full-screen window on an X11 desktop, where SDL leaves things out.
//
// SDL's own full-screen windows there wait 100 ms after every mapping for a window
// manager to resize them, which none does when the window already covers the display
// (or when there is no window manager at all). The screen window is instead a
// borderless window the size of the display that asks the window manager for the
// full-screen state itself, before it is mapped.
//
// A window manager may also take the full-screen state away; the window asks for it
// again. SDL (2.26) does not notice the desktop changing its size or its refresh rate
// (xrandr, a projector plugged in), and with no window manager nobody gives the focus to a window uncovered when
// another one goes away; the window does both itself.
#pragma once

#include <SDL.h>

namespace platform::sdl {

// Marks the (unmapped) window full screen for the window manager: _NET_WM_STATE holds
// _NET_WM_STATE_FULLSCREEN. Does nothing for a window that is not on X11.
void AskFullScreenState(SDL_Window* window);

// With a window manager, and while the mapped window is not in the full-screen state,
// asks for it again, the way a mapped window must: through the root window. A window
// manager that keeps one full-screen window a workspace (i3) takes the state from the
// window when another one asks for it, and does not give it back. True when it asked.
bool AskFullScreenAgain(SDL_Window* window);

// Has the X server report the desktop's size changes, which then arrive as
// SDL_SYSWMEVENTs.
void WatchDesktopSize(SDL_Window* window);
// The area of the display the window is on, when `message` says the desktop changed
// its size: the monitor at the window's corner, or the whole desktop where the server
// names no monitors.
bool DesktopResized(SDL_Window* window, const SDL_SysWMmsg* message, SDL_Rect* display);

// The refresh rate of the monitor at the window's corner, in whole hertz, as the X
// server has it now (SDL reads the modes once, at its start); 0 when it names none.
int CurrentRefreshRate(SDL_Window* window);

// With no window manager, and while no other window has the focus, gives it to the
// (mapped) window.
void TakeFocusIfUnowned(SDL_Window* window);

}  // namespace platform::sdl
