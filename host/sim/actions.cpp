#include "host/sim/actions.h"

#include "host/sim/cab.h"

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

ATS_BEACONDATA ParseBeaconData(Fields& f, const std::vector<std::string>& extra,
                               std::map<std::string, std::string>* extra_values) {
  ATS_BEACONDATA b{};
  std::vector<std::string> allowed = {"type", "signal", "optional"};
  allowed.insert(allowed.end(), extra.begin(), extra.end());
  std::map<std::string, std::string> kv = f.KeyValues(allowed);
  if (f.failed()) return b;
  if (kv.count("type") == 0) {
    f.Fail("missing type=N for beacon");
    return b;
  }
  auto get = [&](const char* name) {
    return kv.count(name) != 0 ? ParseInt(f, kv.at(name), name) : 0;
  };
  b.Type = get("type");
  b.Signal = get("signal");
  b.Optional = get("optional");
  if (f.failed()) return b;
  if (b.Type == kLimitInDataWordType && kv.count("optional") == 0) {
    f.Fail("a type 9 beacon needs optional=N, the limit it checks in km/h");
    return b;
  }
  if (extra_values != nullptr) {
    for (const std::string& name : extra) {
      if (kv.count(name) != 0) (*extra_values)[name] = kv.at(name);
    }
  }
  return b;
}

}  // namespace atshost
