#include "host/sim/drive.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "host/sim/cab.h"
#include "host/sim/format.h"
#include "host/sim/route_ahead.h"

namespace atshost {
namespace {

constexpr double kKmhPerMs = 3.6;
constexpr double kMsPerS = 1000.0;
// v^2 / (2 a) with v in km/h and a in km/h per second gives metres when
// divided by 7.2 (2 x 3.6).
constexpr double kDistanceFactor = 7.2;
// The driver looks this far ahead when foreseeing where a brake notch would
// stop the train; a notch that has not stopped it by then never will.
constexpr double kForesightSeconds = 180.0;
// The foresight steps no finer than this: finer frames would cost the driver
// thousands of steps a frame near a station for no better stop.
constexpr int32_t kForesightStepMs = 20;
// A careful driver foresees in coarser steps: he foresees at every frame on
// every approach, and the stand he foresees needs only to come closer to the
// mark as the train slows, which it does at any step.
constexpr int32_t kCarefulForesightStepMs = 100;
// A stand this far past the mark still counts as on it when picking a notch.
constexpr double kOvershootAllowed = 0.05;
// Braking begins when the approach notch would stop the train this close to
// the mark, so that the approach notch itself suffices.
constexpr double kApproachMargin = 1.0;
// The driver is content with a stand this close to the stop mark; the
// plug-in's stop window is kStopWindowM either side.
constexpr double kStopTolerance = 0.25;
// Stopped further short than this, the driver creeps up to the mark.
constexpr double kCreepDistance = 1.0;
// A station more than this far behind the train has been missed.
constexpr double kMissedBy = 5.0;
// The doors open this long after the train comes to a stand.
constexpr double kDoorDelaySeconds = 1.0;
// After the last station's dwell, the run goes on this long before it ends.
constexpr double kAfterLastStopSeconds = 2.0;

// The careful driver. He cruises this much below where the governor brakes
// (kGovernorBrakesKmh), and brakes lightly should a falling grade take him
// past it.
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
// Beyond this share of the braking distance (with a few seconds' running) a
// limit needs no foresight yet.
constexpr double kReachFactor = 1.2;
constexpr double kReachSeconds = 2.0;
// Closer than this to where the speed must be down, he foresees at the
// plain step.
constexpr double kFineForesightM = 50.0;
// A careful driver looks ahead for where to begin braking this often, not
// at every frame: his margins take the few metres it may cost.
constexpr int32_t kCarefulLookMs = 100;
// Faster than this above where he is braking down to, he keeps his notch
// between looks; closer, he weighs it at every frame.
constexpr double kFineBrakingKmh = 10.0;
// Where the approach notch does less than this against the fall ahead,
// every limit ahead is in reach. km/h/s.
constexpr double kLeastReachDecel = 0.1;
// Metres beyond twice the level reach in which a fall still counts.
constexpr double kFallSlackM = 200.0;
// Gravity as km/h per second of acceleration per unit of slope.
constexpr double kGravityKmhPerS = 35.30394;
constexpr double kPermille = 1000.0;
// The speed hold takes over only above this; below it notch 1 is notch 1.
constexpr double kHoldFromKmh = 15.0;

double Abs(double v) { return v < 0.0 ? -v : v; }

std::string Metres(double m) { return Grouped(m, 1) + " m"; }

// A beacon the unit checks the speed at, and its limit.
struct LimitPoint {
  double location = 0.0;
  float limit = 0.0f;
};

class Driver {
 public:
  Driver(const Route& route, const TrainModel& model)
      : route_(route), model_(model), outcomes_(route.stations.size()) {
    for (std::size_t i = 0; i < route.actions.size(); ++i) {
      (route.actions[i].by_location ? by_location_ : by_time_).push_back(i);
    }
    if (route.driver.keep_limits) {
      for (const BeaconPlacement& b : route.beacons) {
        if (const auto limit = CheckedLimit(b.beacon)) limits_.push_back({b.location, *limit});
      }
      braking_.assign(limits_.size(), 0);
      sections_ = route.gradients;
      std::stable_sort(sections_.begin(), sections_.end(),
                       [](const Gradient& a, const Gradient& b) { return a.from < b.from; });
    }
    auto earlier = [&](std::size_t a, std::size_t b) {
      return route.actions[a].at < route.actions[b].at;
    };
    std::stable_sort(by_time_.begin(), by_time_.end(), earlier);
    std::stable_sort(by_location_.begin(), by_location_.end(), earlier);
  }

