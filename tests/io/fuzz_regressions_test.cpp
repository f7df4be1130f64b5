// Inputs the fuzz targets once stopped on, replayed through the same harness
// (every file under tests/data/fuzz_regressions/<target>/), and the faults
// they showed pinned by name.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_write_item.hpp"
#include "core/las_writer_las.hpp"
#include "fuzz_harness.hpp"
#include "fuzz_lay.hpp"
#include "fuzz_side_formats.hpp"
#include "fuzz_text_formats.hpp"
#include "io/formats/las_reader_ply.hpp"
#include "las_fixture.hpp"
#include "platform/memory_stream.hpp"
#include "point_reading.hpp"
#include "temp_dir.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kRegressions = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/";

// The points the reader has left, copied through the LAS writer into memory;
// empty when the writer refuses them or does not report the copy written.
Bytes copy_rest(LASreaderLAS& reader, uint16_t compressor = LAScompressorKind::raw, int version = 0,
                int32_t chunk_size = -1) {
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  if (!writer.open_stream(&out, &reader.header, compressor, version, chunk_size)) return {};
  while (reader.read_point()) {
    if (!writer.write_one_point(&reader.point)) return {};
  }
  if (writer.close_output(true) <= 0) return {};
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

// A raw file read by the independent fixture reader: every point compared
// with the expected one field by field; its header for further checks.
FixtureHeader expect_fixture_points(const Bytes& file, const std::vector<FixturePoint>& points) {
  FixtureContents contents;
  std::string error;
  EXPECT_TRUE(fixture_read_bytes(file, &contents, &error)) << error;
  EXPECT_EQ(contents.points.size(), points.size());
  for (size_t i = 0; i < points.size() && i < contents.points.size(); i++) {
    EXPECT_EQ(fixture_point_difference(contents.points[i], points[i]), "") << i;
  }
  return contents.header;
}

// The args inputs name files of their working directory: a fresh one, left
// again at the end of the scope.
class ArgsDirectory {
 public:
  ArgsDirectory() {
    char buffer[4096];
    if (!dir.path.empty() && getcwd(buffer, sizeof(buffer)) && chdir(dir.path.c_str()) == 0) {
      here = buffer;
      ready = fuzz_args_prepare_directory();
    }
  }
  ~ArgsDirectory() {
    if (!here.empty() && chdir(here.c_str()) != 0) std::perror(here.c_str());
  }
  bool ready = false;

 private:
  TempDir dir;
  std::string here;
};

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(dir + "/" + e->d_name);
    }
    closedir(d);
  }
  return names;
}

// The LAY target's two readings of the same bytes.
void fuzz_lay_both(const uint8_t* data, size_t size) {
  fuzz_lay_one(data, size);
  fuzz_lay_header_to_extend(data, size);
}

struct Target {
  const char* folder;
  void (*run)(const uint8_t*, size_t);
};

}  // namespace

TEST(FuzzRegressions, EveryKeptInputComesBack) {
  const Target targets[] = {
      {"las_reader", fuzz_las_reader_one},
      {"lax", fuzz_lax_one},
      {"args", fuzz_args_one},
      {"vpk_writer", fuzz_vpk_writer_one},
      {"text_reader", fuzz_text_reader_one},
      {"ply_reader", fuzz_ply_reader_one},
      {"side_reader", fuzz_side_reader_one},
      {"lay", fuzz_lay_both},
  };
  ArgsDirectory directory;
  ASSERT_TRUE(directory.ready);
  int replayed = 0;
  for (const Target& target : targets) {
    for (const std::string& name : files_in(kRegressions + target.folder)) {
      SCOPED_TRACE(name);
      const Bytes bytes = fuzz_file_bytes(name);
      target.run(bytes.data(), bytes.size());
      replayed++;
    }
  }
  EXPECT_GE(replayed, 2);
}

