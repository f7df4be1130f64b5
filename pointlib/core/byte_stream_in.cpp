#include "core/byte_stream_in.hpp"

#include <sys/types.h>

#include <cstring>

static_assert(sizeof(off_t) == 8, "file positions must be 64 bits");

// The little-endian reads store bytes as they arrive, which is only right on a
// little-endian machine.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host expected");

void ByteStreamIn::read_u16_le(void* value) {
  read_bytes(static_cast<uint8_t*>(value), 2);
}
void ByteStreamIn::read_u32_le(void* value) {
  read_bytes(static_cast<uint8_t*>(value), 4);
}
void ByteStreamIn::read_u64_le(void* value) {
  read_bytes(static_cast<uint8_t*>(value), 8);
}
void ByteStreamIn::read_u16_be(void* value) {
  read_reversed(value, 2);
}
void ByteStreamIn::read_u32_be(void* value) {
  read_reversed(value, 4);
}
void ByteStreamIn::read_u64_be(void* value) {
  read_reversed(value, 8);
}

void ByteStreamIn::read_reversed(void* value, uint32_t num_bytes) {
  uint8_t swapped[8];
  read_bytes(swapped, num_bytes);
  uint8_t* out = static_cast<uint8_t*>(value);
  for (uint32_t i = 0; i < num_bytes; i++) out[i] = swapped[num_bytes - 1 - i];
}

int64_t ByteStreamIn::bytes_left() {
  if (!can_seek()) return -1;
  const int64_t here = position();
  if (here < 0 || !seek_to_end(0)) return -1;
  const int64_t end = position();
  if (!seek_to(here)) return -1;
  return end > here ? end - here : 0;
}

uint32_t ByteStreamIn::get_bits(uint32_t num_bits) {
  if (num_bits_held < num_bits) {
    uint32_t word;
    read_u32_le(&word);
    bit_buffer |= static_cast<uint64_t>(word) << num_bits_held;
    num_bits_held += 32;
  }
  const uint32_t value = static_cast<uint32_t>(bit_buffer & ((uint64_t{1} << num_bits) - 1));
  bit_buffer >>= num_bits;
  num_bits_held -= num_bits;
  return value;
}

// --- file -------------------------------------------------------------------

ByteStreamInFile::ByteStreamInFile(FILE* file)
    : file(file), seekable(file != stdin && ftello(file) >= 0) {}

int ByteStreamInFile::read_byte() {
  const int byte = getc(file);
  if (byte == EOF) throw -1;
  bytes_read++;
  return byte;
}

void ByteStreamInFile::read_bytes(uint8_t* bytes, uint32_t num_bytes) {
  const size_t got = fread(bytes, 1, num_bytes, file);
  bytes_read += static_cast<int64_t>(got);
  if (got != num_bytes) throw -1;
}

int64_t ByteStreamInFile::position() const {
  if (!seekable) return bytes_read;
  return static_cast<int64_t>(ftello(file));
}

bool ByteStreamInFile::seek_to(int64_t offset) {
  if (!seekable) {
    if (offset < bytes_read) return false;
    // Reading forward is the only way to move on a pipe.
    uint8_t scratch[4096];
    while (bytes_read < offset) {
      const int64_t left = offset - bytes_read;
      const size_t want = left < 4096 ? static_cast<size_t>(left) : sizeof(scratch);
      const size_t got = fread(scratch, 1, want, file);
      bytes_read += static_cast<int64_t>(got);
      if (got != want) return false;
    }
    return true;
  }
  if (position() == offset) return true;
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool ByteStreamInFile::seek_to_end(int64_t distance) {
  if (!seekable) return false;
  return fseeko(file, static_cast<off_t>(-distance), SEEK_END) == 0;
}

// --- memory -----------------------------------------------------------------

ByteStreamInArray::ByteStreamInArray(const uint8_t* data, int64_t size) {
  init(data, size);
}

void ByteStreamInArray::init(const uint8_t* data, int64_t size) {
  this->data = data;
  // No bytes behind a null pointer or a negative size: every read throws.
  this->size = data && size > 0 ? size : 0;
  window_next = data;
  window_end = data + this->size;
  reset_bits();
}

int ByteStreamInArray::read_byte() {
  if (window_next == window_end) throw -1;
  return *window_next++;
}

void ByteStreamInArray::read_bytes(uint8_t* bytes, uint32_t num_bytes) {
  // Nothing is copied when the request runs past the end.
  if (static_cast<int64_t>(num_bytes) > window_end - window_next) throw -1;
  if (num_bytes) std::memcpy(bytes, window_next, num_bytes);
  window_next += num_bytes;
}

bool ByteStreamInArray::seek_to(int64_t offset) {
  if (offset < 0 || offset > size) return false;
  window_next = data + offset;
  return true;
}

bool ByteStreamInArray::seek_to_end(int64_t distance) {
  if (distance < 0 || distance > size) return false;
  window_next = data + (size - distance);
  return true;
}
