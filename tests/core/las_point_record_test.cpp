#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coder_factory.hpp"
#include "compress/residual_coder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_point.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// --- stand-in compressed coders ----------------------------------------------
// Every byte of an item is coded as its difference to the same byte of the
// previous item, with one 256-symbol model per byte position: stateful like
// the real coders, so chunk starts and resets matter.

int g_items_decoded = 0;
int g_fail_start_chunk = -1;  // chunk number whose start_chunk fails

class DeltaWriter : public LASwriteItemCompressed {
 public:
  DeltaWriter(IntervalEncoder* enc, uint32_t size) : enc(enc), size(size), last(size) {}
  bool start_chunk(const uint8_t* item, uint32_t&) override {
    if (models.empty()) {
      for (uint32_t j = 0; j < size; j++) models.push_back(enc->new_symbol_model(256));
    }
    for (auto& m : models) m->reset();
    std::memcpy(last.data(), item, size);
    return true;
  }
  bool write_item(const uint8_t* item, uint32_t&) override {
    for (uint32_t j = 0; j < size; j++) {
      enc->put_symbol(models[j].get(), static_cast<uint8_t>(item[j] - last[j]));
    }
    std::memcpy(last.data(), item, size);
    return true;
  }

 private:
  IntervalEncoder* enc;
  uint32_t size;
  Bytes last;
  std::vector<std::unique_ptr<SymbolModel>> models;
};

class DeltaReader : public LASreadItemCompressed {
 public:
  DeltaReader(IntervalDecoder* dec, uint32_t size) : dec(dec), size(size), last(size) {}
  bool start_chunk(uint8_t* item, uint32_t&) override {
    if (chunks_started++ == g_fail_start_chunk) return false;
    if (models.empty()) {
      for (uint32_t j = 0; j < size; j++) models.push_back(dec->new_symbol_model(256));
    }
    for (auto& m : models) m->reset();
    std::memcpy(last.data(), item, size);
    return true;
  }
  void read_item(uint8_t* item, uint32_t&) override {
    g_items_decoded++;
    for (uint32_t j = 0; j < size; j++) {
      last[j] = static_cast<uint8_t>(last[j] + dec->get_symbol(models[j].get()));
    }
    std::memcpy(item, last.data(), size);
  }

 private:
  IntervalDecoder* dec;
  uint32_t size;
  Bytes last;
  std::vector<std::unique_ptr<SymbolModel>> models;
  int chunks_started = 0;
};

// The layered form: each item is one layer with an interval coder of its own
// over a memory stream, framed by the point-record writer as layer sizes and
// layer bytes. The layer of item i is requested by mask bit i.
class LayerWriter : public LASwriteItemCompressed {
 public:
  LayerWriter(IntervalEncoder* file_enc, uint32_t size) : file_enc(file_enc), delta(&enc, size) {}
  bool start_chunk(const uint8_t* item, uint32_t& context) override {
    layer.seek_to(0);
    return enc.start(&layer) && delta.start_chunk(item, context);
  }
  bool write_item(const uint8_t* item, uint32_t& context) override {
    return delta.write_item(item, context);
  }
  bool write_layer_sizes() override {
    if (!enc.finish()) return false;
    count = static_cast<uint32_t>(layer.position());
    return file_enc->get_stream()->write_u32_le(&count);
  }
  bool write_layer_bytes() override {
    return file_enc->get_stream()->write_bytes(layer.get_data(), count);
  }

 private:
  IntervalEncoder* file_enc;
  ByteStreamOutArrayLE layer;
  IntervalEncoder enc;
  DeltaWriter delta;
  uint32_t count = 0;
};

class LayerReader : public LASreadItemCompressed {
 public:
  LayerReader(IntervalDecoder* file_dec, uint32_t size, bool requested)
      : file_dec(file_dec), requested(requested), delta(&dec, size) {}
  bool read_layer_sizes() override {
    file_dec->get_stream()->read_u32_le(&count);
    return true;
  }
  bool start_chunk(uint8_t* item, uint32_t& context) override {
    ByteStreamIn* in = file_dec->get_stream();
    if (!requested) return skip_bytes(in, count);
    if (!bytes_available(in, count)) return false;
    buffer.resize(count);
    in->read_bytes(buffer.data(), count);
    layer.init(buffer.data(), count);
    return dec.start(&layer) && delta.start_chunk(item, context);
  }
  void read_item(uint8_t* item, uint32_t& context) override {
    if (requested) delta.read_item(item, context);
  }

 private:
  IntervalDecoder* file_dec;
  bool requested;
  Bytes buffer;
  ByteStreamInArrayLE layer;
  IntervalDecoder dec;
  DeltaReader delta;
  uint32_t count = 0;
};

