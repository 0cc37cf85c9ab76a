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

// The tables give each index by its name in cab.h where the tools read it;
// the others (the panel's constants) by number. A column's name starts with
// its index ("p12_", "s100_"), which ColumnNamesIndex below holds to the
// index, so the two cannot drift apart. The pages' scripts take the traced
// indices from these tables through the column names at build time
// (cmake/fill_page.cmake), so the tables keep one row to a line.
inline constexpr std::array<CabIndex, 48> kPanelIndices = {{
    {kPanelUnitOn, "p0_unit_on"},
    {kPanelUnitOff, "p1_unit_off"},
    {kPanelTripped, "p2_tripped"},
    {3, "p3_const_1"},
    {kPanelWarning, "p5_warning"},
    {kPanelRunning, "p6_running"},
    {kPanelEmergency, "p7_emergency"},
    {kPanelCurrentNegative, "p8_current_negative"},
    {kPanelStationMode, "p9_mode_0"},
    {kPanelStopWindow, "p11_stop_window"},
    {kPanelStopLatch, "p12_stop_latch"},
    {kPanelDoorBlink, "p14_door_blink"},
    {100, "p100_const_0"},
    {kPanelOffLamp, "p101_off_lamp"},
    {102, "p102_const_0"},
    {103, "p103_const_0"},
    {104, "p104_const_0"},
    {105, "p105_const_0"},
    {106, "p106_const_0"},
    {107, "p107_const_0"},
    {kPanelCounter, "p200_counter"},
    {kPanelCounterBlank, "p201_counter_blank"},
    {kPanelMrRising, "p206_mr_rising"},
    {kPanelBcBars, "p207_bc_bars"},
    {kPanelCurrentBarsPos, "p208_current_bars_pos"},
    {kPanelCurrentBarsNeg, "p209_current_bars_neg"},
    {kPanelDoorsClosed, "p210_doors_closed_1"},
    {kPanelDoorsClosed + 1, "p211_doors_closed_2"},
    {kPanelDoorsClosed + 2, "p212_doors_closed_3"},
    {215, "p215_const_0"},
    {kPanelCounterStepA, "p216_counter_step_a"},
    {kPanelCounterStepB, "p217_counter_step_b"},
    {kPanelReverserForward, "p218_reverser_forward"},
    {kPanelReverserBackward, "p219_reverser_backward"},
    {kPanelDoorsOpen, "p220_doors_open_1"},
    {kPanelDoorsOpen + 1, "p221_doors_open_2"},
    {kPanelDoorsOpen + 2, "p222_doors_open_3"},
    {225, "p225_const_0"},
    {226, "p226_const_0"},
    {228, "p228_const_0"},
    {229, "p229_const_0"},
    {kPanelModeBase + 1, "p241_mode_1"},
    {kPanelModeBase + 2, "p242_mode_2"},
    {kPanelModeBase + 3, "p243_mode_3"},
    {kPanelModeBase + 4, "p244_mode_4"},
    {kPanelModeBase + 5, "p245_mode_5"},
    {kPanelModeBase + 6, "p246_mode_6"},
    {255, "p255_const_1"},
}};

inline constexpr std::array<CabIndex, 8> kSoundIndices = {{
    {kSoundUnitOn, "s0_unit_on"},
    {kSoundStarting, "s2_start"},
    {kSoundStopping, "s3_stop"},
    {kSoundBrakeAir, "s4_brake_air"},
    {kSoundAlarm, "s7_alarm"},
    {kSoundBell, "s8_bell"},
    {kSoundBellLoop, "s9_bell_loop"},
    {kSoundDoor, "s100_door"},
}};

// True when `row`'s column is `prefix`, the index in decimal (no leading
// zero), an underscore and a name.
constexpr bool ColumnNamesIndex(const CabIndex& row, char prefix) {
  const char* c = row.column;
  if (c == nullptr || *c != prefix) return false;
  ++c;
  if (*c == '0' && c[1] != '_') return false;
  int n = 0;
  int digits = 0;
  for (; *c >= '0' && *c <= '9'; ++c, ++digits) {
    if (digits == 4) return false;
    n = n * 10 + (*c - '0');
  }
  return digits > 0 && *c == '_' && c[1] != '\0' && n == row.index;
}
// Every column names its index, and the indices rise (each traced once, in
// the trace's order).
template <std::size_t N>
constexpr bool ColumnsName(const std::array<CabIndex, N>& table, char prefix) {
  for (std::size_t i = 0; i < N; ++i) {
    if (!ColumnNamesIndex(table[i], prefix)) return false;
    if (i > 0 && table[i - 1].index >= table[i].index) return false;
  }
  return true;
}
static_assert(ColumnsName(kPanelIndices, 'p'));
static_assert(ColumnsName(kSoundIndices, 's'));

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
