#include "tunnel/quick_tables.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tunnel/tables.h"

// Loops whose results are exact in every vector width are built for each width of the
// x86 processors and chosen when the program loads (by the ELF loader's indirect
// functions: Linux, not Windows); elsewhere once, for the target.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__ELF__)
#define FOR_THE_WIDEST_VECTORS [[gnu::target_clones("avx512f", "avx2", "default")]]
#else
#define FOR_THE_WIDEST_VECTORS
#endif

namespace {

constexpr std::int32_t kQuickTextureSize = 256;
constexpr double kQuickAngleScale = 0.5;
constexpr int kSteps = 64;  // whole values of a per quarter turn: f / 2 with f = 0.5 x 256
constexpr double kPi = 3.141592653589793;

}  // namespace

bool QuickFillsServe(std::int32_t textureSize, std::int32_t width, std::int32_t height, double cx, double cy,
                     double ratio, double angleScale) {
  // The distance fill masks where the rule takes the remainder (the same only for
  // k >= 0, so for a ratio that is not negative), and mirrors about the centre; the
  // angle fill's runs are those of angleScale x textureSize = 128. Both write row 0 of
  // every column they fill, so the table must have one.
  return textureSize == kQuickTextureSize && width > 0 && height > 0 && cx == width / 2.0 &&
         cy == height / 2.0 && ratio >= 0.0 && angleScale == kQuickAngleScale;
}

namespace {

// The distance rule for the texture size 256, written so that a column's loop runs
// on vector registers.
std::int32_t QuickDistance(double dx, double dy, double n) {
  double r = std::sqrt(dx * dx + dy * dy);
  // At the centre the quotient is infinite and the entry 0; taking 0 for the quotient
  // there keeps infinity away from the conversion. k is never negative, so the
  // remainder by 256 is a mask.
  double q = n / r;
  q = q < 2147483648.0 ? q : 0.0;
  return TruncToInt(q) & (kQuickTextureSize - 1);
}

// Rows from..end-1 of one distance column. Square roots and divisions are exact in
// every vector width, so the loop is built for the widest vectors the processor has
// and chosen when the program loads.
FOR_THE_WIDEST_VECTORS void FillDistanceRows(std::int32_t* column, std::int32_t from, std::int32_t end,
                                             double dx, double cy, double n) {
  for (std::int32_t y = from; y < end; ++y) column[y] = QuickDistance(dx, y - cy, n);
}

}  // namespace

// The distance rule depends only on dx² + dy², so every column is symmetric about the
// centre row and every column has a twin mirrored about the centre column: pixel x
// mirrors onto width - x, row y onto height - y (the centre is width / 2.0, height / 2.0).
// Only the lower half of the right half is computed; the rest are copies.
void QuickFillDistance(Table2D& distance, std::int32_t width, std::int32_t height, double cx, double cy,
                       double ratio) {
  double n = ratio * kQuickTextureSize;
  for (std::int32_t x = 0; x < width; ++x) {
    std::int32_t* column = distance[x];
    std::int32_t twin = width - x;
    if (x > 0 && twin > x) continue;  // filled below, once its twin on the right is done
    double dx = x - cx;
    std::int32_t firstLower = (height + 1) / 2;  // first row with y >= height - y
    FillDistanceRows(column, firstLower, height, dx, cy, n);
    column[0] = QuickDistance(dx, -cy, n);
    // Rows 1 .. firstLower - 1 mirror rows height - 1 down to height - firstLower + 1.
    std::reverse_copy(column + height - firstLower + 1, column + height, column + 1);
    if (x > 0) std::copy(column, column + height, distance[twin]);
  }
}

namespace {

// The first row from `from` on, and at most `height`, whose offset from the centre row
// is beyond `limit`; the comparison is the exact one of the walk down the column.
std::int32_t FirstRowBeyond(double limit, std::int32_t from, std::int32_t height, double cy) {
  const double guess = std::floor(cy + limit) + 1.0;
  std::int32_t row = guess < from ? from : guess > height ? height : static_cast<std::int32_t>(guess);
  while (row > from && row - 1 - cy > limit) --row;
  while (row < height && !(row - cy > limit)) ++row;
  return row;
}

// The four entries of each lower row y of a column pair, and of its mirror height - y,
// from ceil(a) of the row, with floor(a) = ceil(a) - 1. The mirrored rows come after
// the direct ones: on an even height the first lower row is the centre row itself,
// its own mirror. Built for the widest vectors the processor has, as the distances.
FOR_THE_WIDEST_VECTORS void FillAngleRows(const std::int32_t* ceilA, std::int32_t* right, std::int32_t* left,
                                          std::int32_t firstLower, std::int32_t height) {
  for (std::int32_t y = firstLower; y < height; ++y) {
    right[y] = (256 - ceilA[y]) & 255;
    left[y] = (128 + ceilA[y] - 1) & 255;
  }
  for (std::int32_t y = firstLower; y < height; ++y) {
    right[height - y] = (256 + ceilA[y] - 1) & 255;
    left[height - y] = (128 - ceilA[y]) & 255;
  }
}

}  // namespace

