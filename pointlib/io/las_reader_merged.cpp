#include "io/las_reader_merged.hpp"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/las_reader_las.hpp"
#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "io/formats/las_reader_ply.hpp"
#include "io/formats/las_reader_txt.hpp"
#include "io/formats/side_readers.hpp"
#include "io/las_area_record.hpp"
#include "io/las_index.hpp"
#include "platform/run_messages.hpp"

LASreaderMerged::LASreaderMerged() {
  clean();
}

LASreaderMerged::~LASreaderMerged() {
  if (sub) close_input(true);
  clean();
}

void LASreaderMerged::clean() {
  set_sub(nullptr);
  has_format = false;
  sub_format_code = 0;
  point_type_change = point_size_change = attribute_change = false;
  rescale = reoffset = false;
  requested = LASrequestedQuantizer();
  parse_string.clear();
  parse_string_set = false;
  file_names.clear();
  file_names_ID.clear();
  bounding_boxes.clear();
  skip_lines = 0;
  keep_lastiling = false;
  translate_intensity = 0.0f;
  scale_intensity = 1.0f;
  translate_scan_angle = 0.0f;
  scale_scan_angle = 1.0f;
  file_name_current = 0;
  lost_points = false;
  inside = kInsideNone;
}

void LASreaderMerged::add_counts_and_box(const LASheader& h) {
  header.number_of_point_records += h.number_of_point_records;
  for (int r = 0; r < 5; r++) {
    header.number_of_points_by_return[r] += h.number_of_points_by_return[r];
  }
  if (h.min_x < header.min_x) header.min_x = h.min_x;
  if (h.min_y < header.min_y) header.min_y = h.min_y;
  if (h.min_z < header.min_z) header.min_z = h.min_z;
  if (h.max_x > header.max_x) header.max_x = h.max_x;
  if (h.max_y > header.max_y) header.max_y = h.max_y;
  if (h.max_z > header.max_z) header.max_z = h.max_z;
}

bool las_name_readable(const char* name) {
  if (name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is NULL\n");
    return false;
  }
  FILE* probe = std::fopen(name, "r");
  if (probe == nullptr) {
    std::fprintf(stderr, "ERROR: file '%s' cannot be opened\n", name);
    return false;
  }
  std::fclose(probe);
  return true;
}

namespace {

// A file's counts by return as the extended ones: the legacy count where it
// is set, the extended one beyond the legacy returns when the header has them.
void take_extended_counts_by_return(LASheader& header, const LASheader& h) {
  for (int r = 0; r < 5; r++) {
    header.extended_number_of_points_by_return[r] = h.number_of_points_by_return[r]
                                                        ? h.number_of_points_by_return[r]
                                                        : h.extended_number_of_points_by_return[r];
  }
  if (header.version_minor >= 4) {
    for (int r = 5; r < 15; r++) {
      header.extended_number_of_points_by_return[r] = h.extended_number_of_points_by_return[r];
    }
  }
}

}  // namespace

void LASreaderMerged::set_parse_string(const char* text) {
  parse_string_set = text != nullptr;
  parse_string = text ? text : "";
}

bool LASreaderMerged::add_file_name(const char* name) {
  if (!las_name_readable(name)) return false;
  const LASinputFormat format = las_input_format_of(name);
  if (has_format && format != sub_format) {
    std::fprintf(stderr, "ERROR: cannot mix %s with %s. skipping '%s' ...\n",
                 las_input_format_name(sub_format).upper, las_input_format_name(format).upper,
                 name);
    return false;
  }
  if (!has_format) {
    has_format = true;
    sub_format = format;
    if (format == LASinputFormat::las) {
      set_sub(new LASreaderLAS());
    } else if (format == LASinputFormat::txt) {
      set_sub(new LASreaderTXT());
    } else if (format == LASinputFormat::ply) {
      set_sub(new LASreaderPLY());
    } else {
      set_sub(side_make_reader(las_input_format_name(format).word, nullptr, nullptr));
    }
  }
  file_names.emplace_back(name);
  if (!file_names_ID.empty()) file_names_ID.push_back(0);
  return true;
}

void LASreaderMerged::set_sub(LASreader* made) {
  sub.reset(made);
  sub_las = dynamic_cast<LASreaderLAS*>(made);
  sub_txt = dynamic_cast<LASreaderTXT*>(made);
  sub_ply = dynamic_cast<LASreaderPLY*>(made);
  sub_side = dynamic_cast<LASreaderSide*>(made);
}

void LASreaderMerged::configure_text_sub() {
  if (sub_txt) {
    sub_txt->set_translate_intensity(translate_intensity);
    sub_txt->set_scale_intensity(scale_intensity);
    sub_txt->set_translate_scan_angle(translate_scan_angle);
    sub_txt->set_scale_scan_angle(scale_scan_angle);
    sub_txt->set_scale_factor(requested.get_scale_factor());
    sub_txt->set_offset(requested.get_offset());
  }
}

