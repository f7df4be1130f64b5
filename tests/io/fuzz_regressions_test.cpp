// Inputs the fuzz targets once stopped on, replayed through the same harness
// (every file under tests/data/fuzz_regressions/<target>/), and the faults
// they showed pinned by name.

#include <dirent.h>
#include <gtest/gtest.h>
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
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "io/formats/las_reader_ply.hpp"
#include "fuzz_harness.hpp"
#include "fuzz_lay.hpp"
#include "fuzz_side_formats.hpp"
#include "fuzz_text_formats.hpp"
#include "las_fixture.hpp"
#include "platform/memory_stream.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kRegressions = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/";

Bytes read_all(const std::string& path) {
  Bytes bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(f);
  return bytes;
}

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
      {"text_reader", fuzz_text_reader_one},
      {"ply_reader", fuzz_ply_reader_one},
      {"side_reader", fuzz_side_reader_one},
      {"lay", fuzz_lay_both},
  };
  char pattern[] = "/tmp/pl_fuzz_regressions_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof(here)), nullptr);
  // The args inputs name files of their working directory.
  ASSERT_EQ(chdir(pattern), 0);
  ASSERT_TRUE(fuzz_args_prepare_directory());
  int replayed = 0;
  for (const Target& target : targets) {
    for (const std::string& name : files_in(kRegressions + target.folder)) {
      SCOPED_TRACE(name);
      const Bytes bytes = read_all(name);
      target.run(bytes.data(), bytes.size());
      replayed++;
    }
  }
  ASSERT_EQ(chdir(here), 0);
  std::system((std::string("rm -rf '") + pattern + "'").c_str());
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
    ByteStreamOutArrayLE out;
    LASwriterLAS writer;
    writer.set_delete_stream(false);
    ASSERT_TRUE(writer.open_stream(&out, &reader.header));
    size_t n = 0;
    while (reader.read_point()) {
      ASSERT_TRUE(writer.write_one_point(&reader.point));
      n++;
    }
    ASSERT_GT(writer.close_output(true), 0);
    const Bytes copy(out.get_data(), out.get_data() + out.get_size());
    FixtureContents contents;
    std::string error;
    ASSERT_EQ(n, points.size());
    ASSERT_TRUE(fixture_read_bytes(copy, &contents, &error)) << error;
    ASSERT_EQ(contents.points.size(), points.size());
    for (size_t i = 0; i < points.size(); i++) {
      EXPECT_EQ(fixture_point_difference(contents.points[i], points[i]), "") << i;
    }
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
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  ASSERT_TRUE(writer.open_stream(&out, &reader.header));
  while (reader.read_point()) ASSERT_TRUE(writer.write_one_point(&reader.point));
  ASSERT_GT(writer.close_output(true), 0);
  testing::internal::GetCapturedStderr();
  const Bytes copy(out.get_data(), out.get_data() + out.get_size());
  FixtureContents contents;
  std::string error;
  ASSERT_TRUE(fixture_read_bytes(copy, &contents, &error)) << error;
  EXPECT_EQ(contents.header.version_minor, 4);
  EXPECT_EQ(contents.header.header_size, 375 + 375 - 227);
  ASSERT_EQ(contents.points.size(), points.size());
  for (size_t i = 0; i < points.size(); i++) {
    EXPECT_EQ(fixture_point_difference(contents.points[i], points[i]), "") << i;
  }
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

// A binary PLY whose float intensity is not a number: the value is out of
// range like a negative one, said so and stored as 0, where it once went
// through a conversion to an integer that has no result.
TEST(FuzzRegressions, PlyIntensityNotANumberIsZero) {
  std::string ply =
      "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
      "property float y\nproperty float z\nproperty float intensity\nend_header\n";
  const float vertices[3][4] = {{1, 2, 3, std::nanf("")},
                                {4, 5, 6, -std::nanf("")},
                                {7, 8, 9, 300.25f}};
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
