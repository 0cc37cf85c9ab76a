// A route for `atshost drive`: the vehicle and its model constants, where and
// when the run starts and ends, the beacons by location, the gradients, the
// station stops and the driver's actions by time or location.
#ifndef ATSHOST_ROUTE_H
#define ATSHOST_ROUTE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/sim/events.h"
#include "host/sim/text_input.h"
#include "host/sim/train_model.h"

namespace atshost {

struct BeaconPlacement {
  double location = 0.0;
  ATS_BEACONDATA beacon{};
  // A signal that clears: `clear_after_s` seconds after the train first
  // comes to a stand within kClearingApproachM before the beacon, it carries
  // `clear_signal` instead of its own signal.
  std::optional<double> clear_after_s;
  int32_t clear_signal = 3;
  // The beacon as a train passing it `stood_for_s` seconds after first
  // standing before it sees it (a negative time: it never stood there).
  ATS_BEACONDATA SeenAfter(double stood_for_s) const {
    ATS_BEACONDATA b = beacon;
    if (clear_after_s && stood_for_s >= *clear_after_s) b.Signal = clear_signal;
    return b;
  }
};

// How far before a signal that clears a stand starts its clock.
inline constexpr double kClearingApproachM = 100.0;

// The driver brakes to stop with the train's location at `location`, opens
// the doors for `open_s`, closes them and waits `closed_s`, then sets off with
// `depart_power` (the notch held before braking if not given).
struct StationStop {
  double location = 0.0;
  std::string name;  // as the route gives it, UTF-8; may be empty
  double open_s = 20.0;
  double closed_s = 5.0;
  std::optional<int32_t> depart_power;
  int line = 0;
};

// Something the driver does once: when the host time since the start reaches
// `at` seconds, or when the train's location first reaches `at` metres.
struct RouteAction {
  bool by_location = false;
  double at = 0.0;
  std::vector<HostEvent> events;
  int line = 0;
};

// How the driver stops at stations and, a careful driver, keeps the limits.
struct DriverParams {
  int32_t approach_notch = 4;  // braking starts when this notch would just stop at the mark
  double creep_speed = 8.0;    // km/h: having stopped short, creeps up at most this fast
  // A careful driver (limits=keep) drives the power and brake himself once
  // the route has released the brake with the reverser set: he passes every
  // speed-check beacon at least `margin` km/h below its limit, stays below
  // the governor, and stands before a stop signal.
  bool keep_limits = false;
  double margin = 3.0;
  // cruise=hold: at his speed he selects notch 1, the unit's speed hold;
  // cruise=coast: he shuts off and powers again 5 km/h lower.
  bool speed_hold = false;
};

struct Route {
  std::string file;
  ModelParams model;
  DriverParams driver;
  double start_location = 0.0;
  int32_t start_time_ms = 0;
  int32_t frame_ms = 20;
  bool doors_closed = true;
  int32_t reverser = 0;
  int32_t power = 0;
  std::optional<int32_t> brake;  // the emergency position if not given
  double mr = 820.0;
  std::optional<double> end_time_s;  // seconds after the start
  std::optional<double> end_location;
  std::vector<BeaconPlacement> beacons;  // in order of location
  std::vector<Gradient> gradients;
  std::vector<StationStop> stations;  // in order of location
  std::vector<RouteAction> actions;

  // The station the run ends at, if any: the one at the end location, or,
  // without an end location, the last station if it has no `depart`. The
  // train stops there, the run ends after its dwell, and no driver departs.
  std::optional<std::size_t> Terminus() const;

  // The latest a run ends without an `end time`. With an `end location` the
  // train's reaching it ends the run, and kRunLimitSeconds only stops a train
  // that never gets there. Otherwise, with stations, the run ends 2 s after
  // the last stop's dwell, or at kRunLimitSeconds if the train never gets
  // there; without stations, after kDefaultRunSeconds.
  double DefaultEndSeconds() const;
};

inline constexpr double kDefaultRunSeconds = 300.0;
inline constexpr double kRunLimitSeconds = 900.0;

// Why a route with no commands at all is refused.
inline constexpr const char* kEmptyRoute = "the route is empty: nothing to drive";

// A station as reports name it: "station Mill Lane at 1 150.0 m", or
// "station at 1 150.0 m" when it has no name.
std::string StationWords(const StationStop& station);

// Parses a whole route; refused at the first bad line, and refused whole when
// it has nothing to drive.
Parsed<Route> ParseRoute(const std::string& text, const std::string& file);

// The built-in demo: switch-on, the notch-1 speed hold, the governor, a
// signal passed too fast, the reset, a station stop.
const char* DemoRouteText();

}  // namespace atshost

#endif  // ATSHOST_ROUTE_H
