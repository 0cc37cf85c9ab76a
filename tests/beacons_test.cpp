// Beacons: the point speed check at its limits, the trip bell, section modes,
// stop target and counter; and a driver's whole run through a signal trip.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

void SetHandles(int32_t reverser, int32_t brake, int32_t power) {
  atsSetReverser(reverser);
  atsSetBrake(brake);
  atsSetPower(power);
}

// Every limit is strict: the limit itself passes, one float32 step above trips;
// the check runs only while the unit is on.
TEST(Beacons, PointSpeedLimits) {
  // clang-format off
  struct Case { int32_t type, signal, optional; float groundSpeed; int32_t tripped; };
  const Case cases[] = {
      {0, 0, 0, 0.0f, 0},            {0, 0, 0, 0.1f, 1},            {0, 1, 0, 28.0f, 0},
      {0, 1, 0, Above(28.0f), 1},    {0, 1, 0, -30.0f, 1},          {0, 2, 0, 48.0f, 0},
      {0, 2, 0, Above(48.0f), 1},    {0, 3, 0, 68.0f, 0},           {0, 3, 0, Above(68.0f), 1},
      {0, 4, 0, 500.0f, 0},          {0, -1, 0, 500.0f, 0},         {0, 0, 50, 19.0f, 0},
      {0, 0, 50, 19.5f, 1},          {0, 2, 50, 100.0f, 0},         {0, 0, 150, 29.0f, 0},
      {0, 0, 150, Above(29.0f), 1},  {0, 1, 150, 100.0f, 0},        {0, 0, 100, 500.0f, 0},
      {9, 7, 45, 45.0f, 0},          {9, 7, 45, 45.5f, 1},          {9, 0, -1, 0.0f, 1},
      {9, 0, INT32_MAX, 500.0f, 0},  {1, 0, 0, 500.0f, 0},          {12, 0, 0, 500.0f, 0}};
  // clang-format on
  for (const Case& c : cases) {
    for (bool on : {true, false}) {
      Cab cab;
      if (on) cab.SwitchOnSecured();
      cab.DeriveGroundSpeed(c.groundSpeed);
      ASSERT_EQ(cab.unit().m_groundSpeed, c.groundSpeed);
      cab.Beacon(c.type, c.signal, c.optional);
      EXPECT_EQ(cab.unit().m_pAts->tripped, on ? c.tripped : 0)
          << c.type << "/" << c.signal << "/" << c.optional << " at " << c.groundSpeed << on;
    }
  }
}

// The check takes the speed derived from the change of location, not the
// host's; a derived NaN never trips, an infinity always does.
TEST(Beacons, PointSpeedUsesTheDerivedSpeed) {
  Cab cab;
  cab.SwitchOnSecured();
  atsSetReverser(1);
  cab.DeriveGroundSpeed(20.0f, 50.0f);
  cab.Beacon(0, 1, 0);
  EXPECT_EQ(cab.unit().m_pAts->tripped, 0);
  cab.Frame(cab.time, cab.location, 0.0f);  // no time, no distance: NaN
  cab.Beacon(0, 0, 0);
  EXPECT_EQ(cab.unit().m_pAts->tripped, 0);
  cab.Frame(cab.time, cab.location + 1.0, 0.0f);  // no time, a metre: infinity
  cab.Beacon(9, 0, INT32_MAX);
  EXPECT_EQ(cab.unit().m_pAts->tripped, 1);
}

// 0.15555556 m (float32) in a 20 ms frame is exactly 28 km/h when the distance
// is scaled to the hour before it is divided by the time; scaling by 3600/T,
// or rounding a float64 quotient once, gives a step above and would trip.
TEST(Beacons, PointSpeedAtTheLimitInAShortFrame) {
  Cab cab;
  cab.SwitchOnSecured();
  atsSetReverser(1);
  cab.Frame(1000, 0.0, 28.0f);
  cab.Frame(1020, 0.15555556, 28.0f);
  cab.Beacon(0, 1, 0);
  EXPECT_EQ(cab.unit().m_pAts->tripped, 0) << cab.unit().m_groundSpeed;
}

// Every beacon passed while tripped toggles the bell, whatever its type and
// whether the unit is on; a tripping beacon rings it in the same call.
TEST(Beacons, BellWhileTripped) {
  {
    Cab cab;
    CVorlan800& u = cab.unit();
    cab.Beacon(13, 0, 0);
    EXPECT_EQ(u.m_soundBell, ATS_SOUND_STOP);
    atsSetReverser(-1);
    cab.Run(6.0f);  // rolling against the reverser trips the switched-off unit
    cab.Run(0.0f);
    ASSERT_EQ(u.m_soundBell, ATS_SOUND_PLAY);
    for (int32_t bell : {ATS_SOUND_CONTINUE, ATS_SOUND_PLAY, ATS_SOUND_CONTINUE}) {
      cab.Beacon(13, 0, 0);
      EXPECT_EQ(u.m_soundBell, bell);
      EXPECT_EQ(u.m_soundBellLoop, bell == ATS_SOUND_PLAY ? ATS_SOUND_PLAYLOOPING : bell);
    }
    for (int32_t m : u.m_sectionMode) EXPECT_EQ(m, 0);
  }
  Cab fresh;
  fresh.SwitchOnSecured();
  fresh.DeriveGroundSpeed(30.0f);
  fresh.Beacon(0, 1, 0);
  EXPECT_EQ(fresh.unit().m_soundBell, ATS_SOUND_PLAY);
  EXPECT_EQ(fresh.unit().m_soundBellLoop, ATS_SOUND_PLAYLOOPING);
}

