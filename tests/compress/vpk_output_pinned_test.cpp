// Pins the compressed bytes of every point format, item version and chunking
// to the values stored files were written with: a fixed generated point set is
// compressed through the point-record writer, the bytes are hashed (FNV-1a
// 64) and compared with recorded constants, and the reader must give the same
// records back. A coder change that moves a single output byte fails here.
// The points come from this file alone so that no shared fixture can move the
// hashes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

namespace {

constexpr size_t kPoints = 2600;
// Adaptive chunking closes its chunks after these points.
constexpr size_t kAdaptiveCuts[] = {400, 1100, 1101, 2000};

uint64_t fnv1a64(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

// splitmix64: a fixed sequence on every platform.
struct Random {
  uint64_t state;
  uint32_t next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  uint32_t below(uint32_t n) { return next() % n; }
  int32_t around(int32_t spread) {
    return static_cast<int32_t>(below(2 * static_cast<uint32_t>(spread) + 1)) - spread;
  }
};

template <typename T>
void put(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof(T));
}

// Scan lines over rough terrain: pulses of one to several returns, slow
// intensity, colour and angle drift, runs of equal values and rare jumps so
// that every branch of the coders is taken.
class RecordGenerator {
 public:
  explicit RecordGenerator(uint64_t seed) : rnd{seed} {}

  void next_pulse_if_done() {
    if (ret < nret) {
      ret++;
      return;
    }
    ret = 1;
    nret = 1 + (rnd.below(4) == 0 ? rnd.below(wide ? 15 : 7) : rnd.below(3));
    x += 40 + rnd.around(6);
    if (rnd.below(300) == 0) {
      y += 900 + rnd.around(50);  // next scan line
      x -= 40000;
      direction ^= 1;
    }
    if (rnd.below(1000) == 0) x += static_cast<int32_t>(rnd.next() >> 4);  // far jump
    y += rnd.around(3);
    ground += rnd.around(20);
    gps_step = rnd.below(50) == 0 ? 1e-3 * rnd.below(5000) : 1e-5;
    gps += gps_step;
    if (rnd.below(200) == 0) channel = rnd.below(4);
    if (rnd.below(150) == 0) source = static_cast<uint16_t>(rnd.below(40) + 1);
    if (rnd.below(20) == 0) angle += rnd.around(2);
  }

  // Fills one raw record of the given items.
  void fill(const std::vector<LASitem>& items, uint8_t* record) {
    next_pulse_if_done();
    const int32_t z = ground + (ret == nret ? 0 : static_cast<int32_t>(rnd.below(2500)));
    intensity = static_cast<uint16_t>(intensity + rnd.around(30));
    if (rnd.below(40) == 0) intensity = static_cast<uint16_t>(rnd.next());
    const uint8_t cls = ret == nret ? (rnd.below(10) ? 2 : 7) : (rnd.below(3) ? 5 : 1);
    if (rnd.below(100) == 0) user = static_cast<uint8_t>(rnd.next());
    uint32_t at = 0;
    for (const LASitem& item : items) {
      uint8_t* r = record + at;
      switch (item.type) {
        case LASitem::POINT10:
          put<int32_t>(r, x);
          put<int32_t>(r + 4, y);
          put<int32_t>(r + 8, z);
          put<uint16_t>(r + 12, intensity);
          r[14] = static_cast<uint8_t>(std::min(ret, 7u) | std::min(nret, 7u) << 3 |
                                       direction << 6 | (rnd.below(500) == 0) << 7);
          r[15] = static_cast<uint8_t>(cls | (rnd.below(200) == 0 ? 0x80 : 0));
          r[16] = static_cast<uint8_t>(angle);
          r[17] = user;
          put<uint16_t>(r + 18, source);
          break;
        case LASitem::POINT14:
          put<int32_t>(r, x);
          put<int32_t>(r + 4, y);
          put<int32_t>(r + 8, z);
          put<uint16_t>(r + 12, intensity);
          r[14] = static_cast<uint8_t>(ret | nret << 4);
          {
            // Drawn one statement each: the order of the draws is the data.
            const uint32_t synthetic = rnd.below(300) == 0 ? 0x2 : 0;
            const uint32_t edge = rnd.below(500) == 0;
            r[15] = static_cast<uint8_t>(synthetic | channel << 4 | direction << 6 | edge << 7);
          }
          r[16] = rnd.below(700) == 0 ? static_cast<uint8_t>(64 + rnd.below(100)) : cls;
          r[17] = user;
          put<int16_t>(r + 18, static_cast<int16_t>(angle * 167));
          put<uint16_t>(r + 20, source);
          put<double>(r + 22, gps);
          break;
        case LASitem::GPSTIME11:
          put<double>(r, gps);
          break;
        case LASitem::RGB12:
        case LASitem::RGB14:
        case LASitem::RGBNIR14:
          fill_colour(r, item.size / 2);
          break;
        case LASitem::WAVEPACKET13:
        case LASitem::WAVEPACKET14:
          fill_wave(r);
          break;
        default:  // BYTE, BYTE14
          for (uint32_t k = 0; k < item.size; k++) {
            if (k % 3 == 0) r[k] = static_cast<uint8_t>(k);
            if (k % 3 == 1) r[k] = static_cast<uint8_t>(counter + k);
            if (k % 3 == 2) r[k] = static_cast<uint8_t>(rnd.below(4) ? 0 : rnd.next());
          }
          break;
      }
      at += item.size;
    }
    counter++;
  }

