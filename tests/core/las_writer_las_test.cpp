#include "core/las_writer_las.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
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

// A LAS 1.4 header of point format 6 without records.
void set_las14_format6(LASheader* h) {
  h->version_minor = 4;
  h->header_size = 375;
  h->offset_to_point_data = 375;
  h->point_data_format = 6;
  h->point_data_record_length = 30;
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
  set_las14_format6(&h);
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

// Bytes written to a pipe (which cannot seek), as a reader at its other end
// receives them.
struct Piped {
  bool opened = false;
  int64_t closed = 0;
  std::string err;
  std::vector<uint8_t> bytes;
};

Piped write_to_pipe(const LASheader& h, uint16_t compressor, int points) {
  Piped p;
  int fds[2];
  if (pipe(fds) != 0) return p;
  std::thread drain([&] {
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
      p.bytes.insert(p.bytes.end(), buffer, buffer + n);
  });
  FILE* out = fdopen(fds[1], "wb");
  LASwriterLAS writer;
  testing::internal::CaptureStderr();
  p.opened = writer.open_cfile(out, &h, compressor);
  if (p.opened) {
    LASpoint point;
    point.init_for_point_type(&h, h.point_data_format, h.point_data_record_length, &h);
    for (int i = 0; i < points; i++) {
      point.X = i;
      writer.write_one_point(&point);
    }
    p.closed = writer.close_output(true);
  }
  p.err = testing::internal::GetCapturedStderr();
  std::fclose(out);
  drain.join();
  return p;
}

// A stream that cannot seek back gets an EVLR start that is right when it is
// written: after the expected number of uncompressed points. Compressed
// points end at no known place, so their EVLRs are dropped with a warning,
// and so are those that the points written did not lead up to; a count that
// differs from the header's fails the output.
TEST(LASwriterLAS, NotSeekableOutputPlacesOrDropsEvlrs) {
  struct Case {
    const char* name;
    uint16_t compressor;
    int points;
    std::string err;
    uint64_t start;  // in the header written
    uint32_t count;
    size_t size;
  };
  const Case cases[] = {
      {"all points", LAScompressorKind::raw, 5, "", 375 + 5 * 20, 1, 375 + 5 * 20 + 62},
      {"no point", LAScompressorKind::raw, 0,
       "WARNING: written 0 points but expected 5 points\n"
       "WARNING: stream not seekable. cannot write 1 EVLRs at 375 instead of 475.\n"
       "ERROR: stream not seekable. cannot update header from 5 to 0 points.\n",
       475, 1, 375},
      {"compressed", LAScompressorKind::sequential_chunked, 5,
       "WARNING: stream not seekable. dropping 1 EVLRs that cannot be placed after compressed "
       "points.\n",
       0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LASheader h;
    h.version_minor = 4;
    h.header_size = 375;
    h.offset_to_point_data = 375;
    h.number_of_point_records = 5;
    h.start_of_first_extended_variable_length_record = 12345;  // stale
    h.insert_evlr("x", 1, 2, bytes_of({1, 2}));
    const Piped p = write_to_pipe(h, c.compressor, c.points);
    ASSERT_TRUE(p.opened) << p.err;
    EXPECT_EQ(p.err, c.err);
    // A header that says other points than follow it is a failed output.
    EXPECT_EQ(p.closed < 0, c.points != 5);
    ASSERT_GE(p.bytes.size(), 375u);
    EXPECT_EQ(fixture_get_u64(p.bytes, 235), c.start);
    EXPECT_EQ(fixture_get_u32(p.bytes, 243), c.count);
    EXPECT_EQ(fixture_get_u32(p.bytes, 107), 5u) << "left as written";
    if (c.size) {
      EXPECT_EQ(p.bytes.size(), c.size);
    }
    if (c.points == 5) {
      // What was written opens and reads again, with the EVLRs it announces.
      LASreaderLAS reader;
      ASSERT_TRUE(reader.open_stream(
          new ByteStreamInArrayLE(p.bytes.data(), static_cast<int64_t>(p.bytes.size()))));
      EXPECT_EQ(reader.header.evlrs.size(), c.count);
      int n = 0;
      while (reader.read_point()) EXPECT_EQ(reader.point.X, n++);
      EXPECT_EQ(n, 5);
    }
  }
}

// Memory whose seeks fail once the allowance is spent, as a file whose seek
// fails does.
class SeekFailingStream : public ByteStreamOutArrayLE {
 public:
  int seeks_left = INT_MAX;
  int seeks_made = 0;
  bool seek_to(int64_t offset) override { return spend() && ByteStreamOutArrayLE::seek_to(offset); }
  bool seek_to_end() override { return spend() && ByteStreamOutArrayLE::seek_to_end(); }

 private:
  bool spend() {
    seeks_made++;
    return seeks_left-- > 0;
  }
};

// A LAS 1.4 file whose close patches the header twice (the EVLR start it did
// not know and the point count it did not get) and, compressed, the chunk
// table's place; or one whose header is rewritten from the inventory. Each
// seek of that work fails in turn: the close or the rewrite must fail with an
// ERROR line, and succeeds when no seek fails.
TEST(LASwriterLAS, AFailedSeekWhileUpdatingTheHeaderFailsTheClose) {
  LASheader h;
  set_las14_format6(&h);
  h.extended_number_of_point_records = 10;
  h.insert_evlr("x", 1, 3, bytes_of({1, 2, 3}));
  h.start_of_first_extended_variable_length_record = 99;  // stale
  struct Case {
    const char* name;
    uint16_t compressor;
    bool rewrite;  // rewrite the header from the inventory before the close
    bool use_inventory;
  };
  const Case cases[] = {
      {"close", LAScompressorKind::raw, false, false},
      {"compressed close", LAScompressorKind::multistream_chunked, false, false},
      {"rewrite from inventory", LAScompressorKind::raw, true, true},
      {"rewrite from header", LAScompressorKind::raw, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int allowed = 0;; allowed++) {
      SCOPED_TRACE(allowed);
      SeekFailingStream stream;
      LASwriterLAS writer;
      writer.set_delete_stream(false);
      ASSERT_TRUE(writer.open_stream(&stream, &h, c.compressor));
      LASpoint point;
      point.init_for_point_type(&h, 6, 30, &h);
      for (int i = 0; i < 4; i++) {
        point.X = i;
        writer.add_to_inventory(&point);
        ASSERT_TRUE(writer.write_one_point(&point));
      }
      stream.seeks_left = allowed;
      stream.seeks_made = 0;
      testing::internal::CaptureStderr();
      bool ok;
      if (c.rewrite) {
        ok = writer.rewrite_header(&h, c.use_inventory, false);
        stream.seeks_left = INT_MAX;  // only the rewrite's seeks fail
        const int made = stream.seeks_made;
        writer.close_output(true);
        stream.seeks_made = made;
      } else {
        ok = writer.close_output(true) > 0;
      }
      const std::string err = testing::internal::GetCapturedStderr();
      if (stream.seeks_made <= allowed) {
        // Every seek went through.
        EXPECT_TRUE(ok) << err;
        EXPECT_EQ(err.find("ERROR"), std::string::npos) << err;
        EXPECT_GT(allowed, 0) << "the case makes no seek";
        break;
      }
      EXPECT_FALSE(ok) << err;
      EXPECT_NE(err.find("ERROR: "), std::string::npos) << err;
    }
  }
}

// A header whose item list (from a VPK file) disagrees with its point format
// and record length, or lists its items out of the standard order: the records
// written are what the items make, the header says so, and every field reads
// back. Uncompressed records go in the standard order where a format holds the
// same items, and otherwise with their item list.
TEST(LASwriterLAS, RecordsFollowTheItemList) {
  using T = LASitem;
  const LASitem P10{T::POINT10, 20, 2}, GPS{T::GPSTIME11, 8, 2}, RGB{T::RGB12, 6, 2},
      WAVE{T::WAVEPACKET13, 29, 1}, EXTRA{T::BYTE, 3, 2};
  struct Case {
    const char* name;
    std::vector<LASitem> items;  // none: no compressor record in the header
    uint8_t header_format;
    uint16_t header_length;
    uint16_t compressor;
    uint8_t format;   // written
    uint16_t length;  // written
    bool item_list;   // a compressor record is written
  };
  const Case cases[] = {
      {"items out of order", {P10, RGB, GPS}, 3, 34, LAScompressorKind::raw, 3, 34, false},
      {"out of order with extra bytes",
       {P10, EXTRA, GPS, RGB},
       3,
       37,
       LAScompressorKind::raw,
       3,
       37,
       false},
      {"format 3 over format-1 items", {P10, GPS}, 3, 28, LAScompressorKind::raw, 1, 28, false},
      {"length 34 over 28 bytes of items", {P10, GPS}, 1, 34, LAScompressorKind::raw, 1, 28, false},
      {"no standard format", {P10, RGB, WAVE}, 5, 55, LAScompressorKind::raw, 5, 55, true},
      {"compressed out of order",
       {P10, RGB, GPS},
       3,
       34,
       LAScompressorKind::sequential_chunked,
       3,
       34,
       true},
      {"record length below the format's", {}, 1, 20, LAScompressorKind::raw, 1, 28, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LASheader h;
    h.point_data_format = c.header_format;
    h.point_data_record_length = c.header_length;
    h.number_of_point_records = 10;
    LASpoint point;
    if (!c.items.empty()) {
      h.vlr_compressor.reset(new LAScompressorSetup);
      ASSERT_TRUE(h.vlr_compressor->setup(static_cast<uint16_t>(c.items.size()), c.items.data(),
                                          LAScompressorKind::raw));
      ASSERT_TRUE(
          point.init_for_items(&h, static_cast<uint16_t>(c.items.size()), c.items.data(), &h));
    } else {
      testing::internal::CaptureStderr();
      ASSERT_TRUE(point.init_for_point_type(&h, c.header_format, c.header_length, &h));
      testing::internal::GetCapturedStderr();
    }
    auto* stream = new ByteStreamOutArrayLE();
    LASwriterLAS writer;
    writer.set_delete_stream(false);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(writer.open_stream(stream, &h, c.compressor));
    for (int i = 0; i < 10; i++) {
      point.X = i;
      point.intensity = static_cast<uint16_t>(100 + i);
      point.gps_time = 1000.5 + i;
      point.rgb[0] = static_cast<uint16_t>(7 * i);
      point.rgb[2] = static_cast<uint16_t>(9 * i);
      point.wavepacket.data[5] = static_cast<uint8_t>(i);
      if (point.extra_bytes_number > 0) point.extra_bytes[point.extra_bytes_number - 1] = 'a' + i;
      ASSERT_TRUE(writer.write_one_point(&point));
    }
    ASSERT_GT(writer.close_output(true), 0);
    testing::internal::GetCapturedStderr();
    const std::vector<uint8_t> bytes(stream->get_data(), stream->get_data() + stream->get_size());
    delete stream;

    EXPECT_EQ(bytes[104] & 0x7F, c.format);
    EXPECT_EQ(fixture_get_u16(bytes, 105), c.length);
    EXPECT_EQ(fixture_get_u32(bytes, 100), c.item_list ? 1u : 0u) << "VLRs";
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    if (!c.item_list) {
      // Records of the standard layout, as any LAS reader takes them.
      FixtureContents contents;
      std::string error;
      ASSERT_TRUE(fixture_read_bytes(bytes, &contents, &error)) << error;
      ASSERT_EQ(contents.points.size(), 10u);
      for (int i = 0; i < 10; i++) {
        const FixturePoint& f = contents.points[static_cast<size_t>(i)];
        EXPECT_EQ(f.X, i);
        EXPECT_EQ(f.intensity, 100 + i);
        EXPECT_EQ(f.gps_time, point.have_gps_time ? 1000.5 + i : 0.0);
        EXPECT_EQ(f.rgb[2], point.have_rgb ? 9 * i : 0);
        if (point.extra_bytes_number > 0) {
          EXPECT_EQ(f.extra_bytes.back(), 'a' + i);
        }
      }
    }
    int n = 0;
    for (; reader.read_point(); n++) {
      const LASpoint& q = reader.point;
      EXPECT_EQ(q.X, n);
      EXPECT_EQ(q.intensity, 100 + n);
      EXPECT_EQ(q.gps_time, q.have_gps_time ? 1000.5 + n : 0.0);
      EXPECT_EQ(q.rgb[0], q.have_rgb ? 7 * n : 0);
      EXPECT_EQ(q.rgb[2], q.have_rgb ? 9 * n : 0);
      EXPECT_EQ(q.wavepacket.data[5], q.have_wavepacket ? n : 0);
      if (q.extra_bytes_number > 0) {
        EXPECT_EQ(q.extra_bytes[q.extra_bytes_number - 1], 'a' + n);
      }
    }
    EXPECT_EQ(n, 10);
  }
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
