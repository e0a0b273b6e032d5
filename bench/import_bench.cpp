// Imports a generated 20+ MB BVH file through the plug-in's entry point into
// the reference host: MB/s of file, keys written per second, and the peak
// memory growth of the first import per key written.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <varnex/host.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench_import.h"
#include "gen_bvh.h"

namespace {

using varnexbench::ImportFile;
using varnexbench::PeakResidentBytes;

void BM_ImportGeneratedBvh(benchmark::State& state) {
  const varnexbench::BvhShape shape;
  const auto folder = std::filesystem::temp_directory_path() / ("varnex_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "bench.bvh";
  const auto bytes = varnexbench::WriteBenchmarkBvh(path, shape);
  const auto expectedKeys = varnexbench::BenchmarkBvhKeys(shape);

  // The process peak only grows, so only the very first import shows its own.
  static int64_t peakGrowth = -1;
  vxhost::ResetHost();
  const int64_t peakBefore = PeakResidentBytes();
  size_t keys = 0;
  for (auto _ : state) {
    state.PauseTiming();
    vxhost::ResetHost();
    state.ResumeTiming();
    if (ImportFile(path.string()) != 0) state.SkipWithError("import failed");
    if (peakGrowth < 0) peakGrowth = PeakResidentBytes() - peakBefore;
    keys = vxhost::KeyCount();
  }
  vxhost::ResetHost();
  std::filesystem::remove_all(folder);

  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  // Keys written, that is keyframe requests; the host may keep fewer after optimising.
  const auto written = static_cast<double>(expectedKeys);
  state.counters["keys_written"] = written;
  state.counters["keys_kept"] = static_cast<double>(keys);
  state.counters["keys/s"] = benchmark::Counter(written * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
  state.counters["peak_bytes/key"] = static_cast<double>(peakGrowth) / written;
}

BENCHMARK(BM_ImportGeneratedBvh)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same file claiming no frames: the reader reads and converts every
// value, and no key is written. This is the plug-in's own share of the work.
void BM_ReadGeneratedBvh(benchmark::State& state) {
  varnexbench::BvhShape shape;
  shape.headerFrames = 0;
  const auto folder = std::filesystem::temp_directory_path() / ("varnex_bench_read_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "bench.bvh";
  const auto bytes = varnexbench::WriteBenchmarkBvh(path, shape);
  for (auto _ : state) {
    state.PauseTiming();
    vxhost::ResetHost();
    state.ResumeTiming();
    if (ImportFile(path.string()) != 0) state.SkipWithError("import failed");
  }
  vxhost::ResetHost();
  std::filesystem::remove_all(folder);
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

BENCHMARK(BM_ReadGeneratedBvh)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
