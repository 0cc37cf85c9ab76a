// `atshost check`: would this route trip a careful driver? The route is
// driven by a family of careful drivers side by side, each on a plug-in of its
// own, and the results are put together by limit beacon: the fastest any of
// them passed it and the thinnest margin, every trip and every station not
// stopped at in the window.
#ifndef ATSHOST_CHECK_H
#define ATSHOST_CHECK_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/sim/braking.h"
#include "host/sim/drive.h"
#include "host/sim/route.h"

namespace atshost {

// One careful driver of the family.
struct CarefulDriver {
  const char* name;
  double margin;           // km/h below each limit
  int32_t approach_notch;  // where braking begins (clamped to the vehicle's notches)
  bool speed_hold;         // cruising on the notch-1 speed hold
};

// Thin and comfortable margins, gentle, ordinary and late braking, and with
// and without the speed hold, which may run 2 km/h over before it brakes.
const std::vector<CarefulDriver>& CarefulFamily();

// The route as this driver drives it.
Route WithDriver(const Route& route, const CarefulDriver& driver);

struct CheckDrive {
  CarefulDriver driver;
  DriveResult result;
  std::vector<std::pair<double, float>> curve;  // (location m, speed km/h), thinned
  std::string fault;                            // the plug-in failed: what and where
  bool ran = false;  // false: a drive before it faulted, and this one never ran
};

// A limit beacon as the family passed it.
struct LimitRow {
  double location = 0.0;
  ATS_BEACONDATA beacon{};
  float limit = 0.0f;
  std::optional<float> fastest;  // none if no switched-on unit checked it
  std::string fastest_by;
  bool reached = false;          // some drive passed it, with the unit on or off
  std::string checks_nothing;    // why a type 0 beacon checks no speed; empty if it does
  std::optional<double> clears;  // a stop signal that clears, after this many seconds
};

struct CheckResult {
  std::vector<CheckDrive> drives;  // in the family's order
  std::vector<LimitRow> rows;      // in order of location
  std::vector<LimitStep> steps;    // speed-check steps no driver can meet
  std::size_t worst = 0;           // the drive that fared worst
  bool strict = false;             // stations no stop target serves count as failures
  // The plug-in failed in a drive: what and where; the drives after it never
  // ran.
  std::string fault() const;
  bool clean() const;
};

// Drives the route with every careful driver, `workers` at a time, each
// worker on its own copy of the plug-in library (a library holds one unit,
// so drives side by side need one each), copied into `scratch`. Returns
// what went wrong before anything ran, in `error`.
CheckResult RunCheck(const Route& route, const std::string& plugin, const std::string& scratch,
                     unsigned workers, std::string& error, bool strict = false);

// The table by limit beacon: a heading, then a row for each speed-check
// beacon with its location, the beacon, its limit, the fastest pass and the
// thinnest margin; one line saying so if the route has none. The trips, the
// stations and the closing line are CheckProblems' and the command's.
std::vector<std::string> CheckTable(const CheckResult& result);
// A row's last two cells, as the table and the page both word them: the
// fastest any careful driver passed the beacon at, and the thinnest margin
// with the driver who left it, or why none passed it.
struct LimitRowWords {
  std::string fastest;
  std::string margin;
  bool over = false;  // a careful driver passed it above its limit
};
LimitRowWords RowWords(const LimitRow& row);
std::vector<std::string> CheckProblems(const CheckResult& result);
// What would put each of those problems right, in the same order; empty
// where the report has nothing to say.
std::vector<std::string> CheckFixes(const Route& route, const CheckResult& result);
std::string CheckSummary(const CheckResult& result);

}  // namespace atshost

#endif  // ATSHOST_CHECK_H
