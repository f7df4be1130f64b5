#ifndef POINTLIB_LAYERS_LAYER_IO_HPP
#define POINTLIB_LAYERS_LAYER_IO_HPP

// Field reads and writes of layer records and LAY headers: each prints its own
// "ERROR: ..." line when it fails and answers false, so that a record reader is
// a chain of calls. Byte streams throw at the end of the data; the throw stops
// here.

#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"

namespace layer_io {

// `message` is printed as given (it names the field and ends with a line feed).
template <typename T>
bool get(ByteStreamIn* in, T* value, const char* message) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8,
                "a value of 1, 2, 4 or 8 bytes");
  try {
    if constexpr (sizeof(T) == 1) {
      *reinterpret_cast<uint8_t*>(value) = static_cast<uint8_t>(in->read_byte());
    } else if constexpr (sizeof(T) == 2) {
      in->read_u16_le(value);
    } else if constexpr (sizeof(T) == 4) {
      in->read_u32_le(value);
    } else {
      in->read_u64_le(value);
    }
    return true;
  } catch (...) {
    std::fprintf(stderr, "%s", message);
    return false;
  }
}

inline bool get_bytes(ByteStreamIn* in, void* bytes, uint32_t count, const char* message) {
  try {
    in->read_bytes(static_cast<uint8_t*>(bytes), count);
    return true;
  } catch (...) {
    std::fprintf(stderr, "%s", message);
    return false;
  }
}

// Whether `count` more bytes are there to read; a stream that cannot tell is
// trusted, its reads fail at the end instead. Counts read from a file are
// checked with it before they size an allocation or a skip.
inline bool bytes_there(ByteStreamIn* in, uint64_t count) {
  const int64_t left = in->bytes_left();
  return left < 0 || static_cast<uint64_t>(left) >= count;
}

// A seek on a file succeeds past its end, so a skip is checked against the
// bytes there first.
inline bool skip(ByteStreamIn* in, uint64_t count, const char* message) {
  if (count == 0) return true;
  try {
    if (count > UINT32_MAX || !bytes_there(in, count) || !in->skip(static_cast<uint32_t>(count))) {
      std::fprintf(stderr, "%s", message);
      return false;
    }
    return true;
  } catch (...) {
    std::fprintf(stderr, "%s", message);
    return false;
  }
}

template <typename T>
bool put(ByteStreamOut* out, const T& value, const char* message) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8,
                "a value of 1, 2, 4 or 8 bytes");
  bool ok;
  if constexpr (sizeof(T) == 1) {
    ok = out->write_byte(*reinterpret_cast<const uint8_t*>(&value));
  } else if constexpr (sizeof(T) == 2) {
    ok = out->write_u16_le(&value);
  } else if constexpr (sizeof(T) == 4) {
    ok = out->write_u32_le(&value);
  } else {
    ok = out->write_u64_le(&value);
  }
  if (!ok) std::fprintf(stderr, "%s", message);
  return ok;
}

inline bool put_bytes(ByteStreamOut* out, const void* bytes, uint32_t count, const char* message) {
  if (count == 0 || out->write_bytes(static_cast<const uint8_t*>(bytes), count)) return true;
  std::fprintf(stderr, "%s", message);
  return false;
}

// A field of the LAS header as layer records and LAY headers store it: `count`
// values of `width` bytes each, 1, 2, 4 or 8 as little-endian numbers, any
// other width as a run of bytes.
struct HeaderField {
  const char* name;
  uint32_t width;
  uint32_t count;
  void* (*at)(LASheader&);
};

// clang-format off
#define PL_HEADER_FIELD(member, width, count) \
  layer_io::HeaderField { #member, width, count, [](LASheader& h) -> void* { return &h.member; } }
// clang-format on

// A failure prints `failure` followed by the field's name (and the index of
// the value in a row of several).
bool write_header_field(ByteStreamOut* out, const HeaderField& field, LASheader& header,
                        const char* failure);
bool read_header_field(ByteStreamIn* in, const HeaderField& field, LASheader& header,
                       const char* failure);

// The specialized header of most kinds: offset_to_data (u16, counting
// itself), one-byte fields, then bytes this reader does not know. The
// messages are each kind's own; `too_short` is printed with " %d < %u\n".
struct ByteHeader {
  const char* write_offset;
  const char* read_offset;
  const char* too_short;
  const char* extra;
  struct Field {
    const char* read;
    const char* write;
  } fields[3];
};

bool write_byte_header(ByteStreamOut* out, const ByteHeader& header,
                       std::initializer_list<const uint8_t*> values);
// Reads offset_to_data and the fields; `extra` receives the count of unknown
// bytes behind them, for the caller to skip once it has checked the values.
bool read_byte_header(ByteStreamIn* in, const ByteHeader& header,
                      std::initializer_list<uint8_t*> values, uint32_t* extra);
// The same, skipping the unknown bytes.
bool read_whole_byte_header(ByteStreamIn* in, const ByteHeader& header,
                            std::initializer_list<uint8_t*> values);

}  // namespace layer_io

#endif  // POINTLIB_LAYERS_LAYER_IO_HPP
