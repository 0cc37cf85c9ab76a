#include "host/sim/braking.h"

#include <limits>

#include "host/sim/format.h"
#include "host/sim/verdict.h"

namespace atshost {
namespace {

// Fine enough that the distance is good to a few centimetres.
constexpr double kStepS = 0.01;
// A brake that has not brought the train down by then never will.
constexpr double kGiveUpS = 600.0;
// The curve keeps a point every this many metres.
constexpr double kCurveStepM = 5.0;

std::string Check(float kmh, double location) {
  return (kmh <= 0.0f ? std::string("stop signal") : "the " + Shortest(kmh) + " km/h check") +
         " at " + Metres(location);
}

}  // namespace

BrakingRun BrakeDown(const ModelParams& model, const std::vector<Gradient>& gradients,
                     double from_location, double from_kmh, double to_kmh, int32_t notch) {
  TrainState start;
  start.location = from_location;
  start.speed = from_kmh;
  TrainModel train(model, gradients, start);
  const ATS_HANDLES hold{notch, 0, 1, 2};
  BrakingRun run;
  run.curve.emplace_back(from_location, static_cast<float>(from_kmh));
  double last = from_location;
  for (double t = 0.0; t < kGiveUpS; t += kStepS) {
    const TrainState& s = train.state();
    if (s.speed <= to_kmh || s.speed == 0.0) {
      run.distance = s.location - from_location;
      run.curve.emplace_back(s.location, static_cast<float>(s.speed));
      return run;
    }
    if (s.location - last >= kCurveStepM) {
      run.curve.emplace_back(s.location, static_cast<float>(s.speed));
      last = s.location;
    }
    train.Step(hold, kStepS);
  }
  run.distance = std::numeric_limits<double>::infinity();
  return run;
}

std::vector<BrakingTableRow> BrakingTable(const ModelParams& model) {
  constexpr double kFrom[] = {76.0, 68.0, 48.0};
  constexpr double kTo[] = {48.0, 28.0, 19.0, 0.0};
  constexpr int32_t kNotch4 = 4;
  std::vector<BrakingTableRow> rows;
  for (double from : kFrom) {
    for (double to : kTo) {
      if (to >= from) continue;
      auto distance = [&](int32_t notch) {
        return BrakeDown(model, {}, 0.0, from, to, notch).distance;
      };
      rows.push_back({from, to, distance(kNotch4), distance(model.brake_notches),
                      distance(model.brake_notches + 1)});
    }
  }
  return rows;
}

std::vector<LimitStep> UnmeetableLimitSteps(const Route& route) {
  std::vector<LimitStep> steps;
  const BeaconPlacement* previous = nullptr;
  float previous_limit = 0.0f;
  for (const BeaconPlacement& b : route.beacons) {
    const std::optional<float> limit = CheckedLimit(b.beacon);
    if (!limit) continue;
    if (previous != nullptr && previous_limit > 0.0f && *limit < previous_limit) {
      LimitStep step;
      step.from_location = previous->location;
      step.from_kmh = previous_limit;
      step.to_location = b.location;
      step.to_kmh = *limit;
      step.braking = BrakeDown(route.model, route.gradients, previous->location, previous_limit,
                               *limit, route.model.brake_notches);
      step.needed = step.braking.distance;
      if (step.needed > step.available()) steps.push_back(std::move(step));
    }
    previous = &b;
    previous_limit = *limit;
  }
  return steps;
}

int32_t HighestMeetable(const Route& route, const LimitStep& step) {
  int32_t kmh = static_cast<int32_t>(step.to_kmh);
  while (kmh + 1 < static_cast<int32_t>(step.from_kmh) &&
         BrakeDown(route.model, route.gradients, step.from_location, kmh + 1.0, step.to_kmh,
                   route.model.brake_notches)
                 .distance <= step.available()) {
    ++kmh;
  }
  return kmh;
}

std::string LimitStepLine(const LimitStep& s) {
  std::string needed = "full service braking cannot slow the train enough";
  if (s.needed < std::numeric_limits<double>::infinity()) {
    // Whole metres, rounded up: what is needed is never shown as less.
    double whole = static_cast<double>(static_cast<int64_t>(s.needed));
    if (whole < s.needed) whole += 1.0;
    needed = Grouped(whole, 0) + " m of full service braking needed";
  }
  std::string line = Check(s.to_kmh, s.to_location) + " cannot be met from " +
                     Check(s.from_kmh, s.from_location) + ": " + needed + ", " +
                     Grouped(s.available(), 0) + " m available";
  if (line.rfind("stop", 0) == 0) line = "the " + line;
  return line;
}

}  // namespace atshost
