#include "io/formats/las_writers_binary.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "writer_scene.hpp"

namespace {

using Scene = WriterScene;

// What a writer put into memory, and what it said.
struct Bytes {
  bool opened = false;
  std::vector<uint8_t> data;
  std::string err;
  int64_t closed = -2;
  bool all_written = true;

  int32_t i32(size_t at) const {
    int32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  }
  uint32_t u32(size_t at) const { return static_cast<uint32_t>(i32(at)); }
  uint16_t u16(size_t at) const {
    uint16_t v;
    std::memcpy(&v, data.data() + at, 2);
    return v;
  }
  double f64(size_t at) const {
    double v;
    std::memcpy(&v, data.data() + at, 8);
    return v;
  }
};

template <typename Writer, typename Open>
Bytes write_points(Writer& writer, Open open, const std::vector<const LASpoint*>& points,
                   bool update = true) {
  Bytes b;
  auto* stream = new ByteStreamOutArrayLE();
  writer.set_delete_stream(false);
  testing::internal::CaptureStderr();
  b.opened = open(stream);
  if (b.opened) {
    for (const LASpoint* p : points) b.all_written &= writer.write_one_point(p);
    b.closed = writer.close_output(update);
  }
  b.err = testing::internal::GetCapturedStderr();
  b.data.assign(stream->get_data(), stream->get_data() + stream->get_size());
  delete stream;
  return b;
}

Bytes write_bin(Scene& scene, const std::vector<const LASpoint*>& points,
                const char* version = "ts8", bool update = true) {
  LASwriterBIN writer;
  return write_points(
      writer, [&](ByteStreamOut* s) { return writer.open_stream(s, &scene.header, version); },
      points, update);
}

Bytes write_qfit(Scene& scene, const std::vector<const LASpoint*>& points, int32_t version = 40) {
  LASwriterQFIT writer;
  return write_points(
      writer, [&](ByteStreamOut* s) { return writer.open_stream(s, &scene.header, version); },
      points);
}

// --- BIN -------------------------------------------------------------------

// A point format 1 file at scale 0.01: every byte of header and record.
TEST(LASwriterBIN, HeaderAndRecordByHand) {
  Scene scene(1);
  LASpoint& p = scene.point;
  p.X = 1234;  // x = 12.34
  p.Y = -500;
  p.Z = 150;
  p.intensity = 20000;
  p.set_return_number(2);
  p.set_number_of_returns(3);
  p.class_byte = 0x26;  // class 6, synthetic
  p.point_source_ID = 300;
  p.gps_time = 1.0002;
  const Bytes b = write_bin(scene, {&p});
  ASSERT_TRUE(b.opened) << b.err;
  ASSERT_EQ(b.data.size(), 56u + 16 + 4);
  EXPECT_EQ(b.closed, 76);
  EXPECT_EQ(b.i32(0), 56);
  EXPECT_EQ(b.i32(4), 20010712);
  EXPECT_EQ(b.i32(8), 970401);
  EXPECT_EQ(std::string(b.data.begin() + 12, b.data.begin() + 16), "CXYZ");
  EXPECT_EQ(b.i32(16), 1);
  EXPECT_EQ(b.i32(20), 100);
  for (size_t at : {24, 32, 40}) {
    EXPECT_EQ(b.f64(at), 0.0);
    EXPECT_FALSE(std::signbit(b.f64(at))) << "an origin of +0.0, not -0.0";
  }
  EXPECT_EQ(b.i32(48), 1) << "time";
  EXPECT_EQ(b.i32(52), 0) << "colour";
  EXPECT_EQ(b.data[56], 6) << "class without the flag bits";
  EXPECT_EQ(b.data[57], 300 & 0xFF);
  EXPECT_EQ(b.u16(58), (2 << 14) | (20000 & 0x3FFF));
  EXPECT_EQ(b.i32(60), 1234);
  EXPECT_EQ(b.i32(64), -500);
  EXPECT_EQ(b.i32(68), 150);
  EXPECT_EQ(b.u32(72), 5001u);
  EXPECT_EQ(b.err, "");
}

// The point of the test before, behind offsets, as bytes written out by hand:
// little-endian whatever the host, the origins as well as the record's 32- and
// 16-bit fields and its time.
TEST(LASwriterBIN, BytesOfHeaderAndRecordAreLittleEndian) {
  Scene scene(1);
  scene.header.x_offset = 500000;
  scene.header.y_offset = 4000000;
  scene.header.z_offset = -10;
  LASpoint& p = scene.point;
  p.X = 1234;
  p.Y = -500;
  p.Z = 150;
  p.intensity = 20000;
  p.set_return_number(2);
  p.set_number_of_returns(3);
  p.class_byte = 0x26;
  p.point_source_ID = 300;
  p.gps_time = 1.0002;
  const Bytes b = write_bin(scene, {&p});
  ASSERT_TRUE(b.opened) << b.err;
  const std::vector<uint8_t> expected = {
      0x38, 0x00, 0x00, 0x00,                          // header size 56
      0xd8, 0x56, 0x31, 0x01,                          // version 20010712
      0xa1, 0xce, 0x0e, 0x00,                          // 970401
      'C',  'X',  'Y',  'Z',                           //
      0x01, 0x00, 0x00, 0x00,                          // one point
      0x64, 0x00, 0x00, 0x00,                          // units 100
      0x00, 0x00, 0x00, 0x00, 0x84, 0xd7, 0x87, 0xc1,  // origin x -50000000
      0x00, 0x00, 0x00, 0x00, 0x84, 0xd7, 0xb7, 0xc1,  // origin y -400000000
      0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x8f, 0x40,  // origin z 1000
      0x01, 0x00, 0x00, 0x00,                          // time
      0x00, 0x00, 0x00, 0x00,                          // no colour
      0x06, 0x2c,                                      // class 6, line 300 & 0xFF
      0x20, 0x8e,                                      // echo 2 << 14 | 20000 & 0x3FFF
      0xd2, 0x04, 0x00, 0x00,                          // x 1234
      0x0c, 0xfe, 0xff, 0xff,                          // y -500
      0x96, 0x00, 0x00, 0x00,                          // z 150
      0x89, 0x13, 0x00, 0x00,                          // time 5001 ticks
  };
  EXPECT_EQ(b.data, expected);
  EXPECT_EQ(b.err, "");
}

TEST(LASwriterBIN, UnitsAndOriginsFromScaleFactorsAndOffsets) {
  const double computed = 0.1 * 0.1;  // 0.010000000000000002
  const struct {
    double scale[3];
    double offset[3];
    int32_t units;
    double origin[3];
  } cases[] = {
      {{0.01, 0.01, 0.01}, {0, 0, 0}, 100, {0, 0, 0}},
      {{0.01, 0.01, 0.001}, {0, 0, 0}, 1000, {0, 0, 0}},
      {{0.001, 0.01, 0.01}, {0, 0, 0}, 1000, {0, 0, 0}},
      {{computed, computed, computed}, {0, 0, 0}, 100, {0, 0, 0}},
      {{0.3, 0.3, 0.3}, {0, 0, 0}, 3, {0, 0, 0}},
      {{10, 10, 10}, {0, 0, 0}, 1, {0, 0, 0}},
      {{0.01, 0.01, 0.01}, {500000, 4000000, -10}, 100, {-50000000, -400000000, 1000}},
  };
  for (const auto& c : cases) {
    Scene scene(0);
    scene.header.x_scale_factor = c.scale[0];
    scene.header.y_scale_factor = c.scale[1];
    scene.header.z_scale_factor = c.scale[2];
    scene.header.x_offset = c.offset[0];
    scene.header.y_offset = c.offset[1];
    scene.header.z_offset = c.offset[2];
    const Bytes b = write_bin(scene, {});
    ASSERT_TRUE(b.opened) << b.err;
    EXPECT_EQ(b.i32(20), c.units) << c.scale[0];
    EXPECT_NEAR(b.f64(24), c.origin[0], 1e-6);
    EXPECT_NEAR(b.f64(32), c.origin[1], 1e-6);
    EXPECT_NEAR(b.f64(40), c.origin[2], 1e-6);
  }
  Scene zero(0);
  zero.header.z_scale_factor = 0.0;
  const Bytes b = write_bin(zero, {});
  EXPECT_FALSE(b.opened);
  EXPECT_EQ(b.err, "ERROR: scale factors 0.01 0.01 0 give no terrasolid units\n");
}

TEST(LASwriterBIN, EchoCodesFromTheReturns) {
  const struct {
    bool extended;
    int r, n;
    int echo;
  } cases[] = {{false, 1, 1, 0}, {false, 1, 0, 0},  {false, 1, 2, 1}, {false, 2, 2, 3},
               {false, 1, 3, 1}, {false, 2, 3, 2},  {false, 3, 3, 3}, {false, 5, 3, 3},
               {true, 9, 12, 2}, {true, 12, 12, 3}, {true, 1, 15, 1}, {true, 1, 1, 0}};
  for (const auto& c : cases) {
    Scene scene(c.extended ? 6 : 0);
    if (c.extended) {
      scene.point.set_extended_return_number(static_cast<uint8_t>(c.r));
      scene.point.set_extended_number_of_returns(static_cast<uint8_t>(c.n));
    } else {
      scene.point.set_return_number(static_cast<uint8_t>(c.r));
      scene.point.set_number_of_returns(static_cast<uint8_t>(c.n));
    }
    const Bytes b = write_bin(scene, {&scene.point});
    ASSERT_TRUE(b.opened);
    EXPECT_EQ(b.u16(58) >> 14, c.echo) << c.r << " of " << c.n;
  }
}

// The flags say what each record carries, for the LAS 1.4 formats too, so
// that the file can be read back.
TEST(LASwriterBIN, TimeAndColourFlagsFollowThePointFormat) {
  const struct {
    int time, colour;
  } flags[11] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {1, 0}, {1, 1},
                 {1, 0}, {1, 1}, {1, 1}, {1, 0}, {1, 1}};
  for (uint8_t format = 0; format <= 10; format++) {
    Scene scene(format);
    scene.point.gps_time = 2.0;
    scene.point.rgb[0] = 0x1234;
    scene.point.rgb[1] = 0xFF;
    scene.point.rgb[2] = 0xFFFF;
    const Bytes b = write_bin(scene, {&scene.point, &scene.point});
    ASSERT_TRUE(b.opened);
    EXPECT_EQ(b.i32(48), flags[format].time) << int(format);
    EXPECT_EQ(b.i32(52), flags[format].colour) << int(format);
    const size_t stride = 16 + 4 * flags[format].time + 4 * flags[format].colour;
    ASSERT_EQ(b.data.size(), 56 + 2 * stride) << int(format);
    size_t after = 56 + stride + 16;
    if (flags[format].time) {
      EXPECT_EQ(b.u32(after), 10000u);
      after += 4;
    }
    if (flags[format].colour) {
      EXPECT_EQ(b.data[after], 0x12);
      EXPECT_EQ(b.data[after + 1], 0x00);
      EXPECT_EQ(b.data[after + 2], 0xFF);
      EXPECT_EQ(b.data[after + 3], 0x00);
    }
  }
}

