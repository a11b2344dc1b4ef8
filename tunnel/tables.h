// The tunnel tables and the numeric rules every program follows.
//
// Each screen pixel gets two texture coordinates from where it lies relative to a
// centre: its distance (depth along the tunnel) and its angle (position around the
// wall). All arithmetic is on IEEE doubles, each operation rounded on its own, and
// conversions to integers truncate toward zero.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/table.h"

// Truncation toward zero into a 32-bit integer; the value must lie in its range.
std::int32_t TruncToInt(double value);

// (u x 256 / textureSize) XOR (v x 256 / textureSize): with 256 simply u XOR v.
std::int32_t TextureValue(std::int32_t u, std::int32_t v, std::int32_t textureSize);

// The distance and the angle rule give a texture coordinate, 0..textureSize-1, for any
// ratio and angleScale, so that every program may index the texture with it directly.

// A remainder by textureSize, of either sign, as that coordinate: -1 is the last entry.
inline std::int32_t WrapIntoTexture(std::int32_t remainder, std::int32_t textureSize) {
  return remainder < 0 ? remainder + textureSize : remainder;
}

// TruncToInt(ratio x textureSize / sqrt(dx² + dy²)) remainder textureSize; 0 at the
// centre, where the quotient is infinite. A negative ratio wraps from the top down.
std::int32_t DistanceValue(double dx, double dy, double ratio, std::int32_t textureSize);

// TruncToInt(256.0 - (angleScale x textureSize x atan2(dy, dx)) / pi) remainder
// textureSize (AND 255 for the texture size 256); a negative value wraps from the top down.
std::int32_t AngleValue(double dx, double dy, double angleScale, std::int32_t textureSize);

// Fills texture by TextureValue, and distance and angle for x in 0..width-1, y in
// 0..height-1 around (cx, cy) with ratio and angleScale: the quick fills where they
// hold, the rules everywhere else. The tables were declared (textureSize, textureSize),
// (width, height), (width, height).
void BuildTunnelTables(Table2D& texture, Table2D& distance, Table2D& angle, std::int32_t textureSize,
                       std::int32_t width, std::int32_t height, double cx, double cy, double ratio,
                       double angleScale);

// Every entry straight from its rule, whatever the values: what the quick fills are
// measured against.
void BuildTunnelTablesByRule(Table2D& texture, Table2D& distance, Table2D& angle, std::int32_t textureSize,
                             std::int32_t width, std::int32_t height, double cx, double cy, double ratio,
                             double angleScale);

// The texture shift of a frame: TruncToInt((textureSize x speed) x animation). A run
// long enough to take that past the 32-bit range (with room for a table value on top),
// or a negative speed, wraps it by a whole number of texture lengths into 0 and up,
// which shows the same picture.
std::int32_t TextureShift(std::int32_t textureSize, double speed, double animation);

// k remainder textureSize for k >= 0, as the frame loops take it for every pixel: a
// mask when the size is a power of two (256 in every program), a division otherwise.
inline std::int32_t TextureRemainder(std::int32_t k, std::int32_t textureSize) {
  return (textureSize & (textureSize - 1)) == 0 ? k & (textureSize - 1) : k % textureSize;
}

// Colour value 0x00BBGGRR: r + g x 256 + b x 65536, each channel kept to 0..255 first,
// so that a channel past 255 saturates instead of spilling into the next one.
// Inline: the frame loops call it for every pixel.
inline std::int32_t ComposeRGB(std::int32_t r, std::int32_t g, std::int32_t b) {
  return std::clamp(r, 0, 255) + std::clamp(g, 0, 255) * 256 + std::clamp(b, 0, 255) * 65536;
}
