#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_inout.hpp"
#include "core/byte_stream_out.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// Expects the int -1 that every stream throws at the end of its data.
template <typename F>
void expect_end_of_data(F f) {
  try {
    f();
    ADD_FAILURE() << "no exception";
  } catch (int e) {
    EXPECT_EQ(e, -1);
  }
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

Bytes file_contents(FILE* f) {
  fflush(f);
  fseeko(f, 0, SEEK_END);
  const off_t n = ftello(f);
  Bytes out(static_cast<size_t>(n));
  fseeko(f, 0, SEEK_SET);
  if (n) {
    EXPECT_EQ(fread(out.data(), 1, out.size(), f), out.size());
  }
  return out;
}

// One value of every width, written and read by each of the six value calls.
struct ValueCase {
  const char* name;
  uint32_t width;
  bool big_endian;
  bool (ByteStreamOut::*write)(const void*);
  void (ByteStreamIn::*read)(void*);
};

const ValueCase kValueCases[] = {
    {"u16_le", 2, false, &ByteStreamOut::write_u16_le, &ByteStreamIn::read_u16_le},
    {"u32_le", 4, false, &ByteStreamOut::write_u32_le, &ByteStreamIn::read_u32_le},
    {"u64_le", 8, false, &ByteStreamOut::write_u64_le, &ByteStreamIn::read_u64_le},
    {"u16_be", 2, true, &ByteStreamOut::write_u16_be, &ByteStreamIn::read_u16_be},
    {"u32_be", 4, true, &ByteStreamOut::write_u32_be, &ByteStreamIn::read_u32_be},
    {"u64_be", 8, true, &ByteStreamOut::write_u64_be, &ByteStreamIn::read_u64_be},
};

const uint64_t kValue = 0x0102030405060708ull;

// The bytes a value of the case's width and order has on file.
Bytes expected_bytes(const ValueCase& c) {
  Bytes b;
  for (uint32_t i = 0; i < c.width; i++) {
    const uint32_t shift = 8 * (c.big_endian ? c.width - 1 - i : i);
    b.push_back(static_cast<uint8_t>(kValue >> shift));
  }
  return b;
}

uint64_t truncated_value(uint32_t width) {
  return width == 8 ? kValue : kValue & ((uint64_t{1} << (8 * width)) - 1);
}

// Writes every case's value plus a byte run, then reads them back and checks
// positions after each step. Used over file, memory and pipe.
void write_all(ByteStreamOut& out) {
  int64_t expected_position = 0;
  for (const ValueCase& c : kValueCases) {
    uint64_t v = truncated_value(c.width);
    ASSERT_TRUE((out.*c.write)(&v)) << c.name;
    expected_position += c.width;
    ASSERT_EQ(out.position(), expected_position) << c.name;
  }
  ASSERT_TRUE(out.write_byte(0xAB));
  const uint8_t run[3] = {1, 2, 3};
  ASSERT_TRUE(out.write_bytes(run, 3));
  ASSERT_EQ(out.position(), expected_position + 4);
}

void read_all(ByteStreamIn& in) {
  int64_t expected_position = 0;
  for (const ValueCase& c : kValueCases) {
    uint64_t v = 0;
    (in.*c.read)(&v);
    EXPECT_EQ(v, truncated_value(c.width)) << c.name;
    expected_position += c.width;
    EXPECT_EQ(in.position(), expected_position) << c.name;
  }
  EXPECT_EQ(in.read_byte(), 0xAB);
  uint8_t run[3] = {};
  in.read_bytes(run, 3);
  EXPECT_EQ(run[2], 3);
  EXPECT_EQ(in.position(), expected_position + 4);
  expect_end_of_data([&] { in.read_byte(); });
}

Bytes all_expected_bytes() {
  Bytes b;
  for (const ValueCase& c : kValueCases) {
    Bytes v = expected_bytes(c);
    b.insert(b.end(), v.begin(), v.end());
  }
  b.insert(b.end(), {0xAB, 1, 2, 3});
  return b;
}

}  // namespace

TEST(ByteStream, TwoBytesInEitherOrder) {
  const uint8_t bytes[2] = {0x34, 0x12};
  ByteStreamInArrayLE in(bytes, 2);
  uint16_t v = 0;
  in.read_u16_le(&v);
  EXPECT_EQ(v, 0x1234);
  ASSERT_TRUE(in.seek_to(0));
  in.read_u16_be(&v);
  EXPECT_EQ(v, 0x3412);
}

