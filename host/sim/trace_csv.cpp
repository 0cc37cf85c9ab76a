#include "host/sim/trace_csv.h"

#include "host/sim/format.h"

namespace atshost {
namespace {

// A field with a comma, a quote or a line break is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

TraceCsv::TraceCsv(TextOut& out) : out_(out) { out_.Write(Header() + "\n"); }

void TraceCsv::OnFrame(const FrameRecord& frame) { out_.Write(Row(frame) + "\n"); }

std::string TraceCsv::Header() {
  std::string h =
      "frame,time_ms,location_m,speed_kmh,bc_pressure,mr_pressure,current,"
      "driver_brake,driver_power,driver_reverser,doors_closed,"
      "brake,power,reverser,constant_speed";
  for (const CabIndex& p : kPanelIndices) h += std::string(",") + p.column;
  for (const CabIndex& s : kSoundIndices) h += std::string(",") + s.column;
  return h + ",events";
}

std::string TraceCsv::Row(const FrameRecord& r) {
  const ATS_VEHICLESTATE& s = r.state;
  std::string row = std::to_string(r.index) + "," + std::to_string(s.Time) + "," +
                    Shortest(s.Location) + "," + Shortest(s.Speed) + "," + Shortest(s.BcPressure) +
                    "," + Shortest(s.MrPressure) + "," + Shortest(s.Current);
  row += "," + std::to_string(r.host.brake) + "," + std::to_string(r.host.power) + "," +
         std::to_string(r.host.reverser) + "," + (r.host.doors_closed ? "1" : "0");
  row += "," + std::to_string(r.handles.Brake) + "," + std::to_string(r.handles.Power) + "," +
         std::to_string(r.handles.Reverser) + "," + std::to_string(r.handles.ConstantSpeed);
  for (int32_t v : r.panel) row += "," + std::to_string(v);
  for (int32_t v : r.sound) row += "," + std::to_string(v);
  std::string events;
  for (const HostEvent& e : r.events) events += (events.empty() ? "" : "; ") + Describe(e);
  return row + "," + CsvField(events);
}

}  // namespace atshost