TEST(Beacons, ModesStopTargetAndCounter) {
  Cab cab;
  const int32_t* mode = cab.unit().m_sectionMode;
  auto selected = [mode] { return std::vector<int32_t>(mode, mode + kSectionModes); };
  cab.Beacon(11, 0, 0);
  EXPECT_EQ(selected(), (std::vector<int32_t>{1, 0, 0, 0, 0, 0, 0}));
  for (int32_t word = 241; word <= 246; ++word) {  // mode word - 240, alone
    std::vector<int32_t> one(kSectionModes, 0);
    one[word - 240] = 1;
    cab.Beacon(15, 0, word);
    EXPECT_EQ(selected(), one) << word;
  }
  cab.Beacon(15, 0, 243);
  for (int32_t word : {240, 247, INT32_MIN, INT32_MAX}) cab.Beacon(15, 0, word);
  EXPECT_EQ(selected(), (std::vector<int32_t>{0, 0, 0, 1, 0, 0, 0}));
  cab.Beacon(10, 0, 243);
  EXPECT_EQ(selected(), std::vector<int32_t>(kSectionModes, 0));

  cab.Beacon(12, 0, 812);  // also while off
  EXPECT_EQ(cab.unit().m_pLimiter->stopTarget, 812.0);
  cab.Beacon(12, 0, INT32_MIN);
  EXPECT_EQ(cab.unit().m_pLimiter->stopTarget, -2147483648.0);
  // Kept as float64: 2^24 + 1 has no float32, which would make it 2^24.
  cab.Beacon(12, 0, 16777217);
  EXPECT_EQ(cab.unit().m_pLimiter->stopTarget, 16777217.0);
  cab.Frame(100, 16777217.0, 0.0f);
  EXPECT_EQ(cab.unit().m_stopInWindow, 1);

  // The counter takes the word as it comes and stamps the latest frame's time.
  cab.Frame(-1234, 0.0, 0.0f);
  cab.Beacon(200, 0, 45);
  EXPECT_EQ(cab.unit().m_counter, 45);
  EXPECT_EQ(cab.unit().m_eventTimeMs, -1234);
}

// A driver's run: switch on, start, pass a 28 km/h signal beacon at 30, stop,
// try to reset, secure the handles, reset and start again. Every handle and
// every sound is checked in every frame.
TEST(Beacons, RunTripResetAndRunAgain) {
  constexpr int S = ATS_SOUND_STOP, P = ATS_SOUND_PLAY, C = ATS_SOUND_CONTINUE,
                L = ATS_SOUND_PLAYLOOPING, E = kEmergency;
  // clang-format off
  struct Step { void (*actions)(); float speed; std::array<int32_t, 4> handles;
                std::array<int, 8> sounds; };
  const Step story[] = {  // handles: Brake, Power, Reverser, ConstantSpeed; sounds 0, 2-4, 7-9, 100
      {[] {}, 0.0f, {E, 0, 0, 2}, {S, C, C, C, S, S, S, S}},
      {[] { atsSetBrake(E); atsDoorClose(); atsKeyDown(kKeySwitchOn); },
                     0.0f, {E, 0, 0, 2}, {P, C, C, C, S, S, S, P}},
      {[] { SetHandles(1, 0, 3); }, 10.0f, {0, 3, 1, 2}, {P, P, C, C, S, S, S, P}},
      {[] {}, 30.0f, {0, 3, 1, 2}, {P, C, C, C, S, S, S, P}},
      {[] { atsSetBeaconData({0, 1, 0, 0}); }, 30.0f, {E, 0, 1, 2}, {P, C, C, C, S, P, L, P}},
      {[] {}, 4.0f, {E, 0, 1, 2}, {P, C, P, C, S, P, L, P}},
      {[] { atsKeyDown(kKeyReset); }, 0.0f, {E, 0, 1, 2}, {P, C, C, C, S, P, L, P}},
      {[] { SetHandles(0, E, 0); atsKeyDown(kKeyReset); },
                     0.0f, {E, 0, 0, 2}, {P, C, C, C, S, S, S, P}},
      {[] { SetHandles(1, 0, 3); }, 10.0f, {0, 3, 1, 2}, {P, P, C, C, S, S, S, P}}};
  // clang-format on
  Cab cab;
  for (const Step& step : story) {
    step.actions();
    ATS_HANDLES h = cab.Run(step.speed);
    SCOPED_TRACE(testing::Message() << "frame " << &step - story);
    EXPECT_EQ(Handles(h), step.handles);
    EXPECT_EQ(cab.Sounds(), step.sounds);
  }
}

}  // namespace
}  // namespace vorlan::test
