/*
 * The sixteen entry points, listed once. Everything that names them all is
 * made from this list: the declarations in atsplugin.h, the plain-name
 * aliases, the host's function table, the library loader's look-ups, the
 * emulated DLL's table, the WebAssembly imports and exports, and the DLL's
 * module-definition files (cmake/entry_points.cmake reads the rows below,
 * one to a line).
 *
 *   X(NAME, RETURN, PARAMETERS, ARGUMENTS, STACK_BYTES, DECORATION)
 *
 * NAME is the plain export name; the function is atsNAME. ARGUMENTS are the
 * parameters' names, for a call that passes them on. STACK_BYTES is what the
 * 32-bit __stdcall function removes from the stack: its arguments, records
 * whole, and for Elapse the hidden pointer to its result (so its 32-bit
 * symbol is atsElapse@52). DECORATION is the 32-bit C++ decorated name's
 * tail after "?atsNAME@@YG"; the 64-bit one has "YA" for "YG" and "PEA" for
 * each pointer's "PA".
 */
#ifndef ATSVORLAN800_PLUGIN_ENTRY_POINTS_H
#define ATSVORLAN800_PLUGIN_ENTRY_POINTS_H

/* clang-format off */
#define ATS_ENTRY_POINTS(X) \
  X(Load, void, (void), (), 0, "XXZ") \
  X(Dispose, void, (void), (), 0, "XXZ") \
  X(GetPluginVersion, int, (void), (), 0, "HXZ") \
  X(SetVehicleSpec, void, (struct ATS_VEHICLESPEC spec), (spec), 20, "XUATS_VEHICLESPEC@@@Z") \
  X(Initialize, void, (int brake), (brake), 4, "XH@Z") \
  X(Elapse, struct ATS_HANDLES, (struct ATS_VEHICLESTATE state, int* panel, int* sound), (state, panel, sound), 52, "?AUATS_HANDLES@@UATS_VEHICLESTATE@@PAH1@Z") \
  X(SetPower, void, (int notch), (notch), 4, "XH@Z") \
  X(SetBrake, void, (int notch), (notch), 4, "XH@Z") \
  X(SetReverser, void, (int pos), (pos), 4, "XH@Z") \
  X(KeyDown, void, (int key), (key), 4, "XH@Z") \
  X(KeyUp, void, (int key), (key), 4, "XH@Z") \
  X(HornBlow, void, (int horn), (horn), 4, "XH@Z") \
  X(DoorOpen, void, (void), (), 0, "XXZ") \
  X(DoorClose, void, (void), (), 0, "XXZ") \
  X(SetSignal, void, (int signal), (signal), 4, "XH@Z") \
  X(SetBeaconData, void, (struct ATS_BEACONDATA beacon), (beacon), 16, "XUATS_BEACONDATA@@@Z")
/* clang-format on */

/* The entry points' places in the list, and how many there are. */
#define ATS_ENTRY_INDEX(name, ret, params, args, bytes, decoration) ATS_ENTRY_##name,
enum AtsEntryPoint { ATS_ENTRY_POINTS(ATS_ENTRY_INDEX) ATS_ENTRY_POINT_COUNT };
#undef ATS_ENTRY_INDEX

#endif /* ATSVORLAN800_PLUGIN_ENTRY_POINTS_H */
