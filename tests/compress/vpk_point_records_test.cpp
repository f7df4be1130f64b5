// Legacy point records compressed by the point-record writer with the item
// coders of versions 1 and 2 and read back by the point-record reader: chunk
// tables, adaptive chunks, streams that cannot seek, seeking and corrupt
// chunks.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"
#include "item_chunk_driver.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"

namespace {

// Records of one legacy format with the set-up record that compresses them.
struct Records {
  uint8_t format = 0;
  uint16_t extra = 0;
  uint32_t size = 0;
  size_t count = 0;
  std::vector<uint8_t> bytes;
  LAScompressorSetup setup;

  const uint8_t* record(size_t i) const { return bytes.data() + i * size; }
};

Records make_records(const std::vector<FixturePoint>& points, uint8_t format, uint16_t extra,
                     uint16_t version, uint32_t chunk_size) {
  Records r;
  r.format = format;
  r.extra = extra;
  r.bytes = encode_fixture_points(points, format, extra);
  r.size = fixture_standard_record_length(format) + extra;
  r.count = points.size();
  uint16_t n = 0;
  std::vector<LASitem> items;
  EXPECT_TRUE(r.setup.setup_from_point_type(format, static_cast<uint16_t>(r.size), &n, &items));
  EXPECT_TRUE(r.setup.setup(n, items.data(), LAScompressorKind::sequential_chunked));
  EXPECT_TRUE(r.setup.choose_version(version));
  EXPECT_TRUE(r.setup.change_chunk_size(chunk_size));
  return r;
}

const Scene& scene() {
  static const Scene s = [] {
    SceneParams params;
    params.preset = ScenePreset::kForest;
    params.size = 50.0;
    params.density = 2.0;
    params.seed = 11;
    return make_scene(params);
  }();
  return s;
}

std::vector<FixturePoint> scene_points(uint8_t format, uint16_t extra) {
  SceneLasOptions options;
  options.point_data_format = format;
  options.truth_classes = true;
  std::vector<FixturePoint> points = scene_fixture_points(scene(), options);
  uint64_t offset = 0;
  for (size_t i = 0; i < points.size(); i++) {
    FixturePoint& p = points[i];
    p.wavepacket[0] = 1;
    for (int b = 0; b < 8; b++) p.wavepacket[1 + b] = static_cast<uint8_t>(offset >> (8 * b));
    p.wavepacket[9] = 48;
    offset += 48;
    p.extra_bytes.assign(extra, static_cast<uint8_t>(i / 10));
  }
  return points;
}

// Item pointers into one record buffer.
struct ItemPointers {
  ItemPointers(const LAScompressorSetup& setup, uint32_t size) : record(size) {
    uint32_t at = 0;
    for (const LASitem& item : setup.items) {
      pointers.push_back(record.data() + at);
      at += item.size;
    }
  }
  std::vector<uint8_t> record;
  std::vector<uint8_t*> pointers;
};

// Writes every record; chunk_at (adaptive chunking) closes a chunk before
// each listed point index.
bool write_all(const Records& r, ByteStreamOut* out, const std::vector<size_t>& chunk_at = {}) {
  LASpointRecordWriter writer;
  if (!writer.setup(r.setup.num_items, r.setup.items.data(), &r.setup)) return false;
  if (!writer.init(out)) return false;
  ItemPointers p(r.setup, r.size);
  size_t next_cut = 0;
  for (size_t i = 0; i < r.count; i++) {
    if (next_cut < chunk_at.size() && chunk_at[next_cut] == i) {
      if (!writer.chunk()) return false;
      next_cut++;
    }
    std::memcpy(p.record.data(), r.record(i), r.size);
    if (!writer.write(p.pointers.data())) return false;
  }
  return writer.done();
}

std::vector<uint8_t> compress(const Records& r, const std::vector<size_t>& chunk_at = {}) {
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(write_all(r, &out, chunk_at));
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

// Reads every record and compares; the number of points read equal.
void expect_reads_back(const Records& r, ByteStreamIn* in) {
  LASpointRecordReader reader;
  ASSERT_TRUE(reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
  ASSERT_TRUE(reader.init(in));
  ItemPointers p(r.setup, r.size);
  for (size_t i = 0; i < r.count; i++) {
    ASSERT_TRUE(reader.read(p.pointers.data()))
        << "point " << i << ": " << (reader.error() ? reader.error() : "");
    if (std::memcmp(p.record.data(), r.record(i), r.size) != 0) {
      FAIL() << "point " << i << ": "
             << fixture_point_difference(fixture_decode_point(r.record(i), r.format, r.size),
                                         fixture_decode_point(p.record.data(), r.format, r.size));
    }
  }
  EXPECT_TRUE(reader.check_end()) << (reader.error() ? reader.error() : "");
}

struct Case {
  uint8_t format;
  uint16_t extra;
  uint16_t version;
  uint32_t chunk_size;
};

TEST(VpkPointRecords, EveryLegacyFormatAndVersion) {
  std::vector<Case> cases;
  for (uint8_t format = 0; format <= 5; format++) {
    for (uint16_t version = 1; version <= 2; version++) {
      cases.push_back({format, 0, version, 50000});
      cases.push_back({format, 5, version, 777});
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " extra " + std::to_string(c.extra) +
                 " version " + std::to_string(c.version) + " chunk " +
                 std::to_string(c.chunk_size));
    const Records r =
        make_records(scene_points(c.format, c.extra), c.format, c.extra, c.version, c.chunk_size);
    const std::vector<uint8_t> bytes = compress(r);
    EXPECT_LT(bytes.size(), r.bytes.size() / 2);
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    expect_reads_back(r, &in);
  }
}

TEST(VpkPointRecords, RandomPointsWithAdaptiveChunks) {
  for (uint16_t version = 1; version <= 2; version++) {
    SCOPED_TRACE(version);
    const Records r = make_records(fixture_random_points(21, 1000, 5, 3), 5, 3, version,
                                   LAScompressorSetup::kAdaptiveChunkSize);
    const std::vector<uint8_t> bytes = compress(r, {1, 2, 10, 11, 500, 999});
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    expect_reads_back(r, &in);
  }
}

// A pipe: the writer's stream cannot seek back, so it writes -1 as the table
// pointer and the table's position as the last 8 bytes.
std::vector<uint8_t> compress_through_pipe(const Records& r) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  FILE* write_end = fdopen(fds[1], "wb");
  FILE* read_end = fdopen(fds[0], "rb");
  bool written = false;
  std::thread writer([&] {
    ByteStreamOutFileLE out(write_end);
    written = write_all(r, &out);
    std::fclose(write_end);
  });
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), read_end)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  writer.join();
  std::fclose(read_end);
  EXPECT_TRUE(written);
  return bytes;
}

