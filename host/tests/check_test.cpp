// How drives end and what a careful driver makes of a route: the verdict's
// words for each ending, the careful driver against today's, a stop signal on
// the line, and the float32 location far along a route costing margin.
#include "host/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <thread>

#include "host/io/output_files.h"
#include "host/output/check_page.h"
#include "host/sim/cab.h"
#include "host/sim/drive.h"
#include "host_fixture.h"

namespace atshost {
namespace {

// A scratch folder of this test process's own: RunCheck copies the library
// there and loads the copies, so a fixed name shared with another test run
// on the machine (another clone, another build tree) would have one run
// overwrite a library the other has loaded.
std::string Scratch(const std::string& name) {
  return ::testing::TempDir() + "atshost-check-test-" + std::to_string(ProcessId()) + "-" + name;
}

using test::OpenPlugin;

// Switch-on, away in full power, three limits (68, 48 and 45 km/h; the last
// on a falling grade) and two stations.
constexpr const char* kLimitsRoute =
    "start doors=closed\n"
    "at 1 s key 10\n"
    "at 2 s reverser 1; brake 0; power 4\n"
    "beacon 700 type=0 signal=3\n"
    "beacon 1200 type=0 signal=2\n"
    "gradient 1500 -20\n"
    "gradient 2000 0\n"
    "beacon 1900 type=9 optional=45\n"
    "station 2500 open=5 closed=2\n"
    "station 3200 open=5 closed=2\n";

Verdict DriveVerdict(const std::string& text, DriveResult* full = nullptr) {
  auto library = OpenPlugin();
  Session session(library->api(), {});
  DriveResult result = Drive(ParseRoute(text, "t.route").value, session);
  if (full != nullptr) *full = result;
  return result.verdict;
}

TEST(DriveVerdict, SaysHowEachDriveEnded) {
  struct Case {
    const char* name;
    std::string route;
    Ending ending;
    std::size_t trips;
    int missed;
    // Each of these starts a line of the verdict, in this order.
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"today's driver trips at the 68 km/h beacon and stands",
       kLimitsRoute,
       Ending::kStoodTripped,
       1,
       2,
       {"stood tripped from ", "trip at ", "station at 2 500.0 m: not reached",
        "station at 3 200.0 m: not reached"}},
      {"a careful driver gets through",
       std::string(kLimitsRoute) + "driver limits=keep margin=2\n",
       Ending::kEndReached,
       0,
       0,
       // Its stations have no stop-target beacon: the host's mark is met,
       // and the unit's window does not serve them.
       {"reached the end at ", "station at 2 500.0 m: stood on the host's mark",
        "station at 3 200.0 m: stood on the host's mark"}},
      {"a careful driver stands before a stop signal and never passes it",
       std::string(kLimitsRoute) + "beacon 2900 type=0 signal=0\ndriver limits=keep\n",
       Ending::kHeldAtSignal,
       0,
       1,
       {"held at 2 890", "station at 2 500.0 m: stood on the host's mark",
        "station at 3 200.0 m: not reached"}},
      {"a train that never gets to the end location",
       "at 1 s key 10\nend location=50\n",
       Ending::kTimeCap,
       0,
       0,
       {"the time cap of 900 s reached at 0.0 m, before the end",
        "hint: the route never releases the brake"}},
      {"a reservoir without a compressor runs low",
       "model compressor-rate=0 mr-leak=2\nat 1 s key 10\nend time=300\n",
       Ending::kEndReached,
       0,
       0,
       {"reached the end at 300.000 s, at 0.0 m", "main reservoir ran low: "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Verdict v = DriveVerdict(c.route);
    EXPECT_EQ(v.ending, c.ending);
    EXPECT_EQ(v.trips.size(), c.trips);
    EXPECT_EQ(v.missed_stations(), c.missed);
    const std::vector<std::string> lines = VerdictLines(v);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << lines[i];
    }
  }
}

TEST(DriveVerdict, TripNamesTheBeaconItsLimitAndTheCheckedSpeed) {
  const Verdict v = DriveVerdict(kLimitsRoute);
  ASSERT_EQ(v.trips.size(), 1u);
  const TripReport& t = v.trips[0];
  ASSERT_TRUE(t.beacon.has_value());
  EXPECT_EQ(t.beacon_location, 700.0);
  EXPECT_EQ(t.limit_kmh, 68.0f);
  EXPECT_GT(t.checked_kmh, 68.0f);
  EXPECT_NE(VerdictLines(v)[1].find("beacon type 0 signal 3 at 700.0 m, limit 68 km/h, checked "),
            std::string::npos);
}

// The speed the unit checked, as the host words it, follows the unit's own
// float32 steps: times wrap, and a location past float32's range is an
// infinity rather than undefined.
TEST(DriveVerdict, CheckedSpeedFollowsTheUnitsSteps) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  struct Case {
    double from_m;
    int32_t from_ms;
    double to_m;
    int32_t to_ms;
    float kmh;
  } cases[] = {
      {0.0, 0, 0.15555556, 20, 28.0f},
      {0.0, INT32_MAX, 0.15555556, INT32_MIN + 19, 28.0f},
      {0.0, 0, 1e300, 20, kInf},
      {1e300, 0, -1e300, 20, -kInf},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DerivedSpeed(c.from_m, c.from_ms, c.to_m, c.to_ms), c.kmh) << c.to_m;
  }
  EXPECT_TRUE(std::isnan(DerivedSpeed(1e300, 0, 2e300, 20)));  // infinity minus infinity
}

