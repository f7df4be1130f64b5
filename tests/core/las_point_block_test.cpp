// What the LAS reader delivers from a point block that does not hold what the
// header says: exactly the stored points (never points made of the chunk
// table, the EVLRs or the bytes of two records), the points after a corrupt
// chunk, and counts beyond 32 bits in its messages. And what every read leaves
// in the fields that the layout does not store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_reader_las.hpp"
#include "fuzz_harness.hpp"
#include "las_fixture.hpp"
#include "point_reading.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// A stream that, like a pipe, cannot seek and only reads forward.
class ForwardOnlyStream : public ByteStreamInArrayLE {
 public:
  ForwardOnlyStream(const uint8_t* data, int64_t size) : ByteStreamInArrayLE(data, size) {}
  bool can_seek() const override { return false; }
  bool seek_to(int64_t offset) override {
    return offset >= position() && ByteStreamInArrayLE::seek_to(offset);
  }
  bool seek_to_end(int64_t) override { return false; }
  int64_t bytes_left() override { return -1; }
};

// The LAS reader with its record reader in view.
class InspectedReader : public LASreaderLAS {
 public:
  LASpointRecordReader* records() const { return reader.get(); }
};

struct Delivered {
  bool opened = false;
  std::vector<FixturePoint> points;
  std::string messages;
};

// The fields that tell points apart here.
bool same_point(const FixturePoint& a, const FixturePoint& b) {
  return a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.intensity == b.intensity &&
         a.gps_time == b.gps_time;
}

Delivered read_all(const Bytes& bytes, bool forward_only = false) {
  Delivered d;
  LASreaderLAS reader;
  ByteStreamIn* stream =
      forward_only ? static_cast<ByteStreamIn*>(
                         new ForwardOnlyStream(bytes.data(), static_cast<int64_t>(bytes.size())))
                   : new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()));
  testing::internal::CaptureStderr();
  d.opened = reader.open_stream(stream);
  if (d.opened) {
    while (reader.read_point())
      d.points.push_back(fixture_point_of(reader.point, reader.header.point_data_format));
  }
  d.messages = testing::internal::GetCapturedStderr();
  return d;
}

struct Stored {
  const char* name;
  uint8_t minor, format;
  bool evlrs;
  uint16_t compressor;
  int version;
  int32_t chunk_size;  // 0: adaptive
  bool forward_only;
};

const Stored kStored[] = {
    {"raw 1.4 format 6, EVLRs", 4, 6, true, LAScompressorKind::raw, 0, 0, false},
    {"raw 1.4 format 1, EVLRs, piped", 4, 1, true, LAScompressorKind::raw, 0, 0, true},
    {"raw 1.2 format 3", 2, 3, false, LAScompressorKind::raw, 0, 0, false},
    {"VPK format 1, chunks of 8", 2, 1, false, LAScompressorKind::sequential_chunked, 2, 8, false},
    {"VPK 1.4 format 3, EVLRs", 4, 3, true, LAScompressorKind::sequential_chunked, 2, 8, false},
    {"VPK 1.4 format 1, EVLRs, piped", 4, 1, true, LAScompressorKind::sequential_chunked, 2, 8,
     true},
    {"VPK 1.4 format 1, one chunk", 4, 1, true, LAScompressorKind::sequential_chunked, 2, 50000,
     false},
    {"VPK layered format 7, EVLRs", 4, 7, true, LAScompressorKind::multistream_chunked, 0, 8,
     false},
    {"VPK layered format 6, adaptive", 4, 6, true, LAScompressorKind::multistream_chunked, 0, 0,
     false},
    {"VPK layered format 8, piped", 4, 8, true, LAScompressorKind::multistream_chunked, 0, 8, true},
};