TEST(ByteStream, EveryWidthAndOrderThroughMemory) {
  ByteStreamOutArrayLE out;
  write_all(out);
  const Bytes expected = all_expected_bytes();
  ASSERT_EQ(out.get_size(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(Bytes(out.get_data(), out.get_data() + out.get_size()), expected);
  ByteStreamInArrayLE in(out.get_data(), out.get_size());
  read_all(in);
}

TEST(ByteStream, EveryWidthAndOrderThroughFile) {
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  {
    ByteStreamOutFileLE out(f.get());
    EXPECT_TRUE(out.can_seek());
    write_all(out);
  }
  EXPECT_EQ(file_contents(f.get()), all_expected_bytes());
  fseeko(f.get(), 0, SEEK_SET);
  ByteStreamInFileLE in(f.get());
  EXPECT_TRUE(in.can_seek());
  read_all(in);
}

// Writes gathered in the stream's block reach the file as written straight: every width, runs of
// single bytes and records across the block's end, a write larger than the block, and seeks back
// to change written bytes; the position counts what was written, gathered or not.
TEST(ByteStream, GatheredFileWritesLandAsMemoryWrites) {
  ByteStreamOutArrayLE memory;
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  {
    ByteStreamOutFileLE file(f.get());
    file.gather_writes();
    auto both = [&](const std::function<bool(ByteStreamOut&)>& op) {
      EXPECT_TRUE(op(memory));
      EXPECT_TRUE(op(file));
      ASSERT_EQ(file.position(), memory.position());
    };
    write_all(memory);
    write_all(file);
    for (int i = 0; i < 10000; i++) {
      both([i](ByteStreamOut& o) { return o.write_byte(uint8_t(i * 7)); });
    }
    Bytes record(28);
    for (int i = 0; i < 500; i++) {
      record[0] = uint8_t(i);
      both([&](ByteStreamOut& o) { return o.write_bytes(record.data(), uint32_t(record.size())); });
    }
    const Bytes large(5000, 0x5A);
    both([&](ByteStreamOut& o) { return o.write_bytes(large.data(), uint32_t(large.size())); });
    const uint32_t patch = 0xCAFEF00D;
    both([&](ByteStreamOut& o) { return o.seek_to(3) && o.write_u32_le(&patch); });
    both([&](ByteStreamOut& o) { return o.seek_to(6000) && o.write_bytes(record.data(), 20); });
    both([](ByteStreamOut& o) { return o.seek_to_end(); });
    both([](ByteStreamOut& o) { return o.write_byte(0xEE); });
    EXPECT_TRUE(file.flush());
  }
  EXPECT_EQ(file_contents(f.get()),
            Bytes(memory.get_data(), memory.get_data() + memory.get_size()));
}

TEST(ByteStream, BigEndianFileStreamMirrorsTheOrders) {
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  const uint8_t bytes[] = {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x01, 0x02,
                           0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x34, 0x12};
  ASSERT_EQ(fwrite(bytes, 1, sizeof(bytes), f.get()), sizeof(bytes));
  fseeko(f.get(), 0, SEEK_SET);
  ByteStreamInFileBE in(f.get());
  uint16_t a = 0;
  uint32_t b = 0;
  uint64_t c = 0;
  uint16_t d = 0;
  in.read_u16_le(&a);  // the "other" order of a big-endian stream reverses
  in.read_u32_le(&b);
  in.read_u64_le(&c);
  in.read_u16_be(&d);  // its own order does not
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0x12345678u);
  EXPECT_EQ(c, 0x0102030405060708ull);
  EXPECT_EQ(d, 0x1234);
}

TEST(ByteStream, DoublesTravelAsEightBytes) {
  ByteStreamOutArrayLE out;
  const double x = -1234.5678;
  ASSERT_TRUE(out.write_u64_le(&x));
  ByteStreamInArrayLE in(out.get_data(), out.get_size());
  double y = 0;
  in.read_u64_le(&y);
  EXPECT_EQ(std::memcmp(&x, &y, 8), 0);
}

TEST(ByteStream, ArrayInputEndOfData) {
  const uint8_t bytes[3] = {7, 8, 9};
  ByteStreamInArrayLE in(bytes, 3);
  EXPECT_EQ(in.read_byte(), 7);
  EXPECT_EQ(in.read_byte(), 8);
  EXPECT_EQ(in.read_byte(), 9);
  expect_end_of_data([&] { in.read_byte(); });

  ASSERT_TRUE(in.seek_to(0));
  uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  expect_end_of_data([&] { in.read_bytes(buffer, 4); });
  for (uint8_t b : buffer) EXPECT_EQ(b, 0xEE) << "nothing copied";
  EXPECT_EQ(in.position(), 0);
  uint32_t v = 0;
  expect_end_of_data([&] { in.read_u32_le(&v); });
  expect_end_of_data([&] { in.read_u32_be(&v); });
}

TEST(ByteStream, ArrayInputSeeks) {
  const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  struct Case {
    bool to_end;
    int64_t arg;
    bool ok;
    int64_t position_after;  // the position starts at 4
  };
  const Case cases[] = {
      {true, 0, true, 10},   {true, 10, true, 0}, {true, 11, false, 4},  {true, -1, false, 4},
      {true, 3, true, 7},    {false, 0, true, 0}, {false, 10, true, 10}, {false, 11, false, 4},
      {false, -1, false, 4}, {false, 9, true, 9},
  };
  for (const Case& c : cases) {
    ByteStreamInArrayLE in(bytes, 10);
    ASSERT_TRUE(in.seek_to(4));
    EXPECT_EQ(c.to_end ? in.seek_to_end(c.arg) : in.seek_to(c.arg), c.ok)
        << c.to_end << " " << c.arg;
    EXPECT_EQ(in.position(), c.position_after) << c.to_end << " " << c.arg;
  }
  ByteStreamInArrayLE in(bytes, 10);
  EXPECT_TRUE(in.skip(6));
  EXPECT_EQ(in.read_byte(), 6);
  EXPECT_FALSE(in.skip(4));
  EXPECT_TRUE(in.skip(3));
  expect_end_of_data([&] { in.read_byte(); });
}

TEST(ByteStream, ArrayInputInitPointsAtOtherBytes) {
  const uint8_t first[2] = {1, 2};
  const uint8_t second[1] = {9};
  ByteStreamInArrayLE in;
  expect_end_of_data([&] { in.read_byte(); });
  in.init(first, 2);
  EXPECT_EQ(in.read_byte(), 1);
  in.init(second, 1);
  EXPECT_EQ(in.position(), 0);
  EXPECT_EQ(in.read_byte(), 9);
  in.init(nullptr, 0);
  expect_end_of_data([&] { in.read_byte(); });
}

TEST(ByteStream, ArrayOutputGrowth) {
  ByteStreamOutArrayLE out;
  EXPECT_EQ(out.get_capacity(), 4096);
  for (int i = 0; i < 5000; i++) ASSERT_TRUE(out.write_byte(static_cast<uint8_t>(i)));
  EXPECT_EQ(out.get_capacity(), 8192);
  EXPECT_EQ(out.get_size(), 5000);
  ASSERT_TRUE(out.seek_to(100));
  const uint8_t four[4] = {0xA, 0xB, 0xC, 0xD};
  ASSERT_TRUE(out.write_bytes(four, 4));
  EXPECT_EQ(out.get_size(), 5000);
  EXPECT_EQ(out.position(), 104);
  EXPECT_EQ(out.get_data()[99], 99);
  EXPECT_EQ(out.get_data()[100], 0xA);
  EXPECT_EQ(out.get_data()[104], 104);
  EXPECT_FALSE(out.seek_to(5001));
  EXPECT_FALSE(out.seek_to(-1));
  EXPECT_TRUE(out.seek_to_end());
  EXPECT_EQ(out.position(), 5000);

  // A run that does not fit grows by its length plus 4096.
  std::vector<uint8_t> run(10000, 0x5A);
  ASSERT_TRUE(out.write_bytes(run.data(), 10000));
  EXPECT_EQ(out.get_capacity(), 8192 + 10000 + 4096);
  EXPECT_EQ(out.get_size(), 15000);
}

TEST(ByteStream, ArrayOutputInitialCapacityAndHandOver) {
  ByteStreamOutArrayLE out(16);
  EXPECT_EQ(out.get_capacity(), 16);
  const uint8_t bytes[3] = {1, 2, 3};
  ASSERT_TRUE(out.write_bytes(bytes, 3));
  MallocBuffer taken = out.take_buffer();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken[2], 3);
  EXPECT_EQ(out.get_data(), nullptr);
  EXPECT_EQ(out.get_capacity(), 0);
  EXPECT_EQ(out.get_size(), 0);
  EXPECT_EQ(out.position(), 0);
  // The emptied stream can be written again; it allocates anew.
  ASSERT_TRUE(out.write_byte(42));
  EXPECT_EQ(out.get_capacity(), 4096);
  EXPECT_EQ(out.get_data()[0], 42);
}

