/*
 * ATSVorlan800 — the host boundary.
 *
 * The host train simulator loads the plug-in into its own process and drives
 * it through the sixteen functions declared here. Every record crosses the
 * boundary whole, by value, with the exact little-endian layout below; the
 * static_asserts at the end pin every size and offset, because a host built
 * against these layouts reads and writes them blindly.
 *
 * On 32-bit Windows all entry points are __stdcall (arguments pushed right to
 * left, removed by the callee). Elsewhere the platform's default convention is
 * used; only the export form and the convention depend on the platform.
 */
#ifndef ATSVORLAN800_PLUGIN_ATSPLUGIN_H
#define ATSVORLAN800_PLUGIN_ATSPLUGIN_H

#include <stdint.h>

#include "plugin/entry_points.h"

#if defined(_WIN32) && !defined(_WIN64)
#define ATS_CALL __stdcall
#else
#define ATS_CALL
#endif

/* The DLL names its exports through a module-definition file (written from entry_points.h),
 * so nothing is marked for export there; on ELF the entry points are the only
 * symbols with default visibility. */
#if defined(_WIN32)
#define ATS_EXPORT
#else
#define ATS_EXPORT __attribute__((visibility("default")))
#endif

/* No exception ever leaves an entry point: the host is a foreign process. */
#ifdef __cplusplus
#define ATS_NOEXCEPT noexcept
#else
#define ATS_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Version of the host's plug-in interface that this module implements. */
#define ATS_VERSION 0x20000

/* Sound commands: the values of the sound array and of the unit's sound fields. */
#define ATS_SOUND_STOP (-10000) /* silence the sound */
#define ATS_SOUND_PLAYLOOPING 0 /* start the sound looping */
#define ATS_SOUND_PLAY 1        /* start the sound once */
#define ATS_SOUND_CONTINUE 2    /* leave the sound as it is */

/* Smallest array lengths the host must provide (highest index written + 1). */
#define ATS_PANEL_SIZE 256
#define ATS_SOUND_SIZE 101

/* The vehicle, reported once by the host before the first frame. 20 bytes. */
struct ATS_VEHICLESPEC {
  int32_t BrakeNotches; /* number of service brake positions; read */
  int32_t Reserved[4];  /* the host's; never read */
};

/* The train's state, handed to every frame. 40 bytes. */
struct ATS_VEHICLESTATE {
  double Location;   /* train location, metres */
  float Speed;       /* train speed, km/h; negative when running backwards */
  int32_t Time;      /* host time of the frame, milliseconds */
  float BcPressure;  /* brake-cylinder pressure */
  float MrPressure;  /* main-reservoir pressure */
  float Reserved[3]; /* the host's; never read */
  float Current;     /* traction current, signed */
};

/* A trackside beacon the train has passed. 16 bytes. */
struct ATS_BEACONDATA {
  int32_t Type;     /* beacon type */
  int32_t Signal;   /* signal index, read by the point speed check */
  int32_t Reserved; /* the host's; never read */
  int32_t Optional; /* the beacon's extra data word, signed */
};

/* The handle positions the host is to apply, returned by every frame. 16 bytes. */
struct ATS_HANDLES {
  int32_t Brake;         /* brake position */
  int32_t Power;         /* power notch */
  int32_t Reverser;      /* reverser position: -1, 0, 1 */
  int32_t ConstantSpeed; /* 1: constant-speed control on; 2: off; 0 until first written */
};

#ifndef ATS_RECORDS_ONLY
/* The sixteen entry points (entry_points.h lists them). Each is also exported
 * under the plain name without the "ats" prefix (Load, Dispose, ...
 * SetBeaconData). Load starts the keyboard watch and creates the unit,
 * Dispose stops and destroys them; GetPluginVersion answers ATS_VERSION and
 * needs no unit; SetVehicleSpec fixes the brake positions; Initialize is a
 * partial reset (its argument is ignored); Elapse runs one frame; SetPower,
 * SetBrake and SetReverser report the driver's handles, KeyDown and KeyUp
 * the host's keys, DoorOpen and DoorClose the doors, SetBeaconData a beacon
 * passed; HornBlow and SetSignal are ignored (signals come from beacons). */
#define ATS_DECLARE(name, ret, params, args, bytes, decoration) \
  ATS_EXPORT ret ATS_CALL ats##name params ATS_NOEXCEPT;
ATS_ENTRY_POINTS(ATS_DECLARE)
#undef ATS_DECLARE
#endif /* ATS_RECORDS_ONLY */

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus
#include <stddef.h>
#define ATS_LAYOUT(cond) static_assert(cond, #cond)
static_assert(sizeof(ATS_VEHICLESPEC) == 20, "ATS_VEHICLESPEC is 20 bytes");
ATS_LAYOUT(offsetof(ATS_VEHICLESPEC, BrakeNotches) == 0);
ATS_LAYOUT(offsetof(ATS_VEHICLESPEC, Reserved) == 4);

static_assert(sizeof(ATS_VEHICLESTATE) == 40, "ATS_VEHICLESTATE is 40 bytes");
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, Location) == 0);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, Speed) == 8);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, Time) == 12);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, BcPressure) == 16);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, MrPressure) == 20);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, Reserved) == 24);
ATS_LAYOUT(offsetof(ATS_VEHICLESTATE, Current) == 36);

static_assert(sizeof(ATS_BEACONDATA) == 16, "ATS_BEACONDATA is 16 bytes");
ATS_LAYOUT(offsetof(ATS_BEACONDATA, Type) == 0);
ATS_LAYOUT(offsetof(ATS_BEACONDATA, Signal) == 4);
ATS_LAYOUT(offsetof(ATS_BEACONDATA, Reserved) == 8);
ATS_LAYOUT(offsetof(ATS_BEACONDATA, Optional) == 12);

static_assert(sizeof(ATS_HANDLES) == 16, "ATS_HANDLES is 16 bytes");
ATS_LAYOUT(offsetof(ATS_HANDLES, Brake) == 0);
ATS_LAYOUT(offsetof(ATS_HANDLES, Power) == 4);
ATS_LAYOUT(offsetof(ATS_HANDLES, Reverser) == 8);
ATS_LAYOUT(offsetof(ATS_HANDLES, ConstantSpeed) == 12);

static_assert(sizeof(int) == 4 && sizeof(float) == 4 && sizeof(double) == 8,
              "the records are made of 32-bit ints, float32 and float64");
#undef ATS_LAYOUT
#endif

#endif /* ATSVORLAN800_PLUGIN_ATSPLUGIN_H */
