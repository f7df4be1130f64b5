#include "core/las_item.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "platform/run_messages.hpp"

namespace {

using P = LASitemPlace;
using R = LASrawLayout;

// Version sets as bits: V(0) | V(2) is versions 0 and 2.
constexpr uint8_t V(int version) {
  return static_cast<uint8_t>(1u << version);
}

// clang-format off
const LASitemKind kItemKinds[] = {
  // type, name, size, versions a set-up record may hold, version chosen for
  // compression, layered, place in the point, parts, raw layout
  {LASitem::BYTE, "BYTE", 0, V(0) | V(1) | V(2), 0, false, P::extra_bytes, 0, R::bytes},
  {LASitem::POINT10, "POINT10", 20, V(0) | V(1) | V(2), 0, false, P::point, 0, R::point10},
  {LASitem::GPSTIME11, "GPSTIME11", 8, V(0) | V(1) | V(2), 0, false, P::gps_time, ITEM_GPS_TIME,
   R::gpstime11},
  {LASitem::RGB12, "RGB12", 6, V(0) | V(1) | V(2), 0, false, P::rgb, ITEM_RGB, R::rgb12},
  {LASitem::WAVEPACKET13, "WAVEPACKET13", 29, V(0) | V(1), 1, false, P::wavepacket,
   ITEM_WAVEPACKET, R::wavepacket13},
  {LASitem::POINT14, "POINT14", 30, V(0) | V(2) | V(3) | V(4), 3, true, P::point,
   ITEM_GPS_TIME | ITEM_EXTENDED_POINT, R::point14},
  {LASitem::RGB14, "RGB14", 6, V(0) | V(2) | V(3) | V(4), 3, true, P::rgb, ITEM_RGB, R::rgb12},
  {LASitem::RGBNIR14, "RGBNIR14", 8, V(0) | V(2) | V(3) | V(4), 3, true, P::rgb,
   ITEM_RGB | ITEM_NIR, R::rgbnir14},
  {LASitem::WAVEPACKET14, "WAVEPACKET14", 29, V(0) | V(3) | V(4), 3, true, P::wavepacket,
   ITEM_WAVEPACKET, R::wavepacket13},
  {LASitem::BYTE14, "BYTE14", 0, V(0) | V(2) | V(3) | V(4), 3, true, P::extra_bytes, 0, R::bytes},
};
// clang-format on

bool accepts_version(const LASitemKind& kind, uint16_t version) {
  return version < 8 && ((kind.versions >> version) & 1u);
}

// "<NAME> has version > 2" for a run of versions from 0, else the accepted
// ones listed: "<NAME> has version != 0 and != 3 and != 4".
std::string version_refusal(const LASitemKind& kind) {
  std::string text = std::string(kind.name) + " has version ";
  const unsigned run = kind.versions + 1u;
  if ((run & (run - 1u)) == 0) {
    int highest = 0;
    while (kind.versions >> (highest + 1)) highest++;
    return text + "> " + std::to_string(highest);
  }
  const char* joint = "";
  for (int v = 0; v < 8; v++) {
    if (!((kind.versions >> v) & 1u)) continue;
    text += joint;
    text += "!= " + std::to_string(v);
    joint = " and ";
  }
  return text;
}

}  // namespace

const LASitemKind* las_item_kind(int32_t type) {
  for (const LASitemKind& kind : kItemKinds) {
    if (kind.type == type) return &kind;
  }
  return nullptr;
}

namespace {

// An item of a type of fixed size, with that size and version 0.
LASitem fixed_item(LASitemType type) {
  return {type, las_item_kind(type)->size, 0};
}

std::string format(const char* fmt, long a, long b = 0, long c = 0, long d = 0) {
  char buffer[256];
  std::snprintf(buffer, sizeof(buffer), fmt, a, b, c, d);
  return buffer;
}

}  // namespace

