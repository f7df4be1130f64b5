#include "sr_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "raster_fixtures.hpp"
#include "sr_reader_asc.hpp"
#include "sr_reader_factory.hpp"

using raster_fixtures::ScopedTempDir;

namespace {

struct QuantizeCase {
  double v;
  bool ok;
  int32_t expected;
};

TEST(SRreaderQuantize, RoundsHalfAwayFromZeroAtHundredths) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const QuantizeCase cases[] = {
      {12.344, true, 1234},
      {-12.346, true, -1235},
      {0.004, true, 0},
      {-0.004, true, 0},
      {2.5, true, 250},
      {-9999.0, true, -999900},
      {21474836.47, true, INT32_MAX},
      {21474836.48, false, 0},  // one past INT32_MAX
      {-21474836.46, true, SR_VALUE_MIN},
      {-21474836.47, false, 0},  // reserved for the sentinels
      {1e300, false, 0},
      {-3.4e38, false, 0},
      {nan, false, 0},
      {inf, false, 0},
      {-inf, false, 0},
  };
  for (const auto& c : cases) {
    int32_t out = 77;
    bool ok = sr_quantize(c.v, 0.0, 0.01, &out);
    EXPECT_EQ(ok, c.ok) << c.v;
    if (c.ok) {
      EXPECT_EQ(out, c.expected) << c.v;
    } else {
      EXPECT_EQ(out, 77) << "output untouched for " << c.v;
    }
  }
}

TEST(SRreaderQuantize, HalvesGoAwayFromZero) {
  const struct {
    double q;
    int32_t expected;
  } cases[] = {{0.5, 1}, {-0.5, -1}, {1.5, 2}, {-1.5, -2}, {2.4999, 2}, {-2.4999, -2}, {0.0, 0}};
  for (const auto& c : cases) {
    int32_t out = 0;
    ASSERT_TRUE(sr_round(c.q, &out));
    EXPECT_EQ(out, c.expected) << c.q;
  }
}

TEST(SRreaderBase, FieldsBeforeOpen) {
  SRreader_asc r;
  EXPECT_EQ(r.nrows, -1);
  EXPECT_EQ(r.ncols, -1);
  EXPECT_EQ(r.nbits, -1);
  EXPECT_EQ(r.nbands, -1);
  EXPECT_EQ(r.nodata, -9999);
  EXPECT_FALSE(r.is_unsigned);
  EXPECT_FALSE(r.is_float);
  EXPECT_TRUE(r.axis_aligned);
  EXPECT_EQ(r.llx, -32767.0);
  EXPECT_EQ(r.stepy, -32767.0);
  EXPECT_EQ(r.stepx_y, 0.0);
  EXPECT_EQ(r.r_count, -1);
  EXPECT_FALSE(r.query());
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(r.value[i], -1);
    EXPECT_EQ(r.scale[i], 1.0);
    EXPECT_EQ(r.offset[i], 0.0);
  }
  r.set_rescale(0.001);
  EXPECT_TRUE(r.rescale);
  EXPECT_EQ(r.scale[9], 0.001);
}

TEST(SRreaderBase, WorldAndRasterCoordinates) {
  SRreader_asc r;
  r.llx = 100.0;
  r.ury = 200.0;
  r.stepx = 2.0;
  r.stepy = 4.0;
  const double world[3] = {103.0, 190.0, 7.5};
  float rc[3];
  r.world_to_raster(world, rc);
  EXPECT_FLOAT_EQ(rc[0], 1.0f);
  EXPECT_FLOAT_EQ(rc[1], 2.0f);
  EXPECT_FLOAT_EQ(rc[2], 7.5f);
  double back[3];
  r.raster_to_world(rc, back);
  EXPECT_DOUBLE_EQ(back[0], 102.0);
  EXPECT_DOUBLE_EQ(back[1], 192.0);
  EXPECT_DOUBLE_EQ(back[2], 7.5);
}

struct FactoryCase {
  const char* extension;
  const char* expected_error;  // nullptr: opens
};

TEST(SRreaderFactory, ChoosesByExactExtension) {
  ScopedTempDir dir;
  ASSERT_TRUE(raster_fixtures::write_text(
      dir.file("g.asc"),
      "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2\n"));
  const FactoryCase cases[] = {
      {"asc", nullptr},
      {"ASC", nullptr},
      {"Asc", "ERROR: unknown raster format 'Asc'.\n"},
      {"Tif", "ERROR: unknown raster format 'Tif'.\n"},
      {"tiff", "ERROR: unknown raster format 'tiff'.\n"},
      {"", "ERROR: unknown raster format ''.\n"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    std::unique_ptr<SRreader> r(open_raster_reader(c.extension, dir.file("g.asc").c_str()));
    std::string err = testing::internal::GetCapturedStderr();
    if (c.expected_error) {
      EXPECT_EQ(r, nullptr) << c.extension;
      EXPECT_EQ(err, c.expected_error);
    } else {
      ASSERT_NE(r, nullptr) << c.extension;
      EXPECT_EQ(err, "");
      EXPECT_EQ(r->ncols, 2);
    }
  }
  EXPECT_EQ(open_raster_reader(nullptr, "a.asc"), nullptr);
  EXPECT_EQ(open_raster_reader("asc", nullptr), nullptr);
}

TEST(SRreaderFactory, MissingVpkRasterIsRefusedByItsReader) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_raster_reader("vpk", "no-such-dem.vpk"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  const std::string tail = "ERROR: cannot open lasreaderlas with file name 'no-such-dem.vpk'\n";
  ASSERT_GE(err.size(), tail.size()) << err;
  EXPECT_EQ(err.substr(err.size() - tail.size()), tail);
}

TEST(SRreaderFactory, FailedOpenReturnsNothing) {
  ScopedTempDir dir;
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_raster_reader("asc", dir.file("missing.asc").c_str()), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "ERROR in SRreader_asc::open(): cannot open '" + dir.file("missing.asc") + "'\n");
}

TEST(SRreaderClose, CountWarningOnlyWhenCellsWereMissedAndOnlyOnce) {
  ScopedTempDir dir;
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("g.asc"),
                                          "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize "
                                          "1\nNODATA_value -9999\n1 2 3\n4 5 6\n"));
  for (int reads : {6, 4}) {
    SRreader_asc r;
    ASSERT_TRUE(r.open(dir.file("g.asc").c_str()));
    for (int i = 0; i < reads; i++) ASSERT_TRUE(r.read_value());
    testing::internal::CaptureStderr();
    r.close(true);
    r.close(true);
    std::string err = testing::internal::GetCapturedStderr();
    if (reads == 6) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(err, "WARNING (SRreader_asc): r_count is 4 but nrows (2) * ncols (3) is 6\n");
    }
    EXPECT_EQ(r.r_count, -1);
  }
}

}  // namespace
