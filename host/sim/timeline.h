// The human timeline: one line for each frame in which something changed,
// with the time, location and speed and what changed, in words:
//   "  12.340 s    1 234.5 m   41.2 km/h  beacon type 0 signal 1 optional 0 →
//    unit TRIPPED — brake 9 (emergency), bell"
// The events given before the frame come first, then what the cab did.
#ifndef ATSHOST_TIMELINE_H
#define ATSHOST_TIMELINE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/sim/cab.h"
#include "host/sim/session.h"
#include "host/sim/text_out.h"
#include "host/sim/verdict.h"

namespace atshost {

// Reads the unit's state from the cab, frame by frame: off and tripped from
// their lamps; warning while the warning brake is demanded, which the alarm
// shows by being started anew in every frame (the warning lamp alone also
// lights on a speed mismatch); on otherwise.
class UnitStateReader {
 public:
  UnitState Read(const FrameRecord& frame);
  // The last frame's warning lamp lit for a speed mismatch alone.
  bool mismatch() const { return mismatch_; }

 private:
  std::optional<int32_t> alarm_;
  bool mismatch_ = false;
};

class Timeline : public FrameSink {
 public:
  explicit Timeline(TextOut& out) : out_(out) {}
  void OnFrame(const FrameRecord& frame) override;
  void OnFinish(const std::vector<HostEvent>& trailing) override;

  // What changed from the previous frame, in words; empty if nothing did.
  // Updates what counts as shown.
  std::vector<std::string> Changes(const FrameRecord& frame);

  // "brake 9 (emergency)", "brake 8 (governor)", "brake released", ...
  static std::string BrakeWords(const FrameRecord& frame);

 private:
  // A handle the plug-in may switch back and forth every frame (the speed
  // hold's brake does, as the speed hovers at its limit). The first change of
  // the plug-in's own
  // after a quiet spell is shown at once; changes that follow it closer than
  // kQuietMs are counted, and the value it settles at is shown once it has
  // been quiet for kQuietMs.
  struct Handle {
    std::string shown;               // last value printed
    std::string latest;              // value in the last frame
    std::optional<int32_t> changed;  // host time of the latest change
    int folded = 0;                  // changes not printed since `shown`
  };
  // `moved`: the driver moved this handle before the frame, so a change is
  // the driver's own and is shown at once.
  void Track(Handle& h, const std::string& value, int32_t now, bool moved,
             std::vector<std::string>& words);
  static constexpr int32_t kQuietMs = 1000;
  // The parts of Changes, in the order their words are listed: the unit's
  // state, the handles, the lamps, the display the blanking clears, sounds.
  void UnitChanges(const FrameRecord& frame, std::vector<std::string>& words);
  void HandleChanges(const FrameRecord& frame, std::vector<std::string>& words);
  void LampChanges(const FrameRecord& frame, std::vector<std::string>& words);
  void DisplayChanges(const FrameRecord& frame, std::vector<std::string>& words);
  void SoundChanges(const FrameRecord& frame, std::vector<std::string>& words);
  // " (limit 68 km/h, checked 74.8 km/h)" for a trip at a beacon in this
  // frame's events, empty otherwise.
  std::string TripCause(const FrameRecord& frame) const;

  TextOut& out_;
  bool first_ = true;
  UnitStateReader reader_;
  UnitState unit_ = UnitState::kOff;  // as last shown; the first frame shows it whatever it is
  bool mismatch_ = false;
  Handle brake_;
  Handle power_;
  Handle constant_speed_;
  int32_t emergency_lamp_ = 0;
  int32_t off_trip_ = 0;
  CheckedSpeed checked_;
  int mode_ = -1;
  int32_t stop_window_ = 0;
  int32_t stop_latch_ = 0;
  int32_t blanked_ = 0;
  std::string doors_;    // door lamps as last shown unblanked
  std::string counter_;  // counter and steps as last shown unblanked
  std::array<int32_t, kSoundIndices.size()> sound_{};
  std::array<std::optional<int32_t>, kSoundIndices.size()> last_start_{};
};

}  // namespace atshost

#endif  // ATSHOST_TIMELINE_H
