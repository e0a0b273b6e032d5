// Reduction and optimisation of one long generated channel: a noisy
// random walk of mocap-like rotations at 120 frames per second.
#include <benchmark/benchmark.h>

#include <random>

#include "varnex/keyframes.h"

namespace {

std::vector<vxhost::Key> NoisyWalk(int64_t count) {
  std::mt19937 rng(3);
  std::normal_distribution<double> step(0.0, 0.002);
  std::vector<vxhost::Key> keys;
  double v = 0.0;
  for (int64_t f = 0; f < count; ++f) keys.push_back({int32_t(f * 40), float(v += step(rng))});
  return keys;
}

void BM_ReduceKeys(benchmark::State& state) {
  const auto original = NoisyWalk(state.range(0));
  size_t left = 0;
  for (auto _ : state) {
    auto keys = original;
    vxhost::ReduceKeys(keys, 0.01);
    left = keys.size();
    benchmark::DoNotOptimize(keys.data());
  }
  state.counters["keptPercent"] = 100.0 * double(left) / double(original.size());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReduceKeys)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_OptimizeKeys(benchmark::State& state) {
  auto original = NoisyWalk(state.range(0));
  for (size_t i = 0; i < original.size(); i += 3) original[i].value = 1.0f;
  for (auto _ : state) {
    auto keys = original;
    vxhost::OptimizeKeys(keys);
    benchmark::DoNotOptimize(keys.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OptimizeKeys)->Arg(100000)->Unit(benchmark::kMillisecond);

// The exporters' read: a stored channel sampled at every frame and between.
void BM_InterpolateStoredKeys(benchmark::State& state) {
  vxhost::KeyList keys;
  keys.Assign(NoisyWalk(state.range(0)));
  for (auto _ : state) {
    double sum = 0.0;
    for (int64_t t = 0; t < state.range(0) * 40; t += 20) sum += vxhost::InterpolateKeys(keys, double(t));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_InterpolateStoredKeys)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
