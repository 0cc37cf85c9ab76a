// The boundary's lifecycle: load, vehicle data, partial reset,
// dispose, and the handle record that outlives the unit.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "tests/cab.h"

namespace vorlan::test {
namespace {

TEST(Lifecycle, ConstructionValues) {
  Cab cab;
  CVorlan800& u = cab.unit();
  EXPECT_EQ(u.m_pIsolation->active, 1);  // starts switched off
  EXPECT_EQ(u.m_pAts->on, 0);
  EXPECT_EQ(u.m_pAts->tripped, 0);
  EXPECT_EQ(u.m_pAts->warningBrake, 0);
  EXPECT_EQ(u.m_pLimiter->brakeNotch, 0);
  EXPECT_EQ(u.m_pLimiter->stopTarget, 0.0);
  for (int32_t s : {u.m_soundDoor, u.m_soundAlarm, u.m_soundStart, u.m_soundStop, u.m_soundAir,
                    u.m_soundAtsOn, u.m_soundBell, u.m_soundBellLoop}) {
    EXPECT_EQ(s, ATS_SOUND_STOP);
  }
  EXPECT_EQ(u.m_timeMs, 0);
  EXPECT_EQ(u.m_location, 0.0);
  EXPECT_EQ(u.m_counter, 0);
  EXPECT_EQ(u.m_eventTimeMs, 0);
  for (int32_t m : u.m_sectionMode) EXPECT_EQ(m, 0);
}

TEST(Lifecycle, VehicleDataFixesTheBrakePositionsWithWrapping) {
  Cab cab;
  CVorlan800& u = cab.unit();
  EXPECT_EQ(u.m_brakeNotches, 8);
  EXPECT_EQ(u.m_emergencyNotch, 9);
  EXPECT_EQ(u.m_brakeResetNotch, 7);

  ATS_VEHICLESPEC spec;
  std::memset(&spec, 0xFF, sizeof spec);  // unread members hold any bytes
  spec.BrakeNotches = 0;
  atsSetVehicleSpec(spec);
  EXPECT_EQ(u.m_emergencyNotch, 1);
  EXPECT_EQ(u.m_brakeResetNotch, -1);

  spec.BrakeNotches = INT32_MAX;
  atsSetVehicleSpec(spec);
  EXPECT_EQ(u.m_emergencyNotch, INT32_MIN);
  spec.BrakeNotches = INT32_MIN;
  atsSetVehicleSpec(spec);
  EXPECT_EQ(u.m_brakeResetNotch, INT32_MAX);
}

TEST(Lifecycle, FirstFrameHoldsTheEmergencyBrake) {
  Cab cab;
  ATS_HANDLES h = cab.Frame(1000, 0.0, 0.0f);
  EXPECT_EQ(h.Brake, kEmergency);
  EXPECT_EQ(h.Power, 0);
  EXPECT_EQ(h.ConstantSpeed, 2);
}

TEST(Lifecycle, BeforeTheVehicleIsReportedTheEmergencyBrakeIsPositionZero) {
  atsLoad();
  int panel[256] = {};
  int sound[101] = {};
  ATS_VEHICLESTATE s{};
  s.Time = 100;
  ATS_HANDLES h = atsElapse(s, panel, sound);
  EXPECT_EQ(h.Brake, 0);
  EXPECT_EQ(h.ConstantSpeed, 2);
  atsDispose();
}

TEST(Lifecycle, PartialResetSilencesSoundsAndKeepsTheRest) {
  Cab cab;
  cab.SwitchOnSecured();
  cab.Beacon(200, 0, 12);
  cab.Beacon(11, 0, 0);
  atsSetReverser(1);
  atsKeyDown(kKeySwitchOn);  // a second press with the handles out trips
  CVorlan800& u = cab.unit();
  ASSERT_EQ(u.m_pAts->tripped, 1);
  u.m_tractionStartMs = 55;
  u.m_tractionRefSpeed = 20;

  atsInitialize(12345);
  EXPECT_EQ(u.m_pAts->tripped, 1);
  EXPECT_EQ(u.m_pAts->on, 1);
  EXPECT_EQ(u.m_counter, 12);
  EXPECT_EQ(u.m_sectionMode[0], 1);
  EXPECT_EQ(u.m_reverser, 1);
  EXPECT_EQ(u.m_tractionStartMs, 0);
  EXPECT_EQ(u.m_tractionRefSpeed, 0);
  EXPECT_EQ(u.m_slipDetected, 0);
  EXPECT_EQ(u.m_brakeNotReleasing, 0);
  EXPECT_EQ(u.m_soundAtsOn, ATS_SOUND_STOP);
  EXPECT_EQ(u.m_soundDoor, ATS_SOUND_STOP);
}

TEST(Lifecycle, VersionNeedsNoUnit) {
  EXPECT_EQ(atsGetPluginVersion(), 0x20000);
  Cab cab;
  EXPECT_EQ(atsGetPluginVersion(), 131072);
}

// Calls a host should not make, made anyway: nothing is touched and nothing fails.
TEST(Lifecycle, CallsWhileNotLoadedDoNothing) {
  ASSERT_EQ(LoadedUnit(), nullptr);
  atsSetVehicleSpec(ATS_VEHICLESPEC{});
  atsInitialize(0);
  atsSetPower(1);
  atsSetBrake(1);
  atsSetReverser(1);
  for (int key : {0, 10}) {  // key 0 is the one whose release writes a field
    atsKeyDown(key);
    atsKeyUp(key);
  }
  atsDoorOpen();
  atsDoorClose();
  atsSetBeaconData(ATS_BEACONDATA{});
  atsDispose();
  int panel[256];
  int sound[101];
  std::memset(panel, 0x5A, sizeof panel);
  std::memset(sound, 0x5A, sizeof sound);
  ATS_VEHICLESTATE s{};
  ATS_HANDLES h = atsElapse(s, panel, sound);
  EXPECT_EQ(h.Brake, 0);
  EXPECT_EQ(h.Power, 0);
  EXPECT_EQ(h.Reverser, 0);
  EXPECT_EQ(h.ConstantSpeed, 0);
  for (int v : panel) EXPECT_EQ(v, 0x5A5A5A5A);
  for (int v : sound) EXPECT_EQ(v, 0x5A5A5A5A);
}

TEST(Lifecycle, SecondLoadReplacesTheUnit) {
  atsLoad();
  atsKeyDown(kKeySwitchOn);
  atsLoad();  // without a dispose: the old unit goes, a fresh one comes
  EXPECT_EQ(LoadedUnit()->m_pAts->on, 0);
  atsDispose();
  EXPECT_EQ(LoadedUnit(), nullptr);
}

TEST(Lifecycle, NullArraysAreNotWritten) {
  Cab cab;
  ATS_VEHICLESTATE s{};
  s.Time = 100;
  ATS_HANDLES h = atsElapse(s, nullptr, nullptr);
  EXPECT_EQ(h.Brake, kEmergency);
}

// The handle record is never cleared: ConstantSpeed carries over frames that do
// not write it, and over a dispose and a new load.
TEST(Lifecycle, HandleRecordOutlivesTheUnit) {
  auto notchOneReleased = [](Cab& cab) {
    cab.SwitchOnSecured();
    atsSetBrake(0);
    atsSetPower(1);
    atsSetReverser(1);
  };
  {
    Cab cab;
    notchOneReleased(cab);
    EXPECT_EQ(cab.Frame(2000, 0.0, 0.0f).ConstantSpeed, 1);  // hold on after 1000 ms
  }
  Cab cab;
  notchOneReleased(cab);
  // Within the first 1000 ms the hold writes nothing, so the host receives the
  // previous load's value again.
  EXPECT_EQ(cab.Frame(500, 0.0, 0.0f).ConstantSpeed, 1);
  EXPECT_EQ(HandleRecord().ConstantSpeed, 1);
}

TEST(Lifecycle, HornAndSignalChangeNothing) {
  auto run = [](bool extraCalls) {
    Cab cab;
    cab.SwitchOnSecured();
    cab.Frame(100, 0.0, 0.0f);
    if (extraCalls) {
      atsHornBlow(3);
      atsSetSignal(-7);
    }
    ATS_HANDLES h = cab.Frame(200, 0.0, 0.0f);
    return std::make_tuple(h.Brake, h.Power, h.ConstantSpeed, cab.panel, cab.sound);
  };
  EXPECT_EQ(run(true), run(false));
}

// The members the module does not read may hold any bytes, NaN patterns included.
TEST(Lifecycle, UnreadRecordMembersChangeNothing) {
  auto run = [](uint8_t fill) {
    Cab cab;
    cab.SwitchOnSecured();
    atsSetBrake(0);
    atsSetPower(1);
    atsSetReverser(1);
    std::tuple<int32_t, int32_t, int32_t, decltype(cab.panel), decltype(cab.sound)> out;
    for (int32_t i = 1; i <= 30; ++i) {
      ATS_BEACONDATA b;
      std::memset(&b, fill, sizeof b);
      b.Type = 0;
      b.Signal = 1;
      b.Optional = 0;
      atsSetBeaconData(b);
      ATS_VEHICLESTATE s;
      std::memset(&s, fill, sizeof s);
      s.Location = i * 1.2;
      s.Speed = static_cast<float>(i);
      s.Time = i * 100;
      s.BcPressure = 50.0f;
      s.MrPressure = 700.0f + static_cast<float>(i);
      s.Current = 30.0f;
      ATS_HANDLES h = atsElapse(s, cab.panel.data(), cab.sound.data());
      out = std::make_tuple(h.Brake, h.Power, h.ConstantSpeed, cab.panel, cab.sound);
    }
    return out;
  };
  EXPECT_EQ(run(0x00), run(0xFF));
}

TEST(Lifecycle, ManyLoadDisposeCycles) {
  for (int i = 0; i < 1000; ++i) {
    atsLoad();
    atsDispose();
  }
  EXPECT_EQ(LoadedUnit(), nullptr);
}

}  // namespace
}  // namespace vorlan::test
