#include "host/check.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "host/io/plugin_library.h"
#include "host/reference/cab_reference.h"
#include "host/sim/format.h"

// MinGW's win32 thread model has no std::thread; there the workers are
// Windows threads.
#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
#include <thread>
#define ATS_STD_THREADS 1
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace atshost {
namespace {

namespace fs = std::filesystem;

#if !defined(ATS_STD_THREADS) && defined(_WIN32)
struct Job {
  const std::function<void(unsigned)>* work;
  unsigned index;
};

DWORD WINAPI RunJob(LPVOID p) {
  const Job& job = *static_cast<const Job*>(p);
  (*job.work)(job.index);
  return 0;
}
#endif

// Runs work(0) .. work(n - 1) side by side and waits for them all.
void SideBySide(unsigned n, const std::function<void(unsigned)>& work) {
#if defined(ATS_STD_THREADS)
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < n; ++i) threads.emplace_back(work, i);
  for (std::thread& t : threads) t.join();
#elif defined(_WIN32)
  std::vector<Job> jobs(n);
  std::vector<HANDLE> handles;
  for (unsigned i = 0; i < n; ++i) {
    jobs[i] = {&work, i};
    const HANDLE h = CreateThread(nullptr, 0, RunJob, &jobs[i], 0, nullptr);
    if (h == nullptr) {
      work(i);  // no thread to be had: this one here and now
    } else {
      handles.push_back(h);
    }
  }
  for (HANDLE h : handles) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
  }
#else
  for (unsigned i = 0; i < n; ++i) work(i);
#endif
}

// The chart of a check needs no more than a point every few metres.
constexpr double kCurveStepM = 5.0;

// Collects a thinned curve of speed over distance.
class CurveSink : public FrameSink {
 public:
  explicit CurveSink(std::vector<std::pair<double, float>>& curve) : curve_(curve) {}
  void OnFrame(const FrameRecord& r) override {
    const double at = r.state.Location;
    const bool stand_changed = (r.state.Speed == 0.0f) != (last_speed_ == 0.0f);
    if (curve_.empty() || at - last_ >= kCurveStepM || at < last_ || stand_changed) {
      curve_.emplace_back(at, r.state.Speed);
      last_ = at;
    }
    last_speed_ = r.state.Speed;
  }

 private:
  std::vector<std::pair<double, float>>& curve_;
  double last_ = 0.0;
  float last_speed_ = 0.0f;
};

bool SameBeacon(const ATS_BEACONDATA& a, const ATS_BEACONDATA& b) {
  return a.Type == b.Type && a.Signal == b.Signal && a.Optional == b.Optional;
}

