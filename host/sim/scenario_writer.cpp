#include "host/sim/scenario_writer.h"

#include "host/sim/format.h"
#include "host/sim/text_input.h"

namespace atshost {
namespace {

// A float widened to double: its shortest double text reads back as that
// double, which narrows back to the very float. The float's own shortest text
// could, read as a double, fall on a tie between two floats.
std::string Exact(float value) { return Shortest(static_cast<double>(value)); }

}  // namespace

ScenarioWriter::ScenarioWriter(TextOut& out, const std::string& title) : out_(out) {
  out_.Write("# " + Printable(title) + "\n");
}

void ScenarioWriter::OnFrame(const FrameRecord& frame) {
  for (const HostEvent& e : frame.events) out_.Write(EventLine(e) + "\n");
  out_.Write(FrameLine(frame.state) + "\n");
}

void ScenarioWriter::OnFinish(const std::vector<HostEvent>& trailing_events) {
  for (const HostEvent& e : trailing_events) out_.Write(EventLine(e) + "\n");
}

std::string ScenarioWriter::EventLine(const HostEvent& e) {
  const std::string v = std::to_string(e.value);
  switch (e.kind) {
    case EventKind::kVehicleSpec:
      return "vehicle brake-notches=" + v;
    case EventKind::kInitialize:
      return "initialize " + v;
    case EventKind::kPower:
      return "power " + v;
    case EventKind::kBrake:
      return "brake " + v;
    case EventKind::kReverser:
      return "reverser " + v;
    case EventKind::kKeyDown:
      return "key down " + v;
    case EventKind::kKeyUp:
      return "key up " + v;
    case EventKind::kHorn:
      return "horn " + v;
    case EventKind::kDoorOpen:
      return "doors open";
    case EventKind::kDoorClose:
      return "doors close";
    case EventKind::kSignal:
      return "signal " + v;
    case EventKind::kBeacon:
      return "beacon type=" + std::to_string(e.beacon.Type) +
             " signal=" + std::to_string(e.beacon.Signal) +
             " optional=" + std::to_string(e.beacon.Optional);
    case EventKind::kNote:
      return "note " + e.note;
  }
  return "";
}

std::string ScenarioWriter::FrameLine(const ATS_VEHICLESTATE& s) {
  return "frame time=" + std::to_string(s.Time) + " location=" + Shortest(s.Location) +
         " speed=" + Exact(s.Speed) + " bc=" + Exact(s.BcPressure) + " mr=" + Exact(s.MrPressure) +
         " current=" + Exact(s.Current);
}

}  // namespace atshost