bool LASreaderMerged::open_sub(const char* name, bool header_pass, bool read_in_full) {
  bool opened = false;
  if (sub_las) {
    opened = header_pass ? sub_las->open_file(name, 512, !read_in_full)
                         : sub_las->open_file(name, static_cast<int>(io_ibuffer_size));
  } else if (sub_txt) {
    opened = sub_txt->open_file(name, 0, parse_string_set ? parse_string.c_str() : nullptr,
                                static_cast<int32_t>(skip_lines), populate_header);
  } else if (sub_ply) {
    // A PLY header tells the count but not the bounds: only a scan gives the
    // box that the merged header and the area test take from each file. Both
    // passes scan, so that both quantize alike.
    opened = sub_ply->open_file(name, 0, true);
  } else if (sub_side) {
    opened = sub_side->open_name(name);
  }
  if (!opened) {
    std::fprintf(stderr, "ERROR: could not open lasreader%s for file '%s'\n",
                 las_input_format_name(sub_format).word, name);
  }
  return opened;
}

namespace {

// The variant of a reader family that brings its points into the scale
// factors `s` and the offsets `o`, for what changes of the two.
template <class RescaleReoffset, class Rescale, class Reoffset>
LASreader* requantizing(bool rescale, bool reoffset, const double* s, const double* o) {
  if (rescale && reoffset) return new RescaleReoffset(s[0], s[1], s[2], o[0], o[1], o[2]);
  if (rescale) return new Rescale(s[0], s[1], s[2]);
  return new Reoffset(o[0], o[1], o[2]);
}

}  // namespace

void LASreaderMerged::make_variant_sub() {
  const double s[3] = {header.x_scale_factor, header.y_scale_factor, header.z_scale_factor};
  const double o[3] = {header.x_offset, header.y_offset, header.z_offset};
  if (sub_las) {
    set_sub(requantizing<LASreaderLASrescalereoffset, LASreaderLASrescale, LASreaderLASreoffset>(
        rescale, reoffset, s, o));
  } else if (sub_txt) {
    set_sub(requantizing<LASreaderTXTrescalereoffset, LASreaderTXTrescale, LASreaderTXTreoffset>(
        rescale, reoffset, s, o));
    configure_text_sub();
  } else if (sub_ply) {
    set_sub(requantizing<LASreaderPLYrescalereoffset, LASreaderPLYrescale, LASreaderPLYreoffset>(
        rescale, reoffset, s, o));
  } else if (sub_side) {
    // Both triples: a raster reader chooses its offsets for the scale
    // factors it is given, which need not be the merged ones.
    set_sub(side_make_reader(las_input_format_name(sub_format).word, s, o));
  }
}

bool LASreaderMerged::add_file_name_and_id(const char* name, uint32_t ID) {
  if (!add_file_name(name)) return false;
  // The IDs line up with the names; names added before without one get 0.
  file_names_ID.resize(file_names.size(), 0);
  file_names_ID.back() = ID;
  return true;
}

