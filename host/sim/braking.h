// Braking distances on the train model itself: how far the train runs from
// one speed down to another with the brake held at one notch and no power, and
// from that, the speed-check steps no driver can meet.
#ifndef ATSHOST_SIM_BRAKING_H
#define ATSHOST_SIM_BRAKING_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/sim/route.h"
#include "host/sim/train_model.h"

namespace atshost {

struct BrakingRun {
  double distance = 0.0;  // m from where braking began; +infinity if never slow enough
  std::vector<std::pair<double, float>> curve;  // (location m, speed km/h), thinned
};

// The train running at `from_kmh` at `from_location` with its brake released
// puts the brake to `notch` (brake_notches + 1: emergency) and shuts off; how
// far it runs until it is down to `to_kmh`, over the gradients given.
BrakingRun BrakeDown(const ModelParams& model, const std::vector<Gradient>& gradients,
                     double from_location, double from_kmh, double to_kmh, int32_t notch);

// The authors' guide's braking table: on level track with the default train,
// the distance from each of 76, 68 and 48 km/h down to each lower one of 48,
// 28, 19 and 0 km/h, at service notch 4, at the last service notch and at
// emergency, in metres.
struct BrakingTableRow {
  double from_kmh = 0.0;
  double to_kmh = 0.0;
  double notch4 = 0.0;
  double full_service = 0.0;
  double emergency = 0.0;
};
std::vector<BrakingTableRow> BrakingTable(const ModelParams& model);

// Two speed checks in a row where a train passing the first at its limit
// cannot be down to the second's by the second with the last service notch.
struct LimitStep {
  double from_location = 0.0;
  float from_kmh = 0.0f;
  double to_location = 0.0;
  float to_kmh = 0.0f;
  double needed = 0.0;  // m of full service braking
  BrakingRun braking;   // from the first check, as far as it goes
  double available() const { return to_location - from_location; }
};

// Every such step of the route, in order of location.
std::vector<LimitStep> UnmeetableLimitSteps(const Route& route);

// The highest whole km/h from which full service braking gets the train down
// to the step's second limit within the distance there is: what the first
// check would have to be lowered to.
int32_t HighestMeetable(const Route& route, const LimitStep& step);

// "the 19 km/h check at 1 040.0 m cannot be met from the 68 km/h check at
// 1 000.0 m: 160 m of full service braking needed, 40 m available".
std::string LimitStepLine(const LimitStep& step);

}  // namespace atshost

#endif  // ATSHOST_SIM_BRAKING_H
