#include "filter/point_fields.hpp"

namespace filter_field {

double attribute_value(const LASpoint* p, uint32_t index) {
  (void)p;
  (void)index;
  return 0.0;
}

}  // namespace filter_field
