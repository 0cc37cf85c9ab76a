// The driver's and the track's actions, as both file formats write them:
//   power N | brake N | reverser N
//   key N (pressed and released) | key down N | key up N
//   doors open | doors close
//   horn N | signal N
#ifndef ATSHOST_ACTIONS_H
#define ATSHOST_ACTIONS_H

#include <vector>

#include "host/sim/events.h"
#include "host/sim/text_input.h"

namespace atshost {

// If the next word starts one of the actions above, reads the action and
// appends its events; otherwise leaves `fields` as it was and returns false.
// A bad action is reported into the fields' errors and returns true.
bool ParseAction(Fields& fields, std::vector<HostEvent>& out);

}  // namespace atshost

#endif  // ATSHOST_ACTIONS_H
