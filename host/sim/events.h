// What the host tells the plug-in between frames: the vehicle, a new run, the
// driver's handles, keys and doors, and the track's beacons and signals.
// Notes are the host's own remarks for the timeline; they reach no plug-in.
#ifndef ATSHOST_EVENTS_H
#define ATSHOST_EVENTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/atsplugin.h"

namespace atshost {

enum class EventKind {
  kVehicleSpec,  // value: number of service brake notches
  kInitialize,   // value: the brake position handed to Initialize
  kPower,        // value: power notch
  kBrake,        // value: brake position
  kReverser,     // value: -1, 0, 1
  kKeyDown,      // value: host key code
  kKeyUp,        // value: host key code
  kHorn,         // value: horn number
  kDoorOpen,
  kDoorClose,
  kSignal,  // value: signal aspect
  kBeacon,  // beacon: the record passed
  kNote,    // note: free text
};

struct HostEvent {
  EventKind kind = EventKind::kNote;
  int32_t value = 0;
  ATS_BEACONDATA beacon{};
  std::string note;

  static HostEvent Of(EventKind kind, int32_t value = 0) {
    HostEvent e;
    e.kind = kind;
    e.value = value;
    return e;
  }
  static HostEvent Beacon(int32_t type, int32_t signal, int32_t optional) {
    HostEvent e;
    e.kind = EventKind::kBeacon;
    e.beacon.Type = type;
    e.beacon.Signal = signal;
    e.beacon.Optional = optional;
    return e;
  }
  static HostEvent Note(std::string text) {
    HostEvent e;
    e.kind = EventKind::kNote;
    e.note = std::move(text);
    return e;
  }
};

// In words, as the timeline and the trace show it ("key 10 down",
// "beacon type 0 signal 1 optional 0").
std::string Describe(const HostEvent& event);

// The events a frame's timeline line and the cab view's page show in words;
// the rest are counted. A frame may carry thousands of events, and what a
// person reads (and the page's size) should follow the frames, not the
// events; the trace keeps every one.
inline constexpr std::size_t kEventsShownPerFrame = 8;

// The first kEventsShownPerFrame of `events` in words, joined by ", ", then
// "… and N more events" for the rest.
std::string DescribeFirst(const std::vector<HostEvent>& events);

}  // namespace atshost

#endif  // ATSHOST_EVENTS_H
