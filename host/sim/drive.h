// `atshost drive`: a closed-loop run. The train model moves under the handles
// the plug-in returns; a driver follows the route's actions and stops at the
// stations on its own; beacons are passed as the train crosses them.
#ifndef ATSHOST_DRIVE_H
#define ATSHOST_DRIVE_H

#include <memory>
#include <string>
#include <vector>

#include "host/sim/route.h"
#include "host/sim/session.h"
#include "host/sim/verdict.h"

namespace atshost {

struct StopReport {
  double station = 0.0;   // where the stop was meant to be
  double location = 0.0;  // where the train came to a stand
  int32_t time = 0;       // host time of the stand, ms
};

// A speed-check beacon passed, and the speed the unit checked there.
struct LimitPass {
  double location = 0.0;
  ATS_BEACONDATA beacon{};
  float limit_kmh = 0.0f;
  float checked_kmh = 0.0f;
  bool unit_on = false;  // a switched-off unit checks nothing
};

struct DriveResult {
  std::vector<LimitPass> limit_passes;  // in the order passed
  std::vector<StopReport> stops;
  TrainState final_state;
  int32_t final_time = 0;
  Verdict verdict;
};

// A drive one frame at a time: what Drive runs to its end at the route's own
// frame time, and what the driving page runs at the display's, under a
// person's hands or the route's driver's.
class DriveRun {
 public:
  // Starts the session and reports the vehicle, the handles and the doors.
  // `route` and `session` must outlive the run.
  DriveRun(const Route& route, Session& session);
  ~DriveRun();
  DriveRun(const DriveRun&) = delete;
  DriveRun& operator=(const DriveRun&) = delete;

  // Who has the train: the route's driver (its actions and station stops),
  // or a person.
  enum class Hands { kDriver, kPerson };

  // The next frame, `dt_ms` after the previous one (the first is at the
  // route's start, whatever dt_ms says): the train moves under the handles
  // the plug-in returned, then the beacons it crossed are passed, then the
  // route's driver's events (when it has the train), then `person`'s, then
  // the plug-in's Elapse. Does nothing once the run has ended.
  void Frame(int32_t dt_ms, Hands hands = Hands::kDriver,
             const std::vector<HostEvent>& person = {});

  // The route's end is reached (or the plug-in ended its process): no more
  // frames.
  bool ended() const { return ended_; }
  const TrainState& train() const;
  // The verdict as the frames so far make it (the trips up to now), until
  // Finish hands it on.
  const Verdict& verdict() const;

  // Finishes the session (Dispose) and reports the stops.
  DriveResult Finish();

 private:
  // Passes the beacons the train crossed since the last frame.
  void PassBeacons(double t);
  // Ends the run where the route, the driver or the frame count says.
  void EndIfDone(double t, int32_t time_ms);

  struct Parts;  // the train model and the driver
  const Route& route_;
  Session& session_;
  std::unique_ptr<Parts> parts_;
  std::vector<HostEvent> events_;
  ATS_HANDLES last_handles_{};
  int64_t elapsed_ms_ = 0;
  double end_s_ = 0.0;
  double previous_location_ = 0.0;
  bool driving_ = true;  // the route's driver had the train in the last frame
  bool ended_ = false;
};

// Runs the route in a new session of the session given (Start to Finish).
DriveResult Drive(const Route& route, Session& session);

}  // namespace atshost

#endif  // ATSHOST_DRIVE_H
