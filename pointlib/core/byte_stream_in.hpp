#ifndef POINTLIB_CORE_BYTE_STREAM_IN_HPP
#define POINTLIB_CORE_BYTE_STREAM_IN_HPP

#include <cstdint>
#include <cstdio>
#include <memory>

// Byte input over a C file or over memory. Every read past the end of the data
// throws the int -1; callers catch it around a field or record and name it in
// their own "ERROR: reading ..." message. Values are moved in the byte order the
// call names, so no caller ever swaps bytes itself.
class ByteStreamIn {
 public:
  ByteStreamIn(const ByteStreamIn&) = delete;
  ByteStreamIn& operator=(const ByteStreamIn&) = delete;
  virtual ~ByteStreamIn() = default;

  // Next byte as 0..255.
  virtual int read_byte() = 0;
  // The same without a call where the stream holds its bytes in memory: the
  // interval decoder pulls every compressed byte this way.
  int get_byte() {
    if (window_next != window_end) return *window_next++;
    return read_byte();
  }
  // The bytes that get_byte() takes without a call, to be looked at before
  // they are taken; skip_window() takes n of them (no more than are there).
  const uint8_t* window() const { return window_next; }
  int64_t window_size() const { return window_end - window_next; }
  void skip_window(uint32_t n) { window_next += n; }
  virtual void read_bytes(uint8_t* bytes, uint32_t num_bytes) = 0;
  // Each stores the next 2, 4 or 8 bytes, read in the named order, as a value
  // in machine order at the given address (any integer or float of that size).
  virtual void read_u16_le(void* value);
  virtual void read_u32_le(void* value);
  virtual void read_u64_le(void* value);
  virtual void read_u16_be(void* value);
  virtual void read_u32_be(void* value);
  virtual void read_u64_be(void* value);
  virtual bool can_seek() const = 0;
  virtual int64_t position() const = 0;
  virtual bool seek_to(int64_t offset) = 0;
  // Positions `distance` bytes before the end.
  virtual bool seek_to_end(int64_t distance = 0) = 0;
  bool skip(uint32_t num_bytes) { return seek_to(position() + num_bytes); }
  // Bytes from the position to the end, or -1 when the stream cannot tell
  // (it cannot seek). Lets callers bound counts read from a file.
  virtual int64_t bytes_left();

  // Bit reader for raw bit fields stored as little-endian u32 words: values
  // are taken from the low end of a 64-bit buffer that is refilled one u32 at
  // a time. num_bits is 1..32.
  uint32_t get_bits(uint32_t num_bits);
  // Drops the bits held, e.g. after a seek.
  void reset_bits() {
    bit_buffer = 0;
    num_bits_held = 0;
  }

 protected:
  ByteStreamIn() = default;
  // Reads n (2, 4 or 8) bytes and stores them reversed.
  void read_reversed(void* value, uint32_t num_bytes);

  // The bytes get_byte() may take without asking read_byte(): a stream over
  // memory keeps its read position here, a file stream its read-ahead.
  const uint8_t* window_next = nullptr;
  const uint8_t* window_end = nullptr;

 private:
  uint64_t bit_buffer = 0;
  uint32_t num_bits_held = 0;
};

// Over a borrowed C FILE: the stream never opens or closes it. Standard input,
// and any file that cannot seek (a pipe), answers can_seek() with false and
// counts the bytes it consumed itself, so position() stays right where
// ftello() has no answer.
//
// By default the stream reads ahead into a buffer of its own and serves it as
// the window, so get_byte() and the decoders' fast paths take compressed bytes
// from memory. While it lives, the FILE is then the stream's: nothing else may
// read from it or move it. When it is destroyed a seekable FILE is put back at
// the stream's position, so a caller who lent it may go on from there; the
// bytes read ahead from a pipe are lost with the stream. A stream built
// without read-ahead takes every byte straight from the FILE, which then always
// stands at the stream's position (a FILE shared with a writer needs that).
class ByteStreamInFile : public ByteStreamIn {
 public:
  ~ByteStreamInFile() override;
  int read_byte() override;
  void read_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  bool can_seek() const override { return seekable; }
  int64_t position() const override;
  // On a stream that cannot seek, a forward seek reads and drops the bytes in
  // between; a backward one fails.
  bool seek_to(int64_t offset) override;
  bool seek_to_end(int64_t distance = 0) override;
  int64_t bytes_left() override;
  FILE* get_file() const { return file; }

  static constexpr uint32_t kReadAhead = 65536;

 protected:
  ByteStreamInFile(FILE* file, bool read_ahead);
  FILE* file;

 private:
  // Refills the window from the FILE; false when no byte came.
  bool refill();
  // The window's bytes are dropped; the FILE stands at `file_position`.
  void drop_window(int64_t file_position);
  // After a failed fseeko(): the window is only kept if the FILE did not move.
  void settle_after_failed_seek();

  bool seekable;
  const bool read_ahead;
  std::unique_ptr<uint8_t[]> buffer;  // made at the first refill
  // With read-ahead: the logical position of the window's end, which is
  // where the FILE stands. Without: the bytes consumed from a pipe.
  int64_t end_position = 0;
};
class ByteStreamInFileLE : public ByteStreamInFile {
 public:
  explicit ByteStreamInFileLE(FILE* file, bool read_ahead = true)
      : ByteStreamInFile(file, read_ahead) {}
};

// Big-endian is the mirror image: the *_le reads reverse the bytes, the *_be
// reads do not.
class ByteStreamInFileBE : public ByteStreamInFile {
 public:
  explicit ByteStreamInFileBE(FILE* file, bool read_ahead = true)
      : ByteStreamInFile(file, read_ahead) {}
  void read_u16_le(void* value) override { read_reversed(value, 2); }
  void read_u32_le(void* value) override { read_reversed(value, 4); }
  void read_u64_le(void* value) override { read_reversed(value, 8); }
  void read_u16_be(void* value) override { read_bytes(static_cast<uint8_t*>(value), 2); }
  void read_u32_be(void* value) override { read_bytes(static_cast<uint8_t*>(value), 4); }
  void read_u64_be(void* value) override { read_bytes(static_cast<uint8_t*>(value), 8); }
};

// Over borrowed memory; init() points it at other bytes (the layered coders
// reuse one stream per layer and chunk). The read position is the window's
// start, so get_byte() never calls and read_byte() is only reached at the end.
class ByteStreamInArray : public ByteStreamIn {
 public:
  void init(const uint8_t* data, int64_t size);
  int read_byte() override;
  void read_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  bool can_seek() const override { return true; }
  int64_t position() const override { return window_next - data; }
  bool seek_to(int64_t offset) override;
  bool seek_to_end(int64_t distance = 0) override;
  int64_t bytes_left() override { return window_end - window_next; }
  const uint8_t* get_data() const { return data; }
  int64_t get_size() const { return size; }

 protected:
  ByteStreamInArray(const uint8_t* data, int64_t size);
  const uint8_t* data;
  int64_t size;
};

class ByteStreamInArrayLE : public ByteStreamInArray {
 public:
  ByteStreamInArrayLE() : ByteStreamInArray(nullptr, 0) {}
  ByteStreamInArrayLE(const uint8_t* data, int64_t size) : ByteStreamInArray(data, size) {}
};

#endif
