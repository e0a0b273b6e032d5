// Exports of deep chains and wide skeletons: capturing the take from the host
// and building its glTF. One sweep grows the nodes at a fixed frame count,
// another the frames of a fixed skeleton; Google Benchmark fits each, and the
// walks are linear when both fit O(N) with a small RMS. BM_CompactRealTake
// times the compaction alone on a real take made as long as compare.sh's
// big.bvh, and reports the glb's size; BM_CompactRealFiles does so for every
// real take at once. BM_CaptureRealTake times the capture before it.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <varnex/host.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_import.h"
#include "export/compact_animation.h"
#include "scene/export_settings.h"
#include "gen_bvh.h"
#include "export/gltf_export.h"
#include "scene/take.h"

namespace {

// Imports a generated skeleton of chains × jointsPerChain joints; the take
// then stays in the host for every iteration.
bool ImportShape(const varnexbench::BvhShape& shape) {
  const auto folder = std::filesystem::temp_directory_path() / ("varnex_export_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "bench.bvh";
  varnexbench::WriteBenchmarkBvh(path, shape);
  vxhost::ResetHost();
  const bool imported = varnexbench::ImportFile(path.string()) == 0;
  std::filesystem::remove_all(folder);
  return imported;
}

void RunExport(benchmark::State& state, const varnexbench::BvhShape& shape, int64_t complexity) {
  if (!ImportShape(shape)) {
    state.SkipWithError("import failed");
    return;
  }
  const varnex::ExportSettings settings;
  size_t bytes = 0;
  for (auto _ : state) {
    const varnex::Take take = varnex::CaptureTake("bench", settings);
    bytes = varnex::EncodeGlb(varnex::BuildGltf({take}, "bench", settings)).size();
    benchmark::DoNotOptimize(bytes);
  }
  vxhost::ResetHost();
  state.SetComplexityN(complexity);
  state.counters["nodes"] = double(int64_t(shape.chains) * shape.jointsPerChain);
  state.counters["frames"] = double(shape.frames);
  state.counters["glb_MB"] = double(bytes) / 1e6;
}

// One chain of N joints (the deepest skeleton) at 16 frames.
void BM_ExportDeepChain(benchmark::State& state) {
  RunExport(state, {.chains = 1, .jointsPerChain = int(state.range(0)), .frames = 16}, state.range(0));
}

// N one-joint limbs under the root (the widest skeleton) at 16 frames.
void BM_ExportWideRoot(benchmark::State& state) {
  RunExport(state, {.chains = int(state.range(0)), .jointsPerChain = 1, .frames = 16}, state.range(0));
}

// A chain of 200 joints at N frames.
void BM_ExportFrames(benchmark::State& state) {
  RunExport(state, {.chains = 1, .jointsPerChain = 200, .frames = int(state.range(0))}, state.range(0));
}

// compare.sh's big.bvh: the motion of a real take repeated eight times.
bool ImportRepeatedRealTake(const std::filesystem::path& source, int copies) {
  std::ifstream in(source);
  if (!in) return false;
  std::string line, header, motion;
  long frames = 0;
  bool inMotion = false;
  while (std::getline(in, line)) {
    if (inMotion) motion += line + "\n";
    else if (line.rfind("Frames:", 0) == 0) frames = std::stol(line.substr(7));
    else if (line.rfind("Frame Time:", 0) == 0) header += "Frames: " + std::to_string(frames * copies) + "\n" + line + "\n", inMotion = true;
    else header += line + "\n";
  }
  const auto folder = std::filesystem::temp_directory_path() / ("varnex_compact_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "big.bvh";
  {
    std::ofstream out(path);
    out << header;
    for (int c = 0; c < copies; ++c) out << motion;
  }
  vxhost::ResetHost();
  const bool imported = varnexbench::ImportFile(path.string()) == 0;
  std::filesystem::remove_all(folder);
  return imported;
}

size_t KeysKept(const std::vector<varnex::CompactNode>& compact) {
  size_t keys = 0;
  for (const varnex::CompactNode& node : compact)
    for (const auto* track : {&node.translation, &node.rotation, &node.scale})
      if (*track) keys += (*track)->samples.size();
  return keys;
}

// big.bvh into the host, or the benchmark skipped where the real take is missing.
bool ImportBigRealTake(benchmark::State& state) {
  const std::filesystem::path source = std::filesystem::path(VARNEX_SHARED_MOCAP) / "bvh" / "cmu_cgspeed_01_03.bvh";
  if (ImportRepeatedRealTake(source, 8)) return true;
  state.SkipWithError(("no real take at " + source.string()).c_str());
  return false;
}

void BM_CompactRealTake(benchmark::State& state) {
  if (!ImportBigRealTake(state)) return;
  const varnex::ExportSettings settings;
  const varnex::Take take = varnex::CaptureTake("big", settings);
  size_t keys = 0;
  for (auto _ : state) {
    keys = KeysKept(varnex::CompactTake(take, false));
    benchmark::DoNotOptimize(keys);
  }
  state.counters["frames"] = double(take.ticks.size());
  state.counters["keys"] = double(keys);
  state.counters["glb_MB"] = double(varnex::EncodeGlb(varnex::BuildGltf({take}, "big", settings)).size()) / 1e6;
  vxhost::ResetHost();
}

// What an export adds before the compaction: the take captured from the
// host (every channel sampled at every sample time, turned into quaternions).
void BM_CaptureRealTake(benchmark::State& state) {
  if (!ImportBigRealTake(state)) return;
  const varnex::ExportSettings settings;
  size_t samples = 0;
  for (auto _ : state) {
    const varnex::Take take = varnex::CaptureTake("big", settings);
    samples = take.ticks.size();
    benchmark::DoNotOptimize(samples);
  }
  state.counters["frames"] = double(samples);
  vxhost::ResetHost();
}

// Every take of the mocap folder (each BVH file, each ASF with the AMC of
// its name), compacted in turn: what the compaction's tuned constants are
// checked on besides big.bvh.
void BM_CompactRealFiles(benchmark::State& state) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(VARNEX_SHARED_MOCAP, error)) {
    std::filesystem::path amc = entry.path();
    if (entry.path().extension() == ".bvh" ||
        (entry.path().extension() == ".asf" && std::filesystem::exists(amc.replace_extension(".amc"))))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  const varnex::ExportSettings settings;
  std::vector<varnex::Take> takes;
  for (const std::filesystem::path& file : files) {
    vxhost::ResetHost();
    if (varnexbench::ImportFile(file.string()) == 0) takes.push_back(varnex::CaptureTake(file.stem().string(), settings));
  }
  vxhost::ResetHost();
  if (takes.empty()) {
    state.SkipWithError("no real takes at " VARNEX_SHARED_MOCAP);
    return;
  }
  size_t keys = 0;
  for (auto _ : state) {
    keys = 0;
    for (const varnex::Take& take : takes) keys += KeysKept(varnex::CompactTake(take, false));
    benchmark::DoNotOptimize(keys);
  }
  size_t bytes = 0;
  for (const varnex::Take& take : takes) bytes += varnex::EncodeGlb(varnex::BuildGltf({take}, take.name, settings)).size();
  state.counters["takes"] = double(takes.size());
  state.counters["keys"] = double(keys);
  state.counters["glb_MB"] = double(bytes) / 1e6;
}

}  // namespace

BENCHMARK(BM_CompactRealTake)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactRealFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureRealTake)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportDeepChain)->RangeMultiplier(4)->Range(1000, 16000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportWideRoot)->RangeMultiplier(4)->Range(1000, 16000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportFrames)->RangeMultiplier(4)->Range(250, 4000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
