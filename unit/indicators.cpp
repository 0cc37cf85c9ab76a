// Indicator derivation: the unit's state turned into lamps, bar meters and the
// counter, at the end of each frame's supervision.
#include "unit/arith.h"
#include "unit/vorlan800.h"

namespace vorlan {

namespace {
// Door counter shown in two steps: the first row whose upTo is not below the
// counter gives them (signed, so negative counters take the first row).
struct CounterSteps {
  int32_t upTo;
  int32_t a;
  int32_t b;
};
constexpr CounterSteps kCounterSteps[] = {
    {3, 1, 2}, {6, 2, 3}, {9, 3, 4}, {12, 4, 5}, {15, 5, 6}, {18, 6, 7},
};
constexpr int32_t kCounterStepsBeyond = 0;  // 19 and above: both steps 0

constexpr int32_t kBlankMs = 500;  // display blanked this long after an event

// Five-step bar meter: the number of thresholds strictly exceeded, the highest
// first. NaN exceeds none.
int32_t Bars(float value, float t1, float t2, float t3, float t4) {
  if (value > t4) return 5;
  if (value > t3) return 4;
  if (value > t2) return 3;
  if (value > t1) return 2;
  if (value > 0.0f) return 1;
  return 0;
}
// Puts out the counter, the meters and the door, reverser and rising lamps. The
// counter steps, the previous reservoir pressure and the unit-off lamp are not
// part of it: they carry over.
void DarkenDisplay(CVorlan800& u) {
  u.m_counterShown = 0;
  u.m_mrRisingShown = 0;
  u.m_bcBars = 0;
  u.m_currentBarsPos = 0;
  u.m_currentBarsNeg = 0;
  for (int32_t& lamp : u.m_closedLamps) lamp = 0;
  u.m_reverserForward = 0;
  u.m_reverserBackward = 0;
  for (int32_t& lamp : u.m_openLamps) lamp = 0;
}
}  // namespace

void CVorlan800::UpdateOffLamp() noexcept {
  m_offLamp = 0;
  if (m_pIsolation->active != 0) m_offLamp = 1;
}

void CVorlan800::UpdateIndicators() noexcept {
  // 1. Clear everything derived afresh; the counter steps are kept.
  DarkenDisplay(*this);
  m_counterBlank = 0;

  // 2-4. Bar meters, strict thresholds. Every threshold is exact in float32, so
  // comparing in float32 gives the same result as in float64. The negative side
  // is the positive meter of the negated current.
  m_currentBarsPos = Bars(m_current, 25.0f, 50.0f, 75.0f, 100.0f);
  m_currentBarsNeg = Bars(-m_current, 25.0f, 50.0f, 75.0f, 100.0f);
  m_bcBars = Bars(m_bcPressure, 100.0f, 200.0f, 300.0f, 400.0f);

  // 5. Main reservoir rising against last frame; the previous value is kept in
  // every frame, whatever the doors and blanking show.
  const int32_t rising = m_mrPressure > m_prevMrPressure ? 1 : 0;
  m_prevMrPressure = m_mrPressure;
  m_mrRisingShown = rising;

  // 6. Door-dependent lamps. With the doors open the meters go dark.
  if (m_doorsClosed != 0) {
    for (int32_t& lamp : m_closedLamps) lamp = 1;
    m_reverserForward = m_reverser > 0 ? 1 : 0;
    m_reverserBackward = m_reverser < 0 ? 1 : 0;
  } else {
    for (int32_t& lamp : m_openLamps) lamp = 1;
    m_mrRisingShown = 0;
    m_bcBars = 0;
    m_currentBarsPos = 0;
    m_currentBarsNeg = 0;
  }

  // 7. Counter, only while on; while off the steps stay frozen.
  if (m_pAts->on != 0) {
    m_counterShown = m_counter;
    m_counterStepA = kCounterStepsBeyond;
    m_counterStepB = kCounterStepsBeyond;
    for (const CounterSteps& row : kCounterSteps) {
      if (m_counter <= row.upTo) {
        m_counterStepA = row.a;
        m_counterStepB = row.b;
        break;
      }
    }
  }

  // 8. Blanking for 500 ms of host time after a door change or counter beacon.
  // The difference is a wrapping 32-bit one, so a time that went back before
  // the event (negative difference) blanks too.
  if (WrapSub(m_timeMs, m_eventTimeMs) >= kBlankMs) return;
  DarkenDisplay(*this);
  m_counterBlank = 1;
}

}  // namespace vorlan
