// Damaged projection records: every cut of the well-known texts and random key lists are read
// without reading past their ends (the sanitizer build checks) and without a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fixture_random.hpp"
#include "geo/las_geo_projector.hpp"
#include "hand_tables.hpp"
#include "wkt_fixtures.hpp"

namespace {

// Each text cut at every length, in a buffer of exactly that length plus its zero.
TEST(DamagedInput, EveryPrefixOfTheTexts) {
  HandTables tables;
  testing::internal::CaptureStderr();
  for (const char* text : kWktFixtures) {
    const size_t n = std::strlen(text);
    for (size_t cut = 0; cut <= n; cut++) {
      std::unique_ptr<char[]> prefix(new char[cut + 1]);
      std::memcpy(prefix.get(), text, cut);
      prefix[cut] = '\0';
      LASgeoProjector geo;
      geo.set_projection_from_ogc_wkt(prefix.get(), nullptr);
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST(DamagedInput, TextsWithBytesChanged) {
  HandTables tables;
  FixtureRandom random(24);
  const char alphabet[] = "[],\"0123456789.-eEAUTHORITYUNITVERT_CSPROJCS ";
  testing::internal::CaptureStderr();
  for (const char* text : kWktFixtures) {
    for (int round = 0; round < 300; round++) {
      std::string changed = text;
      for (int k = 0; k < 4; k++) {
        changed[random.below(uint32_t(changed.size()))] =
            alphabet[random.below(sizeof(alphabet) - 1)];
      }
      std::unique_ptr<char[]> copy(new char[changed.size() + 1]);
      std::memcpy(copy.get(), changed.c_str(), changed.size() + 1);
      LASgeoProjector geo;
      geo.set_projection_from_ogc_wkt(copy.get(), nullptr);
    }
  }
  testing::internal::GetCapturedStderr();
}

// Random key lists over the keys that are read, with values near the meaningful ones and
// parameter indices inside and outside the doubles; written back where a projection resulted.
TEST(DamagedInput, RandomKeyLists) {
  HandTables tables;  // codes that need a table fail quickly
  FixtureRandom random(2024);
  const uint16_t ids[] = {1024, 2048, 2050, 2052, 2056, 3072, 3075, 3076, 3078, 3079,
                          3080, 3081, 3082, 3083, 3084, 3085, 3086, 3087, 3088, 3089,
                          3092, 3093, 3094, 3096, 4096, 4099, 1,    65535};
  const uint16_t values[] = {0,    1,    2,    3,    7,    8,     11,    16,    4326, 4267, 4269,
                             6326, 7030, 9001, 9002, 9003, 32611, 32767, 26915, 5103, 65535};
  testing::internal::CaptureStderr();
  for (int round = 0; round < 2000; round++) {
    std::vector<GeoKeyEntry> keys(random.below(12));
    for (GeoKeyEntry& k : keys) {
      k.key_id = ids[random.below(sizeof(ids) / sizeof(ids[0]))];
      k.tiff_tag_location = random.below(3) ? 34736 : uint16_t(random.below(3) ? 0 : 34737);
      k.count = 1;
      k.value_offset = random.below(2) ? values[random.below(sizeof(values) / sizeof(values[0]))]
                                       : uint16_t(random.below(10));
    }
    std::unique_ptr<double[]> doubles;
    const int count = int(random.below(8));
    if (count) {
      doubles.reset(new double[count]);
      for (int k = 0; k < count; k++) doubles[k] = random.uniform(-1e7, 1e7);
    }
    LASgeoProjector geo;
    geo.set_projection_from_geo_keys(int(keys.size()), keys.data(), nullptr, doubles.get(), count,
                                     nullptr, true);
    std::vector<GeoKeyEntry> out;
    std::vector<double> out_doubles;
    geo.get_geo_keys_from_projection(out, out_doubles, true);
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