// The capacity is 64-bit: growth past 4 GiB does not wrap around to a small
// buffer that the copy would then overrun.
TEST(ByteStream, ArrayOutputCapacityPastFourGiB) {
  constexpr int64_t k4G = int64_t{1} << 32;
  constexpr int64_t kMax = INT64_MAX;
  struct Case {
    int64_t capacity;
    int64_t position;
    uint32_t n;
    bool single;
    int64_t expected;
  };
  const Case cases[] = {
      {4096, 0, 10, false, 4096},
      {4096, 4096, 1, true, 8192},
      {4096, 4090, 10, false, 4096 + 10 + 4096},
      {k4G - 4096, k4G - 4096, 1, true, k4G},
      {k4G - 4096, k4G - 4096, 8192, false, k4G + 8192},
      {k4G - 1, k4G - 10, 0xFFFFFFFFu, false, k4G - 1 + 0xFFFFFFFFll + 4096},
      {k4G * 3, k4G * 3, 1, true, k4G * 3 + 4096},
      {kMax - 100, kMax - 100, 1, true, -1},
      {kMax - 100, kMax - 100, 1000, false, -1},
      {0, kMax, 1, true, -1},
      {-1, 0, 1, true, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ByteStreamOutArray::grown_capacity(c.capacity, c.position, c.n, c.single), c.expected)
        << c.capacity << " " << c.position << " " << c.n;
  }
}

