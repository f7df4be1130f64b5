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

ByteStreamInFile::ByteStreamInFile(FILE* file, bool read_ahead)
    : file(file), seekable(false), read_ahead(read_ahead) {
  const off_t here = file == stdin ? -1 : ftello(file);
  seekable = here >= 0;
  if (seekable) end_position = static_cast<int64_t>(here);
}

ByteStreamInFile::~ByteStreamInFile() {
  // A lent FILE goes back to its owner where the stream's reading ended.
  if (read_ahead && seekable && window_next != window_end) {
    fseeko(file, static_cast<off_t>(position()), SEEK_SET);
  }
}

bool ByteStreamInFile::refill() {
  if (!buffer) buffer.reset(new uint8_t[kReadAhead]);
  // Once the reader met the end it stays there until a seek, as getc() does;
  // a read this large would go past the flag to the file.
  const size_t got = feof(file) ? 0 : fread(buffer.get(), 1, kReadAhead, file);
  // The end met by reading ahead was not yet met by the reader: a file that
  // grows meanwhile gives the reader its new bytes, as unbuffered reading did.
  if (got > 0 && got < kReadAhead && seekable && !ferror(file)) clearerr(file);
  window_next = buffer.get();
  window_end = buffer.get() + got;
  end_position += static_cast<int64_t>(got);
  return got > 0;
}

void ByteStreamInFile::drop_window(int64_t file_position) {
  window_next = window_end = buffer.get();
  end_position = file_position;
}

void ByteStreamInFile::settle_after_failed_seek() {
  const off_t here = ftello(file);
  if (here >= 0 && static_cast<int64_t>(here) != end_position) drop_window(here);
}

int ByteStreamInFile::read_byte() {
  if (read_ahead) {
    if (window_next == window_end && !refill()) throw -1;
    return *window_next++;
  }
  const int byte = getc(file);
  if (byte == EOF) throw -1;
  end_position++;
  return byte;
}

void ByteStreamInFile::read_bytes(uint8_t* bytes, uint32_t num_bytes) {
  if (!read_ahead) {
    const size_t got = fread(bytes, 1, num_bytes, file);
    end_position += static_cast<int64_t>(got);
    if (got != num_bytes) throw -1;
    return;
  }
  // As an unbuffered read: what there is arrives before the end throws.
  for (;;) {
    const uint32_t have = static_cast<uint32_t>(
        window_size() < int64_t{num_bytes} ? window_size() : int64_t{num_bytes});
    if (have) std::memcpy(bytes, window_next, have);
    window_next += have;
    bytes += have;
    num_bytes -= have;
    if (num_bytes == 0) return;
    if (num_bytes >= kReadAhead) {
      // Large reads skip the copy through the buffer.
      const size_t got = fread(bytes, 1, num_bytes, file);
      end_position += static_cast<int64_t>(got);
      if (got != num_bytes) throw -1;
      return;
    }
    if (!refill()) throw -1;
  }
}

int64_t ByteStreamInFile::position() const {
  if (read_ahead) return end_position - window_size();
  if (!seekable) return end_position;
  return static_cast<int64_t>(ftello(file));
}

bool ByteStreamInFile::seek_to(int64_t offset) {
  if (!read_ahead) {
    if (!seekable) {
      if (offset < end_position) return false;
      // Reading forward is the only way to move on a pipe.
      uint8_t scratch[4096];
      while (end_position < offset) {
        const int64_t left = offset - end_position;
        const size_t want = left < 4096 ? static_cast<size_t>(left) : sizeof(scratch);
        const size_t got = fread(scratch, 1, want, file);
        end_position += static_cast<int64_t>(got);
        if (got != want) return false;
      }
      return true;
    }
    if (position() == offset) return true;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
  }
  // Within the window's bytes (backward on a pipe stays refused).
  const int64_t window_start = end_position - (window_end - buffer.get());
  const int64_t lowest = seekable ? window_start : position();
  if (offset >= lowest && offset <= end_position) {
    // A move forgets the end met, as fseeko() did.
    if (seekable && offset != position() && feof(file) && !ferror(file)) clearerr(file);
    window_next = buffer.get() + (offset - window_start);
    return true;
  }
  if (!seekable) {
    if (offset < end_position) return false;
    window_next = window_end;
    while (end_position < offset) {
      const int64_t left = offset - end_position;
      if (!refill()) return false;
      if (window_size() > left) {
        window_next += left;
        return true;
      }
      window_next = window_end;
    }
    return true;
  }
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
    settle_after_failed_seek();
    return false;
  }
  drop_window(offset);
  return true;
}

bool ByteStreamInFile::seek_to_end(int64_t distance) {
  if (!seekable) return false;
  if (!read_ahead) return fseeko(file, static_cast<off_t>(-distance), SEEK_END) == 0;
  if (fseeko(file, static_cast<off_t>(-distance), SEEK_END) != 0) {
    settle_after_failed_seek();
    return false;
  }
  const off_t here = ftello(file);
  if (here < 0) {
    // Not known where that is: back to where the window ends.
    fseeko(file, static_cast<off_t>(end_position), SEEK_SET);
    return false;
  }
  drop_window(here);
  return true;
}

int64_t ByteStreamInFile::bytes_left() {
  if (!read_ahead) return ByteStreamIn::bytes_left();
  if (!seekable) return -1;
  // The end is looked up behind the window, which stays.
  if (fseeko(file, 0, SEEK_END) != 0) {
    settle_after_failed_seek();
    return -1;
  }
  const off_t end = ftello(file);
  if (fseeko(file, static_cast<off_t>(end_position), SEEK_SET) != 0) {
    settle_after_failed_seek();
    return -1;
  }
  if (end < 0) return -1;
  const int64_t here = position();
  return end > here ? end - here : 0;
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