// A compressed file cut inside a chunk: the decoder stops inside a symbol.
// Reading on fails, a seek forward inside the same chunk fails rather than
// decode from the broken state, and a seek back starts the chunk afresh.
TEST(FuzzRegressions, SeekAfterEndOfDataInsideAChunk) {
  FixtureFile file;
  file.point_data_format = 1;
  const std::vector<FixturePoint> points = fixture_random_points(3, 40, 1);
  const Bytes vpk = fuzz_compressed_copy(fixture_write_bytes(file, points),
                                         LAScompressorKind::sequential_chunked, 2, 30);
  ASSERT_FALSE(vpk.empty());
  // Cut in the middle of the first chunk's compressed points.
  const Bytes cut(vpk.begin(), vpk.begin() + static_cast<long>(vpk.size() * 2 / 3));
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(cut.data(), static_cast<int64_t>(cut.size()))));
  int64_t read = 0;
  while (reader.read_point()) read++;
  EXPECT_LT(read, 30);
  EXPECT_FALSE(reader.seek_point(read + 3));
  ASSERT_TRUE(reader.seek_point(1));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, points[1].X);
  EXPECT_EQ(reader.point.gps_time, points[1].gps_time);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("end-of-file during chunk with index 0"), std::string::npos) << messages;
}

// A chunk of format 10 whose wave packets never change stores no wave packet
// layer. A seek into it, after reading points of another chunk, still delivers
// the chunk's packet, not the one the reader's point held before the seek.
TEST(FuzzRegressions, SeekIntoAChunkOfUnchangedWavePackets) {
  FixtureFile file;
  file.version_minor = 4;
  file.point_data_format = 10;
  std::vector<FixturePoint> points = fixture_random_points(5, 12, 10);
  for (size_t i = 0; i < points.size(); i++) {
    points[i].wavepacket.fill(i < 6 ? 0xFF : static_cast<uint8_t>(i * 17));
  }
  const Bytes vpk = fuzz_compressed_copy(fixture_write_bytes(file, points),
                                         LAScompressorKind::multistream_chunked, 2, 6);
  ASSERT_FALSE(vpk.empty());
  for (const bool requested : {true, false}) {
    SCOPED_TRACE(requested ? "wave packets asked for" : "wave packets not decoded");
    LASreaderLAS reader;
    const uint32_t selective = requested ? LASreaderLAS::kDecompressAll : ~(1u << 10);
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size())), false, selective));
    for (int i = 0; i < 12; i++) ASSERT_TRUE(reader.read_point());
    for (const int64_t target : {3, 5, 1}) {
      ASSERT_TRUE(reader.seek_point(target));
      ASSERT_TRUE(reader.read_point());
      EXPECT_EQ(fixture_point_of(reader.point, 10).wavepacket, points[0].wavepacket) << target;
    }
  }
}

// A header whose record length is below the format's size: records that
// short cannot hold the format's fields, so a raw file is refused (read at the
// format's size, every point after the first would be made of two records).
// A compressed file's records are as long as its items, and the header of the
// reader says so, so a copy of the header describes the records written with it.
TEST(FuzzRegressions, HeaderRecordLengthIsTheLengthRead) {
  struct Row {
    uint16_t compressor;
    uint16_t stored_length;
    const char* refusal;  // null: opened
  };
  const Row rows[] = {
      {LAScompressorKind::raw, 0, "ERROR: point size 0 too small by 20 bytes for point type 0\n"},
      {LAScompressorKind::raw, 19, "ERROR: point size 19 too small by 1 bytes for point type 0\n"},
      {LAScompressorKind::sequential_chunked, 0, nullptr}};
  FixtureFile file;
  file.point_data_format = 0;
  const std::vector<FixturePoint> points = fixture_random_points(4, 12, 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored_length);
    Bytes bytes = fixture_write_bytes(file, points);
    if (row.compressor != LAScompressorKind::raw) {
      bytes = fuzz_compressed_copy(bytes, row.compressor, 2, 5);
      ASSERT_FALSE(bytes.empty());
    }
    fixture_put_u16(bytes, 105, row.stored_length);
    LASreaderLAS reader;
    testing::internal::CaptureStderr();
    const bool opened = reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())));
    const std::string messages = testing::internal::GetCapturedStderr();
    if (row.refusal) {
      EXPECT_FALSE(opened);
      EXPECT_EQ(messages, row.refusal);
      continue;
    }
    ASSERT_TRUE(opened);
    EXPECT_EQ(reader.header.point_data_record_length, 20);
    const Bytes copy = copy_rest(reader);
    ASSERT_FALSE(copy.empty());
    expect_fixture_points(copy, points);
  }
}

