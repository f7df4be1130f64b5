// Units and projections through talvenor_new: from the projection options, from a file's
// GeoKeys or well-known text, and the command-line projection in the output header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_header.hpp"
#include "epsg_table_codes.hpp"
#include "geo/geo_header_records.hpp"
#include "geo/las_geo_projector.hpp"
#include "geo_same_system.hpp"
#include "ground_projection.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "wkt_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

void put16(std::vector<uint8_t>& bytes, uint16_t v) {
  bytes.push_back(uint8_t(v & 0xFF));
  bytes.push_back(uint8_t(v >> 8));
}

FixtureVlr projection_vlr(uint16_t record_id, std::vector<uint8_t> data) {
  FixtureVlr vlr;
  vlr.user_id = "LASF_Projection";
  vlr.record_id = record_id;
  vlr.data = std::move(data);
  return vlr;
}

// A GeoKey directory record of key entries (key, location, count, value).
FixtureVlr geo_keys_vlr(const std::vector<std::vector<uint16_t>>& keys) {
  std::vector<uint8_t> bytes;
  for (uint16_t v : {1, 1, 0, int(keys.size())}) put16(bytes, uint16_t(v));
  for (const auto& k : keys) {
    for (uint16_t v : k) put16(bytes, v);
  }
  return projection_vlr(34735, bytes);
}

FixtureVlr text_vlr(uint16_t record_id, const std::string& text) {
  return projection_vlr(record_id, std::vector<uint8_t>(text.begin(), text.end()));
}

// The key entries of a file's GeoKey directory (its own first entry left out); empty without.
std::vector<std::vector<uint16_t>> file_keys(const FixtureContents& contents) {
  std::vector<std::vector<uint16_t>> keys;
  for (const FixtureVlr& vlr : contents.file.vlrs) {
    if (vlr.user_id != "LASF_Projection" || vlr.record_id != 34735) continue;
    auto at = [&vlr](size_t k) { return uint16_t(vlr.data[2 * k] | (vlr.data[2 * k + 1] << 8)); };
    EXPECT_EQ((std::vector<uint16_t>{at(0), at(1), at(2)}), (std::vector<uint16_t>{1, 1, 0}));
    for (size_t e = 1; e <= at(3); e++) {
      keys.push_back({at(4 * e), at(4 * e + 1), at(4 * e + 2), at(4 * e + 3)});
    }
  }
  return keys;
}

bool has_record(const FixtureContents& contents, uint16_t record_id) {
  for (const FixtureVlr& vlr : contents.file.vlrs) {
    if (vlr.user_id == "LASF_Projection" && vlr.record_id == record_id) return true;
  }
  return false;
}

// Projection records of either kind, VLRs and EVLRs alike.
int projection_records(const FixtureContents& contents, uint16_t record_id) {
  int n = 0;
  for (const FixtureVlr& vlr : contents.file.vlrs) {
    n += vlr.user_id == "LASF_Projection" && vlr.record_id == record_id;
  }
  for (const FixtureEvlr& evlr : contents.file.evlrs) {
    n += evlr.user_id == "LASF_Projection" && evlr.record_id == record_id;
  }
  return n;
}

constexpr uint16_t kWktBit = 0x10;

// The text of the file's one coordinate system record (VLR or EVLR) without the zero that must
// end it; empty when there is not exactly one, or it has no zero.
std::string file_text(const FixtureContents& contents) {
  std::vector<const std::vector<uint8_t>*> texts;
  for (const FixtureVlr& vlr : contents.file.vlrs) {
    if (vlr.user_id == "LASF_Projection" && vlr.record_id == 2112) texts.push_back(&vlr.data);
  }
  for (const FixtureEvlr& evlr : contents.file.evlrs) {
    if (evlr.user_id == "LASF_Projection" && evlr.record_id == 2112) texts.push_back(&evlr.data);
  }
  if (texts.size() != 1 || texts[0]->empty() || texts[0]->back() != 0) return std::string();
  return std::string(texts[0]->begin(), texts[0]->end() - 1);
}

