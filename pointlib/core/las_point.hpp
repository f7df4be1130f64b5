#ifndef POINTLIB_CORE_LAS_POINT_HPP
#define POINTLIB_CORE_LAS_POINT_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/las_item.hpp"
#include "core/las_scaler.hpp"

class LASattributeTable;

// The 29 raw little-endian bytes of a LAS wave packet, with accessors.
struct LASwaveformPacket {
  uint8_t data[29];

  uint8_t get_index() const { return data[0]; }
  uint64_t get_offset() const { return load<uint64_t>(1); }
  uint32_t get_size() const { return load<uint32_t>(9); }
  float get_location() const { return load<float>(13); }
  float get_xt() const { return load<float>(17); }
  float get_yt() const { return load<float>(21); }
  float get_zt() const { return load<float>(25); }
  void set_index(uint8_t v) { data[0] = v; }
  void set_offset(uint64_t v) { store(1, v); }
  void set_size(uint32_t v) { store(9, v); }
  void set_location(float v) { store(13, v); }
  void set_xt(float v) { store(17, v); }
  void set_yt(float v) { store(21, v); }
  void set_zt(float v) { store(25, v); }

 private:
  // The bytes are little-endian on file and the library targets
  // little-endian hosts only, so a plain copy is the conversion.
  template <typename T>
  T load(size_t at) const {
    T v;
    std::memcpy(&v, data + at, sizeof(T));
    return v;
  }
  template <typename T>
  void store(size_t at, T v) {
    std::memcpy(data + at, &v, sizeof(T));
  }
};
static_assert(sizeof(LASwaveformPacket) == 29, "wave packet is 29 raw bytes");

// The raw block of a point that the item coders copy straight in and out of.
// Its layout is fixed: POINT10 is the 20 bytes from X to point_source_ID, the
// extended fields follow, then GPS time, colour and the wave packet. The
// bit-field bytes are kept as plain bytes so that their layout does not depend
// on the compiler.
struct LASpointData {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Z = 0;
  uint16_t intensity = 0;
  // return_number bits 0-2, number_of_returns 3-5, scan_direction_flag 6,
  // edge_of_flight_line 7
  uint8_t return_byte = 0x09;
  // classification bits 0-4, synthetic 5, keypoint 6, withheld 7
  uint8_t class_byte = 0;
  int8_t scan_angle_rank = 0;
  uint8_t user_data = 0;
  uint16_t point_source_ID = 0;
  int16_t extended_scan_angle = 0;
  // extended_point_type bits 0-1, extended_scanner_channel 2-3,
  // extended_classification_flags 4-7 (synthetic, keypoint, withheld, overlap)
  uint8_t extended_flags_byte = 0;
  uint8_t extended_classification = 0;
  // extended_return_number bits 0-3, extended_number_of_returns 4-7
  uint8_t extended_return_byte = 0x11;
  uint8_t extended_reserved = 0;
  double gps_time = 0.0;
  uint16_t rgb[4] = {0, 0, 0, 0};  // red, green, blue, near infrared
  LASwaveformPacket wavepacket = {};
};
static_assert(offsetof(LASpointData, X) == 0, "layout");
static_assert(offsetof(LASpointData, Y) == 4, "layout");
static_assert(offsetof(LASpointData, Z) == 8, "layout");
static_assert(offsetof(LASpointData, intensity) == 12, "layout");
static_assert(offsetof(LASpointData, return_byte) == 14, "layout");
static_assert(offsetof(LASpointData, class_byte) == 15, "layout");
static_assert(offsetof(LASpointData, scan_angle_rank) == 16, "layout");
static_assert(offsetof(LASpointData, user_data) == 17, "layout");
static_assert(offsetof(LASpointData, point_source_ID) == 18, "layout");
static_assert(offsetof(LASpointData, extended_scan_angle) == 20, "POINT10 part ends at 20");
static_assert(offsetof(LASpointData, extended_flags_byte) == 22, "layout");
static_assert(offsetof(LASpointData, extended_classification) == 23, "layout");
static_assert(offsetof(LASpointData, extended_return_byte) == 24, "layout");
static_assert(offsetof(LASpointData, extended_reserved) == 25, "layout");
static_assert(offsetof(LASpointData, gps_time) == 32, "layout");
static_assert(offsetof(LASpointData, rgb) == 40, "layout");
static_assert(offsetof(LASpointData, wavepacket) == 48, "layout");
static_assert(sizeof(LASpointData) == 80, "layout");