// A header of an unknown version is read with the oldest layout, the rest of
// its header block kept as user data, and written as LAS 1.4: the header size
// and point offset written count the 1.4 fields, so the copy reads back.
TEST(FuzzRegressions, CopyOfAnUnknownVersionReadsBack) {
  FixtureFile file;
  file.version_minor = 4;
  file.point_data_format = 1;
  const std::vector<FixturePoint> points = fixture_random_points(6, 10, 1);
  Bytes bytes = fixture_write_bytes(file, points);
  fixture_put_u8(bytes, 24, 2);  // version 2.4
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  const Bytes copy = copy_rest(reader);
  testing::internal::GetCapturedStderr();
  ASSERT_FALSE(copy.empty());
  const FixtureHeader header = expect_fixture_points(copy, points);
  EXPECT_EQ(header.version_minor, 4);
  EXPECT_EQ(header.header_size, 375 + 375 - 227);
}

// A compressed file whose format byte names no point format once the
// compression bit is taken off is refused with a message, not read into a
// header that no copy could be read back from.
TEST(FuzzRegressions, CompressedFormatBeyondTheKnownOnesIsRefused) {
  FixtureFile file;
  file.point_data_format = 1;
  Bytes vpk = fuzz_compressed_copy(fixture_write_bytes(file, fixture_random_points(7, 10, 1)),
                                   LAScompressorKind::sequential_chunked, 2, 4);
  ASSERT_FALSE(vpk.empty());
  for (uint8_t format : {uint8_t{0x80 | 11}, uint8_t{0x80 | 63}, uint8_t{126}}) {
    SCOPED_TRACE(format);
    fixture_put_u8(vpk, 104, format);
    LASreaderLAS reader;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("ERROR: unknown point type"), std::string::npos) << messages;
  }
}

// A compressed file whose set-up says layered chunks but whose items have
// whole-point coders: those coders share a decoder that the chunk starts
// without reading a value. A seek back restarts the chunk, and its points
// must come back as the first reading gave them, not depend on the value the
// decoder held from the chunk decoded before.
TEST(FuzzRegressions, LayeredSetUpWithPointCodersRereadsTheSame) {
  FixtureFile file;
  file.version_minor = 3;
  file.point_data_format = 5;
  const std::vector<FixturePoint> points = fixture_random_points(9, 12, 5);
  Bytes vpk = fuzz_compressed_copy(fixture_write_bytes(file, points),
                                   LAScompressorKind::sequential_chunked, 2, 5);
  ASSERT_FALSE(vpk.empty());
  // The compressor is the first field after the VLR's 54-byte header, whose
  // user id begins 2 bytes in.
  const std::string id = LAScompressorSetup::kUserId;
  const auto at = std::search(vpk.begin(), vpk.end(), id.begin(), id.end());
  ASSERT_NE(at, vpk.end());
  const size_t compressor_at = static_cast<size_t>(at - vpk.begin()) - 2 + 54;
  ASSERT_EQ(fixture_get_u16(vpk, compressor_at), LAScompressorKind::sequential_chunked);
  fixture_put_u16(vpk, compressor_at, LAScompressorKind::multistream_chunked);

  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
  // Every item's bytes, as decoded.
  const auto items_of = [&reader]() {
    std::vector<uint8_t> bytes;
    for (uint16_t i = 0; i < reader.point.num_items; i++) {
      const uint8_t* item = reader.point.point_items[i];
      bytes.insert(bytes.end(), item, item + reader.point.items[i].size);
    }
    return bytes;
  };
  std::vector<std::vector<uint8_t>> first;
  while (reader.read_point()) first.push_back(items_of());
  ASSERT_GE(first.size(), 2u);
  ASSERT_TRUE(reader.seek_point(0));
  for (size_t i = 0; i < first.size(); i++) {
    ASSERT_TRUE(reader.read_point()) << i;
    EXPECT_EQ(items_of(), first[i]) << i;
  }
  testing::internal::GetCapturedStderr();
}

