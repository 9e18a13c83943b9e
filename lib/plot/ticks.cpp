// Where an axis gets its ticks and what their labels say.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

constexpr int kMostTicks = 10;
constexpr double kSteps[] = {1, 2, 5};
constexpr int kDecadeSteps[] = {1, 2, 5, 10, 20, 50, 100};

// A little room for the rounding of the ends: a tick within a millionth of
// a step of an end is on the axis.
constexpr double kSlack = 1e-6;

int linear_count(double lo, double hi, double step) {
  return static_cast<int>(floor_of(hi / step + kSlack) - ceil_of(lo / step - kSlack)) + 1;
}

void linear_ticks(double lo, double hi, Ticks* out) {
  const double span = hi - lo;
  double decade = power_of_ten(static_cast<int>(floor_of(log10_of(span))) - 2);
  double step = decade;
  for (int round = 0; round < 8; ++round, decade *= 10) {
    bool found = false;
    for (const double m : kSteps) {
      step = m * decade;
      if (linear_count(lo, hi, step) <= kMostTicks) {
        found = true;
        break;
      }
    }
    if (found) break;
  }
  out->step = step;
  const double first = ceil_of(lo / step - kSlack);
  const int n = linear_count(lo, hi, step);
  for (int i = 0; i < n && out->count < kMaxTicks; ++i) {
    double v = (first + i) * step;
    if (abs_of(v) < step * kSlack) v = 0;  // no "-0" or 1e-17
    out->value[out->count++] = v;
  }
}

void log_ticks(double lo, double hi, Ticks* out) {
  const int e1 = static_cast<int>(ceil_of(log10_of(lo) - kSlack));
  const int e2 = static_cast<int>(floor_of(log10_of(hi) + kSlack));
  out->step = 0;
  if (e2 - e1 + 1 < 2) {
    // Fewer than two powers: 1-2-5 multiples of the powers of ten.
    for (int e = e1 - 1; e <= e2 && out->count < kMaxTicks; ++e) {
      for (const double m : kSteps) {
        const double v = m * power_of_ten(e);
        if (v >= lo * (1 - kSlack) && v <= hi * (1 + kSlack) && out->count < kMaxTicks) {
          out->value[out->count++] = v;
        }
      }
    }
    return;
  }
  int every = 1;
  for (const int k : kDecadeSteps) {
    every = k;
    const int first = static_cast<int>(ceil_of(static_cast<double>(e1) / k));
    const int last = static_cast<int>(floor_of(static_cast<double>(e2) / k));
    if (last - first + 1 <= kMostTicks) break;
  }
  for (int e = e1; e <= e2 && out->count < kMaxTicks; ++e) {
    if (e % every == 0) out->value[out->count++] = power_of_ten(e);
  }
  if (every == 1 && e2 - e1 <= 6) {
    for (int e = e1 - 1; e <= e2; ++e) {
      for (int m = 2; m <= 9 && out->minor_count < kMaxTicks; ++m) {
        const double v = m * power_of_ten(e);
        if (v > lo && v < hi) out->minor[out->minor_count++] = v;
      }
    }
  }
}

// Removes trailing zeros of a fraction ("1.50" -> "1.5", "2.0" -> "2").
void trim_fraction(char* s) {
  char* dot = std::strchr(s, '.');
  if (!dot) return;
  char* end = s + std::strlen(s);
  while (end > dot + 1 && end[-1] == '0') *--end = '\0';
  if (end == dot + 1) *dot = '\0';
}

}  // namespace

void choose_ticks(double lo, double hi, bool log, Ticks* out) {
  out->count = 0;
  out->minor_count = 0;
  out->step = 0;
  if (!(lo < hi) || !finite_value(lo) || !finite_value(hi)) return;
  if (log) {
    if (lo > 0) log_ticks(lo, hi, out);
  } else {
    linear_ticks(lo, hi, out);
  }
}

void format_tick(double value, double step, bool log, char* out, int size, int* exponent) {
  *exponent = 0;
  if (log) {
    const double e = log10_of(value);
    const int power = static_cast<int>(round_of(e));
    if (abs_of(e - power) < 1e-9 && (power < -3 || power > 4)) {
      std::snprintf(out, size, "10");
      *exponent = power;
      return;
    }
    // A 1-2-5 multiple or a plain power: as many decimals as it needs.
    const int decimals = value < 1 ? static_cast<int>(ceil_of(-log10_of(value) - 1e-9)) : 0;
    std::snprintf(out, size, "%.*f", decimals, value);
    trim_fraction(out);
    return;
  }
  if (value == 0) {
    std::snprintf(out, size, "0");
    return;
  }
  const double magnitude = abs_of(value);
  if (step >= 1e5 || step < 1e-4) {
    // Scientific: as many mantissa digits as the step needs.
    const int e = static_cast<int>(floor_of(log10_of(magnitude) + 1e-9));
    const int digits = e - static_cast<int>(floor_of(log10_of(step) + 1e-9));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*e", digits > 0 ? digits : 0, value);
    char* mark = std::strchr(buf, 'e');
    char exp_text[16];
    std::snprintf(exp_text, sizeof exp_text, "e%d", std::atoi(mark + 1));
    *mark = '\0';
    trim_fraction(buf);
    std::snprintf(out, size, "%s%s", buf, exp_text);
    return;
  }
  int decimals = static_cast<int>(ceil_of(-log10_of(step) - 1e-9));
  if (decimals < 0) decimals = 0;
  std::snprintf(out, size, "%.*f", decimals, value);
  trim_fraction(out);
}

void nice_range(double lo, double hi, bool log, double* out_lo, double* out_hi) {
  if (log) {
    if (!(lo > 0)) lo = hi > 0 ? hi / 10 : 1;
    if (!(hi > 0)) hi = lo * 10;
    double a = power_of_ten(static_cast<int>(floor_of(log10_of(lo) + kSlack)));
    double b = power_of_ten(static_cast<int>(ceil_of(log10_of(hi) - kSlack)));
    if (a >= b) b = a * 10;
    *out_lo = a;
    *out_hi = b;
    return;
  }
  if (lo == hi) {
    const double d = lo == 0 ? 1 : abs_of(lo) * 0.1;
    lo -= d;
    hi += d;
  }
  Ticks t;
  t.count = 0;
  t.minor_count = 0;
  linear_ticks(lo, hi, &t);
  const double step = t.step;
  *out_lo = floor_of(lo / step + kSlack) * step;
  *out_hi = ceil_of(hi / step - kSlack) * step;
}

}  // namespace plot
}  // namespace lumo