// The angle entry TruncToInt(256 - a) AND 255, with a = 128 t / pi, is
// (256 - ceil(a)) AND 255: truncating 256 - a is the same as 256 minus a rounded up.
// Going down a column right of the centre, below the centre row, a rises steadily from
// 0 to below 64 and passes the whole number j where dy = dx x tan(j pi / 128). So
// ceil(a) is constant between those boundary offsets, and each run of rows between two
// of them is filled at once, instead of taking an arc tangent per pixel.
//
// Only the lower half of the right half is walked. The mirrored pixels follow from
// ceil(a), with floor(a) = ceil(a) - 1 except where a is whole:
//   (-dx, dy): t' = pi - t,  entry (128 + floor(a)) AND 255
//   (dx, -dy): t' = -t,      entry (256 + floor(a)) AND 255
//   (-dx, -dy): t' = t - pi, entry (128 - ceil(a)) AND 255
// The top row, which has no mirror below, is computed by the rule.
//
// The boundaries are exact where a is whole for a pixel: on the centre row (tan 0 = 0)
// and the diagonals (tan(pi/4) = 1). Elsewhere no pixel's a lies near a whole number,
// so boundaries a few units in the last place off give the same entries.
void QuickFillAngle(Table2D& angle, std::int32_t width, std::int32_t height, double cx, double cy) {
  double slope[kSteps];  // slope[j] = tan(j pi / 128)
  for (int j = 0; j < kSteps; ++j) slope[j] = std::tan(j * kPi / (2 * kSteps));
  slope[0] = 0.0;
  slope[kSteps / 2] = 1.0;

  double bound[kSteps];
  const std::int32_t firstLower = (height + 1) / 2;  // first row with y >= height - y
  std::vector<std::int32_t> ceilA(height);             // per lower row of a column
  for (std::int32_t x = 0; x < width; ++x) {
    double dx = x - cx;
    std::int32_t twin = width - x;  // the column at -dx
    if (dx <= 0.0) {
      // The centre column, and column 0 whose twin would lie outside the table, by the rule.
      if (dx == 0.0 || x == 0)
        for (std::int32_t y = 0; y < height; ++y)
          angle[x][y] = AngleValue(dx, y - cy, kQuickAngleScale, kQuickTextureSize);
      continue;
    }
    for (int j = 0; j < kSteps; ++j) bound[j] = dx * slope[j];
    std::int32_t* right = angle[x];
    std::int32_t* left = angle[twin];
    right[0] = AngleValue(dx, -cy, kQuickAngleScale, kQuickTextureSize);
    left[0] = AngleValue(-dx, -cy, kQuickAngleScale, kQuickTextureSize);
    // ceil(a) is j on the run of rows with bound[j - 1] < dy <= bound[j]: one fill a
    // run, then the four entries of every row from it.
    std::int32_t y = firstLower;
    for (int j = 0; j <= kSteps && y < height; ++j) {
      const std::int32_t end = j < kSteps ? FirstRowBeyond(bound[j], y, height, cy) : height;
      std::fill(ceilA.begin() + y, ceilA.begin() + end, j);
      y = end;
    }
    FillAngleRows(ceilA.data(), right, left, firstLower, height);
    // Where a is whole (the centre row, dy = 0, and the diagonal, dy = dx), floor(a) is
    // ceil(a) itself.
    for (double dy : {0.0, dx}) {
      const double row = cy + dy;
      if (row != std::floor(row) || row < firstLower || row >= height) continue;
      const auto at = static_cast<std::int32_t>(row);
      left[at] = (128 + ceilA[at]) & 255;
      right[height - at] = (256 + ceilA[at]) & 255;
    }
  }
}
