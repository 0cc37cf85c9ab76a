#include "host/sim/session.h"

#include <utility>

namespace atshost {

Session::Session(const PluginApi& api, std::vector<FrameSink*> sinks)
    : api_(api), sinks_(std::move(sinks)) {}

// Only the plug-in is released here: the sinks may already be gone.
Session::~Session() {
  if (running_) api_.Dispose();
}

void Session::Start() {
  if (running_) return;
  api_.Load();
  running_ = true;
}

void Session::Apply(const HostEvent& e) {
  if (!running_) return;
  switch (e.kind) {
    case EventKind::kVehicleSpec: {
      ATS_VEHICLESPEC spec{};
      spec.BrakeNotches = e.value;
      api_.SetVehicleSpec(spec);
      host_.brake_notches = e.value;
      break;
    }
    case EventKind::kInitialize:
      api_.Initialize(e.value);
      break;
    case EventKind::kPower:
      api_.SetPower(e.value);
      host_.power = e.value;
      break;
    case EventKind::kBrake:
      api_.SetBrake(e.value);
      host_.brake = e.value;
      break;
    case EventKind::kReverser:
      api_.SetReverser(e.value);
      host_.reverser = e.value;
      break;
    case EventKind::kKeyDown:
      api_.KeyDown(e.value);
      break;
    case EventKind::kKeyUp:
      api_.KeyUp(e.value);
      break;
    case EventKind::kHorn:
      api_.HornBlow(e.value);
      break;
    case EventKind::kDoorOpen:
      api_.DoorOpen();
      host_.doors_closed = false;
      break;
    case EventKind::kDoorClose:
      api_.DoorClose();
      host_.doors_closed = true;
      break;
    case EventKind::kSignal:
      api_.SetSignal(e.value);
      break;
    case EventKind::kBeacon:
      api_.SetBeaconData(e.beacon);
      break;
    case EventKind::kNote:
      break;
  }
  pending_.push_back(e);
}

const FrameRecord& Session::Elapse(const ATS_VEHICLESTATE& state) {
  ATS_HANDLES handles = last_.handles;  // kept when no plug-in runs
  if (running_) {
    handles = api_.Elapse(state, panel_.data(), sound_.data());
    if (process_end_ != nullptr && *process_end_) {
      running_ = false;
      process_ended_ = true;
      return last_;
    }
  }
  last_.index = frames_;
  last_.state = state;
  last_.host = host_;
  last_.events = std::move(pending_);
  pending_.clear();
  last_.handles = handles;
  for (std::size_t i = 0; i < kPanelIndices.size(); ++i) {
    last_.panel[i] = panel_[static_cast<std::size_t>(kPanelIndices[i].index)];
  }
  for (std::size_t i = 0; i < kSoundIndices.size(); ++i) {
    last_.sound[i] = sound_[static_cast<std::size_t>(kSoundIndices[i].index)];
  }
  ++frames_;
  for (FrameSink* sink : sinks_) sink->OnFrame(last_);
  return last_;
}

void Session::Finish() {
  if (!running_) return;
  api_.Dispose();
  running_ = false;
  for (FrameSink* sink : sinks_) sink->OnFinish(pending_);
  pending_.clear();
}

}  // namespace atshost
