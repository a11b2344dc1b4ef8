// One whole frame of each interactive program through the real drawing path
// (ScreenTarget, BeginDrawing, 307,200 PutPixel, EndDrawing) on the in-memory display,
// next to baselines measured in the same run: the animated frame as a plain loop into
// a plain array, and moving as many bytes as a frame must read and write, in cache and
// out of it. Also the whole-pixel scaling that puts a frame on a 1920 x 1080 desktop.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/frame_traffic.h"
#include "core/frame.h"
#include "image/bmp_writer.h"
#include "image/pictures.h"
#include "platform/display_driver.h"
#include "platform/memory/memory_display.h"
#include "platform/shared/frame_scaling.h"
#include "screen/display.h"
#include "screen/drawing.h"
#include "screen/present.h"
#include "screen/screen_program.h"
#include "screen/screen_target.h"
#include "tunnel/tables.h"

namespace {

constexpr std::int32_t kWidth = 640, kHeight = 480, kTextureSize = 256;

struct {
  ProgramHeader header;
  std::int32_t textureSize;  // a variable, as in the programs
  Table2D texture, distance, angle, frameValues;
  Table2D bigDistance, bigAngle;
} g;

// The tables and an open 640 x 480 x 32 screen, once for every benchmark.
void Prepare() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  ProgramStart(g, kScreenProgram);
  g.textureSize = kTextureSize;
  DimTable(g.texture, kTextureSize, kTextureSize);
  DimTable(g.distance, kWidth, kHeight);
  DimTable(g.angle, kWidth, kHeight);
  DimTable(g.frameValues, kWidth, kHeight);
  DimTable(g.bigDistance, 2 * kWidth, 2 * kHeight);
  DimTable(g.bigAngle, 2 * kWidth, 2 * kHeight);
  BuildTunnelTables(g.texture, g.distance, g.angle, kTextureSize, kWidth, kHeight, kWidth / 2.0, kHeight / 2.0,
                    32.0, 0.5);
  BuildTunnelTables(g.texture, g.bigDistance, g.bigAngle, kTextureSize, 2 * kWidth, 2 * kHeight, kWidth * 1.0,
                    kHeight * 1.0, 32.0, 0.5);
  InitDisplay();
  OpenDisplay(kWidth, kHeight, 32, "Varnoxia Tutorial");
}

