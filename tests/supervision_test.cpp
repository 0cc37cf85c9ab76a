// Per-frame supervision: the derived speed and the mismatch flag, the
// open-door trip, the governor's hysteresis, the stop window and its latch,
// the door blink, and the start, stop and brake-air sounds.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

// The derived speed is a float32 quotient of float32-rounded locations over
// the wrapping int32 elapsed time, bit for bit: distance times 3600, then over
// the time, each step rounded to float32. The frames of 20, 25 and 33 ms are
// ones where another order, or one rounding of a float64 quotient, comes out
// a step away (28 km/h at 20 ms would then fail a 28 km/h beacon). A mismatch
// is more than 2 km/h either way.
TEST(Supervision, DerivedSpeedAndMismatch) {
  // clang-format off
  struct Case { int32_t t0; double l0; int32_t t1; double l1; float hostSpeed, derived;
                int32_t slip; };
  const Case cases[] = {
      {1000, 0.0, 1016, 4.0, 0.0f, 900.0f, 1},    {1000, 0.0, 1016, 4.0, 899.0f, 900.0f, 0},
      // Near 100 km float32 locations step by 1/128 m: 11.7 mm count as 7.8 mm.
      {1000, 100000.0, 1016, 100000.0117, 0.0f, 1.7578125f, 0},
      {1000, 0.0, 4600, 52.0, 50.0f, 52.0f, 0},   {1000, 0.0, 4600, 48.0, 50.0f, 48.0f, 0},
      {1000, 0.0, 4600, 52.5, 50.0f, 52.5f, 1},   {1000, 0.0, 4600, 47.5, 50.0f, 47.5f, 1},
      {1000, 10.0, 4600, 0.0, -10.0f, -10.0f, 0}, {1000, 0.0, 4600, 52.5, kNaN, 52.5f, 0},
      {1000, 5.0, 1000, 6.0, 0.0f, kInf, 1},      {1000, 6.0, 1000, 5.0, 0.0f, -kInf, 1},
      {INT32_MAX, 0.0, INT32_MIN, 0.001, 3.6f, 3.60000014f, 0},
      {1000, 0.0, 1020, 0.166670665, 30.0f, 30.000721f, 0},
      {1000, 0.0, 1025, 0.256950438, 37.0f, 37.0008659f, 0},
      {1000, 0.0, 1033, 0.40334633, 44.0f, 44.0014153f, 0},
      {1000, 0.0, 1020, 0.15555556, 28.0f, 28.0f, 0}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    atsSetReverser(c.hostSpeed < 0 ? -1 : 1);  // travelling forwards: no trip
    cab.Frame(c.t0, c.l0, c.hostSpeed);
    cab.Frame(c.t1, c.l1, c.hostSpeed);
    SCOPED_TRACE(testing::Message() << c.t1 << " ms at " << c.l1 << " m");
    EXPECT_EQ(std::bit_cast<uint32_t>(cab.unit().m_groundSpeed), std::bit_cast<uint32_t>(c.derived))
        << cab.unit().m_groundSpeed << " km/h, not " << c.derived;
    EXPECT_EQ(cab.unit().m_slipDetected, c.slip);
    EXPECT_EQ(cab.panel[5], c.slip);  // shown even while switched off
  }
  Cab cab;  // neither time nor distance: NaN, no mismatch
  cab.Frame(500, 3.0, 20.0f);
  cab.Frame(500, 3.0, 20.0f);
  EXPECT_TRUE(std::isnan(cab.unit().m_groundSpeed));
  EXPECT_EQ(cab.unit().m_slipDetected, 0);
}

// Moving above 5 km/h with the doors open trips a switched-on unit; the
// emergency brake follows in the same frame, without a bell.
TEST(Supervision, OpenDoorTrip) {
  // clang-format off
  struct Case { bool on; float speed; int32_t tripped; };
  const Case cases[] = {{true, 5.0f, 0}, {true, Above(5.0f), 1}, {true, -5.1f, 1}, {true, kNaN, 0},
                        {false, 70.0f, 0}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    if (c.on) cab.SwitchOnSecured();
    atsSetBrake(0);
    atsSetReverser(c.speed < 0 ? -1 : 1);  // the direction of travel: no other trip
    atsDoorOpen();
    ATS_HANDLES h = cab.Frame(100, 0.0, c.speed);
    EXPECT_EQ(cab.unit().m_pAts->tripped, c.tripped) << c.on << " at " << c.speed;
    EXPECT_EQ(h.Brake, c.on && !c.tripped ? 0 : kEmergency);
    EXPECT_EQ(cab.sound[8], ATS_SOUND_STOP);
  }
}

// The governor brakes above 76 km/h until the speed falls below 71 km/h, by
// the absolute speed; in between, and at NaN, it keeps what it was doing.
TEST(Supervision, GovernorHysteresis) {
  // clang-format off
  struct Step { float speed; int32_t brake; };
  const Step steps[] = {{70.0f, 0}, {76.0f, 0}, {Above(76.0f), kNotches}, {73.0f, kNotches},
                        {71.0f, kNotches},   {kNaN, kNotches},    {Below(71.0f), 0},
                        {75.0f, 0},          {kNaN, 0},           {-80.0f, kNotches},
                        {-71.0f, kNotches},  {-70.9f, 0}};
  // clang-format on
  Cab cab;
  cab.SwitchOnSecured();
  atsSetBrake(0);
  for (const Step& s : steps) {
    atsSetReverser(s.speed < 0 ? -1 : 1);
    EXPECT_EQ(cab.Frame(cab.time + 100, 0.0, s.speed).Brake, s.brake) << s.speed;
  }
}