// Characters as a terminal counts them: UTF-8 continuation bytes take no
// column.
std::size_t Columns(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string Pad(std::string s, std::size_t width, bool right = false) {
  const std::size_t have = Columns(s);
  if (have >= width) return s;
  const std::string fill(width - have, ' ');
  return right ? fill + s : s + fill;
}

// The unit's own table of type 0 limits: which data words go with a signal.
// Empty when the beacon checks a speed.
std::string WhyNothingChecked(const ATS_BEACONDATA& b) {
  constexpr int32_t kSignalType = 0;
  if (b.Type != kSignalType || CheckedLimit(b)) return "";
  std::vector<int32_t> words;
  for (const reference::SpeedLimitEntry& e : reference::kSpeedLimits) {
    if (e.type == kSignalType && e.signal == b.Signal) words.push_back(e.optional);
  }
  const std::string signal = "signal " + std::to_string(b.Signal);
  if (words.empty()) return signal + " is no limit the unit knows";
  std::string list;
  for (std::size_t i = 0; i < words.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::to_string(words[i]);
  }
  return signal + " checks a speed only with optional " + list;
}

// How badly a drive fared, worst first: trips, stations missed, held at a
// signal or stopped by the time cap, stops outside the window.
std::tuple<std::size_t, int, int, int> Badness(const CheckDrive& d) {
  const Verdict& v = d.result.verdict;
  int outside = 0;
  for (const StationReport& s : v.stations) outside += s.outcome == StationOutcome::kOutside;
  return {v.trips.size() + (d.fault.empty() ? 0 : 1), v.missed_stations() + v.dark_stations(),
          v.ending == Ending::kEndReached ? 0 : 1, outside};
}

// The thinnest margin a drive left below any limit, km/h.
double Thinnest(const CheckDrive& d) {
  double thinnest = 1e9;
  for (const LimitPass& p : d.result.limit_passes) {
    if (p.unit_on) thinnest = std::min(thinnest, double{p.limit_kmh} - p.checked_kmh);
  }
  return thinnest;
}

void BuildRows(const Route& route, CheckResult& r) {
  for (const BeaconPlacement& b : route.beacons) {
    LimitRow row;
    row.location = b.location;
    row.beacon = b.beacon;
    row.clears = b.clear_after_s;
    if (const std::optional<float> limit = CheckedLimit(b.beacon)) {
      row.limit = *limit;
    } else {
      row.checks_nothing = WhyNothingChecked(b.beacon);
      if (row.checks_nothing.empty()) continue;
    }
    r.rows.push_back(row);
  }
  for (const CheckDrive& d : r.drives) {
    // A drive passes the beacons in order of location, so its passes are
    // found in the rows in one walk.
    std::size_t row = 0;
    for (const LimitPass& p : d.result.limit_passes) {
      while (row < r.rows.size() &&
             !(r.rows[row].location == p.location &&
               (SameBeacon(r.rows[row].beacon, p.beacon) || r.rows[row].clears))) {
        ++row;
      }
      if (row == r.rows.size()) break;
      LimitRow& lr = r.rows[row++];
      lr.reached = true;
      // A signal that cleared is checked against what it carried then.
      if (lr.clears) lr.limit = p.limit_kmh;
      if (p.unit_on && (!lr.fastest || p.checked_kmh > *lr.fastest)) {
        lr.fastest = p.checked_kmh;
        lr.fastest_by = d.driver.name;
      }
    }
  }
}

}  // namespace

const std::vector<CarefulDriver>& CarefulFamily() {
  static const std::vector<CarefulDriver> family = {
      {"thin", 2.0, 4, false},           {"thin-hold", 2.0, 4, true},
      {"comfortable", 5.0, 4, false},    {"comfortable-hold", 5.0, 4, true},
      {"gentle-braking", 2.0, 3, false}, {"late-braking", 2.0, 7, true},
  };
  return family;
}

Route WithDriver(const Route& route, const CarefulDriver& d) {
  Route r = route;
  r.driver.keep_limits = true;
  r.driver.margin = d.margin;
  r.driver.approach_notch = std::clamp(d.approach_notch, 1, r.model.brake_notches);
  r.driver.speed_hold = d.speed_hold;
  return r;
}

std::string CheckResult::fault() const {
  for (const CheckDrive& d : drives) {
    if (!d.fault.empty()) return d.driver.name + std::string(" driving: ") + d.fault;
  }
  return "";
}

bool CheckResult::clean() const {
  return steps.empty() && std::all_of(drives.begin(), drives.end(), [&](const CheckDrive& d) {
           return d.ran && d.fault.empty() && d.result.verdict.got_through(strict);
         });
}

