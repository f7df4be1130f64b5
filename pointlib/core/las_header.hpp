#ifndef POINTLIB_CORE_LAS_HEADER_HPP
#define POINTLIB_CORE_LAS_HEADER_HPP

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/las_attributes.hpp"
#include "core/las_item.hpp"
#include "core/las_scaler.hpp"

// One variable-length record (54-byte header on file), owning its payload.
struct LASvlrRecord {
  uint16_t reserved = 0;
  char user_id[16] = {};
  uint16_t record_id = 0;
  uint16_t record_length_after_header = 0;
  char description[32] = {};
  std::unique_ptr<uint8_t[]> data;  // null when the length is 0
};

// One extended variable-length record (60-byte header on file).
struct LASevlrRecord {
  uint16_t reserved = 0;
  char user_id[16] = {};
  uint16_t record_id = 0;
  uint64_t record_length_after_header = 0;
  char description[32] = {};
  std::unique_ptr<uint8_t[]> data;
};

// Views into payloads of the projection and classification records.
struct LASvlrGeoKeys {
  uint16_t key_directory_version;
  uint16_t key_revision;
  uint16_t minor_revision;
  uint16_t number_of_keys;
};
struct LASvlrKeyEntry {
  uint16_t key_id;
  uint16_t tiff_tag_location;
  uint16_t count;
  uint16_t value_offset;
};
static_assert(sizeof(LASvlrGeoKeys) == 8 && sizeof(LASvlrKeyEntry) == 8, "8-byte key entries");
struct LASvlrClassification {
  uint8_t class_number;
  char description[15];
};
static_assert(sizeof(LASvlrClassification) == 16, "16-byte classification entries");

// The 26 raw bytes of a wave-packet descriptor (fields are unaligned on file).
struct LASvlrWavePacketDescr {
  uint8_t data[26];
  uint8_t get_bits_per_sample() const { return data[0]; }
  uint8_t get_compression_type() const { return data[1]; }
  uint32_t get_number_of_samples() const { return load<uint32_t>(2); }
  uint32_t get_temporal_spacing() const { return load<uint32_t>(6); }
  double get_digitizer_gain() const { return load<double>(10); }
  double get_digitizer_offset() const { return load<double>(18); }

 private:
  template <typename T>
  T load(size_t at) const {
    T v;
    std::memcpy(&v, data + at, sizeof(T));
    return v;
  }
};
static_assert(sizeof(LASvlrWavePacketDescr) == 26, "26-byte wave-packet descriptor");

// Tiling record (28 bytes on file).
struct LAStiling {
  uint32_t level = 0;
  uint32_t level_index = 0;
  uint32_t implicit_levels = 0;  // messages show the low 30 bits only
  float min_x = 0.0f;
  float max_x = 0.0f;
  float min_y = 0.0f;
  float max_y = 0.0f;
};

// Counts and bounds of the original file (176 bytes on file).
struct LASoriginalVlr {
  uint64_t number_of_point_records = 0;
  uint64_t number_of_points_by_return[15] = {};
  double max_x = 0.0;
  double min_x = 0.0;
  double max_y = 0.0;
  double min_y = 0.0;
  double max_z = 0.0;
  double min_z = 0.0;
};

// The fields of the public header block in file order (the scale factors and
// offsets live in LASscaler), with the defaults of a new header.
struct LASheaderFields {
  char file_signature[4] = {'L', 'A', 'S', 'F'};
  uint16_t file_source_ID = 0;
  uint16_t global_encoding = 0;
  uint32_t project_ID_GUID_data_1 = 0;
  uint16_t project_ID_GUID_data_2 = 0;
  uint16_t project_ID_GUID_data_3 = 0;
  uint8_t project_ID_GUID_data_4[8] = {};
  uint8_t version_major = 1;
  uint8_t version_minor = 2;
  char system_identifier[32] = {};
  char generating_software[32] = {};
  uint16_t file_creation_day = 0;
  uint16_t file_creation_year = 0;
  uint16_t header_size = 227;
  uint32_t offset_to_point_data = 227;
  uint32_t number_of_variable_length_records = 0;
  uint8_t point_data_format = 0;
  uint16_t point_data_record_length = 20;
  uint32_t number_of_point_records = 0;
  uint32_t number_of_points_by_return[5] = {};
  double max_x = 0.0;
  double min_x = 0.0;
  double max_y = 0.0;
  double min_y = 0.0;
  double max_z = 0.0;
  double min_z = 0.0;
  uint64_t start_of_waveform_data_packet_record = 0;
  uint64_t start_of_first_extended_variable_length_record = 0;
  uint32_t number_of_extended_variable_length_records = 0;
  uint64_t extended_number_of_point_records = 0;
  uint64_t extended_number_of_points_by_return[15] = {};
};