TEST(ByteStream, NilOutputCounts) {
  ByteStreamOutNil out;
  const uint8_t bytes[32] = {};
  const uint64_t v = 0;
  ASSERT_TRUE(out.write_bytes(bytes, 16));
  ASSERT_TRUE(out.write_u16_le(&v));
  ASSERT_TRUE(out.write_u16_le(&v));
  ASSERT_TRUE(out.write_u64_le(&v));
  ASSERT_TRUE(out.write_bytes(bytes, 32));
  EXPECT_EQ(out.position(), 60);
  ASSERT_TRUE(out.write_u32_be(&v));
  ASSERT_TRUE(out.write_u64_be(&v));
  ASSERT_TRUE(out.write_u16_be(&v));
  ASSERT_TRUE(out.write_u32_le(&v));
  ASSERT_TRUE(out.write_byte(1));
  EXPECT_EQ(out.position(), 60 + 4 + 8 + 2 + 4 + 1);
  EXPECT_TRUE(out.seek_to(0));
  EXPECT_TRUE(out.seek_to_end());
  EXPECT_EQ(out.position(), 79);
  EXPECT_TRUE(out.can_seek());
}

TEST(ByteStream, StandardInputAndOutputCannotSeek) {
  ByteStreamInFileLE in(stdin);
  EXPECT_FALSE(in.can_seek());
  EXPECT_EQ(in.position(), 0);
  ByteStreamOutFileLE out(stdout);
  EXPECT_FALSE(out.can_seek());
  EXPECT_EQ(out.position(), 0);
  EXPECT_FALSE(out.seek_to_end());
}

TEST(ByteStream, FileInputEndOfDataAndShortRead) {
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  const uint8_t bytes[3] = {1, 2, 3};
  ASSERT_EQ(fwrite(bytes, 1, 3, f.get()), 3u);
  fseeko(f.get(), 0, SEEK_SET);
  ByteStreamInFileLE in(f.get());
  uint32_t v = 0;
  expect_end_of_data([&] { in.read_u32_le(&v); });
  ASSERT_TRUE(in.seek_to(0));
  EXPECT_EQ(in.read_byte(), 1);
  EXPECT_TRUE(in.skip(1));
  EXPECT_EQ(in.read_byte(), 3);
  expect_end_of_data([&] { in.read_byte(); });
  ASSERT_TRUE(in.seek_to_end(2));
  EXPECT_EQ(in.position(), 1);
  ASSERT_TRUE(in.seek_to_end(0));
  EXPECT_EQ(in.position(), 3);
  EXPECT_FALSE(in.seek_to_end(4));
}

// Positions are 64-bit: a sparse file larger than 4 GiB is written and read
// well past the 32-bit limit.
TEST(ByteStream, FilePositionsPastFourGiB) {
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  const int64_t far = (int64_t{9} << 29) + 3;  // 4.5 GiB + 3
  {
    ByteStreamOutFileLE out(f.get());
    ASSERT_TRUE(out.seek_to(far));
    EXPECT_EQ(out.position(), far);
    const uint32_t v = 0xCAFEBABE;
    ASSERT_TRUE(out.write_u32_be(&v));
    EXPECT_EQ(out.position(), far + 4);
    fflush(f.get());
  }
  ByteStreamInFileLE in(f.get());
  ASSERT_TRUE(in.seek_to_end(4));
  EXPECT_EQ(in.position(), far);
  uint32_t v = 0;
  in.read_u32_be(&v);
  EXPECT_EQ(v, 0xCAFEBABEu);
  ASSERT_TRUE(in.seek_to(far - 1));
  EXPECT_EQ(in.read_byte(), 0);
  EXPECT_EQ(in.read_byte(), 0xCA);
}

