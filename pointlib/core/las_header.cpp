#include "core/las_header.hpp"
#include "platform/run_messages.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

bool same_ids(const char* user_id_a, uint16_t record_id_a, const char* user_id_b,
              uint16_t record_id_b) {
  return record_id_a == record_id_b && std::strncmp(user_id_a, user_id_b, 16) == 0;
}

// The index of the first record with these ids among `records`, or the
// number of records when there is none.
template <typename Record>
size_t index_of(const std::vector<Record>& records, const char* user_id, uint16_t record_id) {
  for (size_t k = 0; k < records.size(); k++) {
    if (same_ids(records[k].user_id, records[k].record_id, user_id, record_id)) return k;
  }
  return records.size();
}

void write_ids(char (&user_id)[16], char (&description)[32], const char* new_user_id,
               const char* new_description, bool keep_description) {
  std::memset(user_id, 0, sizeof(user_id));
  if (new_user_id) {
    std::memcpy(user_id, new_user_id, std::min(std::strlen(new_user_id), sizeof(user_id)));
  }
  if (keep_description) return;
  std::memset(description, 0, sizeof(description));
  const char* text = new_description ? new_description : LASheader::kDefaultDescription;
  std::memcpy(description, text, std::min<size_t>(std::strlen(text), 31));
}

// Keeps offset_to_point_data from wrapping below zero when a caller removed
// more than was ever added.
uint32_t minus(uint32_t value, uint64_t amount) {
  return amount > value ? 0 : static_cast<uint32_t>(value - amount);
}

std::unique_ptr<uint8_t[]> copy_bytes(const uint8_t* data, uint64_t size) {
  if (data == nullptr || size == 0) return nullptr;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  std::memcpy(copy.get(), data, size);
  return copy;
}

bool inside(const void* p, const uint8_t* payload, uint64_t size) {
  const auto a = reinterpret_cast<uintptr_t>(p);
  const auto b = reinterpret_cast<uintptr_t>(payload);
  return p != nullptr && payload != nullptr && a >= b && a - b < size;
}

}  // namespace

LASheader::LASheader() = default;

void LASheader::reset() {
  user_data_in_header.reset();
  user_data_in_header_size = 0;
  reset_vlrs();
  reset_evlrs();
  vlr_compressor.reset();
  vlr_lastiling.reset();
  vlr_lasoriginal.reset();
  user_data_after_header.reset();
  user_data_after_header_size = 0;
  clear_attributes();
  static_cast<LASscaler&>(*this) = LASscaler();
  static_cast<LASheaderFields&>(*this) = LASheaderFields();
}

void LASheader::reset_vlrs() {
  for (const auto& vlr : vlrs) {
    offset_to_point_data =
        minus(offset_to_point_data, kVlrHeaderSize + vlr.record_length_after_header);
  }
  vlrs.clear();
  vlr_geo_keys = nullptr;
  vlr_geo_key_entries = nullptr;
  vlr_geo_double_params = nullptr;
  vlr_geo_ascii_params = nullptr;
  vlr_geo_ogc_wkt_math = nullptr;
  vlr_geo_ogc_wkt = nullptr;
  vlr_classification = nullptr;
  vlr_wave_packet_descr.reset();
  number_of_variable_length_records = 0;
}

void LASheader::reset_evlrs() {
  for (const auto& evlr : evlrs) forget_borrowed(evlr.data.get(), evlr.record_length_after_header);
  evlrs.clear();
  start_of_first_extended_variable_length_record = 0;
  number_of_extended_variable_length_records = 0;
}

void LASheader::forget_borrowed(const uint8_t* payload, uint64_t size) {
  if (inside(vlr_geo_keys, payload, size)) vlr_geo_keys = nullptr;
  if (inside(vlr_geo_key_entries, payload, size)) vlr_geo_key_entries = nullptr;
  if (inside(vlr_geo_double_params, payload, size)) vlr_geo_double_params = nullptr;
  if (inside(vlr_geo_ascii_params, payload, size)) vlr_geo_ascii_params = nullptr;
  if (inside(vlr_geo_ogc_wkt_math, payload, size)) vlr_geo_ogc_wkt_math = nullptr;
  if (inside(vlr_geo_ogc_wkt, payload, size)) vlr_geo_ogc_wkt = nullptr;
  if (inside(vlr_classification, payload, size)) vlr_classification = nullptr;
  if (vlr_wave_packet_descr) {
    for (int i = 0; i < 256; i++) {
      if (inside(vlr_wave_packet_descr[i], payload, size)) vlr_wave_packet_descr[i] = nullptr;
    }
  }
}

