// A plug-in library that lacks two of the sixteen entry points (Elapse and
// SetBeaconData), as a broken build might.
#include "plugin/atsplugin.h"

extern "C" {
ATS_EXPORT void Load() {}
ATS_EXPORT void Dispose() {}
ATS_EXPORT int GetPluginVersion() { return ATS_VERSION; }
ATS_EXPORT void SetVehicleSpec(ATS_VEHICLESPEC) {}
ATS_EXPORT void Initialize(int) {}
ATS_EXPORT void SetPower(int) {}
ATS_EXPORT void SetBrake(int) {}
ATS_EXPORT void SetReverser(int) {}
ATS_EXPORT void KeyDown(int) {}
ATS_EXPORT void KeyUp(int) {}
ATS_EXPORT void HornBlow(int) {}
ATS_EXPORT void DoorOpen() {}
ATS_EXPORT void DoorClose() {}
ATS_EXPORT void SetSignal(int) {}
}
