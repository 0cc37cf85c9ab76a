// The run: the frame loop that moves the train under the plug-in's handles,
// passes the beacons it crosses (a signal that clears as it stands then), hands
// the frame to the route's driver or a person, and watches what the verdict
// needs: trips, the checked speed, the stop-window lamp, the reservoir, and
// how the run ends.
#include "host/sim/drive.h"

#include <algorithm>
#include <optional>

#include "host/sim/cab.h"
#include "host/sim/driver.h"
#include "host/sim/format.h"

namespace atshost {

using namespace driving;

namespace {

// A fall that leaves the last service notch less braking than this (km/h/s)
// is worth a hint when a drive goes wrong on it.
constexpr double kSteepFallNetDecel = 1.0;

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
  std::vector<ATS_BEACONDATA> passed_as;       // what each carried as it was passed
  bool stood_tripped = false;
  int32_t stood_tripped_since = 0;
  bool reached_end = false;
  std::vector<char> window_lit;  // by station: the stop-window lamp lit while standing there
};

namespace {

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
    for (std::size_t i = 0; i < w.passed.size(); ++i) {
      if (const std::optional<float> limit = w.checked.Trips(w.passed_as[i])) {
        trip.beacon = w.passed_as[i];
        trip.beacon_location = w.passed[i]->location;
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

// Why the stop-window lamp stayed dark at a station the train stood at on
// the mark, from the route: the last stop-target beacon since the station
// before it.
void ExplainDarkWindow(const Route& route, std::size_t station, StationReport& report) {
  constexpr int32_t kStopTargetType = 12;
  const double from = station > 0 ? route.stations[station - 1].location : -1e300;
  const BeaconPlacement* target = nullptr;
  for (const BeaconPlacement& b : route.beacons) {
    if (b.location >= report.location) break;
    if (b.location > from && b.beacon.Type == kStopTargetType) target = &b;
  }
  if (target == nullptr) {
    report.outcome = StationOutcome::kNoTarget;
  } else if (static_cast<double>(target->beacon.Optional) != report.location) {
    report.outcome = StationOutcome::kWrongTarget;
    report.target_beacon = target->location;
    report.target = target->beacon.Optional;
  } else {
    report.outcome = StationOutcome::kWindowDark;
  }
}

// What in the route may explain a run that went nowhere: the unit never
// switched on, the brake never released.
std::vector<std::string> RouteHints(const Route& route) {
  bool switched_on = false;
  bool released = route.brake && *route.brake == 0;
  for (const RouteAction& a : route.actions) {
    for (const HostEvent& e : a.events) {
      switched_on = switched_on || (e.kind == EventKind::kKeyDown && e.value == kKeySwitchOn);
      released = released || (e.kind == EventKind::kBrake && e.value == 0);
    }
  }
  std::vector<std::string> hints;
  // A fall on which the last service notch barely slows the train: no
  // driver stops on it to the metre.
  const TrainModel model(route.model, {}, TrainState{});
  const double service = model.BrakeDecel(route.model.bc_service);
  for (const Gradient& g : route.gradients) {
    const double net = service - kGravityKmhPerS * -g.permille / kPermille;
    const std::string fall =
        "the fall of " + Shortest(-g.permille) + " permille from " + Metres(g.from);
    if (net <= 0.0) {
      hints.push_back(fall + " is steeper than the last service notch can hold the train on");
    } else if (net < kSteepFallNetDecel) {
      hints.push_back(fall + " leaves the last service notch " + Fixed(net, 2) +
                      " km/h/s of braking: no driver stops on it to the metre");
    }
  }
  if (!switched_on) {
    hints.push_back("the route never switches the unit on (key 10, e.g. 'at 1 s key 10')");
  }
  if (!released) {
    hints.push_back(
        "the route never releases the brake (e.g. 'at 2 s reverser 1; brake 0; power 4')");
  }
  return hints;
}

}  // namespace

struct DriveRun::Parts {
  Parts(const Route& route, const TrainState& start)
      : model(route.model, route.gradients, start), driver(route, model, clocks) {
    clocks.stood_from.assign(route.beacons.size(), SignalClocks::kNever);
  }
  TrainModel model;
  SignalClocks clocks;
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
  parts_->watch.window_lit.assign(route.stations.size(), 0);

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

void DriveRun::PassBeacons(double t) {
  Watch& w = parts_->watch;
  const TrainState& s = parts_->model.state();
  SignalClocks& clocks = parts_->clocks;
  // A signal that clears starts its clock when the train first stands
  // within reach before it.
  for (std::size_t i = 0; i < route_.beacons.size() && s.speed == 0.0; ++i) {
    const BeaconPlacement& b = route_.beacons[i];
    const double before = b.location - s.location;
    if (b.clear_after_s && clocks.stood_from[i] < 0.0 && before >= 0.0 &&
        before <= kClearingApproachM) {
      clocks.stood_from[i] = t;
    }
  }
  // Beacons the train's front crossed running forward since the last frame
  // (they are in order of location).
  w.passed.clear();
  w.passed_as.clear();
  for (auto b =
           std::upper_bound(route_.beacons.begin(), route_.beacons.end(), previous_location_,
                            [](double at, const BeaconPlacement&p) { return at < p.location; });
       b != route_.beacons.end() && b->location <= s.location; ++b) {
    const std::size_t index = static_cast<std::size_t>(b - route_.beacons.begin());
    HostEvent e;
    e.kind = EventKind::kBeacon;
    e.beacon = b->SeenAfter(clocks.StoodFor(index, t));
    session_.Apply(e);
    w.passed.push_back(&*b);
    w.passed_as.push_back(e.beacon);
    if (const std::optional<float> limit = CheckedLimit(e.beacon)) {
      w.limit_passes.push_back({b->location, e.beacon, *limit, w.checked.kmh(), w.unit_on});
    }
  }
  previous_location_ = s.location;
}

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
  PassBeacons(t);

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
  if (const std::optional<std::size_t> at = driver.standing_at()) {
    if (frame.Panel(kPanelStopWindow) != 0) w.window_lit[*at] = 1;
  }
  EndIfDone(t, time_ms);
}

void DriveRun::EndIfDone(double t, int32_t time_ms) {
  Driver& driver = parts_->driver;
  Watch& w = parts_->watch;
  const TrainState& s = parts_->model.state();
  // Without an end of its own the run ends soon after the last station;
  // an end location keeps it going until the train gets there. The
  // terminus ends it after its dwell whatever else the route says.
  const bool after_stations = !route_.end_time_s && !route_.end_location &&
                              !route_.stations.empty() && driver.finished_stations();
  if (after_stations || driver.at_terminus()) {
    end_s_ = std::min(end_s_, driver.last_departure() + kAfterLastStopSeconds);
  }
  // A careful driver standing tripped or before a stop signal that will not
  // clear goes no further, unless the route still has something for him to do.
  if (route_.driver.keep_limits && driving_ && !driver.actions_pending()) {
    const bool held_long =
        driver.held() && !driver.held_clears() && t - driver.held_since() >= kAfterLastStopSeconds;
    const bool stood_long =
        w.stood_tripped && static_cast<int32_t>(static_cast<uint32_t>(time_ms) -
                                                static_cast<uint32_t>(w.stood_tripped_since)) >=
                               static_cast<int32_t>(kAfterLastStopSeconds * kMsPerS);
    if (held_long || stood_long) ended_ = true;
  }
  // With a terminus at the end location the train stops there: reaching the
  // location ends the run only once it has run past the station.
  const bool terminus = route_.Terminus().has_value();
  if (route_.end_location && (terminus ? s.location > *route_.end_location + kMissedBy
                                       : s.location >= *route_.end_location)) {
    w.reached_end = true;
    ended_ = true;
  } else if (t >= end_s_) {
    w.reached_end = route_.end_time_s || after_stations || driver.at_terminus() ||
                    (!route_.end_location && route_.stations.empty());
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
  for (std::size_t i = 0; i < verdict.stations.size(); ++i) {
    StationReport& st = verdict.stations[i];
    if (st.outcome == StationOutcome::kInWindow && w.window_lit[i] == 0) {
      ExplainDarkWindow(route_, i, st);
    }
  }
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
  if (!verdict.got_through()) verdict.hints = RouteHints(route_);
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