// The projected code that our own reader finds in a text (0: none).
int text_code(const std::string& text) {
  ArgVector args({});
  LASgeoProjector geo;
  EXPECT_TRUE(geo.parse(args.argc(), args.argv()));
  testing::internal::CaptureStderr();
  geo.set_projection_from_ogc_wkt(text.c_str(), nullptr);
  testing::internal::GetCapturedStderr();
  const ProjectionRecord* p = geo.get_projection(true);
  return p ? p->epsg_code : 0;
}

class TalvenorProjection : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path().empty()); }

  // A small scene with these projection records.
  void write(const std::string& name, const std::vector<FixtureVlr>& vlrs) {
    static const Scene scene = make_scene(scene_params(ScenePreset::kFlat, 40.0, 1.0, 5));
    FixtureFile file = scene_fixture_file(scene);
    file.vlrs = vlrs;
    ASSERT_TRUE(fixture_write_file(dir.file(name), file, scene_fixture_points(scene)));
  }

  // A LAS 1.4 file of point format 6 that names its coordinate system as text, the way such a
  // file must (text in a VLR or an EVLR, and the bit that says so), with `points` points of the
  // scene (0: all).
  void write_with_text(const std::string& name, const std::string& wkt, bool in_evlr,
                       size_t points = 0, const std::vector<FixtureVlr>& more = {}) {
    static const Scene scene = make_scene(scene_params(ScenePreset::kFlat, 40.0, 1.0, 5));
    SceneLasOptions options;
    options.version_minor = 4;
    options.point_data_format = 6;
    FixtureFile file = scene_fixture_file(scene, options);
    file.global_encoding = kWktBit;
    std::vector<uint8_t> text(wkt.begin(), wkt.end());
    text.push_back(0);
    if (in_evlr) {
      FixtureEvlr evlr;
      evlr.user_id = "LASF_Projection";
      evlr.record_id = 2112;
      evlr.data = text;
      file.evlrs.push_back(evlr);
    } else {
      file.vlrs.push_back(projection_vlr(2112, text));
    }
    file.vlrs.insert(file.vlrs.end(), more.begin(), more.end());
    std::vector<FixturePoint> all = scene_fixture_points(scene, options);
    if (points) all.resize(points);
    ASSERT_TRUE(fixture_write_file(dir.file(name), file, all));
  }

  ProgramRun run(const std::vector<std::string>& args) {
    return run_program(kProgram, args, dir.path());
  }

  FixtureContents read(const std::string& name) {
    FixtureContents contents;
    EXPECT_TRUE(fixture_read_file(dir.file(name), &contents)) << name;
    return contents;
  }

  ProgramDir dir;
};

const char* const kMetresLine =
    "step is 25 m, sub is 5, bulge is 2 m, spike is 1+1 m, and offset is 0.05 m ...\n";
const char* const kFeetLine =
    "step is 75 ft, sub is 5, bulge is 2 ft, spike is 3+3 ft, and offset is 0.15 ft ...\n";

