#include "io/las_reader_buffered.hpp"

#include <cstdio>
#include <cstring>

#include "io/las_area_record.hpp"
#include "io/las_reader_merged.hpp"
#include "platform/run_messages.hpp"

namespace {

bool same_quantization(const LASscaler& a, const LASscaler& b) {
  return a.x_scale_factor == b.x_scale_factor && a.y_scale_factor == b.y_scale_factor &&
         a.z_scale_factor == b.z_scale_factor && a.x_offset == b.x_offset &&
         a.y_offset == b.y_offset && a.z_offset == b.z_offset;
}

bool fits_i32(double max, double min, double offset, double scale) {
  return (max - offset) / scale <= 2147483647.0 && (min - offset) / scale >= -2147483648.0;
}

// Keeps the header's counts and bounds in its original-counts record, so that
// they can be put back when the buffer is dropped.
void save_original(LASheader* h) {
  std::unique_ptr<LASoriginalVlr> original(new LASoriginalVlr());
  if (h->version_minor >= 4) {
    original->number_of_point_records = h->extended_number_of_point_records;
    for (int r = 0; r < 15; r++) {
      original->number_of_points_by_return[r] = h->extended_number_of_points_by_return[r];
    }
  } else {
    original->number_of_point_records = h->number_of_point_records;
    for (int r = 0; r < 5; r++)
      original->number_of_points_by_return[r] = h->number_of_points_by_return[r];
  }
  original->max_x = h->max_x;
  original->min_x = h->min_x;
  original->max_y = h->max_y;
  original->min_y = h->min_y;
  original->max_z = h->max_z;
  original->min_z = h->min_z;
  h->vlr_lasoriginal = std::move(original);
}

}  // namespace

bool las_restore_original(LASheader* h) {
  if (h->vlr_lasoriginal == nullptr) return false;
  const LASoriginalVlr original = *h->vlr_lasoriginal;
  las_put_back_original(h, original);
  return true;
}

void las_put_back_original(LASheader* h, const LASoriginalVlr& o) {
  const LASoriginalVlr* original = &o;
  if (h->version_minor >= 4) {
    h->extended_number_of_point_records = original->number_of_point_records;
    for (int r = 0; r < 15; r++) {
      h->extended_number_of_points_by_return[r] = original->number_of_points_by_return[r];
    }
  } else {
    h->number_of_point_records = static_cast<uint32_t>(original->number_of_point_records);
    for (int r = 0; r < 5; r++) {
      h->number_of_points_by_return[r] =
          static_cast<uint32_t>(original->number_of_points_by_return[r]);
    }
  }
  h->max_x = original->max_x;
  h->min_x = original->min_x;
  h->max_y = original->max_y;
  h->min_y = original->min_y;
  h->max_z = original->max_z;
  h->min_z = original->min_z;
  h->vlr_lasoriginal.reset();
}

LASreaderBuffered::LASreaderBuffered() {
  neighbor_options.set_merged(true);
}

LASreaderBuffered::~LASreaderBuffered() {
  // The opener owns filter and transform.
  main_options.forget_filter_and_transform();
  neighbor_options.forget_filter_and_transform();
  inner.reset();
  clean_buffer();
}

void LASreaderBuffered::set_scale_factor(const double* xyz) {
  to_both(&LASinputOptions::set_scale_factor, xyz);
}
void LASreaderBuffered::set_offset(const double* xyz) {
  to_both(&LASinputOptions::set_offset, xyz);
}
void LASreaderBuffered::set_parse_string(const char* text) {
  to_both(&LASinputOptions::set_parse_string, text);
}
void LASreaderBuffered::set_skip_lines(uint32_t lines) {
  to_both(&LASinputOptions::set_skip_lines, lines);
}
void LASreaderBuffered::set_populate_header(bool flag) {
  to_both(&LASinputOptions::want_header_scan, flag);
}
void LASreaderBuffered::set_translate_intensity(float v) {
  to_both(&LASinputOptions::set_translate_intensity, v);
}
void LASreaderBuffered::set_scale_intensity(float v) {
  to_both(&LASinputOptions::set_scale_intensity, v);
}
void LASreaderBuffered::set_translate_scan_angle(float v) {
  to_both(&LASinputOptions::set_translate_scan_angle, v);
}
void LASreaderBuffered::set_scale_scan_angle(float v) {
  to_both(&LASinputOptions::set_scale_scan_angle, v);
}

bool LASreaderBuffered::set_file_name(const char* name) {
  if (!las_name_readable(name)) return false;
  main_options.append_name(name, false);
  return true;
}

bool LASreaderBuffered::add_neighbor_file_name(const char* name) {
  if (!las_name_readable(name)) return false;
  neighbor_options.append_name(name, false);
  return true;
}

void LASreaderBuffered::attach_filter(LASfilter* f) {
  record_filter(f);
  hand_on_rules();
}

