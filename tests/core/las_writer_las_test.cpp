#include "core/las_writer_las.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "las_fixture.hpp"

namespace {

std::unique_ptr<uint8_t[]> bytes_of(std::vector<uint8_t> v) {
  std::unique_ptr<uint8_t[]> data(new uint8_t[v.size()]);
  std::memcpy(data.get(), v.data(), v.size());
  return data;
}

struct Written {
  bool opened;
  int64_t closed;
  std::string err;
  std::vector<uint8_t> bytes;
};

// Opens a writer on memory, writes `points` copies of an empty point and
// closes it.
Written write_header(const LASheader& header, uint16_t compressor = 0, int64_t points = -1) {
  Written w;
  auto* stream = new ByteStreamOutArrayLE();
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  testing::internal::CaptureStderr();
  w.opened = writer.open_stream(stream, &header, compressor);
  if (w.opened) {
    LASpoint point;
    point.init_for_point_type(&header, header.point_data_format, header.point_data_record_length,
                              &header);
    for (int64_t i = 0; i < points; i++) writer.write_one_point(&point);
  }
  w.closed = writer.close_output(true);
  w.err = testing::internal::GetCapturedStderr();
  w.bytes.assign(stream->get_data(), stream->get_data() + stream->get_size());
  delete stream;
  return w;
}

TEST(LASwriterLAS, HeaderRecordsAndUserDataRoundTrip) {
  LASheader h;
  h.version_minor = 4;
  h.header_size = 377;
  h.offset_to_point_data = 377;
  h.user_data_in_header_size = 2;
  h.user_data_in_header = bytes_of({7, 8});
  h.point_data_format = 6;
  h.point_data_record_length = 30;
  h.file_source_ID = 42;
  std::memcpy(h.system_identifier, "system", 6);
  h.x_scale_factor = 0.001;
  h.z_offset = -100;
  h.min_x = 1;
  h.max_x = 2;
  h.insert_vlr("someone", 5, 3, bytes_of({1, 2, 3}), false, "five");
  const LASvlrKeyEntry key = {1024, 0, 1, 2};
  h.store_geo_key_directory(1, &key);
  h.user_data_after_header_size = 4;
  h.user_data_after_header = bytes_of({9, 9, 9, 9});
  h.offset_to_point_data += 4;
  h.vlr_lastiling.reset(new LAStiling);
  h.vlr_lastiling->level = 2;
  h.vlr_lastiling->implicit_levels = (1u << 30) | 5;
  h.vlr_lastiling->max_y = 12.5f;
  h.vlr_lasoriginal.reset(new LASoriginalVlr);
  h.vlr_lasoriginal->number_of_point_records = 77;
  h.vlr_lasoriginal->max_z = 3.25;
  h.insert_evlr("LASF_Projection", 2112, 4, bytes_of({'W', 'K', 'T', 0}));
  h.extended_number_of_points_by_return[7] = 5;

  const Written w = write_header(h);
  ASSERT_TRUE(w.opened) << w.err;
  EXPECT_EQ(w.err, "");
  EXPECT_EQ(w.closed, static_cast<int64_t>(w.bytes.size()));
  // the tiling and original records add 82 and 230 bytes
  EXPECT_EQ(fixture_get_u32(w.bytes, 96), h.offset_to_point_data + 82 + 230);
  EXPECT_EQ(fixture_get_u32(w.bytes, 100), 4u);
  const size_t tiling_at = 377 + 54 + 3 + 54 + 16;
  EXPECT_EQ(fixture_get_u16(w.bytes, tiling_at), 0xAABB);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&w.bytes[tiling_at + 22])),
            "tile with buffer ");
  EXPECT_EQ(fixture_get_u64(w.bytes, 235), fixture_get_u32(w.bytes, 96))
      << "EVLRs follow the (empty) point block";

  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  const bool ok = reader.open_stream(
      new ByteStreamInArrayLE(w.bytes.data(), static_cast<int64_t>(w.bytes.size())));
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok) << err;
  const LASheader& r = reader.header;
  EXPECT_EQ(r.file_source_ID, 42);
  EXPECT_EQ(std::string(r.system_identifier), "system");
  EXPECT_EQ(r.x_scale_factor, 0.001);
  EXPECT_EQ(r.z_offset, -100);
  EXPECT_EQ(r.user_data_in_header_size, 2u);
  EXPECT_EQ(r.user_data_in_header[1], 8);
  ASSERT_EQ(r.vlrs.size(), 2u);
  EXPECT_EQ(r.vlrs[0].record_id, 5);
  EXPECT_EQ(std::string(r.vlrs[0].description), "five");
  EXPECT_EQ(r.vlr_geo_key_entries[0].key_id, 1024);
  EXPECT_EQ(r.user_data_after_header_size, 4u);
  EXPECT_EQ(r.offset_to_point_data, h.offset_to_point_data);
  ASSERT_NE(r.vlr_lastiling, nullptr);
  EXPECT_EQ(r.vlr_lastiling->level, 2u);
  EXPECT_EQ(r.vlr_lastiling->max_y, 12.5f);
  ASSERT_NE(r.vlr_lasoriginal, nullptr);
  EXPECT_EQ(r.vlr_lasoriginal->number_of_point_records, 77u);
  EXPECT_EQ(r.vlr_lasoriginal->max_z, 3.25);
  ASSERT_EQ(r.evlrs.size(), 1u);
  EXPECT_STREQ(r.vlr_geo_ogc_wkt, "WKT");
  EXPECT_EQ(r.extended_number_of_points_by_return[7], 5u);

  // the independent reader agrees on the layout
  FixtureContents contents;
  std::string error;
  ASSERT_TRUE(fixture_read_bytes(w.bytes, &contents, &error)) << error;
  EXPECT_EQ(contents.file.vlrs.size(), 4u);
  EXPECT_EQ(contents.file.evlrs.size(), 1u);
  EXPECT_EQ(contents.file.user_data_after_header, (std::vector<uint8_t>{9, 9, 9, 9}));
}