// Over a real pipe nothing can seek: each side counts its own bytes, so the
// positions are right although ftello() has no answer there. The writer runs
// in a thread and sends more than a pipe buffer holds.
TEST(ByteStream, PipeKeepsPositions) {
  for (const bool gathered : {false, true}) {
    SCOPED_TRACE(gathered);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    File read_end(fdopen(fds[0], "rb"));
    ASSERT_TRUE(read_end);
    constexpr int kFill = 200000;

    std::thread writer([fd = fds[1], gathered] {
      File write_end(fdopen(fd, "wb"));
      ByteStreamOutFileLE out(write_end.get());
      if (gathered) out.gather_writes();
      EXPECT_FALSE(out.can_seek());
      EXPECT_FALSE(out.seek_to(5));
      EXPECT_TRUE(out.seek_to(0));  // already there
      write_all(out);
      for (int i = 0; i < kFill; i++) out.write_byte(static_cast<uint8_t>(i));
      EXPECT_EQ(out.position(), static_cast<int64_t>(all_expected_bytes().size()) + kFill);
      const uint32_t tail = 0x11223344;
      EXPECT_TRUE(out.write_u32_le(&tail));
      EXPECT_FALSE(out.seek_to_end());
    });

    ByteStreamInFileLE in(read_end.get());
    EXPECT_FALSE(in.can_seek());
    EXPECT_EQ(in.position(), 0);
    int64_t pos = 0;
    for (const ValueCase& c : kValueCases) {
      uint64_t v = 0;
      (in.*c.read)(&v);
      EXPECT_EQ(v, truncated_value(c.width)) << c.name;
      pos += c.width;
      EXPECT_EQ(in.position(), pos) << c.name;
    }
    EXPECT_EQ(in.read_byte(), 0xAB);
    uint8_t run[3];
    in.read_bytes(run, 3);
    pos += 4;
    // A forward seek reads over the bytes; a backward one is refused.
    ASSERT_TRUE(in.skip(10));
    EXPECT_EQ(in.position(), pos + 10);
    EXPECT_EQ(in.read_byte(), 10);
    EXPECT_FALSE(in.seek_to(pos));
    ASSERT_TRUE(in.seek_to(pos + kFill - 1));
    EXPECT_EQ(in.read_byte(), static_cast<uint8_t>(kFill - 1));
    EXPECT_FALSE(in.seek_to_end(0));
    writer.join();
    uint32_t tail = 0;
    in.read_u32_le(&tail);
    EXPECT_EQ(tail, 0x11223344u);
    EXPECT_EQ(in.position(), pos + kFill + 4);
    expect_end_of_data([&] { in.read_byte(); });
    // Skipping past the end of a pipe fails instead of throwing.
    EXPECT_FALSE(in.skip(1));
  }
}

TEST(ByteStream, BitsRoundTripAndLayout) {
  struct Field {
    uint32_t bits;
    uint32_t width;
  };
  const Field fields[] = {{1, 1}, {3, 2},     {0x7F, 7},         {0xABCDE, 20},
                          {0, 3}, {1, 1},     {0xFFFFFFFFu, 32}, {0x12345678u, 32},
                          {5, 3}, {0x3FF, 10}};
  ByteStreamOutArrayLE out;
  for (const Field& f : fields) ASSERT_TRUE(out.put_bits(f.bits, f.width));
  ASSERT_TRUE(out.flush_bits());
  // 111 bits in all: four u32 words, the last padded with zeros.
  ASSERT_EQ(out.get_size(), 16);
  // First word: 1 | 3<<1 | 0x7F<<3 | low 22 bits of (0xABCDE<<10) ...
  const uint32_t first = 1u | (3u << 1) | (0x7Fu << 3) | (0xABCDEu << 10);
  uint32_t word;
  std::memcpy(&word, out.get_data(), 4);
  EXPECT_EQ(word, first);
  ByteStreamInArrayLE in(out.get_data(), out.get_size());
  for (const Field& f : fields) EXPECT_EQ(in.get_bits(f.width), f.bits) << f.width;
  EXPECT_EQ(in.get_bits(17), 0u);  // padding
}

TEST(ByteStream, FlushWithoutBitsWritesNothing) {
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(out.flush_bits());
  EXPECT_EQ(out.get_size(), 0);
  ASSERT_TRUE(out.put_bits(1, 1));
  ASSERT_TRUE(out.flush_bits());
  EXPECT_EQ(out.get_size(), 4);
  EXPECT_EQ(Bytes(out.get_data(), out.get_data() + 4), (Bytes{1, 0, 0, 0}));
}

