// The tests' keyboard and mouse on a Wayland compositor: a virtual keyboard
// (zwp_virtual_keyboard_v1, with the default US keymap) and a virtual pointer
// (zwlr_virtual_pointer_v1) of its seat, acting on whichever window the compositor
// gives the focus. They are made before the program under test starts, so the seat
// has a keyboard and a pointer from the program's first look at it.
#pragma once

#include <string>

namespace e2e {

struct WaylandInput;

// Connects to the compositor's socket (a full path) and uploads the keymap; null when
// the compositor refuses or offers no virtual keyboards or pointers.
WaylandInput* ConnectInput(const std::string& socketPath);
void DisconnectInput(WaylandInput* input);

// Presses or releases a key by its keysym name ("Escape", "Alt_L", "F4"), with the
// modifiers it changes, as a keyboard would; false when the name has no key or the
// compositor did not take it.
bool PressKey(WaylandInput* input, const std::string& key, bool down);

// Moves the pointer to (x, y) of an output of width x height.
bool MovePointer(WaylandInput* input, int x, int y, int width, int height);
// Presses or releases a mouse button where the pointer is (1 left, 2 middle, 3 right).
bool PressButton(WaylandInput* input, int button, bool down);

}  // namespace e2e
