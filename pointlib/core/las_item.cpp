#include "core/las_item.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Fixed sizes of the item types; 0 for BYTE/BYTE14 (any size) and for codes
// that are not item types.
uint16_t fixed_size(int32_t type) {
  switch (type) {
    case LASitem::POINT10:
      return 20;
    case LASitem::GPSTIME11:
      return 8;
    case LASitem::RGB12:
      return 6;
    case LASitem::WAVEPACKET13:
      return 29;
    case LASitem::POINT14:
      return 30;
    case LASitem::RGB14:
      return 6;
    case LASitem::RGBNIR14:
      return 8;
    case LASitem::WAVEPACKET14:
      return 29;
    default:
      return 0;
  }
}

std::string format(const char* fmt, long a, long b = 0, long c = 0, long d = 0) {
  char buffer[256];
  std::snprintf(buffer, sizeof(buffer), fmt, a, b, c, d);
  return buffer;
}

void put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put_u64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t get_le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; i--) v = (v << 8) | p[i];
  return v;
}

}  // namespace

bool LASitem::is_type(Type t) const {
  if (type != t) return false;
  if (t == BYTE || t == BYTE14) return size != 0;
  uint16_t expected = fixed_size(t);
  return expected != 0 && size == expected;
}

const char* LASitem::get_name() const {
  switch (type) {
    case BYTE:
      return "BYTE";
    case POINT10:
      return "POINT10";
    case GPSTIME11:
      return "GPSTIME11";
    case RGB12:
      return "RGB12";
    case WAVEPACKET13:
      return "WAVEPACKET13";
    case POINT14:
      return "POINT14";
    case RGB14:
      return "RGB14";
    case RGBNIR14:
      return "RGBNIR14";
    case WAVEPACKET14:
      return "WAVEPACKET14";
    case BYTE14:
      return "BYTE14";
  }
  return "unknown";
}

bool LAScompressorSetup::fail(const std::string& message) {
  char buffer[320];
  std::snprintf(buffer, sizeof(buffer), "%s (Vexpak v%d.%dr%d)", message.c_str(), kVersionMajor,
                kVersionMinor, kVersionRevision);
  error_ = buffer;
  return false;
}

bool LAScompressorSetup::check_compressor(uint16_t value) {
  if (value < 4) return true;
  return fail(format("compressor %ld not supported", value));
}

bool LAScompressorSetup::check_coder(uint16_t value) {
  if (value == 0) return true;
  return fail(format("coder %ld not supported", value));
}

bool LAScompressorSetup::check_item(const LASitem& item) {
  const uint16_t v = item.version;
  const bool v0234 = v == 0 || v == 2 || v == 3 || v == 4;
  switch (item.type) {
    case LASitem::BYTE:
      if (item.size < 1) return fail("BYTE has size < 1");
      if (v > 2) return fail("BYTE has version > 2");
      return true;
    case LASitem::POINT10:
      if (item.size != 20) return fail("POINT10 has size != 20");
      if (v > 2) return fail("POINT10 has version > 2");
      return true;
    case LASitem::GPSTIME11:
      if (item.size != 8) return fail("GPSTIME11 has size != 8");
      if (v > 2) return fail("GPSTIME11 has version > 2");
      return true;
    case LASitem::RGB12:
      if (item.size != 6) return fail("RGB12 has size != 6");
      if (v > 2) return fail("RGB12 has version > 2");
      return true;
    case LASitem::WAVEPACKET13:
      if (item.size != 29) return fail("WAVEPACKET13 has size != 29");
      if (v > 1) return fail("WAVEPACKET13 has version > 1");
      return true;
    case LASitem::POINT14:
      if (item.size != 30) return fail("POINT14 has size != 30");
      if (!v0234) return fail("POINT14 has version != 0 and != 2 and != 3 and != 4");
      return true;
    case LASitem::RGB14:
      if (item.size != 6) return fail("RGB14 has size != 6");
      if (!v0234) return fail("RGB14 has version != 0 and != 2 and != 3 and != 4");
      return true;
    case LASitem::RGBNIR14:
      if (item.size != 8) return fail("RGBNIR14 has size != 8");
      if (!v0234) return fail("RGBNIR14 has version != 0 and != 2 and != 3 and != 4");
      return true;
    case LASitem::WAVEPACKET14:
      if (item.size != 29) return fail("WAVEPACKET14 has size != 29");
      if (v != 0 && v != 3 && v != 4)
        return fail("WAVEPACKET14 has version != 0 and != 3 and != 4");
      return true;
    case LASitem::BYTE14:
      if (item.size < 1) return fail("BYTE14 has size < 1");
      if (!v0234) return fail("BYTE14 has version != 0 and != 2 and != 3 and != 4");
      return true;
  }
  return fail(
      format("item unknown (%ld,%ld,%ld)", static_cast<long>(item.type), item.size, item.version));
}