// One point in memory, laid out by a list of items; point_items[i] is where
// item i's bytes live inside this point.
class LASpoint : public LASpointData {
 public:
  std::unique_ptr<uint8_t[]> extra_bytes;
  const LASscaler* quantizer = nullptr;
  double coordinates[3] = {0.0, 0.0, 0.0};
  const LASattributeTable* attributer = nullptr;
  std::vector<uint8_t*> point_items;
  bool have_gps_time = false;
  bool have_rgb = false;
  bool have_nir = false;
  bool have_wavepacket = false;
  int32_t extra_bytes_number = 0;
  int32_t total_point_size = 0;
  uint16_t num_items = 0;
  std::vector<LASitem> items;
  // Set on a point that is not to be delivered (edit layers delete points).
  uint8_t deleted_flag = 0;
  // Set by init_like only.
  LASpoint* source = nullptr;
  bool owns_source = false;

  LASpoint() = default;
  ~LASpoint();
  LASpoint(const LASpoint&) = delete;
  LASpoint& operator=(const LASpoint&) = delete;

  void reset();
  bool init_for_items(const LASscaler* q, uint16_t n, const LASitem* list,
                      const LASattributeTable* attr);
  bool init_for_point_type(const LASscaler* q, uint8_t point_type, uint16_t point_size,
                           const LASattributeTable* attr);
  // Copies the fields of a point of any layout into this one. Parts the
  // source lacks are zero afterwards, and a legacy source's extended fields
  // follow its legacy ones, so nothing of an earlier point shows through.
  LASpoint& assign(const LASpoint& other);
  // The empty point between two streams: coordinates, fields, GPS time, colour,
  // wave packet and extra bytes 0, return 1 of 1. The layout stays, and with
  // it the mark of an extended point.
  void zero();
  // After a read that filled only the items of the layout: the parts the
  // layout lacks become 0 and a legacy point's extended fields follow its
  // legacy ones (class, flags, returns, scan angle; channel and overlap 0).
  void clear_unstored_fields();
  // Lays this point out like `src`, remembering it (and owning it when asked).
  void init_like(LASpoint* src, bool owns);
  // Deletes an owned source, resets, and with free_storage deletes this point
  // (which must then have been made with new).
  void release_like(bool free_storage);
  // Stores degrees into the scan-angle field of the point's layout, rounded in
  // double precision and clamped to the field's range.
  void store_scan_angle(float degrees);

  uint8_t* raw() { return reinterpret_cast<uint8_t*>(static_cast<LASpointData*>(this)); }
  const uint8_t* raw() const {
    return reinterpret_cast<const uint8_t*>(static_cast<const LASpointData*>(this));
  }

