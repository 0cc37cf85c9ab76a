// The sixteen entry points. The boundary holds no rules: each call goes to the
// one protection unit, or is handled in a line, or ignored.
//
// The host is a foreign process, so the boundary is defensive where the host's
// contract might be broken: a call that needs the unit while none is loaded
// does nothing, a second load disposes the first unit, null arrays are not
// written, and no exception leaves an entry point.
#include "plugin/atsplugin.h"
#include "plugin/keyboard_watch.h"
#include "plugin/module.h"
#include "unit/vorlan800.h"

using vorlan::CVorlan800;

namespace {
// Both live for the process. The handle record is never cleared: a member a
// frame does not write carries its previous value, across loads too.
CVorlan800* g_unit = nullptr;
ATS_HANDLES g_handles = {0, 0, 0, 0};

// Called directly, not through the exported symbol, so that no other module's
// symbol of the same name can stand in for it.
void DisposeModule() noexcept {
  vorlan::StopKeyboardWatch();
  delete g_unit;
  g_unit = nullptr;
}
}  // namespace

namespace vorlan {
CVorlan800* LoadedUnit() noexcept { return g_unit; }
const ATS_HANDLES& HandleRecord() noexcept { return g_handles; }
}  // namespace vorlan

extern "C" {

void ATS_CALL atsLoad(void) noexcept {
  if (g_unit != nullptr) DisposeModule();  // a second load must not leak the first
  vorlan::StartKeyboardWatch();
  g_unit = CVorlan800::Create();
  // No storage: the module stays not loaded, and holds nothing.
  if (g_unit == nullptr) vorlan::StopKeyboardWatch();
}

void ATS_CALL atsDispose(void) noexcept { DisposeModule(); }

int ATS_CALL atsGetPluginVersion(void) noexcept { return ATS_VERSION; }

void ATS_CALL atsSetVehicleSpec(struct ATS_VEHICLESPEC spec) noexcept {
  if (g_unit != nullptr) g_unit->SetVehicleSpec(spec);
}

void ATS_CALL atsInitialize(int /*brake*/) noexcept {
  if (g_unit != nullptr) g_unit->Initialize();
}

// The frame's steps are compiled into the entry point in one piece (flatten):
// called one by one, each saved and restored registers and reloaded fields
// that the step before had just written. The panel copy and the keyboard
// read stay calls of their own (see there).
[[gnu::flatten]] struct ATS_HANDLES ATS_CALL atsElapse(struct ATS_VEHICLESTATE state, int* panel,
                                                       int* sound) noexcept {
  if (g_unit == nullptr) return ATS_HANDLES{0, 0, 0, 0};
  vorlan::PollKeyboardWatch();  // may show the warning box or end the process
  CVorlan800& unit = *g_unit;
  unit.ResetFrameSounds();
  unit.SuperviseFrame(state);
  unit.OverrideHandles(g_handles);
  if (panel != nullptr) unit.WritePanel(panel);
  if (sound != nullptr) unit.WriteSound(sound);
  return g_handles;
}

void ATS_CALL atsSetPower(int notch) noexcept {
  if (g_unit != nullptr) g_unit->SetPower(notch);
}

void ATS_CALL atsSetBrake(int notch) noexcept {
  if (g_unit != nullptr) g_unit->SetBrake(notch);
}

void ATS_CALL atsSetReverser(int pos) noexcept {
  if (g_unit != nullptr) g_unit->SetReverser(pos);
}

void ATS_CALL atsKeyDown(int key) noexcept {
  if (g_unit != nullptr) g_unit->OnKeyDown(key);
}

void ATS_CALL atsKeyUp(int key) noexcept {
  if (g_unit != nullptr) g_unit->OnKeyUp(key);
}

void ATS_CALL atsHornBlow(int /*horn*/) noexcept {}

void ATS_CALL atsDoorOpen(void) noexcept {
  if (g_unit != nullptr) g_unit->DoorOpen();
}

void ATS_CALL atsDoorClose(void) noexcept {
  if (g_unit != nullptr) g_unit->DoorClose();
}

void ATS_CALL atsSetSignal(int /*signal*/) noexcept {}

void ATS_CALL atsSetBeaconData(struct ATS_BEACONDATA beacon) noexcept {
  if (g_unit != nullptr) g_unit->OnBeacon(beacon);
}

#if !defined(_WIN32)
// The plain names, for hosts and tools that look the entry points up without
// the prefix. On Windows the module-definition file gives them.
#define ATS_PLAIN(name, ret, params, args, bytes, decoration) \
  ATS_EXPORT ret name params noexcept __attribute__((alias("ats" #name)));
ATS_ENTRY_POINTS(ATS_PLAIN)
#undef ATS_PLAIN
#endif

}  // extern "C"
