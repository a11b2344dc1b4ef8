// angle_dump: draws the angle table of a 640 x 480 screen, entry by entry as it is
// computed, as a grey picture and writes it to "c:\Varnoxia_Angle.bmp". No window,
// no input; one line and exit code 1 if the file cannot be written.
#include <cstdint>

#include "core/frame.h"
#include "image/bmp_writer.h"
#include "image/pictures.h"
#include "screen/drawing.h"
#include "tunnel/settings.h"
#include "tunnel/tables.h"

namespace {

struct {
  ProgramHeader header;
  std::int32_t textureSize;
  std::int32_t screenWidth;
  std::int32_t screenHeight;
  double angleScale;
  std::int32_t x;
  std::int32_t y;
  std::int32_t value;
} g;

}  // namespace

int main() {
  ProgramStart(g, kImageProgram);

  g.textureSize = kTextureSize;
  g.screenWidth = 640;
  g.screenHeight = 480;
  CreatePicture(0, g.screenWidth, g.screenHeight);
  BeginDrawing(ImageTarget(0));
  g.angleScale = kAngleScale;
  for (g.x = 0; g.x < g.screenWidth; ++g.x) {
    for (g.y = 0; g.y < g.screenHeight; ++g.y) {
      g.value = AngleValue(g.x - g.screenWidth / 2.0, g.y - g.screenHeight / 2.0, g.angleScale, g.textureSize);
      PutPixel(g.x, g.y, ComposeRGB(g.value, g.value, g.value));
    }
  }
  EndDrawing();
  StopUnlessSaved(SavePictureBmp(0, "c:\\Varnoxia_Angle.bmp"));

  ProgramEnd();
}