CheckResult RunCheck(const Route& route, const std::string& plugin, const std::string& scratch,
                     unsigned workers, std::string& error, bool strict) {
  CheckResult result;
  result.strict = strict;
  result.steps = UnmeetableLimitSteps(route);
  const std::vector<CarefulDriver>& family = CarefulFamily();
  for (const CarefulDriver& d : family) result.drives.push_back({d, {}, {}, {}});
  workers = std::clamp<unsigned>(workers, 1, static_cast<unsigned>(family.size()));
#if !defined(_WIN32)
  // A Windows DLL runs under the one emulator there is: one drive at a time.
  if (fs::path(plugin).extension() == ".dll") workers = 1;
#endif

  // Each worker's own copy of the library, so that each has a unit of its
  // own: a library opened twice by one path is the same library, and a
  // Windows loader may take one of the same name for it too, so each copy
  // has a name of its own.
  std::vector<std::string> paths(workers, plugin);
  std::error_code ec;
  if (workers > 1) {
    fs::create_directories(scratch, ec);
    const fs::path original(plugin);
    for (unsigned i = 0; i < workers && !ec; ++i) {
      paths[i] = (fs::path(scratch) / (original.stem().string() + "-worker" + std::to_string(i) +
                                       original.extension().string()))
                     .string();
      fs::copy_file(plugin, paths[i], fs::copy_options::overwrite_existing, ec);
    }
    if (ec) {
      error = "cannot copy the plug-in library into '" + scratch + "': " + ec.message();
      fs::remove_all(scratch, ec);
      return result;
    }
  }

  std::atomic<std::size_t> next{0};
  // Once the plug-in has failed, no further drive starts: a library that
  // failed is in no state to be trusted with another.
  std::atomic<bool> failed{false};
  std::vector<std::string> errors(workers);
  SideBySide(workers, [&](unsigned w) {
    std::unique_ptr<PluginLibrary> library;
    try {
      library = PluginLibrary::Open(paths[w]);
    } catch (const PluginLoadError& e) {
      errors[w] = e.what();
      return;
    }
    for (std::size_t i = next++; i < result.drives.size() && !failed; i = next++) {
      CheckDrive& d = result.drives[i];
      CurveSink curve(d.curve);
      Session session(library->api(), {&curve});
      d.ran = true;
      try {
        d.result = Drive(WithDriver(route, d.driver), session);
      } catch (const PluginFault& e) {
        d.fault = "the plug-in failed in " + e.entry() + ": " + e.what();
        failed = true;
        return;
      }
    }
  });
  if (workers > 1) fs::remove_all(scratch, ec);
  for (const std::string& e : errors) {
    if (!e.empty()) error = e;
  }

  BuildRows(route, result);
  for (std::size_t i = 1; i < result.drives.size(); ++i) {
    const CheckDrive& a = result.drives[i];
    const CheckDrive& worst = result.drives[result.worst];
    if (Badness(a) > Badness(worst) ||
        (Badness(a) == Badness(worst) && Thinnest(a) < Thinnest(worst))) {
      result.worst = i;
    }
  }
  return result;
}

LimitRowWords RowWords(const LimitRow& row) {
  if (!row.checks_nothing.empty()) return {"-", "checks nothing: " + row.checks_nothing};
  if (!row.fastest) {
    if (row.limit <= 0.0f && !row.reached) return {"-", "a stop signal: not passed"};
    return {"-", row.reached ? "passed with the unit off" : "not reached"};
  }
  const double margin = double{row.limit} - double{*row.fastest};
  return {Kmh(*row.fastest), Kmh(margin) + " (" + row.fastest_by + ")", margin < 0.0};
}

std::vector<std::string> CheckTable(const CheckResult& r) {
  std::vector<std::string> lines;
  if (r.rows.empty()) {
    lines.push_back("no speed-check beacons on the route");
    return lines;
  }
  // Each column as wide as its widest cell, and never narrower than the
  // widths the table has always had.
  struct Cells {
    std::string location, beacon, limit, fastest, margin;
  };
  std::vector<Cells> cells = {{"location", "beacon", "limit", "fastest", "thinnest margin"}};
  for (const LimitRow& row : r.rows) {
    const LimitRowWords words = RowWords(row);
    std::string beacon = BeaconWords(row.beacon);
    if (row.clears) beacon += " clear-after " + Shortest(*row.clears);
    cells.push_back({Metres(row.location), beacon,
                     row.checks_nothing.empty() ? Shortest(row.limit) + " km/h" : "-",
                     words.fastest, words.margin});
  }
  std::size_t w_location = 12, w_beacon = 32, w_limit = 10, w_fastest = 12;
  for (const Cells& c : cells) {
    w_location = std::max(w_location, Columns(c.location));
    w_beacon = std::max(w_beacon, Columns(c.beacon) + 2);
    w_limit = std::max(w_limit, Columns(c.limit) + 2);
    w_fastest = std::max(w_fastest, Columns(c.fastest) + 2);
  }
  for (const Cells& c : cells) {
    lines.push_back(Pad(c.location, w_location, true) + "  " + Pad(c.beacon, w_beacon) +
                    Pad(c.limit, w_limit, true) + Pad(c.fastest, w_fastest, true) + "  " +
                    c.margin);
  }
  return lines;
}

