// LAS files compressed to VPK and back through the library's LAS reader and
// writer with the legacy item coders of versions 1 and 2.

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
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"
#include "temp_dir.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

Scene hilly_scene(double size, double density, uint64_t seed) {
  SceneParams params;
  params.preset = ScenePreset::kHilly;
  params.size = size;
  params.density = density;
  params.seed = seed;
  return make_scene(params);
}

const Scene& scene() {
  static const Scene s = hilly_scene(45.0, 3.0, 5);
  return s;
}

// A LAS file of the scene in a legacy format, with waves and extra bytes
// where the format has them.
Bytes scene_las(uint8_t format, uint16_t extra, std::vector<FixturePoint>* points,
                const Scene& from = scene()) {
  SceneLasOptions options;
  options.point_data_format = format;
  options.version_minor = format >= 4 ? 3 : 2;
  options.truth_classes = true;
  FixtureFile file = scene_fixture_file(from, options);
  file.extra_bytes = extra;
  *points = scene_fixture_points(from, options);
  uint64_t offset = 0;
  for (size_t i = 0; i < points->size(); i++) {
    FixturePoint& p = (*points)[i];
    p.wavepacket[0] = 1;
    for (int b = 0; b < 8; b++) p.wavepacket[1 + b] = static_cast<uint8_t>(offset >> (8 * b));
    p.wavepacket[9] = 32;
    offset += 32;
    p.extra_bytes.assign(extra, static_cast<uint8_t>(i % 7));
  }
  const Bytes las = fixture_write_bytes(file, *points);
  // The points as the file holds them (without the fields the format lacks).
  FixtureContents contents;
  EXPECT_TRUE(fixture_read_bytes(las, &contents));
  *points = contents.points;
  return las;
}

// Copies every point of `in` into a new file, compressed or raw.
Bytes copy_las(const Bytes& in, uint16_t compressor, int version, int32_t chunk_size) {
  LASreaderLAS reader;
  EXPECT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(in.data(), static_cast<int64_t>(in.size()))));
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  EXPECT_TRUE(writer.open_stream(&out, &reader.header, compressor, version, chunk_size));
  while (reader.read_point()) EXPECT_TRUE(writer.write_one_point(&reader.point));
  EXPECT_GT(writer.close_output(true), 0);
  reader.close_input();
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

void expect_points(const Bytes& vpk, const std::vector<FixturePoint>& expected, uint8_t format,
                   int version = 2) {
  LASreaderLAS reader;
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
  EXPECT_EQ(reader.format_code(), 2);
  // The compressor record names the versions that coded the items.
  ASSERT_NE(reader.header.vlr_compressor, nullptr);
  for (const LASitem& item : reader.header.vlr_compressor->items) {
    EXPECT_EQ(item.version, item.type == LASitem::WAVEPACKET13 ? 1 : version) << item.get_name();
  }
  ASSERT_EQ(reader.npoints, static_cast<int64_t>(expected.size()));
  const uint16_t length = reader.header.point_data_record_length;
  Bytes record(length);
  size_t i = 0;
  // Through the item bytes: the fixture decoder gives the fields back.
  while (reader.read_point()) {
    ASSERT_LT(i, expected.size());
    uint32_t at = 0;
    for (uint16_t k = 0; k < reader.point.num_items; k++) {
      std::memcpy(record.data() + at, reader.point.point_items[k], reader.point.items[k].size);
      at += reader.point.items[k].size;
    }
    ASSERT_EQ(
        fixture_point_difference(fixture_decode_point(record.data(), format, length), expected[i]),
        "")
        << "point " << i;
    i++;
  }
  EXPECT_EQ(i, expected.size());
}

struct Case {
  uint8_t format;
  uint16_t extra;
  int version;
  int32_t chunk_size;
};

TEST(VpkLasFile, LasToVpkToLasEveryLegacyFormat) {
  std::vector<Case> cases;
  for (uint8_t format = 0; format <= 5; format++) {
    for (int version = 1; version <= 2; version++) {
      cases.push_back({format, 0, version, 50000});
      cases.push_back({format, 3, version, 1000});
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " extra " + std::to_string(c.extra) +
                 " version " + std::to_string(c.version));
    std::vector<FixturePoint> points;
    const Bytes las = scene_las(c.format, c.extra, &points);
    const Bytes vpk = copy_las(las, LAScompressorKind::sequential_chunked, c.version, c.chunk_size);
    EXPECT_LT(vpk.size(), las.size() / 2);
    expect_points(vpk, points, c.format, c.version);
    // And back to LAS: the same points as the original file.
    const Bytes back = copy_las(vpk, LAScompressorKind::raw, 0, -1);
    FixtureContents contents;
    std::string error;
    ASSERT_TRUE(fixture_read_bytes(back, &contents, &error)) << error;
    ASSERT_EQ(contents.points.size(), points.size());
    for (size_t i = 0; i < points.size(); i++) {
      ASSERT_EQ(fixture_point_difference(contents.points[i], points[i]), "") << "point " << i;
    }
  }
}