class TestFactory : public LASitemCoderFactory {
 public:
  explicit TestFactory(bool layered) : layered(layered) {}
  std::unique_ptr<LASreadItemCompressed> make_reader(const LASitem& item, IntervalDecoder* dec,
                                                     uint32_t mask) const override {
    if (layered) {
      const bool requested = (mask >> (next_layer++ % 32)) & 1;
      return std::make_unique<LayerReader>(dec, item.size, requested);
    }
    return std::make_unique<DeltaReader>(dec, item.size);
  }
  std::unique_ptr<LASwriteItemCompressed> make_writer(const LASitem& item,
                                                      IntervalEncoder* enc) const override {
    if (layered) return std::make_unique<LayerWriter>(enc, item.size);
    return std::make_unique<DeltaWriter>(enc, item.size);
  }

 private:
  bool layered;
  mutable uint32_t next_layer = 0;
};

// --- points ------------------------------------------------------------------

const LASitem kItems[] = {
    {LASitem::POINT10, 20, 2}, {LASitem::GPSTIME11, 8, 2}, {LASitem::BYTE, 3, 2}};
constexpr uint16_t kNumItems = 3;
constexpr uint32_t kPointSize = 31;
// Bytes before the point data, as a file's header would be.
constexpr int64_t kHeaderBytes = 227;

void make_point(LASpoint& p, uint32_t i) {
  p.X = static_cast<int32_t>(i * 7u) - 1000;
  p.Y = static_cast<int32_t>((i * 2654435761u) >> 12);
  p.Z = static_cast<int32_t>(i % 1000);
  p.intensity = static_cast<uint16_t>(i * 3);
  p.return_byte = static_cast<uint8_t>(i % 251);
  p.class_byte = static_cast<uint8_t>(i % 32);
  p.scan_angle_rank = static_cast<int8_t>(i % 180 - 90);
  p.user_data = static_cast<uint8_t>(i >> 8);
  p.point_source_ID = static_cast<uint16_t>(i / 1000);
  p.gps_time = 1000.0 + i * 0.001;
  p.extra_bytes[0] = static_cast<uint8_t>(i);
  p.extra_bytes[1] = static_cast<uint8_t>(i >> 8);
  p.extra_bytes[2] = static_cast<uint8_t>(i >> 16);
}

// "" when the point read is point i.
std::string point_difference(const LASpoint& p, uint32_t i) {
  LASpoint expected;
  expected.init_for_items(nullptr, kNumItems, kItems, nullptr);
  make_point(expected, i);
  if (std::memcmp(p.raw(), expected.raw(), 20) != 0) return "POINT10 part";
  if (p.gps_time != expected.gps_time) return "gps_time";
  if (std::memcmp(p.extra_bytes.get(), expected.extra_bytes.get(), 3) != 0) return "extra bytes";
  return "";
}

LAScompressorSetup make_setup(uint16_t compressor, uint32_t chunk_size) {
  LAScompressorSetup s;
  s.compressor = compressor;
  s.chunk_size = chunk_size;
  s.num_items = kNumItems;
  s.items.assign(kItems, kItems + kNumItems);
  return s;
}

// Writes the points; with adaptive chunking, `cuts` lists the point indices
// before which a chunk is ended.
bool write_points(ByteStreamOut* out, const LAScompressorSetup& setup, uint32_t count,
                  const LASitemCoderFactory* factory, const std::vector<uint32_t>& cuts = {},
                  uint32_t* chunks_written = nullptr) {
  const Bytes header(kHeaderBytes, 0xEE);
  if (!out->write_bytes(header.data(), static_cast<uint32_t>(header.size()))) return false;
  LASpointRecordWriter writer(factory);
  if (!writer.setup(setup.num_items, setup.items.data(), &setup)) return false;
  if (!writer.init(out)) return false;
  LASpoint p;
  p.init_for_items(nullptr, kNumItems, kItems, nullptr);
  size_t next_cut = 0;
  for (uint32_t i = 0; i < count; i++) {
    while (next_cut < cuts.size() && cuts[next_cut] == i) {
      if (!writer.chunk()) return false;
      next_cut++;
    }
    make_point(p, i);
    if (!writer.write(p.point_items.data())) return false;
  }
  if (!writer.done()) return false;
  if (chunks_written) *chunks_written = writer.get_number_chunks();
  return true;
}

Bytes write_to_memory(const LAScompressorSetup& setup, uint32_t count,
                      const LASitemCoderFactory* factory, const std::vector<uint32_t>& cuts = {},
                      uint32_t* chunks_written = nullptr) {
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(write_points(&out, setup, count, factory, cuts, chunks_written));
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

// A reader over the point data of a file in memory.
struct OpenReader {
  OpenReader(const Bytes& bytes, const LAScompressorSetup& setup,
             const LASitemCoderFactory* factory, uint32_t mask = 0xFFFFFFFFu)
      : in(bytes.data(), static_cast<int64_t>(bytes.size())), reader(mask, factory) {
    point.init_for_items(nullptr, kNumItems, kItems, nullptr);
    ok = reader.setup(setup.num_items, setup.items.data(), &setup) && in.seek_to(kHeaderBytes) &&
         reader.init(&in);
  }
  bool read() { return reader.read(point.point_items.data()); }
  ByteStreamInArrayLE in;
  LASpointRecordReader reader;
  LASpoint point;
  bool ok;
};

std::string text(const char* s) {
  return s ? s : "(none)";
}

int64_t get_i64(const Bytes& b, size_t at) {
  int64_t v;
  std::memcpy(&v, &b[at], 8);
  return v;
}
void put_i64(Bytes& b, size_t at, int64_t v) {
  std::memcpy(&b[at], &v, 8);
}
uint32_t get_u32(const Bytes& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, &b[at], 4);
  return v;
}
void put_u32(Bytes& b, size_t at, uint32_t v) {
  std::memcpy(&b[at], &v, 4);
}

