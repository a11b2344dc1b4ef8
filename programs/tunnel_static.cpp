// tunnel_static: the tunnel without motion. Each pixel shows the texture entry
// addressed by its own distance and angle; the same picture is drawn and presented
// every frame until Escape, paced by waiting for the raster near the screen's bottom.
#include <cstdint>

#include "core/frame.h"
#include "core/table.h"
#include "platform/user32.h"
#include "screen/display.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_program.h"
#include "screen/screen_target.h"
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
  Table2D frameValues;
  double ratio;
  double angleScale;
} g;

}  // namespace

int main() {
  ProgramStart(g, kScreenProgram);

  g.textureSize = kTextureSize;
  g.screenWidth = 640;
  g.screenHeight = 480;

  DimTable(g.texture, g.textureSize, g.textureSize);
  DimTable(g.distance, g.screenWidth, g.screenHeight);
  DimTable(g.angle, g.screenWidth, g.screenHeight);
  DimTable(g.frameValues, g.screenWidth, g.screenHeight);
  StopUnlessDeclared({{"texture", &g.texture},
                      {"distance", &g.distance},
                      {"angle", &g.angle},
                      {"frameValues", &g.frameValues}});

  g.ratio = kRatio;
  g.angleScale = kAngleScale;
  BuildTunnelTables(g.texture, g.distance, g.angle, g.textureSize, g.screenWidth, g.screenHeight,
                    g.screenWidth / 2.0, g.screenHeight / 2.0, g.ratio, g.angleScale);

  InitDisplay();
  StopUnlessDisplayOpen(OpenDisplay(g.screenWidth, g.screenHeight, 32, "Varnoxia Tutorial"));

  do {
    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < g.screenWidth; ++x) {
      for (std::int32_t y = 0; y < g.screenHeight; ++y) {
        // Both rules give 0..textureSize-1 for any setting: no remainder.
        g.frameValues[x][y] = g.texture[g.distance[x][y]][g.angle[x][y]];
        PutPixel(x, y, TextureColour(g.frameValues[x][y]));
      }
    }
    EndDrawing();

    PresentFrame(2);  // waits for the raster in the last 150 lines, then flips at once
  } while (platform::GetAsyncKeyState(27) == 0);

  ProgramEnd();
}
