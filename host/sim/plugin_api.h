// The plug-in as the simulation core sees it: a table of its sixteen entry
// points. Who fills the table (a library opened by path, an emulated DLL, a
// module linked in, calls into another WebAssembly module) is not the core's
// concern.
#ifndef ATSHOST_PLUGIN_API_H
#define ATSHOST_PLUGIN_API_H

#include "plugin/atsplugin.h"

namespace atshost {

// The entry points as the host calls them: records by value, and on 32-bit
// Windows the __stdcall convention that ATS_CALL names.
struct PluginApi {
  void(ATS_CALL* Load)();
  void(ATS_CALL* Dispose)();
  int(ATS_CALL* GetPluginVersion)();
  void(ATS_CALL* SetVehicleSpec)(ATS_VEHICLESPEC);
  void(ATS_CALL* Initialize)(int);
  ATS_HANDLES(ATS_CALL* Elapse)(ATS_VEHICLESTATE, int*, int*);
  void(ATS_CALL* SetPower)(int);
  void(ATS_CALL* SetBrake)(int);
  void(ATS_CALL* SetReverser)(int);
  void(ATS_CALL* KeyDown)(int);
  void(ATS_CALL* KeyUp)(int);
  void(ATS_CALL* HornBlow)(int);
  void(ATS_CALL* DoorOpen)();
  void(ATS_CALL* DoorClose)();
  void(ATS_CALL* SetSignal)(int);
  void(ATS_CALL* SetBeaconData)(ATS_BEACONDATA);
};

}  // namespace atshost

#endif  // ATSHOST_PLUGIN_API_H