// The chunk table decoded by hand from its layout: version, count, then the
// interval-coded counts, each predicted by the one before (the first by 0).
struct Table {
  uint32_t version = 0;
  std::vector<uint32_t> points;
  std::vector<uint32_t> bytes;
};
Table decode_table(const Bytes& b, int64_t at, bool adaptive) {
  Table t;
  t.version = get_u32(b, at);
  const uint32_t n = get_u32(b, at + 4);
  ByteStreamInArrayLE in(b.data(), static_cast<int64_t>(b.size()));
  in.seek_to(at + 8);
  IntervalDecoder dec;
  dec.start(&in);
  ResidualCoder coder(&dec, 32, 2, 8, 0);
  coder.prepare_decode();
  for (uint32_t i = 0; i < n; i++) {
    if (adaptive) t.points.push_back(coder.decode(i ? t.points.back() : 0, 0));
    t.bytes.push_back(coder.decode(i ? t.bytes.back() : 0, 1));
  }
  return t;
}
Bytes encode_table(const std::vector<uint32_t>& bytes) {
  ByteStreamOutArrayLE out;
  const uint32_t version = 0;
  const uint32_t n = static_cast<uint32_t>(bytes.size());
  out.write_u32_le(&version);
  out.write_u32_le(&n);
  IntervalEncoder enc;
  enc.start(&out);
  ResidualCoder coder(&enc, 32, 2, 8, 0);
  coder.prepare_encode();
  for (uint32_t i = 0; i < n; i++) coder.encode(i ? bytes[i - 1] : 0, bytes[i], 1);
  enc.finish();
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

const TestFactory kPlain(false);

}  // namespace

TEST(LASpointRecord, RawRecordsRoundTripAndSeek) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::raw, 0);
  const Bytes bytes = write_to_memory(setup, 50, &kPlain);
  ASSERT_EQ(bytes.size(), kHeaderBytes + 50u * kPointSize);
  OpenReader r(bytes, setup, &kPlain);
  ASSERT_TRUE(r.ok);
  for (uint32_t i = 0; i < 50; i++) {
    ASSERT_TRUE(r.read());
    ASSERT_EQ(point_difference(r.point, i), "") << i;
  }
  EXPECT_TRUE(r.reader.seek(50, 30));
  ASSERT_TRUE(r.read());
  EXPECT_EQ(point_difference(r.point, 30), "");
  EXPECT_TRUE(r.reader.check_end());

  // A short raw block fails without an error text: the LAS reader reports it
  // as an end-of-file warning.
  const Bytes cut(bytes.begin(), bytes.end() - 10);
  OpenReader s(cut, setup, &kPlain);
  for (uint32_t i = 0; i < 49; i++) ASSERT_TRUE(s.read());
  EXPECT_FALSE(s.read());
  EXPECT_EQ(s.reader.error(), nullptr);
}

