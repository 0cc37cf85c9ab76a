// The driver's and the track's actions, as both file formats write them:
//   power N | brake N | reverser N
//   key N (pressed and released) | key down N | key up N
//   doors open | doors close
//   horn N | signal N
// and the data a beacon carries, as both write it:
//   type=N [signal=N] [optional=N]
#ifndef ATSHOST_ACTIONS_H
#define ATSHOST_ACTIONS_H

#include <map>
#include <string>
#include <vector>

#include "host/sim/events.h"
#include "host/sim/text_input.h"

namespace atshost {

// If the next word starts one of the actions above, reads the action and
// appends its events; otherwise leaves `fields` as it was and returns false.
// A bad action is reported into the fields' errors and returns true.
bool ParseAction(Fields& fields, std::vector<HostEvent>& out);

// A beacon's data from the rest of the line: type=N, signal=N and
// optional=N, and any of `extra` (whose values are returned in `extra_values`
// unread). A type 9 beacon's limit is its data word, so it must be given:
// left out, it would read as a 0 km/h stop signal. Errors go into the
// fields' errors.
ATS_BEACONDATA ParseBeaconData(Fields& fields, const std::vector<std::string>& extra = {},
                               std::map<std::string, std::string>* extra_values = nullptr);

}  // namespace atshost

#endif  // ATSHOST_ACTIONS_H
