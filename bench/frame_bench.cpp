// Wall-clock cost of the calls a host makes most: a frame in the running and
// in the busy scene, a beacon and a key event. The instruction counts of
// scripts/frame-cost are the repeatable figure; these are for a feel of time.
#include <benchmark/benchmark.h>

#include "bench/scenes.h"

namespace vorlan::bench {
namespace {

template <typename S>
void BM_Elapse(benchmark::State& run) {
  S scene;
  for (auto _ : run) {
    ATS_HANDLES h = scene.Frame();
    benchmark::DoNotOptimize(h);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Elapse<Running>)->Name("Elapse/running");
BENCHMARK(BM_Elapse<Busy>)->Name("Elapse/busy");

// A signal beacon passed within its limit: the mode step, the speed check and
// the bell test all run, nothing trips.
void BM_Beacon(benchmark::State& run) {
  Running scene;
  ATS_BEACONDATA beacon{};
  beacon.Type = kBeaconSignal;
  beacon.Signal = 3;  // 68 km/h
  for (auto _ : run) {
    atsSetBeaconData(beacon);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Beacon)->Name("SetBeaconData/signal");

// The switch-on key pressed again while on: both trip tests run.
void BM_KeyDown(benchmark::State& run) {
  Running scene;
  atsSetReverser(0);
  atsSetPower(0);
  atsSetBrake(kEmergency);
  for (auto _ : run) {
    atsKeyDown(kKeySwitchOn);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_KeyDown)->Name("KeyDown/switch-on");

}  // namespace
}  // namespace vorlan::bench

BENCHMARK_MAIN();