TEST(CarefulDriver, PassesEveryLimitAtLeastTheMarginBelow) {
  struct Case {
    double margin;
    const char* cruise;
  };
  for (const Case c : {Case{2.0, "coast"}, Case{5.0, "hold"}, Case{0.5, "coast"}}) {
    SCOPED_TRACE(std::to_string(c.margin) + " " + c.cruise);
    DriveResult r;
    const Verdict v = DriveVerdict(std::string(kLimitsRoute) + "driver limits=keep margin=" +
                                       std::to_string(c.margin) + " cruise=" + c.cruise + "\n",
                                   &r);
    EXPECT_TRUE(v.got_through());
    ASSERT_EQ(r.limit_passes.size(), 3u);
    for (const LimitPass& p : r.limit_passes) {
      // Near 0 m the float32 location costs well under 0.1 km/h.
      EXPECT_LE(p.checked_kmh, p.limit_kmh - c.margin + 0.1) << p.location;
    }
  }
}

// On a long 40 per mille fall, coasting would take the train past the
// governor's 76 km/h; he brakes back to his cruising speed instead, with the
// speed hold as without it.
TEST(CarefulDriver, StaysBelowTheGovernorOnAFall) {
  for (const char* cruise : {"coast", "hold"}) {
    test::Recorder recorder;
    auto library = OpenPlugin();
    Session session(library->api(), {&recorder});
    Drive(
        ParseRoute(std::string("driver limits=keep cruise=") + cruise +
                       "\nstart doors=closed\nat 1 s key 10\nat 2 s reverser 1; brake 0; power 4\n"
                       "gradient 200 -40\nstation 3000\n",
                   "fall.route")
            .value,
        session);
    float fastest = 0.0f;
    for (const FrameRecord& r : recorder.frames) fastest = std::max(fastest, r.state.Speed);
    EXPECT_GT(fastest, 70.0f) << cruise;
    EXPECT_LT(fastest, kGovernorBrakesKmh) << cruise;
  }
}