TEST(LASwriterBIN, TwentyByteRecords) {
  Scene scene(0);
  LASpoint& p = scene.point;
  p.X = -7;
  p.Y = 8;
  p.Z = 9;
  p.set_classification(2);
  p.set_return_number(1);
  p.set_number_of_returns(2);
  p.point_source_ID = 65000;
  p.intensity = 60000;
  const Bytes b = write_bin(scene, {&p}, "ts16");
  ASSERT_TRUE(b.opened);
  EXPECT_EQ(b.i32(4), 20020715);
  ASSERT_EQ(b.data.size(), 76u);
  EXPECT_EQ(b.i32(56), -7);
  EXPECT_EQ(b.i32(60), 8);
  EXPECT_EQ(b.i32(64), 9);
  EXPECT_EQ(b.data[68], 2);
  EXPECT_EQ(b.data[69], 1) << "echo";
  EXPECT_EQ(b.data[70], 0);
  EXPECT_EQ(b.data[71], 0);
  EXPECT_EQ(b.u16(72), 65000);
  EXPECT_EQ(b.u16(74), 60000);
}

TEST(LASwriterBIN, ClosingPutsTheNumberWrittenIntoTheHeader) {
  Scene scene(0);
  scene.header.number_of_point_records = 5;
  Bytes b = write_bin(scene, {&scene.point, &scene.point});
  EXPECT_EQ(b.i32(16), 2);
  EXPECT_EQ(b.data.size(), 56u + 32);
  b = write_bin(scene, {&scene.point, &scene.point}, "ts8", false);
  EXPECT_EQ(b.i32(16), 5) << "left as announced without the update";
  scene.header.number_of_point_records = 0;
  scene.header.extended_number_of_point_records = 7;
  b = write_bin(scene, {});
  EXPECT_EQ(b.i32(16), 0);
}