// Raw records come from the stream in blocks of whole records: reads and seeks across block ends,
// files cut inside a record, and a file cut while it is read (it holds fewer bytes than it said)
// all give the points a record-by-record reader gives.
TEST(LASpointRecord, RawRecordsInBlocks) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::raw, 0);
  constexpr uint32_t kCount = 12000;  // several blocks of records
  const Bytes bytes = write_to_memory(setup, kCount, &kPlain);
  OpenReader r(bytes, setup, &kPlain);
  ASSERT_TRUE(r.ok);
  for (uint32_t i = 0; i < kCount; i++) {
    ASSERT_TRUE(r.read());
    ASSERT_EQ(point_difference(r.point, i), "") << i;
  }
  EXPECT_FALSE(r.read());
  int64_t at = kCount;
  // Blocks of 64 KiB hold 2114 records of 31 bytes.
  for (uint32_t target : {0u, 11999u, 2114u, 2113u, 2115u, 4228u, 4227u, 1u, 5000u}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(r.reader.seek(at, target));
    for (uint32_t i = target; i < std::min(kCount, target + 3000); i++) {
      ASSERT_TRUE(r.read());
      ASSERT_EQ(point_difference(r.point, i), "") << i;
    }
    at = std::min(kCount, target + 3000);
  }

  const size_t cuts[] = {1, kPointSize - 1, kPointSize, 2114 * kPointSize + 3, 5000 * kPointSize};
  for (const size_t cut : cuts) {
    SCOPED_TRACE(cut);
    const Bytes shorter(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(cut));
    const uint32_t whole = uint32_t((shorter.size() - kHeaderBytes) / kPointSize);
    OpenReader s(shorter, setup, &kPlain);
    for (uint32_t i = 0; i < whole; i++) {
      ASSERT_TRUE(s.read());
      ASSERT_EQ(point_difference(s.point, i), "") << i;
    }
    EXPECT_FALSE(s.read());
    EXPECT_EQ(s.reader.error(), nullptr);
  }

  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fflush(file), 0);
  std::rewind(file);
  {
    ByteStreamInFileLE in(file);
    LASpointRecordReader reader(0xFFFFFFFFu, &kPlain);
    LASpoint point;
    point.init_for_items(nullptr, kNumItems, kItems, nullptr);
    ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(in.seek_to(kHeaderBytes));
    ASSERT_TRUE(reader.init(&in));
    ASSERT_EQ(ftruncate(fileno(file), kHeaderBytes + 3000 * kPointSize + 7), 0);
    for (uint32_t i = 0; i < 3000; i++) {
      ASSERT_TRUE(reader.read(point.point_items.data())) << i;
      ASSERT_EQ(point_difference(point, i), "") << i;
    }
    EXPECT_FALSE(reader.read(point.point_items.data()));
  }
  std::fclose(file);
}

// 120000 points in chunks of 50000 make three chunks; seeking to point 100000
// lands on the first point of the third chunk without decoding anything.
TEST(LASpointRecord, FixedChunksTableAndSeek) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::sequential_chunked, 50000);
  uint32_t chunks = 0;
  const Bytes bytes = write_to_memory(setup, 120000, &kPlain, {}, &chunks);
  EXPECT_EQ(chunks, 3u);

  const int64_t table_at = get_i64(bytes, kHeaderBytes);
  const Table table = decode_table(bytes, table_at, false);
  EXPECT_EQ(table.version, 0u);
  ASSERT_EQ(table.bytes.size(), 3u);
  EXPECT_EQ(kHeaderBytes + 8 + table.bytes[0] + table.bytes[1] + table.bytes[2], table_at);

  OpenReader seeker(bytes, setup, &kPlain);
  ASSERT_TRUE(seeker.ok);
  g_items_decoded = 0;
  ASSERT_TRUE(seeker.reader.seek(0, 100000));
  EXPECT_EQ(seeker.reader.get_current_chunk(), 2u);
  ASSERT_TRUE(seeker.read());
  EXPECT_EQ(g_items_decoded, 0) << "the first point of a chunk is stored raw";
  EXPECT_EQ(point_difference(seeker.point, 100000), "");
  EXPECT_EQ(seeker.reader.get_tabled_chunks(), 4u);
  EXPECT_EQ(seeker.reader.get_chunk_start(2), kHeaderBytes + 8 + table.bytes[0] + table.bytes[1]);
  // Further seeks: backwards into the first chunk, ahead within a chunk,
  // into the middle chunk.
  struct Hop {
    int64_t from, to;
    uint32_t chunk;
  };
  const Hop hops[] = {{100001, 5, 0}, {6, 49999, 0}, {50000, 50000, 1}, {50001, 119999, 2}};
  for (const Hop& h : hops) {
    ASSERT_TRUE(seeker.reader.seek(h.from, h.to)) << h.to;
    EXPECT_EQ(seeker.reader.get_current_chunk(), h.chunk) << h.to;
    ASSERT_TRUE(seeker.read());
    EXPECT_EQ(point_difference(seeker.point, static_cast<uint32_t>(h.to)), "") << h.to;
  }

  OpenReader r(bytes, setup, &kPlain);
  for (uint32_t i = 0; i < 120000; i++) {
    ASSERT_TRUE(r.read()) << i << " " << text(r.reader.error());
    ASSERT_EQ(point_difference(r.point, i), "") << i;
  }
  EXPECT_TRUE(r.reader.check_end()) << text(r.reader.error());
  EXPECT_EQ(r.reader.warning(), nullptr);
}

