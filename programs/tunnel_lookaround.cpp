// tunnel_lookaround: the flying tunnel seen from a wandering viewpoint. The distance
// and angle tables cover twice the screen in each direction; every frame shows a
// screen-sized window of them whose corner swings on two sine waves, so the tunnel's
// mouth traces a Lissajous figure. The animation is never reset. Escape ends it.
#include <cmath>
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
  Table2D distance;  // twice the screen's width and height
  Table2D angle;
  Table2D frameValues;
  double ratio;
  double angleScale;
  double animation;  // grows by 0.005 a frame for the whole run
  double speedX;
  double speedY;
  std::int32_t shiftX;
  std::int32_t shiftY;
  std::int32_t lookX;  // top-left corner of the visible window inside the tables
  std::int32_t lookY;
} g;

}  // namespace

int main() {
  ProgramStart(g, kScreenProgram);

  g.textureSize = kTextureSize;
  g.screenWidth = 640;
  g.screenHeight = 480;

  DimTable(g.texture, g.textureSize, g.textureSize);
  DimTable(g.distance, 2 * g.screenWidth, 2 * g.screenHeight);
  DimTable(g.angle, 2 * g.screenWidth, 2 * g.screenHeight);
  DimTable(g.frameValues, g.screenWidth, g.screenHeight);
  StopUnlessDeclared({{"texture", &g.texture},
                      {"distance", &g.distance},
                      {"angle", &g.angle},
                      {"frameValues", &g.frameValues}});

  g.ratio = kRatio;
  g.angleScale = kAngleScale;
  // The centre of the big tables is the screen size itself: (640.0, 480.0).
  BuildTunnelTables(g.texture, g.distance, g.angle, g.textureSize, 2 * g.screenWidth, 2 * g.screenHeight,
                    2 * g.screenWidth / 2.0, 2 * g.screenHeight / 2.0, g.ratio, g.angleScale);

  InitDisplay();
  StopUnlessDisplayOpen(OpenDisplay(g.screenWidth, g.screenHeight, 32, "Varnoxia Tutorial"));

  g.speedX = kSpeedX;
  g.speedY = kSpeedY;

  do {
    g.animation = g.animation + 0.005;
    g.shiftX = TextureShift(g.textureSize, g.speedX, g.animation);
    g.shiftY = TextureShift(g.textureSize, g.speedY, g.animation);
    g.lookX = g.screenWidth / 2 + TruncToInt((g.screenWidth / 2.0) * std::sin(g.animation * 4.0));
    g.lookY = g.screenHeight / 2 + TruncToInt((g.screenHeight / 2.0) * std::sin(g.animation * 6.0));

    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < g.screenWidth; ++x) {
      for (std::int32_t y = 0; y < g.screenHeight; ++y) {
        std::int32_t tx = x + g.lookX;
        std::int32_t ty = y + g.lookY;
        std::int32_t u = TextureRemainder(g.distance[tx][ty] + g.shiftX, g.textureSize);
        std::int32_t v = TextureRemainder(g.angle[tx][ty] + g.shiftY, g.textureSize);
        g.frameValues[x][y] = g.texture[u][v];
        PutPixel(x, y, TextureColour(g.frameValues[x][y]));
      }
    }
    EndDrawing();

    PresentFrame(1);
  } while (platform::GetAsyncKeyState(27) == 0);

  ProgramEnd();
}