  bool wide = false;  // return numbers up to 15

 private:
  void fill_colour(uint8_t* r, uint32_t channels) {
    if (rnd.below(25) == 0) {
      const uint16_t grey = static_cast<uint16_t>(rnd.next());
      for (uint16_t& c : colour) c = grey;
    } else {
      for (uint16_t& c : colour) {
        if (rnd.below(3)) c = static_cast<uint16_t>(c + rnd.around(300));
      }
    }
    for (uint32_t c = 0; c < channels; c++) {
      // Some files hold 8-bit colour in the low byte only.
      put<uint16_t>(r + 2 * c, low_colour ? static_cast<uint16_t>(colour[c] & 0xFF) : colour[c]);
    }
    if (rnd.below(300) == 0) low_colour = !low_colour;
  }

  void fill_wave(uint8_t* r) {
    r[0] = static_cast<uint8_t>(rnd.below(100) ? 1 : 2 + rnd.below(3));
    wave_offset += rnd.below(60) ? 256 : rnd.below(100000);
    put<uint64_t>(r + 1, wave_offset);
    put<uint32_t>(r + 9, rnd.below(80) ? 256u : 128u);
    put<float>(r + 13, static_cast<float>(rnd.below(1000)) * 0.5f);
    put<float>(r + 17, static_cast<float>(rnd.around(100)) * 1e-4f);
    put<float>(r + 21, static_cast<float>(rnd.around(100)) * 1e-4f);
    put<float>(r + 25, -1.0f + static_cast<float>(rnd.around(10)) * 1e-5f);
  }

