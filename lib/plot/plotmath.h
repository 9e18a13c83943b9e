// The few functions of the maths library that the plotting layer needs,
// made here so that programs still link with nothing but -lLumo.
#ifndef LUMO_PLOT_PLOTMATH_H
#define LUMO_PLOT_PLOTMATH_H

#include <cstdint>
#include <cstring>

namespace lumo {
namespace plot {

inline bool finite_value(double x) { return x - x == 0; }

// Rounding toward minus infinity (values beyond 2^52 are whole already).
inline double floor_of(double x) {
  if (!(x > -4.5e15 && x < 4.5e15)) return x;
  const double t = static_cast<double>(static_cast<long long>(x));
  return t > x ? t - 1 : t;
}

inline double ceil_of(double x) { return -floor_of(-x); }

inline long round_of(double x) { return static_cast<long>(floor_of(x + 0.5)); }

inline double abs_of(double x) { return x < 0 ? -x : x; }

// 10^e, exact where the double can hold it.
inline double power_of_ten(int e) {
  double p = 1;
  for (int i = 0; i < (e < 0 ? -e : e); ++i) p *= 10;
  return e < 0 ? 1 / p : p;
}

// log10 of x > 0 (not a number otherwise): x = m 2^k with m near 1, and
// ln m from its fast series in s = (m - 1) / (m + 1).
inline double log10_of(double x) {
  if (!(x > 0) || !finite_value(x)) return x > 0 ? x : (x - x) / (x - x);
  uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  int k = static_cast<int>((bits >> 52) & 0x7ff);
  if (k == 0) {  // subnormal: scale into the normal range first
    return log10_of(x * 18014398509481984.0) - 16.255619765854984;  // 2^54, log10(2^54)
  }
  k -= 1023;
  bits = (bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL;
  double m = 0;
  std::memcpy(&m, &bits, sizeof m);
  if (m > 1.4142135623730951) {
    m /= 2;
    ++k;
  }
  const double s = (m - 1) / (m + 1), s2 = s * s;
  double term = s, sum = 0;
  for (int i = 1; i < 40; i += 2) {
    sum += term / i;
    term *= s2;
  }
  constexpr double kLn2 = 0.69314718055994530942;
  constexpr double kLn10 = 2.30258509299404568402;
  return (k * kLn2 + 2 * sum) / kLn10;
}

}  // namespace plot
}  // namespace lumo

#endif
