// The protection unit's three sub-records. Each is a separate heap record owned
// by the unit for its whole life; all start at zero.
#ifndef ATSVORLAN800_UNIT_SUB_RECORDS_H
#define ATSVORLAN800_UNIT_SUB_RECORDS_H

#include <cstdint>

#include "plugin/atsplugin.h"

namespace vorlan {

// The protection equipment proper.
struct AtsUnit {
  int32_t on = 0;            // switched on (key 10); cleared by key 11
  int32_t warningBrake = 0;  // warning brake demanded; cleared by a heavy brake or key 11
  int32_t tripped = 0;       // tripped; cleared by the reset key or key 11

  // Point speed check at a beacon: trips when |speed| is strictly above the
  // beacon's limit. Changes nothing else.
  void CheckPointSpeed(float speed, ATS_BEACONDATA beacon) noexcept;
};

// The switched-off (isolated) state; while active the emergency brake is held.
struct IsolationState {
  int32_t active = 0;
};

// Speed governor and stop window.
struct SpeedLimiter {
  int32_t brakeNotch = 0;   // brake position the governor demands; 0 for none
  double stopTarget = 0.0;  // location of the stop target, metres
  int32_t stopOk = 0;       // standing still inside the stop window
};

}  // namespace vorlan

#endif  // ATSVORLAN800_UNIT_SUB_RECORDS_H