TEST(VpkPointRecords, WrittenToAPipeAndReadBack) {
  for (uint16_t version = 1; version <= 2; version++) {
    SCOPED_TRACE(version);
    const Records r = make_records(scene_points(3, 2), 3, 2, version, 1000);
    const std::vector<uint8_t> bytes = compress_through_pipe(r);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(fixture_get_u64(bytes, 0), 0xFFFFFFFFFFFFFFFFull);
    const uint64_t table = fixture_get_u64(bytes, bytes.size() - 8);
    EXPECT_EQ(fixture_get_u32(bytes, table), 0u);  // table version
    EXPECT_EQ(fixture_get_u32(bytes, table + 4), (r.count + 999) / 1000);
    // From memory, where the table is found through the last 8 bytes.
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    expect_reads_back(r, &in);
  }
}

TEST(VpkPointRecords, ReadFromAPipe) {
  // The reader's stream cannot seek either: it reads the chunks one after the
  // other without the table.
  const Records r = make_records(scene_points(1, 0), 1, 0, 2, 1000);
  const std::vector<uint8_t> bytes = compress(r);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* write_end = fdopen(fds[1], "wb");
  FILE* read_end = fdopen(fds[0], "rb");
  std::thread feeder([&] {
    std::fwrite(bytes.data(), 1, bytes.size(), write_end);
    std::fclose(write_end);
  });
  {
    ByteStreamInFileLE in(read_end);
    ASSERT_FALSE(in.can_seek());
    expect_reads_back(r, &in);
  }
  // Drain what is left (the table) so the feeder can finish.
  uint8_t buffer[4096];
  while (std::fread(buffer, 1, sizeof(buffer), read_end) > 0) {
  }
  feeder.join();
  std::fclose(read_end);
}

