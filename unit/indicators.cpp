// Indicator derivation: the unit's state turned into lamps, bar meters and the
// counter, at the end of each frame's supervision.
#include <cstdint>
#include <limits>

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
    {3, 1, 2},
    {6, 2, 3},
    {9, 3, 4},
    {12, 4, 5},
    {15, 5, 6},
    {18, 6, 7},
    {std::numeric_limits<int32_t>::max(), 0, 0},  // 19 and above: both steps 0
};

// The row that shows the counter; the last row takes every counter left.
const CounterSteps& StepsFor(int32_t counter) {
  const CounterSteps* row = kCounterSteps;
  while (counter > row->upTo) ++row;
  return *row;
}

constexpr int32_t kBlankMs = 500;  // display blanked this long after an event

// Five-step bar meter: the number of thresholds strictly exceeded, 0 being the
// lowest. NaN exceeds none. A meter at rest (nothing above 0) is the common
// case, so it is settled first; then the highest threshold down.
int32_t Bars(float value, float t1, float t2, float t3, float t4) {
  if (!(value > 0.0f)) return 0;
  if (value > t4) return 5;
  if (value > t3) return 4;
  if (value > t2) return 3;
  if (value > t1) return 2;
  return 1;
}

// A group of three lamps, all lit or all dark (written out: a loop of three
// costs more than the stores).
void SetLamps(int32_t (&lamps)[3], bool lit) { lamps[0] = lamps[1] = lamps[2] = Flag(lit); }
}  // namespace

void CVorlan800::UpdateOffLamp() noexcept { m_offLamp = Flag(m_pIsolation->active != 0); }

// Each field is written once, with what the display shows this frame: the
// blanking and the door state decide which values are put out (0) rather than
// derived and then cleared again.
void CVorlan800::UpdateIndicators() noexcept {
  // Blanking for 500 ms of host time after a door change or counter beacon.
  // The difference is a wrapping 32-bit one, so a time that went back before
  // the event (negative difference) blanks too.
  const bool blanked = WrapSub(m_timeMs, m_eventTimeMs) < kBlankMs;
  const bool closedShown = m_doorsClosed != 0 && !blanked;
  const bool openShown = m_doorsClosed == 0 && !blanked;
  m_counterBlank = Flag(blanked);

  // Main reservoir rising against last frame; the previous value is kept in
  // every frame, whatever the doors and blanking show.
  const bool rising = m_mrPressure > m_prevMrPressure;
  m_prevMrPressure = m_mrPressure;

  // Bar meters and the rising lamp show only with the doors closed. Strict
  // thresholds; every one is exact in float32, so comparing in float32 gives
  // the same result as in float64. The negative side is the positive meter of
  // the negated current.
  m_mrRisingShown = Flag(closedShown && rising);
  m_bcBars = closedShown ? Bars(m_bcPressure, 100.0f, 200.0f, 300.0f, 400.0f) : 0;
  m_currentBarsPos = closedShown ? Bars(m_current, 25.0f, 50.0f, 75.0f, 100.0f) : 0;
  m_currentBarsNeg = closedShown ? Bars(-m_current, 25.0f, 50.0f, 75.0f, 100.0f) : 0;

  // Door-state lamps; the reverser lamps only with the doors closed.
  SetLamps(m_closedLamps, closedShown);
  m_reverserForward = Flag(closedShown && m_reverser > 0);
  m_reverserBackward = Flag(closedShown && m_reverser < 0);
  SetLamps(m_openLamps, openShown);

  // Counter, only while on; while off it shows 0 and the steps stay frozen,
  // also through the blanking.
  const bool on = m_pAts->on != 0;
  m_counterShown = on && !blanked ? m_counter : 0;
  if (!on) return;
  const CounterSteps& steps = StepsFor(m_counter);
  m_counterStepA = steps.a;
  m_counterStepB = steps.b;
}

}  // namespace vorlan