bool LASreaderMerged::open() {
  if (file_names.empty() || !sub) {
    std::fprintf(stderr, "ERROR: no valid file names\n");
    return false;
  }
  const uint32_t count = static_cast<uint32_t>(file_names.size());
  bounding_boxes.assign(4 * static_cast<size_t>(count), 0.0);
  header.reset();
  rescale = reoffset = false;
  point_type_change = point_size_change = attribute_change = false;
  bool read_in_full = true;
  configure_text_sub();

  for (uint32_t i = 0; i < count; i++) {
    const char* name = file_names[i].c_str();
    if (!open_sub(name, true, read_in_full)) return false;
    LASheader& h = sub->header;
    double* box = &bounding_boxes[4 * static_cast<size_t>(i)];
    if (sub->npoints) {
      box[0] = h.min_x;
      box[1] = h.min_y;
      box[2] = h.max_x;
      box[3] = h.max_y;
    } else {
      // Min above max: never meets an area of interest.
      box[0] = box[1] = 2e307;
      box[2] = box[3] = -2e307;
    }
    if (i == 0) {
      sub_format_code = sub->format_code();
      if (h.vlr_lastiling && (h.vlr_lastiling->implicit_levels & (1u << 30))) {
        print_note("WARNING: first file is a buffered tile. maybe remove buffers first?\n");
      }
      if (!keep_lastiling) {
        h.vlr_lastiling.reset();
      } else if (!h.vlr_lastiling) {
        print_note("WARNING: first file has no LAStiling VLR cannot '-keep_lastiling' ...\n");
      }
      header.assign(h);
      h.drop_references();
      header.extended_number_of_point_records = h.number_of_point_records
                                                    ? h.number_of_point_records
                                                    : h.extended_number_of_point_records;
      take_extended_counts_by_return(header, h);
      npoints = sub->npoints;
      if (files_are_flightlines || apply_file_source_ID) header.file_source_ID = 0;
      // Attribute descriptors can only be compared when every file is read in full.
      read_in_full = header.number_attributes > 0;
    } else if (sub->npoints) {
      npoints += sub->npoints;
      const uint64_t ext_total = h.number_of_point_records ? h.number_of_point_records
                                                           : h.extended_number_of_point_records;
      if (npoints == sub->npoints) {
        header.number_of_point_records = h.number_of_point_records;
        for (int r = 0; r < 5; r++)
          header.number_of_points_by_return[r] = h.number_of_points_by_return[r];
        header.max_x = h.max_x;
        header.min_x = h.min_x;
        header.max_y = h.max_y;
        header.min_y = h.min_y;
        header.max_z = h.max_z;
        header.min_z = h.min_z;
        header.x_scale_factor = h.x_scale_factor;
        header.y_scale_factor = h.y_scale_factor;
        header.z_scale_factor = h.z_scale_factor;
        header.x_offset = h.x_offset;
        header.y_offset = h.y_offset;
        header.z_offset = h.z_offset;
        header.extended_number_of_point_records = ext_total;
        take_extended_counts_by_return(header, h);
      } else {
        add_counts_and_box(h);
        header.extended_number_of_point_records += ext_total;
        for (int r = 0; r < 5; r++) {
          header.extended_number_of_points_by_return[r] +=
              h.number_of_points_by_return[r] ? h.number_of_points_by_return[r]
                                              : h.extended_number_of_points_by_return[r];
        }
        if (header.version_minor >= 4) {
          for (int r = 5; r < 15; r++) {
            header.extended_number_of_points_by_return[r] +=
                h.extended_number_of_points_by_return[r];
          }
        }
      }
      if (header.x_scale_factor != h.x_scale_factor || header.y_scale_factor != h.y_scale_factor ||
          header.z_scale_factor != h.z_scale_factor) {
        rescale = true;
      }
      if (header.x_offset != h.x_offset || header.y_offset != h.y_offset ||
          header.z_offset != h.z_offset) {
        reoffset = true;
      }
      if (header.point_data_format != h.point_data_format && !point_type_change) {
        print_note("WARNING: files have different point types: %d vs %d\n",
                   header.point_data_format, h.point_data_format);
        point_type_change = true;
      }
      if (header.point_data_record_length != h.point_data_record_length && !point_size_change) {
        print_note("WARNING: files have different point sizes: %d vs %d\n",
                   header.point_data_record_length, h.point_data_record_length);
        point_size_change = true;
      }
      if (read_in_full && !attribute_change) {
        if (header.number_attributes != h.number_attributes) {
          print_note("WARNING: files have different number of attributes: %d vs %d\n",
                     header.number_attributes, h.number_attributes);
          attribute_change = true;
        } else {
          for (int32_t k = 0; k < header.number_attributes; k++) {
            if (std::memcmp(&header.attributes[k], &h.attributes[k],
                            sizeof(LASattributeDescriptor)) != 0) {
              print_note("WARNING: files have different attribute %d\n", k);
              attribute_change = true;
              break;
            }
          }
        }
      }
    }
    if (i > 0 && sub_txt && sub->npoints == 0) {
      // Unpopulated text knows no count yet but quantizes by its own first
      // point: the points must still be brought to the merged quantization.
      rescale = rescale || header.x_scale_factor != h.x_scale_factor ||
                header.y_scale_factor != h.y_scale_factor ||
                header.z_scale_factor != h.z_scale_factor;
      reoffset = reoffset || header.x_offset != h.x_offset || header.y_offset != h.y_offset ||
                 header.z_offset != h.z_offset;
    }
    sub->close_input(true);
  }

  if (npoints > INT64_C(4294967295) && header.version_minor < 4) {
    print_note("WARNING: on-the-fly merged LAS 1.%d files contain too many points (%" PRId64
               ") for single LAS 1.%d file.\n",
               header.version_minor, npoints, header.version_minor);
  }

  if (requested.scale_factor_set && side_apply_rescale(&header, requested.scale_factor)) {
    rescale = true;
  }
  if (requested.offset_set && side_apply_reoffset(&header, requested.offset)) reoffset = true;

  bool laid_out;
  if (header.vlr_compressor) {
    laid_out = point.init_for_items(&header, header.vlr_compressor->num_items,
                                    header.vlr_compressor->items.data(), &header);
  } else {
    laid_out = point.init_for_point_type(&header, header.point_data_format,
                                         header.point_data_record_length, &header);
  }
  if (!laid_out) return false;

  las_fit_bounds_to_integers(&header, &rescale, &reoffset);

  if (rescale || reoffset) make_variant_sub();
  p_count = 0;
  file_name_current = 0;
  return true;
}

