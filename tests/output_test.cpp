// Panel and sound output as the host sees it: exactly the listed elements are
// written, in every frame, each with the value of the field it shows; every
// other element keeps what the host put there. Also the order of work inside a
// frame, as far as the arrays show it.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

using FieldRef = int32_t& (*)(CVorlan800&);
struct Copy {
  int index;
  FieldRef field;
};
#define FIELD(member) [](CVorlan800& u) -> int32_t& { return u.member; }

// Panel elements that copy a field.
const Copy kPanelCopies[] = {
    {0, FIELD(m_pAts->on)},          {1, FIELD(m_pIsolation->active)},
    {2, FIELD(m_pAts->tripped)},     {6, FIELD(m_runningLatch)},
    {9, FIELD(m_sectionMode[0])},    {11, FIELD(m_stopInWindow)},
    {12, FIELD(m_stopLatch)},        {14, FIELD(m_doorBlink)},
    {101, FIELD(m_offLamp)},         {200, FIELD(m_counterShown)},
    {201, FIELD(m_counterBlank)},    {206, FIELD(m_mrRisingShown)},
    {207, FIELD(m_bcBars)},          {208, FIELD(m_currentBarsPos)},
    {209, FIELD(m_currentBarsNeg)},  {210, FIELD(m_closedLamps[0])},
    {211, FIELD(m_closedLamps[1])},  {212, FIELD(m_closedLamps[2])},
    {216, FIELD(m_counterStepA)},    {217, FIELD(m_counterStepB)},
    {218, FIELD(m_reverserForward)}, {219, FIELD(m_reverserBackward)},
    {220, FIELD(m_openLamps[0])},    {221, FIELD(m_openLamps[1])},
    {222, FIELD(m_openLamps[2])},    {241, FIELD(m_sectionMode[1])},
    {242, FIELD(m_sectionMode[2])},  {243, FIELD(m_sectionMode[3])},
    {244, FIELD(m_sectionMode[4])},  {245, FIELD(m_sectionMode[5])},
    {246, FIELD(m_sectionMode[6])},
};
// Panel elements that always hold a constant.
constexpr std::pair<int, int32_t> kPanelConstants[] = {
    {3, 1},   {100, 0}, {102, 0}, {103, 0}, {104, 0}, {105, 0}, {106, 0},
    {107, 0}, {215, 0}, {225, 0}, {226, 0}, {228, 0}, {229, 0}, {255, 1},
};
// Panel elements that show a condition, checked on their own below.
constexpr int kAnyStop = 5;        // tripped, warning brake or speed disagreement
constexpr int kEmergencyLamp = 7;  // tripped or the driver's handle at emergency
constexpr int kCurrentNegative = 8;

const Copy kSoundCopies[] = {
    {0, FIELD(m_soundAtsOn)},    {2, FIELD(m_soundStart)},  {3, FIELD(m_soundStop)},
    {4, FIELD(m_soundAir)},      {7, FIELD(m_soundAlarm)},  {8, FIELD(m_soundBell)},
    {9, FIELD(m_soundBellLoop)}, {100, FIELD(m_soundDoor)},
};
#undef FIELD

constexpr int kSoundStart = 2;
constexpr int kSoundStop = 3;
constexpr int kSoundAir = 4;
constexpr int kSoundBell = 8;
constexpr int kSoundBellLoop = 9;

constexpr int32_t kBeaconSignal = 0;
constexpr int32_t kBeaconModeClear = 10;
constexpr int32_t kBeaconModeStation = 11;
constexpr int32_t kBeaconStopTarget = 12;
constexpr int32_t kBeaconModeSelect = 15;
constexpr int32_t kBeaconCounter = 200;
constexpr int32_t kModeWordBase = 240;

void Refill(Cab& cab) {
  cab.panel.fill(kCanary);
  cab.sound.fill(kCanary);
}