bool LAScompressorSetup::check_items(uint16_t n, const LASitem* list, uint16_t point_size) {
  if (n == 0) return fail("number of items cannot be zero");
  if (list == nullptr) return fail("items pointer cannot be NULL");
  uint16_t sum = 0;  // summed in 16 bits on purpose, as stored lengths are
  for (uint16_t i = 0; i < n; i++) {
    if (!check_item(list[i])) return false;
    sum = static_cast<uint16_t>(sum + list[i].size);
  }
  if (point_size != 0 && point_size != sum) {
    return fail(
        format("point has size of %ld but items only add up to %ld bytes", point_size, sum));
  }
  return true;
}

bool LAScompressorSetup::setup(uint16_t n, const LASitem* list, uint16_t requested_compressor) {
  if (!check_compressor(requested_compressor)) return false;
  if (!check_items(n, list)) return false;
  if (requested_compressor == LAScompressorKind::raw) {
    compressor = LAScompressorKind::raw;
  } else if (list[0].type == LASitem::POINT14) {
    // extended points are only coded in layers
    if (requested_compressor != LAScompressorKind::multistream_chunked) return false;
    compressor = requested_compressor;
  } else if (requested_compressor == LAScompressorKind::multistream_chunked) {
    compressor = LAScompressorKind::sequential_chunked;
  } else {
    compressor = requested_compressor;
  }
  if (requested_compressor != LAScompressorKind::sequential && chunk_size == 0) {
    chunk_size = kDefaultChunkSize;
  }
  items.assign(list, list + n);
  num_items = n;
  return true;
}

