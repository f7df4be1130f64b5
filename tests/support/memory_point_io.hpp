#ifndef TESTS_SUPPORT_MEMORY_POINT_IO_HPP
#define TESTS_SUPPORT_MEMORY_POINT_IO_HPP

// In-memory point reader and writer: the reader delivers fixture points through the library's
// read chain (area, filter, transform), the writer keeps every written point's raw record, so
// that tests and benchmarks can run tools without files and compare field by field.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/las_reader.hpp"
#include "core/las_writer.hpp"
#include "las_fixture.hpp"

class MemoryPointReader : public LASreader {
 public:
  MemoryPointReader(const FixtureFile& file, std::vector<FixturePoint> points)
      : points_(std::move(points)) {
    header.x_scale_factor = file.scale[0];
    header.y_scale_factor = file.scale[1];
    header.z_scale_factor = file.scale[2];
    header.x_offset = file.offset[0];
    header.y_offset = file.offset[1];
    header.z_offset = file.offset[2];
    header.point_data_format = 1;
    header.point_data_record_length = 28;
    point.init_for_point_type(&header, 1, 28, nullptr);
    npoints = int64_t(points_.size());
    header.number_of_point_records = uint32_t(points_.size());
    if (!points_.empty()) {
      header.min_x = header.min_y = header.min_z = 1e300;
      header.max_x = header.max_y = header.max_z = -1e300;
    }
    for (const FixturePoint& p : points_) {
      const double x = header.get_x(p.X), y = header.get_y(p.Y), z = header.get_z(p.Z);
      header.min_x = std::min(header.min_x, x);
      header.max_x = std::max(header.max_x, x);
      header.min_y = std::min(header.min_y, y);
      header.max_y = std::max(header.max_y, y);
      header.min_z = std::min(header.min_z, z);
      header.max_z = std::max(header.max_z, z);
    }
  }
  int format_code() const override { return LASformatCode::las; }
  bool seek_point(int64_t index) override {
    if (index < 0 || index > int64_t(points_.size())) return false;
    if (index == 0) {
      pass_++;
      lost_ = false;
    }
    p_count = index;
    return true;
  }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool) override { closes++; }
  bool failed() const override { return lost_; }
  int closes = 0;
  // The pass (1 the first; a rewind to the first point starts the next) that stops halfway, as a
  // reader that cannot read the rest; 0 for none.
  int fail_in_pass = 0;

 protected:
  bool read_one_point() override {
    if (pass_ == fail_in_pass && p_count == int64_t(points_.size() / 2)) lost_ = true;
    if (lost_ || p_count >= int64_t(points_.size())) return false;
    const FixturePoint& f = points_[size_t(p_count)];
    point.X = f.X;
    point.Y = f.Y;
    point.Z = f.Z;
    point.set_intensity(f.intensity);
    point.set_return_number(f.return_number);
    point.set_number_of_returns(f.number_of_returns);
    point.set_scan_direction_flag(f.scan_direction_flag);
    point.set_edge_of_flight_line(f.edge_of_flight_line);
    point.set_classification(f.classification);
    point.set_extended_classification(f.classification);
    point.set_synthetic_flag(f.synthetic_flag);
    point.set_keypoint_flag(f.keypoint_flag);
    point.set_withheld_flag(f.withheld_flag);
    point.scan_angle_rank = f.scan_angle_rank;
    point.set_user_data(f.user_data);
    point.set_point_source_ID(f.point_source_ID);
    point.set_gps_time(f.gps_time);
    p_count++;
    return true;
  }

 private:
  std::vector<FixturePoint> points_;
  int pass_ = 1;
  bool lost_ = false;
};

// Keeps the raw record of every written point.
class MemoryPointWriter : public LASwriter {
 public:
  struct Store {
    std::vector<LASpointData> points;
    LASheader header;
    bool closed = false;
    bool header_rewritten = false;
    int64_t inventory_count = 0;
  };
  explicit MemoryPointWriter(Store* store, int64_t fail_at = -1)
      : store_(store), fail_at_(fail_at) {}
  bool write_one_point(const LASpoint* point) override {
    if (p_count == fail_at_) return false;
    LASpointData data;
    std::memcpy(&data, point->raw(), sizeof(data));
    store_->points.push_back(data);
    p_count++;
    return true;
  }
  bool rewrite_header(const LASheader*, bool, bool) override {
    store_->header_rewritten = true;
    store_->inventory_count = inventory.number_of_point_records;
    return true;
  }
  int64_t close_output(bool) override {
    store_->closed = true;
    return fail_close_ ? -1 : 227 + 28 * p_count;
  }
  bool fail_close_ = false;

 private:
  Store* store_;
  int64_t fail_at_;
};

#endif
