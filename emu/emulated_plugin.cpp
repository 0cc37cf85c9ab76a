#include "emu/emulated_plugin.h"

namespace atsemu {
namespace {

#define ATS_ENTRY_NAME(name, ret, params, args, bytes, decoration) #name,
constexpr const char* kEntryNames[] = {ATS_ENTRY_POINTS(ATS_ENTRY_NAME)};
#undef ATS_ENTRY_NAME
#define ATS_ENTRY_BYTES(name, ret, params, args, bytes, decoration) bytes,
constexpr uint32_t kEntryBytes[] = {ATS_ENTRY_POINTS(ATS_ENTRY_BYTES)};
#undef ATS_ENTRY_BYTES

// The list's byte counts are the records' sizes.
static_assert(kEntryBytes[ATS_ENTRY_Load] == kNoArgBytes &&
              kEntryBytes[ATS_ENTRY_Initialize] == kIntArgBytes &&
              kEntryBytes[ATS_ENTRY_SetVehicleSpec] == kVehicleSpecArgBytes &&
              kEntryBytes[ATS_ENTRY_Elapse] == kElapseArgBytes &&
              kEntryBytes[ATS_ENTRY_SetBeaconData] == kBeaconArgBytes);

}  // namespace

EmulatedPlugin::EmulatedPlugin(const std::string& dllPath, const EmulatorOptions& options)
    : emu_(dllPath, options) {
  for (int e = 0; e < ATS_ENTRY_POINT_COUNT; ++e) fn_[e] = emu_.Export(kEntryNames[e]);
  result_ = emu_.HostAlloc(sizeof(ATS_HANDLES));
  panel_ = emu_.HostAlloc(ATS_PANEL_SIZE * sizeof(int32_t));
  sound_ = emu_.HostAlloc(ATS_SOUND_SIZE * sizeof(int32_t));
}

uint32_t EmulatedPlugin::Call(AtsEntryPoint entry, const StackArgs& args) {
  const char* name = kEntryNames[entry];
  const uint32_t bytes = kEntryBytes[entry];
  const CallResult r = emu_.CallStdcall(fn_[entry], args.bytes());
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

void EmulatedPlugin::Load() { Call(ATS_ENTRY_Load, StackArgs()); }

void EmulatedPlugin::Dispose() { Call(ATS_ENTRY_Dispose, StackArgs()); }

int EmulatedPlugin::GetPluginVersion() {
  return static_cast<int>(Call(ATS_ENTRY_GetPluginVersion, StackArgs()));
}

void EmulatedPlugin::SetVehicleSpec(const ATS_VEHICLESPEC& spec) {
  Call(ATS_ENTRY_SetVehicleSpec, StackArgs().Record(spec));
}

void EmulatedPlugin::Initialize(int brake) { Call(ATS_ENTRY_Initialize, StackArgs().Int(brake)); }

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
  const uint32_t eax = Call(ATS_ENTRY_Elapse, args);
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

void EmulatedPlugin::SetPower(int notch) { Call(ATS_ENTRY_SetPower, StackArgs().Int(notch)); }

void EmulatedPlugin::SetBrake(int notch) { Call(ATS_ENTRY_SetBrake, StackArgs().Int(notch)); }

void EmulatedPlugin::SetReverser(int pos) { Call(ATS_ENTRY_SetReverser, StackArgs().Int(pos)); }

void EmulatedPlugin::KeyDown(int key) { Call(ATS_ENTRY_KeyDown, StackArgs().Int(key)); }

void EmulatedPlugin::KeyUp(int key) { Call(ATS_ENTRY_KeyUp, StackArgs().Int(key)); }

void EmulatedPlugin::HornBlow(int horn) { Call(ATS_ENTRY_HornBlow, StackArgs().Int(horn)); }

void EmulatedPlugin::DoorOpen() { Call(ATS_ENTRY_DoorOpen, StackArgs()); }

void EmulatedPlugin::DoorClose() { Call(ATS_ENTRY_DoorClose, StackArgs()); }

void EmulatedPlugin::SetSignal(int signal) { Call(ATS_ENTRY_SetSignal, StackArgs().Int(signal)); }

void EmulatedPlugin::SetBeaconData(const ATS_BEACONDATA& beacon) {
  Call(ATS_ENTRY_SetBeaconData, StackArgs().Record(beacon));
}

}  // namespace atsemu
