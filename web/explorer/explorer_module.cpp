// What web/explorer.js calls: plain C functions over one explorer. The page hands in
// the settings, then puts the pictures that came out new on its canvases straight from
// this module's memory, and asks for the chain of the pixel under the pointer.
#include <emscripten.h>

#include "platform/shared/frame_scaling.h"
#include "web/explorer/explorer.h"

namespace {

explorer::Explorer state;
explorer::Chain chain;
platform::Area place;

}  // namespace

extern "C" {

// Returns the pictures that are new (explorer::Picture bits).
EMSCRIPTEN_KEEPALIVE unsigned explorer_apply(double ratio, double angleScale, double speedX, double speedY,
                                             int textureSize, int rule, int colour, int cx, int cy, int frame) {
  return explorer::Apply(state, {ratio, angleScale, speedX, speedY, textureSize, rule, colour, cx, cy, frame});
}

// The pictures, a 32-bit word a pixel in the canvas's byte order.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* explorer_frame() { return state.frame.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* explorer_texture_picture() { return state.texturePicture.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* explorer_distance_picture() { return state.distancePicture.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* explorer_angle_picture() { return state.anglePicture.data(); }
EMSCRIPTEN_KEEPALIVE int explorer_texture_picture_side() {
  return explorer::TexturePictureSide(state.settings.textureSize);
}
EMSCRIPTEN_KEEPALIVE double explorer_animation() { return state.animation; }

// distance, angle, shiftX, shiftY, u, v, value, colour of screen pixel (x, y).
EMSCRIPTEN_KEEPALIVE const std::int32_t* explorer_follow(int x, int y) {
  chain = explorer::Follow(state, x, y);
  return &chain.distance;
}

// The tables' entries, for the page's read-out of a table picture.
EMSCRIPTEN_KEEPALIVE int explorer_texture_value(int u, int v) {
  return state.texture[std::size_t(v) * state.settings.textureSize + u];
}
EMSCRIPTEN_KEEPALIVE int explorer_distance(int x, int y) { return state.distance[std::size_t(y) * explorer::kWidth + x]; }
EMSCRIPTEN_KEEPALIVE int explorer_angle(int x, int y) { return state.angle[std::size_t(y) * explorer::kWidth + x]; }

// The texture rules and colours: their count, names and lines of C++.
EMSCRIPTEN_KEEPALIVE int explorer_rule_count() { return int(explorer::TextureRules().size()); }
EMSCRIPTEN_KEEPALIVE const char* explorer_rule_name(int i) { return explorer::TextureRules()[i].name; }
EMSCRIPTEN_KEEPALIVE const char* explorer_rule_line(int i) { return explorer::TextureRules()[i].line; }
EMSCRIPTEN_KEEPALIVE int explorer_colour_count() { return int(explorer::Colours().size()); }
EMSCRIPTEN_KEEPALIVE const char* explorer_colour_name(int i) { return explorer::Colours()[i].name; }
EMSCRIPTEN_KEEPALIVE const char* explorer_colour_line(int i) { return explorer::Colours()[i].line; }

// Where the 640 x 480 frame goes in a box of the given device pixels, as the programs'
// pages place it: x, y, width, height.
EMSCRIPTEN_KEEPALIVE const int* explorer_place(int width, int height) {
  place = platform::PicturePlace(explorer::kWidth, explorer::kHeight, width, height);
  return &place.x;
}
}