void BM_AnimatedFrame(benchmark::State& state) {
  Prepare();
  std::int32_t shift = 0;
  for (auto _ : state) {
    shift = (shift + 3) % 512;
    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < kWidth; ++x) {
      for (std::int32_t y = 0; y < kHeight; ++y) {
        std::int32_t u = TextureRemainder(g.distance[x][y] + shift, g.textureSize);
        std::int32_t v = TextureRemainder(g.angle[x][y] + shift, g.textureSize);
        g.frameValues[x][y] = g.texture[u][v];
        PutPixel(x, y, ComposeRGB(0, 0, g.frameValues[x][y]));
      }
    }
    EndDrawing();
    ReleaseBackBuffer();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_StaticFrame(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < kWidth; ++x) {
      for (std::int32_t y = 0; y < kHeight; ++y) {
        g.frameValues[x][y] = g.texture[g.distance[x][y]][g.angle[x][y]];
        PutPixel(x, y, ComposeRGB(0, 0, g.frameValues[x][y]));
      }
    }
    EndDrawing();
    ReleaseBackBuffer();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_LookaroundFrame(benchmark::State& state) {
  Prepare();
  double animation = 0.0;
  for (auto _ : state) {
    animation += 0.005;
    std::int32_t shift = TextureShift(kTextureSize, 2.0, animation);
    std::int32_t lookX = kWidth / 2 + TruncToInt((kWidth / 2.0) * std::sin(animation * 4.0));
    std::int32_t lookY = kHeight / 2 + TruncToInt((kHeight / 2.0) * std::sin(animation * 6.0));
    BeginDrawing(ScreenTarget());
    for (std::int32_t x = 0; x < kWidth; ++x) {
      for (std::int32_t y = 0; y < kHeight; ++y) {
        std::int32_t tx = x + lookX, ty = y + lookY;
        std::int32_t u = TextureRemainder(g.bigDistance[tx][ty] + shift, g.textureSize);
        std::int32_t v = TextureRemainder(g.bigAngle[tx][ty] + shift, g.textureSize);
        g.frameValues[x][y] = g.texture[u][v];
        PutPixel(x, y, ComposeRGB(0, 0, g.frameValues[x][y]));
      }
    }
    EndDrawing();
    ReleaseBackBuffer();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// The animated frame as a careful programmer writes it without the runtime: plain
// arrays of the screen's size (the same column order, x outermost), the shift and the
// sizes in locals, the texture value stored as the frame value and, as the 0x00RRGGBB
// word of ComposeRGB(0, 0, value), into an array laid out like the screen. The compiler
// sees every array and every local at once and keeps all of them in registers. Rows of
// kRowWords words: 640 (BM_PlainFrameLoop, the array a programmer declares) or the
// pitch the display gives the screen's surface (BM_PlainFrameLoopSurfacePitch).
template <std::size_t kRowWords>
void PlainFrameLoop(benchmark::State& state) {
  Prepare();
  static std::int32_t distance[kWidth][kHeight], angle[kWidth][kHeight], values[kWidth][kHeight];
  static std::int32_t texture[kTextureSize][kTextureSize];
  static std::uint32_t screen[kHeight][kRowWords];
  for (std::int32_t x = 0; x < kWidth; ++x)
    for (std::int32_t y = 0; y < kHeight; ++y) {
      distance[x][y] = g.distance[x][y];
      angle[x][y] = g.angle[x][y];
    }
  for (std::int32_t u = 0; u < kTextureSize; ++u)
    for (std::int32_t v = 0; v < kTextureSize; ++v) texture[u][v] = g.texture[u][v];
  std::int32_t shift = 0;
  for (auto _ : state) {
    shift = (shift + 3) % 512;
    for (std::int32_t x = 0; x < kWidth; ++x) {
      for (std::int32_t y = 0; y < kHeight; ++y) {
        const std::int32_t u = TextureRemainder(distance[x][y] + shift, kTextureSize);
        const std::int32_t v = TextureRemainder(angle[x][y] + shift, kTextureSize);
        values[x][y] = texture[u][v];
        const auto colour = static_cast<std::uint32_t>(ComposeRGB(0, 0, values[x][y]));
        screen[y][x] = ((colour & 0xFF) << 16) | (colour & 0xFF00) | (colour >> 16);
      }
    }
    benchmark::DoNotOptimize(screen);
    benchmark::DoNotOptimize(values);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_PlainFrameLoop(benchmark::State& state) { PlainFrameLoop<kWidth>(state); }
void BM_PlainFrameLoopSurfacePitch(benchmark::State& state) {
  PlainFrameLoop<platform::SurfacePitch(kWidth * 4) / 4>(state);
}

// What a frame must stream at the least: two tables read, one table and the screen
// written, 4 bytes each per pixel.
void BM_StreamLimit(benchmark::State& state) {
  constexpr std::size_t kBytes = std::size_t(kWidth) * kHeight * 4;
  std::vector<char> a(2 * kBytes, 1), b(2 * kBytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), 2 * kBytes);
    benchmark::DoNotOptimize(b.data());
  }
  state.SetBytesProcessed(state.iterations() * 4 * kBytes);
}

// The least a frame costs when its bytes come from memory and go back to it: the two
// tables read and the frame values and the screen written, 4 bytes each per pixel
// (4.9 MB), in row order, four pixels at a time, with stores that stream past the
// caches. Each pass takes the next of many copies of these buffers, together at least
// four times the last-level cache, so no pass finds its bytes in a cache and nothing
// but the passes is timed.
void BM_FrameTrafficLimit(benchmark::State& state) {
  constexpr std::size_t kPixels = std::size_t(kWidth) * kHeight;
  static const std::size_t cacheBytes = bench::LastLevelCacheBytes();
  static const bench::FrameTraffic traffic(
      kPixels, bench::TrafficSetCount(cacheBytes ? cacheBytes : bench::kUnknownCacheBytes, 4 * kPixels * 4, 4));
  if (!traffic.Buffer(0, 0)) {
    state.SkipWithError("no memory for the buffers");
    return;
  }
  static std::size_t set = 0;  // carried on across runs, so a run never starts on a recent set
  for (auto _ : state) {
    const auto* d = reinterpret_cast<const __m128i*>(traffic.Buffer(set, 0));
    const auto* a = reinterpret_cast<const __m128i*>(traffic.Buffer(set, 1));
    auto* v = reinterpret_cast<__m128i*>(traffic.Buffer(set, 2));
    auto* s = reinterpret_cast<__m128i*>(traffic.Buffer(set, 3));
    for (std::size_t i = 0; i < kPixels / 4; ++i) {
      const __m128i value = _mm_xor_si128(_mm_load_si128(d + i), _mm_load_si128(a + i));
      _mm_stream_si128(v + i, value);
      _mm_stream_si128(s + i, _mm_slli_epi32(value, 16));
    }
    _mm_sfence();
    if (++set == traffic.Sets()) set = 0;
  }
  state.SetBytesProcessed(state.iterations() * 4 * kPixels * 4);
  state.counters["cache_MB"] = double(cacheBytes) / (1 << 20);
  state.counters["buffers_MB"] = double(traffic.TotalBytes()) / (1 << 20);
}

// The frame on a 1920 x 1080 desktop: 640 x 480 doubled into the middle of the window's
// surface, as the real screen does it on the processor.
void BM_ScaleFrame(benchmark::State& state) {
  constexpr int kDesktopWidth = 1920, kDesktopHeight = 1080;
  std::vector<std::uint32_t> frame(std::size_t(kWidth) * kHeight, 0x00123456);
  std::vector<std::uint32_t> desktop(std::size_t(kDesktopWidth) * kDesktopHeight);
  const platform::Area at = platform::PicturePlace(kWidth, kHeight, kDesktopWidth, kDesktopHeight);
  auto* into = reinterpret_cast<std::uint8_t*>(desktop.data() + std::size_t(at.y) * kDesktopWidth + at.x);
  for (auto _ : state) {
    platform::ScaleByWholePixels(reinterpret_cast<const std::uint8_t*>(frame.data()), kWidth, kHeight,
                                 kWidth * 4, into, kDesktopWidth * 4, at.width / kWidth);
    benchmark::DoNotOptimize(desktop.data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(at.width) * at.height * 4);
}

// A 640 x 480 picture written as a BMP file into the working folder.
void BM_SavePictureBmp(benchmark::State& state) {
  static struct {
    ProgramHeader header;
  } pictures;
  ProgramStart(pictures, kImageProgram);
  CreatePicture(0, kWidth, kHeight);
  BeginDrawing(ImageTarget(0));
  for (std::int32_t x = 0; x < kWidth; ++x)
    for (std::int32_t y = 0; y < kHeight; ++y) PutPixel(x, y, ComposeRGB(x & 255, y & 255, (x ^ y) & 255));
  EndDrawing();
  for (auto _ : state) benchmark::DoNotOptimize(SavePictureBmp(0, "c:\\bench_picture.bmp"));
  std::remove("bench_picture.bmp");
}

BENCHMARK(BM_AnimatedFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StaticFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookaroundFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFrameLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFrameLoopSurfacePitch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameTrafficLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePictureBmp)->Unit(benchmark::kMillisecond);

}  // namespace
