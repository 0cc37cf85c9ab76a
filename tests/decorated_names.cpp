// The entry points declared as the host's own C++ plug-in declarations are,
// compiled for the platform compiler's ABI, so that llvm-nm shows the decorated
// names that the DLL must export beside the plain ones (tests/check_dll.sh).
//
// Written out one by one on purpose, not made from plugin/entry_points.h: the
// DLL's decorated exports come from that list's DECORATION column, and these
// declarations, decorated by the compiler itself, are the independent account
// that proves the column right.
#define ATS_RECORDS_ONLY
#include "plugin/atsplugin.h"

void __stdcall atsLoad(void) {}
void __stdcall atsDispose(void) {}
int __stdcall atsGetPluginVersion(void) { return 0; }
void __stdcall atsSetVehicleSpec(struct ATS_VEHICLESPEC) {}
void __stdcall atsInitialize(int) {}
struct ATS_HANDLES __stdcall atsElapse(struct ATS_VEHICLESTATE, int*, int*) {
  return {};
}
void __stdcall atsSetPower(int) {}
void __stdcall atsSetBrake(int) {}
void __stdcall atsSetReverser(int) {}
void __stdcall atsKeyDown(int) {}
void __stdcall atsKeyUp(int) {}
void __stdcall atsHornBlow(int) {}
void __stdcall atsDoorOpen(void) {}
void __stdcall atsDoorClose(void) {}
void __stdcall atsSetSignal(int) {}
void __stdcall atsSetBeaconData(struct ATS_BEACONDATA) {}