TEST(LASwriterLAS, VersionsAreForced) {
  struct Case {
    uint8_t major, minor;
    uint16_t header_size;
    uint8_t written_major, written_minor;
    const char* message;
  };
  const Case cases[] = {
      {1, 5, 375, 1, 4, "WARNING: header->version_minor is 5. writing 4 instead.\n"},
      {2, 2, 227, 1, 2,
       "WARNING: unknown version 2.2 (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n"
       "WARNING: header->version_major is 2. writing 1 instead.\n"},
  };
  for (const auto& c : cases) {
    LASheader h;
    h.version_major = c.major;
    h.version_minor = c.minor;
    h.header_size = c.header_size;
    h.offset_to_point_data = c.header_size;
    const Written w = write_header(h);
    ASSERT_TRUE(w.opened);
    EXPECT_EQ(w.bytes[24], c.written_major);
    EXPECT_EQ(w.bytes[25], c.written_minor);
    EXPECT_EQ(w.err, std::string("WARNING: unknown version ") + std::to_string(c.major) + "." +
                         std::to_string(c.minor) +
                         " (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n" +
                         (c.major != 1 ? "WARNING: header->version_major is 2. writing 1 instead.\n"
                                       : c.message));
    EXPECT_EQ(w.bytes.size(), c.header_size) << "one header and nothing else";
  }
}

TEST(LASwriterLAS, CompressingExtendedPoints) {
  LASheader h;
  h.version_minor = 4;
  h.header_size = 375;
  h.offset_to_point_data = 375;
  h.point_data_format = 6;
  h.point_data_record_length = 30;
  const Written refused = write_header(h, 2);
  EXPECT_FALSE(refused.opened);
  EXPECT_EQ(refused.err,
            "ERROR: point type 6 requires using \"native LAS 1.4 extension\" of Vexpak\n");

  const Written w = write_header(h, 3);
  ASSERT_TRUE(w.opened) << w.err;
  EXPECT_EQ(w.bytes[104], 134);
  EXPECT_EQ(fixture_get_u32(w.bytes, 96), 375u + 54 + 40);
  EXPECT_EQ(fixture_get_u32(w.bytes, 100), 1u);
  const size_t vlr = 375;
  EXPECT_EQ(fixture_get_u16(w.bytes, vlr), 0xAABB);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&w.bytes[vlr + 2]), 14), "vexpak encoded");
  EXPECT_EQ(fixture_get_u16(w.bytes, vlr + 18), 22204);
  EXPECT_EQ(fixture_get_u16(w.bytes, vlr + 20), 40);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&w.bytes[vlr + 22])),
            "by vexpak of Mirvelox (210531)");
  const size_t payload = vlr + 54;
  EXPECT_EQ(fixture_get_u16(w.bytes, payload), 3) << "compressor";
  EXPECT_EQ(fixture_get_u16(w.bytes, payload + 32), 1) << "items";
  EXPECT_EQ(fixture_get_u16(w.bytes, payload + 34), 10) << "POINT14";
  EXPECT_EQ(fixture_get_u16(w.bytes, payload + 38), 3) << "version 3";

  LASheader legacy;
  legacy.point_data_format = 1;
  legacy.point_data_record_length = 28;
  LASwriterLAS writer;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(writer.open_stream(new ByteStreamOutNil(), &legacy, 2, 0, 0));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: adaptive chunking is depricated for point type 1.\n       only available for "
            "new LAS 1.4 point types 6 or higher.\n");
}

