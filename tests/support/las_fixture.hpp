#ifndef TESTS_SUPPORT_LAS_FIXTURE_HPP
#define TESTS_SUPPORT_LAS_FIXTURE_HPP

// An independent LAS writer and reader for tests, written straight from the
// file layout (little-endian, LAS 1.0 to 1.4, point data formats 0 to 10). It
// shares no code with the library's own LAS code so that it can serve as an
// oracle for it: byte layouts here are spelled out field by field at their
// offsets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fixture_random.hpp"

// One point with every field of formats 0 to 10. Which fields reach the file
// depends on the format: legacy formats (0-5) store 3-bit returns, a 5-bit
// class with three flag bits and `scan_angle_rank`; extended formats (6-10)
// store 4-bit returns, an 8-bit class, four flag bits, the scanner channel and
// `extended_scan_angle`. Values are masked to their bit widths on writing.
struct FixturePoint {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Z = 0;
  uint16_t intensity = 0;
  uint8_t return_number = 1;      // 1-7 (legacy) or 1-15 (extended)
  uint8_t number_of_returns = 1;  // 1-7 (legacy) or 1-15 (extended)
  bool scan_direction_flag = false;
  bool edge_of_flight_line = false;
  uint8_t classification = 0;  // 0-31 (legacy) or 0-255 (extended)
  bool synthetic_flag = false;
  bool keypoint_flag = false;
  bool withheld_flag = false;
  bool overlap_flag = false;        // extended formats only
  uint8_t scanner_channel = 0;      // 0-3, extended formats only
  int8_t scan_angle_rank = 0;       // whole degrees, legacy formats
  int16_t extended_scan_angle = 0;  // units of 0.006 degrees, extended formats
  uint8_t user_data = 0;
  uint16_t point_source_ID = 0;
  double gps_time = 0.0;                    // formats 1, 3, 4, 5, 6-10
  std::array<uint16_t, 3> rgb = {0, 0, 0};  // formats 2, 3, 5, 7, 8, 10
  uint16_t nir = 0;                         // formats 8, 10
  std::array<uint8_t, 29> wavepacket = {};  // formats 4, 5, 9, 10, as raw bytes
  std::vector<uint8_t> extra_bytes;         // padded with zeros or cut to the record
};

bool operator==(const FixturePoint& a, const FixturePoint& b);
inline bool operator!=(const FixturePoint& a, const FixturePoint& b) {
  return !(a == b);
}
// Names the first differing field with both values, or "" when equal.
std::string fixture_point_difference(const FixturePoint& a, const FixturePoint& b);

// A variable-length record (54-byte header on file).
struct FixtureVlr {
  uint16_t reserved = 0;
  std::string user_id;  // at most 16 bytes on file, zero padded
  uint16_t record_id = 0;
  std::string description;  // at most 32 bytes on file, zero padded
  std::vector<uint8_t> data;
};
bool operator==(const FixtureVlr& a, const FixtureVlr& b);

// An extended variable-length record (60-byte header on file, 64-bit length).
struct FixtureEvlr {
  uint16_t reserved = 0;
  std::string user_id;
  uint16_t record_id = 0;
  std::string description;
  std::vector<uint8_t> data;
};
bool operator==(const FixtureEvlr& a, const FixtureEvlr& b);

// One extra-bytes attribute, for the 192-byte descriptors of the "LASF_Spec"
// record 4. `no_data`, `min` and `max` are kept as raw 8-byte slots because
// their type follows the data type.
struct FixtureAttribute {
  uint8_t data_type = 0;  // 0: `options` bytes of opaque data; 1-10 u8..f64; 11-30 deprecated
  uint8_t options = 0;
  std::string name;
  std::array<uint8_t, 24> no_data = {};
  std::array<uint8_t, 24> min = {};
  std::array<uint8_t, 24> max = {};
  std::array<double, 3> scale = {0.0, 0.0, 0.0};
  std::array<double, 3> offset = {0.0, 0.0, 0.0};
  std::string description;
};