bool LASitem::is_type(Type t) const {
  if (type != t) return false;
  const LASitemKind* kind = las_item_kind(t);
  if (kind == nullptr) return false;
  return kind->size == 0 ? size != 0 : size == kind->size;
}

const char* LASitem::get_name() const {
  const LASitemKind* kind = las_item_kind(type);
  return kind ? kind->name : "unknown";
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
  const LASitemKind* kind = las_item_kind(item.type);
  if (kind == nullptr) {
    return fail(format("item unknown (%ld,%ld,%ld)", static_cast<long>(item.type), item.size,
                       item.version));
  }
  if (kind->size == 0 && item.size < 1) return fail(std::string(kind->name) + " has size < 1");
  if (kind->size != 0 && item.size != kind->size) {
    return fail(std::string(kind->name) + " has size != " + std::to_string(kind->size));
  }
  if (!accepts_version(*kind, item.version)) return fail(version_refusal(*kind));
  return true;
}

bool LAScompressorSetup::check_items(uint16_t n, const LASitem* list, uint16_t point_size) {
  if (n == 0) return fail("number of items cannot be zero");
  if (list == nullptr) return fail("items pointer cannot be NULL");
  uint16_t sum = 0;  // summed in 16 bits on purpose, as stored lengths are
  uint32_t places = 0;
  for (uint16_t i = 0; i < n; i++) {
    if (!check_item(list[i])) return false;
    // Two items of one part of the point would share its storage: the second
    // would replace the first while coders still write into it.
    const LASitemKind* kind = las_item_kind(list[i].type);
    const uint32_t place = 1u << static_cast<unsigned>(kind->place);
    if (places & place) {
      return fail(format("item %ld (", i) + kind->name +
                  ") holds a part of the point an earlier item holds");
    }
    places |= place;
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

namespace {

// The standard record length of each point data format and the parts its
// record has besides the point item.
struct PointFormat {
  uint16_t size;
  bool gps_time, rgb, nir, wavepacket;
};

const PointFormat kPointFormats[11] = {
    {20, false, false, false, false}, {28, true, false, false, false},
    {26, false, true, false, false},  {34, true, true, false, false},
    {57, true, false, false, true},   {63, true, true, false, true},
    {30, false, false, false, false}, {36, false, true, false, false},
    {38, false, true, true, false},   {59, false, false, false, true},
    {67, false, true, true, true},
};

}  // namespace

uint16_t LAScompressorSetup::standard_point_size(uint8_t point_type) {
  return point_type <= 10 ? kPointFormats[point_type].size : 0;
}

bool LAScompressorSetup::setup_from_point_type(uint8_t point_type, uint16_t point_size,
                                               uint16_t* out_num_items,
                                               std::vector<LASitem>* out_items) {
  if (point_type > 10) return fail(format("point type %ld unknown", point_type));
  const PointFormat& f = kPointFormats[point_type];
  const bool extended = point_type >= 6;
  const bool have_gps_time = f.gps_time, have_rgb = f.rgb, have_nir = f.nir,
             have_wavepacket = f.wavepacket;
  int extra = static_cast<int>(point_size) - f.size;
  if (extra < 0) {
    print_note(
        "WARNING: point size %d too small by %d bytes for point type %d. assuming "
        "point_size of %d\n",
        point_size, -extra, point_type, f.size);
    extra = 0;
  }
  const bool legacy_layout = extended && (options & 1u);
  std::vector<LASitem> list;
  if (!extended || legacy_layout) {
    list.push_back(fixed_item(LASitem::POINT10));
    if (extended || have_gps_time) list.push_back(fixed_item(LASitem::GPSTIME11));
    if (have_rgb) list.push_back(fixed_item(LASitem::RGB12));
    if (have_wavepacket) list.push_back(fixed_item(LASitem::WAVEPACKET13));
    if (legacy_layout) extra += have_nir ? 7 : 5;  // the extended fields ride in the extra bytes
    if (extra > 0) list.push_back({LASitem::BYTE, static_cast<uint16_t>(extra), 0});
  } else {
    list.push_back(fixed_item(LASitem::POINT14));
    if (have_rgb) list.push_back(fixed_item(have_nir ? LASitem::RGBNIR14 : LASitem::RGB14));
    if (have_wavepacket) list.push_back(fixed_item(LASitem::WAVEPACKET14));
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
    const LASitemKind* kind = las_item_kind(items[i].type);
    if (kind == nullptr) return fail("item type not supported");
    items[i].version = kind->chosen_version ? kind->chosen_version : requested;
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

namespace {

// Fields of the payload by their width, little-endian as the streams move them.
template <typename T>
void write_le(ByteStreamOut& out, const T& value) {
  if constexpr (sizeof(T) == 1) {
    out.write_byte(static_cast<uint8_t>(value));
  } else if constexpr (sizeof(T) == 2) {
    out.write_u16_le(&value);
  } else if constexpr (sizeof(T) == 4) {
    out.write_u32_le(&value);
  } else {
    out.write_u64_le(&value);
  }
}

template <typename T>
void read_le(ByteStreamIn& in, T* value) {
  if constexpr (sizeof(T) == 1) {
    *value = static_cast<T>(in.read_byte());
  } else if constexpr (sizeof(T) == 2) {
    in.read_u16_le(value);
  } else if constexpr (sizeof(T) == 4) {
    in.read_u32_le(value);
  } else {
    in.read_u64_le(value);
  }
}

}  // namespace

std::vector<uint8_t> LAScompressorSetup::to_payload() const {
  ByteStreamOutArrayLE out(payload_size());
  write_le(out, compressor);
  write_le(out, coder);
  write_le(out, version_major);
  write_le(out, version_minor);
  write_le(out, version_revision);
  write_le(out, options);
  write_le(out, chunk_size);
  write_le(out, number_of_special_evlrs);
  write_le(out, offset_to_special_evlrs);
  write_le(out, num_items);
  for (uint16_t i = 0; i < num_items; i++) {
    write_le(out, static_cast<uint16_t>(items[i].type));
    write_le(out, items[i].size);
    write_le(out, items[i].version);
  }
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

bool LAScompressorSetup::from_payload(const uint8_t* data, uint32_t length) {
  ByteStreamInArrayLE in(data, data ? length : 0);
  // The field being read, named in the message when the payload ends first.
  const char* field = nullptr;
  int item = -1;
  auto take = [&](const char* name, auto* value) {
    field = name;
    read_le(in, value);
  };
  LAScompressorSetup read;
  try {
    take("compressor", &read.compressor);
    take("coder", &read.coder);
    take("version_major", &read.version_major);
    take("version_minor", &read.version_minor);
    take("version_revision", &read.version_revision);
    take("options", &read.options);
    take("chunk_size", &read.chunk_size);
    take("number_of_special_evlrs", &read.number_of_special_evlrs);
    take("offset_to_special_evlrs", &read.offset_to_special_evlrs);
    take("num_items", &read.num_items);
    read.items.resize(read.num_items);
    for (item = 0; item < read.num_items; item++) {
      uint16_t type;
      take("type", &type);
      read.items[item].type = static_cast<LASitemType>(type);
      take("size", &read.items[item].size);
      take("version", &read.items[item].version);
    }
  } catch (int) {
    if (item < 0) {
      std::fprintf(stderr, "ERROR: reading %s %d\n", field, 0);
    } else {
      std::fprintf(stderr, "ERROR: reading %s %d of item %d\n", field, 0, item);
    }
    return false;
  }
  // The record's last error stays as it was.
  read.error_ = std::move(error_);
  *this = std::move(read);
  return true;
}

bool LAScompressorSetup::lists_items(uint16_t n, const LASitem* list) const {
  return n != 0 && n == num_items && n == items.size() && list != nullptr &&
         std::equal(list, list + n, items.begin());
}
