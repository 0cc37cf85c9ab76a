// Closed-loop drives against the real plug-in: the demo route tells its story,
// and runs are repeatable to the byte.
#include "host/sim/drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "host/sim/cab.h"
#include "host/sim/text_out.h"
#include "host/sim/trace_csv.h"
#include "host_fixture.h"

namespace atshost {
namespace {

using test::OpenPlugin;
using test::Recorder;

struct DemoRun {
  Recorder recorder;
  DriveResult result;
  DemoRun() {
    auto library = OpenPlugin();
    Session session(library->api(), {&recorder});
    result = Drive(ParseRoute(DemoRouteText(), "demo").value, session);
  }
  const std::vector<FrameRecord>& frames() const { return recorder.frames; }
};

// The first frame from `from` on that satisfies `pred`, or frames().size().
template <typename Pred>
std::size_t Find(const std::vector<FrameRecord>& f, std::size_t from, Pred pred) {
  for (std::size_t i = from; i < f.size(); ++i) {
    if (pred(f[i])) return i;
  }
  return f.size();
}

bool HasBeacon(const FrameRecord& r, int32_t type) {
  return std::any_of(r.events.begin(), r.events.end(), [&](const HostEvent& e) {
    return e.kind == EventKind::kBeacon && e.beacon.Type == type;
  });
}

TEST(DriveDemo, TellsItsStory) {
  const DemoRun run;
  const auto& f = run.frames();
  ASSERT_FALSE(f.empty());
  const std::size_t end = f.size();

  // Switched off at first, holding the emergency brake; then switched on.
  EXPECT_EQ(f[0].Panel(kPanelUnitOff), 1);
  EXPECT_EQ(f[0].handles.Brake, 9);
  const std::size_t on =
      Find(f, 0, [](const FrameRecord& r) { return r.Panel(kPanelUnitOn) == 1; });
  ASSERT_LT(on, end);
  EXPECT_EQ(f[on].Panel(kPanelTripped), 0) << "switched on with the handles secured: no trip";

  // The notch-1 speed hold sends the constant-speed command, and brakes with
  // 4 on the falling stretch.
  const std::size_t hold = Find(f, on, [](const FrameRecord& r) {
    return r.host.power == 1 && r.handles.ConstantSpeed == 1 && r.state.Speed > 15.0f;
  });
  ASSERT_LT(hold, end);
  EXPECT_LT(Find(f, hold,
                 [](const FrameRecord& r) {
                   return r.handles.Brake == 4 && r.host.brake == 0 && r.host.power == 1;
                 }),
            end);

  // The governor: full service above its speed with the driver's brake off,
  // released below the lower one.
  const std::size_t governor =
      Find(f, hold, [](const FrameRecord& r) { return r.handles.Brake == 8 && r.host.brake == 0; });
  ASSERT_LT(governor, end);
  EXPECT_GT(f[governor].state.Speed, kGovernorBrakesKmh);
  const std::size_t released =
      Find(f, governor, [](const FrameRecord& r) { return r.handles.Brake == 0; });
  ASSERT_LT(released, end);
  EXPECT_LT(f[released].state.Speed, kGovernorReleasesKmh);

  // The signal beacon passed too fast: trip, bell, emergency brake.
  const std::size_t trip = Find(f, released, [](const FrameRecord& r) { return HasBeacon(r, 0); });
  ASSERT_LT(trip, end);
  EXPECT_GT(f[trip].state.Speed, 28.0f);
  EXPECT_EQ(f[trip].Panel(kPanelTripped), 1);
  EXPECT_EQ(f[trip].Sound(kSoundBell), kSoundPlayOnce);
  EXPECT_EQ(f[trip].handles.Brake, 9);
  EXPECT_EQ(f[trip].handles.Power, 0);

  // The reset, only once the train stands with the handles secured.
  const std::size_t reset =
      Find(f, trip, [](const FrameRecord& r) { return r.Panel(kPanelTripped) == 0; });
  ASSERT_LT(reset, end);
  EXPECT_EQ(f[reset].state.Speed, 0.0f);
  EXPECT_EQ(f[reset].Sound(kSoundBell), kSoundStop);

  // The station: a stand inside the stop window, the doors opening and
  // closing with the counter, the blanking and the door sound.
  ASSERT_EQ(run.result.stops.size(), 1u);
  EXPECT_LT(std::abs(run.result.stops[0].location - run.result.stops[0].station), kStopWindowM);
  const std::size_t open =
      Find(f, reset, [](const FrameRecord& r) { return !r.host.doors_closed; });
  ASSERT_LT(open, end);
  EXPECT_EQ(f[open].Panel(kPanelStopWindow), 1);
  EXPECT_EQ(f[open].Panel(kPanelDoorsOpen), 1);
  EXPECT_EQ(f[open].Sound(kSoundDoor), kSoundStop);
  const int32_t counter_before = f[open - 1].Panel(kPanelCounter);
  EXPECT_EQ(f[open].Panel(kPanelCounter), counter_before + 1);
  EXPECT_EQ(f[open + 1].Panel(kPanelCounterBlank), 1) << "blanked after the door change";
  const std::size_t closed =
      Find(f, open, [](const FrameRecord& r) { return r.host.doors_closed; });
  ASSERT_LT(closed, end);
  EXPECT_EQ(f[closed].Sound(kSoundDoor), kSoundPlayOnce);
  EXPECT_EQ(f[closed].Panel(kPanelCounter), counter_before + 2);
  EXPECT_EQ(f[closed].Panel(kPanelWarning), 0)
      << "closing with the reverser in neutral: no warning brake";

  // About two minutes of host time.
  EXPECT_GT(f.back().state.Time, 100000);
  EXPECT_LT(f.back().state.Time, 160000);
}

TEST(DriveDemo, TrippedTrainStopsUnderTheReturnedBrake) {
  const DemoRun run;
  const auto& f = run.frames();
  const std::size_t trip =
      Find(f, 0, [](const FrameRecord& r) { return r.Panel(kPanelTripped) == 1; });
  ASSERT_LT(trip, f.size());
  for (std::size_t i = trip + 1; i < f.size() && f[i].state.Speed > 0.0f; ++i) {
    ASSERT_LT(f[i].state.Speed, f[i - 1].state.Speed) << "frame " << i;
  }
}

TEST(DriveDemo, TraceIsTheSameEveryRun) {
  auto trace = [] {
    StringOut out;
    auto library = OpenPlugin();
    TraceCsv csv(out);
    Session session(library->api(), {&csv});
    Drive(ParseRoute(DemoRouteText(), "demo").value, session);
    return out.text();
  };
  const std::string first = trace();
  EXPECT_EQ(first, trace());
  EXPECT_EQ(first.find('\r'), std::string::npos);
}

TEST(Drive, StopsAtTheEndGivenAndPassesBeaconsOnce) {
  Recorder recorder;
  auto library = OpenPlugin();
  Session session(library->api(), {&recorder});
  const Route route = ParseRoute(
                          "start time=5000\n"
                          "at 0.5 s key 10\n"
                          "at 1 s reverser 1; brake 0; power 4\n"
                          "beacon 5 type=200 optional=7\n"
                          "end location=10\n",
                          "r.route")
                          .value;
  Drive(route, session);
  const auto& f = recorder.frames;
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(f[0].state.Time, 5000);
  EXPECT_GE(f.back().state.Location, 10.0);
  int beacons = 0;
  for (const FrameRecord& r : f) beacons += HasBeacon(r, 200) ? 1 : 0;
  EXPECT_EQ(beacons, 1);
}

// An end location alone ends the run where the train gets there, past any
// station; a train that never gets there is stopped by the time limit, and
// the timeline says so.
TEST(Drive, EndLocationAloneDecidesTheEnd) {
  struct Case {
    const char* route;
    double last_location_at_least;
    double last_time_s;  // 0: any
    bool limit_note;
  };
  const Case cases[] = {
      {"at 0.5 s key 10\nat 1 s reverser 1; brake 0; power 4\n"
       "station 100 open=2 closed=1\nend location=300\n",
       300.0, 0.0, false},
      {"at 1 s key 10\nend location=50\n", 0.0, kRunLimitSeconds, true},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    auto library = OpenPlugin();
    Session session(library->api(), {&recorder});
    Drive(ParseRoute(c.route, "r.route").value, session);
    const auto& f = recorder.frames;
    ASSERT_FALSE(f.empty()) << c.route;
    EXPECT_GE(f.back().state.Location, c.last_location_at_least) << c.route;
    if (c.last_time_s > 0.0) {
      EXPECT_EQ(f.back().state.Time, static_cast<int32_t>(c.last_time_s * 1000.0)) << c.route;
    }
    const bool noted = std::any_of(f.back().events.begin(), f.back().events.end(),
                                   [](const HostEvent& e) { return e.kind == EventKind::kNote; });
    EXPECT_EQ(noted, c.limit_note) << c.route;
  }
}

}  // namespace
}  // namespace atshost
