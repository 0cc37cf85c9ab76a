#include "host/sim/events.h"

#include <algorithm>

namespace atshost {

std::string Describe(const HostEvent& e) {
  const std::string v = std::to_string(e.value);
  switch (e.kind) {
    case EventKind::kVehicleSpec:
      return "vehicle " + v + " brake notches";
    case EventKind::kInitialize:
      return "initialize " + v;
    case EventKind::kPower:
      return "driver power " + v;
    case EventKind::kBrake:
      return "driver brake " + v;
    case EventKind::kReverser:
      return "driver reverser " + v;
    case EventKind::kKeyDown:
      return "key " + v + " down";
    case EventKind::kKeyUp:
      return "key " + v + " up";
    case EventKind::kHorn:
      return "horn " + v;
    case EventKind::kDoorOpen:
      return "doors open";
    case EventKind::kDoorClose:
      return "doors closed";
    case EventKind::kSignal:
      return "signal " + v;
    case EventKind::kBeacon:
      return "beacon type " + std::to_string(e.beacon.Type) + " signal " +
             std::to_string(e.beacon.Signal) + " optional " + std::to_string(e.beacon.Optional);
    case EventKind::kNote:
      return e.note;
  }
  return "";
}

std::string DescribeFirst(const std::vector<HostEvent>& events) {
  std::string words;
  const std::size_t shown = std::min(events.size(), kEventsShownPerFrame);
  for (std::size_t i = 0; i < shown; ++i) words += (i > 0 ? ", " : "") + Describe(events[i]);
  if (events.size() > shown) {
    words += " \u2026 and " + std::to_string(events.size() - shown) + " more events";
  }
  return words;
}

}  // namespace atshost