void LASreaderBuffered::attach_transform(LAStransform* t) {
  record_transform(t);
  hand_on_rules();
}

void LASreaderBuffered::hand_on_rules() {
  if (inner) {
    inner->attach_filter(get_filter());
    inner->attach_transform(get_transform());
  }
  main_options.forget_filter_and_transform();
  neighbor_options.forget_filter_and_transform();
  main_options.set_filter(get_filter());
  neighbor_options.set_filter(get_filter());
  main_options.set_transform(get_transform());
  neighbor_options.set_transform(get_transform());
}

bool LASreaderBuffered::limit_to_tile(float ll_x, float ll_y, float size) {
  las_record_tile(*this, ll_x, ll_y, size);
  return true;
}

bool LASreaderBuffered::limit_to_circle(double center_x, double center_y, double radius) {
  las_record_circle(*this, center_x, center_y, radius);
  return true;
}

bool LASreaderBuffered::limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) {
  las_record_rectangle(*this, min_x, min_y, max_x, max_y);
  return true;
}

void LASreaderBuffered::close_input(bool close_stream) {
  if (inner) inner->close_input(close_stream);
}

bool LASreaderBuffered::open() {
  if (!main_options.has_more_input()) {
    std::fprintf(stderr, "ERROR: no input name\n");
    return false;
  }
  inner.reset(main_options.open_next_reader());
  if (!inner) {
    const char* name = main_options.current_name();
    std::fprintf(stderr, "ERROR: opening '%s'\n", name ? name : "");
    return false;
  }
  header.assign(inner->header);
  inner->header.drop_references();
  bool laid_out;
  if (header.vlr_compressor) {
    laid_out = point.init_for_items(&header, header.vlr_compressor->num_items,
                                    header.vlr_compressor->items.data(), &header);
  } else {
    laid_out = point.init_for_point_type(&header, header.point_data_format,
                                         header.point_data_record_length, &header);
  }
  if (!laid_out) return false;
  record_size = sizeof(LASpointData) + static_cast<size_t>(point.extra_bytes_number);
  main_quantization = static_cast<const LASscaler&>(header);
  buffer_quantization = main_quantization;
  clean_buffer();
  has_original = false;

  if (neighbor_options.has_more_input()) {
    const double b = buffer_size;
    neighbor_options.set_inside_rectangle(header.min_x - b, header.min_y - b, header.max_x + b,
                                          header.max_y + b);
    save_original(&header);
    original = *header.vlr_lasoriginal;
    has_original = true;
    // The neighbour points come quantized like the main file's, unless the
    // buffer rectangle does not fit 32-bit integers that way: then they come
    // in their own files' quantization, so that none is clamped, and are
    // brought into the header's after the fit check below.
    if (fits_i32(header.max_x + b, header.min_x - b, header.x_offset, header.x_scale_factor) &&
        fits_i32(header.max_y + b, header.min_y - b, header.y_offset, header.y_scale_factor)) {
      const double scales[3] = {header.x_scale_factor, header.y_scale_factor,
                                header.z_scale_factor};
      const double offsets[3] = {header.x_offset, header.y_offset, header.z_offset};
      neighbor_options.set_scale_factor(scales);
      neighbor_options.set_offset(offsets);
    } else {
      neighbor_options.set_scale_factor(nullptr);
      neighbor_options.set_offset(nullptr);
    }
    neighbor_options.rewind_list();
    std::unique_ptr<LASreader> neighbors(neighbor_options.open_next_reader());
    if (!neighbors) {
      const char* name = neighbor_options.current_name();
      std::fprintf(stderr, "ERROR: opening neighbor '%s'\n", name ? name : "");
      return false;
    }
    if (header.point_data_format != neighbors->header.point_data_format && !point_type_change) {
      print_note("WARNING: files have different point types: %d vs %d\n", header.point_data_format,
                 neighbors->header.point_data_format);
      point_type_change = true;
    }
    if (header.point_data_record_length != neighbors->header.point_data_record_length &&
        !point_size_change) {
      print_note("WARNING: files have different point sizes: %d vs %d\n",
                 header.point_data_record_length, neighbors->header.point_data_record_length);
      point_size_change = true;
    }
    // The neighbour points are kept as they arrive; should their quantization
    // differ from the header's, they are brought into line when replayed.
    buffer_quantization = static_cast<const LASscaler&>(neighbors->header);
    while (neighbors->read_point()) {
      point.assign(neighbors->point);
      copy_point_to_buffer();
      count_return(point);
      const double c[3] = {buffer_quantization.get_x(point.X), buffer_quantization.get_y(point.Y),
                           buffer_quantization.get_z(point.Z)};
      if (c[0] < header.min_x) {
        header.min_x = c[0];
      } else if (c[0] > header.max_x) {
        header.max_x = c[0];
      }
      if (c[1] < header.min_y) {
        header.min_y = c[1];
      } else if (c[1] > header.max_y) {
        header.max_y = c[1];
      }
      if (c[2] < header.min_z) {
        header.min_z = c[2];
      } else if (c[2] > header.max_z) {
        header.max_z = c[2];
      }
    }
    // Buffer points lost to a neighbour that could not be read would change the result near the
    // tile's edges without a trace.
    const bool neighbors_failed = neighbors->failed();
    neighbors->close_input(true);
    neighbors.reset();
    if (neighbors_failed) return false;
    // A LAS 1.4 header keeps its counts in the 64-bit fields too, the extended point formats
    // there only.
    if (header.point_data_format <= 5 &&
        (header.number_of_point_records || header.extended_number_of_point_records == 0)) {
      header.number_of_point_records += buffered_points;
    }
    if (header.version_minor >= 4) header.extended_number_of_point_records += buffered_points;
    print_note("LASreaderBuffered: adding %u buffer points.\n", buffered_points);
  }

  las_fit_bounds_to_integers(&header, &rescale, &reoffset);
  const LASscaler& now = header;
  requantize_main = !same_quantization(main_quantization, now);
  requantize_buffer = !same_quantization(buffer_quantization, now);

  npoints = header.number_of_point_records
                ? header.number_of_point_records
                : static_cast<int64_t>(header.extended_number_of_point_records);
  p_count = 0;
  main_points = 0;
  next_buffered_point = 0;
  return true;
}

