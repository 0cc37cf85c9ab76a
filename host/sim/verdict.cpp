#include "host/sim/verdict.h"

#include "host/sim/cab.h"
#include "host/sim/format.h"

namespace atshost {
namespace {

constexpr float kMsPerHour = 3600.0f;  // m/ms -> km/h

std::string TripLine(const TripReport& t) {
  std::string line = "trip at " + Seconds(t.time_ms) + " s, " + Metres(t.location) + ": ";
  if (t.beacon) {
    line += BeaconWords(*t.beacon) + " at " + Metres(t.beacon_location) + ", limit " +
            Shortest(t.limit_kmh) + " km/h, checked " + Kmh(t.checked_kmh);
  } else {
    line += "not at a speed check (a key, the doors or the handles)";
  }
  if (t.unit_off) line += " (while the unit was off)";
  return line;
}

std::string StationLine(const StationReport& s) {
  std::string line =
      (s.name.empty() ? "station at " : "station " + s.name + " at ") + Metres(s.location) + ": ";
  const double off = s.stood_at - s.location;
  const std::string where = off == 0.0  ? "on the mark"
                            : off < 0.0 ? Grouped(-off, 2) + " m short of the mark"
                                        : Grouped(off, 2) + " m past the mark";
  switch (s.outcome) {
    case StationOutcome::kInWindow:
      return line + "stopped in the window, " + where + ", at " + Seconds(s.time_ms) + " s";
    case StationOutcome::kOutside:
      return line + "stopped outside the window, " + where + ", at " + Seconds(s.time_ms) + " s";
    case StationOutcome::kPassed:
      return line + "passed without stopping";
    case StationOutcome::kNotReached:
      return line + "not reached";
    case StationOutcome::kNoTarget:
      return line + "stood on the host's mark, " + where + ", at " + Seconds(s.time_ms) +
             " s; no stop target: the unit's window does not serve this station";
    case StationOutcome::kWrongTarget:
      return line + "stood on the host's mark, " + where + ", at " + Seconds(s.time_ms) +
             " s, but the unit's stop-window lamp never lit: its stop-target beacon at " +
             Metres(s.target_beacon) + " carries " + Grouped(s.target, 0) + " m";
    case StationOutcome::kWindowDark:
      return line + "stood on the host's mark, " + where + ", at " + Seconds(s.time_ms) +
             " s, but the unit's stop-window lamp never lit";
  }
  return line;
}

}  // namespace

std::optional<float> CheckedLimit(const ATS_BEACONDATA& b) {
  for (const SpeedCheck& e : kSpeedChecks) {
    if (e.type != b.Type) continue;
    // The table's row for this type is an example: the limit is the
    // beacon's own data word, whatever the example's.
    if (e.type == kLimitInDataWordType) return static_cast<float>(b.Optional);
    const bool signal = e.signal == kAnyWord || e.signal == b.Signal;
    const bool word = e.optional == kAnyWord || e.optional == b.Optional;
    if (signal && word) return e.limit_kmh;
  }
  return std::nullopt;
}

float DerivedSpeed(double from_location, int32_t from_ms, double to_location, int32_t to_ms) {
  // The unit's own steps: host times wrap, and locations narrow to float32.
  const int32_t elapsed = WrappedMs(to_ms, from_ms);
  const float distance = Float32Location(to_location) - Float32Location(from_location);
  return distance * kMsPerHour / static_cast<float>(elapsed);
}

std::string BeaconWords(const ATS_BEACONDATA& b) {
  std::string w = "beacon type " + std::to_string(b.Type);
  if (b.Type != kLimitInDataWordType) w += " signal " + std::to_string(b.Signal);
  if (b.Optional != 0 || b.Type == kLimitInDataWordType) {
    w += " optional " + std::to_string(b.Optional);
  }
  return w;
}

int Verdict::missed_stations() const {
  int missed = 0;
  for (const StationReport& s : stations) {
    if (s.outcome == StationOutcome::kPassed || s.outcome == StationOutcome::kNotReached) {
      ++missed;
    }
  }
  return missed;
}

int Verdict::dark_stations(bool strict) const {
  int dark = 0;
  for (const StationReport& s : stations) {
    dark += s.outcome == StationOutcome::kWrongTarget || s.outcome == StationOutcome::kWindowDark ||
            (strict && s.outcome == StationOutcome::kNoTarget);
  }
  return dark;
}

bool Verdict::got_through(bool strict) const {
  return trips.empty() && missed_stations() == 0 && dark_stations(strict) == 0 &&
         ending == Ending::kEndReached;
}

std::vector<std::string> VerdictLines(const Verdict& v) {
  std::vector<std::string> lines;
  const std::string at = Metres(v.end_location);
  switch (v.ending) {
    case Ending::kEndReached:
      lines.push_back("reached the end at " + Seconds(v.end_ms) + " s, at " + at);
      break;
    case Ending::kTimeCap:
      lines.push_back("the time cap of " + Shortest(v.cap_s) + " s reached at " + at +
                      ", before the end");
      break;
    case Ending::kStoodTripped:
      lines.push_back("stood tripped from " + Seconds(v.stood_since_ms) + " s at " + at);
      break;
    case Ending::kHeldAtSignal:
      lines.push_back("held at " + at + " from " + Seconds(v.stood_since_ms) +
                      " s before the stop signal at " + Metres(v.signal_location) +
                      ": a careful driver cannot pass it");
      break;
  }
  for (const TripReport& t : v.trips) lines.push_back(TripLine(t));
  for (const StationReport& s : v.stations) lines.push_back(StationLine(s));
  for (const std::string& h : v.hints) lines.push_back("hint: " + h);
  if (v.reservoir_low()) {
    lines.push_back("main reservoir ran low: " + Fixed(v.lowest_mr, 1) + " kPa at " +
                    Seconds(v.lowest_mr_ms) + " s, below the " + Shortest(v.reservoir_needed) +
                    " kPa the emergency brake needs");
  }
  return lines;
}

}  // namespace atshost
