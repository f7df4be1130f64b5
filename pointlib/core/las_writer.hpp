#ifndef POINTLIB_CORE_LAS_WRITER_HPP
#define POINTLIB_CORE_LAS_WRITER_HPP

#include <cstdint>

#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "core/las_scaler.hpp"

// Counts of written points in total and by return number, and the bounds of
// their quantized coordinates.
class LASpointInventory {
 public:
  int64_t number_of_point_records = 0;
  int64_t number_of_points_by_return[16] = {};
  int32_t max_X = 0, min_X = 0, max_Y = 0, min_Y = 0, max_Z = 0, min_Z = 0;
  bool first = true;

  void count_point(const LASpoint& point) {
    number_of_point_records++;
    const uint8_t r = point.get_extended_point_type() ? point.get_extended_return_number()
                                                      : point.get_return_number();
    number_of_points_by_return[r]++;
    if (first) {
      min_X = max_X = point.X;
      min_Y = max_Y = point.Y;
      min_Z = max_Z = point.Z;
      first = false;
      return;
    }
    if (point.X < min_X) {
      min_X = point.X;
    } else if (point.X > max_X) {
      max_X = point.X;
    }
    if (point.Y < min_Y) {
      min_Y = point.Y;
    } else if (point.Y > max_Y) {
      max_Y = point.Y;
    }
    if (point.Z < min_Z) {
      min_Z = point.Z;
    } else if (point.Z > max_Z) {
      max_Z = point.Z;
    }
  }
  // Puts counts and bounds into a header; false without one, and for LAS
  // below 1.4 when a count does not fit 32 bits.
  bool write_to_header(LASheader* header) const;
  // A header that states these points ahead of them: counts, bounds and
  // returns, with point formats from 6 on keeping their counts in the 64-bit
  // fields only. False (message printed) when a count does not fit the
  // header's version.
  bool describe_in(LASheader* header) const;
};

// Base of every point sink.
class LASwriter {
 public:
  LASscaler quantizer;
  int64_t npoints = 0;
  int64_t p_count = 0;
  LASpointInventory inventory;

  LASwriter() = default;
  virtual ~LASwriter() = default;
  LASwriter(const LASwriter&) = delete;
  LASwriter& operator=(const LASwriter&) = delete;

  virtual bool write_one_point(const LASpoint* point) = 0;
  virtual bool add_to_inventory(const LASpoint* point) {
    inventory.count_point(*point);
    return true;
  }
  virtual bool close_chunk() { return true; }
  virtual bool rewrite_header(const LASheader* header, bool use_inventory,
                              bool update_extra_bytes) = 0;
  // Bytes written (0 is a valid count: a text output of no points); -1 on
  // failure.
  virtual int64_t close_output(bool update_npoints = true) = 0;
};

#endif  // POINTLIB_CORE_LAS_WRITER_HPP