// The LAS public header block of versions 1.0 to 1.4 in memory with its
// quantizer, attribute table, user data, VLRs and EVLRs and the records the
// library understands. The scaler and the attribute table are bases so that a
// point can borrow the header as either.
class LASheader : public LASscaler, public LASattributeTable, public LASheaderFields {
 public:
  static constexpr const char* kDefaultDescription = "by Mirvelox of Zentoravik GmbH";
  static constexpr uint32_t kVlrHeaderSize = 54;
  static constexpr uint32_t kEvlrHeaderSize = 60;

  uint32_t user_data_in_header_size = 0;
  std::unique_ptr<uint8_t[]> user_data_in_header;
  std::vector<LASvlrRecord> vlrs;
  std::vector<LASevlrRecord> evlrs;
  // Borrowed: they point into payloads of the records above and are cleared
  // whenever the payload they point into is freed.
  LASvlrGeoKeys* vlr_geo_keys = nullptr;
  LASvlrKeyEntry* vlr_geo_key_entries = nullptr;
  double* vlr_geo_double_params = nullptr;
  char* vlr_geo_ascii_params = nullptr;
  char* vlr_geo_ogc_wkt_math = nullptr;
  char* vlr_geo_ogc_wkt = nullptr;
  LASvlrClassification* vlr_classification = nullptr;
  // Owned table of 256 entries, entry i borrowed from the payload of the
  // wave-packet descriptor with record id 99 + i; null when there is none.
  std::unique_ptr<LASvlrWavePacketDescr*[]> vlr_wave_packet_descr;
  std::unique_ptr<LAScompressorSetup> vlr_compressor;
  std::unique_ptr<LAStiling> vlr_lastiling;
  std::unique_ptr<LASoriginalVlr> vlr_lasoriginal;
  uint32_t user_data_after_header_size = 0;
  std::unique_ptr<uint8_t[]> user_data_after_header;

  LASheader();
  ~LASheader() = default;
  LASheader(const LASheader&) = delete;
  LASheader& operator=(const LASheader&) = delete;

  // Releases everything owned and returns to the defaults ("LASF", 1.2,
  // header size 227, record length 20, scale factors 0.01).
  void reset();
  void reset_vlrs();
  void reset_evlrs();

  // Adds a VLR or, unless `append`, replaces the first one with the same ids.
  // The payload is taken over. Keeps offset_to_point_data in step.
  bool insert_vlr(const char* user_id, uint16_t record_id, uint16_t record_length,
                  std::unique_ptr<uint8_t[]> data, bool keep_description = false,
                  const char* description = nullptr, bool append = false);
  // Removes VLR `index`; the last VLR moves into its slot. Without
  // `free_payload` the payload is released unfreed (the caller owns it).
  bool erase_vlr_at(uint32_t index, bool free_payload = true);
  bool erase_vlr(const char* user_id, uint16_t record_id);
  // The first VLR with these ids, or null.
  LASvlrRecord* find_vlr(const char* user_id, uint16_t record_id);
  const LASvlrRecord* find_vlr(const char* user_id, uint16_t record_id) const;

  // Adds an EVLR or replaces the first one with the same ids.
  bool insert_evlr(const char* user_id, uint16_t record_id, uint64_t record_length,
                   std::unique_ptr<uint8_t[]> data, bool keep_description = false,
                   const char* description = nullptr, bool append = false);

  // Removes the first EVLR with these ids; without EVLRs left none is announced.
  bool erase_evlr(const char* user_id, uint16_t record_id);

  // Renews the "LASF_Spec" record 4 from the attribute table (removes it when
  // there are no attributes). False, changing nothing, above 341 attributes.
  bool update_extra_bytes_vlr(bool keep_description = false);

  bool store_geo_key_directory(uint32_t number_of_keys, const LASvlrKeyEntry* keys);
  bool store_geo_doubles(uint32_t number, const double* values);

  bool bounds_look_geographic(float extent) const;

  // The checks of a header read from or about to be written to a file:
  // false on a wrong signature, a header shorter than 227 bytes or points
  // that would start inside the header; odd versions, zero scale factors and
  // an inverted bounding box only warn.
  bool validate() const;

  // Copies every member of `other`. Records, payloads and user data are
  // duplicated so that each header owns its own; the borrowed pointers are
  // re-pointed into the copies.
  void assign(const LASheader& other);
  // Forgets user data, VLRs, EVLRs and the recognised records (the attribute
  // table stays) and sets offset_to_point_data to header_size.
  void drop_references();

  // Clears every borrowed pointer that points into [payload, payload + size).
  void forget_borrowed(const uint8_t* payload, uint64_t size);
};

// Moves the offset of an axis to the rounded centre of the header's box and
// grows its scale factor by factors of 10 until the box fits 32-bit integers,
// with one warning per changed value. Sets *rescale / *reoffset when it changed
// a scale factor / an offset and leaves them alone otherwise.
void las_fit_bounds_to_integers(LASheader* header, bool* rescale, bool* reoffset);

#endif  // POINTLIB_CORE_LAS_HEADER_HPP
