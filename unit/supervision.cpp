// Per-frame supervision: store the train's state, derive the ground speed and
// run the rules that do not depend on the handles, then derive the indicators
// and, last, stamp a door change.
#include <cmath>

#include "unit/arith.h"
#include "unit/vorlan800.h"

namespace vorlan {

namespace {
constexpr float kMsPerHourF = 3600.0f;    // m/ms -> km/h
constexpr float kSlipKmh = 2.0f;          // host vs derived speed, strict
constexpr float kMovingKmh = 5.0f;        // open-door trip and running latch, strict
constexpr double kGovernorOnKmh = 76.0;   // governor brakes above this (float64, strict)
constexpr double kGovernorOffKmh = 71.0;  // ...until below this (float64, strict)
constexpr double kStopWindowM = 0.3;      // |location - target| below this (float64, strict)
constexpr int32_t kBlinkPeriodMs = 1000;  // door blink: on for the first half
constexpr int32_t kBlinkOnMs = 500;
constexpr float kAirMinPressure = 15.0f;  // brake air: above this (float32, strict)...
constexpr int32_t kAirBandPeriod = 33;    // ...in a band starting at each multiple of 33
constexpr int32_t kAirBandWidth = 6;      // ...6 wide, on the truncated pressure
}  // namespace

void CVorlan800::SuperviseFrame(const ATS_VEHICLESTATE& state) noexcept {
  // 1. The ground speed comes from the change of location over the elapsed
  // time, all in float32. The previous location and time are still in the
  // fields. A zero elapsed time gives an infinity or NaN, which the rules take
  // as it is (IEEE division raises no fault).
  m_elapsedMs = WrapSub(state.Time, m_timeMs);
  const float distance = NarrowToFloat(state.Location) - NarrowToFloat(m_location);
  const float derived = distance * kMsPerHourF / static_cast<float>(m_elapsedMs);
  m_timeMs = state.Time;
  m_location = state.Location;
  m_speed = state.Speed;
  m_bcPressure = state.BcPressure;
  m_mrPressure = state.MrPressure;
  m_current = state.Current;
  m_groundSpeed = derived;

  // 2. Speed mismatch, both ways round, as a float32 difference. Rounding is
  // symmetric, so b - a is exactly -(a - b) and one magnitude covers both
  // ways; a NaN difference is no mismatch.
  m_slipDetected = Flag(std::fabs(state.Speed - m_groundSpeed) > kSlipKmh);

  const float v = std::fabs(m_speed);

  // 3. Moving with the doors open trips a switched-on unit.
  if (m_doorsClosed == 0 && m_pAts->on != 0 && v > kMovingKmh) m_pAts->tripped = 1;

  // 4. Governor with hysteresis, in float64: full service brake above 76 km/h
  // until the speed falls below 71 km/h.
  const double v64 = static_cast<double>(v);
  if (v64 > kGovernorOnKmh) m_pLimiter->brakeNotch = m_brakeNotches;
  if (v64 < kGovernorOffKmh) m_pLimiter->brakeNotch = 0;

  // 5-6. Stop window: standing exactly still (-0.0 counts) within 0.3 m of the target.
  m_pLimiter->stopOk =
      (m_speed == 0.0f && std::fabs(m_location - m_pLimiter->stopTarget) < kStopWindowM) ? 1 : 0;
  m_stopInWindow = m_pLimiter->stopOk;

  // 7. Stop latch: set in mode 0 by a stop in the window with the doors closed;
  // survives moving off and opening the doors; cleared when mode 0 goes.
  if (m_sectionMode[0] == 0) {
    m_stopLatch = 0;
  } else if (m_pLimiter->stopOk != 0 && m_doorsClosed != 0) {
    m_stopLatch = 1;
  }

  // 8. Door blink. The remainder is truncating, so a negative time gives 0 or a
  // negative remainder and the blink is on throughout.
  m_doorBlink = (m_doorsClosed == 0 && m_timeMs % kBlinkPeriodMs < kBlinkOnMs) ? 1 : 0;

  // 9. Running latch, with a start sound on entering and a stop sound on leaving.
  if (v > kMovingKmh && m_doorsClosed != 0) {
    if (m_runningLatch == 0) m_soundStart = ATS_SOUND_PLAY;
    m_runningLatch = 1;
  } else {
    if (m_runningLatch != 0) m_soundStop = ATS_SOUND_PLAY;
    m_runningLatch = 0;
  }

  // 10. Brake air: while the brake is not being released, in each 6-wide band of
  // the truncated cylinder pressure above 15.
  if (m_bcPressure > kAirMinPressure && m_brakeNotReleasing != 0 &&
      TruncToInt32(m_bcPressure) % kAirBandPeriod < kAirBandWidth) {
    OnceToggle(m_soundAir);
  }

  // 11. Indicators see this frame's values and the previous event time.
  UpdateOffLamp();
  UpdateIndicators();

  // 12. Door-change stamp, after the indicators: blanking starts next frame.
  if (m_doorsClosed != m_prevDoorsClosed) m_eventTimeMs = m_timeMs;
  m_prevDoorsClosed = m_doorsClosed;
}

}  // namespace vorlan
