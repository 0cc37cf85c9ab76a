/*
 * The driving page's module, drive.wasm: the plug-in, the simulation core
 * (host/sim/) and a keyboard platform of the page's own, behind this one C
 * interface. The page's script calls nothing else.
 *
 * Strings are UTF-8 and NUL-terminated, in the module's memory; the script
 * places its own with the exported malloc and free. Every pointer returned
 * stays valid until the next call of any page_ function.
 *
 * A frame as the page runs it: the driver's controls given since the last
 * frame are sent to the plug-in where atshost's driver sends its own (after
 * the beacons the train crossed), then the plug-in's Elapse, then the train
 * model moves under the handles it returned.
 */
#ifndef ATSHOST_WEB_PAGE_API_H
#define ATSHOST_WEB_PAGE_API_H

#include <stdint.h>

#if defined(__wasm__)
#define PAGE_EXPORT(name) __attribute__((export_name(#name)))
#define PAGE_IMPORT(name) __attribute__((import_module("env"), import_name(#name)))
#else
#define PAGE_EXPORT(name)
#define PAGE_IMPORT(name)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* page_control's controls. */
enum PageControl {
  PAGE_POWER = 0,      /* value: power notch, 0 to page_notches() */
  PAGE_BRAKE = 1,      /* value: brake notch, 0 to page_brake_notches() + 1 (emergency) */
  PAGE_REVERSER = 2,   /* value: -1 back, 0 neutral, 1 forward */
  PAGE_DOOR_OPEN = 3,  /* value unused */
  PAGE_DOOR_CLOSE = 4, /* value unused */
  PAGE_HORN = 5,       /* value: horn number */
  PAGE_KEY_DOWN = 6,   /* value: host key code (0 to 15) */
  PAGE_KEY_UP = 7,     /* value: host key code */
  PAGE_AUTOPILOT = 8   /* value: 1 hands the train to the route's driver, 0 takes it back */
};

/* page_step's statuses. */
enum PageStatus {
  PAGE_RUNNING = 0,       /* the frame ran */
  PAGE_ROUTE_ENDED = 1,   /* the route's end is reached: the frame this call ran,
                             if it ran one, was the last */
  PAGE_PROCESS_ENDED = 2, /* the plug-in ended the process (F7 a second time): the
                             session is over and no frame output was written */
  PAGE_NO_ROUTE = 3       /* no route is open */
};

/* The lengths of the frame outputs. */
#define PAGE_PANEL_LENGTH 256
#define PAGE_SOUND_LENGTH 101
#define PAGE_HANDLES_LENGTH 4
#define PAGE_DRIVER_LENGTH 4
#define PAGE_TRAIN_LENGTH 6

/* Opens the built-in demo route in a fresh session (the plug-in loaded, the
 * vehicle reported, the handles as the route starts them). 0 = ok. */
PAGE_EXPORT(page_open_demo) int page_open_demo(void);

/* Parses `length` bytes of `text` as a route named `file_name` (the name
 * error messages give), with atshost's own parser. 0 = ok and a fresh session
 * is open; nonzero = refused, the previous session (if any) is left as it
 * was, and page_error() gives the message. */
PAGE_EXPORT(page_open_route)
int page_open_route(const char* file_name, const char* text, int length);

/* The last refusal, exactly as atshost prints it after "atshost: ". */
PAGE_EXPORT(page_error) const char* page_error(void);

/* The open route's vehicle: power notches, and service brake notches. */
PAGE_EXPORT(page_notches) int page_notches(void);
PAGE_EXPORT(page_brake_notches) int page_brake_notches(void);

/* A driver's control, sent to the plug-in with the next frame, after what
 * the route's driver sends. Handles are clamped to what the vehicle has. On
 * autopilot the handles and doors are the route's driver's, and these are
 * dropped; keys and the horn still reach the plug-in. */
PAGE_EXPORT(page_control) void page_control(int control, int value);

/* The physical F7 key as the plug-in's keyboard watch reads it in the next
 * frames: 1 down, 0 up. */
PAGE_EXPORT(page_set_f7) void page_set_f7(int down);

/* Runs one host frame `dt_ms` after the previous one (clamped to 1 to 100
 * ms; under page_test_fixed_step the route's own frame time instead).
 * Returns a PageStatus. */
PAGE_EXPORT(page_step) int page_step(int dt_ms);

/* Test hook: 1 makes page_step ignore dt_ms and step the route's own frame
 * time (its `dt`, 20 ms for the demo), as atshost drive does. */
PAGE_EXPORT(page_test_fixed_step) void page_test_fixed_step(int on);

/* The last frame's outputs. */
PAGE_EXPORT(page_panel) const int32_t* page_panel(void); /* the panel array, 256 */
PAGE_EXPORT(page_sound) const int32_t* page_sound(void); /* the sound array, 101 */
PAGE_EXPORT(page_handles)
const int32_t* page_handles(void); /* brake, power, reverser,
                                      constant-speed, as returned */
PAGE_EXPORT(page_driver)
const int32_t* page_driver(void); /* the driver's brake, power,
                                     reverser, doors closed (0/1) */
PAGE_EXPORT(page_train)
const double* page_train(void); /* time ms, location m, speed
                                   km/h, bc, mr, current */
/* The last frame's index (0 for the first), or -1 before the first frame. */
PAGE_EXPORT(page_frame) int page_frame(void);
/* Whether the route's driver has the train: 1 on autopilot, 0 not. */
PAGE_EXPORT(page_autopilot) int page_autopilot(void);

/* The timeline's lines, as atshost prints them, added since the last call;
 * each ends in a line feed. */
PAGE_EXPORT(page_timeline) const char* page_timeline(void);

/* The whole run so far as atshost writes its CSV trace, byte for byte. */
PAGE_EXPORT(page_csv) const char* page_csv(void);

/* The whole run so far as a replay scenario: every event between frames and
 * the exact state of every frame, so that `atshost replay` of it writes the
 * CSV page_csv() gives. */
PAGE_EXPORT(page_scenario) const char* page_scenario(void);

/* Imported from the page's script (module "env"). Shows the plug-in's warning
 * box: caption and text in UTF-16, NUL-terminated, lines joined by a line
 * feed. Called from inside page_step; the frame goes on when it returns. */
PAGE_IMPORT(page_warning_box)
void page_warning_box(const uint16_t* caption, const uint16_t* text);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ATSHOST_WEB_PAGE_API_H */
