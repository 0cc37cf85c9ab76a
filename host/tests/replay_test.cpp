// Replays against the real plug-in through the host's loader: handles, panel
// and sounds worked out by hand from the unit's rules for short sequences.
#include "host/sim/replay.h"

#include <gtest/gtest.h>

#include "host/io/input_file.h"
#include "host/sim/cab.h"
#include "host_fixture.h"

namespace atshost {
namespace {

using test::OpenPlugin;
using test::Recorder;

// The secured, switched-on train every sequence starts from: 8 service
// notches (emergency 9), doors closed, unit on, reverser forward, brake off.
constexpr const char* kSwitchedOn =
    "vehicle brake-notches=8\n"
    "initialize\n"
    "doors close\n"
    "brake 9\n"
    "frame time=1000 location=0 speed=0\n"
    "key 10\n"
    "reverser 1\n"
    "brake 0\n";

std::vector<FrameRecord> Play(const std::string& text,
                              std::vector<std::string>* failures = nullptr) {
  auto library = OpenPlugin();
  Recorder recorder;
  Session session(library->api(), {&recorder});
  std::vector<std::string> f = Replay(ParseScenario(text, "t.txt").value, session);
  if (failures != nullptr) *failures = f;
  return recorder.frames;
}

TEST(Replay, RollingBackRingsTheBellEveryOtherFrame) {
  // Reverser forward, running backwards at 6 km/h: reverser x speed = -6 is
  // below -5, so every frame trips, once-toggles the bell (1, 2, 1) and
  // loop-toggles its looping part (0, 2, 0), starting from stopped sounds.
  const auto frames = Play(std::string(kSwitchedOn) + "advance 3 dt=100 speed=-6\n");
  ASSERT_EQ(frames.size(), 4u);
  const int32_t bell[] = {1, 2, 1};
  const int32_t loop[] = {0, 2, 0};
  for (int i = 0; i < 3; ++i) {
    const FrameRecord& r = frames[static_cast<std::size_t>(i) + 1];
    EXPECT_EQ(r.handles.Brake, 9) << "frame " << i + 1;
    EXPECT_EQ(r.handles.Power, 0);
    EXPECT_EQ(r.handles.ConstantSpeed, 2);
    EXPECT_EQ(r.handles.Reverser, 1);
    EXPECT_EQ(r.Panel(kPanelTripped), 1);
    EXPECT_EQ(r.Sound(kSoundBell), bell[i]);
    EXPECT_EQ(r.Sound(kSoundBellLoop), loop[i]);
  }
}

TEST(Replay, NotchOneSpeedHoldStartsSamplesAndBrakes) {
  const auto frames = Play(std::string(kSwitchedOn) +
                           "power 1\n"
                           "frame time=2000 speed=10\n"    // 1: hold on below 15 km/h
                           "frame time=2100 speed=16\n"    // 2: start recorded, power cut
                           "frame time=3100 speed=16\n"    // 3: 1000 ms: not yet
                           "frame time=3120 speed=16.5\n"  // 4: held; reference 16
                           "frame time=3140 speed=18\n"    // 5: 18 is not above 16 + 2
                           "frame time=3160 speed=18.1\n"  // 6: above: brake 4
                           "brake 2\n"
                           "frame time=3180\n");  // 7: brake cancels the hold
  ASSERT_EQ(frames.size(), 8u);
  struct Want {
    int32_t brake, power, constant_speed;
  };
  const Want want[] = {{0, 1, 1}, {0, 0, 1}, {0, 1, 1}, {0, 1, 1}, {0, 1, 1}, {4, 0, 1}, {2, 0, 2}};
  for (std::size_t i = 0; i < 7; ++i) {
    const ATS_HANDLES& h = frames[i + 1].handles;
    EXPECT_EQ(h.Brake, want[i].brake) << "frame " << i + 1;
    EXPECT_EQ(h.Power, want[i].power) << "frame " << i + 1;
    EXPECT_EQ(h.ConstantSpeed, want[i].constant_speed) << "frame " << i + 1;
  }
}

TEST(Replay, AdvanceMovesTheTrainAtItsSpeedAndKeepsUnsetValues) {
  // Reverser forward: a switched-off unit still trips when the train runs
  // with the reverser in neutral.
  const auto frames =
      Play("reverser 1\nframe time=100 location=50 speed=36 mr=700\nadvance 2 dt=50\n");
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2].state.Time, 200);
  EXPECT_DOUBLE_EQ(frames[2].state.Location, 51.0);  // 36 km/h is 10 m/s
  EXPECT_EQ(frames[2].state.MrPressure, 700.0f);
  // The unit derives the same speed from the locations: no mismatch lamp.
  EXPECT_EQ(frames[2].Panel(kPanelWarning), 0);
}

TEST(Replay, ReportsEveryFailedExpectationWithItsLine) {
  std::vector<std::string> failures;
  Play("vehicle brake-notches=8\nframe time=0\nexpect brake=9 power=1\nexpect panel[1]=0\n",
       &failures);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0], "t.txt:3: expected power = 1, got 0 (frame 0, time 0.000 s)");
  EXPECT_EQ(failures[1], "t.txt:4: expected panel[1] = 0, got 1 (frame 0, time 0.000 s)");
}

TEST(Replay, ExampleScenariosMeetTheirExpectations) {
  for (const char* name : {"beacon_trip", "governor", "station_stop", "door_warning"}) {
    const std::string path = std::string(ATS_TEST_SCENARIOS) + "/" + name + ".txt";
    auto library = OpenPlugin();
    Session session(library->api(), {});
    const Scenario s = ParseScenario(ReadFile(path).value, path).value;
    EXPECT_EQ(Replay(s, session), std::vector<std::string>{}) << path;
  }
}

TEST(PluginLibrary, NamesWhatIsMissing) {
  try {
    PluginLibrary::Open(ATS_TEST_PARTIAL_PLUGIN);
    FAIL() << "a library without Elapse was accepted";
  } catch (const PluginLoadError& e) {
    EXPECT_NE(std::string(e.what()).find("lacks 2 of the 16 entry points: Elapse, SetBeaconData"),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(PluginLibrary::Open("/nonexistent/ATSVorlan800.so"), PluginLoadError);
  // A file that is there but is no library.
  EXPECT_THROW(PluginLibrary::Open(std::string(ATS_TEST_SCENARIOS) + "/governor.txt"),
               PluginLoadError);
}

TEST(PluginLibrary, CallsTheRealPluginByItsPlainNames) {
  auto library = OpenPlugin();
  EXPECT_EQ(library->api().GetPluginVersion(), 0x20000);
}

}  // namespace
}  // namespace atshost
