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

#include "host/output/check_page.h"
#include "host/sim/drive.h"
#include "host_fixture.h"

namespace atshost {
namespace {

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
    EXPECT_LT(fastest, 76.0f) << cruise;
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
    const CheckResult r =
        RunCheck(ParseRoute(c.route, "c.route").value, ATS_TEST_PLUGIN,
                 ::testing::TempDir() + "check-" + std::to_string(&c - cases), 2, error);
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
  const CheckResult r = RunCheck(route, ATS_TEST_PLUGIN, ::testing::TempDir() + "big", 1, error);
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
  const CheckResult one = RunCheck(route, ATS_TEST_PLUGIN, ::testing::TempDir() + "one", 1, error);
  const CheckResult two = RunCheck(route, ATS_TEST_PLUGIN, ::testing::TempDir() + "two", 3, error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(one.drives.size(), two.drives.size());
  for (std::size_t i = 0; i < one.drives.size(); ++i) {
    EXPECT_EQ(one.drives[i].result.final_time, two.drives[i].result.final_time);
    EXPECT_EQ(one.drives[i].result.final_state.location, two.drives[i].result.final_state.location);
  }
}

}  // namespace
}  // namespace atshost