// Both arrays against the unit after a frame whose arrays were refilled with
// the canary: every listed element holds its field or constant (and so was
// written), every other element still holds the canary.
void ExpectWrittenExactly(Cab& cab, const std::string& where) {
  SCOPED_TRACE(where);
  CVorlan800& u = cab.unit();
  std::set<int> listed = {kAnyStop, kEmergencyLamp, kCurrentNegative};
  for (const Copy& c : kPanelCopies) {
    EXPECT_EQ(cab.panel[c.index], c.field(u)) << "panel " << c.index;
    listed.insert(c.index);
  }
  for (const auto& [index, value] : kPanelConstants) {
    EXPECT_EQ(cab.panel[index], value) << "panel " << index;
    listed.insert(index);
  }
  for (int index : {kAnyStop, kEmergencyLamp, kCurrentNegative}) {
    EXPECT_TRUE(cab.panel[index] == 0 || cab.panel[index] == 1) << "panel " << index;
  }
  ASSERT_EQ(listed.size(), 48u);
  for (int i = 0; i < ATS_PANEL_SIZE; ++i) {
    if (!listed.contains(i)) {
      EXPECT_EQ(cab.panel[i], kCanary) << "panel " << i;
    }
  }
  std::set<int> sounds;
  for (const Copy& c : kSoundCopies) {
    EXPECT_EQ(cab.sound[c.index], c.field(u)) << "sound " << c.index;
    sounds.insert(c.index);
  }
  ASSERT_EQ(sounds.size(), 8u);
  for (int i = 0; i < ATS_SOUND_SIZE; ++i) {
    if (!sounds.contains(i)) {
      EXPECT_EQ(cab.sound[i], kCanary) << "sound " << i;
    }
  }
}

// Distinct values in every copied field: a slip between two indices, or a
// field shown at the wrong index, cannot go unseen.
TEST(OutputTables, EveryFieldLandsAtItsOwnIndex) {
  Cab cab;
  CVorlan800& u = cab.unit();
  int32_t value = 1000;
  for (const Copy& c : kPanelCopies) c.field(u) = value++;
  for (const Copy& c : kSoundCopies) c.field(u) = value++;
  CVehicleVorlan& host_view = u;  // through the virtual interface, as the boundary calls
  host_view.WritePanel(cab.panel.data());
  host_view.WriteSound(cab.sound.data());
  ExpectWrittenExactly(cab, "distinct values");
}

struct Step {
  std::string what;
  std::function<void(Cab&)> act;               // driver actions and beacons, then one frame
  std::vector<std::pair<int, int32_t>> panel;  // what this state must show
  std::vector<std::pair<int, int32_t>> sound;
};

std::vector<Step> StateTour() {
  std::vector<Step> steps = {
      {"just loaded",
       [](Cab& c) { c.Frame(100, 0.0, 0.0f); },
       {{0, 0}, {1, 1}, {101, 1}, {201, 1}},
       {{0, ATS_SOUND_STOP}}},
      {"off, doors open",
       [](Cab& c) { c.Frame(1000, 0.0, 0.0f); },
       {{201, 0}, {220, 1}, {kEmergencyLamp, 0}},
       {}},
      {"switched on, doors closed",
       [](Cab& c) {
         c.SwitchOnSecured();
         c.Run(0.0f);
       },
       {{0, 1}, {1, 0}, {101, 0}, {210, 1}, {200, 1}, {216, 1}, {217, 2}, {kEmergencyLamp, 1}},
       {{0, ATS_SOUND_PLAY}, {100, ATS_SOUND_PLAY}}},
      {"blanked after the door change", [](Cab& c) { c.Run(0.0f); }, {{201, 1}, {210, 0}}, {}},
      {"counter beacon blanks",
       [](Cab& c) {
         c.Run(0.0f, 500);
         c.Beacon(kBeaconCounter, 0, 17);
         c.Run(0.0f);
       },
       {{201, 1}, {200, 0}, {216, 6}, {217, 7}},
       {}},
      {"counter shown", [](Cab& c) { c.Run(0.0f, 500); }, {{200, 17}, {201, 0}}, {}},
      {"mode 0, standing at the stop target",
       [](Cab& c) {
         c.Beacon(kBeaconModeStation, 0, 0);
         c.Beacon(kBeaconStopTarget, 0, 812);
         c.Frame(c.time + 100, 812.0, 0.0f);  // the jump shows as a speed disagreement
       },
       {{9, 1}, {11, 1}, {12, 1}, {kAnyStop, 1}},
       {}},
  };
  for (int32_t k = 1; k <= 6; ++k) {
    steps.push_back({"mode " + std::to_string(k),
                     [k](Cab& c) {
                       c.Beacon(kBeaconModeSelect, 0, kModeWordBase + k);
                       c.Run(0.0f);
                     },
                     {{9, 0}, {kModeWordBase + k, 1}},
                     {}});
  }
  const std::vector<Step> rest = {
      {"warning brake",
       [](Cab& c) {
         c.Beacon(kBeaconModeClear, 0, 0);
         atsSetReverser(1);
         atsDoorOpen();
         c.Run(0.0f);
         atsDoorClose();  // reverser out of neutral: warning brake
         c.Run(0.0f, 500);
       },
       {{kAnyStop, 1}, {2, 0}, {210, 1}, {218, 1}},
       {{7, ATS_SOUND_PLAYLOOPING}}},
      {"running",
       [](Cab& c) {
         atsSetBrake(kEmergency);  // cancels the warning brake
         c.Run(30.0f, 500);
       },
       {{6, 1}, {kAnyStop, 0}, {11, 0}},
       {{kSoundStart, ATS_SOUND_PLAY}, {7, ATS_SOUND_STOP}}},
      {"meters, current negative",
       [](Cab& c) { c.Run(30.0f, 100, 250.0f, 5.0f, -60.0f); },
       {{kCurrentNegative, 1}, {207, 3}, {209, 3}, {208, 0}, {206, 1}},
       {{kSoundStart, ATS_SOUND_CONTINUE}}},
      {"tripped by a beacon",
       [](Cab& c) {
         c.Beacon(kBeaconSignal, 1, 0);  // 28 km/h limit
         c.Run(30.0f);
       },
       {{2, 1}, {kAnyStop, 1}, {kEmergencyLamp, 1}},
       {{kSoundBell, ATS_SOUND_PLAY}, {kSoundBellLoop, ATS_SOUND_PLAYLOOPING}}},
      {"doors open, blink on",
       [](Cab& c) {
         atsDoorOpen();
         c.Frame((c.time / 1000 + 1) * 1000 + 100, c.location, 0.0f);
       },
       {{14, 1}, {220, 1}, {210, 0}},
       {{kSoundStop, ATS_SOUND_PLAY}, {100, ATS_SOUND_STOP}}},
      {"switched off",
       [](Cab& c) {
         atsKeyDown(kKeySwitchOff);
         c.Run(0.0f);
       },
       {{0, 0}, {1, 1}, {101, 1}, {2, 0}},
       {}},
  };
  steps.insert(steps.end(), rest.begin(), rest.end());
  return steps;
}

