#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
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