// The same four 48 km/h beacons near the start of the line and 300 km along
// it, where the float32 location makes the checked speed a multiple of about
// 5.6 km/h at 20 ms a frame: the guide's margin there is 8 km/h, so careful
// drivers with 2 km/h trip.
TEST(Check, FamilyVerdictByRoute) {
  auto beacons = [](int at) {
    std::string s = "start doors=closed location=" + std::to_string(at) +
                    "\nat 1 s key 10\nat 2 s reverser 1; brake 0; power 4\n";
    for (int m : {500, 900, 1300, 1700}) {
      s += "beacon " + std::to_string(at + m) + " type=0 signal=2\n";
    }
    return s + "station " + std::to_string(at + 2500) + " open=5 closed=2\n";
  };
  struct Case {
    const char* name;
    std::string route;
    bool clean;
    const char* summary;
  };
  const Case cases[] = {
      {"near the start", beacons(0), true,
       "6 drives: every careful driver got through without a trip or a missed station"},
      {"300 km along", beacons(300000), false, " tripped"},
      {"a stop signal on the line", beacons(0) + "beacon 2000 type=0 signal=0\n", false,
       "the stop signal at 2 000.0 m cannot be passed"},
  };
  ASSERT_GE(CarefulFamily().size(), 6u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const CheckResult r = RunCheck(ParseRoute(c.route, "c.route").value, ATS_TEST_PLUGIN,
                                   Scratch("check-" + std::to_string(&c - cases)), 2, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(r.clean(), c.clean);
    EXPECT_NE(CheckSummary(r).find(c.summary), std::string::npos) << CheckSummary(r);
    ASSERT_EQ(r.rows.size(), c.route.find("signal=0") != std::string::npos ? 5u : 4u);
    if (!c.clean && c.route.find("signal=0") == std::string::npos) {
      // A trip far along: the checked speed is over the limit, though every
      // careful driver kept his own speed 2 km/h or more below it.
      const TripReport& t = r.drives[r.worst].result.verdict.trips.at(0);
      EXPECT_GT(t.checked_kmh, t.limit_kmh);
      EXPECT_LT(r.rows[0].fastest.value_or(0.0f) - 48.0f, 8.0f);
    }
  }
}

// A beacon's data word may carry any limit; the page's chart ends its speed
// axis where the run's chart does instead of drawing a grid line every
// 10 km/h up to it.
TEST(Check, PageStaysSmallWhateverLimitABeaconCarries) {
  const Route route = ParseRoute(
                          "start doors=closed\nat 1 s key 10\nat 2 s reverser 1; brake 0; power 4\n"
                          "beacon 700 type=9 optional=2000000000\nend location=1500\n",
                          "c.route")
                          .value;
  std::string error;
  const CheckResult r = RunCheck(route, ATS_TEST_PLUGIN, Scratch("big"), 1, error);
  ASSERT_EQ(error, "");
  std::ostringstream page;
  WriteCheckPage(page, "c.route", route, r);
  EXPECT_LT(page.str().size(), 100'000u);
  EXPECT_NE(page.str().find("</html>"), std::string::npos);
}

// Drives side by side give the same results as one after another: each
// worker has a unit of its own.
TEST(Check, SideBySideIsTheSameAsOneByOne) {
  const Route route = ParseRoute(kLimitsRoute, "c.route").value;
  std::string error;
  const CheckResult one = RunCheck(route, ATS_TEST_PLUGIN, Scratch("one"), 1, error);
  const CheckResult two = RunCheck(route, ATS_TEST_PLUGIN, Scratch("two"), 3, error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(one.drives.size(), two.drives.size());
  for (std::size_t i = 0; i < one.drives.size(); ++i) {
    EXPECT_EQ(one.drives[i].result.final_time, two.drives[i].result.final_time);
    EXPECT_EQ(one.drives[i].result.final_state.location, two.drives[i].result.final_state.location);
  }
}

}  // namespace
}  // namespace atshost

namespace atshost {
namespace {

// What counts as getting through, for one drive and for the check: every
// ending, every station outcome, a trip, a fault, a drive that never ran, a
// step no driver can meet, and --strict.
TEST(CheckDecisions, WhatCountsAsGettingThrough) {
  struct Case {
    const char* name;
    Ending ending;
    std::vector<StationOutcome> stations;
    bool trip;
    bool through;         // got_through()
    bool through_strict;  // got_through(true)
  };
  using O = StationOutcome;
  const Case cases[] = {
      {"the end reached, every stop in the window",
       Ending::kEndReached,
       {O::kInWindow},
       false,
       true,
       true},
      {"a stop outside the window is listed, no failure",
       Ending::kEndReached,
       {O::kOutside},
       false,
       true,
       true},
      {"a station passed", Ending::kEndReached, {O::kPassed}, false, false, false},
      {"a station not reached", Ending::kEndReached, {O::kNotReached}, false, false, false},
      {"no stop target: a failure only when strict",
       Ending::kEndReached,
       {O::kNoTarget},
       false,
       true,
       false},
      {"a stop target for another location",
       Ending::kEndReached,
       {O::kWrongTarget},
       false,
       false,
       false},
      {"the right stop target, and the lamp still dark",
       Ending::kEndReached,
       {O::kWindowDark},
       false,
       false,
       false},
      {"a trip", Ending::kEndReached, {}, true, false, false},
      {"the time cap", Ending::kTimeCap, {}, false, false, false},
      {"stood tripped", Ending::kStoodTripped, {}, false, false, false},
      {"held at a stop signal", Ending::kHeldAtSignal, {}, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Verdict v;
    v.ending = c.ending;
    for (O o : c.stations) v.stations.push_back({1000.0, "", o});
    if (c.trip) v.trips.emplace_back();
    EXPECT_EQ(v.got_through(), c.through);
    EXPECT_EQ(v.got_through(true), c.through_strict);
    CheckResult r;
    r.drives.resize(2);
    for (std::size_t i = 0; i < 2; ++i) {
      r.drives[i].driver = CarefulFamily()[i];
      r.drives[i].ran = true;
    }
    r.drives[1].result.verdict = v;
    EXPECT_EQ(r.clean(), c.through);
    r.strict = true;
    EXPECT_EQ(r.clean(), c.through_strict);
  }
  CheckResult r;
  r.drives.resize(2);
  for (std::size_t i = 0; i < 2; ++i) {
    r.drives[i].driver = CarefulFamily()[i];
    r.drives[i].ran = true;
  }
  EXPECT_TRUE(r.clean());
  EXPECT_EQ(CheckSummary(r),
            "2 drives: every careful driver got through without a trip or a missed station");
  r.drives[0].fault = "the plug-in failed in Elapse: boom";
  EXPECT_FALSE(r.clean()) << "a drive whose plug-in failed";
  EXPECT_EQ(r.fault(), "thin driving: the plug-in failed in Elapse: boom");
  r.drives[0].fault.clear();
  r.drives[1].ran = false;
  EXPECT_FALSE(r.clean()) << "a drive that never ran";
  r.drives[1].ran = true;
  r.steps.emplace_back();
  EXPECT_FALSE(r.clean()) << "a step no driver can meet";
  EXPECT_NE(CheckSummary(r).find("1 speed-check step no driver can meet"), std::string::npos);
}

// The limit-step rule against the train model: from 68 km/h full service
// needs about 160 m to be under 19 km/h, so 40 m is too little and 200 m
// enough; a rising check or one after a stop signal is no step.
TEST(CheckDecisions, LimitStepsFromTheRouteAlone) {
  struct Case {
    const char* beacons;
    std::size_t steps;
  };
  const Case cases[] = {
      {"beacon 1000 type=0 signal=3\nbeacon 1040 type=0 signal=0 optional=50\n", 1},
      {"beacon 1000 type=0 signal=3\nbeacon 1200 type=0 signal=0 optional=50\n", 0},
      {"beacon 1000 type=0 signal=1\nbeacon 1010 type=0 signal=3\n", 0},
      {"beacon 1000 type=0 signal=0\nbeacon 1010 type=0 signal=0 optional=50\n", 0},
      {"beacon 1000 type=0 signal=3\nbeacon 1100 type=0 signal=0\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.beacons);
    const Route route = ParseRoute(std::string("at 1 s key 10\n") + c.beacons, "s.route").value;
    const std::vector<LimitStep> steps = UnmeetableLimitSteps(route);
    ASSERT_EQ(steps.size(), c.steps);
  }
  const Route route = ParseRoute(
                          "at 1 s key 10\nbeacon 1000 type=0 signal=3\n"
                          "beacon 1040 type=0 signal=0 optional=50\n",
                          "s.route")
                          .value;
  const LimitStep step = UnmeetableLimitSteps(route).at(0);
  EXPECT_GT(step.needed, 150.0);
  EXPECT_LT(step.needed, 170.0);
  EXPECT_EQ(LimitStepLine(step).rfind("the 19 km/h check at 1 040.0 m cannot be met from the 68 "
                                      "km/h check at 1 000.0 m: 1",
                                      0),
            0u);
}

}  // namespace
}  // namespace atshost
