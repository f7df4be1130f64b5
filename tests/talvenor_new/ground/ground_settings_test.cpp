#include "ground/ground_settings.hpp"

#include <gtest/gtest.h>

namespace {

struct ModeRow {
  const char* name;
  void (*set)(GroundSettings&);
  float step;
  int32_t sub;
  float spike;
  float offset;
};

const ModeRow kModes[] = {
    {"none", [](GroundSettings&) {}, 25, 5, GROUND_UNSET, GROUND_UNSET},
    {"metro", [](GroundSettings& s) { s.metro = true; }, 50, 7, GROUND_UNSET, GROUND_UNSET},
    {"city+metro", [](GroundSettings& s) { s.city = s.metro = true; }, 50, 7, GROUND_UNSET,
     GROUND_UNSET},
    {"town+nature", [](GroundSettings& s) { s.town = s.nature = true; }, 10, 4, GROUND_UNSET,
     GROUND_UNSET},
    {"nature", [](GroundSettings& s) { s.nature = true; }, 5, 3, GROUND_UNSET, GROUND_UNSET},
    {"wilderness", [](GroundSettings& s) { s.wilderness = true; }, 3, 3, GROUND_UNSET,
     GROUND_UNSET},
    {"archeology", [](GroundSettings& s) { s.archeology = true; }, 1, 3, 0.35f, 0.02f},
    {"archeology -spike 1",
     [](GroundSettings& s) {
       s.archeology = true;
       s.spike = 1;
     },
     1, 3, 1, 0.02f},
    {"-step 12", [](GroundSettings& s) { s.step = 12; }, 12, 4, GROUND_UNSET, GROUND_UNSET},
    {"-step 101", [](GroundSettings& s) { s.step = 101; }, 101, 9, GROUND_UNSET, GROUND_UNSET},
    {"-step 61", [](GroundSettings& s) { s.step = 61; }, 61, 8, GROUND_UNSET, GROUND_UNSET},
    {"-step 31", [](GroundSettings& s) { s.step = 31; }, 31, 6, GROUND_UNSET, GROUND_UNSET},
    {"-sub 5 metro",
     [](GroundSettings& s) {
       s.sub = 5;
       s.metro = true;
     },
     50, 5, GROUND_UNSET, GROUND_UNSET},
};

TEST(GroundSettings, ModesGiveStepAndSub) {
  for (const ModeRow& row : kModes) {
    GroundSettings s;
    row.set(s);
    derive_mode_settings(s);
    EXPECT_EQ(s.step, row.step) << row.name;
    EXPECT_EQ(s.sub, row.sub) << row.name;
    EXPECT_EQ(s.spike, row.spike) << row.name;
    EXPECT_EQ(s.offset, row.offset) << row.name;
  }
}

TEST(GroundSettings, ModeWord) {
  GroundSettings s;
  EXPECT_STREQ(ground_mode_word(s), "nature");
  s.wilderness = true;
  EXPECT_STREQ(ground_mode_word(s), "wilderness");
  s.metro = true;
  EXPECT_STREQ(ground_mode_word(s), "metro");
  s.town = true;
  EXPECT_STREQ(ground_mode_word(s), "town");
}

struct ParameterRow {
  const char* name;
  float step;
  int32_t sub;
  float bulge;  // GROUND_UNSET: derived
  bool horizontal_feet, vertical_feet;
  float file_step, finest;
  bool has_fine;
  float file_bulge, integration_bulge;
};

const ParameterRow kParameters[] = {
    {"step 25", 25, 5, GROUND_UNSET, false, false, 25, 2, true, 2, 0.75f},
    {"step 10", 10, 4, GROUND_UNSET, false, false, 10, 1.25f, false, 1, 0.5f},
    {"step 5", 5, 3, GROUND_UNSET, false, false, 5, 0.625f, false, 1, 0.25f},
    {"step 25 feet", 25, 5, GROUND_UNSET, true, true, 75, 6, true, 2, 0.75f},
    {"feet horizontally", 25, 5, GROUND_UNSET, true, false, 75, 6, true, 2.0f / 3, 0.25f},
    {"feet vertically", 25, 5, GROUND_UNSET, false, true, 25, 2, true, 6, 2.25f},
    {"-bulge 3", 25, 5, 3, false, false, 25, 2, true, 3, 1.5f},
};

TEST(GroundSettings, FileParameters) {
  for (const ParameterRow& row : kParameters) {
    GroundSettings s;
    s.step = row.step;
    s.sub = row.sub;
    s.bulge = row.bulge;
    const GroundParameters p = ground_parameters(s, row.horizontal_feet, row.vertical_feet);
    EXPECT_EQ(p.step, row.file_step) << row.name;
    EXPECT_EQ(p.finest, row.finest) << row.name;
    EXPECT_EQ(p.has_fine, row.has_fine) << row.name;
    EXPECT_FLOAT_EQ(p.bulge, row.file_bulge) << row.name;
    EXPECT_FLOAT_EQ(p.integration_bulge, row.integration_bulge) << row.name;
  }
}

TEST(GroundSettings, SpikeDownSpikeAndOffsetFollowTheVerticalUnit) {
  GroundSettings s;
  derive_mode_settings(s);
  GroundParameters p = ground_parameters(s, false, false);
  EXPECT_EQ(p.spike, 1.0f);
  EXPECT_EQ(p.down_spike, 1.0f);
  EXPECT_EQ(p.offset, 0.05f);
  s.spike = 1.5f;
  s.offset = 0.1f;
  p = ground_parameters(s, false, true);
  EXPECT_EQ(p.spike, 4.5f);
  EXPECT_EQ(p.down_spike, 4.5f);  // the spike's, before the feet factor, then tripled
  EXPECT_FLOAT_EQ(p.offset, 0.3f);
  s.down_spike = 2.5f;
  p = ground_parameters(s, false, false);
  EXPECT_EQ(p.down_spike, 2.5f);
}

}  // namespace
