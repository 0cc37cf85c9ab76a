#include "emu/emulated_plugin.h"

namespace atsemu {

EmulatedPlugin::EmulatedPlugin(const std::string& dllPath, const EmulatorOptions& options)
    : emu_(dllPath, options) {
  fn_.load = emu_.Export("Load");
  fn_.dispose = emu_.Export("Dispose");
  fn_.version = emu_.Export("GetPluginVersion");
  fn_.spec = emu_.Export("SetVehicleSpec");
  fn_.initialize = emu_.Export("Initialize");
  fn_.elapse = emu_.Export("Elapse");
  fn_.power = emu_.Export("SetPower");
  fn_.brake = emu_.Export("SetBrake");
  fn_.reverser = emu_.Export("SetReverser");
  fn_.keyDown = emu_.Export("KeyDown");
  fn_.keyUp = emu_.Export("KeyUp");
  fn_.horn = emu_.Export("HornBlow");
  fn_.doorOpen = emu_.Export("DoorOpen");
  fn_.doorClose = emu_.Export("DoorClose");
  fn_.signal = emu_.Export("SetSignal");
  fn_.beacon = emu_.Export("SetBeaconData");
  result_ = emu_.HostAlloc(sizeof(ATS_HANDLES));
  panel_ = emu_.HostAlloc(ATS_PANEL_SIZE * sizeof(int32_t));
  sound_ = emu_.HostAlloc(ATS_SOUND_SIZE * sizeof(int32_t));
}

uint32_t EmulatedPlugin::Call(const char* name, uint32_t address, const StackArgs& args,
                              uint32_t bytes) {
  const CallResult r = emu_.CallStdcall(address, args.bytes());
  if (r.processEnded) {
    ended_ = true;
    exitStatus_ = r.exitStatus;
    return 0;
  }
  if (r.bytesRemoved != bytes) {
    throw EmuError(std::string(name) + " removed " + std::to_string(r.bytesRemoved) +
                   " bytes from the stack, not its " + std::to_string(bytes) + " argument bytes");
  }
  return r.eax;
}

void EmulatedPlugin::Load() { Call("Load", fn_.load, StackArgs(), kNoArgBytes); }

void EmulatedPlugin::Dispose() { Call("Dispose", fn_.dispose, StackArgs(), kNoArgBytes); }

int EmulatedPlugin::GetPluginVersion() {
  return static_cast<int>(Call("GetPluginVersion", fn_.version, StackArgs(), kNoArgBytes));
}

void EmulatedPlugin::SetVehicleSpec(const ATS_VEHICLESPEC& spec) {
  Call("SetVehicleSpec", fn_.spec, StackArgs().Record(spec), kVehicleSpecArgBytes);
}

void EmulatedPlugin::Initialize(int brake) {
  Call("Initialize", fn_.initialize, StackArgs().Int(brake), kIntArgBytes);
}

ATS_HANDLES EmulatedPlugin::Elapse(const ATS_VEHICLESTATE& state, int* panel, int* sound) {
  // The host's arrays go in whole, so that elements the plug-in does not
  // write keep the host's values.
  if (panel != nullptr) emu_.Write(panel_, panel, ATS_PANEL_SIZE * sizeof(int32_t));
  if (sound != nullptr) emu_.Write(sound_, sound, ATS_SOUND_SIZE * sizeof(int32_t));
  static constexpr uint8_t kUnwritten = 0xCC;
  const std::vector<uint8_t> fill(sizeof(ATS_HANDLES), kUnwritten);
  emu_.Write(result_, fill.data(), fill.size());
  StackArgs args;
  args.Word(result_)
      .Record(state)
      .Word(panel != nullptr ? panel_ : 0)
      .Word(sound != nullptr ? sound_ : 0);
  const uint32_t eax = Call("Elapse", fn_.elapse, args, kElapseArgBytes);
  // Out again, also when the process ended in the call: the arrays then show
  // what the plug-in wrote before it ended.
  if (panel != nullptr) emu_.Read(panel_, panel, ATS_PANEL_SIZE * sizeof(int32_t));
  if (sound != nullptr) emu_.Read(sound_, sound, ATS_SOUND_SIZE * sizeof(int32_t));
  if (ended_) return ATS_HANDLES{0, 0, 0, 0};
  if (eax != result_) {
    throw EmuError("Elapse did not hand back its result pointer in EAX");
  }
  ATS_HANDLES handles;
  emu_.Read(result_, &handles, sizeof handles);
  return handles;
}

void EmulatedPlugin::SetPower(int notch) {
  Call("SetPower", fn_.power, StackArgs().Int(notch), kIntArgBytes);
}

void EmulatedPlugin::SetBrake(int notch) {
  Call("SetBrake", fn_.brake, StackArgs().Int(notch), kIntArgBytes);
}

void EmulatedPlugin::SetReverser(int pos) {
  Call("SetReverser", fn_.reverser, StackArgs().Int(pos), kIntArgBytes);
}

void EmulatedPlugin::KeyDown(int key) {
  Call("KeyDown", fn_.keyDown, StackArgs().Int(key), kIntArgBytes);
}

void EmulatedPlugin::KeyUp(int key) {
  Call("KeyUp", fn_.keyUp, StackArgs().Int(key), kIntArgBytes);
}

void EmulatedPlugin::HornBlow(int horn) {
  Call("HornBlow", fn_.horn, StackArgs().Int(horn), kIntArgBytes);
}

void EmulatedPlugin::DoorOpen() { Call("DoorOpen", fn_.doorOpen, StackArgs(), kNoArgBytes); }

void EmulatedPlugin::DoorClose() { Call("DoorClose", fn_.doorClose, StackArgs(), kNoArgBytes); }

void EmulatedPlugin::SetSignal(int signal) {
  Call("SetSignal", fn_.signal, StackArgs().Int(signal), kIntArgBytes);
}

void EmulatedPlugin::SetBeaconData(const ATS_BEACONDATA& beacon) {
  Call("SetBeaconData", fn_.beacon, StackArgs().Record(beacon), kBeaconArgBytes);
}

}  // namespace atsemu