// Adaptive chunks end on request; a request with no point in the chunk does
// nothing, so no empty chunk (and no unstarted encoder) is ever finished.
TEST(LASpointRecord, AdaptiveChunks) {
  const LAScompressorSetup setup =
      make_setup(LAScompressorKind::sequential_chunked, LAScompressorSetup::kAdaptiveChunkSize);
  const std::vector<uint32_t> cuts = {0, 0, 1, 8, 8, 1008, 1011};
  uint32_t chunks = 0;
  const Bytes bytes = write_to_memory(setup, 1261, &kPlain, cuts, &chunks);
  EXPECT_EQ(chunks, 5u);
  const Table table = decode_table(bytes, get_i64(bytes, kHeaderBytes), true);
  EXPECT_EQ(table.points, (std::vector<uint32_t>{1, 7, 1000, 3, 250}));

  OpenReader r(bytes, setup, &kPlain);
  for (uint32_t i = 0; i < 1261; i++) {
    ASSERT_TRUE(r.read()) << i << " " << text(r.reader.error());
    ASSERT_EQ(point_difference(r.point, i), "") << i;
  }
  EXPECT_TRUE(r.reader.check_end());
  struct Hop {
    int64_t from, to;
    uint32_t chunk;
  };
  const Hop hops[] = {{1261, 0, 0},    {1, 1, 1},    {2, 500, 2}, {501, 1010, 3},
                      {1011, 1260, 4}, {1261, 7, 1}, {8, 8, 2}};
  for (const Hop& h : hops) {
    ASSERT_TRUE(r.reader.seek(h.from, h.to)) << h.to;
    EXPECT_EQ(r.reader.get_current_chunk(), h.chunk) << h.to;
    ASSERT_TRUE(r.read());
    EXPECT_EQ(point_difference(r.point, static_cast<uint32_t>(h.to)), "") << h.to;
  }
  EXPECT_FALSE(r.reader.seek(0, 1261)) << "beyond the table's points";
}

TEST(LASpointRecord, ChunkRequests) {
  LAScompressorSetup fixed = make_setup(LAScompressorKind::sequential_chunked, 10);
  ByteStreamOutArrayLE out;
  LASpointRecordWriter writer(&kPlain);
  ASSERT_TRUE(writer.setup(fixed.num_items, fixed.items.data(), &fixed));
  ASSERT_TRUE(writer.init(&out));
  EXPECT_FALSE(writer.chunk()) << "only with adaptive chunking";

  LAScompressorSetup adaptive =
      make_setup(LAScompressorKind::sequential_chunked, LAScompressorSetup::kAdaptiveChunkSize);
  uint32_t chunks = 0;
  const Bytes empty = write_to_memory(adaptive, 0, &kPlain, {}, &chunks);
  EXPECT_EQ(chunks, 0u);
  // Pointer, version 0, no chunks, and nothing coded.
  ASSERT_EQ(empty.size(), kHeaderBytes + 8 + 8u);
  EXPECT_EQ(get_i64(empty, kHeaderBytes), kHeaderBytes + 8);
  EXPECT_EQ(get_u32(empty, kHeaderBytes + 12), 0u);
}

// Problems with the chunk table: each row damages a file of 1000 points in
// chunks of 300 and tells the warning and how far reading gets.
TEST(LASpointRecord, DamagedOrMissingChunkTable) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::sequential_chunked, 300);
  const Bytes good = write_to_memory(setup, 1000, &kPlain);
  const int64_t table_at = get_i64(good, kHeaderBytes);
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::string warning;
    uint32_t readable;  // points that read back
  };
  const Case cases[] = {
      {"intact", [](Bytes&) {}, "(none)", 1000},
      {"writer killed: pointer to itself, no table",
       [&](Bytes& b) {
         put_i64(b, kHeaderBytes, kHeaderBytes);
         b.resize(table_at);
       },
       "compressor was interrupted before writing chunk table of VPK file", 1000},
      {"table cut short", [&](Bytes& b) { b.resize(table_at + 9); }, "corrupt chunk table", 1000},
      {"wrong version", [&](Bytes& b) { put_u32(b, table_at, 1); }, "corrupt chunk table", 1000},
      {"impossible number of chunks", [&](Bytes& b) { put_u32(b, table_at + 4, 0xFFFFFFFFu); },
       "corrupt chunk table", 1000},
      {"table missing", [&](Bytes& b) { b.resize(table_at); },
       "chunk table is missing. improper use of VPK compressor?", 1000},
      {"file truncated in the last chunk", [&](Bytes& b) { b.resize(table_at - 25); },
       "chunk table and 25 bytes are missing. VPK file truncated during copy or transfer?", 999},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    c.damage(bytes);
    OpenReader r(bytes, setup, &kPlain);
    ASSERT_TRUE(r.ok) << c.name;
    uint32_t read = 0;
    while (read < 1000 && r.read()) {
      ASSERT_EQ(point_difference(r.point, read), "") << c.name << " " << read;
      read++;
    }
    EXPECT_EQ(read, c.readable) << c.name << ": " << text(r.reader.error());
    EXPECT_EQ(text(r.reader.warning()), c.warning) << c.name;
    if (c.readable == 1000) {
      EXPECT_TRUE(r.reader.check_end()) << c.name;
      // The reader knows every chunk now, from the file or from reading.
      EXPECT_GE(r.reader.get_tabled_chunks(), 4u) << c.name;
      ASSERT_TRUE(r.reader.seek(1000, 650)) << c.name;
      ASSERT_TRUE(r.read());
      EXPECT_EQ(point_difference(r.point, 650), "") << c.name;
    } else {
      EXPECT_EQ(text(r.reader.error()), "end-of-file during chunk with index 3") << c.name;
    }
  }
}