namespace {

// The record of the reader's current point as a raw writer stores it: every
// field, and nothing of the coders' own scratch in the point. Items in the
// order of their types, so that records of the same items in another order
// compare equal.
Bytes item_bytes(const LASpoint& point) {
  std::vector<uint16_t> order(point.num_items);
  for (uint16_t i = 0; i < point.num_items; i++) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&point](uint16_t a, uint16_t b) {
    return point.items[a].type < point.items[b].type;
  });
  Bytes bytes;
  for (uint16_t i : order) {
    const uint8_t* item = point.point_items[i];
    if (point.items[i].type == LASitem::POINT14) {
      uint8_t record[30];
      LASwriteItemRaw_POINT14_LE::point_to_record(item, record);
      bytes.insert(bytes.end(), record, record + sizeof(record));
    } else {
      bytes.insert(bytes.end(), item, item + point.items[i].size);
    }
  }
  return bytes;
}

// The item bytes of every point a clean reading of the file delivers.
std::vector<Bytes> all_points(const Bytes& file) {
  LASreaderLAS reader;
  std::vector<Bytes> points;
  if (!reader.open_stream(
          new ByteStreamInArrayLE(file.data(), static_cast<int64_t>(file.size())))) {
    return points;
  }
  while (reader.read_point()) points.push_back(item_bytes(reader.point));
  return points;
}

Bytes compressed_fixture(uint8_t format, uint8_t minor, size_t count, uint16_t compressor,
                         int version, int32_t chunk_size) {
  FixtureFile file;
  file.version_minor = minor;
  file.point_data_format = format;
  return fuzz_compressed_copy(
      fixture_write_bytes(file, fixture_random_points(format * 7 + count, count, format)),
      compressor, version, chunk_size);
}

// Where the compressor record's payload starts (its VLR header is 54 bytes,
// the user id begins 2 bytes in).
size_t compressor_payload_at(const Bytes& vpk) {
  const std::string id = LAScompressorSetup::kUserId;
  const auto at = std::search(vpk.begin(), vpk.end(), id.begin(), id.end());
  return at == vpk.end() ? 0 : static_cast<size_t>(at - vpk.begin()) - 2 + 54;
}

std::string open_messages(const Bytes& bytes, bool* opened) {
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  *opened =
      reader.open_stream(new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())));
  return testing::internal::GetCapturedStderr();
}

Bytes kept_input(const char* name) {
  return fuzz_file_bytes(kRegressions + "las_reader/" + name);
}

// A memory stream whose seeks can be refused, like a file on a failing disk.
class RefusingStream : public ByteStreamInArrayLE {
 public:
  RefusingStream(const uint8_t* data, int64_t size) : ByteStreamInArrayLE(data, size) {}
  bool seek_to(int64_t offset) override { return !refuse && ByteStreamInArrayLE::seek_to(offset); }
  bool refuse = false;
};

}  // namespace