TEST(ByteStream, InOutFileSharesOnePosition) {
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  std::unique_ptr<ByteStreamInOutFileLE> stream(new ByteStreamInOutFileLE(f.get()));
  ByteStreamOut* out = stream.get();
  ByteStreamIn* in = stream.get();
  const uint32_t a = 0xAABBCCDD;
  ASSERT_TRUE(out->write_u32_le(&a));
  ASSERT_TRUE(out->write_u32_le(&a));
  EXPECT_EQ(in->position(), 8);
  ASSERT_TRUE(in->seek_to(0));
  EXPECT_EQ(in->read_byte(), 0xDD);
  // Write straight after a read: replaces bytes 1 and 2.
  const uint16_t b = 0x1122;
  ASSERT_TRUE(out->write_u16_le(&b));
  EXPECT_EQ(out->position(), 3);
  // Read straight after a write.
  EXPECT_EQ(in->read_byte(), 0xAA);
  ASSERT_TRUE(stream->seek_to_end());
  EXPECT_EQ(stream->position(), 8);
  ASSERT_TRUE(stream->seek_to_end(3));
  EXPECT_EQ(in->read_byte(), 0xCC);
  EXPECT_EQ(file_contents(f.get()), (Bytes{0xDD, 0x22, 0x11, 0xAA, 0xDD, 0xCC, 0xBB, 0xAA}));
  // Deleted through the output side, as its users do.
  ByteStreamOut* owner = stream.release();
  delete owner;
}

// --- read-ahead over files and pipes ----------------------------------------

namespace {

// Enough bytes for three full read-ahead buffers and a bit.
constexpr int64_t kAheadBytes = 3 * int64_t{ByteStreamInFile::kReadAhead} + 1234;

Bytes ahead_bytes() {
  Bytes b(static_cast<size_t>(kAheadBytes));
  uint32_t x = 12345;
  for (uint8_t& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<uint8_t>(x >> 16);
  }
  return b;
}

enum class Op {
  kGetByte,
  kReadByte,
  kReadBytes,
  kU16le,
  kU32be,
  kU64le,
  kU64be,
  kBits,
  kSeek,
  kSkip,
  kSeekEnd,
  kBytesLeft
};

struct Step {
  Op op;
  int64_t arg;  // count, bits, offset or distance
};

constexpr int64_t kEdge = ByteStreamInFile::kReadAhead;

// What the stream answers to each step, with its position after it; a throw
// is logged as "-1", after which the steps go on.
std::vector<std::string> run_steps(ByteStreamIn& in, const std::vector<Step>& steps) {
  std::vector<std::string> log;
  for (const Step& s : steps) {
    std::string line;
    try {
      switch (s.op) {
        case Op::kGetByte:
          for (int64_t i = 0; i < s.arg; i++) line += std::to_string(in.get_byte()) + ",";
          break;
        case Op::kReadByte:
          for (int64_t i = 0; i < s.arg; i++) line += std::to_string(in.read_byte()) + ",";
          break;
        case Op::kReadBytes: {
          Bytes got(static_cast<size_t>(s.arg), 0xEE);
          bool ended = false;
          try {
            in.read_bytes(got.data(), static_cast<uint32_t>(s.arg));
          } catch (int e) {
            ended = e == -1;
            if (!ended) throw;
          }
          // What arrived before the end is part of the answer.
          uint64_t sum = 0;
          for (uint8_t b : got) sum = sum * 31 + b;
          line = std::to_string(sum);
          if (ended) throw -1;
          break;
        }
        case Op::kU16le: {
          uint16_t v = 0;
          in.read_u16_le(&v);
          line = std::to_string(v);
          break;
        }
        case Op::kU32be: {
          uint32_t v = 0;
          in.read_u32_be(&v);
          line = std::to_string(v);
          break;
        }
        case Op::kU64le:
        case Op::kU64be: {
          uint64_t v = 0;
          s.op == Op::kU64le ? in.read_u64_le(&v) : in.read_u64_be(&v);
          line = std::to_string(v);
          break;
        }
        case Op::kBits:
          line = std::to_string(in.get_bits(static_cast<uint32_t>(s.arg)));
          break;
        case Op::kSeek:
          line = in.seek_to(s.arg) ? "ok" : "no";
          break;
        case Op::kSkip:
          line = in.skip(static_cast<uint32_t>(s.arg)) ? "ok" : "no";
          break;
        case Op::kSeekEnd:
          line = in.seek_to_end(s.arg) ? "ok" : "no";
          break;
        case Op::kBytesLeft:
          line = std::to_string(in.bytes_left());
          break;
      }
    } catch (int e) {
      line += " threw " + std::to_string(e);
    }
    log.push_back(line + " @" + std::to_string(in.position()));
  }
  return log;
}

void expect_same_log(const std::vector<std::string>& got, const std::vector<std::string>& want,
                     const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); i++) EXPECT_EQ(got[i], want[i]) << what << " step " << i;
}

