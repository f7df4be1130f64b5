#ifndef POINTLIB_CORE_LAS_ITEM_HPP
#define POINTLIB_CORE_LAS_ITEM_HPP

#include <cstdint>
#include <string>
#include <vector>

// One fixed piece of a point record: its type, its size in bytes and the
// coding version of the compressed item coders (0 = stored raw).
struct LASitem {
  enum Type : int32_t {
    BYTE = 0,
    POINT10 = 6,
    GPSTIME11 = 7,
    RGB12 = 8,
    WAVEPACKET13 = 9,
    POINT14 = 10,
    RGB14 = 11,
    RGBNIR14 = 12,
    WAVEPACKET14 = 13,
    BYTE14 = 14
  };

  Type type = BYTE;
  uint16_t size = 0;
  uint16_t version = 0;

  // True when the item has type t and the size of that type (BYTE and
  // BYTE14: any size but 0).
  bool is_type(Type t) const;
  // "BYTE", "POINT10", ... or "unknown".
  const char* get_name() const;
};
using LASitemType = LASitem::Type;

// Where an item's bytes live in a LASpoint.
enum class LASitemPlace : uint8_t { point, gps_time, rgb, wavepacket, extra_bytes };

// The raw coders copy an item by its record layout; the items of the
// extended points keep the layout of the older items they extend.
enum class LASrawLayout : uint8_t {
  bytes,
  point10,
  gpstime11,
  rgb12,
  wavepacket13,
  rgbnir14,
  point14
};

// What an item tells a LASpoint about its layout besides where it lives.
enum LASitemParts : uint8_t {
  ITEM_GPS_TIME = 1,
  ITEM_RGB = 2,
  ITEM_NIR = 4,
  ITEM_WAVEPACKET = 8,
  ITEM_EXTENDED_POINT = 16
};

// The facts of one item type, one table row each.
struct LASitemKind {
  LASitemType type;
  const char* name;
  uint16_t size;           // 0: any size of at least 1 (the extra bytes)
  uint8_t versions;        // bit v set: version v may stand in a set-up record
  uint8_t chosen_version;  // 0: the version asked for; otherwise always this one
  bool layered;            // compressed in layers (the items of the extended points)
  LASitemPlace place;
  uint8_t parts;  // LASitemParts
  LASrawLayout raw;
};

// The kind of a type code, or null for a code that is no item type.
const LASitemKind* las_item_kind(int32_t type);

inline bool operator==(const LASitem& a, const LASitem& b) {
  return a.type == b.type && a.size == b.size && a.version == b.version;
}
inline bool operator!=(const LASitem& a, const LASitem& b) {
  return !(a == b);
}

// Codes of LAScompressorSetup::compressor.
struct LAScompressorKind {
  enum : uint16_t { raw = 0, sequential = 1, sequential_chunked = 2, multistream_chunked = 3 };
};

// The set-up record of a point record: the item list with the compressor
// kind, coder, format version and chunk size. Stored as the payload of the
// "vexpak encoded" VLR (record id 22204) of compressed files.
class LAScompressorSetup {
 public:
  static constexpr uint16_t kRecordId = 22204;
  static constexpr const char* kUserId = "vexpak encoded";
  static constexpr uint32_t kDefaultChunkSize = 50000;
  static constexpr uint32_t kAdaptiveChunkSize = 0xFFFFFFFFu;
  static constexpr int kVersionMajor = 3;
  static constexpr int kVersionMinor = 4;
  static constexpr int kVersionRevision = 3;
  static constexpr int kVersionNumber = 210531;
  static constexpr uint32_t kPayloadFixedSize = 34;
  static constexpr uint32_t kPayloadItemSize = 6;

  uint16_t compressor = LAScompressorKind::sequential_chunked;
  uint16_t coder = 0;
  uint8_t version_major = kVersionMajor;
  uint8_t version_minor = kVersionMinor;
  uint16_t version_revision = kVersionRevision;
  uint32_t options = 0;
  uint32_t chunk_size = kDefaultChunkSize;
  int64_t number_of_special_evlrs = -1;
  int64_t offset_to_special_evlrs = -1;
  uint16_t num_items = 0;
  std::vector<LASitem> items;

  // Takes a copy of an item list for a compressor kind (the writer's way in).
  bool setup(uint16_t n, const LASitem* list, uint16_t requested_compressor);
  // Builds the item list of a LAS point data format and record length into
  // the out parameters; the record's own fields do not change.
  bool setup_from_point_type(uint8_t point_type, uint16_t point_size, uint16_t* out_num_items,
                             std::vector<LASitem>* out_items);
  // The record length of a LAS point data format without extra bytes; 0 for
  // a format above 10.
  static uint16_t standard_point_size(uint8_t point_type);
  // Compressor, coder and item checks; point_size 0 skips the size comparison.
  bool validate(uint16_t point_size = 0);
  bool choose_version(uint16_t requested);
  bool change_chunk_size(uint32_t size);
  bool derive_point_type(uint16_t n, const LASitem* list, uint8_t* point_type,
                         uint16_t* point_size);
  bool derive_point_type(uint8_t* point_type, uint16_t* point_size) {
    return derive_point_type(num_items, items.data(), point_type, point_size);
  }
  static bool is_type(const LASitem& item, LASitemType type) { return item.is_type(type); }
  // Whether `list` of `n` items is this record's own item list (its array or
  // a copy of it); an empty list never is.
  bool lists_items(uint16_t n, const LASitem* list) const;

  // The last error text (with the version suffix), or null when none.
  const char* last_error() const { return error_.empty() ? nullptr : error_.c_str(); }

  bool check_compressor(uint16_t value);
  bool check_coder(uint16_t value);
  bool check_item(const LASitem& item);
  bool check_items(uint16_t n, const LASitem* list, uint16_t point_size = 0);

  // The VLR payload: 34 + 6 * num_items bytes, little-endian.
  uint32_t payload_size() const { return kPayloadFixedSize + kPayloadItemSize * num_items; }
  std::vector<uint8_t> to_payload() const;
  // Parses a payload of `length` bytes. A payload too short for its fields or
  // for its item count prints the "ERROR: reading <field> ..." line of the
  // first missing field and is refused; bytes after the last item are left
  // for the caller to judge (see payload_size()).
  bool from_payload(const uint8_t* data, uint32_t length);

 private:
  bool fail(const std::string& message);
  std::string error_;
};

#endif  // POINTLIB_CORE_LAS_ITEM_HPP
