#include "host/sim/timeline.h"

#include <algorithm>

#include "host/sim/format.h"
#include "host/sim/verdict.h"

namespace atshost {
namespace {

const char* SoundName(int index) {
  switch (index) {
    case kSoundUnitOn:
      return "unit-on sound";
    case kSoundStarting:
      return "start sound";
    case kSoundStopping:
      return "stop sound";
    case kSoundBrakeAir:
      return "brake-air sound";
    case kSoundAlarm:
      return "alarm";
    case kSoundBell:
    case kSoundBellLoop:
      return "bell";  // the bell and its looping part sound as one
    case kSoundDoor:
      return "door sound";
    default:
      return "sound";
  }
}

void AddOnce(std::vector<std::string>& words, const std::string& w) {
  if (std::find(words.begin(), words.end(), w) == words.end()) words.push_back(w);
}

}  // namespace

UnitState UnitStateReader::Read(const FrameRecord& r) {
  const int32_t alarm = r.Sound(kSoundAlarm);
  const bool alarm_restarted = (alarm == kSoundPlayLooping || alarm == kSoundContinue) &&
                               alarm_.has_value() && alarm != *alarm_;
  alarm_ = alarm;
  mismatch_ = false;
  if (r.Panel(kPanelUnitOff) != 0) return UnitState::kOff;
  if (r.Panel(kPanelTripped) != 0) return UnitState::kTripped;
  if (r.Panel(kPanelWarning) != 0 && alarm_restarted) return UnitState::kWarning;
  mismatch_ = r.Panel(kPanelWarning) != 0;
  return UnitState::kOn;
}

std::string Timeline::BrakeWords(const FrameRecord& r) {
  const int32_t brake = r.handles.Brake;
  if (brake == 0) return "brake released";
  const std::string n = "brake " + std::to_string(brake);
  if (brake >= r.host.emergency_notch()) return n + " (emergency)";
  if (brake == r.host.brake) return n + " (service)";
  // The unit put another position in place of the driver's.
  if (brake == r.host.brake_notches) return n + " (governor)";
  return n + " (speed hold)";
}

std::string Timeline::TripCause(const FrameRecord& r) const {
  // The unit checked, at a beacon passed before this frame, the speed it had
  // worked out in the frame before.
  for (const HostEvent& e : r.events) {
    if (e.kind != EventKind::kBeacon) continue;
    if (const std::optional<float> limit = checked_.Trips(e.beacon)) {
      return " (limit " + Shortest(*limit) + " km/h, checked " +
             Fixed(static_cast<double>(checked_.kmh()), 1) + " km/h)";
    }
  }
  return {};
}

std::vector<std::string> Timeline::Changes(const FrameRecord& r) {
  std::vector<std::string> words;
  UnitChanges(r, words);
  HandleChanges(r, words);
  LampChanges(r, words);
  DisplayChanges(r, words);
  SoundChanges(r, words);
  first_ = false;
  checked_.Frame(r.state);
  return words;
}

void Timeline::UnitChanges(const FrameRecord& r, std::vector<std::string>& words) {
  const UnitState unit = reader_.Read(r);
  if (first_ || unit != unit_) {
    std::string w = std::string("unit ") + UnitStateName(unit);
    if (unit == UnitState::kTripped) w += TripCause(r);
    if (!first_ && unit == UnitState::kOn && unit_ == UnitState::kTripped) w += " (trip reset)";
    if (!first_ && unit == UnitState::kOn && unit_ == UnitState::kWarning) w += " (warning over)";
    words.push_back(w);
    unit_ = unit;
  }
}

void Timeline::HandleChanges(const FrameRecord& r, std::vector<std::string>& words) {
  const int32_t now = r.state.Time;
  bool brake_moved = false, power_moved = false;
  for (const HostEvent& e : r.events) {
    brake_moved = brake_moved || e.kind == EventKind::kBrake;
    power_moved = power_moved || e.kind == EventKind::kPower;
  }
  Track(brake_, BrakeWords(r), now, brake_moved, words);
  std::string power = "power " + std::to_string(r.handles.Power);
  if (r.host.power > r.handles.Power) power += " (cut)";
  Track(power_, power, now, power_moved, words);
  // 0 is only the record's initial value: the plug-in has not said yet.
  const int32_t cs = r.handles.ConstantSpeed;
  Track(constant_speed_,
        cs == 1   ? "constant speed on"
        : cs == 2 ? "constant speed off"
                  : std::string(),
        now, power_moved || brake_moved, words);
}

void Timeline::LampChanges(const FrameRecord& r, std::vector<std::string>& words) {
  // The tripped lamp may light while the unit is off, which the unit's state
  // (off) does not show.
  const int32_t off_trip = r.Panel(kPanelUnitOff) != 0 && r.Panel(kPanelTripped) != 0 ? 1 : 0;
  if (off_trip != off_trip_) {
    off_trip_ = off_trip;
    words.push_back(off_trip ? "tripped lamp on while the unit is off" + TripCause(r)
                             : "tripped lamp off");
  }
  if (reader_.mismatch() != mismatch_) {
    mismatch_ = reader_.mismatch();
    words.push_back(mismatch_ ? "warning lamp on: speed mismatch" : "warning lamp off");
  }
  if (r.Panel(kPanelEmergency) != emergency_lamp_) {
    emergency_lamp_ = r.Panel(kPanelEmergency);
    words.push_back(emergency_lamp_ ? "emergency lamp on" : "emergency lamp off");
  }
  int mode = r.Panel(kPanelStationMode) != 0 ? 0 : -1;
  for (int m = 1; m < kModeCount; ++m) {
    if (r.Panel(kPanelModeBase + m) != 0) mode = m;
  }
  if (mode != mode_) {
    mode_ = mode;
    words.push_back(mode < 0 ? "mode lamps off" : "mode " + std::to_string(mode) + " lamp on");
  }
  if (r.Panel(kPanelStopWindow) != stop_window_) {
    stop_window_ = r.Panel(kPanelStopWindow);
    words.push_back(stop_window_ ? "IN STOP WINDOW" : "out of the stop window");
  }
  if (r.Panel(kPanelStopLatch) != stop_latch_) {
    stop_latch_ = r.Panel(kPanelStopLatch);
    words.push_back(stop_latch_ ? "stop latched" : "stop latch off");
  }
}

void Timeline::DisplayChanges(const FrameRecord& r, std::vector<std::string>& words) {
  // Blanking clears most of the display for a moment; the lamps it clears
  // are compared only between frames that show them.
  if (r.Panel(kPanelCounterBlank) != blanked_ || (first_ && r.Panel(kPanelCounterBlank) != 0)) {
    blanked_ = r.Panel(kPanelCounterBlank);
    words.push_back(blanked_ ? "display blanked" : "display back");
  }
  if (blanked_ == 0) {
    const bool closed = r.Panel(kPanelDoorsClosed) != 0;
    const bool open = r.Panel(kPanelDoorsOpen) != 0;
    const std::string doors = closed && open ? "door lamps: closed and open"
                              : closed       ? "door lamps: closed"
                              : open         ? "door lamps: open"
                                             : "door lamps off";
    if (doors != doors_) words.push_back(doors_ = doors);
    const std::string counter = "counter " + std::to_string(r.Panel(kPanelCounter)) + " (steps " +
                                std::to_string(r.Panel(kPanelCounterStepA)) + "/" +
                                std::to_string(r.Panel(kPanelCounterStepB)) + ")";
    if (counter != counter_) words.push_back(counter_ = counter);
  }
}

void Timeline::SoundChanges(const FrameRecord& r, std::vector<std::string>& words) {
  const int32_t now = r.state.Time;
  for (std::size_t i = 0; i < kSoundIndices.size(); ++i) {
    const int32_t v = r.sound[i];
    const int32_t before = first_ ? kSoundStop : sound_[i];
    const std::string name = SoundName(kSoundIndices[i].index);
    if ((v == kSoundPlayOnce || v == kSoundPlayLooping) && v != before) {
      // A sound the unit starts again and again (a bell rung every other
      // frame, an alarm while the warning lasts) is one sounding until it
      // has been quiet for a while.
      const bool repeating =
          last_start_[i] && now - *last_start_[i] < kQuietMs && now - *last_start_[i] >= 0;
      if (!repeating) AddOnce(words, name);
      last_start_[i] = now;
    } else if (v == kSoundStop && before != kSoundStop) {
      AddOnce(words, name + " stopped");
      last_start_[i].reset();
    }
    sound_[i] = v;
  }
}

void Timeline::Track(Handle& h, const std::string& value, int32_t now, bool moved,
                     std::vector<std::string>& words) {
  const bool quiet = moved || !h.changed || now - *h.changed >= kQuietMs || now - *h.changed < 0;
  if (value == h.latest && !first_) {
    if (h.folded > 0 && quiet) {
      std::string settled = value + ", settled since " + Seconds(*h.changed) + " s";
      if (h.folded > 1) settled += " after " + std::to_string(h.folded) + " quick changes";
      words.push_back(settled);
      h.shown = value;
      h.folded = 0;
    }
    return;
  }
  h.latest = value;
  if (!first_ && !quiet) {
    ++h.folded;
  } else {
    if (!value.empty()) words.push_back(value);
    h.shown = value;
    h.folded = 0;
  }
  // A change the driver made starts no chatter: the plug-in's answer to it
  // is shown at once.
  h.changed = moved ? std::nullopt : std::optional<int32_t>(now);
}

void Timeline::OnFrame(const FrameRecord& r) {
  const std::vector<std::string> words = Changes(r);
  if (words.empty() && r.events.empty()) return;
  std::string line = Seconds(r.state.Time) + " s";
  line = std::string(line.size() < 11 ? 11 - line.size() : 0, ' ') + line;
  std::string where = Grouped(r.state.Location, 1) + " m";
  line += std::string(where.size() < 13 ? 13 - where.size() : 1, ' ') + where;
  std::string speed = Fixed(r.state.Speed, 1) + " km/h";
  line += std::string(speed.size() < 12 ? 12 - speed.size() : 1, ' ') + speed + "  ";
  const std::string events = DescribeFirst(r.events);
  if (!events.empty()) line += events + (words.empty() ? "" : " \u2192 ");
  // The unit's state leads, set off from the rest.
  std::size_t i = 0;
  if (!words.empty() && words[0].rfind("unit ", 0) == 0) {
    line += words[0];
    if (words.size() > 1) line += " \u2014 ";
    i = 1;
  }
  for (std::size_t k = i; k < words.size(); ++k) line += (k > i ? ", " : "") + words[k];
  out_.Write(line + "\n");
}

void Timeline::OnFinish(const std::vector<HostEvent>& trailing) {
  for (const HostEvent& e : trailing)
    out_.Write("             after the last frame: " + Describe(e) + "\n");
  out_.Flush();
}

}  // namespace atshost