  // Everything the driver does before the frame at `t` seconds after the start.
  void Decide(double t, const TrainState& s, const HostState& host, int32_t time_ms,
              std::vector<HostEvent>& out) {
    // Each action is done once, when its time or location is first reached.
    // Both lists are in order of `at`, so what is due is at their fronts;
    // what falls due in the same frame is done in the order of the file.
    due_.clear();
    for (; next_time_ < by_time_.size() && t >= route_.actions[by_time_[next_time_]].at;
         ++next_time_) {
      due_.push_back(by_time_[next_time_]);
    }
    for (; next_location_ < by_location_.size() &&
           s.location >= route_.actions[by_location_[next_location_]].at;
         ++next_location_) {
      due_.push_back(by_location_[next_location_]);
    }
    std::sort(due_.begin(), due_.end());
    for (std::size_t i : due_) {
      const RouteAction& a = route_.actions[i];
      out.insert(out.end(), a.events.begin(), a.events.end());
    }
    HostState after = host;
    for (const HostEvent& e : out) Track(after, e);
    if (route_.driver.keep_limits) {
      // The route's own release of the brake with the reverser set hands
      // the handles to him.
      driving_ = driving_ || (after.reverser != 0 && after.brake == 0);
      while (next_limit_ < limits_.size() && limits_[next_limit_].location <= s.location) {
        ++next_limit_;
      }
    }
    if (held_) return;
    looking_ = !route_.driver.keep_limits || frames_ % LookEvery() == 0;
    ++frames_;
    Stations(t, s, after, time_ms, out);
    if (driving_ && phase_ == Phase::kRunning) KeepLimits(t, s, after, out);
  }

  // While a person drives: the actions that fall due are theirs to do, and
  // are passed over, so that the driver does not do them all at once when it
  // takes the train again.
  void PassOver(double t, const TrainState& s) {
    while (next_time_ < by_time_.size() && t >= route_.actions[by_time_[next_time_]].at) {
      ++next_time_;
    }
    while (next_location_ < by_location_.size() &&
           s.location >= route_.actions[by_location_[next_location_]].at) {
      ++next_location_;
    }
  }

  // Taking the train from a person: whatever stop the driver was making is
  // begun again from where the train is.
  void TakeOver() { phase_ = Phase::kRunning; }

  bool finished_stations() const { return next_ >= route_.stations.size(); }
  bool actions_pending() const { return next_time_ < by_time_.size(); }
  // A careful driver standing before a stop signal, from when, and where it is.
  bool held() const { return held_; }
  double held_since() const { return held_since_; }
  double held_signal() const { return held_signal_; }
  std::vector<StationReport> stations() const {
    std::vector<StationReport> out;
    for (std::size_t i = 0; i < route_.stations.size(); ++i) {
      StationReport r = outcomes_[i];
      r.location = route_.stations[i].location;
      out.push_back(r);
    }
    return out;
  }
  double last_departure() const { return last_departure_; }
  const std::vector<StopReport>& stops() const { return stops_; }

 private:
  enum class Phase { kRunning, kBraking, kCreeping, kStanding, kDoorsOpen, kDoorsClosed };

  static void Track(HostState& h, const HostEvent& e) {
    if (e.kind == EventKind::kPower) h.power = e.value;
    if (e.kind == EventKind::kBrake) h.brake = e.value;
    if (e.kind == EventKind::kReverser) h.reverser = e.value;
  }

  // Moves a handle only when it is not already there.
  static void Set(HostState& h, EventKind kind, int32_t value, std::vector<HostEvent>& out) {
    const int32_t now = kind == EventKind::kPower   ? h.power
                        : kind == EventKind::kBrake ? h.brake
                                                    : h.reverser;
    if (now == value) return;
    HostEvent e = HostEvent::Of(kind, value);
    Track(h, e);
    out.push_back(e);
  }