bool LASheader::insert_vlr(const char* user_id, uint16_t record_id, uint16_t record_length,
                           std::unique_ptr<uint8_t[]> data, bool keep_description,
                           const char* description, bool append) {
  const size_t i = append ? vlrs.size() : index_of(vlrs, user_id, record_id);
  const bool existed = i < vlrs.size();
  if (existed) {
    LASvlrRecord& old = vlrs[i];
    if (old.record_length_after_header != 0) {
      offset_to_point_data = minus(offset_to_point_data, old.record_length_after_header);
      forget_borrowed(old.data.get(), old.record_length_after_header);
    }
    old.data.reset();
  } else {
    vlrs.emplace_back();
    offset_to_point_data += kVlrHeaderSize;
  }
  LASvlrRecord& vlr = vlrs[i];
  vlr.reserved = 0;
  write_ids(vlr.user_id, vlr.description, user_id, description, keep_description && existed);
  vlr.record_id = record_id;
  vlr.record_length_after_header = record_length;
  if (record_length != 0) {
    offset_to_point_data += record_length;
    vlr.data = std::move(data);
  }
  number_of_variable_length_records = static_cast<uint32_t>(vlrs.size());
  return true;
}

bool LASheader::update_extra_bytes_vlr(bool keep_description) {
  if (number_attributes == 0) {
    erase_vlr("LASF_Spec", 4);
    return true;
  }
  if (number_attributes > 341) return false;
  const size_t size = sizeof(LASattributeDescriptor) * static_cast<size_t>(number_attributes);
  std::unique_ptr<uint8_t[]> payload(new uint8_t[size]);
  std::memcpy(payload.get(), attributes.data(), size);
  return insert_vlr("LASF_Spec", 4, static_cast<uint16_t>(size), std::move(payload),
                    keep_description);
}

bool LASheader::erase_vlr_at(uint32_t index, bool free_payload) {
  if (vlrs.empty() || index >= vlrs.size()) return false;
  LASvlrRecord& vlr = vlrs[index];
  offset_to_point_data =
      minus(offset_to_point_data, kVlrHeaderSize + vlr.record_length_after_header);
  if (free_payload && vlr.record_length_after_header != 0) {
    // pointers into the payload would dangle once it is gone
    forget_borrowed(vlr.data.get(), vlr.record_length_after_header);
    vlr.data.reset();
  } else {
    (void)vlr.data.release();  // the caller took the payload over
  }
  if (index + 1 != vlrs.size()) vlrs[index] = std::move(vlrs.back());
  vlrs.pop_back();
  number_of_variable_length_records = static_cast<uint32_t>(vlrs.size());
  return true;
}

bool LASheader::erase_vlr(const char* user_id, uint16_t record_id) {
  const size_t k = index_of(vlrs, user_id, record_id);
  return k < vlrs.size() && erase_vlr_at(static_cast<uint32_t>(k), true);
}

LASvlrRecord* LASheader::find_vlr(const char* user_id, uint16_t record_id) {
  const size_t k = index_of(vlrs, user_id, record_id);
  return k < vlrs.size() ? &vlrs[k] : nullptr;
}

const LASvlrRecord* LASheader::find_vlr(const char* user_id, uint16_t record_id) const {
  return const_cast<LASheader*>(this)->find_vlr(user_id, record_id);
}

bool LASheader::insert_evlr(const char* user_id, uint16_t record_id, uint64_t record_length,
                            std::unique_ptr<uint8_t[]> data, bool keep_description,
                            const char* description, bool append) {
  const size_t i = append ? evlrs.size() : index_of(evlrs, user_id, record_id);
  const bool existed = i < evlrs.size();
  if (existed) {
    forget_borrowed(evlrs[i].data.get(), evlrs[i].record_length_after_header);
    evlrs[i].data.reset();
  } else {
    evlrs.emplace_back();
  }
  LASevlrRecord& evlr = evlrs[i];
  evlr.reserved = 0;
  write_ids(evlr.user_id, evlr.description, user_id, description, keep_description && existed);
  evlr.record_id = record_id;
  evlr.record_length_after_header = record_length;
  if (record_length != 0) evlr.data = std::move(data);
  number_of_extended_variable_length_records = static_cast<uint32_t>(evlrs.size());
  return true;
}

bool LASheader::erase_evlr(const char* user_id, uint16_t record_id) {
  const size_t k = index_of(evlrs, user_id, record_id);
  if (k >= evlrs.size()) return false;
  forget_borrowed(evlrs[k].data.get(), evlrs[k].record_length_after_header);
  evlrs.erase(evlrs.begin() + static_cast<std::ptrdiff_t>(k));
  number_of_extended_variable_length_records = static_cast<uint32_t>(evlrs.size());
  if (evlrs.empty()) start_of_first_extended_variable_length_record = 0;
  return true;
}

