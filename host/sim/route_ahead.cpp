#include "host/sim/route_ahead.h"

#include <algorithm>

#include "host/sim/verdict.h"

namespace atshost {
namespace {

// A station's name, where the route gives one.
template <typename Stop>
std::string NameOf(const Stop& stop) {
  if constexpr (requires { stop.name; }) {
    return stop.name;
  } else {
    return {};
  }
}

}  // namespace

void QueryRouteAhead(const Route& route, double from, double to, RouteAhead& out) {
  out.items.clear();
  out.gradients.clear();
  if (!(from <= to)) return;

  // Beacons and stations are kept in order of location; the two lists are
  // merged, a beacon first where both stand at one place.
  auto beacon =
      std::lower_bound(route.beacons.begin(), route.beacons.end(), from,
                       [](const BeaconPlacement& b, double at) { return b.location < at; });
  auto station = std::lower_bound(route.stations.begin(), route.stations.end(), from,
                                  [](const StationStop& s, double at) { return s.location < at; });
  for (;;) {
    const bool more_beacons = beacon != route.beacons.end() && beacon->location <= to;
    const bool more_stations = station != route.stations.end() && station->location <= to;
    if (!more_beacons && !more_stations) break;
    AheadItem item;
    if (more_beacons && (!more_stations || beacon->location <= station->location)) {
      const std::optional<float> limit = CheckedLimit(beacon->beacon);
      const double at = beacon->location;
      ++beacon;
      if (!limit) continue;
      item.kind = *limit <= 0.0f ? AheadKind::kStopSignal : AheadKind::kCheck;
      item.at = at;
      item.limit_kmh = *limit;
    } else {
      item.kind = AheadKind::kStation;
      item.at = station->location;
      item.window_m = kStopWindowM;
      item.name = NameOf(*station);
      ++station;
    }
    out.items.push_back(std::move(item));
  }

  const double end = route.end_location       ? *route.end_location
                     : route.stations.empty() ? -1.0
                                              : route.stations.back().location;
  if ((route.end_location || !route.stations.empty()) && end >= from && end <= to) {
    AheadItem item;
    item.kind = AheadKind::kEnd;
    item.at = end;
    out.items.push_back(item);
  }

  // The gradient in force at a place is the last section begun at or before
  // it; before the first, the line is level. A route may list them in any
  // order, and a later line for the same place wins, as in the train model.
  const auto earlier = [](const Gradient& a, const Gradient& b) { return a.from < b.from; };
  std::vector<Gradient> sorted;
  const std::vector<Gradient>* sections = &route.gradients;
  if (!std::is_sorted(route.gradients.begin(), route.gradients.end(), earlier)) {
    sorted = route.gradients;
    std::stable_sort(sorted.begin(), sorted.end(), earlier);
    sections = &sorted;
  }
  double permille = 0.0;
  double at = from;
  for (const Gradient& g : *sections) {
    if (g.from > to) break;
    if (g.from <= from) {
      permille = g.permille;
      continue;
    }
    if (g.from > at) out.gradients.push_back({at, g.from, permille});
    at = g.from;
    permille = g.permille;
  }
  out.gradients.push_back({at, to, permille});
}

}  // namespace atshost
