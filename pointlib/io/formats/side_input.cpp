#include "io/formats/side_input.hpp"

#include <cmath>
#include <cstring>

#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "io/formats/decompressing_open.hpp"
#include "platform/file_times.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr int kLibraryVersion = 210531;
constexpr const char* kSystemIdentifier = "Mirvelox by Zentoravik GmbH";

}  // namespace

bool LASsideInput::open(const char* file_name, const char* mode) {
  close();
  decompressor_failed = false;
  file = fopen_decompressing(file_name, mode, &piped);
  if (file == nullptr) return false;
  if (std::setvbuf(file, nullptr, _IOFBF, kStdioBufferSize) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %d\n", kStdioBufferSize);
  }
  return true;
}

bool LASsideInput::open_named(const char* file_name, const char* mode, const char* verb) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  if (open(file_name, mode)) return true;
  std::fprintf(stderr, "ERROR: cannot %s file '%s'\n", verb, file_name);
  return false;
}

void LASsideInput::adopt(FILE* stream) {
  if (stream == file) return;
  close();
  decompressor_failed = false;
  file = stream;
  piped = false;
}

bool LASsideInput::close() {
  if (file == nullptr) return !decompressor_failed;
  FILE* f = file;
  file = nullptr;
  if (!fclose_decompressing(f)) decompressor_failed = true;
  return !decompressor_failed;
}

bool LASsideInput::read_line(char* line, bool* cut) {
  if (cut) *cut = false;
  if (file == nullptr) return false;
  int c = getc_unlocked(file);
  if (c == EOF) return false;
  int n = 0;
  bool too_long = false;
  // A lone CR ends a line as old Macintosh writers end it; a NUL, which no
  // text holds, is taken as a line end too, so that its lines are not glued.
  // (Every line end, and EOF, is at most '\r': one comparison for the rest.)
  while (c > '\r' || (c != EOF && c != '\n' && c != '\r' && c != '\0')) {
    if (n < kLineSize - 1) {
      line[n++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
    c = getc_unlocked(file);
  }
  line[n] = '\0';
  if (c == '\r') {
    const int next = getc_unlocked(file);
    if (next != '\n' && next != EOF) std::ungetc(next, file);
  } else if (c == '\0' && !nul_warned) {
    nul_warned = true;
    print_note("WARNING: NUL byte in text taken as the end of a line\n");
  }
  if (too_long) {
    print_note(
        "WARNING: line longer than %d characters. ignoring the characters after them "
        "...\n",
        kLineSize - 1);
    if (cut) *cut = true;
  }
  return true;
}

bool LASsideInput::skip_lines(int64_t n) {
  char line[kLineSize];
  for (int64_t i = 0; i < n; i++) {
    if (!read_line(line)) return false;
  }
  return true;
}

FILE* side_open_binary(const char* file_name, const char* verb, int buffer_size) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return nullptr;
  }
  FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "ERROR: cannot %s file '%s'\n", verb, file_name);
    return nullptr;
  }
  if (buffer_size > 0 && std::setvbuf(file, nullptr, _IOFBF, buffer_size) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %d\n", buffer_size);
  }
  return file;
}

bool LASpendingAttributes::add(int32_t data_type, const char* name, const char* description,
                               double scale, double offset, double pre_scale, double pre_offset,
                               double no_data) {
  if (number >= kMax) {
    print_note("WARNING: at most %d attributes can be added. ignoring attribute '%s'.\n", kMax,
               name ? name : "");
    return false;
  }
  const int k = number++;
  data_types[k] = data_type;
  if (name) {
    names[k] = name;
  } else {
    char text[32];
    std::snprintf(text, sizeof(text), "attribute %d", k);
    names[k] = text;
  }
  has_description[k] = description != nullptr;
  descriptions[k] = description ? description : "";
  scales[k] = scale;
  offsets[k] = offset;
  pre_scales[k] = pre_scale;
  pre_offsets[k] = pre_offset;
  no_datas[k] = no_data;
  return true;
}

