// A test cab: loads the module through its entry points, reports an 8-notch
// vehicle (emergency 9, reset position 7) and drives frames, keeping the
// host's panel and sound arrays and the last returned handles.
#ifndef ATSVORLAN800_TESTS_CAB_H
#define ATSVORLAN800_TESTS_CAB_H

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "plugin/atsplugin.h"
#include "plugin/module.h"
#include "unit/vorlan800.h"

namespace vorlan::test {

inline constexpr int32_t kNotches = 8;
inline constexpr int32_t kEmergency = 9;
// The host fills its arrays with this before the first frame; an element the
// module must not write keeps it.
inline constexpr int32_t kCanary = 0x5A5A5A5A;

// The speeds and distances at a threshold's edge: the next float32 either
// side of it, and the values no sensor should give.
inline constexpr float kInf = std::numeric_limits<float>::infinity();
inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline float Above(float v) { return std::nextafter(v, kInf); }
inline float Below(float v) { return std::nextafter(v, -kInf); }

// A handle record as {Brake, Power, Reverser, ConstantSpeed}, to compare whole.
inline std::array<int32_t, 4> Handles(const ATS_HANDLES& h) {
  return {h.Brake, h.Power, h.Reverser, h.ConstantSpeed};
}

struct Cab {
  std::array<int, ATS_PANEL_SIZE> panel;
  std::array<int, ATS_SOUND_SIZE> sound;
  ATS_HANDLES handles{};
  int32_t time = 0;
  double location = 0.0;

  explicit Cab(int32_t notches = kNotches) {
    panel.fill(kCanary);
    sound.fill(kCanary);
    atsLoad();
    ATS_VEHICLESPEC spec{};
    spec.BrakeNotches = notches;
    atsSetVehicleSpec(spec);
    atsInitialize(0);
  }
  ~Cab() { atsDispose(); }
  Cab(const Cab&) = delete;
  Cab& operator=(const Cab&) = delete;

  CVorlan800& unit() { return *LoadedUnit(); }

  // One frame at an explicit time, location and host speed.
  ATS_HANDLES Frame(int32_t t, double loc, float speed, float bc = 0.0f, float mr = 0.0f,
                    float current = 0.0f) {
    ATS_VEHICLESTATE s{};
    s.Location = loc;
    s.Speed = speed;
    s.Time = t;
    s.BcPressure = bc;
    s.MrPressure = mr;
    s.Current = current;
    time = t;
    location = loc;
    handles = atsElapse(s, panel.data(), sound.data());
    return handles;
  }

  // One frame of dt ms at a constant speed: the location advances so that the
  // derived speed agrees with the host speed (no slip).
  ATS_HANDLES Run(float speed, int32_t dt = 100, float bc = 0.0f, float mr = 0.0f,
                  float current = 0.0f) {
    return Frame(time + dt, location + speed * dt / 3600.0, speed, bc, mr, current);
  }

  // Switches the unit on with the handles secured and the doors closed.
  void SwitchOnSecured() {
    atsSetReverser(0);
    atsSetPower(0);
    atsSetBrake(unit().m_emergencyNotch);
    atsDoorClose();
    atsKeyDown(kKeySwitchOn);
    atsKeyUp(kKeySwitchOn);
  }

  // Two frames that leave the derived ground speed at v exactly (v metres over
  // 3600 ms from location 0), at the given host speed.
  void DeriveGroundSpeed(float v, float hostSpeed = 0.0f) {
    Frame(time + 1000, 0.0, hostSpeed);
    Frame(time + 3600, v, hostSpeed);
  }

  // The eight sound elements the module writes: indices 0, 2, 3, 4, 7, 8, 9, 100.
  std::array<int, 8> Sounds() const {
    return {sound[0], sound[2], sound[3], sound[4], sound[7], sound[8], sound[9], sound[100]};
  }

  void Beacon(int32_t type, int32_t signal, int32_t optional) {
    ATS_BEACONDATA b{};
    b.Type = type;
    b.Signal = signal;
    b.Optional = optional;
    atsSetBeaconData(b);
  }
};

}  // namespace vorlan::test

#endif  // ATSVORLAN800_TESTS_CAB_H