// Standing still within 0.3 m of the target, measured in float64: a float32
// location or a float32 0.3 would give the opposite answer at 499.7, 500.3,
// 100000.3005, 0.3000000005 and 0.2999999999.
TEST(Supervision, StopWindow) {
  // clang-format off
  struct Case { int32_t target; double location; float speed; int32_t inWindow; };
  const Case cases[] = {
      {500, 500.29, 0.0f, 1},          {500, 500.3, 0.0f, 0},
      {500, 499.7, 0.0f, 0},           {500, 500.0, -0.0f, 1},
      {500, 500.0, kNaN, 0},           {500, 500.0, Above(0.0f), 0},
      {100000, 100000.3005, 0.0f, 0},  {0, 0.3000000005, 0.0f, 0},
      {-3, -3.2999, 0.0f, 1},          {0, 0.2999999999, 0.0f, 1}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    cab.Beacon(12, 0, c.target);
    cab.Frame(100, c.location, c.speed);
    EXPECT_EQ(cab.unit().m_stopInWindow, c.inWindow) << c.location << " at " << c.speed;
  }
}

// The latch needs mode 0 and closed doors, survives moving off and opening the
// doors, and falls in the first frame without mode 0.
TEST(Supervision, StopLatch) {
  // clang-format off
  struct Step { void (*action)(); double location; float speed; int32_t latch; };
  const Step steps[] = {
      {[] {}, 200.0, 0.0f, 0},                                    // in the window, no mode 0
      {[] { atsSetBeaconData({11, 0, 0, 0}); }, 200.0, 0.0f, 0},  // mode 0, doors open
      {atsDoorClose, 200.0, 0.0f, 1},
      {atsDoorOpen, 201.0, 10.0f, 1},
      {[] { atsSetBeaconData({15, 0, 0, 241}); }, 202.0, 10.0f, 0}};
  // clang-format on
  Cab cab;
  cab.Beacon(12, 0, 200);
  for (const Step& s : steps) {
    s.action();
    cab.Frame(cab.time + 100, s.location, s.speed);
    EXPECT_EQ(cab.unit().m_stopLatch, s.latch) << cab.time;
  }
}

TEST(Supervision, DoorBlinkByHostTime) {
  // The remainder keeps the time's sign, so negative times blink on throughout.
  const std::pair<int32_t, int32_t> cases[] = {{0, 1},        {499, 1}, {500, 0},  {999, 0},
                                               {1000, 1},     {-1, 1},  {-999, 1}, {INT32_MIN, 1},
                                               {INT32_MAX, 0} /* remainder 647 */};
  for (auto [time, blink] : cases) {
    Cab cab;
    cab.Frame(time, 0.0, 0.0f);
    EXPECT_EQ(cab.unit().m_doorBlink, blink) << time;
    atsDoorClose();
    cab.Frame(time, 0.0, 0.0f);
    EXPECT_EQ(cab.unit().m_doorBlink, 0) << time;
  }
}

// The start and stop sounds read 1 in the one frame the running latch changes.
TEST(Supervision, RunningLatchSounds) {
  // clang-format off
  struct Step { void (*action)(); float speed; int32_t start, stop; };
  const Step steps[] = {{[] {}, 5.0f, 2, 2},        {[] {}, 5.1f, 1, 2},  {[] {}, 30.0f, 2, 2},
                        {atsDoorOpen, 30.0f, 2, 1}, {[] {}, 30.0f, 2, 2},
                        {atsDoorClose, -30.0f, 1, 2},
                        {[] {}, -5.0f, 2, 1},       {[] {}, kNaN, 2, 2}};
  // clang-format on
  Cab cab;  // switched off: no open-door trip
  atsDoorClose();
  for (const Step& s : steps) {
    s.action();
    atsSetReverser(s.speed < 0 ? -1 : 1);
    cab.Frame(cab.time + 100, 0.0, s.speed);
    EXPECT_EQ(cab.sound[2], s.start) << cab.time;
    EXPECT_EQ(cab.sound[3], s.stop) << cab.time;
  }
}

// The air sound reads 1 in every frame whose truncated cylinder pressure lies
// in a 6-wide band at a multiple of 33 above 15, while the brake is not released.
TEST(Supervision, BrakeAirBands) {
  // clang-format off
  const std::pair<float, int32_t> cases[] = {
      {33.9f, 1}, {38.99f, 1}, {39.0f, 2}, {15.0f, 2}, {20.0f, 2}, {5.0f, 2}, {33.0f, 1},
      {Below(33.0f), 2}, {66.5f, 1}, {104.9f, 1}, {105.0f, 2}, {kNaN, 2}, {-33.0f, 2},
      {3e9f, 1}};  // beyond int32 the target's truncation gives INT32_MIN: remainder -2
  // clang-format on
  for (auto [pressure, sound] : cases) {
    Cab cab;
    atsSetBrake(3);  // raised: not releasing
    for (int32_t t : {100, 200}) {
      cab.Frame(t, 0.0, 0.0f, pressure);
      EXPECT_EQ(cab.sound[4], sound) << pressure;
    }
    atsSetBrake(2);  // lowered: never
    cab.Frame(300, 0.0, 0.0f, pressure);
    EXPECT_EQ(cab.sound[4], ATS_SOUND_CONTINUE) << pressure;
  }
}

}  // namespace
}  // namespace vorlan::test
