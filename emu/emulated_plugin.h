// The plug-in DLL under emulation, called as a simulator calls it: each of the
// sixteen entry points through its plain export name, as __stdcall with its
// records by value, and Elapse with the hidden result pointer and the host's
// panel and sound arrays copied into emulated memory and back.
//
// Every call checks that the entry point removed exactly its argument bytes
// from the stack (a host does not check, and a wrong count corrupts its stack
// pointer) and that Elapse hands back its result pointer; a violation throws
// EmuError naming the entry point.
#ifndef ATSVORLAN800_EMU_EMULATED_PLUGIN_H
#define ATSVORLAN800_EMU_EMULATED_PLUGIN_H

#include <array>
#include <cstdint>
#include <string>

#include "emu/pe_emulator.h"
#include "plugin/atsplugin.h"

namespace atsemu {

// The bytes each entry point removes: its arguments, records whole, and for
// Elapse the hidden result pointer ahead of them.
inline constexpr uint32_t kNoArgBytes = 0;
inline constexpr uint32_t kIntArgBytes = 4;
inline constexpr uint32_t kVehicleSpecArgBytes = sizeof(ATS_VEHICLESPEC);
inline constexpr uint32_t kBeaconArgBytes = sizeof(ATS_BEACONDATA);
inline constexpr uint32_t kElapseArgBytes = 4 + sizeof(ATS_VEHICLESTATE) + 4 + 4;

class EmulatedPlugin {
 public:
  explicit EmulatedPlugin(const std::string& dllPath, const EmulatorOptions& options = {});

  void Load();
  void Dispose();
  int GetPluginVersion();
  void SetVehicleSpec(const ATS_VEHICLESPEC& spec);
  void Initialize(int brake);
  // The arrays may be null, and are then passed as null. While the process
  // has not ended, panel holds ATS_PANEL_SIZE and sound ATS_SOUND_SIZE ints.
  ATS_HANDLES Elapse(const ATS_VEHICLESTATE& state, int* panel, int* sound);
  void SetPower(int notch);
  void SetBrake(int notch);
  void SetReverser(int pos);
  void KeyDown(int key);
  void KeyUp(int key);
  void HornBlow(int horn);
  void DoorOpen();
  void DoorClose();
  void SetSignal(int signal);
  void SetBeaconData(const ATS_BEACONDATA& beacon);

  // The DLL ended the process (exit) during the last call: that call did
  // nothing more, Elapse returned all zeros (its arrays hold what the DLL
  // wrote before it ended), and every later call throws.
  bool processEnded() const { return ended_; }
  int exitStatus() const { return exitStatus_; }

  PeEmulator& emulator() { return emu_; }

 private:
  // Calls `entry` and checks that it removed its argument bytes.
  uint32_t Call(AtsEntryPoint entry, const StackArgs& args);

  PeEmulator emu_;
  std::array<uint32_t, ATS_ENTRY_POINT_COUNT> fn_{};  // by their places in the list
  uint32_t result_;                                   // the host's ATS_HANDLES for Elapse
  uint32_t panel_;                                    // the host's arrays, in emulated memory
  uint32_t sound_;
  bool ended_ = false;
  int exitStatus_ = 0;
};

}  // namespace atsemu

#endif  // ATSVORLAN800_EMU_EMULATED_PLUGIN_H
