#include "io/formats/text_parse.hpp"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/las_attributes.hpp"
#include "core/las_point.hpp"
#include "platform/run_messages.hpp"

namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';';
}

const char* const kHelpLines[] = {
    "       'x' : the <x> coordinate\n",
    "       'y' : the <y> coordinate\n",
    "       'z' : the <z> coordinate\n",
    "       't' : the gps <t>ime\n",
    "       'R' : the <R>ed channel of the RGB field\n",
    "       'G' : the <G>reen channel of the RGB field\n",
    "       'B' : the <B>lue channel of the RGB field\n",
    "       'I' : the N<I>R channel of LAS 1.4 point type 8\n",
    "       's' : <s>kip a string or a number that we don't care about\n",
    "       'i' : the <i>ntensity\n",
    "       'a' : the scan <a>ngle\n",
    "       'n' : the <n>umber of returns of that given pulse\n",
    "       'r' : the number of the <r>eturn\n",
    "       'h' : the with<h>eld flag\n",
    "       'k' : the <k>eypoint flag\n",
    "       'g' : the synthetic fla<g>\n",
    "       'o' : the <o>verlap flag of LAS 1.4 point types 6, 7, 8\n",
    "       'l' : the scanner channe<l> of LAS 1.4 point types 6, 7, 8\n",
    "       'E' : terrasolid <E>hco Encoding\n",
    "       'c' : the <c>lassification\n",
    "       'u' : the <u>ser data\n",
    "       'p' : the <p>oint source ID\n",
    "       'e' : the <e>dge of flight line flag\n",
    "       'd' : the <d>irection of scan flag\n",
    "   '0'-'9' : additional attributes described as extra bytes (0 through 9)\n",
    "    '(13)' : additional attributes described as extra bytes (10 and up)\n",
    "       'H' : a hexadecimal string encoding the RGB color\n",
    "       'J' : a hexadecimal string encoding the intensity\n",
};

// The number of a "(N)" group that starts at text[0] == '('; *length gets
// the characters up to and including ')'. -1: no digit, -2: no ')'. Large
// numbers saturate (they are never described).
int32_t bracket_index(const char* text, int32_t* length) {
  const char* p = text + 1;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
  int64_t n = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    if (n < INT32_MAX) n = n * 10 + (*p - '0');
    p++;
  }
  if (n > INT32_MAX) n = INT32_MAX;
  *length = static_cast<int32_t>(p - text) + 1;
  return *p == ')' ? static_cast<int32_t>(n) : -2;
}

// sscanf's "%d": a number that overflows is held at the ends of int.
bool scan_int(const char* p, int* value) {
  char* end;
  const long v = std::strtol(p, &end, 10);
  if (end == p) return false;
  *value = v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
  return true;
}

bool scan_double(const char* p, double* value) {
  char* end;
  *value = std::strtod(p, &end);
  return end != p;
}

// "nan", "inf" and numbers beyond the doubles (1e400) are no place.
bool scan_coordinate(const char* p, double* value) {
  return scan_double(p, value) && std::isfinite(*value);
}