// The coders of the extended items reach their layers through the framing of
// multistream chunks. A set-up that names them under another compressor gave
// them a decoder that was never started (a member call on a null stream); it
// is refused when the file is opened.
TEST(FuzzRegressions, LayeredItemsOutsideMultistreamChunksAreRefused) {
  for (uint8_t format : {uint8_t{6}, uint8_t{9}}) {
    const Bytes vpk =
        compressed_fixture(format, 4, 12, LAScompressorKind::multistream_chunked, 0, 4);
    ASSERT_FALSE(vpk.empty());
    ASSERT_EQ(all_points(vpk).size(), 12u);
    const size_t at = compressor_payload_at(vpk);
    ASSERT_NE(at, 0u);
    for (uint16_t compressor : {uint16_t{LAScompressorKind::sequential},
                                uint16_t{LAScompressorKind::sequential_chunked}}) {
      SCOPED_TRACE(std::to_string(format) + " under compressor " + std::to_string(compressor));
      Bytes changed = vpk;
      fixture_put_u16(changed, at, compressor);
      bool opened = true;
      const std::string messages = open_messages(changed, &opened);
      EXPECT_FALSE(opened);
      EXPECT_NE(messages.find("ERROR: point type " + std::to_string(format)), std::string::npos)
          << messages;
    }
  }
  bool opened = true;
  open_messages(kept_input("layered_items_in_sequential_chunks.vpk"), &opened);
  EXPECT_FALSE(opened);
}

// A seek to a chunk whose start the stream cannot reach used to leave the
// readers of the chunk before in use over a finished decoder: the next seek
// into the same chunk read through a null stream. A failed seek now leaves
// the reader lost until a seek succeeds, and then it delivers the right point.
TEST(FuzzRegressions, FailedSeekLeavesNoChunkHalfStarted) {
  const Bytes vpk = compressed_fixture(1, 2, 12, LAScompressorKind::sequential_chunked, 2, 4);
  ASSERT_FALSE(vpk.empty());
  const std::vector<Bytes> expected = all_points(vpk);
  ASSERT_EQ(expected.size(), 12u);
  LASreaderLAS reader;
  auto* stream = new RefusingStream(vpk.data(), static_cast<int64_t>(vpk.size()));
  ASSERT_TRUE(reader.open_stream(stream));
  ASSERT_TRUE(reader.read_point());
  ASSERT_TRUE(reader.read_point());
  stream->refuse = true;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.seek_point(5));
  EXPECT_FALSE(reader.seek_point(6));  // the same chunk as the failed seek
  EXPECT_FALSE(reader.read_point());
  testing::internal::GetCapturedStderr();
  stream->refuse = false;
  for (int64_t target : {6, 1, 11, 4}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(reader.seek_point(target));
    ASSERT_TRUE(reader.read_point());
    EXPECT_EQ(item_bytes(reader.point), expected[static_cast<size_t>(target)]);
  }
  // The kept input: the table sends the second chunk beyond the data.
  const Bytes kept = kept_input("seek_to_a_chunk_that_cannot_be_reached.vpk");
  fuzz_las_reader_one(kept.data(), kept.size());
}

