// Panel and sound output: plain copies of the unit's fields into the host's
// arrays, at fixed indices. Unlisted elements are never written, and neither
// array is read.
#include "unit/vorlan800.h"

namespace vorlan {

namespace {
constexpr int32_t Flag(bool condition) { return condition ? 1 : 0; }
}  // namespace

void CVorlan800::WritePanel(int32_t* panel) const noexcept {
  const AtsUnit& ats = *m_pAts;
  panel[0] = ats.on;
  panel[1] = m_pIsolation->active;
  panel[2] = ats.tripped;
  panel[3] = 1;
  // Anything that stops the train or makes the speed suspect.
  panel[5] = Flag(ats.tripped != 0 || ats.warningBrake != 0 || m_slipDetected != 0);
  panel[6] = m_runningLatch;
  // The driver's handle, not the brake the unit returns.
  panel[7] = Flag(ats.tripped != 0 || m_brake == m_emergencyNotch);
  panel[8] = Flag(m_current < 0.0f);  // -0.0 and NaN give 0
  panel[9] = m_sectionMode[0];
  panel[11] = m_stopInWindow;
  panel[12] = m_stopLatch;
  panel[14] = m_doorBlink;
  panel[100] = 0;
  panel[101] = m_offLamp;
  for (int i = 102; i <= 107; ++i) panel[i] = 0;
  panel[200] = m_counterShown;
  panel[201] = m_counterBlank;
  panel[206] = m_mrRisingShown;
  panel[207] = m_bcBars;
  panel[208] = m_currentBarsPos;
  panel[209] = m_currentBarsNeg;
  panel[210] = m_closedLamps[0];
  panel[211] = m_closedLamps[1];
  panel[212] = m_closedLamps[2];
  panel[215] = 0;
  // The counter steps stand before the reverser lamps on the panel.
  panel[216] = m_counterStepA;
  panel[217] = m_counterStepB;
  panel[218] = m_reverserForward;
  panel[219] = m_reverserBackward;
  panel[220] = m_openLamps[0];
  panel[221] = m_openLamps[1];
  panel[222] = m_openLamps[2];
  panel[225] = 0;
  panel[226] = 0;
  panel[228] = 0;
  panel[229] = 0;
  // Modes 1 to 6 at 241 to 246, the data words that select them; mode 0 is at 9.
  for (int k = 1; k < kSectionModes; ++k) panel[240 + k] = m_sectionMode[k];
  panel[255] = 1;
}

void CVorlan800::WriteSound(int32_t* sound) const noexcept {
  sound[0] = m_soundAtsOn;
  sound[2] = m_soundStart;
  sound[3] = m_soundStop;
  sound[4] = m_soundAir;
  sound[7] = m_soundAlarm;
  sound[8] = m_soundBell;
  sound[9] = m_soundBellLoop;
  sound[100] = m_soundDoor;
}

}  // namespace vorlan
