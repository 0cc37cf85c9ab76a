// The train model's physics: what brakes, power, gradients, air and current do.
#include "host/sim/train_model.h"

#include <gtest/gtest.h>

namespace atshost {
namespace {

constexpr double kDt = 0.02;
constexpr int32_t kEmergency = 9;

ATS_HANDLES Handles(int32_t brake, int32_t power, int32_t reverser = 1, int32_t cs = 2) {
  return ATS_HANDLES{brake, power, reverser, cs};
}

TrainModel Running(double speed, std::vector<Gradient> gradients = {}) {
  TrainState s;
  s.speed = speed;
  return TrainModel(ModelParams{}, std::move(gradients), s);
}

// Steps until the train stands (or the time runs out); returns the seconds.
double RunUntilStopped(TrainModel& m, const ATS_HANDLES& h, double limit = 120.0) {
  double t = 0.0;
  while (m.state().speed != 0.0 && t < limit) {
    m.Step(h, kDt);
    t += kDt;
  }
  return t;
}

TEST(TrainModel, EmergencyBrakeStopsTheTrainAndHoldsIt) {
  TrainModel m = Running(80.0);
  const double t = RunUntilStopped(m, Handles(kEmergency, 0));
  // 80 km/h at 4.5 km/h/s after the cylinder has filled: about 18 s and
  // 200 m, a little more for the filling.
  EXPECT_GT(t, 17.0);
  EXPECT_LT(t, 20.0);
  EXPECT_GT(m.state().location, 190.0);
  EXPECT_LT(m.state().location, 230.0);
  for (int i = 0; i < 100; ++i) m.Step(Handles(kEmergency, 0), kDt);
  EXPECT_EQ(m.state().speed, 0.0);  // exactly: the unit's stop window needs 0.0
}

TEST(TrainModel, BrakingNeverSetsTheTrainMovingBackwards) {
  TrainModel m = Running(0.5);
  m.Step(Handles(kEmergency, 0), 1.0);
  EXPECT_EQ(m.state().speed, 0.0);
  TrainModel back = Running(-0.5);
  back.Step(Handles(kEmergency, 0), 1.0);
  EXPECT_EQ(back.state().speed, 0.0);
}

TEST(TrainModel, PowerAcceleratesByNotchAndLessAtSpeed) {
  TrainModel full = Running(0.0), half = Running(0.0);
  for (int i = 0; i < 250; ++i) {  // 5 s
    full.Step(Handles(0, 4), kDt);
    half.Step(Handles(0, 2), kDt);
  }
  EXPECT_GT(full.state().speed, 14.0);
  EXPECT_LT(full.state().speed, 15.0);  // 3 km/h/s less the resistance
  EXPECT_NEAR(half.state().speed, full.state().speed / 2.0, 0.2);

  // Above the base speed the effort falls as 1/v: at 80 km/h half that at 40.
  TrainModel slow = Running(40.0), fast = Running(80.0);
  slow.Step(Handles(0, 4), 1.0);
  fast.Step(Handles(0, 4), 1.0);
  const double a_slow = slow.state().speed - 40.0 + slow.Resistance(40.0);
  const double a_fast = fast.state().speed - 80.0 + fast.Resistance(80.0);
  EXPECT_NEAR(a_fast, a_slow / 2.0, 0.01);
}

TEST(TrainModel, TractionFollowsTheReverser) {
  TrainModel neutral = Running(0.0), backward = Running(0.0);
  for (int i = 0; i < 100; ++i) {
    neutral.Step(Handles(0, 4, 0), kDt);
    backward.Step(Handles(0, 4, -1), kDt);
  }
  EXPECT_EQ(neutral.state().speed, 0.0);
  EXPECT_LT(backward.state().speed, -5.0);
  EXPECT_LT(backward.state().location, 0.0);
}

TEST(TrainModel, CylinderFollowsTheBrakeWithALag) {
  TrainModel m = Running(0.0);
  const double target = m.BrakeTarget(kEmergency);
  for (int i = 0; i < 30; ++i) m.Step(Handles(kEmergency, 0), kDt);  // one time constant
  EXPECT_GT(m.state().bc, 0.6 * target);
  EXPECT_LT(m.state().bc, 0.7 * target);
  for (int i = 0; i < 500; ++i) m.Step(Handles(kEmergency, 0), kDt);
  EXPECT_NEAR(m.state().bc, target, 0.01);
  EXPECT_EQ(m.BrakeTarget(8), 380.0);  // full service
  EXPECT_EQ(m.BrakeTarget(4), 190.0);  // the notches share it evenly
  EXPECT_EQ(m.BrakeTarget(0), 0.0);
}

TEST(TrainModel, CompressorKeepsTheReservoirBetweenItsPressures) {
  TrainModel m = Running(0.0);
  bool ran = false, stopped_after_running = false;
  for (int i = 0; i < 60000; ++i) {  // 20 minutes, braking on and off
    const int32_t brake = (i / 500) % 2 == 0 ? kEmergency : 0;
    m.Step(Handles(brake, 0), kDt);
    const TrainState& s = m.state();
    ASSERT_GT(s.mr, 700.0) << "step " << i;
    ASSERT_LT(s.mr, 881.0) << "step " << i;
    ran = ran || s.compressor_on;
    stopped_after_running = stopped_after_running || (ran && !s.compressor_on);
  }
  EXPECT_TRUE(ran);
  EXPECT_TRUE(stopped_after_running);
}

TEST(TrainModel, GradientsPullAndBrakesHold) {
  TrainModel loose = Running(0.0, {{0.0, -20.0}});
  TrainModel held = Running(0.0, {{0.0, -20.0}});
  held.Step(Handles(8, 0), 2.0);  // fill the cylinder first
  for (int i = 0; i < 500; ++i) {
    loose.Step(Handles(0, 0), kDt);
    held.Step(Handles(8, 0), kDt);
  }
  EXPECT_GT(loose.state().speed, 5.0);  // falling track: runs away forwards
  EXPECT_EQ(held.state().speed, 0.0);
  EXPECT_EQ(loose.GradientAt(-1.0), 0.0);  // before the first section: level
}

TEST(TrainModel, ConstantSpeedHoldsOnTheLevelButCannotBrakeDownhill) {
  TrainModel level = Running(40.0);
  TrainModel downhill = Running(40.0, {{0.0, -25.0}});
  for (int i = 0; i < 500; ++i) {
    level.Step(Handles(0, 1, 1, 1), kDt);
    downhill.Step(Handles(0, 1, 1, 1), kDt);
  }
  EXPECT_NEAR(level.state().speed, 40.0, 0.05);
  EXPECT_GT(downhill.state().speed, 45.0);
  // Below its minimum speed it leaves the notch alone.
  TrainModel starting = Running(0.0);
  for (int i = 0; i < 250; ++i) starting.Step(Handles(0, 4, 1, 1), kDt);
  EXPECT_GT(starting.state().speed, 14.0);
}

TEST(TrainModel, CurrentFollowsPowerAndTurnsNegativeWhenBraking) {
  TrainModel m = Running(30.0);
  m.Step(Handles(0, 4), kDt);
  EXPECT_NEAR(m.state().current, 120.0, 1.0);
  m.Step(Handles(0, 2), kDt);
  EXPECT_NEAR(m.state().current, 60.0, 1.0);
  for (int i = 0; i < 100; ++i) m.Step(Handles(8, 0), kDt);
  EXPECT_LT(m.state().current, -70.0);
}

}  // namespace
}  // namespace atshost
