// A plain driver for counting instructions with callgrind (scripts/frame-cost):
//   frame_cost running|busy|beacon|key COUNT
// sets the scene up, then makes COUNT calls of the kind named. Counting only
// inside the entry point (callgrind --toggle-collect) and dividing by COUNT
// gives the instructions per call, the same on a busy machine as on an idle one.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/scenes.h"

namespace vorlan::bench {
namespace {

template <typename S>
int Frames(long count) {
  S scene;
  for (long i = 0; i < count; ++i) scene.Frame();
  return 0;
}

int Run(const char* what, long count) {
  if (std::strcmp(what, "running") == 0) return Frames<Running>(count);
  if (std::strcmp(what, "busy") == 0) return Frames<Busy>(count);
  if (std::strcmp(what, "beacon") == 0) {
    Running scene;
    ATS_BEACONDATA beacon{};
    beacon.Type = kBeaconSignal;
    beacon.Signal = 3;
    for (long i = 0; i < count; ++i) atsSetBeaconData(beacon);
    return 0;
  }
  if (std::strcmp(what, "key") == 0) {
    Running scene;
    atsSetReverser(0);
    atsSetPower(0);
    atsSetBrake(kEmergency);
    for (long i = 0; i < count; ++i) atsKeyDown(kKeySwitchOn);
    return 0;
  }
  std::fprintf(stderr, "usage: frame_cost running|busy|beacon|key COUNT\n");
  return 2;
}

}  // namespace
}  // namespace vorlan::bench

int main(int argc, char** argv) {
  if (argc != 3) return vorlan::bench::Run("", 0);
  return vorlan::bench::Run(argv[1], std::atol(argv[2]));
}