// A pipe cannot be sought back to: when the points written are not the count the header
// announced, the output fails instead of leaving a header that reads other records.
TEST(LASwriterBIN, PipeWithAnotherCountThanAnnouncedFails) {
  struct Case {
    int points;
    int64_t closed;  // -1: failed
    const char* err;
  };
  const Case cases[] = {
      {5, 56 + 5 * 16, ""},
      {2, -1, "ERROR: stream not seekable. cannot update header from 5 to 2 points.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.points);
    Scene scene(0);
    scene.header.number_of_point_records = 5;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string drained;
    std::thread drain([&drained, fd = fds[0]] {
      char buffer[4096];
      ssize_t n;
      while ((n = read(fd, buffer, sizeof(buffer))) > 0) drained.append(buffer, size_t(n));
      close(fd);
    });
    FILE* out = fdopen(fds[1], "wb");
    LASwriterBIN writer;
    testing::internal::CaptureStderr();
    const bool opened = writer.open_cfile(out, &scene.header, "ts8");
    for (int i = 0; opened && i < c.points; i++) writer.write_one_point(&scene.point);
    const int64_t closed = opened ? writer.close_output(true) : -2;
    const std::string err = testing::internal::GetCapturedStderr();
    std::fclose(out);
    drain.join();
    EXPECT_EQ(closed, c.closed);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(drained.size(), 56u + size_t(c.points) * 16);
  }
}

TEST(LASwriterBIN, CoordinatesThatDoNotFitFailThePoint) {
  Scene scene(0);
  scene.header.z_scale_factor = 0.0001;  // units 10000: x = 3000000 m is 3e10 units
  scene.point.X = 300000000;
  const Bytes b = write_bin(scene, {&scene.point});
  ASSERT_TRUE(b.opened);
  EXPECT_FALSE(b.all_written);
  EXPECT_EQ(b.err,
            "ERROR: x coordinate 3000000 of point 1 does not fit the 32-bit integers of "
            "terrasolid BIN at 10000 units\n");
  EXPECT_EQ(b.data.size(), 56u) << "no record of the point";
  EXPECT_EQ(b.i32(16), 0);
}

TEST(LASwriterBIN, TimesBeyondThirtyTwoBitsWrapWithOneWarning) {
  Scene scene(1);
  scene.point.gps_time = 1e9;  // adjusted standard time: 5e12 ticks
  const Bytes b = write_bin(scene, {&scene.point, &scene.point});
  ASSERT_TRUE(b.opened);
  EXPECT_TRUE(b.all_written);
  EXPECT_EQ(b.u32(56 + 16), static_cast<uint32_t>(5000000000000ull));
  EXPECT_EQ(b.err,
            "WARNING: gps time 1000000000.000000 does not fit the 32-bit time of terrasolid BIN. "
            "times are written modulo 2^32 ticks of 0.0002 seconds.\n");
}

TEST(LASwriterBIN, FullDiskFailsTheOutput) {
  Scene scene(3);
  LASwriterBIN writer;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(writer.open_file("/dev/full", &scene.header, "ts8", 262144));
  EXPECT_TRUE(writer.write_one_point(&scene.point)) << "the stdio buffer takes it";
  EXPECT_EQ(writer.close_output(true), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot write to '/dev/full': No space left on device\n");
}

// --- QFIT ------------------------------------------------------------------

void geographic(Scene& scene) {
  LASheader& h = scene.header;
  h.x_scale_factor = 0.000001;
  h.y_scale_factor = 0.000001;
  h.z_scale_factor = 0.001;
  h.min_x = -71;
  h.max_x = -70;
  h.min_y = 42;
  h.max_y = 43;
}

// The geographic point of the QFIT record tests.
void set_qfit_point(Scene& scene) {
  geographic(scene);
  LASpoint& p = scene.point;
  p.X = -70500000;
  p.Y = 42250000;
  p.Z = 12345;
  p.intensity = 321;
  p.gps_time = 12.3456;
}

TEST(LASwriterQFIT, HeaderAndRecordByHand) {
  Scene scene(1);
  set_qfit_point(scene);
  LASpoint& p = scene.point;
  p.scan_angle_rank = 10;
  const Bytes b = write_qfit(scene, {&p});
  ASSERT_TRUE(b.opened) << b.err;
  ASSERT_EQ(b.data.size(), 80u + 40);
  EXPECT_EQ(b.closed, 120);
  EXPECT_EQ(b.i32(0), 40);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data.data() + 4)),
            "via LASwriterQFIT (version 210531)");
  EXPECT_EQ(b.data[39], 0);
  EXPECT_EQ(b.i32(40), -9000000);
  EXPECT_EQ(b.i32(44), 80);
  EXPECT_NE(b.data[48], 0) << "a line naming where the file comes from";
  EXPECT_EQ(b.data[79], 0);
  const int32_t expected[10] = {12346, 42250000, 289500000, 12345, 0, 321, 190000, 0, 0, 0};
  for (int w = 0; w < 10; w++) EXPECT_EQ(b.i32(80 + 4 * w), expected[w]) << "word " << w;
  EXPECT_EQ(b.err, "");
}

