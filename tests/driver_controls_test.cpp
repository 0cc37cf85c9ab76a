// Driver controls: the warning brake and its alarm, doors and their counter and
// sound, switching on and off, the reset key and the keys that do nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

// A warning brake from closing the doors holds the emergency brake and sounds
// the alarm until a brake above the reset position (7) is reported.
TEST(DriverControls, WarningBrakeAndAlarm) {
  Cab cab;
  CVorlan800& u = cab.unit();
  cab.SwitchOnSecured();
  atsSetReverser(1);
  atsDoorClose();  // the brake at emergency does not prevent it
  for (int32_t alarm : {ATS_SOUND_PLAYLOOPING, ATS_SOUND_CONTINUE}) {
    EXPECT_EQ(cab.Run(0.0f).Brake, kEmergency);
    EXPECT_EQ(cab.sound[7], alarm);
  }
  atsSetBrake(7);
  EXPECT_EQ(u.m_brakeNotReleasing, 0);
  EXPECT_EQ(cab.Run(0.0f).Brake, kEmergency);
  atsSetBrake(8);
  EXPECT_EQ(cab.Run(0.0f).Brake, 8);
  EXPECT_EQ(cab.sound[7], ATS_SOUND_STOP);
  // Key 11 ends a warning but leaves the alarm; a heavy brake stops it later.
  atsDoorClose();
  cab.Run(0.0f);
  atsKeyDown(kKeySwitchOff);
  EXPECT_EQ(u.m_pAts->warningBrake, 0);
  EXPECT_EQ(u.m_soundAlarm, ATS_SOUND_PLAYLOOPING);
  atsSetBrake(8);  // unchanged counts as not releasing
  EXPECT_EQ(u.m_brakeNotReleasing, 1);
  EXPECT_EQ(u.m_soundAlarm, ATS_SOUND_STOP);
}

TEST(DriverControls, ClosingTheDoorsDemandsAWarningOnlyWhenOnAndNotSecured) {
  enum Key0 { kNone, kHeld, kReleased };
  // clang-format off
  struct Case { bool on; Key0 key0; int32_t reverser, power, warning; };
  const Case cases[] = {{true, kNone, 1, 0, 1}, {true, kNone, 0, 1, 1}, {true, kNone, 0, 0, 0},
                        {true, kHeld, 1, 0, 0}, {true, kReleased, 1, 0, 1}, {false, kNone, 1, 3, 0},
                        {true, kNone, INT32_MIN, 0, 1}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    if (c.on) cab.SwitchOnSecured();
    if (c.key0 != kNone) atsKeyDown(kKeyNoWarning);
    if (c.key0 == kReleased) atsKeyUp(kKeyNoWarning);
    atsSetReverser(c.reverser);
    atsSetPower(c.power);
    atsDoorClose();
    EXPECT_EQ(cab.unit().m_pAts->warningBrake, c.warning)
        << c.on << c.key0 << " " << c.reverser << " " << c.power;
  }
}

TEST(DriverControls, DoorSoundAndCounter) {
  Cab cab;
  CVorlan800& u = cab.unit();
  for (int32_t s : {ATS_SOUND_PLAY, ATS_SOUND_CONTINUE, ATS_SOUND_PLAY}) {
    atsDoorClose();
    EXPECT_EQ(u.m_soundDoor, s);
  }
  atsDoorOpen();
  EXPECT_EQ(u.m_soundDoor, ATS_SOUND_STOP);
  cab.Beacon(11, 0, 0);  // in mode 0 closing leaves the sound alone
  atsDoorClose();
  EXPECT_EQ(u.m_soundDoor, ATS_SOUND_STOP);
  // Every event counts up to 30; a beacon's value above 30 stays, one below counts on.
  EXPECT_EQ(u.m_counter, 5);
  while (u.m_counter < 29) atsDoorOpen();
  atsDoorClose();
  atsDoorOpen();
  EXPECT_EQ(u.m_counter, 30);
  atsDoorClose();  // a close stops at 30 as an open does
  EXPECT_EQ(u.m_counter, 30);
  for (void (*doorEvent)() : {atsDoorOpen, atsDoorClose}) {  // counted only below 30
    cab.Beacon(200, 0, 45);
    doorEvent();
    EXPECT_EQ(u.m_counter, 45) << (doorEvent == atsDoorOpen ? "open" : "close");
  }
  cab.Beacon(200, 0, INT32_MIN);
  atsDoorOpen();
  EXPECT_EQ(u.m_counter, INT32_MIN + 1);
}