  // Where the train would come to a stand if the brake were held at `notch`
  // from now on, foreseen with the train's own model (the driver knows the
  // train); +infinity if it would not stop.
  double StandAt(int32_t notch, int32_t reverser) const {
    TrainModel probe = model_;
    const ATS_HANDLES hold{notch, 0, reverser, 2};
    const double dt = ForesightStep();
    for (double t = 0.0; t < kForesightSeconds; t += dt) {
      if (probe.state().speed == 0.0) return probe.state().location;
      probe.Step(hold, dt);
    }
    return std::numeric_limits<double>::infinity();
  }

  int64_t LookEvery() const { return std::max<int64_t>(1, kCarefulLookMs / route_.frame_ms); }

  double ForesightStep() const {
    const int32_t ms = route_.driver.keep_limits ? kCarefulForesightStepMs : kForesightStepMs;
    return std::max(route_.frame_ms, ms) / kMsPerS;
  }

  // Distance within which braking may have to start: what the weakest notch
  // needs, with two seconds of running to spare. A careful driver, who looks
  // at every limit too, takes his approach notch's reach.
  double Lookahead(double speed) const {
    if (route_.driver.keep_limits) return Reach(speed, 0.0);
    const ModelParams& p = model_.params();
    const double weakest = model_.BrakeDecel(p.bc_service / p.brake_notches);
    return speed * speed / (kDistanceFactor * weakest) + 2.0 * speed / kKmhPerMs;
  }

  void Stations(double t, const TrainState& s, HostState& h, int32_t time_ms,
                std::vector<HostEvent>& out) {
    if (next_ >= route_.stations.size()) return;
    const StationStop& st = route_.stations[next_];
    const double d = st.location - s.location;
    switch (phase_) {
      case Phase::kRunning:
        if (d < -kMissedBy) {
          out.push_back(HostEvent::Note("passed the station at " + Metres(st.location) +
                                        " without stopping"));
          outcomes_[next_].outcome = StationOutcome::kPassed;
          ++next_;
          return;
        }
        if (s.speed > 0.0 && looking_ && d < Lookahead(s.speed) &&
            StandAt(ApproachNotch(), h.reverser) > st.location - kApproachMargin) {
          depart_power_ = st.depart_power ? *st.depart_power : h.power;
          out.push_back(HostEvent::Note("braking for the station at " + Metres(st.location)));
          phase_ = Phase::kBraking;
          Brake(st, h, out);
        }
        return;
      case Phase::kBraking:
        if (s.speed == 0.0) {
          if (d > kCreepDistance) {
            out.push_back(HostEvent::Note("stopped " + Grouped(d, 2) + " m short; creeping up"));
            phase_ = Phase::kCreeping;
            Set(h, EventKind::kBrake, 0, out);
            Set(h, EventKind::kPower, 1, out);
            return;
          }
          Stand(t, s, st, h, time_ms, out);
          return;
        }
        Brake(st, h, out);
        return;
      case Phase::kCreeping:
        if (s.speed >= route_.driver.creep_speed ||
            (s.speed > 0.0 && StandAt(1, h.reverser) > st.location)) {
          phase_ = Phase::kBraking;
          Brake(st, h, out);
        }
        return;
      case Phase::kStanding:
        if (t - phase_start_ >= kDoorDelaySeconds) {
          out.push_back(HostEvent::Of(EventKind::kDoorOpen));
          phase_ = Phase::kDoorsOpen;
          phase_start_ = t;
        }
        return;
      case Phase::kDoorsOpen:
        if (t - phase_start_ >= st.open_s) {
          out.push_back(HostEvent::Of(EventKind::kDoorClose));
          phase_ = Phase::kDoorsClosed;
          phase_start_ = t;
        }
        return;
      case Phase::kDoorsClosed:
        if (t - phase_start_ >= st.closed_s) {
          out.push_back(HostEvent::Note("departing"));
          Set(h, EventKind::kReverser, reverser_ != 0 ? reverser_ : 1, out);
          Set(h, EventKind::kBrake, 0, out);
          Set(h, EventKind::kPower, depart_power_, out);
          phase_ = Phase::kRunning;
          last_departure_ = t;
          ++next_;
        }
        return;
    }
  }