// The record of the test before as bytes written out by hand: little-endian
// words whatever the host, the azimuth taken from the extra bytes.
TEST(LASwriterQFIT, BytesOfRecordAreLittleEndian) {
  Scene scene(1, {writer_attribute(5, "scan azimuth")});
  set_qfit_point(scene);
  LASpoint& p = scene.point;
  const uint8_t azimuth[4] = {0x30, 0xe6, 0x02, 0x00};  // 190000, as LAS stores it
  std::memcpy(p.extra_bytes.get(), azimuth, 4);
  const Bytes b = write_qfit(scene, {&p});
  ASSERT_TRUE(b.opened) << b.err;
  ASSERT_EQ(b.data.size(), 80u + 40);
  using Run = std::vector<uint8_t>;
  EXPECT_EQ(Run(b.data.begin(), b.data.begin() + 4), (Run{0x28, 0x00, 0x00, 0x00}))
      << "record length 40";
  EXPECT_EQ(Run(b.data.begin() + 40, b.data.begin() + 48),
            (Run{0xc0, 0xab, 0x76, 0xff, 0x50, 0x00, 0x00, 0x00}))
      << "-9000000, then the first record at 80";
  const Run record = {
      0x3a, 0x30, 0x00, 0x00,  // 12346 ms
      0x10, 0xaf, 0x84, 0x02,  // latitude 42250000
      0x60, 0x6b, 0x41, 0x11,  // longitude 289500000
      0x39, 0x30, 0x00, 0x00,  // elevation 12345
      0x00, 0x00, 0x00, 0x00,  //
      0x41, 0x01, 0x00, 0x00,  // intensity 321
      0x30, 0xe6, 0x02, 0x00,  // azimuth 190000
      0x00, 0x00, 0x00, 0x00,  // pitch
      0x00, 0x00, 0x00, 0x00,  // roll
      0x00, 0x00, 0x00, 0x00,  //
  };
  EXPECT_EQ(Run(b.data.begin() + 80, b.data.end()), record);
  EXPECT_EQ(b.err, "");
}

