// Handle override: from the driver's handles to the positions the host is to
// apply. Steps run in order and a later one overwrites what an earlier one put
// into the same member.
#include <cmath>

#include "unit/arith.h"
#include "unit/vorlan800.h"

namespace vorlan {

namespace {
constexpr int32_t kConstantSpeedOn = 1;
constexpr int32_t kConstantSpeedOff = 2;
constexpr float kNotch1GateKmh = 15.0f;  // notch 1 with brake allowed below; hold starts above
constexpr int32_t kHoldDelayMs = 1000;   // hold established this long after the start (strict)
constexpr int32_t kHoldMarginKmh = 2;    // brake when this far above the sampled speed (strict)
constexpr int32_t kHoldBrakeNotch = 4;   // fixed for every vehicle
constexpr float kRollBackKmh = -5.0f;    // reverser x speed below this trips (strict)
constexpr float kNeutralRunKmh = 5.0f;   // neutral reverser above this trips (strict)
}  // namespace

void CVorlan800::OverrideHandles(ATS_HANDLES& handles) noexcept {
  const float v = std::fabs(m_speed);  // NaN fails every comparison below
  const bool doorsClosed = m_doorsClosed == 1;

  // 1. Pass-through. The reverser is never changed afterwards.
  handles.Brake = m_brake;
  handles.Reverser = m_reverser;

  // 2. Power gate: none with the doors open; with the brake applied only notch 1
  // below 15 km/h.
  if (!doorsClosed) {
    handles.Power = 0;
  } else {
    handles.Power = m_power;
    if (m_brake != 0 && !(m_power == 1 && v < kNotch1GateKmh)) handles.Power = 0;
  }

  // 3. Notch-1 speed hold, on the driver's positions, whatever the doors.
  // A start time or reference of 0 means "none recorded".
  if (m_power != 1 || m_brake != 0) {
    handles.ConstantSpeed = kConstantSpeedOff;
    m_tractionStartMs = 0;
    m_tractionRefSpeed = 0;
  } else if (m_tractionStartMs == 0 && v > kNotch1GateKmh) {
    // Passing 15 km/h starts the phase and cuts power for this one frame.
    m_tractionStartMs = m_timeMs;
    handles.Power = 0;
  } else if (WrapSub(m_timeMs, m_tractionStartMs) > kHoldDelayMs) {
    handles.ConstantSpeed = kConstantSpeedOn;
    if (v > kNotch1GateKmh) {
      // Sampled once, signed, truncated toward zero.
      if (m_tractionRefSpeed == 0) m_tractionRefSpeed = TruncToInt32(m_speed);
      const float limit = static_cast<float>(WrapAdd(WrapAbs(m_tractionRefSpeed), kHoldMarginKmh));
      if (v > limit) {
        handles.Brake = kHoldBrakeNotch;
        handles.Power = 0;
      }
    }
  }
  // Otherwise (1000 ms or less since the start) nothing is written.

  // 4-5. Rolling against the reverser, or moving with it in neutral, trips the
  // unit even while it is switched off. At most one of the two fires.
  const float directed = static_cast<float>(m_reverser) * m_speed;
  if (directed < kRollBackKmh || (m_reverser == 0 && v > kNeutralRunKmh)) {
    m_pAts->tripped = 1;
    OnceToggle(m_soundBell);
    LoopToggle(m_soundBellLoop);
  }

  // 6-8. Tripped, warning brake or switched off: emergency brake, no power,
  // constant speed off. The warning brake also sounds the alarm.
  if (m_pAts->tripped != 0) {
    handles.Brake = m_emergencyNotch;
    handles.Power = 0;
    handles.ConstantSpeed = kConstantSpeedOff;
  }
  if (m_pAts->warningBrake != 0) {
    handles.Brake = m_emergencyNotch;
    handles.Power = 0;
    handles.ConstantSpeed = kConstantSpeedOff;
    LoopToggle(m_soundAlarm);
  }
  if (m_pIsolation->active != 0) {
    handles.Brake = m_emergencyNotch;
    handles.Power = 0;
    handles.ConstantSpeed = kConstantSpeedOff;
  }

  // 9. The governor's notch replaces whatever brake the steps above chose, even
  // a higher one: an assignment, not the larger of the two.
  if (m_pLimiter->brakeNotch != 0) handles.Brake = m_pLimiter->brakeNotch;
}

}  // namespace vorlan