namespace {

// One problem as the report says it once for every driver it affects: the
// words without what differs from driver to driver (times, where each stood),
// and the place it is at, by which the report is ordered.
struct Problem {
  double place = 0.0;
  std::string words;
  std::vector<std::string> drivers;
  std::string fix;  // what would put it right, if the report knows
};

// Stations and other places after every beacon at the same location.
constexpr double kLast = 1e300;

void Add(std::vector<Problem>& problems, double place, const std::string& words, const char* driver,
         const std::string& fix = "") {
  for (Problem& p : problems) {
    if (p.words == words) {
      if (std::find(p.drivers.begin(), p.drivers.end(), driver) == p.drivers.end()) {
        p.drivers.push_back(driver);
      }
      return;
    }
  }
  problems.push_back({place, words, {driver}, fix});
}

// What would make a station's stop count, where the route is at fault.
std::string StationFix(const StationReport& s) {
  const std::string at = Grouped(s.location, 0);
  switch (s.outcome) {
    case StationOutcome::kWrongTarget:
      return "give the stop-target beacon at " + Metres(s.target_beacon) + " optional=" + at;
    case StationOutcome::kNoTarget:
      return "put a type 12 beacon with optional=" + at + " before the station";
    case StationOutcome::kPassed:
    case StationOutcome::kNotReached:
      return "see the problems before it on the line";
    default:
      return "";
  }
}

std::string StationProblem(const StationReport& s) {
  std::string at =
      (s.name.empty() ? "station at " : "station " + s.name + " at ") + Metres(s.location) + ": ";
  switch (s.outcome) {
    case StationOutcome::kOutside:
      return at + "stopped outside the window";
    case StationOutcome::kPassed:
      return at + "passed without stopping";
    case StationOutcome::kNotReached:
      return at + "not reached";
    case StationOutcome::kNoTarget:
      return at + "no stop target: the unit's window does not serve this station";
    case StationOutcome::kWrongTarget:
      return at + "the unit's stop-window lamp never lit: its stop-target beacon at " +
             Metres(s.target_beacon) + " carries " + Grouped(s.target, 0) + " m";
    case StationOutcome::kWindowDark:
      return at + "the unit's stop-window lamp never lit";
    case StationOutcome::kInWindow:
      break;
  }
  return "";
}

void DriveProblems(const CheckDrive& d, std::vector<Problem>& problems) {
  const char* who = d.driver.name;
  const Verdict& v = d.result.verdict;
  if (!d.fault.empty()) Add(problems, -kLast, d.fault, who);
  switch (v.ending) {
    case Ending::kEndReached:
      break;
    case Ending::kTimeCap:
      Add(problems, kLast, "the time cap of " + Shortest(v.cap_s) + " s reached before the end",
          who);
      break;
    case Ending::kStoodTripped:
      Add(problems, kLast, "stood tripped at the end of the run", who);
      break;
    case Ending::kHeldAtSignal:
      Add(problems, v.signal_location,
          "held before the stop signal at " + Metres(v.signal_location) +
              ": a careful driver cannot pass it",
          who, "let it clear (clear-after=S) or take it away");
      break;
  }
  for (const TripReport& t : v.trips) {
    if (t.beacon) {
      Add(problems, t.beacon_location,
          "trip at " + BeaconWords(*t.beacon) + " at " + Metres(t.beacon_location) + ", limit " +
              Shortest(t.limit_kmh) + " km/h" + (t.unit_off ? " (while the unit was off)" : ""),
          who, "move the check further from the one before it, or raise its limit");
    } else {
      Add(problems, t.location, "trip not at a speed check (a key, the doors or the handles)", who);
    }
  }
  for (const StationReport& s : v.stations) {
    if (s.outcome != StationOutcome::kInWindow) {
      Add(problems, s.location, StationProblem(s), who, StationFix(s));
    }
  }
  for (const std::string& h : v.hints) Add(problems, kLast, "hint: " + h, who);
  if (v.reservoir_low()) {
    Add(problems, kLast,
        "main reservoir ran low, below the " + Shortest(v.reservoir_needed) +
            " kPa the emergency brake needs",
        who);
  }
}

// The drives' problems, each once, in order of place; and how many drives
// ran.
std::vector<Problem> GroupedProblems(const CheckResult& r, std::size_t& ran) {
  std::vector<Problem> problems;
  ran = 0;
  for (const CheckDrive& d : r.drives) {
    if (!d.ran) continue;
    ++ran;
    DriveProblems(d, problems);
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Problem& a, const Problem& b) { return a.place < b.place; });
  return problems;
}

}  // namespace