// Raw integers go as they are at the QFIT quantization; any other is
// recomputed from the coordinates.
TEST(LASwriterQFIT, CoordinatesAtAnyQuantization) {
  Scene raw(0);
  geographic(raw);
  raw.point.X = -70123456;
  raw.point.Y = 42654321;
  raw.point.Z = -1500;
  Scene fine(0);
  geographic(fine);
  fine.header.x_scale_factor = 0.0000001;
  fine.header.y_scale_factor = 0.0000001;
  fine.header.z_scale_factor = 0.0001;
  fine.header.x_offset = -70;
  fine.header.y_offset = 40;
  fine.point.X = -1234560;
  fine.point.Y = 26543210;
  fine.point.Z = -15000;
  for (Scene* scene : {&raw, &fine}) {
    const Bytes b = write_qfit(*scene, {&scene->point});
    ASSERT_TRUE(b.opened);
    EXPECT_EQ(b.i32(84), 42654321);
    EXPECT_EQ(b.i32(88), 360000000 - 70123456);
    EXPECT_EQ(b.i32(92), -1500);
  }
}

TEST(LASwriterQFIT, ProjectedBoundsAreRefused) {
  Scene scene(0);
  scene.header.min_x = 500000;
  scene.header.max_x = 500100;
  scene.header.min_y = 4000000;
  scene.header.max_y = 4000100;
  const Bytes b = write_qfit(scene, {});
  EXPECT_FALSE(b.opened);
  EXPECT_EQ(
      b.err,
      "ERROR: bounding box (500000 4e+06 / 500100 4.0001e+06) exceeds longitude / latitude\n");
}