  // --- legacy bit fields
  uint8_t get_return_number() const { return return_byte & 0x07; }
  uint8_t get_number_of_returns() const { return (return_byte >> 3) & 0x07; }
  uint8_t get_scan_direction_flag() const { return (return_byte >> 6) & 1; }
  uint8_t get_edge_of_flight_line() const { return (return_byte >> 7) & 1; }
  uint8_t get_classification() const { return class_byte & 0x1F; }
  uint8_t get_synthetic_flag() const { return (class_byte >> 5) & 1; }
  uint8_t get_keypoint_flag() const { return (class_byte >> 6) & 1; }
  uint8_t get_withheld_flag() const { return (class_byte >> 7) & 1; }
  void set_return_number(uint8_t v) { return_byte = (return_byte & ~0x07) | (v & 0x07); }
  void set_number_of_returns(uint8_t v) { return_byte = (return_byte & ~0x38) | ((v & 0x07) << 3); }
  void set_scan_direction_flag(uint8_t v) { return_byte = (return_byte & ~0x40) | ((v & 1) << 6); }
  void set_edge_of_flight_line(uint8_t v) { return_byte = (return_byte & ~0x80) | ((v & 1) << 7); }
  void set_classification(uint8_t v) { class_byte = (class_byte & ~0x1F) | (v & 0x1F); }
  void set_synthetic_flag(uint8_t v) { class_byte = (class_byte & ~0x20) | ((v & 1) << 5); }
  void set_keypoint_flag(uint8_t v) { class_byte = (class_byte & ~0x40) | ((v & 1) << 6); }
  void set_withheld_flag(uint8_t v) { class_byte = (class_byte & ~0x80) | ((v & 1) << 7); }

  // --- extended bit fields
  uint8_t get_extended_point_type() const { return extended_flags_byte & 0x03; }
  uint8_t get_extended_scanner_channel() const { return (extended_flags_byte >> 2) & 0x03; }
  uint8_t get_extended_classification_flags() const { return extended_flags_byte >> 4; }
  uint8_t get_extended_synthetic_flag() const { return (extended_flags_byte >> 4) & 1; }
  uint8_t get_extended_keypoint_flag() const { return (extended_flags_byte >> 5) & 1; }
  uint8_t get_extended_withheld_flag() const { return (extended_flags_byte >> 6) & 1; }
  uint8_t get_extended_overlap_flag() const { return (extended_flags_byte >> 7) & 1; }
  uint8_t get_extended_classification() const { return extended_classification; }
  uint8_t get_extended_return_number() const { return extended_return_byte & 0x0F; }
  uint8_t get_extended_number_of_returns() const { return extended_return_byte >> 4; }
  int16_t get_extended_scan_angle() const { return extended_scan_angle; }
  void set_extended_point_type(uint8_t v) {
    extended_flags_byte = (extended_flags_byte & ~0x03) | (v & 0x03);
  }
  void set_extended_scanner_channel(uint8_t v) {
    extended_flags_byte = (extended_flags_byte & ~0x0C) | ((v & 0x03) << 2);
  }
  void set_extended_classification_flags(uint8_t v) {
    extended_flags_byte = (extended_flags_byte & 0x0F) | ((v & 0x0F) << 4);
  }
  void set_extended_synthetic_flag(uint8_t v) { set_extended_flag_bit(4, v); }
  void set_extended_keypoint_flag(uint8_t v) { set_extended_flag_bit(5, v); }
  void set_extended_withheld_flag(uint8_t v) { set_extended_flag_bit(6, v); }
  void set_extended_overlap_flag(uint8_t v) { set_extended_flag_bit(7, v); }
  void set_extended_classification(uint8_t v) { extended_classification = v; }
  void set_extended_return_number(uint8_t v) {
    extended_return_byte = (extended_return_byte & 0xF0) | (v & 0x0F);
  }
  void set_extended_number_of_returns(uint8_t v) {
    extended_return_byte = (extended_return_byte & 0x0F) | ((v & 0x0F) << 4);
  }
  void set_extended_scan_angle(int16_t v) { extended_scan_angle = v; }
  bool is_extended_point() const { return get_extended_point_type() != 0; }

  // --- other fields
  uint16_t get_intensity() const { return intensity; }
  void set_intensity(uint16_t v) { intensity = v; }
  uint8_t get_user_data() const { return user_data; }
  void set_user_data(uint8_t v) { user_data = v; }
  uint16_t get_point_source_ID() const { return point_source_ID; }
  void set_point_source_ID(uint16_t v) { point_source_ID = v; }
  double get_gps_time() const { return gps_time; }
  void set_gps_time(double v) { gps_time = v; }
  uint16_t get_R() const { return rgb[0]; }
  uint16_t get_G() const { return rgb[1]; }
  uint16_t get_B() const { return rgb[2]; }
  uint16_t get_NIR() const { return rgb[3]; }
  void set_R(uint16_t v) { rgb[0] = v; }
  void set_G(uint16_t v) { rgb[1] = v; }
  void set_B(uint16_t v) { rgb[2] = v; }
  void set_NIR(uint16_t v) { rgb[3] = v; }

