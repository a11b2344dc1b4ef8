// The explorer's tunnel: tunnel_animated's tables and frames for settings a learner
// changes while it runs, and the chain of numbers that gives one pixel its colour.
// The entries come from the rules of tunnel/tables.h; what a change of one setting
// costs is kept within a display frame by rebuilding only what that setting changes.
// Built to WebAssembly for web/explorer.html (explorer_module.cpp).
#pragma once

#include <cstdint>
#include <vector>

namespace explorer {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kCycle = 200;  // tunnel_animated's frames before the animation starts over

// What the page lets a learner change; the defaults are the programs' values.
struct Settings {
  double ratio = 32.0;
  double angleScale = 0.5;
  double speedX = 2.0;
  double speedY = 2.0;
  std::int32_t textureSize = 256;  // a power of two
  int rule = 0;                    // an index into TextureRules()
  int colour = 0;                  // an index into Colours()
  int cx = 320, cy = 240;          // the centre, a pixel corner in 0..640 x 0..480
  int frame = 1;                   // 1..kCycle: the animation after that many steps
};

// A texture rule or a colour, with the line of C++ that computes it.
struct TextureRule {
  const char* name;
  const char* line;
  std::int32_t (*value)(std::int32_t u, std::int32_t v, std::int32_t textureSize);
};
struct Colour {
  const char* name;
  const char* line;
  std::int32_t (*of)(std::int32_t value);  // a colour value 0x00BBGGRR
};
const std::vector<TextureRule>& TextureRules();  // xor (the programs' TextureValue) first
const std::vector<Colour>& Colours();            // blue (the programs' colour) first

// The pictures a change made new, as bits.
enum Picture : unsigned { kFramePicture = 1, kTexturePicture = 2, kDistancePicture = 4, kAnglePicture = 8 };

// The tables, the frame and the pictures of the current settings. Pictures are rows of
// pixels in the canvas's byte order (R G B A), a word each.
struct Explorer {
  Settings settings;
  // The square root and the arc tangent of every offset from the centre a screen pixel
  // can have (-640..639 across, -480..479 down, the offset (dx, dy) at
  // (dy + 480) x 1280 + dx + 640): what the distance and angle rules compute before they
  // take the settings in, so a change of setting costs no square root and no arc tangent.
  std::vector<double> radius, turn;
  // Entry [u][v] at v x textureSize + u, rows of v as the texture picture shows them;
  // every value 0..255.
  std::vector<std::uint8_t> texture;
  std::vector<std::int32_t> distance, angle;  // [y x 640 + x]
  std::uint32_t palette[256];               // the canvas word of each texture value
  double animation;
  std::int32_t shiftX, shiftY;
  std::vector<std::uint32_t> frame, texturePicture, distancePicture, anglePicture;
  bool started = false;
};

// The side of the texture picture: the texture size up to 256. Above it every entry of
// a block of (textureSize / 256)² is the same, and the picture shows a block a pixel.
int TexturePictureSide(std::int32_t textureSize);

// Takes the settings (clamped to what the explorer can show) and rebuilds what they
// change; the first call builds everything. Returns the pictures that are new.
unsigned Apply(Explorer& e, Settings settings);

// The settings a page may ask for, brought into range.
Settings Clamped(Settings settings);

// tunnel_animated's animation after `frame` steps of 0.005, starting over at 1.0.
double AnimationOfFrame(int frame);

// How screen pixel (x, y) gets its colour in the current frame.
struct Chain {
  std::int32_t distance, angle, shiftX, shiftY, u, v, value, colour;
};
Chain Follow(const Explorer& e, int x, int y);

}  // namespace explorer