bool LASheader::store_geo_key_directory(uint32_t number_of_keys, const LASvlrKeyEntry* keys) {
  if (number_of_keys > 8190) return false;  // the payload must fit the 16-bit length
  const uint32_t size = (number_of_keys + 1) * 8;
  std::unique_ptr<uint8_t[]> payload(new uint8_t[size]);
  const LASvlrGeoKeys directory = {1, 1, 0, static_cast<uint16_t>(number_of_keys)};
  std::memcpy(payload.get(), &directory, 8);
  if (number_of_keys) std::memcpy(payload.get() + 8, keys, 8 * number_of_keys);
  uint8_t* raw = payload.get();
  insert_vlr("LASF_Projection", 34735, static_cast<uint16_t>(size), std::move(payload));
  vlr_geo_keys = reinterpret_cast<LASvlrGeoKeys*>(raw);
  vlr_geo_key_entries = reinterpret_cast<LASvlrKeyEntry*>(raw + 8);
  return true;
}

bool LASheader::store_geo_doubles(uint32_t number, const double* values) {
  if (number > 8191) return false;
  const uint32_t size = 8 * number;
  std::unique_ptr<uint8_t[]> payload(size ? new uint8_t[size] : nullptr);
  if (size) std::memcpy(payload.get(), values, size);
  double* raw = reinterpret_cast<double*>(payload.get());
  insert_vlr("LASF_Projection", 34736, static_cast<uint16_t>(size), std::move(payload));
  vlr_geo_double_params = raw;
  return true;
}

bool LASheader::bounds_look_geographic(float extent) const {
  return min_x >= -360.0 && min_y >= -90.0 && max_x <= 360.0 && max_y <= 90.0 &&
         (max_x - min_x) <= extent && (max_y - min_y) <= extent;
}

bool LASheader::validate() const {
  if (std::strncmp(file_signature, "LASF", 4) != 0) {
    std::fprintf(stderr, "ERROR: wrong file signature '%.4s'\n", file_signature);
    return false;
  }
  if (version_major != 1 || version_minor > 4) {
    print_note("WARNING: unknown version %d.%d (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n",
               version_major, version_minor);
  }
  if (header_size < 227) {
    std::fprintf(stderr, "ERROR: header size is %d but should be at least 227\n", header_size);
    return false;
  }
  if (offset_to_point_data < header_size) {
    std::fprintf(stderr, "ERROR: offset to point data %d is smaller than header size %d\n",
                 static_cast<int>(offset_to_point_data), header_size);
    return false;
  }
  if (x_scale_factor == 0.0) print_note("WARNING: x scale factor is zero.\n");
  if (y_scale_factor == 0.0) print_note("WARNING: y scale factor is zero.\n");
  if (z_scale_factor == 0.0) print_note("WARNING: z scale factor is zero.\n");
  if ((number_of_point_records != 0 || extended_number_of_point_records != 0) &&
      (max_x < min_x || min_y > max_y || min_z > max_z)) {
    print_note("WARNING: invalid bounding box [ %g %g %g / %g %g %g ]\n", min_x, min_y, min_z,
               max_x, max_y, max_z);
  }
  return true;
}

