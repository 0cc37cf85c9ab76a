// A complete plug-in library that implements another version of the plug-in
// interface (0x10000), to check that the host refuses it, and that it disposes
// of it first: loads minus disposes stay readable through LoadBalance.
#include "plugin/atsplugin.h"

namespace {
constexpr int kOtherInterfaceVersion = 0x10000;
int g_load_balance = 0;
int g_version_asked_while_loaded = 0;
}  // namespace

extern "C" {
ATS_EXPORT void Load() { ++g_load_balance; }
ATS_EXPORT void Dispose() { --g_load_balance; }
ATS_EXPORT int GetPluginVersion() {
  if (g_load_balance > 0) ++g_version_asked_while_loaded;
  return kOtherInterfaceVersion;
}
ATS_EXPORT void SetVehicleSpec(ATS_VEHICLESPEC) {}
ATS_EXPORT void Initialize(int) {}
ATS_EXPORT ATS_HANDLES Elapse(ATS_VEHICLESTATE, int*, int*) { return ATS_HANDLES{}; }
ATS_EXPORT void SetPower(int) {}
ATS_EXPORT void SetBrake(int) {}
ATS_EXPORT void SetReverser(int) {}
ATS_EXPORT void KeyDown(int) {}
ATS_EXPORT void KeyUp(int) {}
ATS_EXPORT void HornBlow(int) {}
ATS_EXPORT void DoorOpen() {}
ATS_EXPORT void DoorClose() {}
ATS_EXPORT void SetSignal(int) {}
ATS_EXPORT void SetBeaconData(ATS_BEACONDATA) {}

// For the test only: not part of the plug-in interface.
ATS_EXPORT int LoadBalance() { return g_load_balance; }
ATS_EXPORT int VersionAskedWhileLoaded() { return g_version_asked_while_loaded; }
}
