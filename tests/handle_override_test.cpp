// Handle override: the power gate, the notch-1 speed hold over its phases,
// the roll-back and neutral-reverser trips with their bell, and the order in
// which the emergency brake and the governor's brake overwrite the handles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

// Switched on with the handles secured, then the driver's handles as given.
void OnWithHandles(Cab& cab, int32_t reverser, int32_t brake, int32_t power) {
  cab.SwitchOnSecured();
  atsSetReverser(reverser);
  atsSetBrake(brake);
  atsSetPower(power);
}

TEST(HandleOverride, PowerGate) {
  // clang-format off
  struct Case { bool doorsClosed; int32_t brake, power; float speed;
                int32_t outPower, constantSpeed; };
  const Case cases[] = {
      {false, 0, 3, 0.0f, 0, 2}, {true, 0, 3, 0.0f, 3, 2},   {true, 2, 1, 10.0f, 1, 2},
      {true, 2, 1, 15.0f, 0, 2}, {true, 2, 1, -14.0f, 1, 2}, {true, 2, 1, Below(15.0f), 1, 2},
      {true, 2, 2, 0.0f, 0, 2},  {true, 2, 1, kNaN, 0, 2},   {true, -1, 1, 0.0f, 1, 2},
      {true, 0, 1, 0.0f, 1, 1},  {true, 0, INT32_MIN, 0.0f, INT32_MIN, 2},
      {false, 0, 1, 0.0f, 0, 1}};  // the hold runs whatever the doors
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    OnWithHandles(cab, c.speed < 0 ? -1 : 1, c.brake, c.power);
    if (!c.doorsClosed) atsDoorOpen();
    ATS_HANDLES h = cab.Frame(2000, 0.0, c.speed);
    SCOPED_TRACE(testing::Message()
                 << c.doorsClosed << " " << c.brake << " " << c.power << " " << c.speed);
    EXPECT_EQ(Handles(h),
              (std::array<int32_t, 4>{c.brake, c.outPower, h.Reverser, c.constantSpeed}));
  }
}

// Notch 1 from standstill: power is cut for the one frame that passes 15 km/h,
// the hold comes more than 1000 ms later and samples the speed once, and its
// brake 4 applies only strictly above the sample plus 2.
TEST(HandleOverride, NotchOneHoldPhases) {
  // clang-format off
  struct Step { int32_t driverBrake, time; float speed;
                int32_t brake, power, constantSpeed, startMs, refSpeed; };
  const Step steps[] = {
      {1, 100, 0.0f, 1, 1, 2, 0, 0},
      {0, 200, 14.0f, 0, 1, 2, 0, 0},  // within 1000 ms of "no start": nothing written
      {0, 300, 15.0f, 0, 1, 2, 0, 0},
      {0, 400, Above(15.0f), 0, 0, 2, 400, 0},  // start: power cut, command kept
      {0, 500, 20.0f, 0, 1, 2, 400, 0},
      {0, 1400, 30.0f, 0, 1, 2, 400, 0},  // exactly 1000 ms: still nothing
      {0, 1401, 37.9f, 0, 1, 1, 400, 37},
      {0, 1500, 39.0f, 0, 1, 1, 400, 37},
      {0, 1600, Above(39.0f), 4, 0, 1, 400, 37},
      {0, 1700, 45.0f, 4, 0, 1, 400, 37},  // sampled once only
      {0, 1800, 12.0f, 0, 1, 1, 400, 37},
      {1, 1900, 12.0f, 1, 1, 2, 0, 0},  // the brake ends the hold
      {0, 2000, 20.0f, 0, 0, 2, 2000, 0}};
  // clang-format on
  Cab cab;
  OnWithHandles(cab, 1, 1, 1);
  for (const Step& s : steps) {
    atsSetBrake(s.driverBrake);
    ATS_HANDLES h = cab.Frame(s.time, 0.0, s.speed);
    SCOPED_TRACE(testing::Message() << "frame at " << s.time);
    EXPECT_EQ(Handles(h), (std::array<int32_t, 4>{s.brake, s.power, 1, s.constantSpeed}));
    EXPECT_EQ(cab.unit().m_tractionStartMs, s.startMs);
    EXPECT_EQ(cab.unit().m_tractionRefSpeed, s.refSpeed);
  }
}

TEST(HandleOverride, NotchOneHoldBackwardsAcrossTheTimeWrapAndFromTimeZero) {
  // Backwards the sample is negative and the limit its magnitude + 2; the
  // hold's brake is 4 whatever the vehicle's notches.
  Cab back(20);
  OnWithHandles(back, -1, 0, 1);
  back.Frame(2000, 0.0, -16.0f);
  EXPECT_EQ(back.Frame(3001, 0.0, -20.5f).ConstantSpeed, 1);
  EXPECT_EQ(back.unit().m_tractionRefSpeed, -20);
  EXPECT_EQ(back.Frame(3100, 0.0, -22.0f).Brake, 0);
  EXPECT_EQ(back.Frame(3200, 0.0, Below(-22.0f)).Brake, 4);

  // The wait is a wrapping int32 difference.
  Cab wrap;
  OnWithHandles(wrap, 1, 1, 1);
  wrap.Frame(INT32_MAX - 600, 0.0, 20.0f);
  atsSetBrake(0);
  EXPECT_EQ(wrap.Frame(INT32_MAX - 500, 0.0, 20.0f).Power, 0);          // start
  EXPECT_EQ(wrap.Frame(INT32_MIN + 499, 0.0, 20.0f).ConstantSpeed, 2);  // 1000 ms
  EXPECT_EQ(wrap.Frame(INT32_MIN + 500, 0.0, 20.0f).ConstantSpeed, 1);  // 1001 ms

  // A start at host time 0 reads as none: the next frame starts and cuts again.
  Cab zero;
  OnWithHandles(zero, 1, 0, 1);
  EXPECT_EQ(zero.Frame(0, 0.0, 20.0f).Power, 0);
  EXPECT_EQ(zero.Frame(100, 0.0, 20.0f).Power, 0);
  EXPECT_EQ(zero.Frame(200, 0.0, 20.0f).Power, 1);
}

