// Building the tables: the programs' build (the quick fills) against the straightforward
// build by the rules, one square root, one division and one arc tangent per element,
// and against only writing the tables' bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/frame.h"
#include "tunnel/tables.h"

namespace {

struct {
  ProgramHeader header;
  Table2D texture, distance, angle;
} g;

void Declare(std::int32_t w, std::int32_t h) {
  ProgramStart(g, kTableOnlyProgram);
  DimTable(g.texture, 256, 256);
  DimTable(g.distance, w, h);
  DimTable(g.angle, w, h);
}

void BuildTables(benchmark::State& state, std::int32_t w, std::int32_t h) {
  Declare(w, h);
  for (auto _ : state) {
    BuildTunnelTables(g.texture, g.distance, g.angle, 256, w, h, w / 2.0, h / 2.0, 32.0, 0.5);
    benchmark::DoNotOptimize(g.angle.data[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}

void BuildTablesByRule(benchmark::State& state, std::int32_t w, std::int32_t h) {
  Declare(w, h);
  for (auto _ : state) {
    BuildTunnelTablesByRule(g.texture, g.distance, g.angle, 256, w, h, w / 2.0, h / 2.0, 32.0, 0.5);
    benchmark::DoNotOptimize(g.angle.data[0]);
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}

// The least a build of the 1280 x 960 tables costs: their two blocks' bytes written as
// fast as the library writes memory, into the same tables the build fills.
void BM_TableWriteLimit(benchmark::State& state) {
  Declare(1280, 960);
  const std::size_t bytes = std::size_t(g.distance.stride) * 1281 * sizeof(std::int32_t);
  for (auto _ : state) {
    std::memset(g.distance.data, 0, bytes);
    std::memset(g.angle.data, 0, bytes);
    benchmark::DoNotOptimize(g.angle.data[0]);
  }
  state.SetBytesProcessed(state.iterations() * 2 * std::int64_t(bytes));
}

void BM_BuildTables640(benchmark::State& state) { BuildTables(state, 640, 480); }
void BM_BuildTables1280(benchmark::State& state) { BuildTables(state, 1280, 960); }
void BM_BuildTablesByRule640(benchmark::State& state) { BuildTablesByRule(state, 640, 480); }
void BM_BuildTablesByRule1280(benchmark::State& state) { BuildTablesByRule(state, 1280, 960); }

BENCHMARK(BM_BuildTables640)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTables1280)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTablesByRule640)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTablesByRule1280)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableWriteLimit)->Unit(benchmark::kMillisecond);

}  // namespace
