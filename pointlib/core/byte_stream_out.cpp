#include "core/byte_stream_out.hpp"

#include <sys/types.h>

#include <cstddef>
#include <cstring>
#include <limits>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host expected");

bool ByteStreamOut::write_u16_le(const void* value) {
  return write_bytes(static_cast<const uint8_t*>(value), 2);
}
bool ByteStreamOut::write_u32_le(const void* value) {
  return write_bytes(static_cast<const uint8_t*>(value), 4);
}
bool ByteStreamOut::write_u64_le(const void* value) {
  return write_bytes(static_cast<const uint8_t*>(value), 8);
}
bool ByteStreamOut::write_u16_be(const void* value) {
  return write_reversed(value, 2);
}
bool ByteStreamOut::write_u32_be(const void* value) {
  return write_reversed(value, 4);
}
bool ByteStreamOut::write_u64_be(const void* value) {
  return write_reversed(value, 8);
}

bool ByteStreamOut::write_reversed(const void* value, uint32_t num_bytes) {
  const uint8_t* in = static_cast<const uint8_t*>(value);
  uint8_t swapped[8];
  for (uint32_t i = 0; i < num_bytes; i++) swapped[i] = in[num_bytes - 1 - i];
  return write_bytes(swapped, num_bytes);
}

bool ByteStreamOut::put_bits(uint32_t bits, uint32_t num_bits) {
  bit_buffer |= static_cast<uint64_t>(bits) << num_bits_held;
  num_bits_held += num_bits;
  if (num_bits_held >= 32) {
    const uint32_t word = static_cast<uint32_t>(bit_buffer);
    bit_buffer >>= 32;
    num_bits_held -= 32;
    return write_u32_le(&word);
  }
  return true;
}

bool ByteStreamOut::flush_bits() {
  if (num_bits_held == 0) return true;
  const uint32_t word = static_cast<uint32_t>(bit_buffer);
  bit_buffer = 0;
  num_bits_held = 0;
  return write_u32_le(&word);
}

// --- file -------------------------------------------------------------------

ByteStreamOutFile::ByteStreamOutFile(FILE* file)
    : file(file), seekable(file != stdout && ftello(file) >= 0) {}

ByteStreamOutFile::~ByteStreamOutFile() {
  flush();
}

void ByteStreamOutFile::gather_writes() {
  constexpr uint32_t kBlockSize = 4096;
  if (block_size == 0) {
    block.reset(new uint8_t[kBlockSize]);
    block_size = kBlockSize;
  }
}

bool ByteStreamOutFile::write_byte_through(uint8_t byte) {
  if (block_size > 0) {
    if (!flush()) return false;
    block[buffered++] = byte;
    return true;
  }
  if (fputc(byte, file) != byte) return false;
  bytes_written++;
  return true;
}

bool ByteStreamOutFile::write_bytes(const uint8_t* bytes, uint32_t num_bytes) {
  if (num_bytes <= block_size - buffered) {
    if (num_bytes) std::memcpy(block.get() + buffered, bytes, num_bytes);
    buffered += num_bytes;
    return true;
  }
  if (!flush()) return false;
  if (num_bytes < block_size) {
    std::memcpy(block.get(), bytes, num_bytes);
    buffered = num_bytes;
    return true;
  }
  const size_t put = fwrite(bytes, 1, num_bytes, file);
  bytes_written += static_cast<int64_t>(put);
  return put == num_bytes;
}

bool ByteStreamOutFile::flush() {
  if (buffered == 0) return true;
  const size_t put = fwrite(block.get(), 1, buffered, file);
  bytes_written += static_cast<int64_t>(put);
  // What the FILE refused is lost either way; keeping it would only fail again.
  const bool ok = put == buffered;
  buffered = 0;
  return ok;
}

int64_t ByteStreamOutFile::position() const {
  if (!seekable) return bytes_written + buffered;
  const off_t at = ftello(file);
  return at < 0 ? -1 : static_cast<int64_t>(at) + buffered;
}

bool ByteStreamOutFile::seek_to(int64_t offset) {
  if (!seekable) return offset == position();
  if (!flush()) return false;
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool ByteStreamOutFile::seek_to_end() {
  if (!seekable) return false;
  if (!flush()) return false;
  return fseeko(file, 0, SEEK_END) == 0;
}

// --- memory -----------------------------------------------------------------

ByteStreamOutArray::ByteStreamOutArray(int64_t initial_capacity) {
  if (initial_capacity > 0) grow_to(initial_capacity);
}

int64_t ByteStreamOutArray::grown_capacity(int64_t capacity, int64_t position, uint32_t num_bytes,
                                           bool single_byte) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  if (capacity < 0 || position < 0 || position > kMax - num_bytes) return -1;
  if (position + num_bytes <= capacity) return capacity;
  const int64_t step = single_byte ? 4096 : int64_t{num_bytes} + 4096;
  if (capacity > kMax - step) return -1;
  int64_t grown = capacity + step;
  // A seek cannot pass the size, so one step always suffices; this only guards
  // a caller that breaks that.
  if (grown < position + num_bytes) grown = position + num_bytes;
  if (static_cast<uint64_t>(grown) > std::numeric_limits<size_t>::max()) return -1;
  return grown;
}

bool ByteStreamOutArray::grow_to(int64_t new_capacity) {
  void* grown = std::realloc(data.get(), static_cast<size_t>(new_capacity));
  if (grown == nullptr) return false;  // the old buffer stays valid and owned
  data.release();
  data.reset(static_cast<uint8_t*>(grown));
  capacity = new_capacity;
  return true;
}

bool ByteStreamOutArray::write_byte(uint8_t byte) {
  if (curr >= capacity) {
    const int64_t next = grown_capacity(capacity, curr, 1, true);
    if (next < 0 || !grow_to(next)) return false;
  }
  data[curr] = byte;
  curr++;
  if (curr > size) size = curr;
  return true;
}

bool ByteStreamOutArray::write_bytes(const uint8_t* bytes, uint32_t num_bytes) {
  if (num_bytes == 0) return true;
  if (curr + num_bytes > capacity) {
    const int64_t next = grown_capacity(capacity, curr, num_bytes, false);
    if (next < 0 || !grow_to(next)) return false;
  }
  std::memcpy(data.get() + curr, bytes, num_bytes);
  curr += num_bytes;
  if (curr > size) size = curr;
  return true;
}

bool ByteStreamOutArray::seek_to(int64_t offset) {
  if (offset < 0 || offset > size) return false;
  curr = offset;
  return true;
}

MallocBuffer ByteStreamOutArray::take_buffer() {
  capacity = 0;
  size = 0;
  curr = 0;
  return std::move(data);
}