// The bytes through a real pipe, fed by a thread; what the reader leaves is
// drained before the feeder is joined.
std::vector<std::string> run_over_pipe(const Bytes& bytes, bool read_ahead,
                                       const std::vector<Step>& steps) {
  int fds[2];
  if (pipe(fds) != 0) return {"no pipe"};
  FILE* read_end = fdopen(fds[0], "rb");
  std::thread feeder([&bytes, fd = fds[1]] {
    FILE* write_end = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), write_end);
    std::fclose(write_end);
  });
  std::vector<std::string> log;
  {
    ByteStreamInFileLE in(read_end, read_ahead);
    EXPECT_FALSE(in.can_seek());
    log = run_steps(in, steps);
  }
  uint8_t drain[4096];
  while (std::fread(drain, 1, sizeof(drain), read_end) > 0) {
  }
  feeder.join();
  std::fclose(read_end);
  return log;
}

std::vector<std::string> run_over_file(FILE* f, bool read_ahead, const std::vector<Step>& steps) {
  fseeko(f, 0, SEEK_SET);
  ByteStreamInFileLE in(f, read_ahead);
  EXPECT_TRUE(in.can_seek());
  return run_steps(in, steps);
}

}  // namespace

// The same steps over memory, a file and a pipe, each file and pipe once
// reading ahead and once taking every byte straight from the FILE: the
// read-ahead must answer exactly as the unbuffered stream did, and both as
// memory where memory can do the same.
TEST(ByteStream, ReadAheadAnswersAsUnbufferedAndMemory) {
  const Bytes bytes = ahead_bytes();
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f.get()), bytes.size());
  ASSERT_EQ(fflush(f.get()), 0);

  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool as_memory;       // file and memory agree (no seek past the end, no partial read)
    bool pipe_as_memory;  // neither backward seeks nor the end asked for
  };
  const Case cases[] = {
      {"across buffer edges",
       {{Op::kGetByte, 5},
        {Op::kReadBytes, kEdge - 11},
        {Op::kU64le, 0},  // over the first edge
        {Op::kBits, 13},
        {Op::kBits, 32},
        {Op::kBits, 7},
        {Op::kReadBytes, kEdge + 17},  // more than a buffer: straight into the caller's
        {Op::kGetByte, 3},
        {Op::kU32be, 0},
        {Op::kReadByte, 2},
        {Op::kSkip, 3},
        {Op::kReadBytes, 0},
        {Op::kSkip, kAheadBytes - 2 * kEdge - 119},  // to 80 bytes before the end
        {Op::kReadBytes, 35},
        {Op::kGetByte, 20},
        {Op::kU16le, 0},
        {Op::kReadByte, 5},
        {Op::kU64be, 0},
        {Op::kGetByte, 1},
        {Op::kReadByte, 2},
        {Op::kU32be, 0},
        {Op::kReadBytes, 3},  // the last bytes
        {Op::kGetByte, 1},
        {Op::kReadByte, 1},
        {Op::kU32be, 0},
        {Op::kBits, 3}},
       true,
       true},
      {"seeks forward and back",
       {{Op::kGetByte, 3},
        {Op::kSeek, 100},
        {Op::kReadBytes, 8},
        {Op::kSeek, 50},  // back inside the buffer
        {Op::kGetByte, 4},
        {Op::kSeek, kEdge - 1},
        {Op::kReadBytes, 2},
        {Op::kSeek, 10},  // back behind the buffer
        {Op::kU32be, 0},
        {Op::kBytesLeft, 0},
        {Op::kSeek, kEdge},
        {Op::kBytesLeft, 0},
        {Op::kSeek, 2 * kEdge + 7},
        {Op::kGetByte, 2},
        {Op::kSeek, 2 * kEdge + 7},  // back within what was just read
        {Op::kGetByte, 2},
        {Op::kSeekEnd, 5},
        {Op::kBytesLeft, 0},
        {Op::kGetByte, 3},
        {Op::kSeek, kAheadBytes - 9},
        {Op::kU64le, 0},
        {Op::kBytesLeft, 0},
        {Op::kSeekEnd, 0},
        {Op::kBytesLeft, 0},
        {Op::kGetByte, 1},
        {Op::kReadByte, 1},
        {Op::kSeekEnd, kAheadBytes},
        {Op::kGetByte, 2},
        {Op::kSeekEnd, kAheadBytes + 1},  // before the start: refused
        {Op::kSeek, -1},
        {Op::kGetByte, 1},
        {Op::kSeek, kAheadBytes},
        {Op::kU16le, 0}},
       true,
       false},
      {"past the end",
       {{Op::kSeekEnd, 3},
        {Op::kReadBytes, 8},  // the three bytes arrive, then the end
        {Op::kReadBytes, 2},
        {Op::kSeek, kAheadBytes - 2},
        {Op::kBits, 32},
        {Op::kSeek, kAheadBytes + 100},  // a file seeks past its end, memory does not
        {Op::kBytesLeft, 0},
        {Op::kReadByte, 1},
        {Op::kSeek, 7},
        {Op::kReadBytes, kEdge + 3},
        {Op::kSeek, kAheadBytes - kEdge - 1},
        {Op::kReadBytes, kEdge + 5},  // large and short
        {Op::kSkip, 10},
        {Op::kGetByte, 1}},
       false,
       false},
      {"a pipe's forward moves",
       {{Op::kGetByte, 1},
        {Op::kSkip, 10},
        {Op::kSkip, kEdge},
        {Op::kReadBytes, 100},
        {Op::kSeek, kEdge + 5},    // backward: refused
        {Op::kSeek, kEdge + 111},  // where it is
        {Op::kSkip, 2 * kEdge - 200},
        {Op::kBytesLeft, 0},
        {Op::kGetByte, 4},
        {Op::kSkip, 5000},  // past the end
        {Op::kReadByte, 1},
        {Op::kGetByte, 1}},
       false,
       false},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteStreamInArrayLE memory(bytes.data(), static_cast<int64_t>(bytes.size()));
    const std::vector<std::string> in_memory = run_steps(memory, c.steps);
    const std::vector<std::string> file_old = run_over_file(f.get(), false, c.steps);
    const std::vector<std::string> file_new = run_over_file(f.get(), true, c.steps);
    const std::vector<std::string> pipe_old = run_over_pipe(bytes, false, c.steps);
    const std::vector<std::string> pipe_new = run_over_pipe(bytes, true, c.steps);
    expect_same_log(file_new, file_old, "file");
    expect_same_log(pipe_new, pipe_old, "pipe");
    if (c.as_memory) expect_same_log(file_new, in_memory, "file and memory");
    if (c.pipe_as_memory) expect_same_log(pipe_new, in_memory, "pipe and memory");
  }
  // Nothing was written to the input.
  EXPECT_EQ(file_contents(f.get()), bytes);
}

