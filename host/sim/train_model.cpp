#include "host/sim/train_model.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "host/sim/format.h"
#include "host/sim/text_input.h"
#include "host/sim/units.h"

namespace atshost {
namespace {

double Sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }

struct Named {
  const char* name;
  double ModelParams::*field;
  // The accepted range: wide enough for any train, narrow enough that the
  // model stays physical and its numbers finite over the longest run.
  double min;
  double max;
  const char* unit;
};

constexpr Named kNamed[] = {
    {"max-accel", &ModelParams::max_accel, 0.0, 20.0, "km/h/s"},
    {"base-speed", &ModelParams::base_speed, 1.0, 400.0, "km/h"},
    {"resist-a", &ModelParams::resist_a, 0.0, 5.0, "km/h/s"},
    {"resist-c", &ModelParams::resist_c, 0.0, 0.01, "km/h/s per (km/h)\u00b2"},
    {"bc-service", &ModelParams::bc_service, 1.0, 1000.0, "kPa"},
    {"bc-emergency", &ModelParams::bc_emergency, 1.0, 1000.0, "kPa"},
    {"bc-lag", &ModelParams::bc_lag, 0.001, 60.0, "s"},
    // A train must be able to brake: the emergency brake gives at least this.
    {"emergency-decel", &ModelParams::emergency_decel, 0.1, 20.0, "km/h/s"},
    {"mr-start", &ModelParams::mr_start, 0.0, 1500.0, "kPa"},
    {"mr-stop", &ModelParams::mr_stop, 0.0, 1500.0, "kPa"},
    {"compressor-rate", &ModelParams::compressor_rate, 0.0, 100.0, "kPa/s"},
    {"mr-use", &ModelParams::mr_use, 0.0, 5.0, "kPa per kPa"},
    {"mr-leak", &ModelParams::mr_leak, 0.0, 100.0, "kPa/s"},
    {"current-max", &ModelParams::current_max, 0.0, 10000.0, "A"},
    {"current-regen", &ModelParams::current_regen, 0.0, 10000.0, "A"},
    {"regen-speed", &ModelParams::regen_speed, 0.0, 400.0, "km/h"},
    {"cs-min-speed", &ModelParams::cs_min_speed, 0.0, 400.0, "km/h"},
};

std::string Plain(double v) { return Shortest(v); }

}  // namespace

std::string ModelParams::Set(const std::string& name, double value) {
  for (const Named& n : kNamed) {
    if (name != n.name) continue;
    if (!(value >= n.min && value <= n.max)) {
      return name + " must be " + Plain(n.min) + " to " + Plain(n.max) + " " + n.unit;
    }
    this->*(n.field) = value;
    return {};
  }
  return "unknown model constant " + Quote(name);
}

std::string ModelParams::Inconsistency() const {
  if (bc_emergency < bc_service) {
    return "bc-emergency must not be below bc-service: the emergency brake is the strongest";
  }
  if (mr_start >= mr_stop) return "mr-start must be below mr-stop, where the compressor stops";
  return {};
}

const std::vector<std::string>& ModelParams::Names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const Named& n : kNamed) v.emplace_back(n.name);
    return v;
  }();
  return names;
}

TrainModel::TrainModel(const ModelParams& params, std::vector<Gradient> gradients, TrainState start)
    : params_(params), state_(start) {
  std::stable_sort(gradients.begin(), gradients.end(),
                   [](const Gradient& a, const Gradient& b) { return a.from < b.from; });
  gradients_ = std::make_shared<const std::vector<Gradient>>(std::move(gradients));
}

double TrainModel::GradientAt(double location) const {
  // The last section that starts at or before the location; a route may have
  // many, and the driver's foresight asks at every step.
  const std::vector<Gradient>& sections = *gradients_;
  const auto after = std::upper_bound(sections.begin(), sections.end(), location,
                                      [](double at, const Gradient& g) { return at < g.from; });
  return after == sections.begin() ? 0.0 : std::prev(after)->permille;
}

