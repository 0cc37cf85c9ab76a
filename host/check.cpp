#include "host/check.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "host/io/plugin_library.h"
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

std::string Metres(double m) { return Grouped(m, 1) + " m"; }
std::string Kmh(double v) { return Fixed(v, 1) + " km/h"; }

std::string Pad(std::string s, std::size_t width, bool right = false) {
  if (s.size() >= width) return s;
  const std::string fill(width - s.size(), ' ');
  return right ? fill + s : s + fill;
}

// How badly a drive fared, worst first: trips, stations missed, held at a
// signal or stopped by the time cap, stops outside the window.
std::tuple<std::size_t, int, int, int> Badness(const CheckDrive& d) {
  const Verdict& v = d.result.verdict;
  int outside = 0;
  for (const StationReport& s : v.stations) outside += s.outcome == StationOutcome::kOutside;
  return {v.trips.size() + (d.fault.empty() ? 0 : 1), v.missed_stations(),
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
    if (const std::optional<float> limit = CheckedLimit(b.beacon)) {
      r.rows.push_back({b.location, b.beacon, *limit, std::nullopt, {}});
    }
  }
  for (const CheckDrive& d : r.drives) {
    // A drive passes the beacons in order of location, so its passes are
    // found in the rows in one walk.
    std::size_t row = 0;
    for (const LimitPass& p : d.result.limit_passes) {
      while (row < r.rows.size() &&
             !(r.rows[row].location == p.location && SameBeacon(r.rows[row].beacon, p.beacon))) {
        ++row;
      }
      if (row == r.rows.size()) break;
      LimitRow& lr = r.rows[row++];
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

bool CheckResult::clean() const {
  return std::all_of(drives.begin(), drives.end(), [](const CheckDrive& d) {
    return d.fault.empty() && d.result.verdict.got_through();
  });
}

CheckResult RunCheck(const Route& route, const std::string& plugin, const std::string& scratch,
                     unsigned workers, std::string& error) {
  CheckResult result;
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
  std::vector<std::string> errors(workers);
  SideBySide(workers, [&](unsigned w) {
    std::unique_ptr<PluginLibrary> library;
    try {
      library = PluginLibrary::Open(paths[w]);
    } catch (const PluginLoadError& e) {
      errors[w] = e.what();
      return;
    }
    for (std::size_t i = next++; i < result.drives.size(); i = next++) {
      CheckDrive& d = result.drives[i];
      CurveSink curve(d.curve);
      Session session(library->api(), {&curve});
      try {
        d.result = Drive(WithDriver(route, d.driver), session);
      } catch (const PluginFault& e) {
        d.fault = "the plug-in failed in " + e.entry() + ": " + e.what();
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
  if (!row.fastest) {
    return {"-", row.limit <= 0.0f ? "a stop signal: not passed" : "not passed with the unit on"};
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
  lines.push_back(Pad("location", 12, true) + "  " + Pad("beacon", 32) + Pad("limit", 10, true) +
                  Pad("fastest", 12, true) + "  thinnest margin");
  for (const LimitRow& row : r.rows) {
    std::string line = Pad(Metres(row.location), 12, true) + "  " +
                       Pad(BeaconWords(row.beacon), 32) +
                       Pad(Shortest(row.limit) + " km/h", 10, true);
    const LimitRowWords words = RowWords(row);
    line += Pad(words.fastest, 12, true) + "  " + words.margin;
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CheckProblems(const CheckResult& r) {
  std::vector<std::string> lines;
  for (const CheckDrive& d : r.drives) {
    const std::string who = std::string(d.driver.name) + ": ";
    if (!d.fault.empty()) lines.push_back(who + d.fault);
    const Verdict& v = d.result.verdict;
    const std::vector<std::string> words = VerdictLines(v);
    // The ending, unless the route's end was reached; then each trip, each
    // station not stopped at in the window, and a reservoir run low.
    std::size_t line = 0;
    if (v.ending != Ending::kEndReached) lines.push_back(who + words[0]);
    ++line;
    for (std::size_t i = 0; i < v.trips.size(); ++i) lines.push_back(who + words[line++]);
    for (const StationReport& s : v.stations) {
      if (s.outcome != StationOutcome::kInWindow) lines.push_back(who + words[line]);
      ++line;
    }
    for (; line < words.size(); ++line) lines.push_back(who + words[line]);
  }
  return lines;
}

std::string CheckSummary(const CheckResult& r) {
  int tripped = 0, missed = 0, capped = 0, faulted = 0;
  std::vector<double> signals;
  for (const CheckDrive& d : r.drives) {
    const Verdict& v = d.result.verdict;
    tripped += v.trips.empty() ? 0 : 1;
    missed += v.missed_stations() > 0 ? 1 : 0;
    capped += v.ending == Ending::kTimeCap ? 1 : 0;
    faulted += d.fault.empty() ? 0 : 1;
    if (v.ending == Ending::kHeldAtSignal &&
        std::find(signals.begin(), signals.end(), v.signal_location) == signals.end()) {
      signals.push_back(v.signal_location);
    }
  }
  std::string s = std::to_string(r.drives.size()) + " drives: ";
  if (r.clean()) {
    return s + "every careful driver got through without a trip or a missed station";
  }
  std::vector<std::string> parts;
  if (tripped > 0) parts.push_back(std::to_string(tripped) + " tripped");
  if (missed > 0) parts.push_back(std::to_string(missed) + " missed a station");
  for (double at : signals)
    parts.push_back("the stop signal at " + Metres(at) + " cannot be passed");
  if (capped > 0) parts.push_back(std::to_string(capped) + " did not reach the end in time");
  if (faulted > 0) parts.push_back(std::to_string(faulted) + " failed in the plug-in");
  for (std::size_t i = 0; i < parts.size(); ++i) s += (i > 0 ? ", " : "") + parts[i];
  return s + ": the route would trip or stop a careful driver";
}

}  // namespace atshost
