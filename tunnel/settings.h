// The values to change. Every program takes them from here: change one, rebuild and
// run any program (or all of them) to see it.
#pragma once

#include <cstdint>

#include "tunnel/tables.h"

// Edge of the square texture, 2 to 1024; its values stay 0..255 at any size.
constexpr std::int32_t kTextureSize = 256;

// Radius in pixels at which the depth is one texture length: 64 shows the tube twice as large.
constexpr double kRatio = 32.0;

// Half the times the texture wraps around the tube: 0.5 once, 1.0 twice, -0.5 once mirrored.
constexpr double kAngleScale = 0.5;

// Texture lengths the flight moves forward in one cycle of 200 frames: 0.0 stands still.
constexpr double kSpeedX = 2.0;

// Texture lengths the tube turns in one cycle: negative turns it the other way.
constexpr double kSpeedY = 2.0;

// The colour a texture value (0..255) is drawn in: ComposeRGB(red, green, blue), each
// channel kept to 0..255, so `value * 2` saturates instead of spilling into the next.
inline std::int32_t TextureColour(std::int32_t value) { return ComposeRGB(0, 0, value); }

// Values that give no tunnel stop the build here, with the reason.
static_assert(kTextureSize >= 2 && kTextureSize <= 1024, "kTextureSize must lie from 2 to 1024");
static_assert(kRatio > 0.0, "kRatio must be above 0: it is a radius, and 0 gives every pixel the same depth");
static_assert(kAngleScale > 0.0 || kAngleScale < 0.0, "kAngleScale must not be 0: every angle would be the same");