TEST(VpkPointRecords, SeekingGivesThePointReadingGives) {
  for (uint16_t version = 1; version <= 2; version++) {
    SCOPED_TRACE(version);
    const Records r = make_records(scene_points(5, 1), 5, 1, version, 500);
    const std::vector<uint8_t> bytes = compress(r);
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader reader;
    ASSERT_TRUE(reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
    ASSERT_TRUE(reader.init(&in));
    ItemPointers p(r.setup, r.size);
    // Forwards and backwards, inside a chunk, onto chunk starts and ends.
    const int64_t last = static_cast<int64_t>(r.count) - 1;
    const int64_t targets[] = {0, 5, 4, 499, 500, 501, 1700, 20, last, 1000, 999, last / 2, 0};
    int64_t current = 0;
    for (int64_t target : targets) {
      SCOPED_TRACE(target);
      ASSERT_TRUE(reader.seek(current, target));
      ASSERT_TRUE(reader.read(p.pointers.data()));
      EXPECT_EQ(0, std::memcmp(p.record.data(), r.record(static_cast<size_t>(target)), r.size));
      current = target + 1;
    }
  }
}

TEST(VpkPointRecords, SeekingToEveryPoint) {
  // Every index in a scrambled order, including jumps back into the current
  // chunk and to chunk starts, against the points as they were written.
  for (uint16_t version = 1; version <= 2; version++) {
    SCOPED_TRACE(version);
    const size_t n = 222;
    const Records r = make_records(fixture_random_points(31, n, 3, 1), 3, 1, version, 37);
    const std::vector<uint8_t> bytes = compress(r);
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader reader;
    ASSERT_TRUE(reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
    ASSERT_TRUE(reader.init(&in));
    ItemPointers p(r.setup, r.size);
    int64_t current = 0;
    for (size_t k = 0; k < n; k++) {
      const int64_t target = static_cast<int64_t>((k * 89) % n);  // 89 is prime to n
      ASSERT_TRUE(reader.seek(current, target)) << target;
      ASSERT_TRUE(reader.read(p.pointers.data())) << target;
      ASSERT_EQ(0, std::memcmp(p.record.data(), r.record(static_cast<size_t>(target)), r.size))
          << target;
      current = target + 1;
    }
  }
}

TEST(VpkPointRecords, CorruptChunkIsSkipped) {
  for (uint16_t version = 1; version <= 2; version++) {
    SCOPED_TRACE(version);
    // Three chunks, the last one shorter.
    const std::vector<FixturePoint> points = scene_points(3, 0);
    const uint32_t chunk = static_cast<uint32_t>(points.size() / 3 + 1);
    const Records r = make_records(points, 3, 0, version, chunk);
    ASSERT_GT(r.count, 2 * chunk);
    std::vector<uint8_t> bytes = compress(r);
    // Find chunk 1 through the table: it starts after chunk 0's byte count.
    ByteStreamInArrayLE probe(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader table_reader;
    ASSERT_TRUE(table_reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
    ASSERT_TRUE(table_reader.init(&probe));
    ItemPointers p(r.setup, r.size);
    ASSERT_TRUE(table_reader.read(p.pointers.data()));
    const int64_t start1 = table_reader.get_chunk_start(1);
    const int64_t start2 = table_reader.get_chunk_start(2);
    // Garble a few bytes near the end of chunk 1: its last points decode
    // wrong and its decoder stops off the next chunk's start. (Garbage that
    // runs the decoder into the end of the data reads as a truncated file.)
    ASSERT_GT(start2 - start1, 200);
    for (int64_t at = start2 - 60; at < start2 - 30; at += 3) {
      bytes[static_cast<size_t>(at)] ^= 0x6B;
    }

    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader reader;
    ASSERT_TRUE(reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
    ASSERT_TRUE(reader.init(&in));
    for (size_t i = 0; i < chunk; i++) {
      ASSERT_TRUE(reader.read(p.pointers.data()));
      ASSERT_EQ(0, std::memcmp(p.record.data(), r.record(i), r.size)) << i;
    }
    // Somewhere in chunk 1 (or at its end) a read fails with the message.
    size_t failed_at = 0;
    for (size_t i = chunk; i <= 2 * chunk; i++) {
      if (!reader.read(p.pointers.data())) {
        failed_at = i;
        break;
      }
    }
    ASSERT_NE(failed_at, 0u);
    ASSERT_NE(reader.error(), nullptr);
    // The table knows four chunk starts: the three chunks and the end of the
    // last one.
    EXPECT_STREQ(reader.error(), "chunk with index 1 of 4 is corrupt");
    // Reading goes on with the first point of chunk 2.
    for (size_t i = 2 * chunk; i < r.count; i++) {
      ASSERT_TRUE(reader.read(p.pointers.data())) << i;
      ASSERT_EQ(0, std::memcmp(p.record.data(), r.record(i), r.size)) << i;
    }
  }
}

TEST(VpkPointRecords, CorruptChunkThatRunsToTheEndIsSkipped) {
  // Garbage in the middle of chunk 1 makes its decoder read on through
  // chunk 2 and the table to the end of the data. The table says chunk 1
  // ends where chunk 2 begins, so this is a corrupt chunk, not a short file:
  // reading goes on with chunk 2.
  const std::vector<FixturePoint> points = scene_points(3, 0);
  const uint32_t chunk = static_cast<uint32_t>(points.size() / 3 + 1);
  const Records r = make_records(points, 3, 0, 1, chunk);
  std::vector<uint8_t> bytes = compress(r);
  ByteStreamInArrayLE probe(bytes.data(), static_cast<int64_t>(bytes.size()));
  LASpointRecordReader table_reader;
  ASSERT_TRUE(table_reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
  ASSERT_TRUE(table_reader.init(&probe));
  ItemPointers p(r.setup, r.size);
  ASSERT_TRUE(table_reader.read(p.pointers.data()));
  const int64_t start1 = table_reader.get_chunk_start(1);
  const int64_t start2 = table_reader.get_chunk_start(2);
  for (int64_t at = start1 + r.size + 40; at < start2 - 40; at += 3) {
    bytes[static_cast<size_t>(at)] ^= 0x6B;
  }
  ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
  LASpointRecordReader reader;
  ASSERT_TRUE(reader.setup(r.setup.num_items, r.setup.items.data(), &r.setup));
  ASSERT_TRUE(reader.init(&in));
  size_t failed_at = 0;
  for (size_t i = 0; i <= 2 * chunk; i++) {
    if (!reader.read(p.pointers.data())) {
      failed_at = i;
      break;
    }
  }
  ASSERT_GE(failed_at, chunk);
  ASSERT_NE(reader.error(), nullptr);
  EXPECT_STREQ(reader.error(), "chunk with index 1 of 4 is corrupt");
  for (size_t i = 2 * chunk; i < r.count; i++) {
    ASSERT_TRUE(reader.read(p.pointers.data())) << i;
    ASSERT_EQ(0, std::memcmp(p.record.data(), r.record(i), r.size)) << i;
  }
}

}  // namespace