void LASreaderMerged::set_files_are_flightlines(int32_t start) {
  files_are_flightlines = start;
  if (start) header.file_source_ID = 0;
}

void LASreaderMerged::set_apply_file_source_ID(bool flag) {
  apply_file_source_ID = flag;
  if (flag) header.file_source_ID = 0;
}

bool LASreaderMerged::reopen() {
  p_count = 0;
  file_name_current = 0;
  if (inside != kInsideNone) limit_none();
  if (LASfilter* filter = get_filter()) filter->restart_all();
  return true;
}

void LASreaderMerged::save_bounds() {
  // Only the first area saves the box, so limit_none always restores the
  // merged files' own bounds.
  if (inside == kInsideNone) {
    orig_min_x = header.min_x;
    orig_min_y = header.min_y;
    orig_max_x = header.max_x;
    orig_max_y = header.max_y;
  }
}

bool LASreaderMerged::limit_to_tile(float ll_x, float ll_y, float size) {
  save_bounds();
  las_record_tile(*this, ll_x, ll_y, size);
  return true;
}

bool LASreaderMerged::limit_to_circle(double center_x, double center_y, double radius) {
  save_bounds();
  las_record_circle(*this, center_x, center_y, radius);
  return true;
}

bool LASreaderMerged::limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) {
  save_bounds();
  las_record_rectangle(*this, min_x, min_y, max_x, max_y);
  return true;
}

void LASreaderMerged::close_input(bool close_stream) {
  if (sub) sub->close_input(close_stream);
}

bool LASreaderMerged::failed() const {
  return lost_points || (sub && sub->failed());
}

bool LASreaderMerged::open_next_file() {
  const uint32_t count = static_cast<uint32_t>(file_names.size());
  while (file_name_current < count) {
    if (inside != kInsideNone) {
      const double* box = &bounding_boxes[4 * static_cast<size_t>(file_name_current)];
      bool miss;
      if (inside == kInsideRectangle) {
        miss = box[0] > header.max_x || box[1] > header.max_y;
      } else {
        miss = box[0] >= header.max_x || box[1] >= header.max_y;
      }
      miss = miss || header.min_x > box[2] || header.min_y > box[3];
      if (miss) {
        file_name_current++;
        continue;
      }
    }
    const char* name = file_names[file_name_current].c_str();
    // The area of the previous file must not decide about this one.
    sub->limit_none();
    if (!open_sub(name, false, true)) {
      lost_points = true;
      return false;
    }
    sub_format_code = sub->format_code();
    // Only readers that can seek to a point use a spatial index.
    const bool seeks = sub_las || sub_ply || sub_format == LASinputFormat::bin ||
                       sub_format == LASinputFormat::qfit;
    LASindex* index = seeks ? new LASindex() : nullptr;
    if (index && index->load_for(name)) {
      sub->set_index(index);
    } else {
      delete index;
      sub->set_index(nullptr);
    }
    LASfilter* filter = get_filter();
    LAStransform* transform = get_transform();
    if (transform) {
      if (files_are_flightlines) {
        const uint32_t id = file_names_ID.empty()
                                ? file_name_current + static_cast<uint32_t>(files_are_flightlines)
                                : file_names_ID[file_name_current] + 1;
        transform->set_source_id_operation(static_cast<uint16_t>(id));
      } else if (apply_file_source_ID) {
        transform->set_source_id_operation(sub->header.file_source_ID);
      }
    }
    file_name_current++;
    if (filter) sub->attach_filter(filter);
    if (transform) sub->attach_transform(transform);
    if (inside == kInsideRectangle) {
      sub->limit_to_rectangle(r_min_x, r_min_y, r_max_x, r_max_y);
    } else if (inside == kInsideTile) {
      sub->limit_to_tile(t_ll_x, t_ll_y, t_size);
    } else if (inside == kInsideCircle) {
      sub->limit_to_circle(c_center_x, c_center_y, c_radius);
    }
    return true;
  }
  return false;
}

bool LASreaderMerged::read_one_point() {
  if (file_name_current == 0 && !open_next_file()) return false;
  for (;;) {
    if (sub->read_point()) {
      point.assign(sub->point);
      p_count++;
      return true;
    }
    if (sub_txt && !populate_header) {
      // The text's own counts are known only now that it has been read.
      add_counts_and_box(sub->header);
    }
    // The next open forgets the sub-reader's failure.
    if (sub->failed()) lost_points = true;
    sub->close_input(true);
    point.zero();
    if (!open_next_file()) return false;
  }
}
