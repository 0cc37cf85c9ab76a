// The route-ahead query: what a stretch of route holds, in order, with the
// gradient profile covering the stretch exactly.
#include "host/sim/route_ahead.h"

#include <gtest/gtest.h>

namespace atshost {
namespace {

// Beacons of three kinds at 300 (28 km/h), 500 (a stop signal) and 700 (no
// speed check), a station at 500, gradients given out of order and twice at
// one place (the later line wins), and an end location.
constexpr const char* kRoute = R"(vehicle brake-notches=8 power-notches=4
start location=0 brake=9
beacon 300 type=0 signal=1
beacon 500 type=0 signal=0
beacon 700 type=12 optional=1150
station 500
gradient 400 10
gradient 100 -25
gradient 400 5
end location=900
)";

struct Case {
  const char* what;
  double from, to;
  std::vector<AheadKind> kinds;
  std::vector<double> at;
  std::vector<AheadGradient> gradients;
};

TEST(RouteAhead, GivesTheStretchInOrder) {
  const Parsed<Route> route = ParseRoute(kRoute, "ahead.route");
  ASSERT_TRUE(route.ok()) << route.error;
  using K = AheadKind;
  const std::vector<Case> cases = {
      {"the whole line",
       0,
       2000,
       {K::kCheck, K::kStopSignal, K::kStation, K::kEnd},
       {300, 500, 500, 900},
       {{0, 100, 0}, {100, 400, -25}, {400, 2000, 5}}},
      {"both ends included",
       300,
       500,
       {K::kCheck, K::kStopSignal, K::kStation},
       {300, 500, 500},
       {{300, 400, -25}, {400, 500, 5}}},
      {"inside one gradient, nothing on it", 150, 250, {}, {}, {{150, 250, -25}}},
      {"past the end", 950, 1000, {}, {}, {{950, 1000, 5}}},
      {"backwards: nothing", 500, 100, {}, {}, {}},
  };
  RouteAhead ahead;
  for (const Case& c : cases) {
    QueryRouteAhead(route.value, c.from, c.to, ahead);
    std::vector<K> kinds;
    std::vector<double> at;
    for (const AheadItem& item : ahead.items) {
      kinds.push_back(item.kind);
      at.push_back(item.at);
    }
    EXPECT_EQ(kinds, c.kinds) << c.what;
    EXPECT_EQ(at, c.at) << c.what;
    ASSERT_EQ(ahead.gradients.size(), c.gradients.size()) << c.what;
    for (std::size_t i = 0; i < c.gradients.size(); ++i) {
      EXPECT_EQ(ahead.gradients[i].from, c.gradients[i].from) << c.what << " #" << i;
      EXPECT_EQ(ahead.gradients[i].to, c.gradients[i].to) << c.what << " #" << i;
      EXPECT_EQ(ahead.gradients[i].permille, c.gradients[i].permille) << c.what << " #" << i;
    }
  }
  QueryRouteAhead(route.value, 0, 2000, ahead);
  EXPECT_EQ(ahead.items[0].limit_kmh, 28.0f);
  EXPECT_EQ(ahead.items[1].limit_kmh, 0.0f);
  EXPECT_EQ(ahead.items[2].window_m, kStopWindowM);
}

// Without an end location the run ends after its last station.
TEST(RouteAhead, TheDemoEndsAtItsStation) {
  const Parsed<Route> route = ParseRoute(DemoRouteText(), "demo");
  ASSERT_TRUE(route.ok());
  RouteAhead ahead;
  QueryRouteAhead(route.value, 0, 2000, ahead);
  ASSERT_EQ(ahead.items.size(), 3u);
  EXPECT_EQ(ahead.items[0].kind, AheadKind::kCheck);
  EXPECT_EQ(ahead.items[0].at, 560.0);
  EXPECT_EQ(ahead.items[1].kind, AheadKind::kStation);
  EXPECT_EQ(ahead.items[2].kind, AheadKind::kEnd);
  EXPECT_EQ(ahead.items[2].at, 1150.0);
}

}  // namespace
}  // namespace atshost