void warn(const LAStextFields& f, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warn(const LAStextFields& f, const char* format, ...) {
  if (f.quiet || quiet_run()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

bool scan_float(const char* p, float* value) {
  char* end;
  *value = std::strtof(p, &end);
  return end != p;
}

bool hex_pair(const char* p, int* value) {
  if (!std::isxdigit(static_cast<unsigned char>(p[0])) ||
      !std::isxdigit(static_cast<unsigned char>(p[1]))) {
    return false;
  }
  char pair[3] = {p[0], p[1], '\0'};
  *value = static_cast<int>(std::strtol(pair, nullptr, 16));
  return true;
}

// A single precision value into 16 bits, rounded; the low 16 bits above the
// range, as stored files have it (held first at the ends of int32).
uint16_t low16_rounded(float v) {
  const double r = static_cast<double>(v) + 0.5;
  const int64_t n = r >= 2147483647.0 ? INT32_MAX : static_cast<int64_t>(r);
  return static_cast<uint16_t>(n & 0xFFFF);
}

}  // namespace

void text_store_intensity(float v, const LAStextFields& f, LASpoint* point) {
  if (f.translate_intensity != 0.0f) v += f.translate_intensity;
  if (f.scale_intensity != 1.0f) v *= f.scale_intensity;
  // NaN too is out of range, and stored as 0 like a negative value.
  if (!(v >= 0.0f && v < 65535.5f)) {
    warn(f, "WARNING: intensity %g is out of range of unsigned short\n", static_cast<double>(v));
  }
  point->set_intensity(v >= 0.0f ? low16_rounded(v) : 0);
}

namespace {

void store_scan_angle(float v, const LAStextFields& f, LASpoint* point) {
  if (f.translate_scan_angle != 0.0f) v += f.translate_scan_angle;
  if (f.scale_scan_angle != 1.0f) v *= f.scale_scan_angle;
  if (v < -128.0f || v > 127.0f) {
    warn(f, "WARNING: scan angle %g is out of range of char\n", static_cast<double>(v));
  }
  point->store_scan_angle(v);
}

void store_classification(int v, const LAStextFields& f, LASpoint* point) {
  if (v < 0) {
    warn(f, "WARNING: classification %d is negative. zeroing ...\n", v);
    point->set_classification(0);
    point->set_extended_classification(0);
  } else if (f.point_type > 5) {
    if (v > 255) {
      warn(f, "WARNING: extended classification %d is larger than 255. clamping ...\n", v);
      v = 255;
    }
    point->set_extended_classification(static_cast<uint8_t>(v));
    point->set_classification(v < 32 ? static_cast<uint8_t>(v) : 0);
  } else {
    if (v > 31) {
      warn(f, "WARNING: classification %d is larger than 31. clamping ...\n", v);
      v = 31;
    }
    point->set_classification(static_cast<uint8_t>(v));
    point->set_extended_classification(static_cast<uint8_t>(v));
  }
}

// 'n' and 'r': three legacy bits below format 6, four extended bits from 6 on.
void store_return_field(int v, bool is_number, const LAStextFields& f, LASpoint* point) {
  const unsigned u = static_cast<unsigned>(v);
  if (f.point_type < 6) {
    if (u > 7) {
      warn(f,
           is_number
               ? "WARNING: number of returns of given pulse %d is out of range of three bits\n"
               : "WARNING: return number %d is out of range of three bits\n",
           v);
    }
    if (is_number) {
      point->set_number_of_returns(static_cast<uint8_t>(v & 7));
    } else {
      point->set_return_number(static_cast<uint8_t>(v & 7));
    }
  } else {
    if (u > 15) {
      warn(f,
           is_number ? "WARNING: number of returns of given pulse %d is out of range of four bits\n"
                     : "WARNING: return number %d is out of range of four bits\n",
           v);
    }
    if (is_number) {
      point->set_extended_number_of_returns(static_cast<uint8_t>(v & 15));
    } else {
      point->set_extended_return_number(static_cast<uint8_t>(v & 15));
    }
  }
}

// An integer letter: scanned with "%d", then stored by its letter.
void store_integer_letter(char letter, int v, const LAStextFields& f, LASpoint* point) {
  const unsigned u = static_cast<unsigned>(v);
  switch (letter) {
    case 'R':
    case 'G':
    case 'B':
    case 'I':
      point->rgb[letter == 'R' ? 0 : letter == 'G' ? 1 : letter == 'B' ? 2 : 3] =
          static_cast<uint16_t>(u & 0xFFFF);
      break;
    case 'n':
    case 'r':
      store_return_field(v, letter == 'n', f, point);
      break;
    case 'c':
      store_classification(v, f, point);
      break;
    case 'u':
      if (u >= 256) {
        warn(f, "WARNING: user data %d is out of range of unsigned char\n", v);
        point->set_user_data(v <= 0 ? 0 : 255);
      } else {
        point->set_user_data(static_cast<uint8_t>(u));
      }
      break;
    case 'p':
      if (u >= 65536) {
        warn(f, "WARNING: point source ID %d is out of range of unsigned short\n", v);
        point->set_point_source_ID(v <= 0 ? 0 : 65535);
      } else {
        point->set_point_source_ID(static_cast<uint16_t>(u));
      }
      break;
    case 'e':
      if (u > 1) {
        warn(f, "WARNING: edge of flight line flag %d is out of range of boolean flag\n", v);
      }
      point->set_edge_of_flight_line(v != 0);
      break;
    case 'd':
      if (u > 1) {
        warn(f, "WARNING: direction of scan flag %d is out of range of boolean flag\n", v);
      }
      point->set_scan_direction_flag(v != 0);
      break;
    case 'h':
      if (u > 1) {
        warn(f, "WARNING: withheld flag %d is out of range of single bit\n", v);
      }
      point->set_withheld_flag(v != 0);
      point->set_extended_withheld_flag(v != 0);
      break;
    case 'k':
      if (u > 1) {
        warn(f, "WARNING: keypoint flag %d is out of range of single bit\n", v);
      }
      point->set_keypoint_flag(v != 0);
      point->set_extended_keypoint_flag(v != 0);
      break;
    case 'g':
      point->set_synthetic_flag(v != 0);
      point->set_extended_synthetic_flag(v != 0);
      break;
    case 'o':
      if (u > 1) {
        warn(f, "WARNING: overlap flag %d is out of range of single bit\n", v);
      }
      point->set_extended_overlap_flag(v != 0);
      break;
    case 'l':
      if (u > 3) {
        warn(f, "WARNING: scanner channel %d is out of range of two bits\n", v);
      }
      point->set_extended_scanner_channel(static_cast<uint8_t>(v & 3));
      break;
    case 'E':
      if (u > 3) {
        warn(f, "WARNING: terrasolid echo encoding %d is out of range of 0 to 3\n", v);
      }
      point->set_return_number(v == 0 || v == 1 ? 1 : 2);
      point->set_number_of_returns(v == 0 ? 1 : v == 1 || v == 3 ? 2 : 3);
      break;
  }
}

void skip_quotes(const char** p) {
  while (**p == '"') (*p)++;
}

// Moves over at most n characters, never past the end of the line.
void pass(const char** p, int n) {
  while (n-- > 0 && **p) (*p)++;
}

}  // namespace

bool text_check_parse_string(const char* parse_string, const LASattributeTable& attributes) {
  static const char kLetters[] = "BEGHIJRacdeghiklnoprstuxyz";
  for (const char* p = parse_string; *p; p++) {
    if (std::strchr(kLetters, *p)) continue;
    if (*p >= '0' && *p <= '9') {
      const int index = *p - '0';
      if (index >= attributes.number_attributes) {
        std::fprintf(stderr, "ERROR: extra bytes attribute '%d' was not described.\n", index);
        return false;
      }
      continue;
    }
    if (*p == '(') {
      int32_t length = 0;
      const int32_t index = bracket_index(p, &length);
      if (index == -1) {
        std::fprintf(stderr, "ERROR: parse string opening bracket '(' misses extra bytes index.\n");
        return false;
      }
      // The number is read in full even without its ')', so the message names it.
      int32_t n = 0;
      for (const char* d = p + 1; std::isdigit(static_cast<unsigned char>(*d)); d++) {
        n = n > (INT32_MAX - 9) / 10 ? INT32_MAX : n * 10 + (*d - '0');
      }
      if (n >= attributes.number_attributes) {
        std::fprintf(stderr, "ERROR: extra bytes attribute '%d' was not described.\n", n);
        return false;
      }
      if (index == -2) {
        std::fprintf(stderr, "ERROR: extra bytes attribute '%d' misses closing bracket.\n", n);
        return false;
      }
      p += length - 1;
      continue;
    }
    std::fprintf(stderr, "ERROR: unknown symbol '%c' in parse string. valid are\n", *p);
    for (const char* line : kHelpLines) std::fputs(line, stderr);
    return false;
  }
  return true;
}

bool text_store_attribute(int32_t index, double value, const LAStextFields& f, LASpoint* point) {
  const LASattributeTable* table = f.attributes;
  if (table == nullptr || index < 0 || index >= table->number_attributes) return false;
  const LASattributeDescriptor& d = table->attributes[index];
  const int32_t start = table->attribute_starts[index];
  if (!point->extra_bytes || start < 0 ||
      start + table->attribute_sizes[index] > point->extra_bytes_number) {
    return false;
  }
  uint8_t* at = point->extra_bytes.get() + start;
  double v = value;
  const double pre_scale = f.pre_scales ? f.pre_scales[index] : 1.0;
  const double pre_offset = f.pre_offsets ? f.pre_offsets[index] : 0.0;
  if (pre_scale != 1.0) v *= pre_scale;
  if (pre_offset != 0.0) v -= pre_offset;
  const int type = d.data_type == 0 ? -1 : (d.data_type - 1) % 10;
  if (type >= 0 && type <= 5) {
    if (d.options & LASattributeDescriptor::kOffsetBit) v -= d.offset[0];
    if (d.options & LASattributeDescriptor::kScaleBit) v /= d.scale[0];
  }
  struct Range {
    const char* name;
    int64_t lo, hi;
  };
  static const Range kRanges[4] = {
      {"U8", 0, 255}, {"I8", -128, 127}, {"U16", 0, 65535}, {"I16", -32768, 32767}};
  switch (type) {
    case 0:
    case 1:
    case 2:
    case 3: {
      const Range& r = kRanges[type];
      int64_t n = las_round_clamped(v, INT32_MIN, INT32_MAX);
      if (n < r.lo || n > r.hi) {
        warn(f, "WARNING: attribute %d of type %s is %d. clamped to [%d %d] range.\n", index,
             r.name, static_cast<int>(n), static_cast<int>(r.lo), static_cast<int>(r.hi));
        n = n < r.lo ? r.lo : r.hi;
      }
      if (type == 0) *at = static_cast<uint8_t>(n);
      if (type == 1) *reinterpret_cast<int8_t*>(at) = static_cast<int8_t>(n);
      if (type == 2) {
        const uint16_t s = static_cast<uint16_t>(n);
        std::memcpy(at, &s, 2);
      }
      if (type == 3) {
        const int16_t s = static_cast<int16_t>(n);
        std::memcpy(at, &s, 2);
      }
      return true;
    }
    case 4: {
      const uint32_t n = !(v >= 0.0)         ? 0u
                         : v >= 4294967295.0 ? UINT32_MAX
                                             : static_cast<uint32_t>(v + 0.5);
      std::memcpy(at, &n, 4);
      return true;
    }
    case 5: {
      const int32_t n = static_cast<int32_t>(las_round_clamped(v, INT32_MIN, INT32_MAX));
      std::memcpy(at, &n, 4);
      return true;
    }
    case 8: {
      const float s = static_cast<float>(v);
      std::memcpy(at, &s, 4);
      return true;
    }
    case 9:
      std::memcpy(at, &v, 8);
      return true;
    default:
      warn(f, "WARNING: attribute %d not (yet) implemented.\n", index);
      return false;
  }
}

bool text_parse_line(const char* line, const char* parse_string, const LAStextFields& f,
                     LASpoint* point, const char** end) {
  const char* p = line;
  for (const char* l = parse_string; *l; l++) {
    while (is_separator(*p)) p++;
    if (*p == '\0') return false;
    const char letter = *l;
    switch (letter) {
      case 'x':
      case 'y':
      case 'z':
        if (!scan_coordinate(p, &point->coordinates[letter - 'x'])) return false;
        break;
      case 't': {
        double t;
        if (!scan_double(p, &t)) return false;
        point->set_gps_time(t);
        break;
      }
      case 'i': {
        float v;
        if (!scan_float(p, &v)) return false;
        text_store_intensity(v, f, point);
        break;
      }
      case 'a': {
        float v;
        if (!scan_float(p, &v)) return false;
        store_scan_angle(v, f, point);
        break;
      }
      case 's':
        break;
      case 'H': {
        skip_quotes(&p);
        int rgb[3];
        for (int k = 0; k < 3; k++) {
          if (!hex_pair(p + 2 * k, &rgb[k])) return false;
        }
        point->set_R(static_cast<uint16_t>(rgb[0]));
        point->set_G(static_cast<uint16_t>(rgb[1]));
        point->set_B(static_cast<uint16_t>(rgb[2]));
        pass(&p, 6);
        break;
      }
      case 'J': {
        skip_quotes(&p);
        char* after;
        const unsigned long v = std::strtoul(p, &after, 16);
        if (after == p) return false;
        const double scaled = static_cast<double>(v) / 16777215.0 * 255.0;
        point->set_intensity(scaled <= 0.0 ? 0 : scaled >= 255.0 ? 255 : static_cast<uint16_t>(scaled));
        pass(&p, 6);
        break;
      }
      case '(': {
        int32_t length = 0;
        const int32_t index = bracket_index(l, &length);
        double v;
        if (index < 0 || !scan_double(p, &v) || !text_store_attribute(index, v, f, point)) {
          return false;
        }
        l += length - 1;
        break;
      }
      default:
        if (letter >= '0' && letter <= '9') {
          double v;
          if (!scan_double(p, &v) || !text_store_attribute(letter - '0', v, f, point)) return false;
        } else {
          int v;
          if (!scan_int(p, &v)) return false;
          store_integer_letter(letter, v, f, point);
        }
        break;
    }
    while (*p && !is_separator(*p)) p++;
  }
  if (end) *end = p;
  return true;
}
