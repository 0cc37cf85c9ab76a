#include "host/sim/route.h"

namespace atshost {

const char* DemoRouteText() {
  return R"(# The built-in demo route: about two minutes on 1.2 km of straight track.
vehicle brake-notches=8 power-notches=4
start location=0 time=0 dt=20 doors=closed reverser=0 power=0 brake=9

# Switch-on with the handles secured (reverser neutral, power off, emergency
# brake), then away in full power.
at 2 s key 10
at 4 s reverser 1; brake 0; power 4

# Notch 1 above 15 km/h: the speed hold sends the constant-speed command; on
# the falling stretch it brakes with 4 whenever the train runs 2 km/h over.
at 10 s power 1
gradient 40 -25
gradient 120 0

# Full power: the governor brakes above 76 km/h until below 71.
at 22 s power 4
at 52 s power 0

# A signal at danger-but-one (28 km/h) passed at 70 km/h: trip and bell.
beacon 560 type=0 signal=1

# Standing: secure the handles, reset, set off again.
at 74 s power 0; reverser 0; brake 9
at 76 s key 3
at 78 s reverser 1; brake 0; power 4

# The station: the stop target, and the stop with the doors opening and
# closing.
beacon 950 type=12 optional=1150
station 1150 open=8 closed=4
)";
}

}  // namespace atshost