bool LASpendingAttributes::add_to_header(LASheader* header) const {
  for (int32_t k = 0; k < number; k++) {
    LASattributeDescriptor d;
    const char* description = has_description[k] ? descriptions[k].c_str() : nullptr;
    const bool made = data_types[k] > 0 &&
                      LASattributeDescriptor::make((data_types[k] - 1) % 10, names[k].c_str(),
                                                   description, &d);
    if (made) {
      if (scales[k] != 1.0 || offsets[k] != 0.0) {
        d.scale[0] = scales[k];
        d.options |= LASattributeDescriptor::kScaleBit;
      }
      if (offsets[k] != 0.0) {
        d.offset[0] = offsets[k];
        d.options |= LASattributeDescriptor::kOffsetBit;
      }
      if (no_datas[k] != 2e307) {
        if (d.is_unsigned()) {
          const double v = no_datas[k];
          const uint64_t u = v <= 0.0 ? 0 : v >= 18446744073709551615.0
                                                ? UINT64_MAX
                                                : static_cast<uint64_t>(v);
          std::memcpy(d.no_data[0], &u, 8);
        } else if (d.is_signed()) {
          const int64_t s = las_round_i64(no_datas[k]);
          std::memcpy(d.no_data[0], &s, 8);
        } else {
          std::memcpy(d.no_data[0], &no_datas[k], 8);
        }
        d.options |= LASattributeDescriptor::kNoDataBit;
      }
    }
    if (!made || header->add_attribute(d) < 0) {
      std::fprintf(stderr, "ERROR: initializing attribute %s\n", description ? description : "");
      return false;
    }
  }
  return true;
}

void side_header_software(LASheader* header, const char* reader_name) {
  std::memset(header->system_identifier, 0, sizeof(header->system_identifier));
  std::strncpy(header->system_identifier, kSystemIdentifier,
               sizeof(header->system_identifier) - 1);
  std::memset(header->generating_software, 0, sizeof(header->generating_software));
  std::snprintf(header->generating_software, sizeof(header->generating_software),
                "via %s (%d)", reader_name, kLibraryVersion);
}

int side_day_of_year(int year, int month, int day) {
  static const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap_year = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return kDaysBefore[(month - 1) % 12] + day + ((leap_year && month > 2) ? 1 : 0);
}

bool side_header_date(LASheader* header, const char* file_name) {
  FileDate date;
  if (file_name == nullptr || !file_creation_date(file_name, &date)) return false;
  header->file_creation_year = static_cast<uint16_t>(date.year);
  header->file_creation_day =
      static_cast<uint16_t>(side_day_of_year(date.year, date.month, date.day));
  return true;
}

void side_header_identity(LASheader* header, const char* reader_name, const char* file_name,
                          int default_year) {
  side_header_software(header, reader_name);
  if (!side_header_date(header, file_name)) {
    header->file_creation_year = static_cast<uint16_t>(default_year);
    header->file_creation_day = 1;
  }
}

double side_choose_offset(double min, double max, double scale) {
  if (!(min > -2e307 && min < 2e307 && max > -2e307 && max < 2e307)) return 0.0;
  return std::trunc((min + max) / scale / 2e7) * 10000000.0 * scale;
}

void side_default_scale_factors(const LASheader& h, double projected_x, double projected_y,
                                double scale[3]) {
  const bool degrees = h.min_x > -360.0 && h.min_y > -360.0 && h.max_x < 360.0 && h.max_y < 360.0;
  scale[0] = degrees ? 1e-7 : projected_x;
  scale[1] = degrees ? 1e-7 : projected_y;
  scale[2] = 0.01;
}

bool side_apply_rescale(LASheader* header, const double* scale) {
  double* scales[3] = {&header->x_scale_factor, &header->y_scale_factor, &header->z_scale_factor};
  bool changed = false;
  for (int a = 0; a < 3; a++) {
    if (scale[a] != 0.0 && scale[a] != *scales[a]) {
      *scales[a] = scale[a];
      changed = true;
    }
  }
  return changed;
}

bool side_apply_reoffset(LASheader* header, const double* offset) {
  double* offsets[3] = {&header->x_offset, &header->y_offset, &header->z_offset};
  bool changed = false;
  for (int a = 0; a < 3; a++) {
    if (offset[a] != *offsets[a]) {
      *offsets[a] = offset[a];
      changed = true;
    }
  }
  return changed;
}

bool side_quantization_differs(const LASscaler& a, const LASscaler& b) {
  return a.x_scale_factor != b.x_scale_factor || a.y_scale_factor != b.y_scale_factor ||
         a.z_scale_factor != b.z_scale_factor || a.x_offset != b.x_offset ||
         a.y_offset != b.y_offset || a.z_offset != b.z_offset;
}