// Which point counts the header carries.
enum class FixtureCounts {
  kStandard,    // legacy counts for formats 0-5 (when they fit), extended counts in 1.4
  kLegacyZero,  // legacy counts 0 even where they fit (1.4 readers fall back to the extended ones)
};

// What the writer is asked to write. Counts, bounds, header size and offsets
// follow from this and the points (see `fixture_make_header`).
struct FixtureFile {
  uint8_t version_major = 1;
  uint8_t version_minor = 2;
  uint8_t point_data_format = 0;
  uint16_t extra_bytes = 0;  // bytes per record beyond the format's standard size
  uint16_t file_source_ID = 0;
  uint16_t global_encoding = 0;
  uint32_t guid_data_1 = 0;
  uint16_t guid_data_2 = 0;
  uint16_t guid_data_3 = 0;
  std::array<uint8_t, 8> guid_data_4 = {};
  std::string system_identifier = "fixture";
  std::string generating_software = "las_fixture";
  uint16_t file_creation_day = 1;
  uint16_t file_creation_year = 2020;
  std::array<double, 3> scale = {0.01, 0.01, 0.01};
  std::array<double, 3> offset = {0.0, 0.0, 0.0};
  uint64_t start_of_waveform_data_packet_record = 0;  // 1.3 and later
  std::vector<uint8_t> user_data_in_header;
  std::vector<FixtureVlr> vlrs;
  std::vector<uint8_t> user_data_after_header;
  std::vector<FixtureEvlr> evlrs;  // after the points; 1.4 only (ignored below)
  FixtureCounts counts = FixtureCounts::kStandard;
  // 0: the version's known header part plus the user data in the header. Any
  // other value cuts or zero-pads the header block to that many bytes, which
  // makes files with too short or oversized headers.
  uint16_t header_size = 0;
};

// Every field of the public header block, as written or read.
struct FixtureHeader {
  std::array<char, 4> file_signature = {'L', 'A', 'S', 'F'};
  uint16_t file_source_ID = 0;
  uint16_t global_encoding = 0;
  uint32_t guid_data_1 = 0;
  uint16_t guid_data_2 = 0;
  uint16_t guid_data_3 = 0;
  std::array<uint8_t, 8> guid_data_4 = {};
  uint8_t version_major = 1;
  uint8_t version_minor = 2;
  std::string system_identifier;
  std::string generating_software;
  uint16_t file_creation_day = 0;
  uint16_t file_creation_year = 0;
  uint16_t header_size = 0;
  uint32_t offset_to_point_data = 0;
  uint32_t number_of_variable_length_records = 0;
  uint8_t point_data_format = 0;
  uint16_t point_data_record_length = 0;
  uint32_t number_of_point_records = 0;
  std::array<uint32_t, 5> number_of_points_by_return = {};
  std::array<double, 3> scale = {};
  std::array<double, 3> offset = {};
  double max_x = 0, min_x = 0, max_y = 0, min_y = 0, max_z = 0, min_z = 0;
  uint64_t start_of_waveform_data_packet_record = 0;
  uint64_t start_of_first_extended_variable_length_record = 0;
  uint32_t number_of_extended_variable_length_records = 0;
  uint64_t extended_number_of_point_records = 0;
  std::array<uint64_t, 15> extended_number_of_points_by_return = {};
};

// Names the first differing field of two descriptions, or "" when equal.
std::string fixture_file_difference(const FixtureFile& a, const FixtureFile& b);

// What the reader found.
struct FixtureContents {
  FixtureHeader header;
  FixtureFile file;  // the description that writes the same file again
  std::vector<FixturePoint> points;
};

