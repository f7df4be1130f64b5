#ifndef POINTLIB_CORE_LAS_ATTRIBUTES_HPP
#define POINTLIB_CORE_LAS_ATTRIBUTES_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

class LASpoint;

// One extra-bytes descriptor of the "LASF_Spec" record 4, kept byte for byte.
struct LASattributeDescriptor {
  uint8_t reserved[2];
  uint8_t data_type;  // 0: `options` raw bytes; 1..10 u8 i8 u16 i16 u32 i32 u64 i64 f32 f64;
                      // 11..30 the two- and three-element forms of those
  uint8_t options;    // bit 3: scale used, bit 4: offset used
  char name[32];
  uint8_t unused[4];
  uint8_t no_data[3][8];
  uint8_t min[3][8];
  uint8_t max[3][8];
  double scale[3];
  double offset[3];
  char description[32];

  static constexpr uint8_t kNoDataBit = 1;
  static constexpr uint8_t kMinBit = 2;
  static constexpr uint8_t kMaxBit = 4;
  static constexpr uint8_t kScaleBit = 8;
  static constexpr uint8_t kOffsetBit = 16;

  // A zeroed descriptor of data type `type_index` + 1 (index 0..9: U8 to F64)
  // with the three scale factors 1.0 and no option bit set; name and
  // description are cut to 32 characters. False for an index above 9 or a
  // missing name.
  static bool make(int type_index, const char* name, const char* description,
                   LASattributeDescriptor* out);
  // Whether the data type is one of the unsigned (U8 U16 U32 U64) or signed
  // (I8 I16 I32 I64) integers; the rest are floats.
  bool is_unsigned() const;
  bool is_signed() const;
  // Sets (first) or widens the minimum and maximum of the first element to
  // the raw value stored at `value`, compared as u64, i64 or double by type.
  void widen_range(const uint8_t* value, bool first);

  // Size of the attribute inside the extra bytes.
  int32_t byte_size() const;
  // The first element as a double with scale and offset applied. `value`
  // must hold at least byte_size() bytes; data types 0 and above 30 read 0.
  double value_as_double(const uint8_t* value) const;
  // Removes offset and scale, rounds half away from zero and stores by data
  // type. Integer types are clamped to their range rather than wrapped.
  void store_value(uint8_t* value, double v) const;
};
static_assert(sizeof(LASattributeDescriptor) == 192, "descriptor is 192 bytes on file");
static_assert(offsetof(LASattributeDescriptor, no_data) == 40, "layout");
static_assert(offsetof(LASattributeDescriptor, scale) == 112, "layout");
static_assert(offsetof(LASattributeDescriptor, offset) == 136, "layout");
static_assert(offsetof(LASattributeDescriptor, description) == 160, "layout");

// The extra-bytes attributes of a point format with the offset and size of
// each one inside the extra bytes.
class LASattributeTable {
 public:
  int32_t number_attributes = 0;
  std::vector<LASattributeDescriptor> attributes;
  std::vector<int32_t> attribute_starts;
  std::vector<int32_t> attribute_sizes;

  // Copies n descriptors and lays them out one after another from byte 0.
  bool load_descriptors(uint32_t n, const LASattributeDescriptor* descriptors);
  void clear_attributes();
  // Drops every attribute that does not lie wholly inside `extra_bytes_number`
  // bytes (a descriptor record may claim more than a point record has),
  // printing a warning for each; true when all fit.
  bool check_extra_bytes(int32_t extra_bytes_number);
  // Appends a copy of the descriptor after the last attribute; its index, or
  // -1 (nothing added) when its byte size is 0.
  int32_t add_attribute(const LASattributeDescriptor& descriptor);
  // The bytes all attributes take together.
  int32_t total_attribute_size() const;
  // Index of the attribute with that name, or -1.
  int32_t get_attribute_index(const char* name) const;

  // Reads or stores attribute `index` of a point; false (and nothing touched)
  // when there is no such attribute or it does not lie inside the point's
  // extra bytes.
  bool get_value(const LASpoint& point, int32_t index, double* value) const;
  bool set_value(LASpoint& point, int32_t index, double value) const;
};

#endif  // POINTLIB_CORE_LAS_ATTRIBUTES_HPP
