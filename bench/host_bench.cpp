// The reference host's share of a motion import: keys added through the C
// calls exactly as an importer makes them (two Sg_AnimController calls and
// fresh token lookups per key), token lookups alone, and name uniquing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_import.h"
#include "varnex/host.h"
#include "varnex/importio.h"
#include "varnex/sg.h"

namespace {

void* const kEnd = nullptr;
void* const kOne = reinterpret_cast<void*>(intptr_t{1});

void AddKeyframe(void* channel, int32_t time, float value) {
  int64_t status = 0;
  uint64_t id = 0;
  Sg_AnimController(&status, Sg_Inquire_Token("ctrlrid"), channel, Sg_Inquire_Token("type"),
                    Sg_Inquire_Token("kfbezier"), kOne, Sg_Inquire_Token("keyframe"), &id, Sg_Inquire_Token("time"),
                    &time, Sg_Inquire_Token("add"), kOne, kEnd);
  if (id != 0)
    Sg_AnimController(&status, Sg_Inquire_Token("ctrlrid"), channel, Sg_Inquire_Token("keyframe"), &id,
                      Sg_Inquire_Token("kfid"), reinterpret_cast<void*>(static_cast<uintptr_t>(id)),
                      Sg_Inquire_Token("value"), &value, kOne, kEnd);
}

// Keys of a skeleton of 20 joints with nine channels each, in an importer's
// order: joint by joint, frame after frame, each joint's channels optimised
// when its keys are written; all inside an import bracket.
void BM_AddKeys(benchmark::State& state) {
  constexpr int kJoints = 20;
  const int64_t frames = state.range(0) / (kJoints * 9);
  static int64_t firstGrowth = -1;  // of the process's first import: later ones reuse its memory
  for (auto _ : state) {
    state.PauseTiming();
    vxhost::ResetHost();
    void* channels[kJoints][vxhost::kChannelTableSize];
    std::string names[kJoints];
    for (int j = 0; j < kJoints; ++j) {
      names[j] = "Joint" + std::to_string(j);
      Sg_Add_Empty_Node(Sg_Inquire_Token("instance"), names[j].c_str(), kEnd);
      Sg_AddDefaultAnimationChannels(Sg_Inquire_Token("instance"), names[j].c_str(), Sg_Inquire_Token("all"), kEnd);
      Import_IO_Get_DefaultAnimationChannelPtrs(names[j].c_str(), channels[j]);
    }
    Import_IO_Initialize("bench.bvh", [](ImportIoMessage*) {});
    const int64_t peakBefore = varnexbench::PeakResidentBytes();
    state.ResumeTiming();
    for (int j = 0; j < kJoints; ++j) {
      for (int32_t frame = 0; frame < frames; ++frame)
        for (int c = vxhost::kTranslateX; c <= vxhost::kRotateZ; ++c)
          AddKeyframe(channels[j][c], frame * 40, static_cast<float>(frame + c));
      Import_IO_OptimizeTransformationChannels(names[j].c_str());
    }
    state.PauseTiming();
    if (firstGrowth < 0) firstGrowth = varnexbench::PeakResidentBytes() - peakBefore;
    Import_IO_Cleanup();
    benchmark::DoNotOptimize(vxhost::KeyCount());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * frames * kJoints * 9);
  // The first iteration's growth of the peak resident set, over its keys.
  state.counters["peak_bytes/key"] = static_cast<double>(firstGrowth) / static_cast<double>(frames * kJoints * 9);
}
BENCHMARK(BM_AddKeys)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_InquireToken(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(Sg_Inquire_Token("keysareeulerangles"));
    benchmark::DoNotOptimize(Sg_Inquire_Token("ctrlrid"));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_InquireToken);

void BM_MakeNameUnique(benchmark::State& state) {
  char buffer[64];
  for (auto _ : state) {
    state.PauseTiming();
    vxhost::ResetHost();
    state.ResumeTiming();
    for (int i = 0; i < state.range(0); ++i) {
      Import_IO_MakeNameUnique(Sg_Inquire_Token("instance"), "End Site", buffer);
      Sg_Add_Empty_Node(Sg_Inquire_Token("instance"), buffer, kEnd);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MakeNameUnique)->Arg(5000);

}  // namespace

BENCHMARK_MAIN();