// After a read fails inside a corrupt chunk the stream stands at the next
// chunk, not at the point after the last one delivered. A seek forward inside
// the corrupt chunk used to count from there and delivered the next chunk's
// points in place of the ones asked for; now it decodes the chunk afresh, so
// it meets the damage again and fails, while points before the damage and in
// the other chunks come back as they were read.
TEST(FuzzRegressions, SeekAfterACorruptChunkDeliversNoPointOfAnother) {
  const Bytes vpk = compressed_fixture(1, 2, 30, LAScompressorKind::sequential_chunked, 2, 10);
  ASSERT_FALSE(vpk.empty());
  const std::vector<Bytes> expected = all_points(vpk);
  ASSERT_EQ(expected.size(), 30u);
  // The first chunk's coded points follow the table pointer and the raw first
  // point (28 bytes); damage one byte there after another until a reading
  // stops inside the first chunk with the chunk reported corrupt.
  const size_t first = fixture_get_u32(vpk, 96) + 8 + 28;
  int damages = 0;
  for (size_t at = first + 4; at < first + 60 && damages < 4; at++) {
    Bytes damaged = vpk;
    damaged[at] ^= 0x5A;
    LASreaderLAS reader;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(damaged.data(), static_cast<int64_t>(damaged.size()))));
    // The points delivered by their index; reading goes on after a corrupt
    // chunk, so `read` is where the first gap begins.
    std::vector<Bytes> delivered(expected.size());
    int64_t read = -1;
    int64_t next = 0;
    while (reader.read_point()) {
      const int64_t index = reader.p_count - 1;
      if (index != next && read < 0) read = next;
      delivered[static_cast<size_t>(index)] = item_bytes(reader.point);
      next = index + 1;
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    if (read < 2 || read >= 9 || messages.find("is corrupt") == std::string::npos) continue;
    damages++;
    SCOPED_TRACE("damage at " + std::to_string(at) + ", read " + std::to_string(read));
    testing::internal::CaptureStderr();
    for (int64_t target = read + 1; target < 10; target++) {
      EXPECT_FALSE(reader.seek_point(target) && reader.read_point()) << target;
    }
    for (int64_t target : {int64_t{0}, read - 1, int64_t{10}, int64_t{25}}) {
      ASSERT_TRUE(reader.seek_point(target)) << target;
      ASSERT_TRUE(reader.read_point()) << target;
      const size_t t = static_cast<size_t>(target);
      EXPECT_EQ(item_bytes(reader.point), target < read ? delivered[t] : expected[t]) << target;
    }
    testing::internal::GetCapturedStderr();
  }
  EXPECT_GT(damages, 0);
}

// Every point after a layered chunk's first decodes its change mask from the
// first layer of POINT14, which a writer never leaves empty. A chunk that
// says it is empty was decoded with a decoder that was never started for it
// (on a second try: divided by a zero interval); it is corrupt, and the
// chunks around it read as written.
TEST(FuzzRegressions, LayeredChunkWithoutChangeMaskBytesIsCorrupt) {
  Bytes vpk = compressed_fixture(6, 4, 15, LAScompressorKind::multistream_chunked, 0, 5);
  ASSERT_FALSE(vpk.empty());
  const std::vector<Bytes> expected = all_points(vpk);
  ASSERT_EQ(expected.size(), 15u);
  // A chunk: the raw point (30 bytes), the point count, 9 layer counts and
  // the layers' bytes.
  const size_t chunk0 = fixture_get_u32(vpk, 96) + 8;
  size_t chunk1 = chunk0 + 30 + 4 + 36;
  for (int layer = 0; layer < 9; layer++) chunk1 += fixture_get_u32(vpk, chunk0 + 34 + 4 * layer);
  ASSERT_EQ(fixture_get_u32(vpk, chunk1 + 30), 5u) << "the second chunk's point count";
  ASSERT_GT(fixture_get_u32(vpk, chunk1 + 34), 0u);
  fixture_put_u32(vpk, chunk1 + 34, 0);

  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
  // The chunks before and after the corrupt one come through whole.
  std::vector<int64_t> read;
  while (reader.read_point()) {
    read.push_back(reader.p_count - 1);
    EXPECT_EQ(item_bytes(reader.point), expected[static_cast<size_t>(read.back())]);
  }
  EXPECT_EQ(read, (std::vector<int64_t>{0, 1, 2, 3, 4, 10, 11, 12, 13, 14}));
  for (int attempt = 0; attempt < 2; attempt++) EXPECT_FALSE(reader.seek_point(7));
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("chunk with index 1 of 4 is corrupt"), std::string::npos) << messages;
  for (int64_t target : {12, 0, 4, 10}) {
    ASSERT_TRUE(reader.seek_point(target)) << target;
    ASSERT_TRUE(reader.read_point()) << target;
    EXPECT_EQ(item_bytes(reader.point), expected[static_cast<size_t>(target)]) << target;
  }
  const Bytes kept = kept_input("layered_chunk_without_change_mask_bytes.vpk");
  fuzz_las_reader_one(kept.data(), kept.size());
}