std::vector<std::string> CheckFixes(const Route& route, const CheckResult& r) {
  std::vector<std::string> fixes;
  for (const LimitStep& step : r.steps) {
    const double more = step.needed - step.available();
    double whole = static_cast<double>(static_cast<int64_t>(more < 1e9 ? more : 1e9));
    if (whole < more) whole += 1.0;
    const std::string lower =
        "lower the check before it to " + std::to_string(HighestMeetable(route, step)) + " km/h";
    fixes.push_back(more < 1e9 ? "move the " + Shortest(step.to_kmh) + " km/h check on by " +
                                     Grouped(whole, 0) + " m, or " + lower
                               : lower);
  }
  std::size_t ran = 0;
  for (const Problem& p : GroupedProblems(r, ran)) fixes.push_back(p.fix);
  return fixes;
}

std::vector<std::string> CheckProblems(const CheckResult& r) {
  std::vector<std::string> lines;
  for (const LimitStep& step : r.steps) lines.push_back(LimitStepLine(step));
  std::size_t ran = 0;
  for (const Problem& p : GroupedProblems(r, ran)) {
    std::string who = std::to_string(p.drivers.size()) + " of " + std::to_string(ran) +
                      (ran == 1 ? " driver" : " drivers");
    if (p.drivers.size() < ran) {
      who += " (";
      for (std::size_t i = 0; i < p.drivers.size(); ++i) who += (i ? ", " : "") + p.drivers[i];
      who += ")";
    }
    lines.push_back(who + ": " + p.words);
  }
  return lines;
}

std::string CheckSummary(const CheckResult& r) {
  int tripped = 0, missed = 0, capped = 0, faulted = 0, dark = 0;
  std::vector<double> signals;
  std::size_t ran = 0;
  for (const CheckDrive& d : r.drives) {
    if (!d.ran) continue;
    ++ran;
    const Verdict& v = d.result.verdict;
    tripped += v.trips.empty() ? 0 : 1;
    missed += v.missed_stations() > 0 ? 1 : 0;
    dark += v.dark_stations(r.strict) > 0 ? 1 : 0;
    capped += v.ending == Ending::kTimeCap ? 1 : 0;
    faulted += d.fault.empty() ? 0 : 1;
    if (v.ending == Ending::kHeldAtSignal &&
        std::find(signals.begin(), signals.end(), v.signal_location) == signals.end()) {
      signals.push_back(v.signal_location);
    }
  }
  std::string s = std::to_string(ran) + " drives: ";
  if (r.clean()) {
    return s + "every careful driver got through without a trip or a missed station";
  }
  std::vector<std::string> parts;
  if (!r.steps.empty()) {
    parts.push_back(std::to_string(r.steps.size()) +
                    (r.steps.size() == 1 ? " speed-check step" : " speed-check steps") +
                    " no driver can meet");
  }
  if (tripped > 0) parts.push_back(std::to_string(tripped) + " tripped");
  if (missed > 0) parts.push_back(std::to_string(missed) + " missed a station");
  if (dark > 0) parts.push_back(std::to_string(dark) + " stood where the unit's window is dark");
  for (double at : signals)
    parts.push_back("the stop signal at " + Metres(at) + " cannot be passed");
  if (capped > 0) parts.push_back(std::to_string(capped) + " did not reach the end in time");
  if (faulted > 0) parts.push_back(std::to_string(faulted) + " failed in the plug-in");
  for (std::size_t i = 0; i < parts.size(); ++i) s += (i > 0 ? ", " : "") + parts[i];
  return s + ": the route would trip or stop a careful driver";
}

}  // namespace atshost
