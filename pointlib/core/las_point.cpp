#include "core/las_point.hpp"

#include <algorithm>
#include <cstdio>

LASpoint::~LASpoint() {
  if (owns_source && source != nullptr) delete source;
  source = nullptr;
}

void LASpoint::reset() {
  static_cast<LASpointData&>(*this) = LASpointData();
  extra_bytes.reset();
  point_items.clear();
  point_items.shrink_to_fit();
  items.clear();
  items.shrink_to_fit();
  have_gps_time = have_rgb = have_nir = have_wavepacket = false;
  deleted_flag = 0;
  extra_bytes_number = 0;
  total_point_size = 0;
  num_items = 0;
}

namespace {

// Where the items that live in the raw block begin in it.
size_t place_offset(LASitemPlace place) {
  switch (place) {
    case LASitemPlace::gps_time:
      return offsetof(LASpointData, gps_time);
    case LASitemPlace::rgb:
      return offsetof(LASpointData, rgb);
    case LASitemPlace::wavepacket:
      return offsetof(LASpointData, wavepacket);
    default:
      return 0;
  }
}

}  // namespace

bool LASpoint::init_for_items(const LASscaler* q, uint16_t n, const LASitem* list,
                              const LASattributeTable* attr) {
  reset();
  items.assign(list, list + n);
  num_items = n;
  point_items.assign(n, nullptr);
  uint8_t* base = raw();
  for (uint16_t i = 0; i < n; i++) {
    total_point_size += items[i].size;
    const LASitemKind* kind = las_item_kind(items[i].type);
    if (kind == nullptr) return false;
    if (kind->place == LASitemPlace::extra_bytes) {
      extra_bytes_number = items[i].size;
      extra_bytes.reset(new uint8_t[extra_bytes_number ? extra_bytes_number : 1]());
      point_items[i] = extra_bytes.get();
    } else {
      point_items[i] = base + place_offset(kind->place);
    }
    if (kind->parts & ITEM_GPS_TIME) have_gps_time = true;
    if (kind->parts & ITEM_RGB) have_rgb = true;
    if (kind->parts & ITEM_NIR) have_nir = true;
    if (kind->parts & ITEM_WAVEPACKET) have_wavepacket = true;
    if (kind->parts & ITEM_EXTENDED_POINT) set_extended_point_type(1);
  }
  quantizer = q;
  attributer = attr;
  return true;
}

bool LASpoint::init_for_point_type(const LASscaler* q, uint8_t point_type, uint16_t point_size,
                                   const LASattributeTable* attr) {
  reset();
  LAScompressorSetup setup;
  setup.compressor = LAScompressorKind::raw;
  uint16_t n = 0;
  std::vector<LASitem> list;
  if (!setup.setup_from_point_type(point_type, point_size, &n, &list)) {
    std::fprintf(stderr, "ERROR: unknown point type %d with point size %d\n", point_type,
                 point_size);
    return false;
  }
  return init_for_items(q, n, list.data(), attr);
}

LASpoint& LASpoint::assign(const LASpoint& other) {
  if (&other == this) return *this;
  X = other.X;
  Y = other.Y;
  Z = other.Z;
  intensity = other.intensity;
  return_byte = other.return_byte;
  class_byte = other.class_byte;
  scan_angle_rank = other.scan_angle_rank;
  user_data = other.user_data;
  point_source_ID = other.point_source_ID;
  extended_reserved = other.extended_reserved;

  // The source's flags decide; a destination without the part simply keeps
  // the value unused.
  if (other.have_gps_time) gps_time = other.gps_time;
  if (other.have_rgb) {
    rgb[0] = other.rgb[0];
    rgb[1] = other.rgb[1];
    rgb[2] = other.rgb[2];
    if (other.have_nir) rgb[3] = other.rgb[3];
  }
  if (other.have_wavepacket) wavepacket = other.wavepacket;
  zero_parts_missing_in(other);
  if (extra_bytes && extra_bytes_number > 0) {
    const int32_t copied =
        other.extra_bytes ? std::min(extra_bytes_number, other.extra_bytes_number) : 0;
    if (copied > 0) {
      std::memcpy(extra_bytes.get(), other.extra_bytes.get(), static_cast<size_t>(copied));
    }
    std::memset(extra_bytes.get() + copied, 0, static_cast<size_t>(extra_bytes_number - copied));
  }

  if (other.get_extended_point_type() != 0) {
    extended_classification = other.extended_classification;
    extended_flags_byte = (extended_flags_byte & 0x03) | (other.extended_flags_byte & 0xFC);
    extended_return_byte = other.extended_return_byte;
    extended_scan_angle = other.extended_scan_angle;
  } else {
    // Whatever this point's layout, its extended fields say what the legacy
    // ones say; the channel is the one thing a legacy point may carry.
    extended_from_legacy(other, other.extended_flags_byte);
  }
  return *this;
}

void LASpoint::zero() {
  const uint8_t type = get_extended_point_type();
  static_cast<LASpointData&>(*this) = LASpointData();
  set_extended_point_type(type);
  if (extra_bytes && extra_bytes_number > 0) {
    std::memset(extra_bytes.get(), 0, static_cast<size_t>(extra_bytes_number));
  }
}

void LASpoint::init_like(LASpoint* src, bool owns) {
  try {
    init_for_items(src->quantizer, src->num_items, src->items.data(), src->attributer);
  } catch (...) {
    reset();
    throw;
  }
  source = src;
  owns_source = owns;
}

void LASpoint::release_like(bool free_storage) {
  if (owns_source && source != nullptr) {
    source->reset();
    delete source;
  }
  source = nullptr;
  owns_source = false;
  reset();
  if (free_storage) delete this;
}

void LASpoint::store_scan_angle(float degrees) {
  // Rounded in double precision: in single precision 0.49999997 + 0.5 is 1.
  if (get_extended_point_type() != 0) {
    extended_scan_angle =
        static_cast<int16_t>(las_round_clamped(double(degrees) / 0.006, INT16_MIN, INT16_MAX));
  } else {
    scan_angle_rank = static_cast<int8_t>(las_round_clamped(double(degrees), INT8_MIN, INT8_MAX));
  }
}
