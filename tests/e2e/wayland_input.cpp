#include "tests/e2e/wayland_input.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "virtual-pointer-unstable-v1-client-protocol.h"

namespace e2e {

struct WaylandInput {
  wl_display* display = nullptr;
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  zwlr_virtual_pointer_manager_v1* pointers = nullptr;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  xkb_context* context = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* state = nullptr;  // the modifiers held, as the keys pressed so far leave them
  std::uint32_t time = 0;
};

namespace {

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  auto* k = static_cast<WaylandInput*>(data);
  if (!k->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
    k->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  else if (!k->keyboards && std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
    k->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  else if (!k->pointers && std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    k->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void OnGlobalRemoved(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemoved};

// The compositor takes the keymap as text in a file, with its terminating zero.
bool UploadKeymap(WaylandInput* k) {
  char* text = xkb_keymap_get_as_string(k->keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  if (!text) return false;
  const std::size_t size = std::strlen(text) + 1;
  const int file = memfd_create("keymap", MFD_CLOEXEC);
  const bool written = file >= 0 && write(file, text, size) == ssize_t(size);
  std::free(text);
  if (written) zwp_virtual_keyboard_v1_keymap(k->keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file, std::uint32_t(size));
  if (file >= 0) close(file);
  return written;
}

// The key that gives the keysym unshifted, or 0.
xkb_keycode_t KeyOf(xkb_keymap* keymap, xkb_keysym_t keysym) {
  for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
    const xkb_keysym_t* symbols = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &symbols) > 0 && symbols[0] == keysym) return key;
  }
  return 0;
}

}  // namespace

WaylandInput* ConnectInput(const std::string& socketPath) {
  auto* k = new WaylandInput;
  bool ready = false;
  k->display = wl_display_connect(socketPath.c_str());
  if (k->display) {
    wl_registry* registry = wl_display_get_registry(k->display);
    wl_registry_add_listener(registry, &kRegistryListener, k);
    wl_display_roundtrip(k->display);
    wl_registry_destroy(registry);
    k->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names us = {"evdev", "pc105", "us", "", ""};
    if (k->context) k->keymap = xkb_keymap_new_from_names(k->context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (k->keymap) k->state = xkb_state_new(k->keymap);
    if (k->seat && k->keyboards && k->pointers && k->state) {
      k->keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(k->keyboards, k->seat);
      k->pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(k->pointers, k->seat);
      // Once answered, the seat has both, and the keyboard its keymap.
      ready = UploadKeymap(k) && wl_display_roundtrip(k->display) >= 0;
    }
  }
  if (!ready) {
    DisconnectInput(k);
    return nullptr;
  }
  return k;
}

void DisconnectInput(WaylandInput* k) {
  if (!k) return;
  if (k->keyboard) zwp_virtual_keyboard_v1_destroy(k->keyboard);
  if (k->keyboards) zwp_virtual_keyboard_manager_v1_destroy(k->keyboards);
  if (k->pointer) zwlr_virtual_pointer_v1_destroy(k->pointer);
  if (k->pointers) zwlr_virtual_pointer_manager_v1_destroy(k->pointers);
  if (k->seat) wl_seat_destroy(k->seat);
  if (k->display) wl_display_disconnect(k->display);
  if (k->state) xkb_state_unref(k->state);
  if (k->keymap) xkb_keymap_unref(k->keymap);
  if (k->context) xkb_context_unref(k->context);
  delete k;
}

bool PressKey(WaylandInput* k, const std::string& key, bool down) {
  const xkb_keysym_t keysym = xkb_keysym_from_name(key.c_str(), XKB_KEYSYM_NO_FLAGS);
  const xkb_keycode_t code = keysym == XKB_KEY_NoSymbol ? 0 : KeyOf(k->keymap, keysym);
  if (code == 0) return false;
  // The compositor passes the modifiers of a virtual keyboard on as they are sent,
  // not as its keys would change them.
  xkb_state_update_key(k->state, code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  // XKB numbers keys from 8 on, the evdev codes of the protocol from 0.
  zwp_virtual_keyboard_v1_key(k->keyboard, ++k->time, code - 8,
                              down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  zwp_virtual_keyboard_v1_modifiers(k->keyboard, xkb_state_serialize_mods(k->state, XKB_STATE_MODS_DEPRESSED),
                                    xkb_state_serialize_mods(k->state, XKB_STATE_MODS_LATCHED),
                                    xkb_state_serialize_mods(k->state, XKB_STATE_MODS_LOCKED),
                                    xkb_state_serialize_layout(k->state, XKB_STATE_LAYOUT_EFFECTIVE));
  return wl_display_roundtrip(k->display) >= 0;
}

bool MovePointer(WaylandInput* k, int x, int y, int width, int height) {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  zwlr_virtual_pointer_v1_motion_absolute(k->pointer, ++k->time, std::uint32_t(x), std::uint32_t(y),
                                          std::uint32_t(width), std::uint32_t(height));
  zwlr_virtual_pointer_v1_frame(k->pointer);
  return wl_display_roundtrip(k->display) >= 0;
}

bool PressButton(WaylandInput* k, int button, bool down) {
  const std::uint32_t codes[] = {BTN_LEFT, BTN_MIDDLE, BTN_RIGHT};
  if (button < 1 || button > 3) return false;
  zwlr_virtual_pointer_v1_button(k->pointer, ++k->time, codes[button - 1],
                                 down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(k->pointer);
  return wl_display_roundtrip(k->display) >= 0;
}

}  // namespace e2e
