// The authors' reference held to what the plug-in does: it lists exactly the
// panel and sound indices the plug-in writes, its constants read as listed,
// every speed limit it gives passes at the limit and trips just above, and
// a train the given margin below a limit passes anywhere on a route.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "host/reference/cab_reference.h"
#include "host/reference/guide_words.h"
#include "host/sim/braking.h"
#include "host/sim/cab.h"
#include "host/sim/format.h"
#include "host/sim/replay.h"
#include "host_fixture.h"

namespace atshost {
namespace {

using namespace reference;

TEST(Reference, ListsExactlyWhatThePluginWrites) {
  auto library = test::OpenPlugin();
  const PluginApi& api = library->api();
  // The host's arrays hold a value no element takes, so every write shows.
  constexpr int kUntouched = 0x5A5A5A5A;
  std::array<int, kPanelArrayLength> panel;
  std::array<int, kSoundArrayLength> sound;
  panel.fill(kUntouched);
  sound.fill(kUntouched);
  api.Load();
  api.SetVehicleSpec(ATS_VEHICLESPEC{8, {}});
  api.Elapse(ATS_VEHICLESTATE{}, panel.data(), sound.data());
  api.Dispose();

  std::set<int> written, listed;
  for (std::size_t i = 0; i < panel.size(); ++i) {
    if (panel[i] != kUntouched) written.insert(static_cast<int>(i));
  }
  for (const PanelEntry& e : kPanel) {
    listed.insert(e.index);
    if (e.kind == PanelKind::kConstant) {
      EXPECT_EQ(panel[static_cast<std::size_t>(e.index)], e.constant) << "panel " << e.index;
    }
  }
  EXPECT_EQ(written, listed) << "panel indices";
  written.clear();
  listed.clear();
  for (std::size_t i = 0; i < sound.size(); ++i) {
    if (sound[i] != kUntouched) written.insert(static_cast<int>(i));
  }
  for (const SoundEntry& e : kSound) listed.insert(e.index);
  EXPECT_EQ(written, listed) << "sound indices";
}

TEST(Reference, SpeedLimitsPassAtTheLimitAndTripAbove) {
  // The unit measures the speed from the distance run over the last frame: a
  // frame of 3600 ms over D metres is D km/h exactly. The simulator's own
  // speed stays 0, so that nothing else trips.
  constexpr double kOver = 0.5;
  for (const SpeedLimitEntry& l : kSpeedLimits) {
    for (const double d : {static_cast<double>(l.limit_kmh), l.limit_kmh + kOver}) {
      const std::string text =
          "vehicle brake-notches=8\ndoors close\nbrake 9\nframe time=1000 location=0\nkey 10\n"
          "frame time=4600 location=" +
          std::to_string(d) + "\nbeacon type=" + std::to_string(l.type) +
          " signal=" + std::to_string(l.signal == kAny ? 7 : l.signal) +
          " optional=" + std::to_string(l.optional) + "\nframe time=4700\n";
      auto library = test::OpenPlugin();
      test::Recorder recorder;
      Session session(library->api(), {&recorder});
      Replay(ParseScenario(text, "limit.txt").value, session);
      const bool tripped = recorder.frames.back().Panel(kPanelTripped) != 0;
      EXPECT_EQ(tripped, d > l.limit_kmh) << "type " << l.type << " signal " << l.signal
                                          << " data word " << l.optional << " at " << d << " km/h";
    }
  }
}

TEST(Reference, SpeedMarginsPassFarAlongTheRoute) {
  // A steady train at the margin below a 28 km/h limit, near the far end of
  // each row, in 16 ms frames, with a check after every frame: the rounding
  // of the location must never trip it.
  constexpr int kLimit = 28;
  constexpr int kFrames = 200;
  for (const SpeedMarginEntry& m : kSpeedMargins) {
    const double speed = kLimit - static_cast<double>(m.margin_kmh);
    std::string text =
        "vehicle brake-notches=8\ndoors close\nbrake 9\nframe time=1000 location=" +
        std::to_string(m.farthest_m - 30.0) +
        "\nkey 10\nreverser 1\nbrake 0\nadvance 1 dt=16 speed=" + std::to_string(speed) + "\n";
    for (int i = 0; i < kFrames; ++i) {
      text += "advance 1 dt=16\nbeacon type=9 optional=" + std::to_string(kLimit) + "\n";
    }
    text += "advance 1 dt=16\n";
    auto library = test::OpenPlugin();
    test::Recorder recorder;
    Session session(library->api(), {&recorder});
    Replay(ParseScenario(text, "margin.txt").value, session);
    EXPECT_EQ(recorder.frames.back().Panel(kPanelTripped), 0)
        << m.locations.en << " at " << speed << " km/h";
  }
}

}  // namespace
}  // namespace atshost

namespace atshost {
namespace {

// The guide's braking table as the train runs: each distance is what the
// train model, stepped at the host's 20 ms frames, runs before it is down to
// the lower speed (to within a metre), and harder braking is never longer.
TEST(Reference, BrakingTableIsTheTrainsOwn) {
  const ModelParams model;
  const std::vector<BrakingTableRow> rows = BrakingTable(model);
  ASSERT_EQ(rows.size(), 11u);
  for (const BrakingTableRow& r : rows) {
    SCOPED_TRACE(std::to_string(r.from_kmh) + " to " + std::to_string(r.to_kmh));
    EXPECT_LT(r.emergency, r.full_service);
    EXPECT_LT(r.full_service, r.notch4);
    TrainState start;
    start.speed = r.from_kmh;
    TrainModel train(model, {}, start);
    while (train.state().speed > r.to_kmh && train.state().speed > 0.0) {
      train.Step(ATS_HANDLES{model.brake_notches, 0, 1, 2}, 0.02);
    }
    EXPECT_NEAR(train.state().location, r.full_service, 1.0);
  }
}

// The guide's prose gives the governor's speeds and the stop window in words;
// the tools draw them from cab.h. Both languages must state cab.h's figures,
// so that a change to one is seen in the other.
TEST(Reference, ProseStatesTheCabsThresholds) {
  const Text* window_lamp = nullptr;
  for (const PanelEntry& e : kPanel) {
    if (e.index == kPanelStopWindow) window_lamp = &e.when;
  }
  ASSERT_NE(window_lamp, nullptr);
  const Text& full_service = kBrakePositions[1].use;
  const Text& stopping_point =
      kGuideWords[static_cast<std::size_t>(Word::kExampleStoppingPoint)].text;
  const struct {
    const Text& text;
    std::string figure;
  } cases[] = {
      {full_service, Shortest(kGovernorBrakesKmh) + " km/h"},
      {full_service, Shortest(kGovernorReleasesKmh) + " km/h"},
      {*window_lamp, Shortest(kStopWindowM) + " m"},
      {stopping_point, Shortest(kStopWindowM) + " m"},
  };
  for (const auto& c : cases) {
    for (const char* side : {c.text.en, c.text.ja}) {
      EXPECT_NE(std::string(side).find(c.figure), std::string::npos) << side;
    }
  }
}

}  // namespace
}  // namespace atshost
