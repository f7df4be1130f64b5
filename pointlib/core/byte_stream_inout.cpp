#include "core/byte_stream_inout.hpp"

#include <sys/types.h>

ByteStreamInOutFileLE::ByteStreamInOutFileLE(FILE* file)
    : ByteStreamInFileLE(file, false), ByteStreamOutFileLE(file) {}

void ByteStreamInOutFileLE::turn_to(Direction next) {
  if (last != Direction::kNone && last != next) fseeko(ByteStreamInFileLE::file, 0, SEEK_CUR);
  last = next;
}

int ByteStreamInOutFileLE::read_byte() {
  turn_to(Direction::kReading);
  return ByteStreamInFileLE::read_byte();
}

void ByteStreamInOutFileLE::read_bytes(uint8_t* bytes, uint32_t num_bytes) {
  turn_to(Direction::kReading);
  ByteStreamInFileLE::read_bytes(bytes, num_bytes);
}

bool ByteStreamInOutFileLE::write_byte(uint8_t byte) {
  turn_to(Direction::kWriting);
  return ByteStreamOutFileLE::write_byte(byte);
}

bool ByteStreamInOutFileLE::write_bytes(const uint8_t* bytes, uint32_t num_bytes) {
  turn_to(Direction::kWriting);
  return ByteStreamOutFileLE::write_bytes(bytes, num_bytes);
}

bool ByteStreamInOutFileLE::seek_to(int64_t offset) {
  // A seek is itself the repositioning the direction change needs.
  last = Direction::kNone;
  return ByteStreamOutFileLE::seek_to(offset);
}

bool ByteStreamInOutFileLE::seek_to_end(int64_t distance) {
  last = Direction::kNone;
  return ByteStreamInFileLE::seek_to_end(distance);
}

bool ByteStreamInOutFileLE::seek_to_end() {
  last = Direction::kNone;
  return ByteStreamOutFileLE::seek_to_end();
}