// A lent FILE is given back where the stream's reading ended, though the
// stream read further ahead.
TEST(ByteStream, ReadAheadGivesTheFileBackAtItsPosition) {
  const Bytes bytes = ahead_bytes();
  File f(std::tmpfile());
  ASSERT_TRUE(f);
  ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f.get()), bytes.size());
  for (const int64_t start : {int64_t{0}, int64_t{5}, kEdge + 3}) {
    SCOPED_TRACE(start);
    ASSERT_EQ(fseeko(f.get(), start, SEEK_SET), 0);
    {
      ByteStreamInFileLE in(f.get());
      EXPECT_EQ(in.position(), start);
      uint8_t some[7];
      in.read_bytes(some, 7);
      EXPECT_EQ(in.get_byte(), bytes[start + 7]);
      EXPECT_GT(in.window_size(), 0) << "the bytes after come from memory";
    }
    EXPECT_EQ(ftello(f.get()), start + 8);
    EXPECT_EQ(getc(f.get()), bytes[start + 8]);
  }
}

// A file that grows after its reader met the end, or after the reader's
// read-ahead did: the reader sees what unbuffered reading saw.
TEST(ByteStream, ReadAheadOverAGrowingFile) {
  const Bytes bytes = ahead_bytes();
  for (const bool read_ahead : {false, true}) {
    for (const bool end_met : {false, true}) {
      SCOPED_TRACE(std::to_string(read_ahead) + " " + std::to_string(end_met));
      File f(std::tmpfile());
      ASSERT_TRUE(f);
      ASSERT_EQ(fwrite(bytes.data(), 1, 1000, f.get()), 1000u);
      ASSERT_EQ(fflush(f.get()), 0);
      fseeko(f.get(), 0, SEEK_SET);
      ByteStreamInFileLE in(f.get(), read_ahead);
      Bytes got(1000);
      in.read_bytes(got.data(), 1000);
      if (end_met) expect_end_of_data([&] { in.get_byte(); });
      ASSERT_EQ(pwrite(fileno(f.get()), bytes.data() + 1000, 500, 1000), 500);
      if (end_met) {
        // The end stays met until a seek, as it did for unbuffered reads.
        expect_end_of_data([&] { in.get_byte(); });
        ASSERT_TRUE(in.seek_to(999));
        EXPECT_EQ(in.get_byte(), bytes[999]);
      }
      EXPECT_EQ(in.get_byte(), bytes[1000]);
      EXPECT_EQ(in.position(), 1001);
      in.read_bytes(got.data(), 499);
      EXPECT_EQ(got[498], bytes[1499]);
      expect_end_of_data([&] { in.read_byte(); });
    }
  }
}
