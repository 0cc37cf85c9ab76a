#include "host/sim/drive.h"

#include <algorithm>
#include <limits>

#include "host/sim/format.h"

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
// A stand this far past the mark still counts as on it when picking a notch.
constexpr double kOvershootAllowed = 0.05;
// Braking begins when the approach notch would stop the train this close to
// the mark, so that the approach notch itself suffices.
constexpr double kApproachMargin = 1.0;
// The driver is content with a stand this close to the stop mark; the
// plug-in's stop window is 0.3 m either side.
constexpr double kStopTolerance = 0.25;
// Stopped further short than this, the driver creeps up to the mark.
constexpr double kCreepDistance = 1.0;
// A station more than this far behind the train has been missed.
constexpr double kMissedBy = 5.0;
// The doors open this long after the train comes to a stand.
constexpr double kDoorDelaySeconds = 1.0;
// After the last station's dwell, the run goes on this long before it ends.
constexpr double kAfterLastStopSeconds = 2.0;

double Abs(double v) { return v < 0.0 ? -v : v; }

std::string Metres(double m) { return Grouped(m, 1) + " m"; }

class Driver {
 public:
  Driver(const Route& route, const TrainModel& model) : route_(route), model_(model) {
    for (std::size_t i = 0; i < route.actions.size(); ++i) {
      (route.actions[i].by_location ? by_location_ : by_time_).push_back(i);
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
    Stations(t, s, after, time_ms, out);
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
    const double dt = std::max(route_.frame_ms, kForesightStepMs) / kMsPerS;
    for (double t = 0.0; t < kForesightSeconds; t += dt) {
      if (probe.state().speed == 0.0) return probe.state().location;
      probe.Step(hold, dt);
    }
    return std::numeric_limits<double>::infinity();
  }

  // Distance within which braking may have to start: what the weakest notch
  // needs, with two seconds of running to spare.
  double Lookahead(double speed) const {
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
          ++next_;
          return;
        }
        if (s.speed > 0.0 && d < Lookahead(s.speed) &&
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
    const int32_t full = route_.model.brake_notches;
    const double limit = st.location + kOvershootAllowed;
    int32_t notch = std::clamp(h.brake, 1, full);
    if (notch > 1 && StandAt(notch - 1, h.reverser) <= limit) {
      --notch;
    } else {
      while (notch < full && StandAt(notch, h.reverser) > limit) ++notch;
    }
    Set(h, EventKind::kBrake, notch, out);
  }

  void Stand(double t, const TrainState& s, const StationStop& st, HostState& h, int32_t time_ms,
             std::vector<HostEvent>& out) {
    const double off = s.location - st.location;
    stops_.push_back(StopReport{st.location, s.location, time_ms});
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
};

int32_t AddTime(int32_t t, int64_t dt) {
  return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(dt));
}

}  // namespace

struct DriveRun::Parts {
  Parts(const Route& route, const TrainState& start)
      : model(route.model, route.gradients, start), driver(route, model) {}
  TrainModel model;
  Driver driver;
};

DriveRun::DriveRun(const Route& route, Session& session) : route_(route), session_(session) {
  const int32_t emergency = route.model.brake_notches + 1;
  const int32_t brake = route.brake ? *route.brake : emergency;

  TrainState start;
  start.location = route.start_location;
  start.mr = route.mr;
  // The train starts standing with its cylinder already at the pressure the
  // brake holds.
  start.bc = TrainModel(route.model, {}, start).BrakeTarget(brake);
  parts_ = std::make_unique<Parts>(route, start);

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

void DriveRun::Frame(int32_t dt_ms, Hands hands, const std::vector<HostEvent>& person) {
  if (ended_) return;
  TrainModel& model = parts_->model;
  Driver& driver = parts_->driver;
  if (session_.frames() > 0) {
    model.Step(last_handles_, dt_ms / kMsPerS);
    elapsed_ms_ += dt_ms;
  }
  const double t = static_cast<double>(elapsed_ms_) / kMsPerS;
  const int32_t time_ms = AddTime(route_.start_time_ms, elapsed_ms_);
  const TrainState& s = model.state();

  // Beacons the train's front crossed running forward since the last frame
  // (they are in order of location).
  for (auto b =
           std::upper_bound(route_.beacons.begin(), route_.beacons.end(), previous_location_,
                            [](double at, const BeaconPlacement&p) { return at < p.location; });
       b != route_.beacons.end() && b->location <= s.location; ++b) {
    HostEvent e;
    e.kind = EventKind::kBeacon;
    e.beacon = b->beacon;
    session_.Apply(e);
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
  last_handles_ = session_.Elapse(v).handles;
  if (session_.process_ended()) {
    ended_ = true;
    return;
  }

  // Without an end of its own the run ends soon after the last station;
  // an end location keeps it going until the train gets there.
  if (!route_.end_time_s && !route_.end_location && !route_.stations.empty() &&
      driver.finished_stations()) {
    end_s_ = std::min(end_s_, driver.last_departure() + kAfterLastStopSeconds);
  }
  if (t >= end_s_ || (route_.end_location && s.location >= *route_.end_location) ||
      session_.frames() >= kMaxRunFrames) {
    ended_ = true;
  }
}

DriveResult DriveRun::Finish() {
  DriveResult result;
  result.stops = parts_->driver.stops();
  result.final_state = parts_->model.state();
  result.final_time = session_.last().state.Time;
  session_.Finish();
  return result;
}

DriveResult Drive(const Route& route, Session& session) {
  DriveRun run(route, session);
  while (!run.ended()) run.Frame(route.frame_ms);
  return run.Finish();
}

}  // namespace atshost
