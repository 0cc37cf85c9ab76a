// The cab as the tools read it: the panel and sound indices they look at,
// the sound commands, the speeds and distances they draw, the unit's states,
// the order of the handles in a frame's outputs, and the beacons that check
// the speed. The timeline, the drivers, the verdict, the charts and the pages
// all take these from here; the pages' scripts get the numbered names below
// at build time (cmake/CabConstants.cmake), so a number of the cab is written
// once. What the plug-in does with them is its own; the tests hold these
// names to it.
#ifndef ATSHOST_SIM_CAB_H
#define ATSHOST_SIM_CAB_H

#include <array>
#include <cstdint>
#include <limits>

#include "plugin/atsplugin.h"

namespace atshost {

// Panel indices the tools read. Each is one of the traced indices
// (cab_tables.h holds them to that).
enum CabPanel : int {
  kPanelUnitOn = 0,              // lit while the unit is switched on
  kPanelUnitOff = 1,             // lit while the unit is switched off
  kPanelTripped = 2,             // lit while the unit is tripped (also while it is off)
  kPanelWarning = 5,             // a trip, a warning brake, or a speed mismatch
  kPanelRunning = 6,             // running (above walking pace, the doors closed)
  kPanelEmergency = 7,           // the emergency lamp
  kPanelCurrentNegative = 8,     // the motor current is negative (braking)
  kPanelStationMode = 9,         // mode 0
  kPanelStopWindow = 11,         // standing in the stop window
  kPanelStopLatch = 12,          // the stop latched
  kPanelDoorBlink = 14,          // blinks while the doors are open
  kPanelOffLamp = 101,           // the display's lamp lit while the unit is off
  kPanelCounter = 200,           // the door counter's digits
  kPanelCounterBlank = 201,      // the display blanked: the counter and the door lamps show 0
  kPanelMrRising = 206,          // the main reservoir's pressure rising
  kPanelBcBars = 207,            // the brake cylinder's bar meter (0 to 5 bars)
  kPanelCurrentBarsPos = 208,    // the positive current's bar meter
  kPanelCurrentBarsNeg = 209,    // the negative current's bar meter
  kPanelDoorsClosed = 210,       // the first of the three doors-closed lamps
  kPanelCounterStepA = 216,      // the counter's first step
  kPanelCounterStepB = 217,      // the counter's second step
  kPanelReverserForward = 218,   // the reverser is forward
  kPanelReverserBackward = 219,  // the reverser is backward
  kPanelDoorsOpen = 220,         // the first of the three doors-open lamps
  kPanelModeBase = 240,          // mode m (1 to 6) lights kPanelModeBase + m
};
// Modes 0 (station mode) to 6.
inline constexpr int kModeCount = 7;

// Sound indices the tools read.
enum CabSound : int {
  kSoundUnitOn = 0,
  kSoundStarting = 2,  // the train starts running
  kSoundStopping = 3,  // the running ends
  kSoundBrakeAir = 4,
  kSoundAlarm = 7,     // the warning brake's alarm
  kSoundBell = 8,      // the trip bell's strike
  kSoundBellLoop = 9,  // the trip bell ringing on
  kSoundDoor = 100,
};

// The sound commands, the boundary's own values: what a sound array element
// and the unit's sound fields hold.
inline constexpr int32_t kSoundStop = ATS_SOUND_STOP;
inline constexpr int32_t kSoundPlayLooping = ATS_SOUND_PLAYLOOPING;
inline constexpr int32_t kSoundPlayOnce = ATS_SOUND_PLAY;
inline constexpr int32_t kSoundContinue = ATS_SOUND_CONTINUE;

// The host keys the unit answers to.
enum CabKey : int {
  kKeyDoorHold = 0,  // held: closing the doors demands no warning brake
  kKeyReset = 3,     // clears a trip with the handles secured
  kKeySwitchOn = 10,
  kKeySwitchOff = 11,
};

// The governor brakes at full service above this speed and releases below
// the other, km/h; the charts draw both.
inline constexpr double kGovernorBrakesKmh = 76.0;
inline constexpr double kGovernorReleasesKmh = 71.0;
// A stand closer than this to the stop target is in the stop window, m.
inline constexpr double kStopWindowM = 0.3;

// The handles the plug-in returns, in the order a frame's outputs give them
// (the driving page's module, the cab view's data, the cab's script).
enum CabHandle : int {
  kHandleBrake = 0,
  kHandlePower = 1,
  kHandleReverser = 2,
  kHandleConstantSpeed = 3,
  kHandleCount = 4,
};
// The driver's handles and doors, in the same way.
enum CabDriver : int {
  kDriverBrake = 0,
  kDriverPower = 1,
  kDriverReverser = 2,
  kDriverDoorsClosed = 3,
  kDriverCount = 4,
};

// The unit's state as the cab shows it (UnitStateReader reads it).
enum class UnitState { kOff, kOn, kTripped, kWarning };
constexpr const char* UnitStateName(UnitState s) {
  switch (s) {
    case UnitState::kOff:
      return "OFF";
    case UnitState::kOn:
      return "ON";
    case UnitState::kTripped:
      return "TRIPPED";
    case UnitState::kWarning:
      return "WARNING";
  }
  return "ON";
}

// A point speed check: a beacon of this type, signal and data word trips a
// switched-on unit passed faster than the limit. kAnyWord stands for any
// signal or data word.
struct SpeedCheck {
  int type;
  int signal;
  int optional;
  float limit_kmh;  // for kLimitInDataWordType, an example: the data word is the limit
};
inline constexpr int kAnyWord = -1;
// The beacon type whose limit is its own data word.
inline constexpr int kLimitInDataWordType = 9;
inline constexpr std::array<SpeedCheck, 7> kSpeedChecks = {{
    {0, 0, 0, 0.0f},
    {0, 1, 0, 28.0f},
    {0, 2, 0, 48.0f},
    {0, 3, 0, 68.0f},
    {0, 0, 50, 19.0f},
    {0, 0, 150, 29.0f},
    {kLimitInDataWordType, kAnyWord, 45, 45.0f},
}};

// The unit's arithmetic where the tools follow it: host times wrap modulo
// 2^32, and a location narrows to float32 as the hardware rounds it (an
// infinity beyond float32's range, where a plain cast is undefined). The
// tests hold these to the unit's own.
constexpr int32_t WrappedMs(int32_t to, int32_t from) {
  return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}
constexpr float Float32Location(double v) {
  constexpr double kRoundsToInfinity = 0x1.ffffffp+127;
  if (v < kRoundsToInfinity && v > -kRoundsToInfinity) return static_cast<float>(v);
  if (v >= kRoundsToInfinity) return std::numeric_limits<float>::infinity();
  if (v <= -kRoundsToInfinity) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);  // NaN
}

}  // namespace atshost

#endif  // ATSHOST_SIM_CAB_H
