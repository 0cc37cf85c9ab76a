// The scenario and route readers: every bad line is refused with the file, the
// line and what is wrong; good lines mean what the manual (docs/atshost.md) says.
#include <gtest/gtest.h>

#include <string>

#include "host/sim/replay.h"
#include "host/sim/route.h"
#include "host/sim/text_input.h"

namespace atshost {
namespace {

std::string ScenarioError(const std::string& text) {
  const Parsed<Scenario> parsed = ParseScenario(text, "s.txt");
  return parsed.ok() ? "(accepted)" : parsed.error;
}

std::string RouteError(const std::string& text) {
  const Parsed<Route> parsed = ParseRoute(text, "r.route");
  return parsed.ok() ? "(accepted)" : parsed.error;
}

TEST(ScenarioParser, RefusesBadLinesNamingFileAndLine) {
  // Comments and blank lines still count as lines.
  EXPECT_EQ(ScenarioError("# comment\n\nteleport 3\n"), "s.txt:3: unknown command 'teleport'");
  EXPECT_EQ(ScenarioError("power\n"), "s.txt:1: missing power value");
  EXPECT_EQ(ScenarioError("power 3x\n"), "s.txt:1: malformed whole number '3x' for power value");
  EXPECT_EQ(ScenarioError("brake 99999999999\n"),
            "s.txt:1: brake value '99999999999' is out of the 32-bit range");
  EXPECT_EQ(ScenarioError("reverser 2\n"), "s.txt:1: reverser must be -1, 0 or 1, not 2");
  EXPECT_EQ(ScenarioError("doors ajar\n"), "s.txt:1: doors must be 'open' or 'close', not 'ajar'");
  EXPECT_EQ(ScenarioError("key down\n"), "s.txt:1: missing key code");
  EXPECT_EQ(ScenarioError("power 3 4\n"), "s.txt:1: unexpected '4'");
  EXPECT_EQ(ScenarioError("vehicle\n"), "s.txt:1: missing brake-notches=N");
  EXPECT_EQ(ScenarioError("beacon signal=1\n"), "s.txt:1: missing type=N for beacon");
  EXPECT_EQ(ScenarioError("frame time=1 time=2\n"), "s.txt:1: field 'time' given twice");
  EXPECT_EQ(ScenarioError("frame speed=\n"), "s.txt:1: missing value for 'speed'");
  EXPECT_EQ(ScenarioError("frame speed=1.2.3\n"), "s.txt:1: malformed number '1.2.3' for speed");
  EXPECT_EQ(ScenarioError("frame sped=3\n"),
            "s.txt:1: unknown field 'sped' (expected one of: time, location, speed, bc, mr, "
            "current)");
  EXPECT_EQ(ScenarioError("advance 0\n"), "s.txt:1: frame count must be 1 to 1000000");
  EXPECT_EQ(ScenarioError("advance 5 time=3\n"),
            "s.txt:1: unknown field 'time' (expected one of: dt, speed, bc, mr, current)");
  EXPECT_EQ(ScenarioError("note\n"), "s.txt:1: missing text after 'note'");
}

TEST(ScenarioParser, RefusesExpectationsItCannotCheck) {
  EXPECT_EQ(ScenarioError("expect brake=9\n"),
            "s.txt:1: 'expect' before the first frame: there is nothing to check yet");
  EXPECT_EQ(ScenarioError("frame\nexpect\n"), "s.txt:2: missing name=value after 'expect'");
  EXPECT_EQ(ScenarioError("frame\nexpect brake\n"),
            "s.txt:2: expected name=value after 'expect', found 'brake'");
  EXPECT_EQ(ScenarioError("frame\nexpect speed=3\n"),
            "s.txt:2: cannot expect 'speed' (expected brake, power, reverser, constant-speed, "
            "panel[N] or sound[N])");
  EXPECT_EQ(ScenarioError("frame\nexpect panel[4]=0\n"),
            "s.txt:2: panel[4] is not one of the 48 panel indices the plug-in writes");
  EXPECT_EQ(ScenarioError("frame\nexpect sound[x]=0\n"),
            "s.txt:2: malformed whole number 'x' for index of sound");
}

TEST(ScenarioParser, ReadsWhatTheReadmeShows) {
  const Parsed<Scenario> parsed = ParseScenario(
      "vehicle brake-notches=8  # comment\n"
      "key 10\n"
      "beacon type=0 signal=+1\n"
      "frame time=-20 location=1e3 speed=nan\n"
      "advance 3 dt=16 speed=-4.5\n"
      "expect brake=9 panel[255]=1 sound[100]=-10000\n",
      "s.txt");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const Scenario& s = parsed.value;
  const std::vector<ScenarioStep> steps = Steps(s);
  ASSERT_EQ(steps.size(), 6u);
  const auto& key = std::get<std::vector<HostEvent>>(steps[1].what);
  ASSERT_EQ(key.size(), 2u);  // a key press is a key down and a key up
  EXPECT_EQ(key[0].kind, EventKind::kKeyDown);
  EXPECT_EQ(key[1].kind, EventKind::kKeyUp);
  EXPECT_EQ(std::get<std::vector<HostEvent>>(steps[2].what)[0].beacon.Signal, 1);
  const auto& frame = std::get<FrameCommand>(steps[3].what);
  EXPECT_EQ(*frame.fields.time, -20);
  EXPECT_EQ(*frame.fields.location, 1000.0);
  EXPECT_NE(*frame.fields.speed, *frame.fields.speed);  // NaN may be replayed
  EXPECT_FALSE(frame.fields.bc.has_value());            // not given: kept
  const auto& advance = std::get<AdvanceCommand>(steps[4].what);
  EXPECT_EQ(advance.count, 3);
  EXPECT_EQ(*advance.dt, 16);
  EXPECT_EQ(std::get<ExpectCommand>(steps[5].what).checks.size(), 3u);
  EXPECT_EQ(steps[5].line, 6);
}

TEST(RouteParser, RefusesBadLinesNamingFileAndLine) {
  EXPECT_EQ(RouteError("at 5 s fly\n"), "r.route:1: unknown action 'fly'");
  EXPECT_EQ(RouteError("at 5 h power 1\n"), "r.route:1: unit must be 's' or 'm', not 'h'");
  EXPECT_EQ(RouteError("at 5\n"), "r.route:1: missing unit 's' or 'm' after '5'");
  EXPECT_EQ(RouteError("at 5 s\n"), "r.route:1: missing action after 'at'");
  EXPECT_EQ(RouteError("at 5 s power 1;; brake 2\n"), "r.route:1: empty action after 'at'");
  EXPECT_EQ(RouteError("at x s power 1\n"), "r.route:1: malformed number 'x' for time");
  EXPECT_EQ(RouteError("beacon type=0\n"),
            "r.route:1: malformed number 'type=0' for beacon location");
  EXPECT_EQ(RouteError("station 100 open=-1\n"), "r.route:1: dwell times must not be negative");
  EXPECT_EQ(RouteError("model max-accel=-1\n"),
            "r.route:1: max-accel must be 0 to 20 km/h/s, not -1");
  EXPECT_EQ(RouteError("model top-speed=9\n").rfind("r.route:1: unknown field 'top-speed'", 0), 0u);
  EXPECT_EQ(RouteError("start dt=0\n"), "r.route:1: dt must be 1 to 1000 ms");
  EXPECT_EQ(RouteError("start doors=ajar\n"), "r.route:1: doors must be 'open' or 'closed'");
  EXPECT_EQ(RouteError("end\n"), "r.route:1: missing time=S or location=M after 'end'");
  EXPECT_EQ(RouteError("gradient 100 inf\n"),
            "r.route:1: gradient in permille must be a finite number, not 'inf'");
  EXPECT_EQ(RouteError("vehicle brake-notches=0\n"), "r.route:1: brake-notches must be 1 to 100");
}

TEST(RouteParser, ReadsActionsStationsAndBeaconsInOrder) {
  const Parsed<Route> parsed = ParseRoute(
      "at 12.5s power 4; brake 0\n"
      "at 800 m key down 0 ; doors close; key up 0;\n"
      "beacon 900 type=12 optional=1500\n"
      "beacon 300 type=0 signal=1\n"
      "station 1500 open=9 depart=2\n"
      "model bc-lag=0.3\n",
      "r.route");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const Route& r = parsed.value;
  ASSERT_EQ(r.actions.size(), 2u);
  EXPECT_FALSE(r.actions[0].by_location);
  EXPECT_EQ(r.actions[0].at, 12.5);
  EXPECT_EQ(r.actions[0].events.size(), 2u);
  EXPECT_TRUE(r.actions[1].by_location);
  EXPECT_EQ(r.actions[1].events.size(), 3u);
  ASSERT_EQ(r.beacons.size(), 2u);
  EXPECT_EQ(r.beacons[0].location, 300.0);  // sorted by location
  EXPECT_EQ(r.beacons[1].beacon.Optional, 1500);
  ASSERT_EQ(r.stations.size(), 1u);
  EXPECT_EQ(r.stations[0].open_s, 9.0);
  EXPECT_EQ(r.stations[0].closed_s, 5.0);
  EXPECT_EQ(*r.stations[0].depart_power, 2);
  EXPECT_EQ(r.model.bc_lag, 0.3);
}

TEST(RouteParser, BuiltInDemoRouteIsValid) {
  const Parsed<Route> parsed = ParseRoute(DemoRouteText(), "demo");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const Route& r = parsed.value;
  EXPECT_FALSE(r.stations.empty());
  EXPECT_FALSE(r.beacons.empty());
}

}  // namespace
}  // namespace atshost
