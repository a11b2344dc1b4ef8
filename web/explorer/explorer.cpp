#include "web/explorer/explorer.h"

#include <algorithm>
#include <cmath>

#include "tunnel/tables.h"

namespace explorer {

namespace {

constexpr std::int32_t kTextureFactor = 256;  // as in TextureValue
constexpr double kPi = 3.141592653589793;     // as in AngleValue
constexpr double kAngleOffset = 256.0;
// The offsets from the centre that the caches hold: twice the screen each way.
constexpr int kSpanX = 2 * kWidth, kSpanY = 2 * kHeight;

// The shown line is the expression itself, so the two cannot part.
#define EXPLORER_RULE(name, expression) \
  {name, #expression, [](std::int32_t u, std::int32_t v, std::int32_t textureSize) -> std::int32_t { return expression; }}
#define EXPLORER_COLOUR(name, expression) \
  {name, #expression, [](std::int32_t value) -> std::int32_t { return expression; }}

}  // namespace

const std::vector<TextureRule>& TextureRules() {
  static const std::vector<TextureRule> rules = {
      // The programs' own rule, with its line as tunnel/tables.cpp writes it.
      {"xor", "(u * kTextureFactor / textureSize) ^ (v * kTextureFactor / textureSize)", TextureValue},
      EXPLORER_RULE("and", (u * kTextureFactor / textureSize) & (v * kTextureFactor / textureSize)),
      EXPLORER_RULE("or", (u * kTextureFactor / textureSize) | (v * kTextureFactor / textureSize)),
      EXPLORER_RULE("sum", (u * kTextureFactor / textureSize + v * kTextureFactor / textureSize) % 256),
      EXPLORER_RULE("checker", (u * 8 / textureSize + v * 8 / textureSize) % 2 * 255),
  };
  return rules;
}

const std::vector<Colour>& Colours() {
  static const std::vector<Colour> colours = {
      EXPLORER_COLOUR("blue", ComposeRGB(0, 0, value)),
      EXPLORER_COLOUR("grey", ComposeRGB(value, value, value)),
      EXPLORER_COLOUR("fire", ComposeRGB(value, value * value / 255, value * value / 255 * value / 255)),
      EXPLORER_COLOUR("orange", ComposeRGB(value, value / 2, 0)),
      EXPLORER_COLOUR("ice", ComposeRGB(value * value / 255, value, 128 + value / 2)),
  };
  return colours;
}

namespace {

// A colour value 0x00BBGGRR, whose bytes in memory are R G B 0, as the canvas's opaque word.
std::uint32_t CanvasWord(std::int32_t colour) { return static_cast<std::uint32_t>(colour) | 0xFF000000u; }

std::uint32_t Grey(std::int32_t level) { return CanvasWord(ComposeRGB(level, level, level)); }

void FillCaches(Explorer& e) {
  e.radius.resize(std::size_t(kSpanX) * kSpanY);
  e.turn.resize(e.radius.size());
  for (int y = 0; y < kSpanY; ++y) {
    for (int x = 0; x < kSpanX; ++x) {
      // As in the rules: +0.0 on the centre row and column, never -0.0.
      const double dx = x - double(kWidth), dy = y - double(kHeight);
      e.radius[std::size_t(y) * kSpanX + x] = std::sqrt(dx * dx + dy * dy);
      e.turn[std::size_t(y) * kSpanX + x] = std::atan2(dy, dx);
    }
  }
}

// The caches' entry of screen row y, column 0, for the centre of the settings.
std::size_t CacheRow(const Settings& s, int y) {
  return std::size_t(y - s.cy + kHeight) * kSpanX + std::size_t(kWidth - s.cx);
}

// Every rule reads u and v only through u x 256 / textureSize, so above 256 the texture
// is made of blocks of (textureSize / 256)² equal entries: each is computed once, and
// a row of blocks is copied down the block.
void FillTexture(Explorer& e) {
  const std::int32_t size = e.settings.textureSize;
  const auto rule = TextureRules()[e.settings.rule].value;
  const int block = size > kTextureFactor ? size / kTextureFactor : 1;
  e.texture.resize(std::size_t(size) * size);
  for (int v = 0; v < size; v += block) {
    std::uint8_t* row = &e.texture[std::size_t(v) * size];
    for (int u = 0; u < size; u += block) std::fill_n(row + u, block, static_cast<std::uint8_t>(rule(u, v, size)));
    for (int i = 1; i < block; ++i) std::copy_n(row, size, row + std::size_t(i) * size);
  }
}

// DistanceValue from its cached square root: n / r, truncated, remainder by the size,
// which is a power of two and k is not negative (the ratio is positive), so a mask.
void FillDistance(Explorer& e) {
  const Settings& s = e.settings;
  const double n = s.ratio * s.textureSize;
  const std::int32_t mask = s.textureSize - 1;
  for (int y = 0; y < kHeight; ++y) {
    const double* r = &e.radius[CacheRow(s, y)];
    std::int32_t* row = &e.distance[std::size_t(y) * kWidth];
    for (int x = 0; x < kWidth; ++x) {
      const double q = n / r[x];
      // At the centre q is infinite and the entry 0, as in the rule.
      row[x] = (q < 2147483648.0 ? static_cast<std::int32_t>(q) : 0) & mask;
    }
  }
}

// AngleValue from its cached arc tangent: the remainder by the size taken in doubles,
// as in the rule (explorer_tests compare the two); the angleScale is finite.
void FillAngle(Explorer& e) {
  const Settings& s = e.settings;
  const double f = s.angleScale * s.textureSize;
  for (int y = 0; y < kHeight; ++y) {
    const double* t = &e.turn[CacheRow(s, y)];
    std::int32_t* row = &e.angle[std::size_t(y) * kWidth];
    for (int x = 0; x < kWidth; ++x) {
      const double a = (f * t[x]) / kPi;
      row[x] = WrapIntoTexture(static_cast<std::int32_t>(std::fmod(kAngleOffset - a, s.textureSize)), s.textureSize);
    }
  }
}

void FillPalette(Explorer& e) {
  const auto of = Colours()[e.settings.colour].of;
  for (std::int32_t value = 0; value < 256; ++value) e.palette[value] = CanvasWord(of(value));
}

void Shift(Explorer& e) {
  const Settings& s = e.settings;
  e.animation = AnimationOfFrame(s.frame);
  e.shiftX = TextureShift(s.textureSize, s.speedX, e.animation);
  e.shiftY = TextureShift(s.textureSize, s.speedY, e.animation);
}

// tunnel_animated's loop over the pixels, in the canvas's row order. The size is a power
// of two, so TextureRemainder's mask also takes a negative sum (a negative speed) round.
void DrawFrame(Explorer& e) {
  const std::int32_t size = e.settings.textureSize;
  for (std::size_t i = 0; i < e.frame.size(); ++i) {
    const std::int32_t u = TextureRemainder(e.distance[i] + e.shiftX, size);
    const std::int32_t v = TextureRemainder(e.angle[i] + e.shiftY, size);
    e.frame[i] = e.palette[e.texture[std::size_t(v) * size + u]];
  }
}

// Drawn as texture_dump draws it: entry [u][v] at column u, row v, in the frame's
// colours; above 256 one pixel a block of equal entries.
void DrawTexturePicture(Explorer& e) {
  const std::int32_t size = e.settings.textureSize, side = TexturePictureSide(size), block = size / side;
  e.texturePicture.resize(std::size_t(side) * side);
  for (std::int32_t y = 0; y < side; ++y) {
    const std::uint8_t* row = &e.texture[std::size_t(y) * block * size];
    for (std::int32_t x = 0; x < side; ++x) e.texturePicture[std::size_t(y) * side + x] = e.palette[row[x * block]];
  }
}

// Grey, as distance_dump and angle_dump draw them; entries of a texture size other than
// 256 are scaled to grey levels 0..255 as the texture rule scales u.
void DrawGreyPicture(const std::vector<std::int32_t>& entries, std::int32_t size, std::vector<std::uint32_t>& picture) {
  std::vector<std::uint32_t> greys(size);  // the grey of each entry, one division each
  for (std::int32_t d = 0; d < size; ++d) greys[d] = Grey(d * kTextureFactor / size);
  for (std::size_t i = 0; i < entries.size(); ++i) picture[i] = greys[entries[i]];
}

void DrawDistancePicture(Explorer& e) { DrawGreyPicture(e.distance, e.settings.textureSize, e.distancePicture); }

void DrawAnglePicture(Explorer& e) { DrawGreyPicture(e.angle, e.settings.textureSize, e.anglePicture); }

bool IsPowerOfTwo(std::int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

int TexturePictureSide(std::int32_t textureSize) { return std::min(textureSize, kTextureFactor); }

Settings Clamped(Settings s) {
  const Settings programs;
  // Non-finite numbers take the programs' values; the ratio stays positive, so every
  // distance quotient is too.
  auto finite = [](double value, double otherwise, double low, double high) {
    return std::isfinite(value) ? std::clamp(value, low, high) : otherwise;
  };
  s.ratio = finite(s.ratio, programs.ratio, 0.5, 1024.0);
  s.angleScale = finite(s.angleScale, programs.angleScale, -64.0, 64.0);
  s.speedX = finite(s.speedX, programs.speedX, -1024.0, 1024.0);
  s.speedY = finite(s.speedY, programs.speedY, -1024.0, 1024.0);
  s.textureSize = std::clamp(s.textureSize, 64, 1024);
  if (!IsPowerOfTwo(s.textureSize)) s.textureSize = programs.textureSize;
  if (s.rule < 0 || s.rule >= int(TextureRules().size())) s.rule = programs.rule;
  if (s.colour < 0 || s.colour >= int(Colours().size())) s.colour = programs.colour;
  s.cx = std::clamp(s.cx, 0, kWidth);
  s.cy = std::clamp(s.cy, 0, kHeight);
  s.frame = std::clamp(s.frame, 1, kCycle);
  return s;
}

double AnimationOfFrame(int frame) {
  double animation = 0.0;
  for (int i = 0; i < frame; ++i) {
    animation = animation + 0.005;
    if (!(animation < 1.0)) animation = 0.0;
  }
  return animation;
}

unsigned Apply(Explorer& e, Settings settings) {
  const Settings s = Clamped(settings);
  const Settings old = e.settings;
  const bool all = !e.started;
  if (all) {
    FillCaches(e);
    e.distance.resize(std::size_t(kWidth) * kHeight);
    e.angle.resize(e.distance.size());
    e.frame.resize(e.distance.size());
    e.distancePicture.resize(e.distance.size());
    e.anglePicture.resize(e.distance.size());
    // Room for the largest texture at once: a change of size then asks for no memory.
    e.texture.reserve(std::size_t(1024) * 1024);
    e.started = true;
  }
  e.settings = s;
  // What each table depends on; nothing else is rebuilt.
  const bool size = all || s.textureSize != old.textureSize;
  const bool centre = all || s.cx != old.cx || s.cy != old.cy;
  const bool texture = size || s.rule != old.rule;
  const bool distance = size || centre || s.ratio != old.ratio;
  const bool angle = size || centre || s.angleScale != old.angleScale;
  const bool colours = all || s.colour != old.colour;
  unsigned changed = kFramePicture;
  if (texture) FillTexture(e);
  if (colours) FillPalette(e);
  if (texture || colours) {
    DrawTexturePicture(e);
    changed |= kTexturePicture;
  }
  if (distance) {
    FillDistance(e);
    DrawDistancePicture(e);
    changed |= kDistancePicture;
  }
  if (angle) {
    FillAngle(e);
    DrawAnglePicture(e);
    changed |= kAnglePicture;
  }
  Shift(e);
  DrawFrame(e);
  return changed;
}

Chain Follow(const Explorer& e, int x, int y) {
  const std::size_t i = std::size_t(y) * kWidth + x;
  const std::int32_t size = e.settings.textureSize;
  Chain c{};
  c.distance = e.distance[i];
  c.angle = e.angle[i];
  c.shiftX = e.shiftX;
  c.shiftY = e.shiftY;
  c.u = TextureRemainder(c.distance + c.shiftX, size);
  c.v = TextureRemainder(c.angle + c.shiftY, size);
  c.value = e.texture[std::size_t(c.v) * size + c.u];
  c.colour = Colours()[e.settings.colour].of(c.value);
  return c;
}

}  // namespace explorer
