#include "host/route.h"

#include <algorithm>

#include "host/actions.h"
#include "host/text_input.h"

namespace atshost {
namespace {

// Longest run a route may ask for: an hour of host time.
constexpr double kMaxRunSeconds = 3600.0;

double Get(const Fields& f, const std::map<std::string, std::string>& kv, const char* name,
           double fallback) {
  return kv.count(name) != 0 ? ParseNumber(f, kv.at(name), name) : fallback;
}

int32_t GetInt(const Fields& f, const std::map<std::string, std::string>& kv, const char* name,
               int32_t fallback) {
  return kv.count(name) != 0 ? ParseInt(f, kv.at(name), name) : fallback;
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
    unit = f.Word("unit 's' or 'm' after '" + word + "'");
  }
  if (unit != "s" && unit != "m") f.Fail("unit must be 's' or 'm', not '" + unit + "'");
  a.by_location = unit == "m";
  a.at = ParseNumber(f, word, a.by_location ? "location" : "time");
  return a;
}

}  // namespace

Route ParseRoute(const std::string& text, const std::string& file) {
  Route r;
  r.file = file;
  for (const Line& line : SplitLines(text, file)) {
    Fields f(line);
    const std::string word = f.Word("command");
    if (word == "vehicle") {
      const auto kv = f.KeyValues({"brake-notches", "power-notches"});
      r.model.brake_notches = GetInt(f, kv, "brake-notches", r.model.brake_notches);
      r.model.power_notches = GetInt(f, kv, "power-notches", r.model.power_notches);
      if (r.model.brake_notches < 1 || r.model.brake_notches > 100) {
        f.Fail("brake-notches must be 1 to 100");
      }
      if (r.model.power_notches < 1 || r.model.power_notches > 100) {
        f.Fail("power-notches must be 1 to 100");
      }
    } else if (word == "model") {
      const auto kv = f.KeyValues(ModelParams::Names());
      if (kv.empty()) f.Fail("missing name=value after 'model'");
      for (const auto& [name, value] : kv) {
        if (!r.model.Set(name, ParseNumber(f, value, name))) {
          f.Fail("value " + value + " is out of range for " + name);
        }
      }
    } else if (word == "driver") {
      const auto kv = f.KeyValues({"approach-notch", "creep-speed"});
      r.driver.approach_notch = GetInt(f, kv, "approach-notch", r.driver.approach_notch);
      r.driver.creep_speed = Get(f, kv, "creep-speed", r.driver.creep_speed);
      if (r.driver.approach_notch < 1) f.Fail("approach-notch must be 1 or more");
      if (r.driver.creep_speed <= 0.0) f.Fail("creep-speed must be above 0");
    } else if (word == "start") {
      const auto kv =
          f.KeyValues({"location", "time", "dt", "doors", "reverser", "power", "brake", "mr"});
      r.start_location = Get(f, kv, "location", r.start_location);
      r.start_time_ms = GetInt(f, kv, "time", r.start_time_ms);
      r.frame_ms = GetInt(f, kv, "dt", r.frame_ms);
      if (r.frame_ms < 1 || r.frame_ms > 1000) f.Fail("dt must be 1 to 1000 ms");
      r.reverser = GetInt(f, kv, "reverser", r.reverser);
      if (r.reverser < -1 || r.reverser > 1) f.Fail("reverser must be -1, 0 or 1");
      r.power = GetInt(f, kv, "power", r.power);
      if (kv.count("brake") != 0) r.brake = GetInt(f, kv, "brake", 0);
      r.mr = Get(f, kv, "mr", r.mr);
      if (kv.count("doors") != 0) {
        const std::string& d = kv.at("doors");
        if (d != "open" && d != "closed") f.Fail("doors must be 'open' or 'closed'");
        r.doors_closed = d == "closed";
      }
    } else if (word == "end") {
      const auto kv = f.KeyValues({"time", "location"});
      if (kv.empty()) f.Fail("missing time=S or location=M after 'end'");
      if (kv.count("time") != 0) {
        r.end_time_s = Get(f, kv, "time", 0.0);
        if (*r.end_time_s <= 0.0 || *r.end_time_s > kMaxRunSeconds) {
          f.Fail("end time must be above 0 and at most 3600 s");
        }
      }
      if (kv.count("location") != 0) r.end_location = Get(f, kv, "location", 0.0);
    } else if (word == "beacon") {
      BeaconPlacement b;
      b.location = f.Number("beacon location");
      const auto kv = f.KeyValues({"type", "signal", "optional"});
      if (kv.count("type") == 0) f.Fail("missing type=N for beacon");
      b.beacon.Type = GetInt(f, kv, "type", 0);
      b.beacon.Signal = GetInt(f, kv, "signal", 0);
      b.beacon.Optional = GetInt(f, kv, "optional", 0);
      r.beacons.push_back(b);
    } else if (word == "gradient") {
      Gradient g;
      g.from = f.Number("gradient start location");
      g.permille = f.Number("gradient in permille");
      f.End();
      if (g.permille < -100.0 || g.permille > 100.0)
        f.Fail("gradient must be -100 to 100 permille");
      r.gradients.push_back(g);
    } else if (word == "station") {
      StationStop s;
      s.location = f.Number("station stop location");
      const auto kv = f.KeyValues({"open", "closed", "depart"});
      s.open_s = Get(f, kv, "open", s.open_s);
      s.closed_s = Get(f, kv, "closed", s.closed_s);
      if (s.open_s < 0.0 || s.closed_s < 0.0) f.Fail("dwell times must not be negative");
      if (kv.count("depart") != 0) s.depart_power = GetInt(f, kv, "depart", 0);
      r.stations.push_back(s);
    } else if (word == "at") {
      RouteAction a = ParseWhen(f);
      if (f.done()) f.Fail("missing action after 'at'");
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
          f.Fail("empty action after 'at'");
        }
        const Line sub{line.file, line.number, group};
        Fields g(sub);
        if (!ParseAction(g, a.events)) g.Fail("unknown action '" + g.Peek() + "'");
        g.End();
      }
      r.actions.push_back(std::move(a));
    } else {
      f.Fail("unknown command '" + word + "'");
    }
  }
  auto by_location = [](const auto& a, const auto& b) { return a.location < b.location; };
  std::stable_sort(r.beacons.begin(), r.beacons.end(), by_location);
  std::stable_sort(r.stations.begin(), r.stations.end(), by_location);
  return r;
}

}  // namespace atshost
