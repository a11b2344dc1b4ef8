// One whole frame of each interactive program through the real drawing path
// (ScreenTarget, BeginDrawing, 307,200 PutPixel, EndDrawing) on the in-memory display,
// next to baselines measured in the same run: the animated frame as a plain loop into
// a plain array, and moving as many bytes as a frame must read and write, in cache and
// out of it. Also the whole-pixel scaling that puts a frame on a 1920 x 1080 desktop.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/frame.h"
#include "image/bmp_writer.h"
#include "image/pictures.h"
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
  double ratio, angleScale;
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
                    g.ratio, g.angleScale);
  BuildTunnelTables(g.texture, g.bigDistance, g.bigAngle, kTextureSize, 2 * kWidth, 2 * kHeight, kWidth * 1.0,
                    kHeight * 1.0, g.ratio, g.angleScale);
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

// The animated frame with no runtime: the same reads and writes, pixels stored into a
// plain array laid out like the screen (0x00RRGGBB rows).
void BM_PlainFrameLoop(benchmark::State& state) {
  Prepare();
  std::vector<std::uint32_t> screen(kWidth * kHeight);
  std::int32_t shift = 0;
  for (auto _ : state) {
    shift = (shift + 3) % 512;
    for (std::int32_t x = 0; x < kWidth; ++x) {
      for (std::int32_t y = 0; y < kHeight; ++y) {
        std::int32_t u = TextureRemainder(g.distance[x][y] + shift, g.textureSize);
        std::int32_t v = TextureRemainder(g.angle[x][y] + shift, g.textureSize);
        g.frameValues[x][y] = g.texture[u][v];
        screen[y * kWidth + x] = static_cast<std::uint32_t>(g.frameValues[x][y]);
      }
    }
    benchmark::DoNotOptimize(screen.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
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

// Cache lines of 64 bytes, aligned, so whole lines can be flushed and streamed.
struct LineBuffer {
  explicit LineBuffer(std::size_t bytes)
      : bytes(bytes), data(static_cast<std::int32_t*>(std::aligned_alloc(64, bytes))) {
    std::memset(data, 1, bytes);
  }
  ~LineBuffer() { std::free(data); }
  void Flush() const {
    for (std::size_t at = 0; at < bytes; at += 64) _mm_clflush(reinterpret_cast<const char*>(data) + at);
  }
  std::size_t bytes;
  std::int32_t* data;
};

// The least a frame costs as it really runs, from cold caches: the two tables read and
// the frame values and the screen written, 4 bytes each per pixel (4.9 MB), moved in
// row order, four pixels at a time, with stores that stream past the caches. Before
// each pass every line of the four buffers is flushed out of all caches (clflush, not
// timed), so the reads come from memory whatever the size of the last-level cache.
void BM_FrameTrafficLimit(benchmark::State& state) {
  constexpr std::size_t kPixels = std::size_t(kWidth) * kHeight;
  const LineBuffer distance(kPixels * 4), angle(kPixels * 4), values(kPixels * 4), screen(kPixels * 4);
  for (auto _ : state) {
    state.PauseTiming();
    for (const LineBuffer* buffer : {&distance, &angle, &values, &screen}) buffer->Flush();
    _mm_mfence();
    state.ResumeTiming();
    const auto* d = reinterpret_cast<const __m128i*>(distance.data);
    const auto* a = reinterpret_cast<const __m128i*>(angle.data);
    auto* v = reinterpret_cast<__m128i*>(values.data);
    auto* s = reinterpret_cast<__m128i*>(screen.data);
    for (std::size_t i = 0; i < kPixels / 4; ++i) {
      const __m128i value = _mm_xor_si128(_mm_load_si128(d + i), _mm_load_si128(a + i));
      _mm_stream_si128(v + i, value);
      _mm_stream_si128(s + i, _mm_slli_epi32(value, 16));
    }
    _mm_sfence();
  }
  state.SetBytesProcessed(state.iterations() * 4 * kPixels * 4);
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
BENCHMARK(BM_StreamLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameTrafficLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePictureBmp)->Unit(benchmark::kMillisecond);

}  // namespace
