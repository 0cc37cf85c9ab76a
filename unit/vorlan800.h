// The protection unit: one object that holds the train's state and every rule
// of the cab's protection equipment.
//
// Units: speeds km/h as float32 (signed), locations metres as float64, times
// host milliseconds as int32, pressures and current float32. Flags are int32
// holding 0 or 1. Sound fields hold one of the ATS_SOUND_* commands.
#ifndef ATSVORLAN800_UNIT_VORLAN800_H
#define ATSVORLAN800_UNIT_VORLAN800_H

#include <cstdint>
#include <memory>

#include "plugin/atsplugin.h"
#include "unit/sub_records.h"

namespace vorlan {

// Host key codes the unit acts on.
inline constexpr int32_t kKeyNoWarning = 0;  // held: closing the doors demands no warning brake
inline constexpr int32_t kKeyReset = 3;      // resets a trip, handles secured
inline constexpr int32_t kKeySwitchOn = 10;
inline constexpr int32_t kKeySwitchOff = 11;

// Number of one-hot section modes selected by beacons.
inline constexpr int kSectionModes = 7;

// A condition as a flag.
constexpr int32_t Flag(bool condition) noexcept { return condition ? 1 : 0; }

// Once-toggle: play-once becomes continue, anything else becomes play-once, so
// a condition that persists restarts the sound every second time.
constexpr void OnceToggle(int32_t& sound) noexcept {
  sound = sound == ATS_SOUND_PLAY ? ATS_SOUND_CONTINUE : ATS_SOUND_PLAY;
}

// Loop-toggle: play-looping becomes continue, anything else becomes play-looping.
constexpr void LoopToggle(int32_t& sound) noexcept {
  sound = sound == ATS_SOUND_PLAYLOOPING ? ATS_SOUND_CONTINUE : ATS_SOUND_PLAYLOOPING;
}

// The unit's virtual interface, in virtual-table order.
class CVehicleVorlan {
 public:
  virtual void OnKeyDown(int32_t key) noexcept = 0;
  virtual void OnKeyUp(int32_t key) noexcept = 0;
  virtual void WritePanel(int32_t* panel) const noexcept = 0;
  virtual void WriteSound(int32_t* sound) const noexcept = 0;
  virtual ~CVehicleVorlan() = default;
};

class CVorlan800 final : public CVehicleVorlan {
 public:
  // A new unit with its three sub-records, or null when storage runs out; then
  // nothing is left allocated. The product is built without exceptions, so a
  // failed allocation is a null pointer here, not a throw.
  static CVorlan800* Create() noexcept;
  ~CVorlan800() override;
  CVorlan800(const CVorlan800&) = delete;
  CVorlan800& operator=(const CVorlan800&) = delete;

  // Lifecycle (vorlan800.cpp).
  void SetVehicleSpec(ATS_VEHICLESPEC spec) noexcept;
  void Initialize() noexcept;
  void ResetFrameSounds() noexcept;

  // Driver controls (driver_controls.cpp).
  void SetPower(int32_t notch) noexcept;
  void SetBrake(int32_t notch) noexcept;
  void SetReverser(int32_t pos) noexcept;
  void DoorOpen() noexcept;
  void DoorClose() noexcept;
  void OnKeyDown(int32_t key) noexcept override;
  void OnKeyUp(int32_t key) noexcept override;

  // Beacons (beacons.cpp).
  void OnBeacon(ATS_BEACONDATA beacon) noexcept;
  void SelectSectionMode(int32_t k) noexcept;

  // Per-frame supervision (supervision.cpp).
  void SuperviseFrame(const ATS_VEHICLESTATE& state) noexcept;

  // Handle override (handle_override.cpp): writes the host's handle record.
  void OverrideHandles(ATS_HANDLES& handles) noexcept;

  // Indicator derivation (indicators.cpp).
  void UpdateOffLamp() noexcept;
  void UpdateIndicators() noexcept;

  // Panel and sound output (output.cpp).
  void WritePanel(int32_t* panel) const noexcept override;
  void WriteSound(int32_t* sound) const noexcept override;

  // The secured handle position: reverser neutral, power off, emergency brake.
  bool HandlesSecured() const noexcept {
    return m_reverser == 0 && m_power == 0 && m_brake == m_emergencyNotch;
  }