TEST(LASpointRecord, AdaptiveTableMustBeThere) {
  const LAScompressorSetup setup =
      make_setup(LAScompressorKind::sequential_chunked, LAScompressorSetup::kAdaptiveChunkSize);
  Bytes bytes = write_to_memory(setup, 100, &kPlain, {50});
  const int64_t table_at = get_i64(bytes, kHeaderBytes);
  put_i64(bytes, kHeaderBytes, kHeaderBytes);
  bytes.resize(table_at);
  OpenReader r(bytes, setup, &kPlain);
  EXPECT_FALSE(r.read());
  EXPECT_EQ(text(r.reader.error()),
            "compressor was interrupted before writing adaptive chunk table of VPK file");
  EXPECT_FALSE(r.read()) << "no point is read without the chunk positions";
  EXPECT_FALSE(r.reader.seek(0, 10));
}

// A chunk that does not end where the table says the next one starts: the
// read after its last point fails, the next read goes on with the next chunk.
TEST(LASpointRecord, CorruptChunkIsSkipped) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::sequential_chunked, 100);
  const Bytes good = write_to_memory(setup, 200, &kPlain);
  const int64_t table_at = get_i64(good, kHeaderBytes);
  const Table table = decode_table(good, table_at, false);
  ASSERT_EQ(table.bytes.size(), 2u);
  // One stray byte after chunk 0, which the table counts as part of it.
  const size_t chunk1_at = kHeaderBytes + 8 + table.bytes[0];
  Bytes bytes(good.begin(), good.begin() + chunk1_at);
  bytes.push_back(0x55);
  bytes.insert(bytes.end(), good.begin() + chunk1_at, good.begin() + table_at);
  const Bytes new_table = encode_table({table.bytes[0] + 1, table.bytes[1]});
  put_i64(bytes, kHeaderBytes, static_cast<int64_t>(bytes.size()));
  bytes.insert(bytes.end(), new_table.begin(), new_table.end());

  OpenReader r(bytes, setup, &kPlain);
  for (uint32_t i = 0; i < 100; i++) ASSERT_TRUE(r.read()) << i;
  EXPECT_FALSE(r.read());
  EXPECT_EQ(text(r.reader.error()), "chunk with index 0 of 3 is corrupt");
  for (uint32_t i = 100; i < 200; i++) {
    ASSERT_TRUE(r.read()) << i << " " << text(r.reader.error());
    ASSERT_EQ(point_difference(r.point, i), "") << i;
  }
  EXPECT_TRUE(r.reader.check_end());
}

// A start_chunk that fails counts as a corrupt chunk; reading goes on with
// the next one.
TEST(LASpointRecord, FailedChunkStartIsAFailedRead) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::sequential_chunked, 10);
  const Bytes bytes = write_to_memory(setup, 30, &kPlain);
  OpenReader r(bytes, setup, &kPlain);
  g_fail_start_chunk = 1;
  for (uint32_t i = 0; i < 10; i++) ASSERT_TRUE(r.read());
  EXPECT_FALSE(r.read());
  g_fail_start_chunk = -1;
  EXPECT_EQ(text(r.reader.error()), "chunk with index 1 of 4 is corrupt");
  ASSERT_TRUE(r.read()) << text(r.reader.error());
  EXPECT_EQ(point_difference(r.point, 20), "");

  // In the last chunk there is no chunk to go on with (the table's last entry
  // is the table itself): every later read fails instead of decoding the
  // table as points, until a seek moves to a chunk again.
  OpenReader last(bytes, setup, &kPlain);
  g_fail_start_chunk = 2;
  for (uint32_t i = 0; i < 20; i++) ASSERT_TRUE(last.read());
  EXPECT_FALSE(last.read());
  g_fail_start_chunk = -1;
  EXPECT_EQ(text(last.reader.error()), "chunk with index 2 of 4 is corrupt");
  EXPECT_FALSE(last.read());
  EXPECT_FALSE(last.read());
  ASSERT_TRUE(last.reader.seek(21, 15));
  ASSERT_TRUE(last.read());
  EXPECT_EQ(point_difference(last.point, 15), "");
}

