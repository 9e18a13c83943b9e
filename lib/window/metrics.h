// Window metrics, server switches and number queries.
#ifndef LUMO_WINDOW_METRICS_H
#define LUMO_WINDOW_METRICS_H

#include <cstdint>

namespace lumo {

inline constexpr int kMaxMetric = 14;
// Metric numbers the library uses for the server as a whole (window 0).
inline constexpr int kMetricScreenSize = 2;
inline constexpr int kMetricWindowSize = 3;
inline constexpr int kMetricWindowPosition = 4;
inline constexpr int kMetricResolution = 10;
// Switch 4 decides whether joining asks the user.
inline constexpr int kSwitchAskOnJoin = 4;

int32_t window_metric(int32_t window, int32_t what, int32_t* a, int32_t* b);
int32_t server_switch(int32_t window, int32_t number, int32_t value);
int32_t query_number(int32_t window, int32_t x);

}  // namespace lumo

#endif
