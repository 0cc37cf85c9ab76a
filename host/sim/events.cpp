#include "host/sim/events.h"

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

}  // namespace atshost