double TrainModel::BrakeTarget(int32_t brake) const {
  if (brake <= 0) return 0.0;
  if (brake > params_.brake_notches) return params_.bc_emergency;
  return params_.bc_service * brake / params_.brake_notches;
}

double TrainModel::TractionAccel(int32_t power, double speed) const {
  const int32_t notch = std::clamp(power, 0, params_.power_notches);
  if (notch == 0) return 0.0;
  double a = params_.max_accel * notch / params_.power_notches;
  // Constant power above the base speed: the effort falls as 1/v.
  if (Abs(speed) > params_.base_speed) a = a * params_.base_speed / Abs(speed);
  return a;
}

double TrainModel::Resistance(double speed) const {
  return params_.resist_a + params_.resist_c * speed * speed;
}

void TrainModel::Step(const ATS_HANDLES& h, double dt) {
  const ModelParams& p = params_;
  TrainState& s = state_;

  // The cylinder follows the brake position as a first-order lag; filling it
  // draws on the main reservoir, which the compressor keeps between its start
  // and stop pressures. Air flows from the reservoir into the cylinder only
  // while the reservoir holds more: a cylinder rising by x takes x * mr-use
  // from the reservoir, so the two meet after a rise of
  // (mr - bc) / (1 + mr-use), and the reservoir can never be drawn below 0.
  s.mr = std::max(0.0, s.mr - p.mr_leak * dt);
  const double old_bc = s.bc;
  s.bc += (BrakeTarget(h.Brake) - s.bc) * std::min(1.0, dt / p.bc_lag);
  if (s.bc > old_bc) {
    const double most = std::max(0.0, (s.mr - old_bc) / (1.0 + p.mr_use));
    if (s.bc - old_bc > most) s.bc = old_bc + most;
    s.mr -= (s.bc - old_bc) * p.mr_use;
  }
  if (s.mr < p.mr_start) s.compressor_on = true;
  if (s.mr > p.mr_stop) s.compressor_on = false;
  if (s.compressor_on) s.mr += p.compressor_rate * dt;

  const double v = s.speed;
  const double direction = Sign(static_cast<double>(h.Reverser));
  const double gravity = -kGravityKmhPerS * GradientAt(s.location) / kPermille;
  double traction = direction != 0.0 ? TractionAccel(h.Power, v) : 0.0;

  // Constant-speed control: above its minimum speed it holds the speed at
  // which it took over, giving no more effort than resistance and gradient
  // take away. It cannot brake: downhill the train still runs away.
  const bool holding = h.ConstantSpeed == 1 && traction > 0.0 && Abs(v) > p.cs_min_speed;
  if (!holding) {
    s.hold_speed = 0.0;
  } else {
    if (s.hold_speed == 0.0) s.hold_speed = Abs(v);
    if (Abs(v) >= s.hold_speed) {
      const double needed = Resistance(v) - direction * gravity;
      traction = std::clamp(needed, 0.0, traction);
    }
  }

  // Traction and gradient drive; brake and resistance only ever slow the train.
  const double drive = direction * traction + gravity;
  const double brake = BrakeDecel(s.bc);
  double v_new;
  if (v == 0.0) {
    const double hold = brake + p.resist_a;
    v_new = Abs(drive) > hold ? Sign(drive) * (Abs(drive) - hold) * dt : 0.0;
  } else {
    v_new = v + (drive - Sign(v) * (brake + Resistance(v))) * dt;
    // Braking stops the train; it never sets it moving the other way.
    if (v_new * v <= 0.0) v_new = 0.0;
  }
  s.location += (v + v_new) / 2.0 * dt / kKmhPerMs;
  s.speed = v_new;

  s.current = p.max_accel > 0.0 ? p.current_max * traction / p.max_accel : 0.0;
  if (s.bc > 0.0 && Abs(v_new) > p.regen_speed) {
    s.current -= p.current_regen * std::min(1.0, s.bc / p.bc_service);
  }
}

}  // namespace atshost