TEST(OutputTables, OnlyTheListedElementsAreWrittenInEveryState) {
  Cab cab;
  for (const Step& step : StateTour()) {
    Refill(cab);
    step.act(cab);
    ExpectWrittenExactly(cab, step.what);
    for (const auto& [index, value] : step.panel)
      EXPECT_EQ(cab.panel[index], value) << step.what << ": panel " << index;
    for (const auto& [index, value] : step.sound)
      EXPECT_EQ(cab.sound[index], value) << step.what << ": sound " << index;
  }
}

TEST(PanelConditions, AnyStopLampLightsOnSpeedDisagreementEvenWhileOff) {
  Cab cab;
  cab.Frame(1000, 10.0, 0.0f);  // 10 m in 1 s is 36 km/h against a host speed of 0
  EXPECT_EQ(cab.panel[1], 1);
  EXPECT_EQ(cab.panel[2], 0);
  EXPECT_EQ(cab.panel[kAnyStop], 1);
  cab.Frame(1100, 10.0, 0.0f);
  EXPECT_EQ(cab.panel[kAnyStop], 0);
}

TEST(PanelConditions, EmergencyLampFollowsTheDriversHandleNotTheReturnedBrake) {
  Cab cab;
  atsSetBrake(0);
  EXPECT_EQ(cab.Frame(1000, 0.0, 0.0f).Brake, kEmergency);  // off: the unit holds emergency
  EXPECT_EQ(cab.panel[kEmergencyLamp], 0);
  atsSetBrake(kEmergency);
  cab.Run(0.0f);
  EXPECT_EQ(cab.panel[kEmergencyLamp], 1);
  atsSetBrake(kEmergency + 1);
  cab.Run(0.0f);
  EXPECT_EQ(cab.panel[kEmergencyLamp], 0);

  atsSetBrake(kNotches);
  atsKeyDown(kKeySwitchOn);  // not secured: trips
  cab.Run(0.0f);
  EXPECT_EQ(cab.panel[2], 1);
  EXPECT_EQ(cab.panel[kEmergencyLamp], 1);
}

TEST(PanelConditions, CurrentNegativeIsAStrictFloatComparison) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float tiny = std::numeric_limits<float>::denorm_min();
  const std::pair<float, int> cases[] = {
      {0.0f, 0}, {-0.0f, 0}, {nan, 0}, {tiny, 0}, {-tiny, 1}, {-1.0f, 1}, {-INFINITY, 1},
  };
  Cab cab;
  for (const auto& [current, shown] : cases) {
    cab.Run(0.0f, 100, 0.0f, 0.0f, current);
    EXPECT_EQ(cab.panel[kCurrentNegative], shown) << current;
  }
}

