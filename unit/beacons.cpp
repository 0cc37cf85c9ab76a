// Beacons: section modes, point speed checks, the stop target, the counter
// beacon and the trip bell, all at the moment the beacon is passed.
#include <cmath>

#include "unit/vorlan800.h"

namespace vorlan {

namespace {
enum BeaconType : int32_t {
  kBeaconSignal = 0,        // speed check by signal index, or by the 50/150 data words
  kBeaconLimit = 9,         // speed check against the beacon's own limit
  kBeaconModeClear = 10,    // no section mode
  kBeaconModeStation = 11,  // section mode 0
  kBeaconStopTarget = 12,   // stop target location, whole metres
  kBeaconModeSelect = 15,   // section modes 1 to 6 by data word 241 to 246
  kBeaconCounter = 200,     // door counter value
};

// Data words of type-15 beacons: mode k is selected by kModeWordBase + k.
constexpr int32_t kModeWordBase = 240;
constexpr int32_t kModeWordFirst = 241;
constexpr int32_t kModeWordLast = 246;

// Signal-index limits of a type-0 beacon with data word 0, km/h.
constexpr float kSignalLimitKmh[] = {0.0f, 28.0f, 48.0f, 68.0f};
// Type-0 beacons with signal 0 whose data word carries a limit of its own.
constexpr int32_t kWord19 = 50;
constexpr float kWord19LimitKmh = 19.0f;
constexpr int32_t kWord29 = 150;
constexpr float kWord29LimitKmh = 29.0f;
}  // namespace

void AtsUnit::CheckPointSpeed(float speed, ATS_BEACONDATA beacon) noexcept {
  if (on == 0) return;
  const float v = std::fabs(speed);
  float limit;
  if (beacon.Type == kBeaconLimit) {
    limit = static_cast<float>(beacon.Optional);
  } else if (beacon.Type == kBeaconSignal && beacon.Optional == 0 && beacon.Signal >= 0 &&
             beacon.Signal <= 3) {
    limit = kSignalLimitKmh[beacon.Signal];
  } else if (beacon.Type == kBeaconSignal && beacon.Optional == kWord19 && beacon.Signal == 0) {
    limit = kWord19LimitKmh;
  } else if (beacon.Type == kBeaconSignal && beacon.Optional == kWord29 && beacon.Signal == 0) {
    limit = kWord29LimitKmh;
  } else {
    return;  // no check
  }
  // Strict, in float32: a speed equal to the limit passes and NaN never trips.
  if (v > limit) tripped = 1;
}

// One-hot by construction: each flag says whether it is mode k, so a negative
// k (the clearing beacon) selects none, and no k can reach past the array.
void CVorlan800::SelectSectionMode(int32_t k) noexcept {
  for (int32_t mode = 0; mode < kSectionModes; ++mode) m_sectionMode[mode] = Flag(mode == k);
}

void CVorlan800::OnBeacon(ATS_BEACONDATA beacon) noexcept {
  // 1. The type's own action; none of these depend on the unit being on.
  switch (beacon.Type) {
    case kBeaconModeClear:
      SelectSectionMode(-1);
      break;
    case kBeaconModeStation:
      SelectSectionMode(0);
      break;
    case kBeaconModeSelect:
      if (beacon.Optional >= kModeWordFirst && beacon.Optional <= kModeWordLast) {
        SelectSectionMode(beacon.Optional - kModeWordBase);
      }
      break;
    case kBeaconCounter:
      // Taken as it comes: no cap and no lower bound. Blanks the display.
      m_counter = beacon.Optional;
      m_eventTimeMs = m_timeMs;
      break;
    default:
      break;
  }
  // 2. Every beacon goes through the check; only types 0 and 9 can trip. The
  // speed is the one derived from the latest frame's change of location.
  m_pAts->CheckPointSpeed(m_groundSpeed, beacon);
  // 3. Stop target.
  if (beacon.Type == kBeaconStopTarget)
    m_pLimiter->stopTarget = static_cast<double>(beacon.Optional);
  // 4. Each beacon passed while tripped, however the trip came, rings the bell.
  if (m_pAts->tripped != 0) {
    OnceToggle(m_soundBell);
    LoopToggle(m_soundBellLoop);
  }
}

}  // namespace vorlan