  // Fields, in declaration order. Public: the rule groups, the panel output and
  // the tests all work on them directly, as on a record.
  int32_t m_elapsedMs = 0;        // this frame's host time minus the previous frame's
  int32_t m_timeMs = 0;           // host time of the current frame
  double m_location = 0.0;        // host location, metres
  float m_groundSpeed = 0.0f;     // speed derived from location over time, km/h
  float m_speed = 0.0f;           // host speed, km/h, signed
  float m_bcPressure = 0.0f;      // host brake-cylinder pressure
  float m_mrPressure = 0.0f;      // host main-reservoir pressure
  float m_current = 0.0f;         // host traction current, signed
  int32_t m_brakeNotches = 0;     // service brake notches of the vehicle
  int32_t m_emergencyNotch = 0;   // m_brakeNotches + 1
  int32_t m_brakeResetNotch = 0;  // m_brakeNotches - 1; a brake above it cancels the warning brake
  int32_t m_reverser = 0;         // driver's reverser as last reported
  int32_t m_brake = 0;            // driver's brake as last reported
  int32_t m_power = 0;            // driver's power notch as last reported
  int32_t m_key0Held = 0;         // host key 0 held down
  int32_t m_doorsClosed = 0;      // 1 after doors reported closed, 0 after opened
  int32_t m_prevDoorsClosed = 0;  // door state at the end of the previous frame
  int32_t m_runningLatch = 0;     // running above 5 km/h with doors closed
  int32_t m_slipDetected = 0;     // host and derived speed differ by more than 2 km/h
  int32_t m_brakeNotReleasing = 0;            // the latest brake change did not lower the brake
  int32_t m_tractionStartMs = 0;              // time the notch-1 phase passed 15 km/h; 0: none
  int32_t m_tractionRefSpeed = 0;             // truncated speed sample of the notch-1 hold; 0: none
  int32_t m_doorBlink = 0;                    // doors open and the blink phase is on
  float m_prevMrPressure = 0.0f;              // main-reservoir pressure of the previous frame
  int32_t m_offLamp = 0;                      // lit while switched off
  int32_t m_sectionMode[kSectionModes] = {};  // one-hot modes selected by beacons
  int32_t m_stopLatch = 0;                    // stopped in the window, doors closed, mode 0
  int32_t m_stopInWindow = 0;                 // this frame's stop-window result
  int32_t m_eventTimeMs = 0;                  // time of the latest door change or counter beacon
  int32_t m_counterShown = 0;                 // counter value on the panel this frame
  int32_t m_counter = 0;                      // door counter (stops at 30) or counter-beacon value
  int32_t m_counterBlank = 0;                 // counter display blanked this frame
  int32_t m_mrRisingShown = 0;                // main-reservoir-rising lamp
  int32_t m_bcBars = 0;                       // brake-cylinder bar meter, 0 to 5
  int32_t m_currentBarsPos = 0;               // traction-current bars, positive side, 0 to 5
  int32_t m_currentBarsNeg = 0;               // traction-current bars, negative side, 0 to 5
  int32_t m_closedLamps[3] = {};              // lit while the doors are closed
  int32_t m_reverserForward = 0;              // reverser forward, doors closed
  int32_t m_reverserBackward = 0;             // reverser backward, doors closed
  int32_t m_counterStepA = 0;                 // first counter step, 0 to 6
  int32_t m_counterStepB = 0;                 // second counter step, 0 or 2 to 7
  int32_t m_openLamps[3] = {};                // lit while the doors are open
  int32_t m_soundDoor = ATS_SOUND_STOP;       // door
  int32_t m_soundAlarm = ATS_SOUND_STOP;      // warning-brake alarm
  int32_t m_soundStart = ATS_SOUND_STOP;      // started running; continue each frame
  int32_t m_soundStop = ATS_SOUND_STOP;       // stopped running; continue each frame
  int32_t m_soundAir = ATS_SOUND_STOP;        // brake air; continue each frame
  int32_t m_soundAtsOn = ATS_SOUND_STOP;      // unit switched on
  int32_t m_soundBell = ATS_SOUND_STOP;       // trip bell
  int32_t m_soundBellLoop = ATS_SOUND_STOP;   // trip bell, looping part
  std::unique_ptr<AtsUnit> m_pAts;            // the protection equipment proper
  std::unique_ptr<IsolationState> m_pIsolation;  // the switched-off state
  std::unique_ptr<SpeedLimiter> m_pLimiter;      // governor and stop window

 private:
  CVorlan800() = default;  // without its sub-records: Create makes them
};

}  // namespace vorlan

#endif  // ATSVORLAN800_UNIT_VORLAN800_H