  int32_t ApproachNotch() const {
    return std::clamp(route_.driver.approach_notch, 1, route_.model.brake_notches);
  }

  // Holds the lightest service notch that still stops the train by the mark.
  // As the train slows, a lighter notch comes to suffice and the driver eases
  // off, so the stand comes ever closer to the mark and the notch never
  // hunts up and down.
  void Brake(const StationStop& st, HostState& h, std::vector<HostEvent>& out) {
    Set(h, EventKind::kPower, 0, out);
    // A careful driver, well above the creep, holds his notch between looks.
    if (!looking_ && h.brake > 0 && Abs(model_.state().speed) > kFineBrakingKmh) return;
    const int32_t notch = LightestToStand(st.location + kOvershootAllowed, h);
    // A careful driver also keeps the limits between him and the mark.
    Set(h, EventKind::kBrake, std::max(notch, LimitNotch(model_.state(), h)), out);
  }

  int32_t LightestToStand(double mark, const HostState& h) const {
    const int32_t full = route_.model.brake_notches;
    int32_t notch = std::clamp(h.brake, 1, full);
    if (notch > 1 && StandAt(notch - 1, h.reverser) <= mark) {
      --notch;
    } else {
      while (notch < full && StandAt(notch, h.reverser) > mark) ++notch;
    }
    return notch;
  }