// Layout facts.
constexpr uint16_t kFixtureVlrHeaderSize = 54;
constexpr uint16_t kFixtureEvlrHeaderSize = 60;
constexpr uint16_t kFixtureAttributeDescriptorSize = 192;
// 20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67 for formats 0-10; 0 for others.
uint16_t fixture_standard_record_length(uint8_t point_data_format);
// 227 (1.0-1.2), 235 (1.3), 375 (1.4 and later minors).
uint16_t fixture_known_header_size(uint8_t version_minor);
// What the items of a point format hold beside the fields of format 0: the
// extended fields of LAS 1.4 (6-10), GPS time, RGB, NIR and the wave packet.
inline bool fixture_format_is_extended(uint8_t format) {
  return format >= 6;
}
inline bool fixture_format_has_gps(uint8_t format) {
  return format == 1 || format >= 3;
}
inline bool fixture_format_has_rgb(uint8_t format) {
  return format == 2 || format == 3 || format == 5 || format == 7 || format == 8 || format == 10;
}
inline bool fixture_format_has_nir(uint8_t format) {
  return format == 8 || format == 10;
}
inline bool fixture_format_has_wavepacket(uint8_t format) {
  return format == 4 || format == 5 || format == 9 || format == 10;
}
// Formats a version admits: 1.0/1.1 0-1, 1.2 0-3, 1.3 0-5, 1.4 0-10.
bool fixture_format_allowed(uint8_t version_minor, uint8_t point_data_format);
// Record length of a file description: standard size plus extra bytes.
uint16_t fixture_record_length(const FixtureFile& file);
// Size of one extra-bytes attribute from its data type (0: `options` bytes).
uint32_t fixture_attribute_size(uint8_t data_type, uint8_t options);

// One point record of `record_length` bytes (at least the standard size).
void fixture_encode_point(const FixturePoint& point, uint8_t point_data_format,
                          uint16_t record_length, uint8_t* out);
FixturePoint fixture_decode_point(const uint8_t* in, uint8_t point_data_format,
                                  uint16_t record_length);

// 192-byte descriptor and a "LASF_Spec" 4 record holding one per attribute.
std::array<uint8_t, 192> fixture_encode_attribute(const FixtureAttribute& attribute);
FixtureVlr fixture_extra_bytes_vlr(const std::vector<FixtureAttribute>& attributes);

// The header the writer writes for these points.
FixtureHeader fixture_make_header(const FixtureFile& file, const std::vector<FixturePoint>& points);

std::vector<uint8_t> fixture_write_bytes(const FixtureFile& file,
                                         const std::vector<FixturePoint>& points);
// False (with a message in `error` when given) when the file cannot be written.
bool fixture_write_file(const std::string& path, const FixtureFile& file,
                        const std::vector<FixturePoint>& points, std::string* error = nullptr);

// Reads an uncompressed LAS file. False with a message in `error` (when given)
// on a wrong signature, a compressed point format, or data that runs short.
bool fixture_read_bytes(const std::vector<uint8_t>& bytes, FixtureContents* out,
                        std::string* error = nullptr);
bool fixture_read_file(const std::string& path, FixtureContents* out, std::string* error = nullptr);

// A point with every field that `point_data_format` stores set at random and
// valid (return number <= number of returns, 1-7 or 1-15); fields the format
// does not store keep their defaults, so a write-read round trip is exact.
FixturePoint fixture_random_point(FixtureRandom& random, uint8_t point_data_format,
                                  uint16_t extra_bytes = 0);
std::vector<FixturePoint> fixture_random_points(uint64_t seed, size_t count,
                                                uint8_t point_data_format,
                                                uint16_t extra_bytes = 0);

// Little-endian access to a byte vector, for patching written files in tests.
void fixture_put_u8(std::vector<uint8_t>& bytes, size_t at, uint8_t value);
void fixture_put_u16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void fixture_put_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);
void fixture_put_u64(std::vector<uint8_t>& bytes, size_t at, uint64_t value);
void fixture_put_f64(std::vector<uint8_t>& bytes, size_t at, double value);
// Sets the point count of a written file's header: the legacy count where the
// file uses it (below LAS 1.4, or non-zero in 1.4), and the 1.4 count.
void fixture_set_point_count(std::vector<uint8_t>& bytes, uint64_t count);
uint16_t fixture_get_u16(const std::vector<uint8_t>& bytes, size_t at);
uint32_t fixture_get_u32(const std::vector<uint8_t>& bytes, size_t at);
uint64_t fixture_get_u64(const std::vector<uint8_t>& bytes, size_t at);
double fixture_get_f64(const std::vector<uint8_t>& bytes, size_t at);

#endif
