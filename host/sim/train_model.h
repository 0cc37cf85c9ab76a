// A simple train on a straight track, moved by the handles the plug-in
// returns: a suburban electric multiple unit by default. Only plain IEEE
// arithmetic is used (no library maths), so that every platform computes the
// same run bit for bit.
#ifndef ATSHOST_TRAIN_MODEL_H
#define ATSHOST_TRAIN_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/atsplugin.h"

namespace atshost {

// Speeds in km/h, accelerations in km/h per second, pressures in kPa,
// currents in A, times in seconds.
struct ModelParams {
  int32_t brake_notches = 8;     // service notches; the next position is emergency
  int32_t power_notches = 4;     // the top notch gives max_accel
  double max_accel = 3.0;        // at the top notch, up to base_speed
  double base_speed = 40.0;      // above it the tractive effort falls as base_speed / v
  double resist_a = 0.05;        // running resistance: resist_a + resist_c * v^2
  double resist_c = 0.00003;     //
  double bc_service = 380.0;     // brake-cylinder pressure at the last service notch
  double bc_emergency = 440.0;   // at the emergency position
  double bc_lag = 0.6;           // time constant with which the cylinder follows
  double emergency_decel = 4.5;  // at bc_emergency; braking is proportional to pressure
  double mr_start = 780.0;       // the compressor starts below this
  double mr_stop = 880.0;        // and stops above this
  double compressor_rate = 6.0;  // kPa/s while running
  double mr_use = 0.15;          // reservoir kPa used per kPa of cylinder filling
  double mr_leak = 0.2;          // kPa/s
  double current_max = 120.0;    // at max_accel
  double current_regen = 80.0;   // negative, at the full service pressure
  double regen_speed = 8.0;      // the electric brake works above this speed
  double cs_min_speed = 15.0;    // constant-speed control holds only above this

  // Sets one constant by its documented name ("max-accel"). Returns what is
  // wrong (the name unknown, the value out of its range), empty if nothing.
  std::string Set(const std::string& name, double value);
  // What does not fit together among the constants, empty if nothing.
  std::string Inconsistency() const;
  static const std::vector<std::string>& Names();
};

// A section of track from `from` (m) onwards rising by `permille` (negative:
// falling), until the next section.
struct Gradient {
  double from = 0.0;
  double permille = 0.0;
};

struct TrainState {
  double location = 0.0;  // m
  double speed = 0.0;     // km/h, negative when running backwards
  double bc = 0.0;        // brake-cylinder pressure
  double mr = 820.0;      // main-reservoir pressure
  double current = 0.0;   // traction current; negative while braking electrically
  bool compressor_on = false;
  double hold_speed = 0.0;  // constant-speed control's target, 0 while off
};

class TrainModel {
 public:
  TrainModel(const ModelParams& params, std::vector<Gradient> gradients, TrainState start);

  // Moves the train through dt seconds under the returned handles.
  void Step(const ATS_HANDLES& handles, double dt);

  const TrainState& state() const { return state_; }
  const ModelParams& params() const { return params_; }

  // Gradient at a location, permille.
  double GradientAt(double location) const;
  // Brake-cylinder pressure a brake position asks for.
  double BrakeTarget(int32_t brake) const;
  // Tractive acceleration of a power notch at a speed, before constant-speed
  // control.
  double TractionAccel(int32_t power, double speed) const;
  // Deceleration that a cylinder pressure gives.
  double BrakeDecel(double bc) const {
    return bc * (params_.emergency_decel / params_.bc_emergency);
  }
  double Resistance(double speed) const;

 private:
  ModelParams params_;
  std::vector<Gradient> gradients_;  // sorted by `from`
  TrainState state_;
};

}  // namespace atshost

#endif  // ATSHOST_TRAIN_MODEL_H