uint16_t LAScompressorSetup::standard_point_size(uint8_t point_type) {
  static const uint16_t kStandardSize[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return point_type <= 10 ? kStandardSize[point_type] : 0;
}

bool LAScompressorSetup::setup_from_point_type(uint8_t point_type, uint16_t point_size,
                                               uint16_t* out_num_items,
                                               std::vector<LASitem>* out_items) {
  if (point_type > 10) return fail(format("point type %ld unknown", point_type));
  const uint16_t standard = standard_point_size(point_type);
  const bool extended = point_type >= 6;
  bool have_gps_time = false, have_rgb = false, have_nir = false, have_wavepacket = false;
  switch (point_type) {
    case 1:
      have_gps_time = true;
      break;
    case 2:
      have_rgb = true;
      break;
    case 3:
      have_gps_time = have_rgb = true;
      break;
    case 4:
      have_gps_time = have_wavepacket = true;
      break;
    case 5:
      have_gps_time = have_rgb = have_wavepacket = true;
      break;
    case 7:
      have_rgb = true;
      break;
    case 8:
      have_rgb = have_nir = true;
      break;
    case 9:
      have_wavepacket = true;
      break;
    case 10:
      have_rgb = have_nir = have_wavepacket = true;
      break;
    default:
      break;
  }
  int extra = static_cast<int>(point_size) - standard;
  if (extra < 0) {
    std::fprintf(stderr,
                 "WARNING: point size %d too small by %d bytes for point type %d. assuming "
                 "point_size of %d\n",
                 point_size, -extra, point_type, standard);
    extra = 0;
  }
  const bool legacy_layout = extended && (options & 1u);
  std::vector<LASitem> list;
  if (!extended || legacy_layout) {
    list.push_back({LASitem::POINT10, 20, 0});
    list.push_back({LASitem::GPSTIME11, 8, 0});
    if (!extended && !have_gps_time) list.pop_back();
    if (have_rgb) list.push_back({LASitem::RGB12, 6, 0});
    if (have_wavepacket) list.push_back({LASitem::WAVEPACKET13, 29, 0});
    if (legacy_layout) extra += have_nir ? 7 : 5;  // the extended fields ride in the extra bytes
    if (extra > 0) list.push_back({LASitem::BYTE, static_cast<uint16_t>(extra), 0});
  } else {
    list.push_back({LASitem::POINT14, 30, 0});
    if (have_rgb)
      list.push_back({have_nir ? LASitem::RGBNIR14 : LASitem::RGB14,
                      static_cast<uint16_t>(have_nir ? 8 : 6), 0});
    if (have_wavepacket) list.push_back({LASitem::WAVEPACKET14, 29, 0});
    if (extra > 0) list.push_back({LASitem::BYTE14, static_cast<uint16_t>(extra), 0});
  }
  *out_num_items = static_cast<uint16_t>(list.size());
  *out_items = std::move(list);
  return true;
}

bool LAScompressorSetup::validate(uint16_t point_size) {
  if (!check_compressor(compressor)) return false;
  if (!check_coder(coder)) return false;
  return check_items(num_items, num_items ? items.data() : nullptr, point_size);
}

bool LAScompressorSetup::choose_version(uint16_t requested) {
  if (num_items == 0 || items.empty()) return fail("call setup() before requesting version");
  if (compressor == LAScompressorKind::raw) {
    if (requested != 0) return fail("without compression version is always 0");
  } else {
    if (requested == 0) return fail("with compression version is at least 1");
    if (requested > 2) return fail("version larger than 2 not supported");
  }
  for (uint16_t i = 0; i < num_items; i++) {
    switch (items[i].type) {
      case LASitem::BYTE:
      case LASitem::POINT10:
      case LASitem::GPSTIME11:
      case LASitem::RGB12:
        items[i].version = requested;
        break;
      case LASitem::WAVEPACKET13:
        items[i].version = 1;
        break;
      case LASitem::POINT14:
      case LASitem::RGB14:
      case LASitem::RGBNIR14:
      case LASitem::WAVEPACKET14:
      case LASitem::BYTE14:
        items[i].version = 3;
        break;
      default:
        return fail("item type not supported");
    }
  }
  return true;
}

bool LAScompressorSetup::change_chunk_size(uint32_t size) {
  if (num_items == 0 || items.empty()) return fail("call setup() before setting chunk size");
  if (compressor == LAScompressorKind::sequential) return false;
  chunk_size = size;
  return true;
}

bool LAScompressorSetup::derive_point_type(uint16_t n, const LASitem* list, uint8_t* point_type,
                                           uint16_t* point_size) {
  *point_type = 127;
  uint16_t sum = 0;
  for (uint16_t i = 0; list && i < n; i++) sum = static_cast<uint16_t>(sum + list[i].size);
  *point_size = sum;
  if (list == nullptr) return fail("LASitem array is zero");
  if (n < 1) return fail("less than one LASitem entries");
  if (n > 5) return fail("more than five LASitem entries");

  struct Row {
    uint8_t format;
    uint16_t count;
    LASitemType types[4];
  };
  static const Row kLegacy[] = {
      {0, 1, {LASitem::POINT10}},
      {1, 2, {LASitem::POINT10, LASitem::GPSTIME11}},
      {2, 2, {LASitem::POINT10, LASitem::RGB12}},
      {3, 3, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::RGB12}},
      {4, 3, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::WAVEPACKET13}},
      {5, 4, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::RGB12, LASitem::WAVEPACKET13}},
  };
  static const Row kExtended[] = {
      {6, 1, {LASitem::POINT14}},
      {7, 2, {LASitem::POINT14, LASitem::RGB14}},
      {8, 2, {LASitem::POINT14, LASitem::RGBNIR14}},
      {9, 2, {LASitem::POINT14, LASitem::WAVEPACKET14}},
      {9, 2, {LASitem::POINT14, LASitem::WAVEPACKET13}},
      {10, 3, {LASitem::POINT14, LASitem::RGBNIR14, LASitem::WAVEPACKET14}},
      {10, 3, {LASitem::POINT14, LASitem::RGBNIR14, LASitem::WAVEPACKET13}},
  };

  const Row* rows;
  size_t row_count;
  uint16_t body = n;
  if (list[0].is_type(LASitem::POINT10)) {
    rows = kLegacy;
    row_count = sizeof(kLegacy) / sizeof(kLegacy[0]);
    if (n > 1 && list[n - 1].is_type(LASitem::BYTE)) body--;
  } else if (list[0].is_type(LASitem::POINT14)) {
    rows = kExtended;
    row_count = sizeof(kExtended) / sizeof(kExtended[0]);
    if (n > 1 && (list[n - 1].is_type(LASitem::BYTE) || list[n - 1].is_type(LASitem::BYTE14)))
      body--;
  } else {
    return fail("first LASitem is neither POINT10 nor POINT14");
  }
  for (size_t r = 0; r < row_count; r++) {
    if (rows[r].count != body) continue;
    bool match = true;
    for (uint16_t i = 0; i < body && match; i++) match = list[i].is_type(rows[r].types[i]);
    if (match) {
      *point_type = rows[r].format;
      return true;
    }
  }
  return fail("LASitem array does not match LAS specification 1.4");
}