// With a compressor record the points are laid out from the record's items,
// whatever the header's format byte says; a copy is written with the header's
// format. A format byte that names no point format (50) made a copy reported
// written that no reader could open; a byte that names another format than
// the items make (3 over the items of format 1) made a copy that read the
// records with the wrong layout. The first is refused, the second read as the
// format its items make; items that begin with no point are refused.
TEST(FuzzRegressions, CompressorRecordDecidesTheFormat) {
  FixtureFile file;
  file.point_data_format = 1;
  const std::vector<FixturePoint> points = fixture_random_points(31, 14, 1);
  const Bytes vpk = fuzz_compressed_copy(fixture_write_bytes(file, points),
                                         LAScompressorKind::sequential_chunked, 2, 4);
  ASSERT_FALSE(vpk.empty());

  struct Refused {
    const char* name;
    uint8_t format_byte;
    uint16_t first_item_type;
    const char* message;
  };
  const Refused refused[] = {
      {"no point format, compressed bit", 0x80 | 50, LASitem::POINT10,
       "ERROR: unknown point type 50"},
      {"no point format, uncompressed", 50, LASitem::POINT10, "ERROR: unknown point type 50"},
      {"first item no point", 0x81, LASitem::BYTE,
       "ERROR: first LASitem is neither POINT10 nor POINT14"},
  };
  const size_t items_at = compressor_payload_at(vpk) + 34;
  for (const Refused& row : refused) {
    SCOPED_TRACE(row.name);
    Bytes changed = vpk;
    fixture_put_u8(changed, 104, row.format_byte);
    fixture_put_u16(changed, items_at, row.first_item_type);
    bool opened = true;
    const std::string messages = open_messages(changed, &opened);
    EXPECT_FALSE(opened);
    EXPECT_NE(messages.find(row.message), std::string::npos) << messages;
  }
  bool opened = true;
  open_messages(kept_input("compressor_record_under_format_50.las"), &opened);
  EXPECT_FALSE(opened);

  Bytes format3 = vpk;
  fixture_put_u8(format3, 104, 0x80 | 3);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(format3.data(), static_cast<int64_t>(format3.size()))));
  EXPECT_EQ(reader.header.point_data_format, 1);
  for (uint16_t compressor :
       {uint16_t{LAScompressorKind::raw}, uint16_t{LAScompressorKind::sequential_chunked}}) {
    SCOPED_TRACE(compressor);
    ASSERT_TRUE(reader.seek_point(0));
    Bytes copy = copy_rest(reader, compressor, 2, 5);
    if (compressor != LAScompressorKind::raw) {
      copy = fuzz_compressed_copy(copy, LAScompressorKind::raw, 0, 5);
    }
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(expect_fixture_points(copy, points).point_data_format, 1);
  }
}

