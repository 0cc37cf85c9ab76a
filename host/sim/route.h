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
};

// The driver brakes to stop with the train's location at `location`, opens
// the doors for `open_s`, closes them and waits `closed_s`, then sets off with
// `depart_power` (the notch held before braking if not given).
struct StationStop {
  double location = 0.0;
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

// How the driver stops at stations.
struct DriverParams {
  int32_t approach_notch = 4;  // braking starts when this notch would just stop at the mark
  double creep_speed = 8.0;    // km/h: having stopped short, creeps up at most this fast
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

  // The latest a run ends without an `end time`. With an `end location` the
  // train's reaching it ends the run, and kRunLimitSeconds only stops a train
  // that never gets there. Otherwise, with stations, the run ends 2 s after
  // the last stop's dwell, or at kRunLimitSeconds if the train never gets
  // there; without stations, after kDefaultRunSeconds.
  double DefaultEndSeconds() const;
};

inline constexpr double kDefaultRunSeconds = 300.0;
inline constexpr double kRunLimitSeconds = 900.0;

// Parses a whole route; refused at the first bad line.
Parsed<Route> ParseRoute(const std::string& text, const std::string& file);

// The built-in demo: switch-on, the notch-1 speed hold, the governor, a
// signal passed too fast, the reset, a station stop.
const char* DemoRouteText();

}  // namespace atshost

#endif  // ATSHOST_ROUTE_H
