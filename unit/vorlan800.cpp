// The unit's lifecycle: construction, vehicle data, partial reset,
// per-frame sound reset, destruction.
#include "unit/vorlan800.h"

#include <new>

#include "unit/arith.h"

namespace vorlan {

// Every field starts at zero (its initialiser) except the eight sounds, which
// start stopped, and the isolation: the unit starts switched off so that the
// emergency brake is held until the driver switches it on. The sub-records are
// made in the order AtsUnit, IsolationState, SpeedLimiter.
CVorlan800* CVorlan800::Create() noexcept {
  std::unique_ptr<CVorlan800> unit(new (std::nothrow) CVorlan800());
  if (unit == nullptr) return nullptr;
  unit->m_pAts.reset(new (std::nothrow) AtsUnit());
  if (unit->m_pAts == nullptr) return nullptr;
  unit->m_pIsolation.reset(new (std::nothrow) IsolationState());
  if (unit->m_pIsolation == nullptr) return nullptr;
  unit->m_pLimiter.reset(new (std::nothrow) SpeedLimiter());
  if (unit->m_pLimiter == nullptr) return nullptr;
  unit->m_pIsolation->active = 1;
  return unit.release();
}

// The sub-records go in the order they were made, then the object itself.
CVorlan800::~CVorlan800() {
  m_pAts.reset();
  m_pIsolation.reset();
  m_pLimiter.reset();
}

// Only the number of service notches is read; emergency is one above it and the
// warning-brake reset position one below. Any int32 is accepted, so both wrap.
void CVorlan800::SetVehicleSpec(ATS_VEHICLESPEC spec) noexcept {
  const int32_t n = spec.BrakeNotches;
  m_emergencyNotch = WrapAdd(n, 1);
  m_brakeNotches = n;
  m_brakeResetNotch = WrapSub(n, 1);
}

// A new run: forget the speed-hold state and the slip and brake-change flags,
// and silence every sound. Switching state, trips, modes, counter, handles and
// doors carry over.
void CVorlan800::Initialize() noexcept {
  m_slipDetected = 0;
  m_brakeNotReleasing = 0;
  m_tractionStartMs = 0;
  m_tractionRefSpeed = 0;
  m_soundDoor = ATS_SOUND_STOP;
  m_soundAlarm = ATS_SOUND_STOP;
  m_soundStart = ATS_SOUND_STOP;
  m_soundStop = ATS_SOUND_STOP;
  m_soundAir = ATS_SOUND_STOP;
  m_soundAtsOn = ATS_SOUND_STOP;
  m_soundBell = ATS_SOUND_STOP;
  m_soundBellLoop = ATS_SOUND_STOP;
}

// Start, stop and brake air are one-shot per frame: a play-once written in a
// frame reaches the host in that frame only.
void CVorlan800::ResetFrameSounds() noexcept {
  m_soundStart = ATS_SOUND_CONTINUE;
  m_soundStop = ATS_SOUND_CONTINUE;
  m_soundAir = ATS_SOUND_CONTINUE;
}

}  // namespace vorlan
