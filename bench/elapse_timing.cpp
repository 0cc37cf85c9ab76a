// Wall-clock time of Elapse in the running and busy scenes (bench/scenes.h),
// as a plain program that builds natively and for wasm32, so that
// scripts/web-bench runs both builds of the same frames side by side:
//   elapse_timing [FRAMES]
// prints, for each scene, the best of a few rounds in nanoseconds a frame.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/scenes.h"

namespace vorlan::bench {
namespace {

constexpr long kDefaultFrames = 1'000'000;
constexpr int kRounds = 5;  // the best round is the one least disturbed

volatile int32_t g_sink;  // keeps the frames' results

template <typename S>
double NanosecondsPerFrame(long frames) {
  double best = 0.0;
  for (int round = 0; round < kRounds; ++round) {
    S scene;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < frames; ++i) g_sink = scene.Frame().Brake;
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    const double each = took.count() / static_cast<double>(frames);
    if (round == 0 || each < best) best = each;
  }
  return best;
}

}  // namespace
}  // namespace vorlan::bench

int main(int argc, char** argv) {
  using namespace vorlan::bench;
  const long frames = argc > 1 ? std::atol(argv[1]) : kDefaultFrames;
  if (frames < 1) {
    std::fprintf(stderr, "usage: elapse_timing [FRAMES]\n");
    return 2;
  }
  std::printf("Elapse/running %.2f\n", NanosecondsPerFrame<Running>(frames));
  std::printf("Elapse/busy %.2f\n", NanosecondsPerFrame<Busy>(frames));
  return 0;
}
