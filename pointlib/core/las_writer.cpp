#include "core/las_writer.hpp"

#include <cinttypes>
#include <cstdio>

namespace {

constexpr int64_t kU32Limit = int64_t{1} << 32;

}  // namespace

bool LASpointInventory::write_to_header(LASheader* header) const {
  if (header == nullptr) return false;
  if (header->version_minor < 4) {
    if (number_of_point_records >= kU32Limit) return false;
    for (int r = 1; r <= 5; r++) {
      if (number_of_points_by_return[r] >= kU32Limit) return false;
    }
  }
  header->number_of_point_records =
      number_of_point_records < kU32Limit ? static_cast<uint32_t>(number_of_point_records) : 0;
  for (int r = 1; r <= 5; r++) {
    header->number_of_points_by_return[r - 1] =
        number_of_points_by_return[r] < kU32Limit
            ? static_cast<uint32_t>(number_of_points_by_return[r])
            : 0;
  }
  header->max_x = header->get_x(max_X);
  header->min_x = header->get_x(min_X);
  header->max_y = header->get_y(max_Y);
  header->min_y = header->get_y(min_Y);
  header->max_z = header->get_z(max_Z);
  header->min_z = header->get_z(min_Z);
  header->extended_number_of_point_records = static_cast<uint64_t>(number_of_point_records);
  for (int r = 1; r <= 15; r++) {
    header->extended_number_of_points_by_return[r - 1] =
        static_cast<uint64_t>(number_of_points_by_return[r]);
  }
  return true;
}

bool LASpointInventory::describe_in(LASheader* header) const {
  if (!write_to_header(header)) {
    std::fprintf(stderr, "ERROR: %" PRId64 " points do not fit the point counts of LAS %d.%d\n",
                 number_of_point_records, header ? header->version_major : 0,
                 header ? header->version_minor : 0);
    return false;
  }
  if (header->point_data_format > 5) {
    header->number_of_point_records = 0;
    for (uint32_t& n : header->number_of_points_by_return) n = 0;
  }
  return true;
}