// Rolling against the reverser (reverser x speed below -5) or moving in neutral
// (|speed| above 5) trips even a switched-off unit; one frame rings once.
TEST(HandleOverride, RollBackAndNeutralTrips) {
  // clang-format off
  struct Case { int32_t reverser; float speed; bool trips; };
  const Case cases[] = {
      {1, -5.0f, false},         {1, Below(-5.0f), true},   {1, -5.01f, true},
      {-1, 6.0f, true},          {-1, 5.0f, false},         {0, 5.0f, false},
      {0, -5.5f, true},          {0, Above(5.0f), true},    {1, 5.5f, false},
      {1, kNaN, false},          {0, kNaN, false},          {2, -2.6f, true},
      {0, -kInf, true},          {1, -kInf, true},          {INT32_MIN, 1e-8f, true}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    atsSetReverser(c.reverser);
    cab.Frame(100, 0.0, c.speed);
    SCOPED_TRACE(testing::Message() << "reverser " << c.reverser << " at " << c.speed);
    EXPECT_EQ(cab.unit().m_pAts->tripped, c.trips ? 1 : 0);
    EXPECT_EQ(cab.sound[8], c.trips ? ATS_SOUND_PLAY : ATS_SOUND_STOP);
    EXPECT_EQ(cab.sound[9], c.trips ? ATS_SOUND_PLAYLOOPING : ATS_SOUND_STOP);
  }
}

TEST(HandleOverride, PersistingRollBackRingsEverySecondFrame) {
  Cab cab;
  atsSetReverser(1);
  const float speed[] = {-6.0f, -6.0f, -6.0f, 0.0f};  // then the condition ends
  const int32_t bell[] = {1, 2, 1, 1};
  const int32_t loop[] = {0, 2, 0, 0};
  for (int i = 0; i < 4; ++i) {
    cab.Frame(100 * (i + 1), 0.0, speed[i]);
    EXPECT_EQ(cab.sound[8], bell[i]) << i;
    EXPECT_EQ(cab.sound[9], loop[i]) << i;
  }
  // After switching on, the trip holds the emergency brake and cancels the
  // notch-1 hold's command until the reset.
  cab.SwitchOnSecured();
  atsSetBrake(0);
  atsSetPower(1);
  EXPECT_EQ(Handles(cab.Frame(1500, 0.0, 0.0f)), (std::array<int32_t, 4>{kEmergency, 0, 0, 2}));
  atsSetPower(0);
  atsSetBrake(kEmergency);
  atsKeyDown(kKeyReset);
  atsSetBrake(0);
  EXPECT_EQ(cab.Frame(1600, 0.0, 0.0f).Brake, 0);
}

// The emergency brake overwrites the driver's handles and the hold's command;
// the governor's notch then overwrites even the emergency brake.
TEST(HandleOverride, EmergencyThenGovernor) {
  {
    Cab off;
    atsSetReverser(-1);
    atsSetPower(1);
    atsSetBrake(0);
    atsDoorClose();
    // The reverser is never overridden.
    EXPECT_EQ(Handles(off.Frame(2000, 0.0, 0.0f)), (std::array<int32_t, 4>{kEmergency, 0, -1, 2}));
  }
  {
    Cab cab;
    OnWithHandles(cab, 1, kEmergency, 0);
    EXPECT_EQ(cab.Run(80.0f).Brake, kNotches);  // the driver's emergency is replaced
    atsSetBrake(0);
    cab.Beacon(0, 3, 0);  // 68 km/h: tripped
    EXPECT_EQ(Handles(cab.Run(80.0f)), (std::array<int32_t, 4>{kNotches, 0, 1, 2}));
    EXPECT_EQ(cab.Run(60.0f).Brake, kEmergency);
  }
  {
    Cab off;  // switched off above 76 km/h: the governor's brake as well
    atsSetReverser(1);
    atsSetBrake(0);
    EXPECT_EQ(Handles(off.Run(80.0f)), (std::array<int32_t, 4>{kNotches, 0, 1, 2}));
  }
  Cab warn;  // the warning alarm toggles under the governor's brake
  OnWithHandles(warn, 1, 0, 3);
  atsDoorClose();
  for (int32_t alarm : {0, 2, 0}) {
    EXPECT_EQ(warn.Run(80.0f).Brake, kNotches);
    EXPECT_EQ(warn.sound[7], alarm);
  }
}

}  // namespace
}  // namespace vorlan::test