// Layered chunks: raw first point, point count, every item's layer sizes,
// then every item's layer bytes.
TEST(LASpointRecord, LayeredChunkFraming) {
  const TestFactory layered_writers(true);
  const LAScompressorSetup setup = make_setup(LAScompressorKind::multistream_chunked, 40);
  const Bytes bytes = write_to_memory(setup, 100, &layered_writers);
  const int64_t table_at = get_i64(bytes, kHeaderBytes);
  const Table table = decode_table(bytes, table_at, false);
  ASSERT_EQ(table.bytes.size(), 3u);
  int64_t at = kHeaderBytes + 8;
  const uint32_t points[] = {40, 40, 20};
  for (int c = 0; c < 3; c++) {
    const int64_t start = at;
    at += kPointSize;  // the raw first point
    EXPECT_EQ(get_u32(bytes, at), points[c]) << c;
    uint32_t layers = 0;
    for (int i = 0; i < kNumItems; i++) layers += get_u32(bytes, at + 4 + 4 * i);
    at += 4 + 4 * kNumItems + layers;
    EXPECT_EQ(at - start, table.bytes[c]) << c;
  }
  EXPECT_EQ(at, table_at);

  for (uint32_t mask : {0xFFFFFFFFu, 0x5u}) {
    const TestFactory layered_readers(true);
    OpenReader r(bytes, setup, &layered_readers, mask);
    for (uint32_t i = 0; i < 100; i++) {
      ASSERT_TRUE(r.read()) << i << " " << text(r.reader.error());
      if (mask & 2) {
        ASSERT_EQ(point_difference(r.point, i), "") << i;
      } else {
        // The GPS time layer is skipped: it keeps the chunk's first value.
        LASpoint expected;
        expected.init_for_items(nullptr, kNumItems, kItems, nullptr);
        make_point(expected, i / 40 * 40);
        EXPECT_EQ(r.point.gps_time, expected.gps_time) << i;
        make_point(expected, i);
        EXPECT_EQ(std::memcmp(r.point.raw(), expected.raw(), 20), 0) << i;
      }
    }
    EXPECT_TRUE(r.reader.check_end()) << text(r.reader.error());
  }
}

namespace {

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Writes the points into a pipe from a thread; returns the read end.
File write_into_pipe(const LAScompressorSetup& setup, uint32_t count,
                     const LASitemCoderFactory* factory, std::thread* writer) {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  *writer = std::thread([=] {
    File w(fdopen(fds[1], "wb"));
    ByteStreamOutFileLE out(w.get());
    EXPECT_FALSE(out.can_seek());
    EXPECT_TRUE(write_points(&out, setup, count, factory));
  });
  return File(fdopen(fds[0], "rb"));
}

}  // namespace

