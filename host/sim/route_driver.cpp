// The route's driver: the route's actions when they fall due, and the station
// stops: braking to the mark on the lightest notch that does, creeping up when
// short, the doors, the dwell and the departure; never a departure from the
// terminus.
#include <algorithm>
#include <limits>

#include "host/sim/driver.h"
#include "host/sim/format.h"
#include "host/sim/route_ahead.h"

namespace atshost {

using namespace driving;

namespace {

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
// The doors open this long after the train comes to a stand.
constexpr double kDoorDelaySeconds = 1.0;
// A careful driver looks ahead for where to begin braking this often, not
// at every frame: his margins take the few metres it may cost.
constexpr int32_t kCarefulLookMs = 100;

}  // namespace

Driver::Driver(const Route& route, const TrainModel& model, const SignalClocks& clocks)
    : route_(route),
      model_(model),
      clocks_(clocks),
      terminus_(route.Terminus()),
      outcomes_(route.stations.size()) {
  for (std::size_t i = 0; i < route.actions.size(); ++i) {
    (route.actions[i].by_location ? by_location_ : by_time_).push_back(i);
  }
  sections_ = route.gradients;
  std::stable_sort(sections_.begin(), sections_.end(),
                   [](const Gradient& a, const Gradient& b) { return a.from < b.from; });
  if (route.driver.keep_limits) {
    for (std::size_t i = 0; i < route.beacons.size(); ++i) {
      const BeaconPlacement& b = route.beacons[i];
      if (const auto limit = CheckedLimit(b.beacon)) {
        if (b.clear_after_s) clearing_.push_back(limits_.size());
        limits_.push_back({b.location, *limit, i});
      }
    }
    braking_.assign(limits_.size(), 0);
  }
  auto earlier = [&](std::size_t a, std::size_t b) {
    return route.actions[a].at < route.actions[b].at;
  };
  std::stable_sort(by_time_.begin(), by_time_.end(), earlier);
  std::stable_sort(by_location_.begin(), by_location_.end(), earlier);
}

void Driver::Decide(double t, const TrainState& s, const HostState& host, int32_t time_ms,
                    std::vector<HostEvent>& out) {
  DoActions(t, s, out);
  HostState after = host;
  for (const HostEvent& e : out) Track(after, e);
  if (route_.driver.keep_limits) {
    // The route's own release of the brake with the reverser set hands
    // the handles to him.
    driving_ = driving_ || (after.reverser != 0 && after.brake == 0);
    while (next_limit_ < limits_.size() && limits_[next_limit_].location <= s.location) {
      ++next_limit_;
    }
    RefreshLimits(t, out);
  }
  if (held_) return;
  looking_ = !route_.driver.keep_limits || frames_ % LookEvery() == 0;
  ++frames_;
  Stations(t, s, after, time_ms, out);
  if (driving_ && phase_ == Phase::kRunning && !at_terminus_) KeepLimits(t, s, after, out);
}

// Each action is done once, when its time or location is first reached. Both
// lists are in order of `at`, so what is due is at their fronts; what falls
// due in the same frame is done in the order of the file.
void Driver::DoActions(double t, const TrainState& s, std::vector<HostEvent>& out) {
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
}

void Driver::PassOver(double t, const TrainState& s) {
  while (next_time_ < by_time_.size() && t >= route_.actions[by_time_[next_time_]].at) {
    ++next_time_;
  }
  while (next_location_ < by_location_.size() &&
         s.location >= route_.actions[by_location_[next_location_]].at) {
    ++next_location_;
  }
}

std::optional<std::size_t> Driver::standing_at() const {
  if (at_terminus_) return terminus_;
  const bool standing =
      phase_ == Phase::kStanding || phase_ == Phase::kDoorsOpen || phase_ == Phase::kDoorsClosed;
  if (standing && next_ < route_.stations.size()) return next_;
  return std::nullopt;
}

std::vector<StationReport> Driver::stations() const {
  std::vector<StationReport> out;
  for (std::size_t i = 0; i < route_.stations.size(); ++i) {
    StationReport r = outcomes_[i];
    r.location = route_.stations[i].location;
    r.name = route_.stations[i].name;
    out.push_back(r);
  }
  return out;
}

void Driver::Track(HostState& h, const HostEvent& e) {
  if (e.kind == EventKind::kPower) h.power = e.value;
  if (e.kind == EventKind::kBrake) h.brake = e.value;
  if (e.kind == EventKind::kReverser) h.reverser = e.value;
}

void Driver::Set(HostState& h, EventKind kind, int32_t value, std::vector<HostEvent>& out) {
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
double Driver::StandAt(int32_t notch, int32_t reverser) const {
  TrainModel probe = model_;
  const ATS_HANDLES hold{notch, 0, reverser, 2};
  const double dt = ForesightStep();
  for (double t = 0.0; t < kForesightSeconds; t += dt) {
    if (probe.state().speed == 0.0) return probe.state().location;
    probe.Step(hold, dt);
  }
  return std::numeric_limits<double>::infinity();
}

// The most a falling grade between the two locations adds, km/h/s.
double Driver::FallAhead(double from, double to) const {
  auto g = std::upper_bound(sections_.begin(), sections_.end(), from,
                            [](double at, const Gradient& x) { return at < x.from; });
  if (g != sections_.begin()) --g;
  double fall = 0.0;
  for (; g != sections_.end() && g->from <= to; ++g) {
    fall = std::max(fall, kGravityKmhPerS * -g->permille / kPermille);
  }
  return fall;
}

// The notch he brakes with toward `to`: his approach notch, or, on a fall
// that eats into it, the lightest that still slows the train at half the
// rate the approach notch does on the level (the last service notch at
// most). Reckoning with a notch that barely holds the train on the fall would
// have him brake from the top of it and stand far short.
int32_t Driver::BrakingNotch(double to) const {
  const int32_t approach = ApproachNotch();
  const double fall = FallAhead(model_.state().location, to);
  if (fall <= 0.0) return approach;
  const double wanted = model_.BrakeDecel(model_.BrakeTarget(approach)) / 2.0 + fall;
  int32_t notch = approach;
  while (notch < route_.model.brake_notches &&
         model_.BrakeDecel(model_.BrakeTarget(notch)) < wanted) {
    ++notch;
  }
  return notch;
}

// The lightest notch that slows the train at all on the fall to `to`: what
// he creeps against.
int32_t Driver::HoldingNotch(double to) const {
  const double fall = FallAhead(model_.state().location, to);
  int32_t notch = 1;
  while (notch < route_.model.brake_notches &&
         model_.BrakeDecel(model_.BrakeTarget(notch)) <= fall + kLeastReachDecel) {
    ++notch;
  }
  return notch;
}

int64_t Driver::LookEvery() const { return std::max<int64_t>(1, kCarefulLookMs / route_.frame_ms); }

double Driver::ForesightStep() const {
  const int32_t ms = route_.driver.keep_limits ? kCarefulForesightStepMs : kForesightStepMs;
  return std::max(route_.frame_ms, ms) / kMsPerS;
}

// Distance within which braking may have to start: what the weakest notch
// needs, with two seconds of running to spare. A careful driver, who looks
// at every limit too, takes his approach notch's reach.
double Driver::Lookahead(double speed) const {
  if (route_.driver.keep_limits) return Reach(speed, 0.0);
  const ModelParams& p = model_.params();
  const double weakest = model_.BrakeDecel(p.bc_service / p.brake_notches);
  return speed * speed / (kDistanceFactor * weakest) + 2.0 * speed / kKmhPerMs;
}

void Driver::Stations(double t, const TrainState& s, HostState& h, int32_t time_ms,
                      std::vector<HostEvent>& out) {
  if (next_ >= route_.stations.size() || at_terminus_) return;
  const StationStop& st = route_.stations[next_];
  const double d = st.location - s.location;
  // A train more than kMissedBy past the mark has passed the station, whether
  // or not the driver was braking for it: a stand that far on is no stop.
  const bool moving =
      phase_ == Phase::kRunning || phase_ == Phase::kBraking || phase_ == Phase::kCreeping;
  if (moving && d < -kMissedBy) {
    out.push_back(HostEvent::Note("passed the " + StationWords(st) + " without stopping"));
    outcomes_[next_].outcome = StationOutcome::kPassed;
    phase_ = Phase::kRunning;
    ++next_;
    return;
  }
  switch (phase_) {
    case Phase::kRunning:
      if (s.speed > 0.0 && looking_ && d < Lookahead(s.speed)) Approach(st, h, out);
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
          (s.speed > 0.0 && StandAt(HoldingNotch(st.location), h.reverser) > st.location)) {
        phase_ = Phase::kBraking;
        Brake(st, h, out);
      }
      return;
    case Phase::kStanding:
    case Phase::kDoorsOpen:
    case Phase::kDoorsClosed:
      Dwell(t, st, h, out);
      return;
  }
}

// Braking begins when the approach notch would only just stop the train at
// the mark.
void Driver::Approach(const StationStop& st, HostState& h, std::vector<HostEvent>& out) {
  if (StandAt(BrakingNotch(st.location), h.reverser) <= st.location - kApproachMargin) return;
  depart_power_ = st.depart_power ? *st.depart_power : h.power;
  out.push_back(HostEvent::Note("braking for the " + StationWords(st)));
  phase_ = Phase::kBraking;
  Brake(st, h, out);
}

// Standing: the doors open, close, and the train departs; at the terminus
// the run ends with the doors closed and the train secured.
void Driver::Dwell(double t, const StationStop& st, HostState& h, std::vector<HostEvent>& out) {
  switch (phase_) {
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
    default:
      if (t - phase_start_ < st.closed_s) return;
      last_departure_ = t;
      if (terminus_ && next_ == *terminus_) {
        out.push_back(HostEvent::Note("the end of the line"));
        at_terminus_ = true;
        return;
      }
      out.push_back(HostEvent::Note("departing"));
      Set(h, EventKind::kReverser, reverser_ != 0 ? reverser_ : 1, out);
      Set(h, EventKind::kBrake, 0, out);
      Set(h, EventKind::kPower, depart_power_, out);
      phase_ = Phase::kRunning;
      ++next_;
      return;
  }
}

int32_t Driver::ApproachNotch() const {
  return std::clamp(route_.driver.approach_notch, 1, route_.model.brake_notches);
}

// Holds the lightest service notch that still stops the train by the mark.
// As the train slows, a lighter notch comes to suffice and the driver eases
// off, so the stand comes ever closer to the mark and the notch never hunts
// up and down.
void Driver::Brake(const StationStop& st, HostState& h, std::vector<HostEvent>& out) {
  Set(h, EventKind::kPower, 0, out);
  // A careful driver, well above the creep, holds his notch between looks.
  if (!looking_ && h.brake > 0 && Abs(model_.state().speed) > kFineBrakingKmh) return;
  const int32_t notch = LightestToStand(st.location + kOvershootAllowed, h);
  // A careful driver also keeps the limits between him and the mark.
  Set(h, EventKind::kBrake, std::max(notch, LimitNotch(model_.state(), h)), out);
}

int32_t Driver::LightestToStand(double mark, const HostState& h) const {
  const int32_t full = route_.model.brake_notches;
  int32_t notch = std::clamp(h.brake, 1, full);
  if (notch > 1 && StandAt(notch - 1, h.reverser) <= mark) {
    --notch;
  } else {
    while (notch < full && StandAt(notch, h.reverser) > mark) ++notch;
  }
  return notch;
}

void Driver::Stand(double t, const TrainState& s, const StationStop& st, HostState& h,
                   int32_t time_ms, std::vector<HostEvent>& out) {
  const double off = s.location - st.location;
  stops_.push_back(StopReport{st.location, s.location, time_ms});
  StationReport& report = outcomes_[next_];
  report.outcome = Abs(off) < kStopWindowM ? StationOutcome::kInWindow : StationOutcome::kOutside;
  report.stood_at = s.location;
  report.time_ms = time_ms;
  std::string where = Abs(off) < 0.005 ? "on the mark"
                      : off < 0.0      ? Grouped(-off, 2) + " m short of the mark"
                                       : Grouped(off, 2) + " m past the mark";
  out.push_back(HostEvent::Note("stopped at the " + StationWords(st) + ", " + where +
                                (Abs(off) <= kStopTolerance ? "" : " (outside)")));
  // Secure the train before the doors open: full service brake, power off,
  // reverser to neutral so that closing the doors demands no warning brake.
  reverser_ = h.reverser;
  Set(h, EventKind::kBrake, route_.model.brake_notches, out);
  Set(h, EventKind::kPower, 0, out);
  Set(h, EventKind::kReverser, 0, out);
  phase_ = Phase::kStanding;
  phase_start_ = t;
}

}  // namespace atshost
