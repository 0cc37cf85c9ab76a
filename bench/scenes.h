// The frames whose cost is measured, driven through the entry points as the
// host drives them: an 8-notch vehicle, frames every 16 ms.
//
// - running: the unit on, doors closed, power notch 3 at 60 km/h; every rule
//   is evaluated and none fires.
// - busy: everything that writes more at once: rolling back against the
//   reverser above 76 km/h (a trip and the bell in every frame, the governor
//   braking), a warning brake sounding its alarm, the notch-1 hold, the brake
//   air sound, and the display blanked by a counter event.
#ifndef ATSVORLAN800_BENCH_SCENES_H
#define ATSVORLAN800_BENCH_SCENES_H

#include <cstdint>

#include "plugin/atsplugin.h"

namespace vorlan::bench {

inline constexpr int32_t kNotches = 8;
inline constexpr int32_t kEmergency = kNotches + 1;
inline constexpr int32_t kFrameMs = 16;
inline constexpr int32_t kKeySwitchOn = 10;
inline constexpr int32_t kBeaconSignal = 0;
inline constexpr int32_t kBeaconCounter = 200;

struct Scene {
  int panel[ATS_PANEL_SIZE] = {};
  int sound[ATS_SOUND_SIZE] = {};
  ATS_VEHICLESTATE state{};

  // Starting time of the frames, and the time at which they start over; the
  // busy scene stays below its counter event so that every frame is blanked.
  int32_t startMs = 0;
  int32_t wrapMs = INT32_MAX - kFrameMs;

  ~Scene() { atsDispose(); }

  // One frame at the scene's speed, the location following it.
  ATS_HANDLES Frame() {
    state.Time += kFrameMs;
    if (state.Time >= wrapMs) state.Time = startMs;
    state.Location += static_cast<double>(state.Speed) * kFrameMs / 3600.0;
    return atsElapse(state, panel, sound);
  }

 protected:
  void LoadSwitchedOn() {
    atsLoad();
    ATS_VEHICLESPEC spec{};
    spec.BrakeNotches = kNotches;
    atsSetVehicleSpec(spec);
    atsInitialize(0);
    atsSetReverser(0);
    atsSetPower(0);
    atsSetBrake(kEmergency);
    atsDoorClose();
    atsKeyDown(kKeySwitchOn);
    atsKeyUp(kKeySwitchOn);
  }
};

struct Running : Scene {
  Running() {
    LoadSwitchedOn();
    state.Time = 10000;
    state.Location = 1000.0;
    state.Speed = 60.0f;
    state.MrPressure = 780.0f;
    state.Current = 150.0f;
    // Handles for running before the first frame: at 60 km/h a reverser still
    // in neutral would trip the unit, and every frame after would be a
    // tripped one.
    atsSetReverser(1);
    atsSetBrake(0);
    atsSetPower(3);
    Frame();  // the first frame after the switch-on event is the blanking one
    for (int i = 0; i < 100; ++i) Frame();
  }
};

struct Busy : Scene {
  Busy() {
    LoadSwitchedOn();
    // Reverser forward; closing the doors with it out of neutral demands the
    // warning brake.
    atsSetReverser(1);
    atsDoorOpen();
    atsDoorClose();
    // A door change and a counter event far ahead: every frame before them is
    // blanked.
    wrapMs = 1 << 30;
    state.Time = wrapMs;
    atsElapse(state, panel, sound);
    ATS_BEACONDATA counter{};
    counter.Type = kBeaconCounter;
    counter.Optional = 12;
    atsSetBeaconData(counter);
    atsSetBrake(0);  // not lowered: the brake air sound may run
    atsSetBrake(0);
    atsSetPower(1);
    state.Time = startMs;
    state.Location = 5000.0;
    state.Speed = -80.0f;
    state.BcPressure = 34.0f;  // inside an air-sound band
    state.MrPressure = 780.0f;
    state.Current = -120.0f;
    for (int i = 0; i < 100; ++i) Frame();
  }
};

}  // namespace vorlan::bench

#endif  // ATSVORLAN800_BENCH_SCENES_H
