#ifndef POINTLIB_IO_FORMATS_RECORD_BYTES_HPP
#define POINTLIB_IO_FORMATS_RECORD_BYTES_HPP

#include <cstdint>
#include <cstring>

// Values out of record bytes held in memory, in the byte order of the file
// (big-endian when `big`), whatever the host's order, and little-endian
// values into record or extra bytes. The side-format readers read whole
// records and take their fields from them here; the side-format writers build
// whole records here and write them at once.

inline uint16_t record_u16(const uint8_t* b, bool big = false) {
  return big ? static_cast<uint16_t>(b[0] << 8 | b[1]) : static_cast<uint16_t>(b[1] << 8 | b[0]);
}

inline uint32_t record_u32(const uint8_t* b, bool big = false) {
  return big ? uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3]
             : uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
}

inline uint64_t record_u64(const uint8_t* b, bool big = false) {
  const uint64_t first = record_u32(b, big), second = record_u32(b + 4, big);
  return big ? first << 32 | second : second << 32 | first;
}

inline int16_t record_i16(const uint8_t* b, bool big = false) {
  return static_cast<int16_t>(record_u16(b, big));
}

inline int32_t record_i32(const uint8_t* b, bool big = false) {
  return static_cast<int32_t>(record_u32(b, big));
}

inline float record_f32(const uint8_t* b, bool big = false) {
  const uint32_t bits = record_u32(b, big);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

inline double record_f64(const uint8_t* b, bool big = false) {
  const uint64_t bits = record_u64(b, big);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

inline void record_store_u16(uint8_t* b, uint16_t v) {
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
}

inline void record_store_u32(uint8_t* b, uint32_t v) {
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
  b[2] = static_cast<uint8_t>(v >> 16);
  b[3] = static_cast<uint8_t>(v >> 24);
}

inline void record_store_i32(uint8_t* b, int32_t v) {
  record_store_u32(b, static_cast<uint32_t>(v));
}

inline void record_store_f64(uint8_t* b, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  record_store_u32(b, static_cast<uint32_t>(bits));
  record_store_u32(b + 4, static_cast<uint32_t>(bits >> 32));
}

#endif  // POINTLIB_IO_FORMATS_RECORD_BYTES_HPP
