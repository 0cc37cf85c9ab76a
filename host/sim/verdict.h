// How a drive ended, in words a route author can act on: where and when the
// run ended (the route's end, the time cap, tripped and standing, held at a
// stop signal), every trip with the beacon, its limit and the speed the unit
// checked, every station stopped at in the window, outside it or missed, and
// a main reservoir that ran low.
#ifndef ATSHOST_SIM_VERDICT_H
#define ATSHOST_SIM_VERDICT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugin/atsplugin.h"

namespace atshost {

// The limit the unit checks a beacon against in km/h, as the authors' guide
// gives it; none for a beacon that checks no speed.
std::optional<float> CheckedLimit(const ATS_BEACONDATA& beacon);

// The speed the unit checks at a beacon: the one it works out from the change
// of location over the last frame, in float32 as it does. Far along a route
// the float32 location makes it differ from the train's speed.
float DerivedSpeed(double from_location, int32_t from_ms, double to_location, int32_t to_ms);

// That speed followed frame by frame, as the unit derives it: from the last
// two locations and times it was given, 0 m at time 0 before the first.
class CheckedSpeed {
 public:
  // After each frame the plug-in ran.
  void Frame(const ATS_VEHICLESTATE& state) {
    kmh_ = DerivedSpeed(location_, ms_, state.Location, state.Time);
    location_ = state.Location;
    ms_ = state.Time;
  }
  // What a beacon passed before the next frame is checked against.
  float kmh() const { return kmh_; }
  // The limit of `beacon`, if checking this speed there trips the unit
  // (strictly above the limit, in float32).
  std::optional<float> Trips(const ATS_BEACONDATA& beacon) const {
    const std::optional<float> limit = CheckedLimit(beacon);
    return limit && kmh_ > *limit ? limit : std::nullopt;
  }

 private:
  double location_ = 0.0;
  int32_t ms_ = 0;
  float kmh_ = 0.0f;
};

struct TripReport {
  int32_t time_ms = 0;
  double location = 0.0;                 // of the train when the lamp lit
  std::optional<ATS_BEACONDATA> beacon;  // the beacon that tripped it, if one did
  double beacon_location = 0.0;
  float limit_kmh = 0.0f;
  float checked_kmh = 0.0f;  // the speed the unit checked at the beacon
  bool unit_off = false;     // the lamp lit while the unit was switched off
};

// How a station fared. In the window means the unit's own stop-window lamp
// lit while the train stood within the host's 0.3 m of the mark; standing
// there with the lamp dark is one of the last three.
enum class StationOutcome {
  kInWindow,
  kOutside,
  kPassed,
  kNotReached,
  kNoTarget,     // no stop-target beacon before it: the unit's window does not serve it
  kWrongTarget,  // its stop-target beacon carries another location
  kWindowDark,   // its stop target is right, and still the lamp never lit
};

struct StationReport {
  double location = 0.0;
  std::string name;
  StationOutcome outcome = StationOutcome::kNotReached;
  double stood_at = 0.0;  // where the train stood, for a stop
  int32_t time_ms = 0;
  double target_beacon = 0.0;  // kWrongTarget: where its stop-target beacon is
  int32_t target = 0;          // and the location it carries
};

enum class Ending {
  kEndReached,    // the route's end: its end time or location, or the last station's dwell
  kTimeCap,       // the run's time limit, before the end
  kStoodTripped,  // tripped and standing at the end of the run
  kHeldAtSignal,  // a careful driver standing before a stop signal it may not pass
};

struct Verdict {
  Ending ending = Ending::kEndReached;
  int32_t end_ms = 0;  // host time of the last frame
  double end_location = 0.0;
  double cap_s = 0.0;            // the time cap, for kTimeCap
  int32_t stood_since_ms = 0;    // for kStoodTripped and kHeldAtSignal
  double signal_location = 0.0;  // for kHeldAtSignal
  std::vector<TripReport> trips;
  std::vector<StationReport> stations;
  // What in the route itself may explain a drive that went nowhere.
  std::vector<std::string> hints;
  double lowest_mr = 0.0;
  int32_t lowest_mr_ms = 0;
  double reservoir_needed = 0.0;  // below this the reservoir counts as run low

  bool reservoir_low() const { return lowest_mr < reservoir_needed; }
  // A station passed or not reached; a stop outside the window is no miss.
  int missed_stations() const;
  // Stations the train stood at whose stop-window lamp never lit for a fault
  // of the route (and, when `strict`, those no stop target serves).
  int dark_stations(bool strict = false) const;
  // Whether the train got through: no trip, no station missed or left dark,
  // and the route's end reached. A stop outside the window is no miss.
  bool got_through(bool strict = false) const;
};

// The verdict as lines of text: the ending first, then the trips, the
// stations and the reservoir.
std::vector<std::string> VerdictLines(const Verdict& verdict);

// "beacon type 0 signal 1", "beacon type 9 optional 45": only the fields that
// choose the limit.
std::string BeaconWords(const ATS_BEACONDATA& beacon);

}  // namespace atshost

#endif  // ATSHOST_SIM_VERDICT_H