bool side_bounds_fit(const LASheader& h) {
  static const char* const kNames[6] = {"min_x", "max_x", "min_y", "max_y", "min_z", "max_z"};
  const double bounds[6] = {h.min_x, h.max_x, h.min_y, h.max_y, h.min_z, h.max_z};
  const double scales[3] = {h.x_scale_factor, h.y_scale_factor, h.z_scale_factor};
  const double offsets[3] = {h.x_offset, h.y_offset, h.z_offset};
  for (int b = 0; b < 6; b++) {
    const double n = (bounds[b] - offsets[b / 2]) / scales[b / 2];
    if (!(n > -2147483648.5 && n < 2147483647.5)) {
      std::fprintf(stderr,
                   "ERROR: %s = %g does not fit a 32-bit integer with scale factor %g and offset "
                   "%g\n",
                   kNames[b], bounds[b], scales[b / 2], offsets[b / 2]);
      return false;
    }
  }
  return true;
}

namespace {

bool quotient_fits(double value, double scale, double offset) {
  const double n = (value - offset) / scale;
  return n > -2147483648.5 && n < 2147483647.5;
}

struct AxisBox {
  double min, max;
  bool held_by(double scale, double offset) const {
    return quotient_fits(min, scale, offset) && quotient_fits(max, scale, offset);
  }
};

// Decimal quanta a reader may coarsen to; none coarser than 1, which is
// already a metre (or a degree).
constexpr double kQuanta[] = {1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0};

// The reader's own scale factor for an axis: `preferred`, or the first
// coarser decimal quantum that holds the box with the offset (the fixed one,
// or one near the centre).
double own_scale(const AxisBox& box, double preferred, const double* fixed_offset) {
  double scale = preferred;
  const auto offset_for = [&](double s) {
    return fixed_offset ? *fixed_offset : side_choose_offset(box.min, box.max, s);
  };
  for (double q : kQuanta) {
    if (box.held_by(scale, offset_for(scale))) break;
    if (q > scale) scale = q;
  }
  return scale;
}

}  // namespace

bool side_coordinates_fit(const LASscaler& q, const double xyz[3]) {
  return quotient_fits(xyz[0], q.x_scale_factor, q.x_offset) &&
         quotient_fits(xyz[1], q.y_scale_factor, q.y_offset) &&
         quotient_fits(xyz[2], q.z_scale_factor, q.z_offset);
}

bool side_quantization_holds(const LASheader& h, const LASscaler& own) {
  static const char* const kNames[6] = {"min_x", "max_x", "min_y", "max_y", "min_z", "max_z"};
  const double bounds[6] = {h.min_x, h.max_x, h.min_y, h.max_y, h.min_z, h.max_z};
  const double scales[3] = {h.x_scale_factor, h.y_scale_factor, h.z_scale_factor};
  const double offsets[3] = {h.x_offset, h.y_offset, h.z_offset};
  const double own_scales[3] = {own.x_scale_factor, own.y_scale_factor, own.z_scale_factor};
  const double own_offsets[3] = {own.x_offset, own.y_offset, own.z_offset};
  for (int b = 0; b < 6; b++) {
    const int a = b / 2;
    if (quotient_fits(bounds[b], scales[a], offsets[a])) continue;
    const bool rescaled = scales[a] != own_scales[a];
    const bool reoffset = offsets[a] != own_offsets[a];
    if (rescaled && reoffset) {
      std::fprintf(stderr,
                   "ERROR: rescaling from %g to %g and reoffsetting from %g to %g causes LAS "
                   "integer overflow for %s\n",
                   own_scales[a], scales[a], own_offsets[a], offsets[a], kNames[b]);
    } else if (rescaled) {
      std::fprintf(stderr, "ERROR: rescaling from %g to %g causes LAS integer overflow for %s\n",
                   own_scales[a], scales[a], kNames[b]);
    } else if (reoffset) {
      std::fprintf(stderr, "ERROR: reoffsetting from %g to %g causes LAS integer overflow for %s\n",
                   own_offsets[a], offsets[a], kNames[b]);
    } else {
      std::fprintf(stderr,
                   "ERROR: %s = %g cannot be held by a 32-bit integer at a scale factor of %g\n",
                   kNames[b], bounds[b], scales[a]);
    }
    return false;
  }
  return true;
}

bool side_fit_quantization(LASheader* h, const double preferred[3],
                           const LASrequestedQuantizer& requested) {
  LASscaler own;
  if (side_choose_quantization(h, preferred, requested, &own)) return true;
  return side_quantization_holds(*h, own);
}