TEST(LASwriterLAS, MeasureHeaderWritesNothing) {
  LASheader h;
  h.insert_vlr("a", 1, 10, bytes_of(std::vector<uint8_t>(10, 1)));
  LASwriterLAS writer;
  ASSERT_TRUE(writer.measure_header(&h));
  EXPECT_EQ(writer.close_output(true), 227 + 54 + 10);
}

TEST(LASwriterLAS, CountMismatchIsWarnedAndRewritten) {
  LASheader h;
  h.number_of_point_records = 1000;
  const Written w = write_header(h, 0, 900);
  ASSERT_TRUE(w.opened);
  EXPECT_NE(w.err.find("WARNING: written 900 points but expected 1000 points\n"), std::string::npos)
      << w.err;
  EXPECT_EQ(fixture_get_u32(w.bytes, 107), 900u);

  LASheader h14;
  h14.version_minor = 4;
  h14.header_size = 375;
  h14.offset_to_point_data = 375;
  h14.point_data_format = 6;
  h14.point_data_record_length = 30;
  h14.extended_number_of_point_records = 10;
  const Written w14 = write_header(h14, 0, 4);
  EXPECT_EQ(fixture_get_u32(w14.bytes, 107), 0u) << "new point types keep the legacy count 0";
  EXPECT_EQ(fixture_get_u64(w14.bytes, 247), 4u);
}

TEST(LASwriterLAS, NotSeekableOutputWarnsInsteadOfUpdating) {
  LASheader h;
  h.version_minor = 4;
  h.header_size = 375;
  h.offset_to_point_data = 375;
  h.number_of_point_records = 5;
  h.start_of_first_extended_variable_length_record = 12345;  // stale
  h.insert_evlr("x", 1, 2, bytes_of({1, 2}));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::vector<uint8_t> received;
  std::thread drain([&] {
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
      received.insert(received.end(), buffer, buffer + n);
  });
  FILE* out = fdopen(fds[1], "wb");
  LASwriterLAS writer;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(writer.open_cfile(out, &h));
  const int64_t bytes = writer.close_output(true);
  const std::string err = testing::internal::GetCapturedStderr();
  std::fclose(out);
  drain.join();
  EXPECT_EQ(err,
            "WARNING: written 0 points but expected 5 points\n"
            "WARNING: stream not seekable. cannot update start of EVLRs from 12345 to 375.\n"
            "WARNING: stream not seekable. cannot update header from 5 to 0 points.\n");
  EXPECT_EQ(bytes, 375 + 60 + 2);
  ASSERT_EQ(received.size(), 375u + 60 + 2);
  EXPECT_EQ(fixture_get_u32(received, 107), 5u) << "left as written";
}

TEST(LASwriterLAS, RewriteHeaderFromInventory) {
  LASheader h;
  h.x_scale_factor = 0.5;
  auto* stream = new ByteStreamOutArrayLE();
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  ASSERT_TRUE(writer.open_stream(stream, &h));
  LASpoint point;
  point.init_for_point_type(&h, 0, 20, &h);
  point.X = 10;
  point.set_return_number(2);
  writer.add_to_inventory(&point);
  point.X = -4;
  writer.add_to_inventory(&point);
  ASSERT_TRUE(writer.rewrite_header(&h, true, false));
  testing::internal::CaptureStderr();
  writer.close_output(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: written 0 points but expected 2 points\n");
  std::vector<uint8_t> bytes(stream->get_data(), stream->get_data() + stream->get_size());
  delete stream;
  EXPECT_EQ(fixture_get_u32(bytes, 107), 2u);
  EXPECT_EQ(fixture_get_u32(bytes, 115), 2u) << "return number 2";
  EXPECT_EQ(fixture_get_f64(bytes, 179), 5.0) << "max_x";
  EXPECT_EQ(fixture_get_f64(bytes, 187), -2.0) << "min_x";

  LASwriterLAS closed;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(closed.rewrite_header(nullptr, true, false));
  EXPECT_FALSE(closed.rewrite_header(&h, true, false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: header pointer is zero\nERROR: stream pointer is zero\n");
}

}  // namespace