  Random rnd;
  uint32_t ret = 1;
  uint32_t nret = 1;
  uint32_t direction = 0;
  uint32_t channel = 0;
  int32_t x = 1000000;
  int32_t y = 2000000;
  int32_t ground = 5000;
  int32_t angle = -12;
  uint16_t intensity = 400;
  uint16_t source = 7;
  uint8_t user = 0;
  uint32_t counter = 0;
  double gps = 123456.5;
  double gps_step = 0;
  uint16_t colour[4] = {20000, 24000, 18000, 30000};
  bool low_colour = false;
  uint64_t wave_offset = 0;
};

enum Chunking : uint32_t { kDefault = 0, kSmall = 1, kAdaptive = 2 };

struct Row {
  uint8_t format;
  uint16_t extra;
  uint16_t version;
  Chunking chunking;
  uint64_t hash;
};

// Recorded from the coders before any of their speed work. Format 6 comes
// out the same at versions 3 and 4 with these points.
// Never edit a hash to make a test pass: the files out there were written
// with these bytes.
const Row kRows[] = {
    {0, 0, 1, kDefault, 0xe55654e9160e6335ull},   {0, 0, 1, kSmall, 0x7afe52361dc66f0eull},
    {0, 0, 1, kAdaptive, 0xe1514cc13cd7bc63ull},  {0, 0, 2, kDefault, 0x2c5fd04b2f161059ull},
    {0, 0, 2, kSmall, 0x43e5bd2fc09d63e4ull},     {0, 0, 2, kAdaptive, 0xb3a82a3956df82caull},
    {1, 0, 1, kDefault, 0xed94fd85d8571beaull},   {1, 0, 1, kSmall, 0x604a6f8ae89381eaull},
    {1, 0, 1, kAdaptive, 0x2efe15ffd32d0c1bull},  {1, 0, 2, kDefault, 0x5b0cc89313691b41ull},
    {1, 0, 2, kSmall, 0x331a1a12d79e6346ull},     {1, 0, 2, kAdaptive, 0xdefac50ba25d6687ull},
    {2, 0, 1, kDefault, 0x12b7ec65f38a01b1ull},   {2, 0, 1, kSmall, 0xb6f01fe76e39bacbull},
    {2, 0, 1, kAdaptive, 0x3d755d87dbc0c738ull},  {2, 0, 2, kDefault, 0xff0f46deef4aea13ull},
    {2, 0, 2, kSmall, 0x5746157854ed9bd2ull},     {2, 0, 2, kAdaptive, 0x6c62c930e9fb1ca0ull},
    {3, 5, 1, kDefault, 0x844d5c850083eb2eull},   {3, 5, 1, kSmall, 0x79b47830b6be7bfbull},
    {3, 5, 1, kAdaptive, 0xd047e8e493130043ull},  {3, 5, 2, kDefault, 0x534db924b5c8e196ull},
    {3, 5, 2, kSmall, 0xf4d1703a2f42ad36ull},     {3, 5, 2, kAdaptive, 0xf3d007cd23541ebaull},
    {4, 0, 1, kDefault, 0xaf419965fa8b3ac4ull},   {4, 0, 1, kSmall, 0x3ae02ef16d956533ull},
    {4, 0, 1, kAdaptive, 0xca002a804e1aa965ull},  {4, 0, 2, kDefault, 0x1a50f2458bd6db0bull},
    {4, 0, 2, kSmall, 0x4c7194909416c61full},     {4, 0, 2, kAdaptive, 0x73ac5477f2fe8fb7ull},
    {5, 2, 1, kDefault, 0xafb3c640ebc1036bull},   {5, 2, 1, kSmall, 0x461b3b7cb1256da7ull},
    {5, 2, 1, kAdaptive, 0x5e7f230a9c57ac0bull},  {5, 2, 2, kDefault, 0x7c0e2c3f8d0ba5c2ull},
    {5, 2, 2, kSmall, 0x6dd74f8407c7bd8aull},     {5, 2, 2, kAdaptive, 0xba9cde6be03a98aaull},
    {6, 0, 3, kDefault, 0x7a74d6c7003d3b1eull},   {6, 0, 3, kSmall, 0x5100872d0346b4ceull},
    {6, 0, 3, kAdaptive, 0xb1ad5053a781e05bull},  {6, 0, 4, kDefault, 0x7a74d6c7003d3b1eull},
    {6, 0, 4, kSmall, 0x5100872d0346b4ceull},     {6, 0, 4, kAdaptive, 0xb1ad5053a781e05bull},
    {7, 0, 3, kDefault, 0x994469de8da2d145ull},   {7, 0, 3, kSmall, 0x6dbf341b497d2320ull},
    {7, 0, 3, kAdaptive, 0x333fefba8210f6b6ull},  {7, 0, 4, kDefault, 0x19d186e39f18c64aull},
    {7, 0, 4, kSmall, 0xa59325818486dd51ull},     {7, 0, 4, kAdaptive, 0x8555db36e6280085ull},
    {8, 4, 3, kDefault, 0xe5aa6ff2bda6a204ull},   {8, 4, 3, kSmall, 0x5f3c36199c6bba41ull},
    {8, 4, 3, kAdaptive, 0x994e7bed5ebc6459ull},  {8, 4, 4, kDefault, 0x3b5850e49a3845dull},
    {8, 4, 4, kSmall, 0xc8f07f3f292a1b39ull},     {8, 4, 4, kAdaptive, 0xebede96a1dad557ull},
    {9, 0, 3, kDefault, 0x6ae01cdabcd36470ull},   {9, 0, 3, kSmall, 0xbc5fb5d79c2eb4dfull},
    {9, 0, 3, kAdaptive, 0x5548f5560ee27306ull},  {9, 0, 4, kDefault, 0x519438651f41e19eull},
    {9, 0, 4, kSmall, 0xf13a33e3aa7e967ull},      {9, 0, 4, kAdaptive, 0xc220a3b788b61a17ull},
    {10, 7, 3, kDefault, 0x52bd2afbd9cb68d6ull},  {10, 7, 3, kSmall, 0xf828bffe29f23f86ull},
    {10, 7, 3, kAdaptive, 0xbe838a92c45ded33ull}, {10, 7, 4, kDefault, 0xa339124bf6688011ull},
    {10, 7, 4, kSmall, 0xcc5bc242a4155593ull},    {10, 7, 4, kAdaptive, 0x8a2ad36c55e69824ull},
};

uint16_t standard_length(uint8_t format) {
  static const uint16_t kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return kLengths[format];
}

LAScompressorSetup setup_of(const Row& row) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> items;
  EXPECT_TRUE(setup.setup_from_point_type(
      row.format, static_cast<uint16_t>(standard_length(row.format) + row.extra), &n, &items));
  const bool layered = row.format >= 6;
  EXPECT_TRUE(setup.setup(
      n, items.data(),
      layered ? LAScompressorKind::multistream_chunked : LAScompressorKind::sequential_chunked));
  EXPECT_TRUE(setup.choose_version(layered ? 2 : row.version));
  if (layered) {
    for (LASitem& item : setup.items) item.version = row.version;
  }
  const uint32_t sizes[] = {LAScompressorSetup::kDefaultChunkSize, 1000,
                            LAScompressorSetup::kAdaptiveChunkSize};
  EXPECT_TRUE(setup.change_chunk_size(sizes[row.chunking]));
  return setup;
}

