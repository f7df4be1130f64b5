#ifndef POINTLIB_CORE_BYTE_STREAM_OUT_HPP
#define POINTLIB_CORE_BYTE_STREAM_OUT_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

// Byte output over a C file, over memory, or nowhere (counting only). Every
// write answers false when it failed; callers print their own
// "ERROR: writing ..." message.
class ByteStreamOut {
 public:
  ByteStreamOut(const ByteStreamOut&) = delete;
  ByteStreamOut& operator=(const ByteStreamOut&) = delete;
  virtual ~ByteStreamOut() = default;

  virtual bool write_byte(uint8_t byte) = 0;
  virtual bool write_bytes(const uint8_t* bytes, uint32_t num_bytes) = 0;
  // Each writes the 2, 4 or 8 bytes of the value at the given address (any
  // integer or float of that size) in the named order.
  virtual bool write_u16_le(const void* value);
  virtual bool write_u32_le(const void* value);
  virtual bool write_u64_le(const void* value);
  virtual bool write_u16_be(const void* value);
  virtual bool write_u32_be(const void* value);
  virtual bool write_u64_be(const void* value);
  virtual bool can_seek() const = 0;
  virtual int64_t position() const = 0;
  virtual bool seek_to(int64_t offset) = 0;
  virtual bool seek_to_end() = 0;

  // Bit writer for raw bit fields: each value goes just above the bits held;
  // whenever 32 or more are held the low 32 leave as one little-endian u32.
  // num_bits is 1..32 and bits above num_bits must be zero.
  bool put_bits(uint32_t bits, uint32_t num_bits);
  // Writes the bits still held (if any) as one more u32, zero-padded on top.
  bool flush_bits();

 protected:
  ByteStreamOut() = default;
  bool write_reversed(const void* value, uint32_t num_bytes);

 private:
  uint64_t bit_buffer = 0;
  uint32_t num_bits_held = 0;
};

// Over a borrowed C FILE: the stream never opens or closes it. Standard output
// and any file that cannot seek (a pipe) count the bytes written themselves,
// so position() stays right where ftello() has no answer.
class ByteStreamOutFile : public ByteStreamOut {
 public:
  ~ByteStreamOutFile() override;
  bool write_byte(uint8_t byte) override {
    if (buffered < block_size) {
      block[buffered++] = byte;
      return true;
    }
    return write_byte_through(byte);
  }
  bool write_bytes(const uint8_t* bytes, uint32_t num_bytes) override;
  bool can_seek() const override { return seekable; }
  int64_t position() const override;
  // On a stream that cannot seek only the current position is reachable.
  bool seek_to(int64_t offset) override;
  bool seek_to_end() override;
  FILE* get_file() const { return file; }

  // From here on small writes (the items of a point record, the bytes of a coder) gather in a
  // block of the stream's own and reach the FILE a block at a time: a library call per item
  // costs more than the item's bytes. The block is as large as the C library's own buffer, so
  // a full disk or a closed pipe shows at the same write as without it. Seeks flush the block;
  // whoever flushes or closes the FILE itself calls flush() before.
  void gather_writes();
  // Hands the gathered bytes to the FILE; false when it took fewer.
  bool flush();

 protected:
  explicit ByteStreamOutFile(FILE* file);
  FILE* file;

 private:
  bool write_byte_through(uint8_t byte);
  bool seekable;
  int64_t bytes_written = 0;  // handed to the FILE; used only when not seekable
  std::unique_ptr<uint8_t[]> block;
  uint32_t block_size = 0;  // 0 while writes go straight to the FILE
  uint32_t buffered = 0;
};

class ByteStreamOutFileLE : public ByteStreamOutFile {
 public:
  explicit ByteStreamOutFileLE(FILE* file) : ByteStreamOutFile(file) {}
};

struct MallocFree {
  void operator()(void* p) const { std::free(p); }
};
// A buffer taken with malloc/realloc, freed with free.
using MallocBuffer = std::unique_ptr<uint8_t[], MallocFree>;

// Over a growing buffer that the stream owns until take_buffer() hands it over.
// Sizes are 64-bit throughout; growth that cannot be allocated is refused with
// false and leaves the stream as it was.
class ByteStreamOutArray : public ByteStreamOut {
 public:
  bool write_byte(uint8_t byte) override;
  bool write_bytes(const uint8_t* bytes, uint32_t num_bytes) override;
  bool can_seek() const override { return true; }
  int64_t position() const override { return curr; }
  bool seek_to(int64_t offset) override;
  bool seek_to_end() override {
    curr = size;
    return true;
  }
  const uint8_t* get_data() const { return data.get(); }
  // The highest position ever written.
  int64_t get_size() const { return size; }
  int64_t get_capacity() const { return capacity; }
  // Hands the buffer to the caller and leaves the stream empty, without buffer.
  MallocBuffer take_buffer();

  // The capacity needed to write num_bytes at position: capacity itself when
  // they fit, else grown by 4096 for write_byte (single_byte) or by
  // num_bytes + 4096 for write_bytes; -1 when that cannot be represented.
  static int64_t grown_capacity(int64_t capacity, int64_t position, uint32_t num_bytes,
                                bool single_byte);

 protected:
  // A zero initial capacity leaves the stream without buffer; the first write
  // allocates.
  explicit ByteStreamOutArray(int64_t initial_capacity);
  bool grow_to(int64_t new_capacity);
  MallocBuffer data;
  int64_t capacity = 0;
  int64_t size = 0;
  int64_t curr = 0;
};

class ByteStreamOutArrayLE : public ByteStreamOutArray {
 public:
  // Check get_capacity() when the initial allocation matters.
  explicit ByteStreamOutArrayLE(int64_t initial_capacity = 4096)
      : ByteStreamOutArray(initial_capacity) {}
};

// Writes nothing and only counts, e.g. to learn the size of a record.
class ByteStreamOutNil : public ByteStreamOut {
 public:
  ByteStreamOutNil() = default;
  bool write_byte(uint8_t) override {
    num_bytes_written++;
    return true;
  }
  bool write_bytes(const uint8_t*, uint32_t num_bytes) override {
    num_bytes_written += num_bytes;
    return true;
  }
  bool write_u16_le(const void*) override { return count(2); }
  bool write_u32_le(const void*) override { return count(4); }
  bool write_u64_le(const void*) override { return count(8); }
  bool write_u16_be(const void*) override { return count(2); }
  bool write_u32_be(const void*) override { return count(4); }
  bool write_u64_be(const void*) override { return count(8); }
  bool can_seek() const override { return true; }
  int64_t position() const override { return num_bytes_written; }
  bool seek_to(int64_t) override { return true; }
  bool seek_to_end() override { return true; }

 private:
  bool count(int64_t n) {
    num_bytes_written += n;
    return true;
  }
  int64_t num_bytes_written = 0;
};

#endif
