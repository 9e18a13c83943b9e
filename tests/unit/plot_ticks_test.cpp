// Tick choice and tick labels of the plotting layer, and its own log10.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace {

using lumo::plot::Ticks;

// The labels of an axis joined by spaces; a raised power as "10^e".
std::string labels(double lo, double hi, bool log) {
  Ticks t;
  lumo::plot::choose_ticks(lo, hi, log, &t);
  std::string out;
  for (int i = 0; i < t.count; ++i) {
    char text[48];
    int exponent = 0;
    lumo::plot::format_tick(t.value[i], t.step, log, text, sizeof text, &exponent);
    if (!out.empty()) out += ' ';
    out += text;
    if (exponent != 0) out += "^" + std::to_string(exponent);
  }
  return out;
}

TEST(PlotTicks, LabelsOfAxes) {
  const struct {
    double lo, hi;
    bool log;
    const char* expected;
  } cases[] = {
      {0, 10, false, "0 2 4 6 8 10"},
      {0, 1, false, "0 0.2 0.4 0.6 0.8 1"},
      {-1, 1.2, false, "-1 -0.5 0 0.5 1"},
      {0, 7, false, "0 1 2 3 4 5 6 7"},
      {20, 65, false, "20 25 30 35 40 45 50 55 60 65"},
      {1000, 1010, false, "1000 1002 1004 1006 1008 1010"},
      {0.001, 0.0042, false, "0.001 0.0015 0.002 0.0025 0.003 0.0035 0.004"},
      {0, 3e6, false, "0 5e5 1e6 1.5e6 2e6 2.5e6 3e6"},
      {0, 100000, false, "0 20000 40000 60000 80000 100000"},
      {-3e-5, 3e-5, false, "-3e-5 -2e-5 -1e-5 0 1e-5 2e-5 3e-5"},
      {0.1, 1e4, true, "0.1 1 10 100 1000 10000"},
      {1e-3, 1e7, true, "0.01 1 100 10000 10^6"},
      {1e-8, 1e-2, true, "10^-8 10^-7 10^-6 10^-5 10^-4 0.001 0.01"},
      {2, 50, true, "2 5 10 20 50"},
      {1, 1e30, true, "1 10^5 10^10 10^15 10^20 10^25 10^30"},
      {5, 5, false, ""},
      {0, 10, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(labels(c.lo, c.hi, c.log), c.expected) << c.lo << ".." << c.hi << (c.log ? " log" : "");
  }
}

TEST(PlotTicks, LinearAxesHaveFiveToTenTicksAtOneTwoFiveSteps) {
  for (double span = 0.013; span < 1e7; span *= 1.37) {
    for (const double lo : {-span / 3, 0.0, 17.0}) {
      Ticks t;
      lumo::plot::choose_ticks(lo, lo + span, false, &t);
      EXPECT_GE(t.count, 4) << lo << " + " << span;
      EXPECT_LE(t.count, 10) << lo << " + " << span;
      const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-9));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                  std::fabs(mantissa - 5) < 1e-9)
          << t.step;
    }
  }
}

TEST(PlotTicks, FittedRangesEndOnTicks) {
  const struct {
    double lo, hi;
    bool log;
    double a, b;
  } cases[] = {
      {0.3, 9.7, false, 0, 10}, {-0.66, 0.99, false, -0.8, 1}, {3, 3, false, 2.7, 3.3}, {0, 0, false, -1, 1},
      {0.005, 1.1e6, true, 0.001, 1e7}, {0, 58, false, 0, 60},
  };
  for (const auto& c : cases) {
    double a = 0, b = 0;
    lumo::plot::nice_range(c.lo, c.hi, c.log, &a, &b);
    EXPECT_NEAR(a, c.a, 1e-12 * std::fabs(c.a) + 1e-12) << c.lo << ".." << c.hi;
    EXPECT_NEAR(b, c.b, 1e-12 * std::fabs(c.b) + 1e-12) << c.lo << ".." << c.hi;
  }
}

// The library's own logarithm and rounding against the maths library.
TEST(PlotTicks, OwnMathsAgreesWithTheMathsLibrary) {
  for (double x = 1e-300; x < 1e300; x *= 1.7391) {
    EXPECT_NEAR(lumo::plot::log10_of(x), std::log10(x), 4e-15 * std::fabs(std::log10(x)) + 1e-15) << x;
  }
  EXPECT_NEAR(lumo::plot::log10_of(4e-320), std::log10(4e-320), 1e-9);
  for (int e = -20; e <= 20; ++e) {
    EXPECT_EQ(lumo::plot::floor_of(lumo::plot::log10_of(lumo::plot::power_of_ten(e)) + 1e-9), e);
  }
  for (double v = -1000.75; v < 1000; v += 0.5) {
    EXPECT_EQ(lumo::plot::floor_of(v), std::floor(v)) << v;
    EXPECT_EQ(lumo::plot::ceil_of(v), std::ceil(v)) << v;
  }
}

}  // namespace