void LASreaderBuffered::count_return(const LASpoint& buffer_point) {
  const uint8_t r = buffer_point.get_extended_point_type()
                        ? buffer_point.get_extended_return_number()
                        : buffer_point.get_return_number();
  if (r >= 1 && r <= 5 && header.point_data_format <= 5) header.number_of_points_by_return[r - 1]++;
  if (r >= 1 && r <= 15 && header.version_minor >= 4) {
    header.extended_number_of_points_by_return[r - 1]++;
  }
}

bool LASreaderBuffered::reopen() {
  p_count = 0;
  main_points = 0;
  next_buffered_point = 0;
  if (!inner) return false;
  return main_options.rebuild_reader(inner.get(), true) != 0;
}

bool LASreaderBuffered::remove_buffer() {
  clean_buffer();
  // From the reader's own copy: a wrapper that took the header's records over left the header
  // without the record.
  if (!has_original) return false;
  npoints = static_cast<int64_t>(original.number_of_point_records);
  las_put_back_original(&header, original);
  has_original = false;
  return true;
}

void LASreaderBuffered::clean_buffer() {
  blocks.clear();
  current_block = nullptr;
  buffered_points = 0;
  next_buffered_point = 0;
}

void LASreaderBuffered::copy_point_to_buffer() {
  const uint32_t slot = buffered_points % points_per_buffer;
  if (slot == 0) {
    if (blocks.capacity() == 0) blocks.reserve(1024);
    blocks.emplace_back(new uint8_t[record_size * points_per_buffer]);
    current_block = blocks.back().get();
  }
  uint8_t* at = current_block + record_size * slot;
  std::memcpy(at, point.raw(), sizeof(LASpointData));
  if (point.extra_bytes_number > 0) {
    std::memcpy(at + sizeof(LASpointData), point.extra_bytes.get(),
                static_cast<size_t>(point.extra_bytes_number));
  }
  buffered_points++;
}

bool LASreaderBuffered::copy_point_from_buffer() {
  const uint32_t i = next_buffered_point;
  if (i >= buffered_points) return false;
  const uint32_t slot = i % points_per_buffer;
  if (slot == 0) current_block = blocks[i / points_per_buffer].get();
  const uint8_t* at = current_block + record_size * slot;
  std::memcpy(point.raw(), at, sizeof(LASpointData));
  if (point.extra_bytes_number > 0) {
    std::memcpy(point.extra_bytes.get(), at + sizeof(LASpointData),
                static_cast<size_t>(point.extra_bytes_number));
  }
  next_buffered_point = i + 1;
  return true;
}

void LASreaderBuffered::requantize(const LASscaler& from) {
  point.X = header.get_X(from.get_x(point.X));
  point.Y = header.get_Y(from.get_y(point.Y));
  point.Z = header.get_Z(from.get_z(point.Z));
}

bool LASreaderBuffered::read_one_point() {
  if (inner && inner->read_point()) {
    point.assign(inner->point);
    if (requantize_main) requantize(main_quantization);
    main_points++;
    p_count++;
    return true;
  }
  if (copy_point_from_buffer()) {
    if (requantize_buffer) requantize(buffer_quantization);
    p_count++;
    return true;
  }
  if (inner) inner->close_input(true);
  point.zero();
  return false;
}