// A writer that cannot seek back writes -1 as the pointer and the table's
// position as the last 8 bytes; a reader finds the table through them.
TEST(LASpointRecord, PipeWriterPutsTablePositionAtTheEnd) {
  const LAScompressorSetup setup = make_setup(LAScompressorKind::sequential_chunked, 300);
  std::thread writer;
  File in = write_into_pipe(setup, 1000, &kPlain, &writer);
  ASSERT_TRUE(in);
  Bytes bytes;
  int c;
  while ((c = getc(in.get())) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  writer.join();
  EXPECT_EQ(get_i64(bytes, kHeaderBytes), -1);
  const int64_t table_at = get_i64(bytes, bytes.size() - 8);
  EXPECT_EQ(decode_table(bytes, table_at, false).bytes.size(), 4u);
  // The same bytes as a seekable writer's, but for pointer and tail.
  Bytes seekable = write_to_memory(setup, 1000, &kPlain);
  EXPECT_EQ(get_i64(seekable, kHeaderBytes), table_at);
  put_i64(seekable, kHeaderBytes, -1);
  seekable.insert(seekable.end(), bytes.end() - 8, bytes.end());
  EXPECT_TRUE(seekable == bytes);

  OpenReader r(bytes, setup, &kPlain);
  ASSERT_TRUE(r.reader.seek(0, 999));
  ASSERT_TRUE(r.read());
  EXPECT_EQ(point_difference(r.point, 999), "");
  EXPECT_EQ(r.reader.warning(), nullptr);
  EXPECT_EQ(r.reader.get_tabled_chunks(), 5u);
}

// Writing into a pipe and reading from a pipe: the reader cannot reach the
// table and builds it while reading; layers that were not requested are read
// over instead of sought over.
TEST(LASpointRecord, PipeToPipe) {
  struct Case {
    uint16_t compressor;
    bool layered;
    uint32_t mask;
  };
  const Case cases[] = {{LAScompressorKind::sequential_chunked, false, 0xFFFFFFFFu},
                        {LAScompressorKind::multistream_chunked, true, 0xFFFFFFFFu},
                        {LAScompressorKind::multistream_chunked, true, 0x5u},
                        {LAScompressorKind::raw, false, 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    const TestFactory writers(c.layered);
    const TestFactory readers(c.layered);
    const LAScompressorSetup setup = make_setup(c.compressor, 300);
    std::thread writer;
    File in = write_into_pipe(setup, 1000, &writers, &writer);
    ASSERT_TRUE(in);
    ByteStreamInFileLE stream(in.get());
    ASSERT_FALSE(stream.can_seek());
    ASSERT_TRUE(stream.skip(kHeaderBytes));
    LASpointRecordReader reader(c.mask, &readers);
    ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(reader.init(&stream));
    LASpoint p;
    p.init_for_items(nullptr, kNumItems, kItems, nullptr);
    LASpoint expected;
    expected.init_for_items(nullptr, kNumItems, kItems, nullptr);
    for (uint32_t i = 0; i < 1000; i++) {
      ASSERT_TRUE(reader.read(p.point_items.data())) << i << " " << text(reader.error());
      make_point(expected, i);
      ASSERT_EQ(std::memcmp(p.raw(), expected.raw(), 20), 0) << i;
      if (c.mask & 2) {
        ASSERT_EQ(point_difference(p, i), "") << i;
      }
    }
    EXPECT_TRUE(reader.check_end());
    EXPECT_EQ(reader.warning(), nullptr);
    EXPECT_FALSE(reader.seek(1000, 10)) << "a pipe cannot seek";
    if (c.compressor != LAScompressorKind::raw) {
      // The chunk starts found on the pipe are the file positions the table
      // of the same data lists.
      const Bytes bytes = write_to_memory(setup, 1000, &writers);
      const Table table = decode_table(bytes, get_i64(bytes, kHeaderBytes), false);
      ASSERT_EQ(reader.get_tabled_chunks(), 4u);
      int64_t start = kHeaderBytes + 8;
      for (uint32_t k = 0; k < 4; k++) {
        EXPECT_EQ(reader.get_chunk_start(k), start) << k;
        start += table.bytes[k];
      }
    }
    writer.join();
  }
}

// Items of versions the format knows but this build has no coder for: the
// set-up stands so headers can be read, and every point read fails with a
// clear text. Versions the format does not know fail the set-up.
TEST(LASpointRecord, MissingCompressedCoders) {
  const LAScompressorSetup known = make_setup(LAScompressorKind::sequential_chunked, 100);
  LASpointRecordReader reader;
  ASSERT_TRUE(reader.setup(known.num_items, known.items.data(), &known));
  const Bytes bytes(100, 0);
  ByteStreamInArrayLE in(bytes.data(), 100);
  ASSERT_TRUE(reader.init(&in));
  LASpoint p;
  p.init_for_items(nullptr, kNumItems, kItems, nullptr);
  IntervalDecoder probe;
  if (!LASitemCoderFactory::standard().make_reader(known.items[0], &probe, 0)) {
    EXPECT_FALSE(reader.read(p.point_items.data()));
    EXPECT_EQ(text(reader.error()), "no compressed reader for item POINT10 of version 2");
  }
  LASpointRecordWriter writer;
  EXPECT_TRUE(writer.setup(known.num_items, known.items.data(), &known));

  LAScompressorSetup unknown = known;
  unknown.items[0].version = 7;
  LASpointRecordReader r2;
  EXPECT_FALSE(r2.setup(unknown.num_items, unknown.items.data(), &unknown));
  LASpointRecordWriter w2;
  EXPECT_FALSE(w2.setup(unknown.num_items, unknown.items.data(), &unknown));
  // A coder other than 0 and a list that is not the record's are refused.
  LAScompressorSetup coder = known;
  coder.coder = 1;
  EXPECT_FALSE(r2.setup(coder.num_items, coder.items.data(), &coder));
  EXPECT_FALSE(r2.setup(2, known.items.data(), &known));
}

namespace {
// Opens the layer helpers of the compressed readers to the test.
struct LayerHelpers : LASreadItemCompressed {
  using LASreadItemCompressed::bytes_available;
  using LASreadItemCompressed::skip_bytes;
};
}  // namespace

// Layer byte counts are summed in 64 bits and checked against what the
// stream still holds; layers that were not requested are skipped by reading
// where the stream cannot seek, and a skip past the end fails.
TEST(LASpointRecord, LayerByteChecks) {
  const Bytes ten(10, 1);
  ByteStreamInArrayLE in(ten.data(), 10);
  ASSERT_TRUE(in.seek_to(2));
  struct Case {
    uint64_t bytes;
    bool available;
  };
  const Case cases[] = {
      {0, true}, {8, true}, {9, false}, {3ull * 0xFFFFFFFFu, false}, {uint64_t{1} << 32, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(LayerHelpers::bytes_available(&in, c.bytes), c.available) << c.bytes;
  }
  EXPECT_EQ(in.position(), 2) << "asking moves nothing";
  EXPECT_FALSE(LayerHelpers::skip_bytes(&in, 9));
  EXPECT_TRUE(LayerHelpers::skip_bytes(&in, 8));
  EXPECT_EQ(in.position(), 10);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], ten.data(), 10), 10);
  close(fds[1]);
  File read_end(fdopen(fds[0], "rb"));
  ByteStreamInFileLE pipe_in(read_end.get());
  EXPECT_TRUE(LayerHelpers::bytes_available(&pipe_in, 1000)) << "a pipe cannot tell";
  EXPECT_TRUE(LayerHelpers::skip_bytes(&pipe_in, 4));
  EXPECT_EQ(pipe_in.position(), 4);
  EXPECT_FALSE(LayerHelpers::skip_bytes(&pipe_in, 7));
}
