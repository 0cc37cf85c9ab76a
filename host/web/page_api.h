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
  PAGE_AUTOPILOT = 8   /* value: 1 hands the train to the autopilot's driver, 0 takes it back */
};

/* page_autopilot_driver's drivers: the careful driver (he keeps every limit,
 * as in the route check), or the route's own driver (its actions and station
 * stops, as atshost drive runs it). */
enum PageDriver {
  PAGE_CAREFUL_DRIVER = 1, /* keeps every limit */
  PAGE_ROUTE_DRIVER = 2    /* as atshost drive */
};

/* page_ahead's kinds of item. */
enum PageAheadKind {
  PAGE_AHEAD_CHECK = 0,       /* a speed check, with its limit */
  PAGE_AHEAD_STOP_SIGNAL = 1, /* a beacon whose limit is 0 km/h */
  PAGE_AHEAD_STATION = 2,     /* a station's stop mark, with its window */
  PAGE_AHEAD_END = 3          /* where the run ends */
};

/* page_open_file's answers. */
enum PageOpened {
  PAGE_REFUSED = 0,      /* page_error() says why */
  PAGE_OPENED_ROUTE = 1, /* a fresh session of the route */
  PAGE_OPENED_RUN = 2    /* a saved run, shown at its first frame */
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
#define PAGE_AHEAD_ITEM_LENGTH 4     /* kind, location m, limit km/h, window m */
#define PAGE_AHEAD_GRADIENT_LENGTH 3 /* from m, to m, permille */
/* page_trip: the trips so far, then the last one's location m, limit km/h
 * and checked km/h (0 if none). */
#define PAGE_TRIP_LENGTH 4

/* Opens the built-in demo route in a fresh session (the plug-in loaded, the
 * vehicle reported, the handles as the route starts them). 0 = ok. */
PAGE_EXPORT(page_open_demo) int page_open_demo(void);

/* Parses `length` bytes of `text` as a route named `file_name` (the name
 * error messages give), with atshost's own parser. 0 = ok and a fresh session
 * is open; nonzero = refused, the previous session (if any) is left as it
 * was, and page_error() gives the message. */
PAGE_EXPORT(page_open_route)
int page_open_route(const char* file_name, const char* text, int length);

/* A file given to the page: a route, or a saved run (a replay scenario, such
 * as page_scenario() writes). A route opens a fresh session as
 * page_open_route does; a saved run is replayed through the plug-in and can
 * then be shown frame by frame (page_seek) and taken over (page_take_over).
 * Returns a PageOpened; refused, page_error() says why (a text that is no
 * route is judged as a saved run if it has a frame line). */
PAGE_EXPORT(page_open_file)
int page_open_file(const char* file_name, const char* text, int length);

/* The open saved run's frames, or -1 when a route is being driven. */
PAGE_EXPORT(page_run_frames) int page_run_frames(void);
/* Shows frame `frame` of the open saved run (clamped): page_panel() and the
 * others give its outputs. */
PAGE_EXPORT(page_seek) void page_seek(int frame);
/* 1 when the open saved run carries its route (the page's saves do), so that
 * it can be taken over. */
PAGE_EXPORT(page_run_has_route) int page_run_has_route(void);
/* Takes the open saved run over at `frame`: a fresh session of its route, in
 * which the driver's inputs of frames 0 to `frame` are given again, frame by
 * frame at the run's own times, so that the plug-in, the train and the
 * record are exactly the run's up to there; a person drives on from it.
 * 0 = ok; nonzero = refused (page_error() says why), the saved run stays
 * open. */
PAGE_EXPORT(page_take_over) int page_take_over(int frame);

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

/* The driver the autopilot is in the runs opened from now on (a PageDriver;
 * the careful driver until told otherwise): the careful driver's knowledge
 * of the limits is gathered as a run starts. */
PAGE_EXPORT(page_autopilot_driver) void page_autopilot_driver(int driver);

/* The physical F7 key as the plug-in's keyboard watch reads it in the next
 * frames: 1 down, 0 up. A press let go before the watch has read the key
 * once still counts as down at its next reading. */
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

/* What lies on the open route from `from` to `to` metres: the number of
 * items, the number of gradient stretches, then each item's
 * PAGE_AHEAD_ITEM_LENGTH values (a PageAheadKind first), then each stretch's
 * PAGE_AHEAD_GRADIENT_LENGTH values; all in order of location. */
PAGE_EXPORT(page_ahead) const double* page_ahead(double from, double to);
/* The name of item `item` of the last page_ahead (stations), or "". */
PAGE_EXPORT(page_ahead_name) const char* page_ahead_name(int item);

/* The unit's trips so far, as the verdict has them: PAGE_TRIP_LENGTH values. */
PAGE_EXPORT(page_trip) const double* page_trip(void);

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
