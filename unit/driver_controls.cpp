// Driver controls: handles, doors and keys, acted on at once when reported.
// Their effect on the handles reaches the host with the next frame.
#include <cmath>

#include "unit/vorlan800.h"

namespace vorlan {

namespace {
// The door counter stops counting here; a counter beacon may still set any value.
constexpr int32_t kCounterMax = 30;
// Switching on with the doors open trips above this speed (|v|, float32, strict).
constexpr float kDoorsOpenTripKmh = 5.0f;
}  // namespace

void CVorlan800::SetPower(int32_t notch) noexcept { m_power = notch; }

void CVorlan800::SetReverser(int32_t pos) noexcept { m_reverser = pos; }

void CVorlan800::SetBrake(int32_t notch) noexcept {
  // An unchanged position counts as not releasing: it keeps the air sound going.
  m_brakeNotReleasing = notch >= m_brake ? 1 : 0;
  // The last service notch or emergency cancels a warning brake and its alarm,
  // whether or not one was demanded.
  if (notch > m_brakeResetNotch) {
    m_pAts->warningBrake = 0;
    m_soundAlarm = ATS_SOUND_STOP;
  }
  m_brake = notch;
}

void CVorlan800::DoorOpen() noexcept {
  m_doorsClosed = 0;
  m_soundDoor = ATS_SOUND_STOP;
  if (m_counter < kCounterMax) ++m_counter;  // < 30, so no overflow
}

void CVorlan800::DoorClose() noexcept {
  m_doorsClosed = 1;
  if (m_counter < kCounterMax) ++m_counter;
  // In section mode 0 the door sound is left alone.
  if (m_sectionMode[0] == 0) OnceToggle(m_soundDoor);
  // Closing the doors with the reverser out of neutral or power applied demands
  // the warning brake, unless key 0 is held. The brake position plays no part.
  if (m_pAts->on != 0 && m_key0Held == 0 && (m_reverser != 0 || m_power != 0)) {
    m_pAts->warningBrake = 1;
  }
}

void CVorlan800::OnKeyDown(int32_t key) noexcept {
  switch (key) {
    case kKeyNoWarning:
      m_key0Held = 1;
      break;
    case kKeyReset:
      // Only with the handles secured; the switch state does not matter, and a
      // warning brake is left for the brake handle to cancel.
      if (HandlesSecured()) {
        m_pAts->tripped = 0;
        m_soundBell = ATS_SOUND_STOP;
        m_soundBellLoop = ATS_SOUND_STOP;
      }
      break;
    case kKeySwitchOn: {
      if (m_pAts->on == 0) OnceToggle(m_soundAtsOn);
      m_pAts->on = 1;
      // Both trip tests run on every press, also when already on.
      if (m_doorsClosed == 0 && std::fabs(m_speed) > kDoorsOpenTripKmh) m_pAts->tripped = 1;
      if (!HandlesSecured()) m_pAts->tripped = 1;
      m_pIsolation->active = 0;
      break;
    }
    case kKeySwitchOff:
      m_pAts->on = 0;
      m_pAts->tripped = 0;
      m_pAts->warningBrake = 0;
      m_pIsolation->active = 1;
      break;
    default:
      break;
  }
}

void CVorlan800::OnKeyUp(int32_t key) noexcept {
  if (key == kKeyNoWarning) m_key0Held = 0;
}

}  // namespace vorlan
