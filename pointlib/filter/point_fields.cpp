#include "filter/point_fields.hpp"

#include "core/las_attributes.hpp"

namespace filter_field {

double attribute_value(const LASpoint* p, uint32_t index) {
  const LASattributeTable* table = p->attributer;
  if (table == nullptr || index >= static_cast<uint32_t>(table->number_attributes)) return 0.0;
  const int32_t start = table->attribute_starts[index];
  const int32_t size = table->attribute_sizes[index];
  // a descriptor that claims more bytes than the point carries reads as 0.0
  if (!p->extra_bytes || start < 0 || start + size > p->extra_bytes_number) return 0.0;
  return table->attributes[index].value_as_double(p->extra_bytes.get() + start);
}

}  // namespace filter_field
