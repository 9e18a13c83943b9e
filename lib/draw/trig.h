// Sine and cosine without the maths library, so that programs link with
// nothing but -lLumo.  Accurate to a few units in the last place for the
// angles the library meets (a few turns either way).
#ifndef LUMO_DRAW_TRIG_H
#define LUMO_DRAW_TRIG_H

namespace lumo {

inline void sin_cos(double x, double* s, double* c) {
  if (!(x > -1e15 && x < 1e15)) {  // not a number, or too large to reduce
    *s = *c = x - x;
    return;
  }
  // x = k * pi/2 + r with |r| <= pi/4; pi/2 in two parts keeps r exact.
  constexpr double kTwoOverPi = 6.36619772367581382433e-01;
  constexpr double kPiOver2Hi = 1.57079632673412561417e+00;
  constexpr double kPiOver2Lo = 6.07710050650619224932e-11;
  const double q = x * kTwoOverPi;
  const long long k = static_cast<long long>(q < 0 ? q - 0.5 : q + 0.5);
  const double r = (x - static_cast<double>(k) * kPiOver2Hi) - static_cast<double>(k) * kPiOver2Lo;
  const double r2 = r * r;
  // Taylor series to r^17 and r^18: the next terms are below 1e-19.
  double sn = 1.0 / 355687428096000.0;  // 1/17!
  sn = sn * r2 - 1.0 / 1307674368000.0;
  sn = sn * r2 + 1.0 / 6227020800.0;
  sn = sn * r2 - 1.0 / 39916800.0;
  sn = sn * r2 + 1.0 / 362880.0;
  sn = sn * r2 - 1.0 / 5040.0;
  sn = sn * r2 + 1.0 / 120.0;
  sn = sn * r2 - 1.0 / 6.0;
  sn = r + r * r2 * sn;
  double cs = 1.0 / 6402373705728000.0;  // 1/18!
  cs = cs * r2 - 1.0 / 20922789888000.0;
  cs = cs * r2 + 1.0 / 87178291200.0;
  cs = cs * r2 - 1.0 / 479001600.0;
  cs = cs * r2 + 1.0 / 3628800.0;
  cs = cs * r2 - 1.0 / 40320.0;
  cs = cs * r2 + 1.0 / 720.0;
  cs = cs * r2 - 1.0 / 24.0;
  cs = cs * r2 + 0.5;
  cs = 1.0 - r2 * cs;
  switch (k & 3) {
    case 0: *s = sn; *c = cs; break;
    case 1: *s = cs; *c = -sn; break;
    case 2: *s = -sn; *c = -cs; break;
    default: *s = -cs; *c = sn; break;
  }
}

}  // namespace lumo

#endif