Bytes stored_file(const Stored& s, const std::vector<FixturePoint>& points) {
  FixtureFile file;
  file.version_minor = s.minor;
  file.point_data_format = s.format;
  if (s.evlrs) {
    FixtureEvlr evlr;
    evlr.user_id = "after points";
    evlr.record_id = 7;
    evlr.data.assign(1500, 0x5A);  // room for many made-up points
    file.evlrs.push_back(evlr);
  }
  Bytes bytes = fixture_write_bytes(file, points);
  if (s.compressor != LAScompressorKind::raw) {
    bytes = fuzz_compressed_copy(bytes, s.compressor, s.version, s.chunk_size);
  }
  return bytes;
}

// A header that counts more points than the file stores: the stored points,
// then the end-of-file warning with both counts; nothing made of the bytes
// that follow the points (chunk table, EVLRs).
TEST(LASpointBlock, MorePointsCountedThanStoredEndsWithTheStoredOnes) {
  for (const Stored& s : kStored) {
    SCOPED_TRACE(s.name);
    const std::vector<FixturePoint> points = fixture_random_points(s.format, 30, s.format);
    Bytes bytes = stored_file(s, points);
    ASSERT_FALSE(bytes.empty());
    fixture_set_point_count(bytes, 225);
    const Delivered d = read_all(bytes, s.forward_only);
    ASSERT_TRUE(d.opened) << d.messages;
    ASSERT_EQ(d.points.size(), points.size()) << d.messages;
    for (size_t i = 0; i < points.size(); i++) {
      EXPECT_TRUE(same_point(d.points[i], points[i])) << i;
    }
    EXPECT_NE(d.messages.find("WARNING: end-of-file after 30 of 225 points"), std::string::npos)
        << d.messages;
    EXPECT_EQ(d.messages.find("ERROR"), std::string::npos) << d.messages;
  }
}

// Counts that do not fit 32 bits: what the file holds is read, and the
// message shows the count as it is.
TEST(LASpointBlock, CountsBeyond32BitsAreReadAndPrintedWhole) {
  for (const Stored& s : {kStored[0], kStored[7]}) {
    SCOPED_TRACE(s.name);
    const std::vector<FixturePoint> points = fixture_random_points(9, 30, s.format);
    Bytes bytes = stored_file(s, points);
    fixture_set_point_count(bytes, 4294967301ull);
    const Delivered d = read_all(bytes);
    ASSERT_TRUE(d.opened) << d.messages;
    EXPECT_EQ(d.points.size(), points.size());
    EXPECT_NE(d.messages.find("WARNING: end-of-file after 30 of 4294967301 points"),
              std::string::npos)
        << d.messages;
  }
}

// Records shorter than their format are refused with an error, for every
// format: read at the format's size, each point would be made of two records.
TEST(LASpointBlock, RecordLengthBelowTheFormatsSizeIsRefused) {
  for (uint8_t format = 0; format <= 10; format++) {
    SCOPED_TRACE(int(format));
    FixtureFile file;
    file.version_minor = 4;
    file.point_data_format = format;
    Bytes bytes = fixture_write_bytes(file, fixture_random_points(3, 40, format));
    const uint16_t length = fixture_record_length(file);
    fixture_put_u16(bytes, 105, static_cast<uint16_t>(length - 8));
    const Delivered d = read_all(bytes);
    EXPECT_FALSE(d.opened);
    EXPECT_EQ(d.messages, "ERROR: point size " + std::to_string(length - 8) +
                              " too small by 8 bytes for point type " + std::to_string(format) +
                              "\n");
    EXPECT_TRUE(d.points.empty());
  }
}

