// The reference for vehicle and route authors, as tables: what each panel and
// sound index carries, what each key does, what the vehicle's brake notches
// change, and what each beacon type does. The authors' guide is printed from
// these tables (atshost reference), and tests hold them to what the plug-in
// does, so the guide cannot drift from the code.
#ifndef ATSHOST_REFERENCE_CAB_REFERENCE_H
#define ATSHOST_REFERENCE_CAB_REFERENCE_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/sim/cab.h"
#include "host/sim/cab_tables.h"

namespace atshost::reference {

// What kind of value a panel index takes.
enum class PanelKind { kFlag, kBars, kCounter, kSteps, kConstant };

struct PanelEntry {
  int index;
  PanelKind kind;
  int32_t constant;  // the value of a kConstant entry
  const char* shows;
  const char* when;  // when it lights or changes, in a panel author's words
};

struct SoundEntry {
  int index;
  const char* sound;
  const char* commands;  // what the unit sends over time
  const char* file;      // the kind of sound file that fits
};

struct KeyEntry {
  const char* key;
  const char* does;
};

struct BeaconEntry {
  int type;
  const char* fields;
  const char* does;
};

struct BrakePositionEntry {
  const char* position;
  const char* use;
};

// A point speed check (cab.h's kSpeedChecks, which the tools check with)
// and what the guide says after its limit. A negative signal or data word
// stands for "any"; for type 9 the limit is the data word, and the one given
// is an example.
struct SpeedLimitEntry {
  int type;
  int signal;
  int optional;
  float limit_kmh;
  const char* note;  // printed after the limit
};
inline constexpr int kAny = kAnyWord;

// How far below a limit a steady train must be to pass a point speed check
// for sure, by its distance from 0 m. The unit narrows the location to
// float32, so the distance run in a frame is off by up to one float32 step at
// that location, and the speed worked out from it by that step over the
// frame time. The margins are that bound for 16 ms frames, rounded up.
struct SpeedMarginEntry {
  const char* locations;
  double farthest_m;  // the last location the margin holds for (a float32 binade's end)
  float margin_kmh;
};

inline constexpr std::array<PanelEntry, 48> kPanel = {{
    {0, PanelKind::kFlag, 0, "unit switched on",
     "lit from key 10 (switch on) until key 11 (switch off)"},
    {1, PanelKind::kFlag, 0, "unit switched off",
     "lit from loading until key 10, and again after key 11; the same as 101"},
    {2, PanelKind::kFlag, 0, "unit tripped",
     "lit from a trip until the reset (key 3 with the handles secured) or key 11"},
    {3, PanelKind::kConstant, 1, "always 1", "never changes"},
    {5, PanelKind::kFlag, 0, "warning lamp: trip, warning brake or speed doubt",
     "lit while the unit is tripped, while a warning brake is demanded, or in a frame with speed "
     "doubt: the simulator's speed and the speed the unit works out from the distance run in the "
     "last frame differ by more than 2 km/h (also while the unit is off). The first frame after "
     "loading is worked out from 0 m at time 0, so a train starting away from 0 m may light it "
     "for that frame. Far along a long route speed doubt comes without any fault (see the point "
     "speed checks under Beacons)"},
    {6, PanelKind::kFlag, 0, "train running",
     "lit while the train runs faster than 5 km/h with the doors closed"},
    {7, PanelKind::kFlag, 0, "emergency brake",
     "lit while the unit is tripped or the driver's brake handle is in the emergency position; "
     "it follows the driver's handle, not the brake the unit applies"},
    {8, PanelKind::kFlag, 0, "traction current negative",
     "lit while the traction current is below 0 (the electric brake feeding back)"},
    {9, PanelKind::kFlag, 0, "station mode (mode 0)",
     "lit from a type-11 beacon until a type-10 beacon or a type-15 beacon that selects a mode"},
    {11, PanelKind::kFlag, 0, "stopped in the stop window",
     "lit while the train stands still (speed exactly 0) within about 0.3 m of the stop target "
     "of the latest type-12 beacon, also while the unit is off. Before the first type-12 beacon "
     "the target is 0 m, so a train standing at 0 m shows it from loading on. The distance is "
     "compared in binary, so a stand exactly 0.3 m from the target may still count"},
    {12, PanelKind::kFlag, 0, "stop latched",
     "lit once the train has stood in the stop window with the doors closed while station mode "
     "is on; stays lit when the train moves off or the doors open; goes out when station mode "
     "ends"},
    {14, PanelKind::kFlag, 0, "doors open, blinking",
     "while the doors are open: lit for the first half of every second of simulator time, so it "
     "blinks once a second; dark while they are closed"},
    {100, PanelKind::kConstant, 0, "always 0", "never changes"},
    {101, PanelKind::kFlag, 0, "unit switched off", "the same as 1"},
    {102, PanelKind::kConstant, 0, "always 0", "never changes"},
    {103, PanelKind::kConstant, 0, "always 0", "never changes"},
    {104, PanelKind::kConstant, 0, "always 0", "never changes"},
    {105, PanelKind::kConstant, 0, "always 0", "never changes"},
    {106, PanelKind::kConstant, 0, "always 0", "never changes"},
    {107, PanelKind::kConstant, 0, "always 0", "never changes"},
    {200, PanelKind::kCounter, 0, "door counter",
     "the number of door openings and closings since loading, also those while the unit is off "
     "(each report counts 1, a closing reported again without an opening between too; the "
     "simulator's first report that the doors are closed counts as well, so the first switch-on "
     "shows 1; counting stops at 30), or the value of the latest type-200 beacon, which door "
     "events then count on from while it is below 30. Shown only while the unit is on: 0 while "
     "it is off or the display is blanked"},
    {201, PanelKind::kFlag, 0, "display blanked",
     "after a door change: lit from the frame after the one that first shows the change, while "
     "less than 500 ms of simulator time have passed since that frame. After a type-200 beacon: "
     "lit from the first frame after the beacon, while less than 500 ms have passed since the "
     "frame before it; then the beacon's value shows. The simulator's first report that the "
     "doors are closed, at loading, is a door change too: the display is blanked from the "
     "second frame until 500 ms after the first (and in the first frame too if its time is "
     "below 500 ms). While it is lit, 200 and 206 to 222 show 0 (the counter steps 216 and 217 "
     "do not)"},
    {206, PanelKind::kFlag, 0, "main reservoir filling",
     "lit in each frame in which the main-reservoir pressure is higher than in the frame before; "
     "dark with the doors open"},
    {207, PanelKind::kBars, 0, "brake-cylinder pressure",
     "1 bar above 0, 2 above 100, 3 above 200, 4 above 300, 5 above 400 (the simulator's "
     "pressure unit); 0 with the doors open"},
    {208, PanelKind::kBars, 0, "traction current, motoring",
     "1 bar above 0, 2 above 25, 3 above 50, 4 above 75, 5 above 100 (the simulator's current "
     "unit); 0 with the doors open"},
    {209, PanelKind::kBars, 0, "traction current, braking",
     "1 bar below 0, 2 below -25, 3 below -50, 4 below -75, 5 below -100; 0 with the doors open"},
    {210, PanelKind::kFlag, 0, "doors closed", "lit while the doors are closed"},
    {211, PanelKind::kFlag, 0, "doors closed", "the same as 210"},
    {212, PanelKind::kFlag, 0, "doors closed", "the same as 210"},
    {215, PanelKind::kConstant, 0, "always 0", "never changes"},
    {216, PanelKind::kSteps, 0, "first counter step",
     "from the counter while the unit is on: 1 up to 3, 2 from 4 to 6, 3 from 7 to 9, 4 from 10 "
     "to 12, 5 from 13 to 15, 6 from 16 to 18, 0 from 19; keeps its value while the unit is off"},
    {217, PanelKind::kSteps, 0, "second counter step",
     "one more than 216 (2 up to 3, ... 7 from 16 to 18), 0 from 19; keeps its value while the "
     "unit is off"},
    {218, PanelKind::kFlag, 0, "reverser forward",
     "lit while the doors are closed and the "
     "reverser is forward"},
    {219, PanelKind::kFlag, 0, "reverser backward",
     "lit while the doors are closed and the "
     "reverser is backward"},
    {220, PanelKind::kFlag, 0, "doors open", "lit while the doors are open"},
    {221, PanelKind::kFlag, 0, "doors open", "the same as 220"},
    {222, PanelKind::kFlag, 0, "doors open", "the same as 220"},
    {225, PanelKind::kConstant, 0, "always 0", "never changes"},
    {226, PanelKind::kConstant, 0, "always 0", "never changes"},
    {228, PanelKind::kConstant, 0, "always 0", "never changes"},
    {229, PanelKind::kConstant, 0, "always 0", "never changes"},
    {241, PanelKind::kFlag, 0, "mode 1",
     "lit from a type-15 beacon with data word 241 until another mode beacon (types 10, 11, 15)"},
    {242, PanelKind::kFlag, 0, "mode 2", "as 241, with data word 242"},
    {243, PanelKind::kFlag, 0, "mode 3", "as 241, with data word 243"},
    {244, PanelKind::kFlag, 0, "mode 4", "as 241, with data word 244"},
    {245, PanelKind::kFlag, 0, "mode 5", "as 241, with data word 245"},
    {246, PanelKind::kFlag, 0, "mode 6", "as 241, with data word 246"},
    {255, PanelKind::kConstant, 1, "always 1", "never changes"},
}};

inline constexpr std::array<SoundEntry, 8> kSound = {{
    {0, "unit switched on",
     "1 (play once) when key 10 switches the unit on from off; the next switch-on from off sends 2 "
     "(continue), the one after it 1 again, and so on, so every second switch-on is silent (2 "
     "leaves the sound as it is). The simulator's initialisation of a run sends -10000 (stop), "
     "and the next switch-on plays again. Pressing key 10 while on changes nothing",
     "one-shot"},
    {2, "train starts",
     "1 in the one frame in which the train starts running faster than 5 km/h with the doors "
     "closed; 2 in every other frame",
     "one-shot"},
    {3, "train stops",
     "1 in the one frame in which that running ends (5 km/h or slower, or the doors open); 2 in "
     "every other frame",
     "one-shot"},
    {4, "brake air",
     "1 in every frame in which the brake-cylinder pressure, cut to a whole number, lies in a band "
     "from a multiple of 33 up to 6 above it (33 to 38, 66 to 71, ...), unless the latest brake "
     "handle move was to a lower position; 2 in every other frame. So it starts again in each "
     "such frame",
     "short one-shot"},
    {7, "warning-brake alarm",
     "while a warning brake is demanded: 0 (play looping) and 2 (continue) in turn, frame by "
     "frame, so the loop is started again every second frame (25 times a second at 50 frames a "
     "second); -10000 (stop) when the brake is put at the last service notch or beyond. "
     "Switching the unit off ends the warning brake but not the alarm",
     "looping steady tone: it is started again every second frame, so use a tone whose start "
     "sounds like the rest (no attack, no gap)"},
    {8, "trip bell, strike",
     "1 and 2 in turn, frame by frame, while the train rolls against the reverser or runs with the "
     "reverser in neutral (so it is struck again every second frame); toggled the same way by "
     "each beacon passed while tripped; -10000 (stop) at the reset (key 3)",
     "one-shot: a single strike of the bell. While the train rolls against the reverser or "
     "moves in neutral it is started again 25 "
     "times a second (at 50 frames a second), so a strike whose start sounds like the rest "
     "fits best"},
    {9, "trip bell, ringing",
     "0 (play looping) and 2 (continue) in turn, at the same moments as 8; a trip at a beacon "
     "leaves it at 0, so it rings on until the reset (key 3) sends -10000",
     "looping: the bell ringing on. Like 8, it is started again every second frame while the "
     "train rolls against the reverser or moves in neutral"},
    {100, "doors closing",
     "1 when the doors close (2 if they close again without opening in between); -10000 (stop) "
     "when they open. In station mode (panel 9) closing the doors leaves it as it was",
     "one-shot"},
}};

inline constexpr std::array<KeyEntry, 5> kKeys = {{
    {"0",
     "held: closing the doors demands no warning brake, even with the reverser out of "
     "neutral or power applied"},
    {"3",
     "reset: clears a trip and stops the bell, only with the handles secured (reverser "
     "neutral, power off, brake in the emergency position)"},
    {"10",
     "switch the unit on; it trips at once unless the handles are secured, or if the doors "
     "are open and the train runs faster than 5 km/h; pressed again while on, it repeats "
     "those checks"},
    {"11",
     "switch the unit off: clears a trip and a warning brake; the unit holds the emergency "
     "brake while it is off"},
    {"F7",
     "not a simulator key: the unit reads the PC keyboard itself. The first frame with F7 "
     "held shows a warning box; any later one ends the simulator at once"},
}};

// N is the vehicle's number of service brake notches, as the simulator reports
// it; every position below follows from it except the speed hold's.
inline constexpr std::array<BrakePositionEntry, 4> kBrakePositions = {{
    {"N + 1",
     "the emergency position: the brake the unit applies while it is off, tripped or "
     "warning; the position that key 3 (reset) and key 10 (switch on) demand; panel 7"},
    {"N",
     "full service: the governor's brake above 76 km/h, until the speed is below 71 km/h. "
     "It replaces every other brake, the emergency brake included"},
    {"N - 1",
     "the last position that does not cancel a warning brake: putting the brake above it "
     "(N or N + 1) ends the warning brake and stops the alarm"},
    {"4",
     "the speed hold's brake, the same for every vehicle (with fewer than 4 service notches "
     "it is the emergency position or beyond)"},
}};

inline constexpr std::array<BeaconEntry, 7> kBeacons = {{
    {0, "signal, data word",
     "point speed check with a limit chosen by the signal value, or by the data word 50 or 150 "
     "(table below)"},
    {9, "data word", "point speed check with the data word as the limit in km/h"},
    {10, "none", "ends the mode: no mode selected (panel 9 and 241 to 246 go dark)"},
    {11, "none",
     "selects station mode (mode 0, panel 9): the stop can be latched, and closing the doors "
     "sounds no door sound"},
    {12, "data word",
     "sets the stop target to the data word, a location in whole metres (the location the route "
     "gives the stopping point, not a distance)"},
    {15, "data word",
     "data word 241 to 246 selects mode 1 to 6 (panel 241 to 246); other data words do nothing"},
    {200, "data word",
     "sets the door counter (panel 200) to the data word, any whole number, and blanks the display "
     "for 500 ms"},
}};

// The notes, row by row of kSpeedChecks.
inline constexpr std::array<const char*, kSpeedChecks.size()> kSpeedLimitNotes = {
    "trips at any speed other than standstill", "", "", "", "", "", ""};
constexpr std::array<SpeedLimitEntry, kSpeedChecks.size()> WithNotes() {
  std::array<SpeedLimitEntry, kSpeedChecks.size()> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const SpeedCheck& c = kSpeedChecks[i];
    rows[i] = {c.type, c.signal, c.optional, c.limit_kmh, kSpeedLimitNotes[i]};
  }
  return rows;
}
inline constexpr std::array<SpeedLimitEntry, kSpeedChecks.size()> kSpeedLimits = WithNotes();

inline constexpr std::array<SpeedMarginEntry, 4> kSpeedMargins = {{
    {"up to 65 km", 65535.0, 1.0f},
    {"65 to 131 km", 131071.0, 2.0f},
    {"131 to 262 km", 262143.0, 4.0f},
    {"262 to 524 km", 524287.0, 8.0f},
}};

// The reference lists the panel and sound indices in the trace's order, so
// that a new index cannot be traced without being documented.
constexpr bool MatchesTrace() {
  for (std::size_t i = 0; i < kPanel.size(); ++i) {
    if (kPanel[i].index != kPanelIndices[i].index) return false;
  }
  for (std::size_t i = 0; i < kSound.size(); ++i) {
    if (kSound[i].index != kSoundIndices[i].index) return false;
  }
  return kPanel.size() == kPanelIndices.size() && kSound.size() == kSoundIndices.size();
}
static_assert(MatchesTrace(), "every traced panel and sound index needs its reference entry");

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_CAB_REFERENCE_H