  // --- coordinates through the quantizer (which must be set)
  double get_x() const { return quantizer->get_x(X); }
  double get_y() const { return quantizer->get_y(Y); }
  double get_z() const { return quantizer->get_z(Z); }
  void set_x(double x) { X = quantizer->get_X(x); }
  void set_y(double y) { Y = quantizer->get_Y(y); }
  void set_z(double z) { Z = quantizer->get_Z(z); }
  void compute_coordinates() {
    coordinates[0] = get_x();
    coordinates[1] = get_y();
    coordinates[2] = get_z();
  }
  void compute_XYZ() {
    X = quantizer->get_X(coordinates[0]);
    Y = quantizer->get_Y(coordinates[1]);
    Z = quantizer->get_Z(coordinates[2]);
  }

 private:
  // The extended fields of a legacy point, from its legacy ones; the scanner
  // channel comes from `channel_source`.
  void extended_from_legacy(const LASpointData& legacy, uint8_t channel_source);
  // Zeroes the optional parts that `source` does not carry.
  void zero_parts_missing_in(const LASpoint& source);
  void set_extended_flag_bit(int bit, uint8_t v) {
    extended_flags_byte =
        static_cast<uint8_t>((extended_flags_byte & ~(1u << bit)) | ((v & 1u) << bit));
  }
};

namespace las_point_detail {
// The extended scan angle of each legacy one (whole degrees -128 to 127, at
// index rank & 0xFF): rank / 0.006 rounded half away from zero. A table,
// because every read of a legacy point needs it.
inline constexpr std::array<int16_t, 256> kExtendedScanAngle = [] {
  std::array<int16_t, 256> table{};
  for (int rank = -128; rank < 128; rank++) {
    const double q = rank / 0.006;
    table[static_cast<uint8_t>(rank)] = static_cast<int16_t>(q >= 0.0 ? q + 0.5 : q - 0.5);
  }
  return table;
}();
}  // namespace las_point_detail

inline void LASpoint::extended_from_legacy(const LASpointData& legacy, uint8_t channel_source) {
  extended_classification = static_cast<uint8_t>(legacy.class_byte & 0x1F);
  // legacy synthetic, keypoint, withheld (bits 5-7) become extended flag
  // bits 4-6; overlap stays 0
  const uint8_t flags = static_cast<uint8_t>((legacy.class_byte >> 5) & 0x07);
  extended_flags_byte =
      static_cast<uint8_t>((extended_flags_byte & 0x03) | (channel_source & 0x0C) | (flags << 4));
  extended_return_byte =
      static_cast<uint8_t>((legacy.return_byte & 0x07) | (((legacy.return_byte >> 3) & 0x07) << 4));
  extended_scan_angle =
      las_point_detail::kExtendedScanAngle[static_cast<uint8_t>(legacy.scan_angle_rank)];
}

inline void LASpoint::zero_parts_missing_in(const LASpoint& source) {
  if (!source.have_gps_time) gps_time = 0.0;
  if (!source.have_rgb) {
    rgb[0] = rgb[1] = rgb[2] = rgb[3] = 0;
  } else if (!source.have_nir) {
    rgb[3] = 0;
  }
  if (!source.have_wavepacket) wavepacket = LASwaveformPacket{};
}

inline void LASpoint::clear_unstored_fields() {
  if (get_extended_point_type() == 0) extended_from_legacy(*this, 0);
  zero_parts_missing_in(*this);
}

#endif  // POINTLIB_CORE_LAS_POINT_HPP