TEST(PanelModes, OneHotAcrossIndex9And241To246) {
  Cab cab;
  auto shown = [&cab] {
    std::vector<int> lit;
    for (int i : {9, 241, 242, 243, 244, 245, 246})
      if (cab.panel[i] == 1) lit.push_back(i);
    return lit;
  };
  cab.Run(0.0f);
  EXPECT_EQ(shown(), std::vector<int>{});
  cab.Beacon(kBeaconModeStation, 0, 0);
  cab.Run(0.0f);
  EXPECT_EQ(shown(), std::vector<int>{9});
  cab.Beacon(kBeaconModeSelect, 0, 243);
  cab.Run(0.0f);
  EXPECT_EQ(shown(), std::vector<int>{243});
  cab.Beacon(kBeaconModeSelect, 0, 247);  // no such mode: unchanged
  cab.Run(0.0f);
  EXPECT_EQ(shown(), std::vector<int>{243});
  cab.Beacon(kBeaconModeClear, 0, 0);
  cab.Run(0.0f);
  EXPECT_EQ(shown(), std::vector<int>{});
}

// The start, stop and air sounds go back to continue at the start of every
// frame, so a play-once reaches the host only in the frame that wrote it;
// every other sound is written as it stands, frame after frame.
TEST(SoundOutput, PerFrameSoundsPlayOnceOnlyInTheFrameThatTriggersThem) {
  Cab cab;
  cab.SwitchOnSecured();
  cab.Frame(1000, 0.0, 0.0f);
  atsSetReverser(1);
  const std::pair<float, std::vector<int32_t>> frames[] = {
      // speed, then start, stop
      {10.0f, {ATS_SOUND_PLAY, ATS_SOUND_CONTINUE}},
      {10.0f, {ATS_SOUND_CONTINUE, ATS_SOUND_CONTINUE}},
      {0.0f, {ATS_SOUND_CONTINUE, ATS_SOUND_PLAY}},
      {0.0f, {ATS_SOUND_CONTINUE, ATS_SOUND_CONTINUE}},
  };
  for (const auto& [speed, expected] : frames) {
    cab.Run(speed);
    EXPECT_EQ(cab.sound[kSoundStart], expected[0]) << speed;
    EXPECT_EQ(cab.sound[kSoundStop], expected[1]) << speed;
    // Written by the driver controls and left alone since: sent unchanged.
    EXPECT_EQ(cab.sound[0], ATS_SOUND_PLAY);
    EXPECT_EQ(cab.sound[100], ATS_SOUND_PLAY);
  }

  atsSetBrake(kEmergency);  // not lowered: the air sound may fire
  for (const auto& [bc, air] : {std::pair{35.0f, ATS_SOUND_PLAY}, std::pair{35.0f, ATS_SOUND_PLAY},
                                std::pair{40.0f, ATS_SOUND_CONTINUE}}) {
    cab.Run(0.0f, 100, bc);
    EXPECT_EQ(cab.sound[kSoundAir], air) << bc;
  }
}

// The handle override runs before the output, so a trip it raises is on the
// panel and in the sounds of the same frame; the bell fields persist, so a
// persisting roll-back alternates them.
TEST(FrameOrder, TripByTheHandleOverrideShowsInTheSameFrame) {
  Cab cab;
  cab.SwitchOnSecured();
  cab.Frame(1000, 0.0, 0.0f);
  atsSetBrake(0);
  atsSetReverser(1);
  EXPECT_EQ(cab.Run(-6.0f).Brake, kEmergency);
  EXPECT_EQ(cab.panel[2], 1);
  EXPECT_EQ(cab.panel[kAnyStop], 1);
  EXPECT_EQ(cab.panel[kEmergencyLamp], 1);
  EXPECT_EQ(cab.sound[kSoundBell], ATS_SOUND_PLAY);
  EXPECT_EQ(cab.sound[kSoundBellLoop], ATS_SOUND_PLAYLOOPING);
  cab.Run(-6.0f);
  EXPECT_EQ(cab.sound[kSoundBell], ATS_SOUND_CONTINUE);
  EXPECT_EQ(cab.sound[kSoundBellLoop], ATS_SOUND_CONTINUE);
}

}  // namespace
}  // namespace vorlan::test