// A corrupt chunk costs its own points only: the reader reports it and goes
// on with the next chunk, whose points arrive at their own indices.
TEST(LASpointBlock, CorruptChunkIsSkippedAndReadingGoesOn) {
  struct Row {
    const char* name;
    uint8_t minor, format;
    uint16_t compressor;
    int version;
  };
  const Row rows[] = {
      {"format 1, version 2", 2, 1, LAScompressorKind::sequential_chunked, 2},
      {"format 3, version 1", 2, 3, LAScompressorKind::sequential_chunked, 1},
      {"layered format 7", 4, 7, LAScompressorKind::multistream_chunked, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FixtureFile file;
    file.version_minor = row.minor;
    file.point_data_format = row.format;
    const std::vector<FixturePoint> points = fixture_random_points(21, 40, row.format);
    Bytes bytes =
        fuzz_compressed_copy(fixture_write_bytes(file, points), row.compressor, row.version, 10);
    ASSERT_FALSE(bytes.empty());

    // Where the chunks start, from the reader's own table.
    int64_t starts[3];
    {
      InspectedReader probe;
      ASSERT_TRUE(probe.open_stream(
          new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
      ASSERT_TRUE(probe.read_point());
      ASSERT_GE(probe.records()->get_tabled_chunks(), 3u);
      for (uint32_t c = 0; c < 3; c++) starts[c] = probe.records()->get_chunk_start(c);
    }
    // Chunk 1 keeps its first point (stored raw) and loses everything after.
    const uint16_t record = fixture_record_length(file);
    for (int64_t at = starts[1] + record; at < starts[2]; at++) {
      bytes[static_cast<size_t>(at)] = static_cast<uint8_t>(0xA7 ^ (at * 31));
    }

    InspectedReader reader;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    std::vector<std::pair<int64_t, FixturePoint>> got;
    while (reader.read_point())
      got.push_back(
          {reader.p_count - 1, fixture_point_of(reader.point, reader.header.point_data_format)});
    const std::string messages = testing::internal::GetCapturedStderr();

    EXPECT_NE(messages.find("ERROR: 'chunk with index 1 of"), std::string::npos) << messages;
    // Chunks 0, 2 and 3 whole, each point at its own index.
    size_t intact = 0;
    for (const auto& [index, point] : got) {
      if (index >= 10 && index < 20) continue;
      ASSERT_LT(index, 40);
      EXPECT_TRUE(same_point(point, points[static_cast<size_t>(index)])) << index;
      intact++;
    }
    EXPECT_EQ(intact, 30u) << messages;
    EXPECT_EQ(got.back().first, 39);
  }
}

// Every read sets what the layout does not store: a legacy point's extended
// class is its 5-bit class and its missing GPS time, colour and wave packet
// are 0, whatever a transform or a tool left in the point before.
TEST(LASpointBlock, EveryReadClearsTheFieldsTheFormatLacks) {
  for (uint8_t format : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{6}}) {
    SCOPED_TRACE(int(format));
    FixtureFile file;
    file.version_minor = format >= 6 ? 4 : 2;
    file.point_data_format = format;
    const std::vector<FixturePoint> points = fixture_random_points(5, 6, format);
    const Bytes bytes = fixture_write_bytes(file, points);
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    for (size_t i = 0; reader.read_point(); i++) {
      LASpoint& p = reader.point;
      EXPECT_EQ(p.extended_classification, points[i].classification) << i;
      EXPECT_EQ(p.gps_time, points[i].gps_time) << i;
      EXPECT_EQ(p.rgb[0], points[i].rgb[0]) << i;
      EXPECT_EQ(p.rgb[3], 0) << i;
      EXPECT_EQ(p.wavepacket.data[7], 0) << i;
      if (format < 6) {
        EXPECT_EQ(p.get_extended_overlap_flag(), 0) << i;
        EXPECT_EQ(p.get_extended_return_number(), points[i].return_number) << i;
      }
      // What the ground tool's output pass and transforms leave behind.
      p.extended_classification = 40;
      p.gps_time = 99.5;
      p.rgb[0] = p.rgb[3] = 7;
      p.wavepacket.data[7] = 3;
      p.set_extended_overlap_flag(1);
      p.set_extended_return_number(11);
    }
  }
}

}  // namespace
