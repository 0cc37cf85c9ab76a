// `atshost drive`: a closed-loop run. The train model moves under the handles
// the plug-in returns; a driver follows the route's actions and stops at the
// stations on its own; beacons are passed as the train crosses them.
#ifndef ATSHOST_DRIVE_H
#define ATSHOST_DRIVE_H

#include <string>
#include <vector>

#include "host/sim/route.h"
#include "host/sim/session.h"

namespace atshost {

struct StopReport {
  double station = 0.0;   // where the stop was meant to be
  double location = 0.0;  // where the train came to a stand
  int32_t time = 0;       // host time of the stand, ms
};

struct DriveResult {
  std::vector<StopReport> stops;
  TrainState final_state;
  int32_t final_time = 0;
};

// Runs the route in a new session of the session given (Start to Finish).
DriveResult Drive(const Route& route, Session& session);

}  // namespace atshost

#endif  // ATSHOST_DRIVE_H