TEST(VpkLasFile, SeekingGivesThePointReadingGives) {
  std::vector<FixturePoint> points;
  const Bytes vpk =
      copy_las(scene_las(3, 0, &points), LAScompressorKind::sequential_chunked, 2, 700);
  LASreaderLAS reader;
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
  const int64_t n = static_cast<int64_t>(points.size());
  for (int64_t target : {n - 1, int64_t{0}, int64_t{699}, int64_t{700}, n / 2, int64_t{3}}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(reader.seek_point(target));
    ASSERT_TRUE(reader.read_point());
    EXPECT_EQ(reader.point.X, points[static_cast<size_t>(target)].X);
    EXPECT_EQ(reader.point.gps_time, points[static_cast<size_t>(target)].gps_time);
    EXPECT_EQ(reader.point.rgb[2], points[static_cast<size_t>(target)].rgb[2]);
  }
}

TEST(VpkLasFile, WrittenToAPipeAndReadBack) {
  std::vector<FixturePoint> points;
  const Bytes las = scene_las(1, 0, &points);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* write_end = fdopen(fds[1], "wb");
  FILE* read_end = fdopen(fds[0], "rb");
  bool opened = false;
  std::thread writer_thread([&] {
    LASreaderLAS reader;
    if (reader.open_stream(new ByteStreamInArrayLE(las.data(), static_cast<int64_t>(las.size())))) {
      LASwriterLAS writer;
      opened = writer.open_cfile(write_end, &reader.header, LAScompressorKind::sequential_chunked,
                                 2, 1000);
      while (opened && reader.read_point()) writer.write_one_point(&reader.point);
      writer.close_output(false);
    }
    std::fclose(write_end);
  });
  Bytes vpk;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), read_end)) > 0) {
    vpk.insert(vpk.end(), buffer, buffer + got);
  }
  writer_thread.join();
  std::fclose(read_end);
  ASSERT_TRUE(opened);
  expect_points(vpk, points, 1);
}