bool side_choose_quantization(LASheader* h, const double preferred[3],
                              const LASrequestedQuantizer& requested, LASscaler* own) {
  double* scales[3] = {&h->x_scale_factor, &h->y_scale_factor, &h->z_scale_factor};
  double* offsets[3] = {&h->x_offset, &h->y_offset, &h->z_offset};
  const AxisBox boxes[3] = {{h->min_x, h->max_x}, {h->min_y, h->max_y}, {h->min_z, h->max_z}};
  double* own_scales[3] = {&own->x_scale_factor, &own->y_scale_factor, &own->z_scale_factor};
  double* own_offsets[3] = {&own->x_offset, &own->y_offset, &own->z_offset};
  bool held = true;
  for (int a = 0; a < 3; a++) {
    const AxisBox& box = boxes[a];
    *own_scales[a] = own_scale(box, preferred[a], nullptr);
    *own_offsets[a] = side_choose_offset(box.min, box.max, *own_scales[a]);
    const double* fixed = requested.offset_set ? &requested.offset[a] : nullptr;
    // A requested 0 (as "-rescale_xy" leaves z) keeps the choice for that axis.
    const bool scale_given = requested.scale_factor_set && requested.scale_factor[a] != 0.0;
    *scales[a] = scale_given ? requested.scale_factor[a] : own_scale(box, preferred[a], fixed);
    *offsets[a] = fixed ? *fixed : side_choose_offset(box.min, box.max, *scales[a]);
    held = held && box.held_by(*scales[a], *offsets[a]);
  }
  return held;
}

void LASrequestedQuantizer::set_scale_factor(const double* xyz) {
  scale_factor_set = xyz != nullptr;
  for (int a = 0; a < 3; a++) scale_factor[a] = xyz ? xyz[a] : 0.0;
}

void LASrequestedQuantizer::set_offset(const double* xyz) {
  offset_set = xyz != nullptr;
  for (int a = 0; a < 3; a++) offset[a] = xyz ? xyz[a] : 0.0;
}

void LASrequestedQuantizer::apply(LASheader* h, const double chosen[3]) const {
  double* scales[3] = {&h->x_scale_factor, &h->y_scale_factor, &h->z_scale_factor};
  double* offsets[3] = {&h->x_offset, &h->y_offset, &h->z_offset};
  const double mins[3] = {h->min_x, h->min_y, h->min_z};
  const double maxs[3] = {h->max_x, h->max_y, h->max_z};
  for (int a = 0; a < 3; a++) {
    // A requested 0 (as "-rescale_xy" leaves z) keeps the choice for that axis.
    *scales[a] = scale_factor_set && scale_factor[a] != 0.0 ? scale_factor[a] : chosen[a];
    *offsets[a] = offset_set ? offset[a] : side_choose_offset(mins[a], maxs[a], *scales[a]);
  }
}

void LASrequestedQuantizer::replace(LASheader* header) const {
  if (scale_factor_set) side_apply_rescale(header, scale_factor);
  if (offset_set) side_apply_reoffset(header, offset);
}

void side_widen_box(LASheader* h, const double xyz[3], bool first) {
  const double x = xyz[0], y = xyz[1], z = xyz[2];
  if (first) {
    h->min_x = h->max_x = x;
    h->min_y = h->max_y = y;
    h->min_z = h->max_z = z;
    return;
  }
  if (x < h->min_x) {
    h->min_x = x;
  } else if (x > h->max_x) {
    h->max_x = x;
  }
  if (y < h->min_y) {
    h->min_y = y;
  } else if (y > h->max_y) {
    h->max_y = y;
  }
  if (z < h->min_z) {
    h->min_z = z;
  } else if (z > h->max_z) {
    h->max_z = z;
  }
}

void side_widen_bounds(LASheader* h, const LASpoint& point, bool first) {
  side_widen_box(h, point.coordinates, first);
  for (int32_t k = 0; k < h->number_attributes; k++) {
    h->attributes[k].widen_range(point.extra_bytes.get() + h->attribute_starts[k], first);
  }
}

uint8_t side_format_for_parse_string(const char* parse_string) {
  const char* p = parse_string ? parse_string : "";
  const bool colour = std::strpbrk(p, "RGBH") != nullptr;
  if (std::strpbrk(p, "olI") == nullptr) {
    return std::strchr(p, 't') ? (colour ? 3 : 1) : (colour ? 2 : 0);
  }
  return std::strchr(p, 'I') ? 8 : colour ? 7 : 6;
}

int32_t side_base_record_length(uint8_t format) {
  static const int32_t kLengths[9] = {20, 28, 26, 34, 0, 0, 30, 36, 38};
  return format < 9 ? kLengths[format] : 0;
}

void side_count_return(LASheader* header, uint8_t point_type, uint8_t return_number) {
  if (return_number == 0) return;
  if (point_type > 5 || header->version_minor >= 4) {
    if (return_number <= 15) header->extended_number_of_points_by_return[return_number - 1]++;
  } else if (return_number <= 5) {
    header->number_of_points_by_return[return_number - 1]++;
  }
}
