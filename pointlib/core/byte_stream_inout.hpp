#ifndef POINTLIB_CORE_BYTE_STREAM_INOUT_HPP
#define POINTLIB_CORE_BYTE_STREAM_INOUT_HPP

#include <cstdio>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"

// Reads and writes one borrowed FILE opened "rb+" or "wb+": both sides share
// the file position. The C library requires a seek between a write and a read
// on the same FILE, so a change of direction repositions in place first. The
// input side does not read ahead: the writes must land at the position read
// to. May be deleted through either side.
class ByteStreamInOutFileLE : public ByteStreamInFileLE, public ByteStreamOutFileLE {
 public:
  explicit ByteStreamInOutFileLE(FILE* file);

  int read_byte() override;
  void read_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  bool write_byte(uint8_t byte) override;
  bool write_bytes(const uint8_t* bytes, uint32_t num_bytes) override;

  // Both sides name these; one answer for both.
  bool can_seek() const override { return ByteStreamInFileLE::can_seek(); }
  int64_t position() const override { return ByteStreamInFileLE::position(); }
  bool seek_to(int64_t offset) override;
  bool seek_to_end(int64_t distance) override;  // input side: distance before the end
  bool seek_to_end() override;                  // output side: to the end
  FILE* get_file() const { return ByteStreamInFileLE::file; }

 private:
  enum class Direction { kNone, kReading, kWriting };
  void turn_to(Direction next);
  Direction last = Direction::kNone;
};

#endif
