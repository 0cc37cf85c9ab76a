#include "host/sim/route.h"

#include <algorithm>

#include "host/sim/actions.h"
#include "host/sim/format.h"
#include "host/sim/session.h"
#include "host/sim/text_input.h"
#include "host/sim/units.h"

namespace atshost {
namespace {

// Longest run a route may ask for: an hour of host time.
constexpr double kMaxRunSeconds = 3600.0;
// The main reservoir's pressure at the start, kPa: as wide as the model's own.
constexpr double kMaxStartMr = 1500.0;
// Faster than this the driver does not creep up to a stop mark.
constexpr double kMaxCreepSpeed = 100.0;
// A careful driver's margin below the limits: wider would keep him below
// the slowest signal's.
constexpr double kMaxMarginKmh = 20.0;
// Beacons, stations, gradients and the driver's actions (each action of an
// `at` line counts) a route may have. The driver looks at the pending ones
// every frame and they all stay in memory for the run.
constexpr std::size_t kMaxRouteItems = 100000;

// Lines that may be given once only, and where they were.
struct Once {
  std::map<std::string, int> seen;
  void Check(const Fields& f, const std::string& word) {
    const auto [it, first] = seen.emplace(word, f.line().number);
    if (!first) {
      f.Fail("a second " + Quote(word) + " line (the first is line " + std::to_string(it->second) +
             ")");
    }
  }
};

double Get(const Fields& f, const std::map<std::string, std::string>& kv, const char* name,
           double fallback) {
  return kv.count(name) != 0 ? ParseNumber(f, kv.at(name), name) : fallback;
}

int32_t GetInt(const Fields& f, const std::map<std::string, std::string>& kv, const char* name,
               int32_t fallback) {
  return kv.count(name) != 0 ? ParseInt(f, kv.at(name), name) : fallback;
}

// A location: "800", "800m" or "800 m". Units are written the same way
// everywhere, attached or spaced.
double Location(Fields& f, const std::string& what) {
  std::string word = f.Word(what);
  if (f.failed()) return 0.0;
  if (word.size() > 1 && word.back() == 'm') {
    word.pop_back();
  } else if (!f.done() && f.Peek() == "m") {
    f.Word("unit");
  }
  return ParseNumber(f, word, what);
}

// A station's name="..." may hold blanks: its words are joined into one
// before the fields are read, the quotes taken off.
Line JoinName(const Line& line) {
  Line out{line.file, line.number, {}};
  for (std::size_t i = 0; i < line.words.size(); ++i) {
    std::string w = line.words[i];
    if (w.rfind("name=\"", 0) == 0) {
      while ((w.size() < 7 || w.back() != '"') && i + 1 < line.words.size()) {
        w += " " + line.words[++i];
      }
      if (w.size() >= 7 && w.back() == '"') w = "name=" + w.substr(6, w.size() - 7);
    }
    out.words.push_back(w);
  }
  return out;
}

// "12.5 s", "12.5s", "800 m" or "800m": a number with its unit.
RouteAction ParseWhen(Fields& f) {
  RouteAction a;
  a.line = f.line().number;
  std::string word = f.Word("time or location after 'at'");
  std::string unit;
  if (!word.empty() && (word.back() == 's' || word.back() == 'm')) {
    unit = word.substr(word.size() - 1);
    word.pop_back();
  } else {
    unit = f.Word("unit 's' or 'm' after " + Quote(word));
  }
  if (f.failed()) return a;
  if (unit != "s" && unit != "m") {
    f.Fail("unit must be 's' or 'm', not " + Quote(unit));
    return a;
  }
  a.by_location = unit == "m";
  a.at = ParseNumber(f, word, a.by_location ? "location" : "time");
  return a;
}

// What can only be judged with the whole route read: notches against the
// vehicle, stations against the start, the run's length against its frames.
// Only the first error counts, so the checks need not stop at one.
void CheckWhole(const Route& r, int start_line, int end_line, int driver_line,
                InputErrors& errors) {
  const std::string& file = r.file;
  const int32_t power_notches = r.model.power_notches;
  const int32_t emergency = r.model.brake_notches + 1;
  auto power_ok = [&](int32_t p) { return p >= 0 && p <= power_notches; };
  auto brake_ok = [&](int32_t b) { return b >= 0 && b <= emergency; };
  const std::string power_range = "0 to " + std::to_string(power_notches);
  const std::string brake_range = "0 to " + std::to_string(emergency) + " (emergency)";
  if (!power_ok(r.power)) {
    errors.At(file, start_line, "start power must be " + power_range + " for this vehicle");
  }
  if (r.brake && !brake_ok(*r.brake)) {
    errors.At(file, start_line, "start brake must be " + brake_range + " for this vehicle");
  }
  if (r.driver.approach_notch > r.model.brake_notches) {
    errors.At(file, driver_line,
              "approach-notch must be 1 to " + std::to_string(r.model.brake_notches) +
                  ", a service notch of this vehicle");
  }
  for (const RouteAction& a : r.actions) {
    for (const HostEvent& e : a.events) {
      if (e.kind == EventKind::kPower && !power_ok(e.value)) {
        errors.At(
            file, a.line,
            "power must be " + power_range + " for this vehicle, not " + std::to_string(e.value));
      }
      if (e.kind == EventKind::kBrake && !brake_ok(e.value)) {
        errors.At(
            file, a.line,
            "brake must be " + brake_range + " for this vehicle, not " + std::to_string(e.value));
      }
    }
  }
  for (std::size_t i = 0; i < r.stations.size(); ++i) {
    const StationStop& st = r.stations[i];
    if (st.depart_power && !power_ok(*st.depart_power)) {
      errors.At(file, st.line, "depart must be " + power_range + " for this vehicle");
    }
    if (!(st.location > r.start_location)) {
      errors.At(file, st.line,
                "the station at " + Shortest(st.location) + " m is not ahead of the start at " +
                    Shortest(r.start_location) + " m");
    }
    if (i > 0 && st.location == r.stations[i - 1].location) {
      const int first = std::min(st.line, r.stations[i - 1].line);
      errors.At(file, std::max(st.line, r.stations[i - 1].line),
                "a second station at " + Shortest(st.location) + " m (the first is line " +
                    std::to_string(first) + ")");
    }
  }
  if (r.end_location && !(*r.end_location > r.start_location)) {
    errors.At(file, end_line,
              "end location " + Shortest(*r.end_location) + " m is not ahead of the start at " +
                  Shortest(r.start_location) + " m");
  }
  const double longest_s = r.end_time_s ? *r.end_time_s : r.DefaultEndSeconds();
  if (longest_s * kMsPerS / r.frame_ms >= static_cast<double>(kMaxRunFrames)) {
    errors.At(file, r.end_time_s ? end_line : start_line,
              "a run of " + Shortest(longest_s) + " s at " + std::to_string(r.frame_ms) +
                  " ms a frame has more than " + std::to_string(kMaxRunFrames) +
                  " frames, the most one run may have: make dt larger or the run shorter");
  }
}

}  // namespace

std::optional<std::size_t> Route::Terminus() const {
  if (stations.empty()) return std::nullopt;
  if (end_location) {
    for (std::size_t i = 0; i < stations.size(); ++i) {
      if (stations[i].location == *end_location) return i;
    }
    return std::nullopt;
  }
  if (stations.back().depart_power) return std::nullopt;
  return stations.size() - 1;
}

std::string StationWords(const StationStop& station) {
  return station.name.empty() ? "station at " + Metres(station.location)
                              : "station " + station.name + " at " + Metres(station.location);
}

double Route::DefaultEndSeconds() const {
  return end_location || !stations.empty() ? kRunLimitSeconds : kDefaultRunSeconds;
}

namespace {

// A `vehicle` line.
void ParseVehicle(Fields& f, Route& r) {
  const auto kv = f.KeyValues({"brake-notches", "power-notches"});
  r.model.brake_notches = GetInt(f, kv, "brake-notches", r.model.brake_notches);
  r.model.power_notches = GetInt(f, kv, "power-notches", r.model.power_notches);
  if (f.failed()) return;
  if (r.model.brake_notches < 1 || r.model.brake_notches > 100) {
    return f.Fail("brake-notches must be 1 to 100");
  }
  if (r.model.power_notches < 1 || r.model.power_notches > 100) {
    return f.Fail("power-notches must be 1 to 100");
  }
}

// A `model` line.
void ParseModel(Fields& f, Route& r) {
  const auto kv = f.KeyValues(ModelParams::Names());
  if (f.failed()) return;
  if (kv.empty()) return f.Fail("missing name=value after 'model'");
  for (const auto& [name, value] : kv) {
    const double number = ParseNumber(f, value, name);
    if (f.failed()) return;
    const std::string wrong = r.model.Set(name, number);
    if (!wrong.empty()) return f.Fail(wrong + ", not " + value);
  }
  const std::string wrong = r.model.Inconsistency();
  if (!wrong.empty()) return f.Fail(wrong);
}

// A `driver` line.
void ParseDriverLine(Fields& f, Route& r) {
  const auto kv = f.KeyValues({"approach-notch", "creep-speed", "limits", "margin", "cruise"});
  r.driver.approach_notch = GetInt(f, kv, "approach-notch", r.driver.approach_notch);
  r.driver.creep_speed = Get(f, kv, "creep-speed", r.driver.creep_speed);
  r.driver.margin = Get(f, kv, "margin", r.driver.margin);
  if (f.failed()) return;
  if (r.driver.approach_notch < 1) return f.Fail("approach-notch must be 1 or more");
  if (!(r.driver.creep_speed > 0.0 && r.driver.creep_speed <= kMaxCreepSpeed)) {
    return f.Fail("creep-speed must be above 0 and at most " + Shortest(kMaxCreepSpeed) + " km/h");
  }
  if (kv.count("limits") != 0) {
    const std::string& l = kv.at("limits");
    if (l != "keep" && l != "ignore") return f.Fail("limits must be 'keep' or 'ignore'");
    r.driver.keep_limits = l == "keep";
  }
  if (kv.count("cruise") != 0) {
    const std::string& c = kv.at("cruise");
    if (c != "hold" && c != "coast") return f.Fail("cruise must be 'hold' or 'coast'");
    r.driver.speed_hold = c == "hold";
  }
  if ((kv.count("margin") != 0 || kv.count("cruise") != 0) && !r.driver.keep_limits) {
    return f.Fail("margin and cruise are the careful driver's: give limits=keep");
  }
  if (!(r.driver.margin >= 0.0 && r.driver.margin <= kMaxMarginKmh)) {
    return f.Fail("margin must be 0 to " + Shortest(kMaxMarginKmh) + " km/h");
  }
}

// A `start` line.
void ParseStart(Fields& f, Route& r) {
  const auto kv =
      f.KeyValues({"location", "time", "dt", "doors", "reverser", "power", "brake", "mr"});
  if (f.failed()) return;
  r.start_location = Get(f, kv, "location", r.start_location);
  r.start_time_ms = GetInt(f, kv, "time", r.start_time_ms);
  r.frame_ms = GetInt(f, kv, "dt", r.frame_ms);
  if (f.failed()) return;
  if (r.frame_ms < 1 || r.frame_ms > 1000) return f.Fail("dt must be 1 to 1000 ms");
  r.reverser = GetInt(f, kv, "reverser", r.reverser);
  if (f.failed()) return;
  if (r.reverser < -1 || r.reverser > 1) return f.Fail("reverser must be -1, 0 or 1");
  r.power = GetInt(f, kv, "power", r.power);
  if (kv.count("brake") != 0) r.brake = GetInt(f, kv, "brake", 0);
  r.mr = Get(f, kv, "mr", r.mr);
  if (f.failed()) return;
  if (r.mr < 0.0 || r.mr > kMaxStartMr) return f.Fail("mr must be 0 to 1500 kPa");
  if (kv.count("doors") != 0) {
    const std::string& d = kv.at("doors");
    if (d != "open" && d != "closed") return f.Fail("doors must be 'open' or 'closed'");
    r.doors_closed = d == "closed";
  }
}

// A `end` line.
void ParseEnd(Fields& f, Route& r) {
  const auto kv = f.KeyValues({"time", "location"});
  if (f.failed()) return;
  if (kv.empty()) return f.Fail("missing time=S or location=M after 'end'");
  if (kv.count("time") != 0) {
    r.end_time_s = Get(f, kv, "time", 0.0);
    if (f.failed()) return;
    if (*r.end_time_s <= 0.0 || *r.end_time_s > kMaxRunSeconds) {
      return f.Fail("end time must be above 0 and at most 3600 s");
    }
  }
  if (kv.count("location") != 0) r.end_location = Get(f, kv, "location", 0.0);
}

// A `beacon` line.
void ParseBeacon(Fields& f, Route& r, std::size_t& items) {
  BeaconPlacement b;
  b.location = Location(f, "beacon location");
  if (f.failed()) return;
  std::map<std::string, std::string> kv;
  b.beacon = ParseBeaconData(f, {"clear-after", "clear-signal"}, &kv);
  if (f.failed()) return;
  if (kv.count("clear-after") != 0) {
    if (b.beacon.Type != 0 || b.beacon.Signal != 0) {
      return f.Fail("clear-after is for a stop signal: type=0 signal=0");
    }
    b.clear_after_s = Get(f, kv, "clear-after", 0.0);
    b.clear_signal = GetInt(f, kv, "clear-signal", b.clear_signal);
    if (f.failed()) return;
    if (!(*b.clear_after_s >= 0.0 && *b.clear_after_s <= kMaxRunSeconds)) {
      return f.Fail("clear-after must be 0 to 3600 s");
    }
  } else if (kv.count("clear-signal") != 0) {
    return f.Fail("clear-signal needs clear-after=S");
  }
  r.beacons.push_back(b);
  ++items;
}

// A `gradient` line.
void ParseGradientLine(Fields& f, Route& r, std::size_t& items) {
  Gradient g;
  g.from = Location(f, "gradient start location");
  if (f.failed()) return;
  g.permille = f.Number("gradient in permille");
  if (f.failed()) return;
  f.End();
  if (f.failed()) return;
  if (g.permille < -100.0 || g.permille > 100.0) {
    return f.Fail("gradient must be -100 to 100 permille");
  }
  r.gradients.push_back(g);
  ++items;
}

// A `station` line.
void ParseStation(Fields& f, const Line& line, Route& r, std::size_t& items) {
  StationStop s;
  s.location = Location(f, "station stop location");
  if (f.failed()) return;
  const auto kv = f.KeyValues({"open", "closed", "depart", "name"});
  if (f.failed()) return;
  if (kv.count("name") != 0) {
    s.name = kv.at("name");
    if (!s.name.empty() && s.name[0] == '"') return f.Fail("name=\" has no closing quote");
    // Names are shown on the terminal and the pages as they stand.
    if (Printable(s.name) != s.name) return f.Fail("name is not plain UTF-8 text");
  }
  s.open_s = Get(f, kv, "open", s.open_s);
  s.closed_s = Get(f, kv, "closed", s.closed_s);
  if (f.failed()) return;
  if (s.open_s < 0.0 || s.closed_s < 0.0) return f.Fail("dwell times must not be negative");
  if (kv.count("depart") != 0) s.depart_power = GetInt(f, kv, "depart", 0);
  s.line = line.number;
  r.stations.push_back(s);
  ++items;
}

// A `at` line.
void ParseAt(Fields& f, const Line& line, InputErrors& errors, Route& r, std::size_t& items) {
  RouteAction a = ParseWhen(f);
  if (f.failed()) return;
  if (!a.by_location && a.at < 0.0) {
    return f.Fail("time must not be negative: the run starts at 0 s");
  }
  if (f.done()) return f.Fail("missing action after 'at'");
  // Several actions may share a line, separated by ';'.
  std::vector<std::vector<std::string>> groups(1);
  while (!f.done()) {
    const std::string w = f.Word("action");
    for (std::size_t from = 0;;) {
      const std::size_t semi = w.find(';', from);
      const std::string piece =
          w.substr(from, semi == std::string::npos ? std::string::npos : semi - from);
      if (!piece.empty()) groups.back().push_back(piece);
      if (semi == std::string::npos) break;
      groups.emplace_back();
      from = semi + 1;
    }
  }
  for (const std::vector<std::string>& group : groups) {
    if (group.empty()) {
      if (&group == &groups.back() && groups.size() > 1) continue;  // a trailing ';'
      return f.Fail("empty action after 'at'");
    }
    const Line sub{line.file, line.number, group};
    Fields g(sub, errors);
    if (!ParseAction(g, a.events)) {
      if (!g.failed()) g.Fail("unknown action " + Quote(g.Peek()));
      return;
    }
    g.End();
    if (g.failed()) return;
  }
  items += a.events.size();
  r.actions.push_back(std::move(a));
}
// Where the lines that may be given once were, and how many items there are.
struct RouteReading {
  Once once;
  int start_line = 0, end_line = 0, driver_line = 0;
  std::size_t items = 0;
};

// One line of a route, into `r`; returns at the first error.
void ParseRouteLine(const Line& read, InputErrors& errors, Route& r, RouteReading& reading) {
  const Line line = JoinName(read);
  Fields f(line, errors);
  std::size_t& items = reading.items;
  const std::string word = f.Word("command");
  if (word == "vehicle" || word == "start" || word == "end" || word == "driver") {
    reading.once.Check(f, word);
    if (f.failed()) return;
  }
  if (word == "start") reading.start_line = line.number;
  if (word == "end") reading.end_line = line.number;
  if (word == "driver") reading.driver_line = line.number;
  if (word == "vehicle") {
    ParseVehicle(f, r);
  } else if (word == "model") {
    ParseModel(f, r);
  } else if (word == "driver") {
    ParseDriverLine(f, r);
  } else if (word == "start") {
    ParseStart(f, r);
  } else if (word == "end") {
    ParseEnd(f, r);
  } else if (word == "beacon") {
    ParseBeacon(f, r, items);
  } else if (word == "gradient") {
    ParseGradientLine(f, r, items);
  } else if (word == "station") {
    ParseStation(f, line, r, items);
  } else if (word == "at") {
    ParseAt(f, line, errors, r, items);
  } else if (!f.failed()) {
    return f.Fail("unknown command " + Quote(word));
  }
  if (items > kMaxRouteItems) {
    f.Fail("more than " + std::to_string(kMaxRouteItems) +
           " beacons, stations, gradients and actions, the most a route may have");
  }
}

}  // namespace

Parsed<Route> ParseRoute(const std::string& text, const std::string& file) {
  Parsed<Route> parsed;
  Route& r = parsed.value;
  r.file = file;
  InputErrors errors;
  RouteReading reading;
  LineReader reader(text, file, errors);
  Line line;
  bool any = false;
  while (!errors.failed() && reader.Next(line)) {
    any = true;
    ParseRouteLine(line, errors, r, reading);
  }
  if (!errors.failed() && !any) errors.Set(file + ": " + kEmptyRoute);
  if (!errors.failed()) {
    auto by_location = [](const auto& a, const auto& b) { return a.location < b.location; };
    std::stable_sort(r.beacons.begin(), r.beacons.end(), by_location);
    std::stable_sort(r.stations.begin(), r.stations.end(), by_location);
    CheckWhole(r, reading.start_line, reading.end_line, reading.driver_line, errors);
  }
  if (!errors.failed() && r.actions.empty() && r.stations.empty() && r.beacons.empty()) {
    errors.Set(file + ": nothing to drive: no 'at' action, beacon or station");
  }
  if (errors.failed()) {
    parsed = Parsed<Route>();
    parsed.error = errors.message();
  }
  return parsed;
}

}  // namespace atshost
