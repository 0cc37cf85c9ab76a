#include "host/sim/actions.h"

namespace atshost {

bool ParseAction(Fields& f, std::vector<HostEvent>& out) {
  const std::string word = f.Peek();
  if (word == "power" || word == "brake" || word == "reverser" || word == "horn" ||
      word == "signal") {
    f.Word("action");
    const int32_t value = f.Int(word + " value");
    if (f.failed()) return true;
    if (word == "reverser" && (value < -1 || value > 1)) {
      f.Fail("reverser must be -1, 0 or 1, not " + std::to_string(value));
      return true;
    }
    const EventKind kind = word == "power"      ? EventKind::kPower
                           : word == "brake"    ? EventKind::kBrake
                           : word == "reverser" ? EventKind::kReverser
                           : word == "horn"     ? EventKind::kHorn
                                                : EventKind::kSignal;
    out.push_back(HostEvent::Of(kind, value));
    return true;
  }
  if (word == "key") {
    f.Word("action");
    const std::string how = f.Peek();
    if (how == "down" || how == "up") {
      f.Word("key direction");
      const int32_t key = f.Int("key code");
      if (f.failed()) return true;
      out.push_back(HostEvent::Of(how == "down" ? EventKind::kKeyDown : EventKind::kKeyUp, key));
    } else {
      const int32_t key = f.Int("key code");
      if (f.failed()) return true;
      out.push_back(HostEvent::Of(EventKind::kKeyDown, key));
      out.push_back(HostEvent::Of(EventKind::kKeyUp, key));
    }
    return true;
  }
  if (word == "doors" || word == "door") {
    f.Word("action");
    const std::string how = f.Word("'open' or 'close'");
    if (f.failed()) return true;
    if (how == "open") {
      out.push_back(HostEvent::Of(EventKind::kDoorOpen));
    } else if (how == "close" || how == "closed") {
      out.push_back(HostEvent::Of(EventKind::kDoorClose));
    } else {
      f.Fail("doors must be 'open' or 'close', not " + Quote(how));
    }
    return true;
  }
  return false;
}

}  // namespace atshost