TEST_F(TalvenorProjection, GeoKeysInFeetScaleStepSpikeAndOffset) {
  write("feet.las",
        {geo_keys_vlr(
            {{1024, 0, 1, 1}, {3072, 0, 1, 32767}, {3076, 0, 1, 9002}, {4099, 0, 1, 9002}})});
  write("metres.las", {});
  const ProgramRun r = run({"-v", "-i", "feet.las", "metres.las", "-odix", "_g"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const size_t feet = r.err.find("horizontal units are feet and vertical units are feet.");
  const size_t metres = r.err.find("horizontal units are meter and vertical units are meter.");
  ASSERT_NE(feet, std::string::npos) << r.err;
  ASSERT_NE(metres, std::string::npos) << "the next file starts again from metres\n" << r.err;
  EXPECT_LT(feet, metres);
  EXPECT_NE(r.err.find(kFeetLine), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(kMetresLine), std::string::npos) << r.err;
  // Without a command-line projection the file's own records pass through.
  EXPECT_EQ(file_keys(read("feet_g.las")).size(), 4u);
}

TEST_F(TalvenorProjection, CommandLineUnitsWinOverTheFile) {
  write("feet.las", {geo_keys_vlr({{1024, 0, 1, 1}, {3076, 0, 1, 9002}, {4099, 0, 1, 9002}})});
  const ProgramRun r = run({"-v", "-meter", "-i", "feet.las", "-o", "o.las"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("horizontal units are meter and vertical units are feet."),
            std::string::npos)
      << r.err;
}

// A text without authority in US survey feet makes the horizontal units feet.
TEST_F(TalvenorProjection, WellKnownTextInSurveyFeet) {
  write("wkt.las", {text_vlr(2112, kEsriLambertInSurveyFeet)});
  const ProgramRun r = run({"-v", "-i", "wkt.las", "-o", "o.las"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("horizontal units are feet and vertical units are meter."),
            std::string::npos)
      << r.err;
}

// A text without authority names its units in the UNIT of its projected system, whatever the
// projection: step, spike and offset are scaled for every one.
TEST_F(TalvenorProjection, WellKnownTextInFeetForEveryProjection) {
  const struct {
    const char* name;
    const char* text;
  } cases[] = {
      {"Hotine, feet", kEsriHotineInFeet},
      {"Hotine, US survey feet", kEsriHotineInSurveyFeet},
      {"double stereographic, feet", kEsriDoubleStereographicInFeet},
      {"Lambert with one parallel, feet", kEsriLambertOneParallelInFeet},
      {"Lambert with two parallels, US survey feet", kEsriLambertInSurveyFeet},
  };
  for (const auto& c : cases) {
    write("wkt.las", {text_vlr(2112, c.text)});
    const ProgramRun r = run({"-v", "-i", "wkt.las", "-o", "o.las"});
    ASSERT_EQ(r.exit_code, 0) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find("horizontal units are feet and vertical units are meter."),
              std::string::npos)
        << c.name << "\n"
        << r.err;
    EXPECT_NE(
        r.err.find("step is 75 ft, sub is 5, bulge is 0.666667 m, spike is 1+1 m, and offset is "
                   "0.05 m ...\n"),
        std::string::npos)
        << c.name << "\n"
        << r.err;
  }
}

TEST_F(TalvenorProjection, EpsgInSurveyFeet) {
  write("a.las", {});
  // A step fit for the small scene in metres: in "feet" the tool triples it.
  const ProgramRun r = run({"-epsg", "2264", "-v", "-step", "4", "-i", "a.las", "-o", "o.las"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("horizontal units are feet and vertical units are meter."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(file_keys(read("o.las")),
            (std::vector<std::vector<uint16_t>>{
                {1024, 0, 1, 1}, {3072, 0, 1, 2264}, {3076, 0, 1, 9003}, {4099, 0, 1, 9001}}));
}

// The command-line projection replaces the file's key directory, and the file's double and
// ASCII parameters go.
TEST_F(TalvenorProjection, CommandLineProjectionGoesIntoTheOutputHeader) {
  std::vector<uint8_t> doubles(16, 0);
  write("a.las", {geo_keys_vlr({{1024, 0, 1, 1},
                                {3072, 0, 1, 32767},
                                {3075, 0, 1, 1},
                                {3082, 34736, 1, 0},
                                {3083, 34736, 1, 1}}),
                  projection_vlr(34736, doubles), text_vlr(34737, "NAD83|")});
  const ProgramRun r = run({"-epsg", "32632", "-i", "a.las", "-o", "o.las", "-quiet"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const FixtureContents out = read("o.las");
  EXPECT_EQ(file_keys(out),
            (std::vector<std::vector<uint16_t>>{
                {1024, 0, 1, 1}, {3072, 0, 1, 32632}, {3076, 0, 1, 9001}, {4099, 0, 1, 9001}}));
  EXPECT_FALSE(has_record(out, 34736));
  EXPECT_FALSE(has_record(out, 34737));

  // A user-defined projection writes its parameters as doubles.
  const ProgramRun t = run({"-tm", "1500000", "0", "feet", "47", "-120.833333", "0.99996", "-step",
                            "4", "-i", "a.las", "-o", "t.las", "-quiet"});
  ASSERT_EQ(t.exit_code, 0) << t.err;
  const FixtureContents tm = read("t.las");
  EXPECT_EQ(file_keys(tm).size(), 11u);
  ASSERT_TRUE(has_record(tm, 34736));
  for (const FixtureVlr& vlr : tm.file.vlrs) {
    if (vlr.record_id != 34736) continue;
    ASSERT_EQ(vlr.data.size(), 5u * 8);
    double false_easting;
    std::memcpy(&false_easting, vlr.data.data() + 3 * 8, 8);
    EXPECT_NEAR(false_easting, 1500000, 1e-6);
  }
}

// An output names one coordinate system: the one the command line gave, whether the input
// is classified or only copied (too few points for a ground estimate), and wherever the input
// kept its text. The input's text goes; points of format 6 have their system in text, so the
// keys get the same system as text beside them, and the bit that points readers to it.
TEST_F(TalvenorProjection, CommandLineProjectionReplacesTheInputsText) {
  const struct {
    bool in_evlr;
    size_t points;
    const char* seen;
  } cases[] = {
      {false, 0, "done with 'o.las'"},
      {true, 0, "done with 'o.las'"},
      {false, 3, " copying 'in.las' ...\n"},
      {true, 3, " copying 'in.las' ...\n"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.in_evlr ? "EVLR" : "VLR") + " " + c.seen;
    write_with_text("in.las", kEsriLambertInSurveyFeet, c.in_evlr, c.points);
    // A step fit for the small scene.
    const ProgramRun r = run({"-epsg", "32632", "-step", "4", "-i", "in.las", "-o", "o.las"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find(c.seen), std::string::npos) << what << "\n" << r.err;
    const FixtureContents out = read("o.las");
    EXPECT_EQ(file_keys(out),
              (std::vector<std::vector<uint16_t>>{
                  {1024, 0, 1, 1}, {3072, 0, 1, 32632}, {3076, 0, 1, 9001}, {4099, 0, 1, 9001}}))
        << what;
    EXPECT_EQ(projection_records(out, 2112), 1) << what;
    EXPECT_EQ(text_code(file_text(out)), 32632) << what;
    EXPECT_EQ(out.header.global_encoding & kWktBit, kWktBit) << what;
    EXPECT_EQ(out.file.evlrs.size(), 0u) << what;
    EXPECT_EQ(out.points.size(), c.points ? c.points : read("in.las").points.size()) << what;
  }
  // Without a projection on the command line the input's own records pass through.
  write_with_text("in.las", kEsriLambertInSurveyFeet, true, 3);
  const ProgramRun r = run({"-i", "in.las", "-o", "o.las"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const FixtureContents out = read("o.las");
  EXPECT_EQ(projection_records(out, 2112), 1);
  EXPECT_EQ(out.header.global_encoding & kWktBit, kWktBit);
  EXPECT_TRUE(file_keys(out).empty());
}

// The double parameters of a file (none without their record).
std::vector<double> file_doubles(const FixtureContents& contents) {
  std::vector<double> values;
  for (const FixtureVlr& vlr : contents.file.vlrs) {
    if (vlr.user_id != "LASF_Projection" || vlr.record_id != 34736) continue;
    values.resize(vlr.data.size() / 8);
    std::memcpy(values.data(), vlr.data.data(), values.size() * 8);
  }
  return values;
}

// The geographic keys of a user-defined projection name the ellipsoid that was chosen: its own
// geographic system, or a user-defined one with its axis and flattening.
TEST_F(TalvenorProjection, ChosenEllipsoidNamesTheGeographicSystem) {
  const std::vector<std::string> tm = {"-tm", "500000", "0", "m", "0", "9", "0.9996"};
  using Keys = std::vector<std::vector<uint16_t>>;
  const struct {
    std::vector<std::string> words;
    Keys geographic;
    std::vector<double> values;
  } cases[] = {
      {{"-ellipsoid", "14"}, {{2048, 0, 1, 4022}}, {}},           // International 1924
      {{"-wgs84", "-ellipsoid", "3"}, {{2048, 0, 1, 4004}}, {}},  // Bessel 1841
      {{"-ellipsoid", "23"}, {{2048, 0, 1, 4326}}, {}},  // the ellipsoid of WGS 84 keeps it
      {{"-nad83", "-grs80"}, {{2048, 0, 1, 4269}}, {}},  // NAD83 is on GRS 1980
      {{"-ellipsoid", "8"},  // Fischer 1960 (Mercury) has no geographic system
       {{2048, 0, 1, 32767},
        {2050, 0, 1, 32767},
        {2056, 0, 1, 32767},
        {2057, 34736, 1, 5},
        {2059, 34736, 1, 6}},
       {6378166.0, 298.3}},
  };
  write("a.las", {});
  for (const auto& c : cases) {
    std::vector<std::string> args = c.words;
    args.insert(args.end(), tm.begin(), tm.end());
    args.insert(args.end(), {"-step", "4", "-i", "a.las", "-o", "o.las", "-quiet"});
    const ProgramRun r = run(args);
    ASSERT_EQ(r.exit_code, 0) << c.words[0] << "\n" << r.err;
    EXPECT_EQ(r.err, "") << c.words[0];
    const FixtureContents out = read("o.las");
    Keys geographic;
    for (const auto& key : file_keys(out)) {
      if (key[0] >= 2048 && key[0] < 3072) geographic.push_back(key);
    }
    EXPECT_EQ(geographic, c.geographic) << c.words[0] << " " << c.words.back();
    const std::vector<double> doubles = file_doubles(out);
    ASSERT_EQ(doubles.size(), 5 + c.values.size()) << c.words[0];
    EXPECT_EQ(std::vector<double>(doubles.begin() + 5, doubles.end()), c.values) << c.words[0];
  }
}

// Every kind of accepted code (each projection method and unit of the tables, and the built-in
// ones) on an input of format 6 that names another system in text, keys and parameters: the
// output carries the code's keys and its text, and no record names another system.
TEST_F(TalvenorProjection, EveryKindOfCodeWritesOneCoordinateSystem) {
  std::vector<std::vector<uint16_t>> old_keys = {
      {1024, 0, 1, 1}, {3072, 0, 1, 2264}, {3076, 0, 1, 9003}, {3082, 34736, 1, 0}};
  const std::vector<FixtureVlr> old_records = {geo_keys_vlr(old_keys),
                                               projection_vlr(34736, std::vector<uint8_t>(8, 0)),
                                               text_vlr(34737, "NAD83|")};
  std::vector<std::pair<int, int>> kinds_seen;
  int runs = 0;
  for (const EpsgTableCode& c : epsg_candidate_codes(LASgeoProjector::table_folder("prog"))) {
    const std::pair<int, int> kind = {c.method, c.unit};
    if (c.method != 0 &&
        std::find(kinds_seen.begin(), kinds_seen.end(), kind) != kinds_seen.end()) {
      continue;
    }
    const int built_in[] = {32632, 32755, 28355, 3158, 26915, 4326, 4978, 21781, 23700};
    if (c.method == 0 &&
        std::find(std::begin(built_in), std::end(built_in), c.code) == std::end(built_in)) {
      continue;
    }
    ArgVector args({});
    LASgeoProjector geo;
    ASSERT_TRUE(geo.parse(args.argc(), args.argv()));
    testing::internal::CaptureStderr();
    const bool accepted = geo.set_epsg_code(uint16_t(c.code), nullptr, true);
    testing::internal::GetCapturedStderr();
    if (!accepted) continue;
    kinds_seen.push_back(kind);
    std::vector<GeoKeyEntry> expected;
    std::vector<double> doubles;
    ASSERT_TRUE(geo.get_geo_keys_from_projection(expected, doubles, true)) << c.code;
    std::vector<std::vector<uint16_t>> rows;
    for (const GeoKeyEntry& k : expected) {
      rows.push_back({k.key_id, k.tiff_tag_location, k.count, k.value_offset});
    }
    if (c.code != 4326 && c.code != 4978) {
      EXPECT_EQ(rows[1], (std::vector<uint16_t>{3072, 0, 1, uint16_t(c.code)}));
    }

    const bool in_evlr = runs++ % 2 == 1;
    write_with_text("in.las", kEsriLambertInSurveyFeet, in_evlr, 3, old_records);
    const ProgramRun r =
        run({"-epsg", std::to_string(c.code), "-i", "in.las", "-o", "o.las", "-quiet"});
    ASSERT_EQ(r.exit_code, 0) << c.code << "\n" << r.err;
    const FixtureContents out = read("o.las");
    EXPECT_EQ(file_keys(out), rows) << c.code;
    EXPECT_FALSE(has_record(out, 34736)) << c.code;
    EXPECT_FALSE(has_record(out, 34737)) << c.code;
    EXPECT_EQ(projection_records(out, 2111), 0) << c.code;
    const std::string text = file_text(out);
    EXPECT_NE(text, "") << c.code;
    // The geographic and geocentric texts name no projection, only their own code.
    if (c.code == 4326 || c.code == 4978) {
      EXPECT_NE(text.find("AUTHORITY[\"EPSG\",\"" + std::to_string(c.code) + "\"]]"),
                std::string::npos)
          << text;
    } else {
      EXPECT_EQ(text_code(text), c.code) << text;
    }
    EXPECT_EQ(out.header.global_encoding & kWktBit, kWktBit) << c.code;
  }
  // Transverse Mercator, both Lambert kinds, Albers, stereographic and Hotine, in metres and feet.
  EXPECT_GE(runs, 12);
  std::printf("%d kinds of code written\n", runs);
}

// Points of format 6 to 10, or a header whose bit says so, have their coordinate system in
// text: a command-line projection writes the keys and beside them the same system as text (from
// the EPSG tables for a code, from the parameters otherwise), and sets the bit. Other outputs
// keep the keys alone. Our own reader of keys and of texts must find one system in both.
TEST_F(TalvenorProjection, TextBesideTheKeysNamesTheSameSystem) {
  const std::vector<std::string> tm_feet = {"-tm", "1500000",     "0",      "feet",
                                            "47",  "-120.833333", "0.99996"};
  const struct {
    std::vector<std::string> words;
    uint8_t version_minor, format;
    bool bit_in;
    const char* contains;  // null: no text, the bit clear
    const char* err = "";
  } cases[] = {
      // Angles in grads from a meridian other than Greenwich, written in degrees.
      {{"-epsg", "27572"},
       4,
       6,
       true,
       "PRIMEM[\"Paris\",2.33722917,AUTHORITY[\"EPSG\",\"8903\"]],UNIT[\"degree\","
       "0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\",\"4807\"]],"
       "PROJECTION[\"Lambert_Conformal_Conic_1SP\"],PARAMETER[\"latitude_of_origin\",46.8],"
       // Its warning about the scale factor is left out under -quiet (talvenor_quiet_test).
       "PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\",0.99987742],"},
      {{"-epsg", "2056"}, 4, 7, false, "PROJECTION[\"Hotine_Oblique_Mercator_Azimuth_Center\"]"},
      {{"-epsg", "2264"},
       4,
       8,
       false,
       "UNIT[\"US survey foot\",0.304800609601219,AUTHORITY[\"EPSG\",\"9003\"]],"
       "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"2264\"]]"},
      {{"-sp83", "CA_I", "-vertical_epsg", "6360"},
       4,
       6,
       false,
       "AUTHORITY[\"EPSG\",\"26941\"]],VERT_CS[\"NAVD88 height (ftUS)\","},
      {tm_feet, 4, 6, false, "PARAMETER[\"false_easting\",1500000]"},
      {{"-utm", "33N"}, 4, 1, true, "AUTHORITY[\"EPSG\",\"32633\"]]"},
      {{"-utm", "33N"}, 4, 1, false, nullptr},
      {{"-epsg", "32632"}, 2, 1, false, nullptr},
  };
  static const Scene scene = make_scene(scene_params(ScenePreset::kFlat, 40.0, 1.0, 5));
  for (const auto& c : cases) {
    const std::string what = c.words[0] + " " + c.words[1] + " format " + std::to_string(c.format) +
                             (c.bit_in ? " with the bit" : "");
    SceneLasOptions options;
    options.version_minor = c.version_minor;
    options.point_data_format = c.format;
    FixtureFile file = scene_fixture_file(scene, options);
    file.global_encoding = c.bit_in ? kWktBit : 0;
    ASSERT_TRUE(fixture_write_file(dir.file("in.las"), file, scene_fixture_points(scene, options)));
    std::vector<std::string> args = c.words;
    args.insert(args.end(), {"-step", "4", "-i", "in.las", "-o", "o.las", "-quiet"});
    const ProgramRun r = run(args);
    ASSERT_EQ(r.exit_code, 0) << what << "\n" << r.err;
    EXPECT_EQ(r.err, c.err) << what;
    const FixtureContents out = read("o.las");
    const std::string text = file_text(out);
    if (!c.contains) {
      EXPECT_EQ(projection_records(out, 2112), 0) << what;
      EXPECT_EQ(out.header.global_encoding & kWktBit, 0) << what;
      continue;
    }
    EXPECT_EQ(out.header.global_encoding & kWktBit, kWktBit) << what;
    EXPECT_NE(text.find(c.contains), std::string::npos) << what << "\n" << text;

    const auto keys = file_keys(out);
    std::vector<GeoKeyEntry> entries;
    for (const auto& k : keys) entries.push_back(GeoKeyEntry{k[0], k[1], k[2], k[3]});
    const std::vector<double> doubles = file_doubles(out);
    ArgVector none({});
    LASgeoProjector from_keys, from_text;
    ASSERT_TRUE(from_keys.parse(none.argc(), none.argv()));
    ASSERT_TRUE(from_text.parse(none.argc(), none.argv()));
    testing::internal::CaptureStderr();
    from_keys.set_projection_from_geo_keys(int(entries.size()), entries.data(), nullptr,
                                           doubles.data(), int(doubles.size()), nullptr, true);
    EXPECT_TRUE(from_text.set_projection_from_ogc_wkt(text.c_str(), nullptr)) << text;
    testing::internal::GetCapturedStderr();
    expect_same_system(from_keys, from_text, true, what + "\n" + text);
  }
}

TEST_F(TalvenorProjection, StatePlaneMessage) {
  write("a.las", {});
  const ProgramRun r = run({"-v", "-sp83", "CA_I", "-i", "a.las", "-o", "o.las"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err.find("using state plane 'CA_I' (NAD83 LCC) 'NAD83 / California zone 1'\n"), 0u)
      << r.err;
  EXPECT_EQ(file_keys(read("o.las"))[1], (std::vector<uint16_t>{3072, 0, 1, 26941}));
}

TEST_F(TalvenorProjection, ProjectionErrorsEndTheRun) {
  write("a.las", {});
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-i", "a.las", "-utm"}, "ERROR: '-utm' needs 1 argument: zone\n"},
      {{"-i", "a.las", "-utm", "61N"},
       "ERROR: utm zone '61N' is unknown. use '32north', '55south', '10n', '56s', '17U', or "
       "'49L'\n"},
      {{"-i", "a.las", "-epsg", "40000"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but 40000 is not a valid code\n"},
      // Read whole, never modulo a word (4295000000 is 32704 modulo 2^32).
      {{"-i", "a.las", "-epsg", "4295000000"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but 4295000000 is not a valid code\n"},
      {{"-i", "a.las", "-target_epsg", "18446744073709584248"},
       "ERROR: '-target_epsg' needs 1 argument: EPSG code but '18446744073709584248' is not a "
       "valid code\n"},
      {{"-i", "a.las", "-vertical_epsg", "4294972399"},
       "ERROR: '-vertical_epsg' needs 1 argument: EPSG code but 4294972399 is not a valid code\n"},
      {{"-i", "a.las", "-epsg", "-4294934592"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but '-4294934592' is not a valid code\n"},
      {{"-i", "a.las", "-epsg", "32632x"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but '32632x' is not a valid code\n"},
      // A projection that no key list can name would leave the input's system in the output.
      {{"-i", "a.las", "-ellipsoid", "8", "-utm", "32N"},
       "get_ProjectedCSTypeGeoKey: look-up for UTM zone 32 and ellipsoid with id 8 not "
       "implemented\n"
       "get_geo_keys_from_projection for generic projection not implemented\n"
       "ERROR: the projection given cannot be written into an output header\n"},
      // A compound system of the registry, not the projected one that once had its code.
      {{"-i", "a.las", "-epsg", "20003"},
       "EPSG code 20003 not found in 'pcs.csv' file\n"
       "ERROR: unknown EPSG code in '-epsg 20003'.\n"},
  };
  for (const auto& c : cases) {
    const ProgramRun r = run(c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, c.message);
  }
}

// A copy of the program in a folder without zuze/geo has no tables.
TEST_F(TalvenorProjection, WithoutTablesTheLookUpFails) {
  write("a.las", {});
  const std::string copy = dir.file("talvenor_copy");
  std::filesystem::copy_file(kProgram, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  const ProgramRun r = run_program(copy, {"-sp83", "CA_I", "-i", "a.las"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  // The message names the folder searched, beside the program that ran.
  const std::string folder = std::filesystem::canonical(dir.path()).string() + "/zuze/geo";
  EXPECT_EQ(r.err.find("ERROR: cannot open 'pcs.csv' file. maybe your Mirvelox distribution\n"
                       "       has no " +
                       folder +
                       "/pcs.csv file. 'cmake --install' puts the\n"
                       "       EPSG tables into zuze/geo beside the installed programs.\n"),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("\nERROR: bad state code in '-sp83 CA_I'.\n"), std::string::npos);
  // Built-in codes need no table.
  const ProgramRun b = run_program(copy, {"-epsg", "32632", "-i", "a.las", "-quiet"}, dir.path());
  EXPECT_EQ(b.exit_code, 0) << b.err;
}

// The tool's own reading of a header in memory: texts and key lists are bounded by their
// records, and units the command line gave are not asked of the file.
TEST(GroundProjection, FileUnitsFromAHeaderInMemory) {
  LASheader header;
  const std::string wkt = kEsriLambertInSurveyFeet;
  std::unique_ptr<uint8_t[]> text(new uint8_t[wkt.size()]);  // no terminating zero
  std::memcpy(text.get(), wkt.data(), wkt.size());
  ASSERT_TRUE(header.insert_vlr("LASF_Projection", 2112, uint16_t(wkt.size()), std::move(text)));
  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.vlrs.back().data.get());
  EXPECT_EQ(header_ogc_wkt(header), wkt);
  const LASvlrKeyEntry keys[] = {{1024, 0, 1, 1}, {4099, 0, 1, 9003}};
  ASSERT_TRUE(header.store_geo_key_directory(2, keys));
  EXPECT_EQ(header_geo_key_count(header), 2);
  EXPECT_EQ(header_geo_double_count(header), 0);

  LASgeoProjector geo;
  GroundSettings settings;
  ground_take_command_line_projection(geo, settings);
  bool horizontal = false, vertical = false;
  ground_file_units(geo, settings, header, &horizontal, &vertical);
  EXPECT_TRUE(horizontal);
  EXPECT_FALSE(vertical) << "the text set a projection, so the keys are not read";
  ground_forget_file_units(geo, settings);
  EXPECT_FALSE(geo.has_projection(true));
  EXPECT_FALSE(geo.horizontal_units_set(true));

  header.erase_vlr("LASF_Projection", 2112);
  header.vlr_geo_ogc_wkt = nullptr;
  horizontal = false;
  ground_file_units(geo, settings, header, &horizontal, &vertical);
  EXPECT_FALSE(horizontal);
  EXPECT_TRUE(vertical);

  // Units from the command line stay whatever the file says.
  LASgeoProjector given;
  given.set_horizontal_meter(true);
  given.set_vertical_meter(true);
  GroundSettings fixed;
  ground_take_command_line_projection(given, fixed);
  horizontal = vertical = false;
  ground_file_units(given, fixed, header, &horizontal, &vertical);
  EXPECT_FALSE(horizontal || vertical);
  EXPECT_TRUE(fixed.geo_keys.empty());
}

}  // namespace