TEST(VpkLasFile, CorruptChunkIsReported) {
  std::vector<FixturePoint> points;
  const Bytes las = scene_las(1, 0, &points);
  const uint32_t chunk = static_cast<uint32_t>(points.size() / 3 + 1);
  Bytes vpk = copy_las(las, LAScompressorKind::sequential_chunked, 2, static_cast<int32_t>(chunk));
  // Where chunk 2 starts, from the chunk table.
  int64_t start2 = 0;
  {
    LASreaderLAS probe;
    ASSERT_TRUE(
        probe.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
    const LAScompressorSetup& setup = *probe.header.vlr_compressor;
    ByteStreamInArrayLE in(vpk.data(), static_cast<int64_t>(vpk.size()));
    // The offset to the point data as the file has it (the reader's header
    // describes the points as if they were not compressed).
    in.seek_to(fixture_get_u32(vpk, 96));
    LASpointRecordReader records;
    ASSERT_TRUE(records.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(records.init(&in));
    ASSERT_TRUE(records.read(probe.point.point_items.data()));
    ASSERT_EQ(records.get_tabled_chunks(), 4u);
    start2 = records.get_chunk_start(2);
  }
  // A few garbled bytes at the end of chunk 1.
  for (int64_t at = start2 - 60; at < start2 - 30; at += 3) vpk[static_cast<size_t>(at)] ^= 0x6B;

  LASreaderLAS reader;
  ASSERT_TRUE(
      reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
  for (uint32_t i = 0; i < chunk; i++) {
    ASSERT_TRUE(reader.read_point());
    ASSERT_EQ(reader.point.X, points[i].X);
  }
  // The damage shows at the latest when chunk 2 should begin; reading goes on
  // with chunk 2, every point at its own index.
  testing::internal::CaptureStderr();
  int64_t reported = -1;
  size_t after = 0;
  while (reader.read_point()) {
    const int64_t index = reader.p_count - 1;
    if (index >= int64_t{2} * chunk) {
      if (reported < 0) reported = index;
      ASSERT_EQ(reader.point.X, points[static_cast<size_t>(index)].X) << index;
      after++;
    }
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(after, points.size() - 2 * chunk);
  EXPECT_EQ(reported, int64_t{2} * chunk);
  EXPECT_EQ(err.rfind("ERROR: 'chunk with index 1 of 4 is corrupt' after ", 0), 0u) << err;
  EXPECT_NE(err.find(" of " + std::to_string(points.size()) + " points for ''\n"),
            std::string::npos)
      << err;
}

}  // namespace

namespace {

// Every point a reader gives, as its item bytes, the message noted at the
// end and the count read; the reader's stream is read to its end.
struct ReadOut {
  std::vector<Bytes> points;
  int64_t p_count = 0;
  std::string messages;
};

// Large enough for a few read-ahead buffers.
const Scene& large_scene() {
  static const Scene s = hilly_scene(120.0, 4.0, 9);
  return s;
}

// `name`, where the reader names its file, is left out of the messages.
ReadOut read_out(LASreaderLAS& reader, const std::string& name = "") {
  ReadOut out;
  testing::internal::CaptureStderr();
  while (reader.read_point()) {
    Bytes record;
    for (uint16_t k = 0; k < reader.point.num_items; k++) {
      const uint8_t* item = reader.point.point_items[k];
      record.insert(record.end(), item, item + reader.point.items[k].size);
    }
    out.points.push_back(std::move(record));
  }
  out.p_count = reader.p_count;
  reader.close_input();
  out.messages = testing::internal::GetCapturedStderr();
  for (size_t at; !name.empty() && (at = out.messages.find(name)) != std::string::npos;) {
    out.messages.erase(at, name.size());
  }
  return out;
}

void expect_same(const ReadOut& got, const ReadOut& want, const char* what) {
  EXPECT_EQ(got.p_count, want.p_count) << what;
  EXPECT_EQ(got.messages, want.messages) << what;
  ASSERT_EQ(got.points.size(), want.points.size()) << what;
  for (size_t i = 0; i < got.points.size(); i++) {
    ASSERT_EQ(got.points[i], want.points[i]) << what << " point " << i;
  }
}

}  // namespace

// A VPK file read from disk, through a pipe and from memory gives the same
// points, and a file cut short ends at the same point with the same words.
TEST(VpkLasFile, FilePipeAndMemoryGiveTheSamePoints) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  struct FileCase {
    uint8_t format;
    int version;
    int32_t chunk_size;
    double kept;  // the share of the file left after a cut, 1 for the whole
  };
  // Every point format whole, legacy and layered; some cut short.
  const FileCase cases[] = {{0, 2, 50000, 1.0},  {1, 2, 50000, 1.0},  {2, 1, 50000, 1.0},
                            {3, 1, 1000, 1.0},   {4, 2, 50000, 1.0},  {5, 2, 50000, 1.0},
                            {6, 0, 50000, 1.0},  {7, 0, 50000, 1.0},  {8, 0, 50000, 1.0},
                            {9, 0, 50000, 1.0},  {10, 0, 50000, 1.0}, {1, 2, 700, 0.6},
                            {5, 2, 50000, 0.83}, {8, 0, 5000, 0.7}};
  for (const FileCase& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " chunk " + std::to_string(c.chunk_size) +
                 " kept " + std::to_string(c.kept));
    std::vector<FixturePoint> points;
    // The extended formats are coded in layers, with the version the writer picks.
    const bool layered = c.format >= 6;
    Bytes vpk = copy_las(
        scene_las(c.format, 0, &points, large_scene()),
        layered ? LAScompressorKind::multistream_chunked : LAScompressorKind::sequential_chunked,
        layered ? 0 : c.version, c.chunk_size);
    ASSERT_GT(vpk.size(), 3u * ByteStreamInFile::kReadAhead) << "more than a few buffers";
    vpk.resize(static_cast<size_t>(static_cast<double>(vpk.size()) * c.kept));
    const std::string path = dir.path + "/points.vpk";
    ASSERT_TRUE(write_bytes(path, vpk));

    LASreaderLAS in_memory;
    ASSERT_TRUE(in_memory.open_stream(
        new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
    const ReadOut want = read_out(in_memory);
    if (c.kept == 1.0) {
      EXPECT_EQ(want.points.size(), points.size());
    } else {
      EXPECT_LT(want.points.size(), points.size());
    }

    LASreaderLAS from_file;
    ASSERT_TRUE(from_file.open_file(path.c_str()));
    expect_same(read_out(from_file, path), want, "file");

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* read_end = fdopen(fds[0], "rb");
    // Written without a FILE: capturing stderr flushes every FILE, and would
    // wait for one whose write blocks.
    std::thread feeder([&vpk, fd = fds[1]] {
      size_t at = 0;
      while (at < vpk.size()) {
        const ssize_t n = write(fd, vpk.data() + at, vpk.size() - at);
        if (n <= 0) break;
        at += static_cast<size_t>(n);
      }
      close(fd);
    });
    {
      LASreaderLAS from_pipe;
      // A pipe has no chunk table to seek to: without it the cut file's
      // words differ, the points may not.
      ASSERT_TRUE(from_pipe.open_cfile(read_end));
      ReadOut piped = read_out(from_pipe);
      if (c.kept == 1.0) {
        expect_same(piped, want, "pipe");
      } else {
        ASSERT_LE(piped.points.size(), want.points.size());
        for (size_t i = 0; i < piped.points.size(); i++) {
          ASSERT_EQ(piped.points[i], want.points[i]) << "pipe point " << i;
        }
      }
    }
    uint8_t drain[4096];
    while (std::fread(drain, 1, sizeof(drain), read_end) > 0) {
    }
    feeder.join();
    std::fclose(read_end);
    EXPECT_EQ(file_bytes(path), vpk) << "the input is not changed";
  }
}