std::vector<uint8_t> LAScompressorSetup::to_payload() const {
  std::vector<uint8_t> out(payload_size());
  uint8_t* p = out.data();
  put_u16(p + 0, compressor);
  put_u16(p + 2, coder);
  p[4] = version_major;
  p[5] = version_minor;
  put_u16(p + 6, version_revision);
  put_u32(p + 8, options);
  put_u32(p + 12, chunk_size);
  put_u64(p + 16, static_cast<uint64_t>(number_of_special_evlrs));
  put_u64(p + 24, static_cast<uint64_t>(offset_to_special_evlrs));
  put_u16(p + 32, num_items);
  for (uint16_t i = 0; i < num_items; i++) {
    uint8_t* q = p + 34 + 6 * i;
    put_u16(q, static_cast<uint16_t>(items[i].type));
    put_u16(q + 2, items[i].size);
    put_u16(q + 4, items[i].version);
  }
  return out;
}

bool LAScompressorSetup::from_payload(const uint8_t* data, uint32_t length) {
  struct Field {
    uint32_t offset;
    int bytes;
    const char* name;
  };
  static const Field kFields[] = {
      {0, 2, "compressor"},
      {2, 2, "coder"},
      {4, 1, "version_major"},
      {5, 1, "version_minor"},
      {6, 2, "version_revision"},
      {8, 4, "options"},
      {12, 4, "chunk_size"},
      {16, 8, "number_of_special_evlrs"},
      {24, 8, "offset_to_special_evlrs"},
      {32, 2, "num_items"},
  };
  uint64_t values[10] = {};
  for (int f = 0; f < 10; f++) {
    if (data == nullptr || kFields[f].offset + kFields[f].bytes > length) {
      std::fprintf(stderr, "ERROR: reading %s %d\n", kFields[f].name, 0);
      return false;
    }
    values[f] = get_le(data + kFields[f].offset, kFields[f].bytes);
  }
  const uint16_t n = static_cast<uint16_t>(values[9]);
  std::vector<LASitem> list(n);
  for (uint16_t i = 0; i < n; i++) {
    const uint32_t at = kPayloadFixedSize + kPayloadItemSize * i;
    static const char* const kItemFields[3] = {"type", "size", "version"};
    for (int k = 0; k < 3; k++) {
      if (at + 2 * k + 2 > length) {
        std::fprintf(stderr, "ERROR: reading %s %d of item %d\n", kItemFields[k], 0, i);
        return false;
      }
    }
    list[i].type = static_cast<LASitemType>(get_le(data + at, 2));
    list[i].size = static_cast<uint16_t>(get_le(data + at + 2, 2));
    list[i].version = static_cast<uint16_t>(get_le(data + at + 4, 2));
  }
  compressor = static_cast<uint16_t>(values[0]);
  coder = static_cast<uint16_t>(values[1]);
  version_major = static_cast<uint8_t>(values[2]);
  version_minor = static_cast<uint8_t>(values[3]);
  version_revision = static_cast<uint16_t>(values[4]);
  options = static_cast<uint32_t>(values[5]);
  chunk_size = static_cast<uint32_t>(values[6]);
  number_of_special_evlrs = static_cast<int64_t>(values[7]);
  offset_to_special_evlrs = static_cast<int64_t>(values[8]);
  num_items = n;
  items = std::move(list);
  return true;
}

bool LAScompressorSetup::lists_items(uint16_t n, const LASitem* list) const {
  return n != 0 && n == num_items && n == items.size() && list != nullptr &&
         std::equal(list, list + n, items.begin());
}
