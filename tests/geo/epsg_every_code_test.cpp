// Every EPSG code that the projector accepts, from the tables the build generated and the
// built-in ranges, written as keys: one coordinate system, named by its own code, in the units of
// its table row, and read back as the same system.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "epsg_table_codes.hpp"
#include "geo/las_geo_projector.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Rows = std::vector<std::vector<uint16_t>>;

Rows as_rows(const std::vector<GeoKeyEntry>& keys) {
  Rows rows;
  for (const GeoKeyEntry& k : keys) {
    rows.push_back({k.key_id, k.tiff_tag_location, k.count, k.value_offset});
  }
  return rows;
}

// A projector that finds the generated tables beside the test program.
class EveryCode {
 public:
  EveryCode() {
    ArgVector args({});
    geo.parse(args.argc(), args.argv());
  }
  LASgeoProjector geo;
};

TEST(EpsgEveryCode, WrittenKeysNameOneSystemReadBackAlike) {
  int accepted = 0;
  const std::vector<EpsgTableCode> codes =
      epsg_candidate_codes(LASgeoProjector::table_folder("prog"));
  ASSERT_GT(codes.size(), 5000u);
  for (const EpsgTableCode& c : codes) {
    EveryCode written;
    CaptureStderr();
    const bool ok = written.geo.set_epsg_code(uint16_t(c.code), nullptr, true);
    // Refused rows say why; they are not the subject here. Accepted ones may warn.
    const std::string warnings = GetCapturedStderr();
    if (!ok) continue;
    accepted++;
    std::vector<GeoKeyEntry> keys;
    std::vector<double> doubles;
    ASSERT_TRUE(written.geo.get_geo_keys_from_projection(keys, doubles, true)) << c.code;
    EXPECT_TRUE(doubles.empty()) << c.code;
    const uint16_t code = uint16_t(c.code);
    if (c.code == 4326) {
      EXPECT_EQ(as_rows(keys), (Rows{{1024, 0, 1, 2}, {2048, 0, 1, 4326}, {4099, 0, 1, 9001}}));
      continue;
    }
    if (c.code == 4978) {
      EXPECT_EQ(as_rows(keys), (Rows{{1024, 0, 1, 3}, {2048, 0, 1, 4326}}));
      continue;
    }
    const uint16_t unit = uint16_t(c.unit ? c.unit : EPSG_UNIT_METRE);
    EXPECT_EQ(as_rows(keys),
              (Rows{{1024, 0, 1, 1}, {3072, 0, 1, code}, {3076, 0, 1, unit}, {4099, 0, 1, 9001}}))
        << c.code;

    EveryCode read;
    CaptureStderr();
    EXPECT_TRUE(read.geo.set_projection_from_geo_keys(int(keys.size()), keys.data(), nullptr,
                                                      nullptr, 0, nullptr, true))
        << c.code;
    EXPECT_EQ(GetCapturedStderr(), warnings) << c.code;
    const ProjectionRecord* a = written.geo.get_projection(true);
    const ProjectionRecord* b = read.geo.get_projection(true);
    ASSERT_NE(b, nullptr) << c.code;
    EXPECT_EQ(b->kind, a->kind) << c.code;
    EXPECT_EQ(b->epsg_code, code) << c.code;
    EXPECT_EQ(b->false_easting, a->false_easting) << c.code;
    EXPECT_EQ(b->false_northing, a->false_northing) << c.code;
    EXPECT_EQ(b->latitude, a->latitude) << c.code;
    EXPECT_EQ(b->longitude, a->longitude) << c.code;
    EXPECT_EQ(read.geo.get_horizontal_unit_epsg(true), unit) << c.code;
    EXPECT_EQ(read.geo.get_gcs_code(), written.geo.get_gcs_code()) << c.code;
  }
  // The tables hold thousands of usable systems; a generator that lost them fails here.
  EXPECT_GT(accepted, 4000);
  std::printf("%d accepted EPSG codes\n", accepted);
}

}  // namespace