// Switching on trips with a handle out of the secured position, or with the
// doors open above 5 km/h (strict, on |v|) at the latest frame's host speed.
TEST(DriverControls, SwitchOnTrips) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), above5 = std::nextafter(5.0f, 6.0f);
  // clang-format off
  struct Case { int32_t reverser, power, brake; bool doorsClosed; float speed; int32_t tripped; };
  const Case cases[] = {
      {0, 0, kEmergency, true, 0.0f, 0},     {0, 0, 8, true, 0.0f, 1},
      {1, 0, kEmergency, true, 0.0f, 1},     {0, 1, kEmergency, true, 0.0f, 1},
      {0, 0, kEmergency, true, 80.0f, 0},    {0, 0, kEmergency, false, 5.0f, 0},
      {0, 0, kEmergency, false, -5.0f, 0},   {0, 0, kEmergency, false, above5, 1},
      {0, 0, kEmergency, false, -5.01f, 1},  {0, 0, kEmergency, false, nan, 0}};
  // clang-format on
  for (const Case& c : cases) {
    Cab cab;
    if (c.doorsClosed) atsDoorClose();
    atsSetBrake(kEmergency);
    cab.Frame(100, 0.0, c.speed);
    atsKeyDown(kKeyReset);  // clears the trip for running in neutral while off
    atsSetReverser(c.reverser);
    atsSetPower(c.power);
    atsSetBrake(c.brake);
    atsKeyDown(kKeySwitchOn);
    EXPECT_EQ(cab.unit().m_pAts->tripped, c.tripped)
        << c.reverser << c.power << c.brake << c.doorsClosed << " at " << c.speed;
    EXPECT_EQ(cab.unit().m_pIsolation->active, 0);
  }
}

TEST(DriverControls, SwitchOnSoundResetAndOtherKeys) {
  Cab cab;
  CVorlan800& u = cab.unit();
  for (int32_t s : {ATS_SOUND_PLAY, ATS_SOUND_CONTINUE, ATS_SOUND_PLAY}) {
    cab.SwitchOnSecured();
    atsKeyDown(kKeySwitchOn);  // already on: sound untouched, no trip
    EXPECT_EQ(u.m_soundAtsOn, s);
    atsKeyDown(kKeySwitchOff);
  }
  atsSetReverser(1);
  cab.Run(-6.0f);  // rolling back trips the switched-off unit
  cab.Run(0.0f);
  atsSetReverser(0);
  atsSetPower(1);
  atsKeyDown(kKeyReset);  // power not off: nothing
  for (int32_t k : {1, 2, 4, 5, 6, 7, 8, 9, 12, -1, INT32_MIN, INT32_MAX}) {
    atsKeyDown(k);
    atsKeyUp(k);
  }
  atsSetPower(0);
  for (int32_t k : {kKeyReset, kKeySwitchOn, kKeySwitchOff}) atsKeyUp(k);
  EXPECT_EQ(u.m_pAts->tripped, 1);
  EXPECT_EQ(u.m_pAts->on, 0);
  EXPECT_EQ(u.m_key0Held, 0);
  EXPECT_EQ(u.m_soundBell, ATS_SOUND_PLAY);
  atsKeyDown(kKeyReset);  // secured: reset, even while off
  EXPECT_EQ(u.m_pAts->tripped, 0);
  EXPECT_EQ(u.m_soundBell, ATS_SOUND_STOP);
  EXPECT_EQ(u.m_soundBellLoop, ATS_SOUND_STOP);
}

}  // namespace
}  // namespace vorlan::test