// Without stored attributes the scan angle takes the azimuth's place moved by
// 180 degrees, as the QFIT reader turns an azimuth back into a scan angle.
TEST(LASwriterQFIT, ScanAngleAsAzimuth) {
  const struct {
    uint8_t format;
    int angle;
    int32_t azimuth;
  } cases[] = {
      {1, 10, 190000}, {1, -20, 160000}, {1, -90, 90000}, {6, -5001, 149994}, {6, 15000, 270000}};
  for (const auto& c : cases) {
    Scene scene(c.format);
    geographic(scene);
    if (c.format > 5) {
      scene.point.extended_scan_angle = static_cast<int16_t>(c.angle);
    } else {
      scene.point.scan_angle_rank = static_cast<int8_t>(c.angle);
    }
    const Bytes b = write_qfit(scene, {&scene.point});
    EXPECT_EQ(b.i32(80 + 24), c.azimuth) << c.angle;
  }
}

TEST(LASwriterQFIT, AttributesAndRecordLengths) {
  Scene scene(1, {writer_attribute(5, "scan azimuth"), writer_attribute(5, "pitch"),
                  writer_attribute(5, "roll"), writer_attribute(0, "pulse width")});
  geographic(scene);
  const int32_t values[3] = {359999, -1000, 2000};
  std::memcpy(scene.point.extra_bytes.get(), values, 12);
  scene.point.extra_bytes[12] = 77;
  // Version 0 takes 48 for a file with pulse widths; 56 is taken as asked.
  for (int32_t version : {0, 48, 56}) {
    const Bytes b = write_qfit(scene, {&scene.point}, version);
    ASSERT_TRUE(b.opened);
    const size_t L = version == 56 ? 56 : 48;
    EXPECT_EQ(b.i32(0), static_cast<int32_t>(L));
    EXPECT_EQ(b.i32(L + 4), static_cast<int32_t>(2 * L));
    ASSERT_EQ(b.data.size(), 3 * L);
    EXPECT_EQ(b.i32(2 * L + 24), 359999);
    EXPECT_EQ(b.i32(2 * L + 28), -1000);
    EXPECT_EQ(b.i32(2 * L + 32), 2000);
    EXPECT_EQ(b.i32(2 * L + 40), 77);
    EXPECT_EQ(b.i32(2 * L + 44), 0);
  }
  const Bytes b = write_qfit(scene, {&scene.point}, 44);
  ASSERT_TRUE(b.opened);
  EXPECT_EQ(b.err, "WARNING: version 44 of QFIT unknown ... using 48\n");
  EXPECT_EQ(b.i32(0), 48);
  Scene plain(1);
  geographic(plain);
  EXPECT_EQ(write_qfit(plain, {}, 0).i32(0), 40);
}

TEST(LASwriterQFIT, TimesInMilliseconds) {
  const struct {
    double t;
    int32_t ms;
  } cases[] = {{0.0, 0}, {12.3456, 12346}, {-1.5, 1500}, {604799.9995, 604800000}};
  for (const auto& c : cases) {
    Scene scene(1);
    geographic(scene);
    scene.point.gps_time = c.t;
    const Bytes b = write_qfit(scene, {&scene.point});
    EXPECT_EQ(b.i32(80), c.ms) << c.t;
    EXPECT_EQ(b.err, "");
  }
}

TEST(LASwriterQFIT, FullDiskFailsTheOutput) {
  Scene scene(1);
  geographic(scene);
  LASwriterQFIT writer;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(writer.open_file("/dev/full", &scene.header, 40, 65536));
  writer.write_one_point(&scene.point);
  EXPECT_EQ(writer.close_output(true), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot write to '/dev/full': No space left on device\n");
}

}  // namespace
