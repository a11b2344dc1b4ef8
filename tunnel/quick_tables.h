// The quick fills of the distance and angle tables: the same entries as the rules in
// tables.cpp, computed with symmetry copies and runs of equal entries instead of a
// square root and an arc tangent per pixel. They hold only for the values they were
// written for, which QuickFillsServe checks; BuildTunnelTables uses the rules for any
// other. Internal to the tunnel code and its tests.
#pragma once

#include <cstdint>

#include "core/table.h"

// True when the quick fills give exactly the rules' entries: texture size 256, the
// centre in the middle of a table of at least one pixel, angleScale 0.5 and ratio not
// negative.
bool QuickFillsServe(std::int32_t textureSize, std::int32_t width, std::int32_t height, double cx, double cy,
                     double ratio, double angleScale);

// The distance and the angle entries of x in 0..width-1, y in 0..height-1, for the
// values QuickFillsServe accepts (the angle's angleScale is 0.5).
void QuickFillDistance(Table2D& distance, std::int32_t width, std::int32_t height, double cx, double cy,
                       double ratio);
void QuickFillAngle(Table2D& angle, std::int32_t width, std::int32_t height, double cx, double cy);
