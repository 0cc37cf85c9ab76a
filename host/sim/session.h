// One run of a plug-in inside the headless host: load, the events between
// frames, the frames themselves with the host's panel and sound arrays, and
// dispose. Every frame is handed to the sinks (trace, timeline, chart) as one
// record of what went in and what came out.
#ifndef ATSHOST_SESSION_H
#define ATSHOST_SESSION_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/sim/cab_tables.h"
#include "host/sim/events.h"
#include "host/sim/plugin_api.h"

namespace atshost {

// The most frames one run may have. The chart keeps a sample of every frame
// until the run ends, so this bounds what a run costs (about 125 MB at the
// most): an hour at 4 ms a frame, or 5½ hours at 20 ms.
inline constexpr int64_t kMaxRunFrames = 1'000'000;

// What the host itself knows: the vehicle it reported and the driver's
// handles and doors as it last reported them to the plug-in.
struct HostState {
  int32_t brake_notches = 0;  // 0 until a vehicle is reported
  int32_t brake = 0;
  int32_t power = 0;
  int32_t reverser = 0;
  bool doors_closed = false;  // the plug-in counts doors open until told otherwise

  // The position past the last service notch; a replay may report any count,
  // the largest included, so this saturates rather than overflows.
  int32_t emergency_notch() const {
    return brake_notches < INT32_MAX ? brake_notches + 1 : INT32_MAX;
  }
};

struct FrameRecord {
  int64_t index = 0;  // 0 for the first frame
  ATS_VEHICLESTATE state{};
  HostState host;                                     // as it stood when the frame was run
  std::vector<HostEvent> events;                      // given since the previous frame
  ATS_HANDLES handles{};                              // as the plug-in returned them
  std::array<int32_t, kPanelIndices.size()> panel{};  // in the order of kPanelIndices
  std::array<int32_t, kSoundIndices.size()> sound{};  // in the order of kSoundIndices

  int32_t Panel(int index) const { return panel[static_cast<std::size_t>(PanelSlot(index))]; }
  int32_t Sound(int index) const { return sound[static_cast<std::size_t>(SoundSlot(index))]; }
  // The returned handles and the driver's handles and doors, in the order
  // cab.h gives them.
  std::array<int32_t, kHandleCount> HandlesInOrder() const {
    std::array<int32_t, kHandleCount> h{};
    h[kHandleBrake] = handles.Brake;
    h[kHandlePower] = handles.Power;
    h[kHandleReverser] = handles.Reverser;
    h[kHandleConstantSpeed] = handles.ConstantSpeed;
    return h;
  }
  std::array<int32_t, kDriverCount> DriverInOrder() const {
    std::array<int32_t, kDriverCount> d{};
    d[kDriverBrake] = host.brake;
    d[kDriverPower] = host.power;
    d[kDriverReverser] = host.reverser;
    d[kDriverDoorsClosed] = host.doors_closed ? 1 : 0;
    return d;
  }
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void OnFrame(const FrameRecord& frame) = 0;
  // After the last frame: events given after it (a last note, for example).
  virtual void OnFinish(const std::vector<HostEvent>& trailing_events) { (void)trailing_events; }
};

class Session {
 public:
  Session(const PluginApi& api, std::vector<FrameSink*> sinks);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Calls the plug-in's Load. Until then, and after Finish, nothing is sent.
  void Start();
  // Sends one event to the plug-in at once; it reaches the sinks with the next
  // frame.
  void Apply(const HostEvent& event);
  // Runs one frame and hands its record to every sink.
  const FrameRecord& Elapse(const ATS_VEHICLESTATE& state);
  // Calls Dispose and closes the sinks. Safe to call twice. A session destroyed
  // without it still disposes the plug-in, but tells the sinks nothing.
  void Finish();

  // For a plug-in that may end its process from inside a frame (the driving
  // page's keyboard watch): once `*flag` is set after a call of Elapse, that
  // frame is abandoned (no record, no sink hears of it) and the session is
  // over without a Dispose, for the process it ran in is gone.
  void WatchProcessEnd(const bool* flag) { process_end_ = flag; }
  bool process_ended() const { return process_ended_; }

  // The host's own arrays, as the plug-in last left them.
  const std::array<int, kPanelArrayLength>& panel_array() const { return panel_; }
  const std::array<int, kSoundArrayLength>& sound_array() const { return sound_; }

  const HostState& host() const { return host_; }
  const FrameRecord& last() const { return last_; }
  // Events applied since the last frame, which the next frame will carry.
  std::size_t pending_events() const { return pending_.size(); }
  int64_t frames() const { return frames_; }

 private:
  const PluginApi& api_;
  std::vector<FrameSink*> sinks_;
  bool running_ = false;
  HostState host_;
  std::vector<HostEvent> pending_;
  // The host's own arrays. The plug-in writes only its listed indices; the
  // rest keep what the host put there, here zero.
  std::array<int, kPanelArrayLength> panel_{};
  std::array<int, kSoundArrayLength> sound_{};
  FrameRecord last_;
  int64_t frames_ = 0;
  const bool* process_end_ = nullptr;
  bool process_ended_ = false;
};

}  // namespace atshost

#endif  // ATSHOST_SESSION_H
