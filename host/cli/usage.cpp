#include "host/cli/usage.h"

namespace atshost {

const char* ScenarioSyntax() {
  return R"(
Scenario file: UTF-8 text, one command a line, '#' starts a comment.
  vehicle brake-notches=N                SetVehicleSpec
  initialize [BRAKE]                     Initialize (default 0)
  power N | brake N | reverser -1|0|1    the driver's handles
  key N | key down N | key up N          KeyDown and KeyUp
  doors open | doors close               DoorOpen, DoorClose
  horn N | signal N                      HornBlow, SetSignal
  beacon type=T [signal=S] [optional=O]  SetBeaconData
  frame [time=MS] [location=M] [speed=KMH] [bc=P] [mr=P] [current=A]
                                         one Elapse; values not given are kept
  advance N [dt=MS] [speed=KMH] [bc=P] [mr=P] [current=A]
                                         N frames dt ms apart (20 until given)
  expect NAME=VALUE ...                  checks the last frame: brake, power,
                                         reverser, constant-speed, panel[I], sound[I]
  note TEXT                              a line of its own in the timeline
At most 64 MiB a file, 1000000 frames a run, 10000 events between two frames.
)";
}

const char* RouteSyntax() {
  return R"(
Route file: UTF-8 text, one command a line, '#' starts a comment; locations
in metres, times in seconds after the start.
  vehicle [brake-notches=8] [power-notches=4]
  start [location=0] [time=0] [dt=20] [doors=closed|open] [reverser=0]
        [power=0] [brake=EMERGENCY] [mr=820]      (time and dt in ms)
  end [time=S] [location=M]     the run ends at S s or at M m, whichever comes
        first; M alone: at M (at the latest after 900 s); neither: 2 s after
        the last station's dwell (at the latest after 900 s), or after 300 s
        without stations
  beacon M type=T [signal=S] [optional=O] [clear-after=S [clear-signal=3]]
        type 9 needs optional (its limit); clear-after: a stop signal that
        carries clear-signal S s after the train first stands within 100 m
  gradient M PERMILLE           -100 to 100
  station M [open=20] [closed=5] [depart=N] [name="..."]
        depart: the power notch to set off with; without it, the notch held
        when braking began, so a train that coasted in (notch 0) stays there.
        The terminus (the station at the end location, or the last station
        without depart) is never left: the run ends 2 s after its dwell
  at S s ACTION[; ACTION...]   or   at M m ACTION[; ACTION...]
        ACTION: power N, brake N, reverser N, key N, key down N, key up N,
        doors open, doors close, horn N, signal N
  model NAME=VALUE ...   max-accel, base-speed, resist-a, resist-c, bc-service,
        bc-emergency, bc-lag, emergency-decel, mr-start, mr-stop,
        compressor-rate, mr-use, mr-leak, current-max, current-regen,
        regen-speed, cs-min-speed
  driver [approach-notch=4] [creep-speed=8] [limits=ignore|keep] [margin=3]
        [cruise=coast|hold]   limits=keep: a careful driver who passes every
        speed check margin km/h below its limit, stays below 76 km/h and
        stands before a stop signal (cruise=hold: with the notch-1 speed hold)
vehicle, start, end and driver at most once each. At most 64 MiB a file,
100000 beacons, stations, gradients and actions, 1000000 frames a run.
)";
}

const char* ExitStatuses() {
  return R"(
Exit status:
  0  the run went through
  1  an expect line failed, or with drive --strict the unit tripped or a
     station was missed; check: a speed-check step no driver can meet, or a
     careful driver tripped, missed a station, stood where the unit's stop
     window stayed dark or could not pass a stop signal (the run still
     completes and writes its files)
  2  bad input, a bad option or a library that cannot be loaded: the message
     names the file and line or the option; nothing is run, nothing written
  3  a Windows DLL under emulation failed: the message names the entry point
     and the frame; the trace and chart up to the fault are kept
)";
}

}  // namespace atshost