void LASheader::assign(const LASheader& other) {
  if (&other == this) return;
  reset();
  static_cast<LASscaler&>(*this) = other;
  static_cast<LASattributeTable&>(*this) = other;
  static_cast<LASheaderFields&>(*this) = other;

  user_data_in_header_size = other.user_data_in_header_size;
  user_data_in_header = copy_bytes(other.user_data_in_header.get(), user_data_in_header_size);
  user_data_after_header_size = other.user_data_after_header_size;
  user_data_after_header =
      copy_bytes(other.user_data_after_header.get(), user_data_after_header_size);

  // duplicate the records and map each borrowed pointer of `other` to the
  // same place in our copy of the payload it points into
  struct Span {
    const uint8_t* from;
    uint64_t size;
    uint8_t* to;
  };
  std::vector<Span> spans;
  vlrs.resize(other.vlrs.size());
  for (size_t i = 0; i < vlrs.size(); i++) {
    const LASvlrRecord& o = other.vlrs[i];
    LASvlrRecord& v = vlrs[i];
    v.reserved = o.reserved;
    std::memcpy(v.user_id, o.user_id, sizeof(v.user_id));
    v.record_id = o.record_id;
    v.record_length_after_header = o.record_length_after_header;
    std::memcpy(v.description, o.description, sizeof(v.description));
    v.data = copy_bytes(o.data.get(), o.record_length_after_header);
    spans.push_back({o.data.get(), o.record_length_after_header, v.data.get()});
  }
  evlrs.resize(other.evlrs.size());
  for (size_t i = 0; i < evlrs.size(); i++) {
    const LASevlrRecord& o = other.evlrs[i];
    LASevlrRecord& v = evlrs[i];
    v.reserved = o.reserved;
    std::memcpy(v.user_id, o.user_id, sizeof(v.user_id));
    v.record_id = o.record_id;
    v.record_length_after_header = o.record_length_after_header;
    std::memcpy(v.description, o.description, sizeof(v.description));
    v.data = copy_bytes(o.data.get(), o.record_length_after_header);
    spans.push_back({o.data.get(), o.record_length_after_header, v.data.get()});
  }
  auto map = [&spans](const void* p) -> uint8_t* {
    for (const Span& s : spans) {
      if (inside(p, s.from, s.size)) return s.to + (static_cast<const uint8_t*>(p) - s.from);
    }
    return nullptr;
  };
  vlr_geo_keys = reinterpret_cast<LASvlrGeoKeys*>(map(other.vlr_geo_keys));
  vlr_geo_key_entries = reinterpret_cast<LASvlrKeyEntry*>(map(other.vlr_geo_key_entries));
  vlr_geo_double_params = reinterpret_cast<double*>(map(other.vlr_geo_double_params));
  vlr_geo_ascii_params = reinterpret_cast<char*>(map(other.vlr_geo_ascii_params));
  vlr_geo_ogc_wkt_math = reinterpret_cast<char*>(map(other.vlr_geo_ogc_wkt_math));
  vlr_geo_ogc_wkt = reinterpret_cast<char*>(map(other.vlr_geo_ogc_wkt));
  vlr_classification = reinterpret_cast<LASvlrClassification*>(map(other.vlr_classification));
  if (other.vlr_wave_packet_descr) {
    vlr_wave_packet_descr.reset(new LASvlrWavePacketDescr*[256]());
    for (int i = 0; i < 256; i++) {
      vlr_wave_packet_descr[i] =
          reinterpret_cast<LASvlrWavePacketDescr*>(map(other.vlr_wave_packet_descr[i]));
    }
  }
  if (other.vlr_compressor) {
    vlr_compressor.reset(new LAScompressorSetup(*other.vlr_compressor));
  }
  if (other.vlr_lastiling) vlr_lastiling.reset(new LAStiling(*other.vlr_lastiling));
  if (other.vlr_lasoriginal) vlr_lasoriginal.reset(new LASoriginalVlr(*other.vlr_lasoriginal));
}

void LASheader::drop_references() {
  user_data_in_header.reset();
  user_data_in_header_size = 0;
  user_data_after_header.reset();
  user_data_after_header_size = 0;
  vlrs.clear();
  number_of_variable_length_records = 0;
  evlrs.clear();
  start_of_first_extended_variable_length_record = 0;
  number_of_extended_variable_length_records = 0;
  vlr_geo_keys = nullptr;
  vlr_geo_key_entries = nullptr;
  vlr_geo_double_params = nullptr;
  vlr_geo_ascii_params = nullptr;
  vlr_geo_ogc_wkt_math = nullptr;
  vlr_geo_ogc_wkt = nullptr;
  vlr_classification = nullptr;
  vlr_wave_packet_descr.reset();
  vlr_compressor.reset();
  vlr_lastiling.reset();
  vlr_lasoriginal.reset();
  offset_to_point_data = header_size;
}

namespace {

bool outside_i32(double max, double min, double offset, double scale) {
  return (max - offset) / scale > 2147483647.0 || (min - offset) / scale < -2147483648.0;
}

}  // namespace

void las_fit_bounds_to_integers(LASheader* header, bool* rescale, bool* reoffset) {
  double* scales[3] = {&header->x_scale_factor, &header->y_scale_factor, &header->z_scale_factor};
  double* offsets[3] = {&header->x_offset, &header->y_offset, &header->z_offset};
  const double maxs[3] = {header->max_x, header->max_y, header->max_z};
  const double mins[3] = {header->min_x, header->min_y, header->min_z};
  static const char* const kScaleWarning[3] = {
      "WARNING: i changed x_scale_factor from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed y_scale_factor from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed  z_scale_factor from %g to %g to accommodate enlarged bounding box\n"};
  static const char* const kOffsetWarning[3] = {
      "WARNING: i changed x_offset from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed y_offset from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed z_offset from %g to %g to accommodate enlarged bounding box\n"};
  for (int a = 0; a < 3; a++) {
    const double scale = *scales[a];
    const double offset = *offsets[a];
    if (!outside_i32(maxs[a], mins[a], offset, scale)) continue;
    const double new_offset = static_cast<double>(las_round_i64((mins[a] + maxs[a]) / 2.0));
    double new_scale = scale;
    while (outside_i32(maxs[a], mins[a], new_offset, new_scale)) new_scale *= 10.0;
    if (new_scale != scale) {
      print_note(kScaleWarning[a], scale, new_scale);
      *scales[a] = new_scale;
      *rescale = true;
    }
    if (outside_i32(maxs[a], mins[a], offset, new_scale)) {
      print_note(kOffsetWarning[a], offset, new_offset);
      *offsets[a] = new_offset;
      *reoffset = true;
    }
  }
}
