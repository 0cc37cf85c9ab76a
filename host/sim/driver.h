// The route's driver, inside the simulation core: he does the route's actions
// when they fall due, stops at its stations on his own, and, a careful driver
// (limits=keep), keeps every speed check and stands before stop signals.
// route_driver.cpp holds what every driver does, careful_driver.cpp what the
// careful one adds.
#ifndef ATSHOST_SIM_DRIVER_H
#define ATSHOST_SIM_DRIVER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/sim/drive.h"
#include "host/sim/route.h"
#include "host/sim/session.h"
#include "host/sim/train_model.h"
#include "host/sim/units.h"
#include "host/sim/verdict.h"

namespace atshost {

namespace driving {

// v^2 / (2 a) with v in km/h and a in km/h per second gives metres when
// divided by 7.2 (2 x 3.6).
inline constexpr double kDistanceFactor = 7.2;
// After the last station's dwell, the run goes on this long before it ends.
inline constexpr double kAfterLastStopSeconds = 2.0;
// A station more than this far behind the train has been missed.
inline constexpr double kMissedBy = 5.0;
// The driver looks this far ahead when foreseeing where a brake notch would
// stop the train; a notch that has not stopped it by then never will.
inline constexpr double kForesightSeconds = 180.0;
// The foresight steps no finer than this: finer frames would cost the driver
// thousands of steps a frame near a station for no better stop.
inline constexpr int32_t kForesightStepMs = 20;
// Faster than this above where he is braking down to, a careful driver keeps
// his notch between looks; closer, he weighs it at every frame.
inline constexpr double kFineBrakingKmh = 10.0;
// Where even the last service notch does less than this against the fall
// ahead, every limit ahead is in reach. km/h/s.
inline constexpr double kLeastReachDecel = 0.1;

}  // namespace driving

// When each signal that clears has first had a train standing before it,
// by beacon (in the route's order); kNever until then.
struct SignalClocks {
  static constexpr double kNever = -1.0;
  std::vector<double> stood_from;
  // Seconds since the train first stood before beacon `i`, at `t`; negative
  // if it never has.
  double StoodFor(std::size_t i, double t) const {
    return stood_from[i] < 0.0 ? -1.0 : t - stood_from[i];
  }
};

class Driver {
 public:
  Driver(const Route& route, const TrainModel& model, const SignalClocks& clocks);

  // Everything the driver does before the frame at `t` seconds after the start.
  void Decide(double t, const TrainState& s, const HostState& host, int32_t time_ms,
              std::vector<HostEvent>& out);
  // While a person drives: the actions that fall due are theirs to do, and
  // are passed over, so that the driver does not do them all at once when it
  // takes the train again.
  void PassOver(double t, const TrainState& s);
  // Taking the train from a person: whatever stop the driver was making is
  // begun again from where the train is.
  void TakeOver() { phase_ = Phase::kRunning; }

  bool finished_stations() const { return next_ >= route_.stations.size(); }
  bool actions_pending() const { return next_time_ < by_time_.size(); }
  // A careful driver standing before a stop signal, from when, and where it is.
  bool held() const { return held_; }
  // The signal he is held at will clear (it has clear-after).
  bool held_clears() const;
  double held_since() const { return held_since_; }
  double held_signal() const { return held_signal_; }
  // The terminus's dwell is over, and when it ended.
  bool at_terminus() const { return at_terminus_; }
  // The station the train stands at, from its stand until it departs.
  std::optional<std::size_t> standing_at() const;
  std::vector<StationReport> stations() const;
  double last_departure() const { return last_departure_; }
  const std::vector<StopReport>& stops() const { return stops_; }

 private:
  enum class Phase { kRunning, kBraking, kCreeping, kStanding, kDoorsOpen, kDoorsClosed };

  // A beacon the unit checks the speed at, and its limit now.
  struct LimitPoint {
    double location = 0.0;
    float limit = 0.0f;
    std::size_t beacon = 0;  // in the route's beacons
  };

  static void Track(HostState& h, const HostEvent& e);
  // Moves a handle only when it is not already there.
  static void Set(HostState& h, EventKind kind, int32_t value, std::vector<HostEvent>& out);

  // route_driver.cpp: actions and station stops.
  void DoActions(double t, const TrainState& s, std::vector<HostEvent>& out);
  double StandAt(int32_t notch, int32_t reverser) const;
  double FallAhead(double from, double to) const;
  int32_t BrakingNotch(double to) const;
  int32_t HoldingNotch(double to) const;
  int64_t LookEvery() const;
  double ForesightStep() const;
  double Lookahead(double speed) const;
  void Stations(double t, const TrainState& s, HostState& h, int32_t time_ms,
                std::vector<HostEvent>& out);
  void Approach(const StationStop& st, HostState& h, std::vector<HostEvent>& out);
  void Dwell(double t, const StationStop& st, HostState& h, std::vector<HostEvent>& out);
  int32_t ApproachNotch() const;
  void Brake(const StationStop& st, HostState& h, std::vector<HostEvent>& out);
  int32_t LightestToStand(double mark, const HostState& h) const;
  void Stand(double t, const TrainState& s, const StationStop& st, HostState& h, int32_t time_ms,
             std::vector<HostEvent>& out);

  // careful_driver.cpp: the limits.
  void RefreshLimits(double t, std::vector<HostEvent>& out);
  double SpeedAt(int32_t notch, int32_t reverser, double location) const;
  double AimFor(const TrainState& s, double point) const;
  double Reach(double speed, double target) const;
  double TargetFor(const LimitPoint& l) const;
  int32_t LimitNotch(const TrainState& s, const HostState& h);
  double WantedSpeed(const TrainState& s) const;
  void KeepLimits(double t, const TrainState& s, HostState& h, std::vector<HostEvent>& out);

  const Route& route_;
  const TrainModel& model_;
  const SignalClocks& clocks_;
  std::vector<std::size_t> by_time_;      // actions by time, in order of `at`
  std::vector<std::size_t> by_location_;  // actions by location, in order of `at`
  std::size_t next_time_ = 0;
  std::size_t next_location_ = 0;
  std::vector<std::size_t> due_;
  std::size_t next_ = 0;  // next station
  std::optional<std::size_t> terminus_;
  bool at_terminus_ = false;
  Phase phase_ = Phase::kRunning;
  double phase_start_ = 0.0;
  int32_t depart_power_ = 0;
  int32_t reverser_ = 1;
  double last_departure_ = 0.0;
  std::vector<StopReport> stops_;
  std::vector<StationReport> outcomes_;  // by station, in order of location
  std::vector<LimitPoint> limits_;       // a careful driver's, in order of location
  std::vector<std::size_t> clearing_;    // the limits that are signals that clear
  bool looking_ = true;                  // a careful driver looks ahead in this frame
  bool overspeeding_ = false;            // braking back to his cruising speed on a fall
  double overspeed_from_ = 0.0;          // the speed at the last look while doing so
  int64_t frames_ = 0;
  std::vector<Gradient> sections_;  // the driver's view of the gradients, by location
  std::vector<char> braking_;       // by limit: he has begun braking for it
  std::size_t next_limit_ = 0;
  bool driving_ = false;  // a careful driver has the handles
  bool held_ = false;
  std::size_t held_limit_ = 0;
  double held_since_ = 0.0;
  double held_signal_ = 0.0;
};

}  // namespace atshost

#endif  // ATSHOST_SIM_DRIVER_H