// Items in an order of no standard format (the extra bytes before the GPS
// time) are read back only through their compressor record: an uncompressed
// copy used to leave the record out, and its records were read back as the
// standard format of the header.
TEST(FuzzRegressions, UncompressedCopyOfANonStandardItemListKeepsItsRecord) {
  FixtureFile file;
  file.point_data_format = 1;
  file.extra_bytes = 4;
  const std::vector<FixturePoint> points = fixture_random_points(37, 9, 1, 4);
  // A raw set-up record listing POINT10, BYTE (4), GPSTIME11.
  Bytes payload(34 + 3 * 6, 0);
  fixture_put_u16(payload, 0, LAScompressorKind::raw);
  fixture_put_u8(payload, 4, 3);
  fixture_put_u8(payload, 5, 4);
  fixture_put_u16(payload, 6, 3);
  fixture_put_u32(payload, 12, LAScompressorSetup::kDefaultChunkSize);
  fixture_put_u64(payload, 16, ~uint64_t{0});
  fixture_put_u64(payload, 24, ~uint64_t{0});
  fixture_put_u16(payload, 32, 3);
  const uint16_t items[3][2] = {
      {LASitem::POINT10, 20}, {LASitem::BYTE, 4}, {LASitem::GPSTIME11, 8}};
  for (size_t i = 0; i < 3; i++) {
    fixture_put_u16(payload, 34 + 6 * i, items[i][0]);
    fixture_put_u16(payload, 36 + 6 * i, items[i][1]);
  }
  FixtureVlr record;
  record.user_id = LAScompressorSetup::kUserId;
  record.record_id = LAScompressorSetup::kRecordId;
  record.data = payload;
  file.vlrs.push_back(record);
  const Bytes las = fixture_write_bytes(file, points);
  const std::vector<Bytes> expected = all_points(las);
  ASSERT_EQ(expected.size(), points.size());

  LASreaderLAS reader;
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(las.data(), static_cast<int64_t>(las.size()))));
  EXPECT_EQ(all_points(copy_rest(reader)), expected);
}

// The writer target's seeds: every point format, coder version 1 to 4,
// sequential, fixed and adaptive chunks, with extra bytes, written and read
// back field by field (the harness traps on the first difference).
TEST(FuzzRegressions, WriterSeedsReadBackWhole) {
  const std::vector<Bytes> seeds = fuzz_vpk_writer_seed_inputs();
  EXPECT_EQ(seeds.size(), 44u);
  testing::internal::CaptureStderr();
  for (const Bytes& seed : seeds) fuzz_vpk_writer_one(seed.data(), seed.size());
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(messages.find("ERROR"), std::string::npos) << messages;
}

// Thinning with a grid of 3 cm over the points of the args target's files,
// which lie kilometres apart, took 1.6 GB of cell bits for the extent between
// them (the args target ran out of memory); the cells are now kept by blocks
// that hold points.
TEST(FuzzRegressions, ThinWithGridMemoryFollowsThePoints) {
  ArgsDirectory directory;
  ASSERT_TRUE(directory.ready);
  const Bytes input = fuzz_file_bytes(kRegressions + "args/thin_with_grid_of_far_apart_points.txt");
  ASSERT_FALSE(input.empty());
  rusage before;
  getrusage(RUSAGE_SELF, &before);
  testing::internal::CaptureStderr();
  fuzz_args_one(input.data(), input.size());
  testing::internal::GetCapturedStderr();
  rusage after;
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB more at the peak";
}

// A binary PLY whose float intensity is not a number: the value is out of
// range like a negative one, said so and stored as 0, where it once went
// through a conversion to an integer that has no result.
TEST(FuzzRegressions, PlyIntensityNotANumberIsZero) {
  std::string ply =
      "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
      "property float y\nproperty float z\nproperty float intensity\nend_header\n";
  const float vertices[3][4] = {
      {1, 2, 3, std::nanf("")}, {4, 5, 6, -std::nanf("")}, {7, 8, 9, 300.25f}};
  ply.append(reinterpret_cast<const char*>(vertices), sizeof(vertices));
  FILE* stream = open_memory_stream(ply.data(), ply.size());
  ASSERT_NE(stream, nullptr);
  LASreaderPLY reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.open(stream, nullptr, 0, false));
  std::vector<int> intensities;
  while (reader.read_point()) intensities.push_back(reader.point.get_intensity());
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(intensities, (std::vector<int>{0, 0, 300}));
  EXPECT_NE(messages.find("WARNING: intensity nan is out of range of unsigned short\n"),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("WARNING: intensity -nan is out of range of unsigned short\n"),
            std::string::npos)
      << messages;
}