  // The speed the train would have on reaching `location` with the brake
  // held at `notch` and no power, foreseen with the train's own model; 0 if
  // it would stand before.
  double SpeedAt(int32_t notch, int32_t reverser, double location) const {
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
  double AimFor(const TrainState& s, double point) const {
    return point - Abs(s.speed) / kKmhPerMs * kLeadFrames * route_.frame_ms / kMsPerS;
  }

  // How far ahead a limit of `target` can need braking from this speed: the
  // approach notch's braking distance, generously.
  double Reach(double speed, double target) const {
    const double notch = model_.BrakeDecel(model_.BrakeTarget(ApproachNotch()));
    const double slower = std::max(0.0, speed * speed - target * target);
    const double running = kReachSeconds * speed / kKmhPerMs;
    // The steepest fall within twice the reach on the level takes its share
    // of the braking.
    const double level = kReachFactor * slower / (kDistanceFactor * notch) + running;
    const double from = model_.state().location;
    const double decel = notch - FallAhead(from, from + 2.0 * level + kFallSlackM);
    if (decel <= kLeastReachDecel) return std::numeric_limits<double>::infinity();
    return kReachFactor * slower / (kDistanceFactor * decel) + running;
  }

  // The most a falling grade between the two locations adds, km/h/s.
  double FallAhead(double from, double to) const {
    auto g = std::upper_bound(sections_.begin(), sections_.end(), from,
                              [](double at, const Gradient& x) { return at < x.from; });
    if (g != sections_.begin()) --g;
    double fall = 0.0;
    for (; g != sections_.end() && g->from <= to; ++g) {
      fall = std::max(fall, kGravityKmhPerS * -g->permille / kPermille);
    }
    return fall;
  }

  double TargetFor(const LimitPoint& l) const {
    return std::max(0.0, static_cast<double>(l.limit) - route_.driver.margin);
  }

  // The lightest service notch that brings the train down to every target
  // within reach in time (0 if none needs braking yet); the first stop
  // signal within reach is stood before. While braking for a limit he goes
  // on until the speed is down, easing off as a lighter notch comes to
  // suffice, as at stations.
  int32_t LimitNotch(const TrainState& s, const HostState& h) {
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
            (looking_ && StandAt(ApproachNotch(), h.reverser) > mark - kApproachMargin)) {
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

  // The speed he wants: his cruising speed below the governor, and no more
  // than the target of a limit close enough to need braking for.
  double WantedSpeed(const TrainState& s) const {
    double want = kGovernorBrakesKmh - kBelowGovernorKmh;
    const double v = Abs(s.speed);
    const double reach = Reach(v, 0.0);
    for (std::size_t i = next_limit_;
         i < limits_.size() && limits_[i].location - s.location <= reach; ++i) {
      const double target = TargetFor(limits_[i]);
      if (limits_[i].location - s.location <= Reach(v, target)) want = std::min(want, target);
    }
    return want;
  }

  void KeepLimits(double t, const TrainState& s, HostState& h, std::vector<HostEvent>& out) {
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

  void Stand(double t, const TrainState& s, const StationStop& st, HostState& h, int32_t time_ms,
             std::vector<HostEvent>& out) {
    const double off = s.location - st.location;
    stops_.push_back(StopReport{st.location, s.location, time_ms});
    StationReport& report = outcomes_[next_];
    report.outcome =
        Abs(off) < kStationWindowM ? StationOutcome::kInWindow : StationOutcome::kOutside;
    report.stood_at = s.location;
    report.time_ms = time_ms;
    std::string where = Abs(off) < 0.005 ? "on the mark"
                        : off < 0.0      ? Grouped(-off, 2) + " m short of the mark"
                                         : Grouped(off, 2) + " m past the mark";
    out.push_back(HostEvent::Note("stopped at the station at " + Metres(st.location) + ", " +
                                  where + (Abs(off) <= kStopTolerance ? "" : " (outside)")));
    // Secure the train before the doors open: full service brake, power off,
    // reverser to neutral so that closing the doors demands no warning brake.
    reverser_ = h.reverser;
    Set(h, EventKind::kBrake, route_.model.brake_notches, out);
    Set(h, EventKind::kPower, 0, out);
    Set(h, EventKind::kReverser, 0, out);
    phase_ = Phase::kStanding;
    phase_start_ = t;
  }

  const Route& route_;
  const TrainModel& model_;
  std::vector<std::size_t> by_time_;      // actions by time, in order of `at`
  std::vector<std::size_t> by_location_;  // actions by location, in order of `at`
  std::size_t next_time_ = 0;
  std::size_t next_location_ = 0;
  std::vector<std::size_t> due_;
  std::size_t next_ = 0;  // next station
  Phase phase_ = Phase::kRunning;
  double phase_start_ = 0.0;
  int32_t depart_power_ = 0;
  int32_t reverser_ = 1;
  double last_departure_ = 0.0;
  std::vector<StopReport> stops_;
  std::vector<StationReport> outcomes_;  // by station, in order of location
  std::vector<LimitPoint> limits_;       // a careful driver's, in order of location
  bool looking_ = true;                  // a careful driver looks ahead in this frame
  bool overspeeding_ = false;            // braking back to his cruising speed on a fall
  double overspeed_from_ = 0.0;          // the speed at the last look while doing so
  int64_t frames_ = 0;
  std::vector<Gradient> sections_;  // a careful driver's view of the gradients, by location
  std::vector<char> braking_;       // by limit: he has begun braking for it
  std::size_t next_limit_ = 0;
  bool driving_ = false;  // a careful driver has the handles
  bool held_ = false;
  double held_since_ = 0.0;
  double held_signal_ = 0.0;
};

int32_t AddTime(int32_t t, int64_t dt) {
  return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(dt));
}

}  // namespace

// What the verdict needs, gathered frame by frame.
struct Watch {
  Verdict verdict;
  CheckedSpeed checked;
  bool tripped = false;
  bool unit_on = false;  // as the last frame showed it
  std::vector<LimitPass> limit_passes;
  std::vector<const BeaconPlacement*> passed;  // since the last frame
  bool stood_tripped = false;
  int32_t stood_tripped_since = 0;
  bool reached_end = false;
};

// Takes in what a frame shows of trips, the checked speed and the reservoir.
void Observe(Watch& w, const FrameRecord& frame, const TrainState& s, int32_t time_ms) {
  // A trip shows as the tripped lamp lighting. At a beacon the unit checked
  // the speed it had worked out before this frame, which trips strictly
  // above the limit, in float32.
  const bool tripped_now = frame.Panel(kPanelTripped) != 0;
  if (tripped_now && !w.tripped) {
    TripReport trip;
    trip.time_ms = time_ms;
    trip.location = s.location;
    trip.unit_off = frame.Panel(kPanelUnitOff) != 0;
    for (const BeaconPlacement* b : w.passed) {
      if (const std::optional<float> limit = w.checked.Trips(b->beacon)) {
        trip.beacon = b->beacon;
        trip.beacon_location = b->location;
        trip.limit_kmh = *limit;
        trip.checked_kmh = w.checked.kmh();
        break;
      }
    }
    w.verdict.trips.push_back(trip);
  }
  w.tripped = tripped_now;
  w.unit_on = frame.Panel(kPanelUnitOff) == 0;
  if (w.tripped && s.speed == 0.0) {
    if (!w.stood_tripped) w.stood_tripped_since = time_ms;
    w.stood_tripped = true;
  } else {
    w.stood_tripped = false;
  }
  w.checked.Frame(frame.state);
  if (s.mr < w.verdict.lowest_mr) {
    w.verdict.lowest_mr = s.mr;
    w.verdict.lowest_mr_ms = time_ms;
  }
}

struct DriveRun::Parts {
  Parts(const Route& route, const TrainState& start)
      : model(route.model, route.gradients, start), driver(route, model) {}
  TrainModel model;
  Driver driver;
  Watch watch;
};

DriveRun::DriveRun(const Route& route, Session& session) : route_(route), session_(session) {
  const int32_t emergency = route.model.brake_notches + 1;
  const int32_t brake = route.brake ? *route.brake : emergency;

  TrainState start;
  start.location = route.start_location;
  start.mr = route.mr;
  // The train starts standing with its cylinder already at the pressure the
  // brake holds, as far as the reservoir could fill it.
  start.bc = std::min(TrainModel(route.model, {}, start).BrakeTarget(brake), start.mr);
  parts_ = std::make_unique<Parts>(route, start);
  Verdict& verdict = parts_->watch.verdict;
  verdict.lowest_mr = start.mr;
  verdict.lowest_mr_ms = route.start_time_ms;
  verdict.reservoir_needed = route.model.bc_emergency;

  session.Start();
  session.Apply(HostEvent::Of(EventKind::kVehicleSpec, route.model.brake_notches));
  session.Apply(HostEvent::Of(EventKind::kInitialize, brake));
  // The host reports where the driver's handles and the doors stand.
  session.Apply(HostEvent::Of(EventKind::kReverser, route.reverser));
  session.Apply(HostEvent::Of(EventKind::kPower, route.power));
  session.Apply(HostEvent::Of(EventKind::kBrake, brake));
  if (route.doors_closed) session.Apply(HostEvent::Of(EventKind::kDoorClose));

  end_s_ = route.end_time_s ? *route.end_time_s : route.DefaultEndSeconds();
  previous_location_ = route.start_location;
}

DriveRun::~DriveRun() = default;

const TrainState& DriveRun::train() const { return parts_->model.state(); }
const Verdict& DriveRun::verdict() const { return parts_->watch.verdict; }

void DriveRun::Frame(int32_t dt_ms, Hands hands, const std::vector<HostEvent>& person) {
  if (ended_) return;
  TrainModel& model = parts_->model;
  Driver& driver = parts_->driver;
  Watch& w = parts_->watch;
  if (session_.frames() > 0) {
    model.Step(last_handles_, dt_ms / kMsPerS);
    elapsed_ms_ += dt_ms;
  }
  const double t = static_cast<double>(elapsed_ms_) / kMsPerS;
  const int32_t time_ms = AddTime(route_.start_time_ms, elapsed_ms_);
  const TrainState& s = model.state();

  // Beacons the train's front crossed running forward since the last frame
  // (they are in order of location).
  w.passed.clear();
  for (auto b =
           std::upper_bound(route_.beacons.begin(), route_.beacons.end(), previous_location_,
                            [](double at, const BeaconPlacement&p) { return at < p.location; });
       b != route_.beacons.end() && b->location <= s.location; ++b) {
    HostEvent e;
    e.kind = EventKind::kBeacon;
    e.beacon = b->beacon;
    session_.Apply(e);
    w.passed.push_back(&*b);
    if (const std::optional<float> limit = CheckedLimit(b->beacon)) {
      w.limit_passes.push_back({b->location, b->beacon, *limit, w.checked.kmh(), w.unit_on});
    }
  }
  previous_location_ = s.location;

  events_.clear();
  if (hands == Hands::kDriver) {
    if (!driving_) driver.TakeOver();
    driving_ = true;
    driver.Decide(t, s, session_.host(), time_ms, events_);
  } else {
    driving_ = false;
    driver.PassOver(t, s);
  }
  events_.insert(events_.end(), person.begin(), person.end());
  // A train that never reaches the end location is stopped by the time
  // limit; the timeline says so, so that the run is not taken for complete.
  if (route_.end_location && !route_.end_time_s && t >= end_s_ &&
      s.location < *route_.end_location) {
    events_.push_back(HostEvent::Note("the run's " + Shortest(end_s_) +
                                      " s limit is reached before the end location at " +
                                      Metres(*route_.end_location)));
  }
  for (const HostEvent& e : events_) session_.Apply(e);

  ATS_VEHICLESTATE v{};
  v.Location = s.location;
  v.Speed = static_cast<float>(s.speed);
  v.Time = time_ms;
  v.BcPressure = static_cast<float>(s.bc);
  v.MrPressure = static_cast<float>(s.mr);
  v.Current = static_cast<float>(s.current);
  const FrameRecord& frame = session_.Elapse(v);
  last_handles_ = frame.handles;
  if (session_.process_ended()) {
    ended_ = true;
    return;
  }
  Observe(w, frame, s, time_ms);

  // Without an end of its own the run ends soon after the last station;
  // an end location keeps it going until the train gets there.
  const bool after_stations = !route_.end_time_s && !route_.end_location &&
                              !route_.stations.empty() && driver.finished_stations();
  if (after_stations) end_s_ = std::min(end_s_, driver.last_departure() + kAfterLastStopSeconds);
  // A careful driver standing tripped or before a stop signal goes no
  // further, unless the route still has something for him to do.
  if (route_.driver.keep_limits && driving_ && !driver.actions_pending()) {
    const bool held_long = driver.held() && t - driver.held_since() >= kAfterLastStopSeconds;
    const bool stood_long =
        w.stood_tripped && static_cast<int32_t>(static_cast<uint32_t>(time_ms) -
                                                static_cast<uint32_t>(w.stood_tripped_since)) >=
                               static_cast<int32_t>(kAfterLastStopSeconds * kMsPerS);
    if (held_long || stood_long) ended_ = true;
  }
  if (route_.end_location && s.location >= *route_.end_location) {
    w.reached_end = true;
    ended_ = true;
  } else if (t >= end_s_) {
    w.reached_end =
        route_.end_time_s || after_stations || (!route_.end_location && route_.stations.empty());
    ended_ = true;
  }
  if (session_.frames() >= kMaxRunFrames) ended_ = true;
}

DriveResult DriveRun::Finish() {
  Driver& driver = parts_->driver;
  Watch& w = parts_->watch;
  DriveResult result;
  result.limit_passes = std::move(w.limit_passes);
  result.stops = driver.stops();
  result.final_state = parts_->model.state();
  result.final_time = session_.last().state.Time;
  Verdict& verdict = w.verdict;
  verdict.end_ms = result.final_time;
  verdict.end_location = result.final_state.location;
  verdict.stations = driver.stations();
  if (driver.held()) {
    verdict.ending = Ending::kHeldAtSignal;
    verdict.stood_since_ms =
        AddTime(route_.start_time_ms, static_cast<int64_t>(driver.held_since() * kMsPerS + 0.5));
    verdict.signal_location = driver.held_signal();
  } else if (w.stood_tripped) {
    verdict.ending = Ending::kStoodTripped;
    verdict.stood_since_ms = w.stood_tripped_since;
  } else if (!w.reached_end) {
    verdict.ending = Ending::kTimeCap;
    verdict.cap_s = end_s_;
  }
  result.verdict = std::move(verdict);
  session_.Finish();
  return result;
}

DriveResult Drive(const Route& route, Session& session) {
  DriveRun run(route, session);
  while (!run.ended()) run.Frame(route.frame_ms);
  return run.Finish();
}

}  // namespace atshost
