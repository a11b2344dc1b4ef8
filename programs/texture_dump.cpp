// texture_dump: draws the texture, kTextureSize x kTextureSize (tunnel/settings.h),
// entry by entry, as a picture in the tunnel's colours and writes it to
// "c:\Varnoxia_Texture.bmp". No window, no input; one line and exit code 1 if the file
// cannot be written.
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
  std::int32_t x;
  std::int32_t y;
  std::int32_t value;
} g;

}  // namespace

int main() {
  ProgramStart(g, kImageProgram);

  g.textureSize = kTextureSize;
  CreatePicture(0, g.textureSize, g.textureSize);
  BeginDrawing(ImageTarget(0));
  for (g.y = 0; g.y < g.textureSize; ++g.y) {
    for (g.x = 0; g.x < g.textureSize; ++g.x) {
      g.value = TextureValue(g.x, g.y, g.textureSize);
      PutPixel(g.x, g.y, TextureColour(g.value));
    }
  }
  EndDrawing();
  StopUnlessSaved(SavePictureBmp(0, "c:\\Varnoxia_Texture.bmp"));

  ProgramEnd();
}
