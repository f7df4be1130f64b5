#ifndef POINTLIB_COMPRESS_ITEM_BYTES_HPP
#define POINTLIB_COMPRESS_ITEM_BYTES_HPP

#include <cstdint>
#include <cstring>

// Field access inside the little-endian item bytes of a point record. The
// library targets little-endian hosts only, so a plain copy is the conversion.
template <typename T>
inline T item_load(const uint8_t* item, unsigned at) {
  T v;
  std::memcpy(&v, item + at, sizeof(T));
  return v;
}

template <typename T>
inline void item_store(uint8_t* item, unsigned at, T v) {
  std::memcpy(item + at, &v, sizeof(T));
}

// Byte positions inside a POINT10 item.
struct Point10Layout {
  static constexpr unsigned kX = 0;
  static constexpr unsigned kY = 4;
  static constexpr unsigned kZ = 8;
  static constexpr unsigned kIntensity = 12;
  static constexpr unsigned kReturnByte = 14;
  static constexpr unsigned kClassification = 15;
  static constexpr unsigned kScanAngleRank = 16;
  static constexpr unsigned kUserData = 17;
  static constexpr unsigned kPointSourceID = 18;
  static constexpr unsigned kSize = 20;
};

// Byte positions inside a WAVEPACKET13 item.
struct Wavepacket13Layout {
  static constexpr unsigned kIndex = 0;
  static constexpr unsigned kOffset = 1;
  static constexpr unsigned kPacketSize = 9;
  static constexpr unsigned kReturnPoint = 13;
  static constexpr unsigned kXt = 17;
  static constexpr unsigned kYt = 21;
  static constexpr unsigned kZt = 25;
  static constexpr unsigned kSize = 29;
};

// True when a 64-bit difference fits a signed 32-bit value.
inline bool fits_i32(int64_t d) {
  return d >= INT32_MIN && d <= INT32_MAX;
}

// Difference of two 64-bit patterns, wrapping, read as signed.
inline int64_t diff_u64(uint64_t a, uint64_t b) {
  return static_cast<int64_t>(a - b);
}

// 32-bit product with wrap-around, as the stored files were made with it.
inline int32_t mul_wrap(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

#endif