// The point's item bytes from a raw record, as the raw item readers give them.
void record_to_point(const std::vector<LASitem>& items, const uint8_t* record, LASpoint& point) {
  uint32_t at = 0;
  for (size_t i = 0; i < items.size(); i++) {
    if (items[i].type == LASitem::POINT14) {
      LASreadItemRaw_POINT14_LE::record_to_point(record + at, point.point_items[i]);
    } else {
      std::memcpy(point.point_items[i], record + at, items[i].size);
    }
    at += items[i].size;
  }
}

void point_to_record(const std::vector<LASitem>& items, const LASpoint& point, uint8_t* record) {
  uint32_t at = 0;
  for (size_t i = 0; i < items.size(); i++) {
    if (items[i].type == LASitem::POINT14) {
      LASwriteItemRaw_POINT14_LE::point_to_record(point.point_items[i], record + at);
    } else {
      std::memcpy(record + at, point.point_items[i], items[i].size);
    }
    at += items[i].size;
  }
}

std::string name_of(const Row& row) {
  static const char* kChunkings[] = {"default", "1000", "adaptive"};
  return "format " + std::to_string(row.format) + " extra " + std::to_string(row.extra) + " v" +
         std::to_string(row.version) + " chunks " + kChunkings[row.chunking];
}

}  // namespace

TEST(VpkOutputPinned, EveryFormatVersionAndChunkingKeepsItsBytes) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(name_of(row));
    const LAScompressorSetup setup = setup_of(row);
    uint32_t size = 0;
    for (const LASitem& item : setup.items) size += item.size;

    std::vector<uint8_t> records(kPoints * size);
    RecordGenerator generator(1000 + row.format);
    generator.wide = row.format >= 6;
    for (size_t i = 0; i < kPoints; i++) generator.fill(setup.items, records.data() + i * size);

    ByteStreamOutArrayLE out;
    LASpointRecordWriter writer;
    ASSERT_TRUE(writer.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(writer.init(&out));
    LASpoint point;
    ASSERT_TRUE(point.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
    size_t cut = 0;
    for (size_t i = 0; i < kPoints; i++) {
      if (row.chunking == kAdaptive && cut < std::size(kAdaptiveCuts) && kAdaptiveCuts[cut] == i) {
        ASSERT_TRUE(writer.chunk());
        cut++;
      }
      record_to_point(setup.items, records.data() + i * size, point);
      ASSERT_TRUE(writer.write(point.point_items.data()));
    }
    ASSERT_TRUE(writer.done());
    const std::vector<uint8_t> bytes(out.get_data(), out.get_data() + out.position());
    EXPECT_EQ(fnv1a64(bytes), row.hash) << std::hex << "0x" << fnv1a64(bytes) << "ull";

    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader reader;
    ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(reader.init(&in));
    LASpoint back;
    ASSERT_TRUE(back.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
    std::vector<uint8_t> got(size);
    for (size_t i = 0; i < kPoints; i++) {
      ASSERT_TRUE(reader.read(back.point_items.data()))
          << i << ": " << (reader.error() ? reader.error() : "");
      point_to_record(setup.items, back, got.data());
      ASSERT_EQ(0, std::memcmp(got.data(), records.data() + i * size, size)) << "point " << i;
    }
    EXPECT_TRUE(reader.check_end()) << (reader.error() ? reader.error() : "");
  }
}
