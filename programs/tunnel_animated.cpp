// tunnel_animated: flies down the tunnel. Every frame adds the same growing shift to
// each pixel's distance and angle before it reads the texture, so the texture streams
// down the tube and turns around it; the cycle repeats every 200 frames. Escape ends it.
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
  Table2D frameValues;  // the texture value of each pixel in the latest frame
  double ratio;
  double angleScale;
  double animation;  // position in the cycle, 0.0 up to below 1.0
  double speedX;     // texture lengths the distance shift advances per cycle
  double speedY;     // the same for the angle shift
  std::int32_t shiftX;
  std::int32_t shiftY;
  std::int32_t u;
  std::int32_t v;
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

  g.speedX = kSpeedX;
  g.speedY = kSpeedY;

  do {
    g.animation = g.animation + 0.005;
    if (!(g.animation < 1.0)) g.animation = 0.0;
    g.shiftX = TextureShift(g.textureSize, g.speedX, g.animation);
    g.shiftY = TextureShift(g.textureSize, g.speedY, g.animation);

    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < g.screenWidth; ++x) {
      for (std::int32_t y = 0; y < g.screenHeight; ++y) {
        g.u = TextureRemainder(g.distance[x][y] + g.shiftX, g.textureSize);
        g.v = TextureRemainder(g.angle[x][y] + g.shiftY, g.textureSize);
        g.frameValues[x][y] = g.texture[g.u][g.v];
        PutPixel(x, y, TextureColour(g.frameValues[x][y]));
      }
    }
    EndDrawing();

    PresentFrame(1);  // flips at the display's vertical retrace
  } while (platform::GetAsyncKeyState(27) == 0);

  ProgramEnd();
}
