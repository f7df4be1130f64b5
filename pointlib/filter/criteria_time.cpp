#include "filter/criteria_time.hpp"

#include <cmath>
#include <cstdlib>

int64_t time_slot(double t, double spacing) {
  const double slot = std::floor(t / spacing);
  // times far outside any survey share the end slots instead of overflowing
  if (!(slot > -9.2e18)) return INT64_MIN;
  if (slot > 9.2e18) return INT64_MAX;
  return static_cast<int64_t>(slot);
}

int LAScriterionThinPointsWithTime::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  return n + option_text_double(buffer + n, std::fabs(spacing));
}

int LAScriterionThinPulsesWithTime::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  return n + option_text_double(buffer + n, std::fabs(spacing));
}
