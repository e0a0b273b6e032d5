// Imports a generated ASF skeleton with a 20+ MB AMC take through the plug-in's
// entry point into the reference host: MB/s of motion file, keys/s, and the
// peak memory growth of the first import per key written.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <varnex/host.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench_import.h"
#include "gen_acclaim.h"

namespace {

using varnexbench::ImportFile;
using varnexbench::PeakResidentBytes;

void BM_ImportGeneratedAcclaim(benchmark::State& state) {
  const varnexbench::AcclaimShape shape;
  const auto folder = std::filesystem::temp_directory_path() / ("varnex_acclaim_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const varnexbench::AcclaimFiles files = varnexbench::WriteBenchmarkAcclaim(folder, shape);

  // The benchmark runs this function more than once; only the process's first
  // import shows its peak as growth of the resident set.
  static int64_t peakGrowth = -1;
  vxhost::ResetHost();
  const int64_t peakBefore = PeakResidentBytes();
  size_t keys = 0;
  for (auto _ : state) {
    state.PauseTiming();
    vxhost::ResetHost();
    state.ResumeTiming();
    if (ImportFile(files.asf.string()) != 0) state.SkipWithError("import failed");
    if (peakGrowth < 0) peakGrowth = PeakResidentBytes() - peakBefore;
    keys = vxhost::KeyCount();
  }
  vxhost::ResetHost();
  std::filesystem::remove_all(folder);

  const auto bytes = static_cast<int64_t>(files.asfBytes + files.amcBytes);
  state.SetBytesProcessed(bytes * state.iterations());
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["keys"] = static_cast<double>(keys);
  // Keys requested from the host; it may merge or optimise some away.
  state.counters["keys_requested"] = static_cast<double>(files.expectedKeys);
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(keys) * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
  state.counters["peak_bytes/key"] =
      keys > 0 ? static_cast<double>(peakGrowth) / static_cast<double>(files.expectedKeys) : 0.0;
}

BENCHMARK(BM_ImportGeneratedAcclaim)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
