// tunnel_tables: computes the texture, distance and angle tables of a 640 x 480 screen
// exactly as the interactive programs do, and ends. No window, no file, no input.
#include <cstdint>

#include "core/frame.h"
#include "core/table.h"
#include "tunnel/settings.h"
#include "tunnel/tables.h"

namespace {

struct {
  ProgramHeader header;
  std::int32_t textureSize;
  std::int32_t screenWidth;
  std::int32_t screenHeight;
  Table2D texture;
  Table2D distance;
  Table2D angle;
  double ratio;
  double angleScale;
} g;

}  // namespace

int main() {
  ProgramStart(g, kTableOnlyProgram);

  g.textureSize = kTextureSize;
  g.screenWidth = 640;
  g.screenHeight = 480;

  DimTable(g.texture, g.textureSize, g.textureSize);
  DimTable(g.distance, g.screenWidth, g.screenHeight);
  DimTable(g.angle, g.screenWidth, g.screenHeight);
  StopUnlessDeclared({{"texture", &g.texture}, {"distance", &g.distance}, {"angle", &g.angle}});

  g.ratio = kRatio;
  g.angleScale = kAngleScale;
  BuildTunnelTables(g.texture, g.distance, g.angle, g.textureSize, g.screenWidth, g.screenHeight,
                    g.screenWidth / 2.0, g.screenHeight / 2.0, g.ratio, g.angleScale);

  ProgramEnd();
}
