// Panel and sound output: plain copies of the unit's fields into the host's
// arrays, at fixed indices. Unlisted elements are never written, and neither
// array is read.
#include "unit/vorlan800.h"

namespace vorlan {

static_assert(kSectionModes == 7, "modes 1 to 6 are panel 241 to 246");

// The host's arrays are its own storage, never the unit's: saying so
// (__restrict) lets the compiler copy neighbouring fields together instead of
// reading each again after every store into the array. Not inlined into the
// frame: there the compiler would hold the 35 fields just derived in registers
// until this copy, run out of them and spill, which costs more than the call.
[[gnu::noinline]] void CVorlan800::WritePanel(int32_t* __restrict panel) const noexcept {
  const AtsUnit& ats = *m_pAts;
  panel[0] = ats.on;
  panel[1] = m_pIsolation->active;
  panel[2] = ats.tripped;
  panel[3] = 1;
  // Anything that stops the train or makes the speed suspect. The three are
  // flags, so one test of the three or-ed together asks for any of them.
  panel[5] = Flag((ats.tripped | ats.warningBrake | m_slipDetected) != 0);
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
  panel[102] = panel[103] = panel[104] = panel[105] = panel[106] = panel[107] = 0;
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
  panel[241] = m_sectionMode[1];
  panel[242] = m_sectionMode[2];
  panel[243] = m_sectionMode[3];
  panel[244] = m_sectionMode[4];
  panel[245] = m_sectionMode[5];
  panel[246] = m_sectionMode[6];
  panel[255] = 1;
}

void CVorlan800::WriteSound(int32_t* __restrict sound) const noexcept {
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
