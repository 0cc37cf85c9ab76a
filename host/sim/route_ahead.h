// What lies on a route between two locations: the speed checks with their
// limits, the stop signals, the stations with their stop marks and windows,
// the gradient profile and the route's end. The driving page draws the line
// ahead from it; a driver who looks ahead and the route check ask the same.
#ifndef ATSHOST_SIM_ROUTE_AHEAD_H
#define ATSHOST_SIM_ROUTE_AHEAD_H

#include <string>
#include <vector>

#include "host/sim/cab.h"
#include "host/sim/route.h"

namespace atshost {

enum class AheadKind {
  kCheck = 0,       // a beacon the unit checks the speed at, with its limit
  kStopSignal = 1,  // a beacon whose limit is 0 km/h: no train may pass it
  kStation = 2,     // a station's stop mark
  kEnd = 3,         // where the run ends
};

struct AheadItem {
  AheadKind kind = AheadKind::kCheck;
  double at = 0.0;         // route location, m
  float limit_kmh = 0.0f;  // checks and stop signals
  double window_m = 0.0;   // stations: the window either side of the mark
  std::string name;        // stations: the name the route gives, if any
};

// A stretch of constant gradient, clipped to the stretch asked about.
struct AheadGradient {
  double from = 0.0;
  double to = 0.0;
  double permille = 0.0;  // rising positive
};

struct RouteAhead {
  std::vector<AheadItem> items;          // in order of location
  std::vector<AheadGradient> gradients;  // in order, covering [from, to]
};

// Everything of `route` from `from` to `to` metres (both included), into
// `out` (cleared first; its storage is reused by a caller that asks every
// frame). The end is the route's end
// location if it has one, otherwise its last station, after which the run
// ends; a route with neither has no end on the line.
void QueryRouteAhead(const Route& route, double from, double to, RouteAhead& out);

}  // namespace atshost

#endif  // ATSHOST_SIM_ROUTE_AHEAD_H
