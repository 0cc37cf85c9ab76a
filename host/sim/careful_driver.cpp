// The careful driver (limits=keep): he knows every speed check ahead and
// brakes for it in time on the lightest notch that does, cruises below the
// governor, brakes back to his speed on a fall, and stands before a stop
// signal until it clears, if it ever does.
#include <algorithm>
#include <limits>

#include "host/sim/cab.h"
#include "host/sim/driver.h"
#include "host/sim/format.h"

namespace atshost {

using namespace driving;

namespace {

// He cruises this much below where the governor brakes (kGovernorBrakesKmh),
// and brakes lightly should a falling grade take him past it.
constexpr double kBelowGovernorKmh = 4.0;
constexpr int32_t kOverspeedNotch = 2;
// Coasting, he powers again this far below the speed he wants.
constexpr double kCoastBandKmh = 5.0;
// The unit checks the speed it worked out over the frame before the one in
// which the beacon is passed, so the speed must be down that much earlier:
// he aims for it this many frames' running ahead of the beacon.
constexpr double kLeadFrames = 3.0;
// Braking for a limit begins when the approach notch would only just bring
// the speed this far below the target.
constexpr double kApproachMarginKmh = 0.5;
// He stands this far before a stop signal; standing closer than the other
// distance to it, he waits there.
constexpr double kSignalStandOffM = 10.0;
constexpr double kHeldWithinM = 3.0 * kSignalStandOffM;
// Braking begins when the notch would stop the train this close to the mark.
constexpr double kApproachMargin = 1.0;
// Beyond this share of the braking distance (with a few seconds' running) a
// limit needs no foresight yet.
constexpr double kReachFactor = 1.2;
constexpr double kReachSeconds = 2.0;
// Closer than this to where the speed must be down, he foresees at the
// plain step.
constexpr double kFineForesightM = 50.0;
// Metres beyond twice the level reach in which a fall still counts.
constexpr double kFallSlackM = 200.0;
// The speed hold takes over only above this; below it notch 1 is notch 1.
constexpr double kHoldFromKmh = 15.0;

}  // namespace

bool Driver::held_clears() const {
  return held_ && route_.beacons[limits_[held_limit_].beacon].clear_after_s.has_value();
}

// A signal that clears carries its new limit from the moment it clears; a
// driver held before it goes on.
void Driver::RefreshLimits(double t, std::vector<HostEvent>& out) {
  for (std::size_t i : clearing_) {
    LimitPoint& l = limits_[i];
    const BeaconPlacement& b = route_.beacons[l.beacon];
    const std::optional<float> now = CheckedLimit(b.SeenAfter(clocks_.StoodFor(l.beacon, t)));
    l.limit = now ? *now : 0.0f;
  }
  if (held_ && limits_[held_limit_].limit > 0.0f) {
    held_ = false;
    out.push_back(HostEvent::Note("the signal at " + Metres(held_signal_) + " has cleared"));
  }
}

// The speed the train would have on reaching `location` with the brake held
// at `notch` and no power, foreseen with the train's own model; 0 if it would
// stand before.
double Driver::SpeedAt(int32_t notch, int32_t reverser, double location) const {
  TrainModel probe = model_;
  const ATS_HANDLES hold{notch, 0, reverser, 2};
  // Close to the point, coarse steps would step past it.
  const double dt = location - probe.state().location < kFineForesightM
                        ? std::max(route_.frame_ms, kForesightStepMs) / kMsPerS
                        : ForesightStep();
  for (double t = 0.0; t < kForesightSeconds; t += dt) {
    const TrainState& p = probe.state();
    if (p.speed == 0.0) return 0.0;
    if (p.location >= location) return Abs(p.speed);
    probe.Step(hold, dt);
  }
  return Abs(probe.state().speed);
}

// Where the speed must be down for the limit at `point`.
double Driver::AimFor(const TrainState& s, double point) const {
  return point - Abs(s.speed) / kKmhPerMs * kLeadFrames * route_.frame_ms / kMsPerS;
}

// How far ahead a limit of `target` can need braking from this speed: the
// approach notch's braking distance, generously. Where the approach notch
// cannot hold the train on the fall ahead, he would brake harder, up to the
// last service notch: its distance counts.
double Driver::Reach(double speed, double target) const {
  const double slower = std::max(0.0, speed * speed - target * target);
  const double running = kReachSeconds * speed / kKmhPerMs;
  const double from = model_.state().location;
  double reach = std::numeric_limits<double>::infinity();
  for (int32_t notch : {ApproachNotch(), route_.model.brake_notches}) {
    const double decel = model_.BrakeDecel(model_.BrakeTarget(notch));
    // The steepest fall within twice the reach on the level takes its share
    // of the braking.
    const double level = kReachFactor * slower / (kDistanceFactor * decel) + running;
    const double net = decel - FallAhead(from, from + 2.0 * level + kFallSlackM);
    if (net > kLeastReachDecel) {
      reach = kReachFactor * slower / (kDistanceFactor * net) + running;
      break;
    }
  }
  return reach;
}

double Driver::TargetFor(const LimitPoint& l) const {
  return std::max(0.0, static_cast<double>(l.limit) - route_.driver.margin);
}

// The lightest service notch that brings the train down to every target
// within reach in time (0 if none needs braking yet); the first stop signal
// within reach is stood before. While braking for a limit he goes on until
// the speed is down, easing off as a lighter notch comes to suffice, as at
// stations.
int32_t Driver::LimitNotch(const TrainState& s, const HostState& h) {
  if (!driving_) return 0;
  const double v = Abs(s.speed);
  const double reach = Reach(v, 0.0);
  const int32_t full = route_.model.brake_notches;
  int32_t needed = 0;
  for (std::size_t i = next_limit_; i < limits_.size(); ++i) {
    const LimitPoint& l = limits_[i];
    const double target = TargetFor(l);
    // Limits are in order of location, so none beyond the reach of a stop
    // needs braking yet; one he has begun braking for stays in view however
    // slow the train.
    if (l.location - s.location > reach && braking_[i] == 0) break;
    if (l.location - s.location > Reach(v, target) && braking_[i] == 0) continue;
    if (l.limit <= 0.0f) {
      // A stop signal: stand before it, never pass it.
      const double mark = l.location - kSignalStandOffM;
      if (v == 0.0 && s.location <= l.location) return full;
      if (braking_[i] != 0 ||
          (looking_ && StandAt(BrakingNotch(l.location), h.reverser) > mark - kApproachMargin)) {
        braking_[i] = 1;
        needed = std::max(needed, LightestToStand(mark, h));
      }
      break;  // what lies beyond it is never reached
    }
    if (v <= target) continue;
    const double aim = AimFor(s, l.location);
    if (aim <= s.location) {
      // Too close for braking to change the speed the unit will check:
      // whatever brake is on stays on until the beacon is passed.
      if (braking_[i] != 0) needed = std::max(needed, h.brake);
      continue;
    }
    if (braking_[i] == 0 &&
        (!looking_ || SpeedAt(ApproachNotch(), h.reverser, aim) <= target - kApproachMarginKmh)) {
      continue;
    }
    braking_[i] = 1;
    if (!looking_ && h.brake > 0 && v > target + kFineBrakingKmh) {
      needed = std::max(needed, h.brake);  // held between looks
      continue;
    }
    int32_t notch = std::clamp(h.brake, 1, full);
    if (notch > 1 && SpeedAt(notch - 1, h.reverser, aim) <= target) {
      --notch;
    } else {
      while (notch < full && SpeedAt(notch, h.reverser, aim) > target) ++notch;
    }
    needed = std::max(needed, notch);
  }
  return needed;
}

// The speed he wants: his cruising speed below the governor, and no more than
// the target of a limit close enough to need braking for.
double Driver::WantedSpeed(const TrainState& s) const {
  double want = kGovernorBrakesKmh - kBelowGovernorKmh;
  const double v = Abs(s.speed);
  const double reach = Reach(v, 0.0);
  for (std::size_t i = next_limit_; i < limits_.size() && limits_[i].location - s.location <= reach;
       ++i) {
    const double target = TargetFor(limits_[i]);
    if (limits_[i].location - s.location <= Reach(v, target)) want = std::min(want, target);
  }
  return want;
}

void Driver::KeepLimits(double t, const TrainState& s, HostState& h, std::vector<HostEvent>& out) {
  const double v = Abs(s.speed);
  int32_t notch = LimitNotch(s, h);
  const double want = WantedSpeed(s);
  // Past his speed on a fall he brakes, from a light notch, one notch more
  // at each look while the train still gains and one less while it loses,
  // until it is back at his cruising speed.
  const double cruise = kGovernorBrakesKmh - kBelowGovernorKmh;
  if (v > cruise + kBelowGovernorKmh / 2.0) overspeeding_ = true;
  if (v <= cruise) overspeeding_ = false;
  if (notch == 0 && overspeeding_) {
    notch = std::clamp(h.brake, kOverspeedNotch, route_.model.brake_notches);
    if (looking_) {
      if (v > overspeed_from_ && notch < route_.model.brake_notches) ++notch;
      if (v < overspeed_from_ && notch > kOverspeedNotch) --notch;
      overspeed_from_ = v;
    }
  } else {
    overspeed_from_ = v;
  }
  if (next_limit_ < limits_.size() && limits_[next_limit_].limit <= 0.0f && v == 0.0 &&
      limits_[next_limit_].location - s.location <= kHeldWithinM) {
    // Standing before a stop signal: secure the train and wait.
    held_ = true;
    held_limit_ = next_limit_;
    held_since_ = t;
    held_signal_ = limits_[next_limit_].location;
    out.push_back(HostEvent::Note("standing before the stop signal at " + Metres(held_signal_)));
    Set(h, EventKind::kPower, 0, out);
    Set(h, EventKind::kBrake, route_.model.brake_notches, out);
    return;
  }
  if (notch > 0) {
    Set(h, EventKind::kPower, 0, out);
    Set(h, EventKind::kBrake, notch, out);
    return;
  }
  Set(h, EventKind::kBrake, 0, out);
  const int32_t full_power = route_.model.power_notches;
  if (v < want - kCoastBandKmh || (v < want && h.power == full_power)) {
    Set(h, EventKind::kPower, full_power, out);
  } else if (v >= want) {
    const bool hold = route_.driver.speed_hold && v > kHoldFromKmh;
    Set(h, EventKind::kPower, hold ? 1 : 0, out);
  }
}

}  // namespace atshost
