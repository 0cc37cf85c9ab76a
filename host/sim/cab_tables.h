// What this cab's panel and sound arrays carry: the 48 panel indices and the 8
// sound indices the plug-in writes, each with the column name it has in the
// trace. Every other element is left as the host set it, so it is not traced.
#ifndef ATSHOST_CAB_TABLES_H
#define ATSHOST_CAB_TABLES_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/sim/cab.h"

namespace atshost {

struct CabIndex {
  int index;
  const char* column;
};

inline constexpr std::array<CabIndex, 48> kPanelIndices = {{
    {0, "p0_unit_on"},
    {1, "p1_unit_off"},
    {2, "p2_tripped"},
    {3, "p3_const_1"},
    {5, "p5_warning"},
    {6, "p6_running"},
    {7, "p7_emergency"},
    {8, "p8_current_negative"},
    {9, "p9_mode_0"},
    {11, "p11_stop_window"},
    {12, "p12_stop_latch"},
    {14, "p14_door_blink"},
    {100, "p100_const_0"},
    {101, "p101_off_lamp"},
    {102, "p102_const_0"},
    {103, "p103_const_0"},
    {104, "p104_const_0"},
    {105, "p105_const_0"},
    {106, "p106_const_0"},
    {107, "p107_const_0"},
    {200, "p200_counter"},
    {201, "p201_counter_blank"},
    {206, "p206_mr_rising"},
    {207, "p207_bc_bars"},
    {208, "p208_current_bars_pos"},
    {209, "p209_current_bars_neg"},
    {210, "p210_doors_closed_1"},
    {211, "p211_doors_closed_2"},
    {212, "p212_doors_closed_3"},
    {215, "p215_const_0"},
    {216, "p216_counter_step_a"},
    {217, "p217_counter_step_b"},
    {218, "p218_reverser_forward"},
    {219, "p219_reverser_backward"},
    {220, "p220_doors_open_1"},
    {221, "p221_doors_open_2"},
    {222, "p222_doors_open_3"},
    {225, "p225_const_0"},
    {226, "p226_const_0"},
    {228, "p228_const_0"},
    {229, "p229_const_0"},
    {241, "p241_mode_1"},
    {242, "p242_mode_2"},
    {243, "p243_mode_3"},
    {244, "p244_mode_4"},
    {245, "p245_mode_5"},
    {246, "p246_mode_6"},
    {255, "p255_const_1"},
}};

inline constexpr std::array<CabIndex, 8> kSoundIndices = {{
    {0, "s0_unit_on"},
    {2, "s2_start"},
    {3, "s3_stop"},
    {4, "s4_brake_air"},
    {7, "s7_alarm"},
    {8, "s8_bell"},
    {9, "s9_bell_loop"},
    {100, "s100_door"},
}};

// Lengths of the host's arrays: the highest index written, plus one.
inline constexpr std::size_t kPanelArrayLength = ATS_PANEL_SIZE;
inline constexpr std::size_t kSoundArrayLength = ATS_SOUND_SIZE;

// Position of a panel or sound index in the tables above; -1 if not listed.
constexpr int PanelSlot(int index) {
  for (std::size_t i = 0; i < kPanelIndices.size(); ++i) {
    if (kPanelIndices[i].index == index) return static_cast<int>(i);
  }
  return -1;
}
constexpr int SoundSlot(int index) {
  for (std::size_t i = 0; i < kSoundIndices.size(); ++i) {
    if (kSoundIndices[i].index == index) return static_cast<int>(i);
  }
  return -1;
}

// Every index the tools read by name is traced, so that reading it never
// falls outside the frame's record.
static_assert(PanelSlot(kPanelUnitOff) >= 0 && PanelSlot(kPanelTripped) >= 0 &&
              PanelSlot(kPanelWarning) >= 0 && PanelSlot(kPanelEmergency) >= 0 &&
              PanelSlot(kPanelStationMode) >= 0 && PanelSlot(kPanelStopWindow) >= 0 &&
              PanelSlot(kPanelStopLatch) >= 0 && PanelSlot(kPanelCounter) >= 0 &&
              PanelSlot(kPanelCounterBlank) >= 0 && PanelSlot(kPanelDoorsClosed) >= 0 &&
              PanelSlot(kPanelCounterStepA) >= 0 && PanelSlot(kPanelCounterStepB) >= 0 &&
              PanelSlot(kPanelDoorsOpen) >= 0);
constexpr bool ModeLampsTraced() {
  for (int m = 1; m < kModeCount; ++m) {
    if (PanelSlot(kPanelModeBase + m) < 0) return false;
  }
  return true;
}
static_assert(ModeLampsTraced());
static_assert(SoundSlot(kSoundUnitOn) >= 0 && SoundSlot(kSoundStarting) >= 0 &&
              SoundSlot(kSoundStopping) >= 0 && SoundSlot(kSoundBrakeAir) >= 0 &&
              SoundSlot(kSoundAlarm) >= 0 && SoundSlot(kSoundBell) >= 0 &&
              SoundSlot(kSoundBellLoop) >= 0 && SoundSlot(kSoundDoor) >= 0);

}  // namespace atshost

#endif  // ATSHOST_CAB_TABLES_H
