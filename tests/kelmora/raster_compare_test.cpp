#include "raster_compare.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster_fixtures.hpp"

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;
using raster_fixtures::ScopedTempDir;
using raster_fixtures::write_text;

namespace {

struct VerdictCase {
  RasterCellCounts counts;  // nodata_differ, both_nodata, values_equal, values_differ
  RasterVerdict verdict;
  const char* line;
};

TEST(RasterVerdict, OneLinePerOutcome) {
  const VerdictCase cases[] = {
      {{0, 7, 100, 0},
       RasterVerdict::kIdentical,
       "rasters are identical. both have 100 value and 7 nodata cells.\n"},
      {{0, 0, 0, 0},
       RasterVerdict::kIdentical,
       "rasters are identical. both have 0 value and 0 nodata cells.\n"},
      {{3, 7, 100, 0},
       RasterVerdict::kNearlyIdentical,
       "rasters are nearly identical. both have 100 identical value cells. but they have 3 "
       "different and 7 identical nodata cells.\n"},
      {{0, 7, 99, 1},
       RasterVerdict::kNotIdentical,
       "rasters are not identical. rasters have 1 different and 99 identical value cells. but both "
       "have 7 nodata cells\n"},
      {{3, 7, 99, 1},
       RasterVerdict::kNotIdentical,
       "rasters are not identical. they have 1 different and 99 identical value cells. they have 3 "
       "different and 7 identical nodata cells.\n"},
      {{0, 0, 5000000000LL, 0},
       RasterVerdict::kIdentical,
       "rasters are identical. both have 5000000000 value and 0 nodata cells.\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raster_verdict(c.counts), c.verdict);
    EXPECT_EQ(raster_verdict_line(c.counts), c.line);
  }
}

struct PartnerCase {
  const char* file1;
  const char* next;
  uint32_t count;
  bool ok;
  const char* file2;
  uint32_t advance;
};

TEST(RasterPartner, TwoInputsPairUpOthersMeetTheirVpkTwin) {
  const PartnerCase cases[] = {
      {"x.vpk", "y.asc", 2, true, "y.asc", 2},
      {"a.asc", "b.asc", 3, true, "a.vpk", 1},
      {"dir/a.tif", nullptr, 1, true, "dir/a.vpk", 1},
      {"A.BIL", nullptr, 1, true, "A.vpk", 1},
      {"x.vpk", nullptr, 1, false, "", 0},
      {"x.VPK", "y.asc", 3, false, "", 0},
  };
  for (const auto& c : cases) {
    std::string file2;
    uint32_t advance = 0;
    testing::internal::CaptureStderr();
    bool ok = raster_partner(c.file1, c.next, c.count, &file2, &advance);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, c.ok) << c.file1;
    if (c.ok) {
      EXPECT_EQ(file2, c.file2);
      EXPECT_EQ(advance, c.advance);
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(err,
                "ERROR: if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL "
                "not in VPK format\n");
    }
  }
}

TEST(RasterNames, ExtensionAndBaseName) {
  EXPECT_STREQ(raster_extension("d/a.b.tif"), "tif");
  EXPECT_EQ(raster_extension("noext"), nullptr);
  EXPECT_STREQ(raster_base_name("c:\\x/y\\dem.asc"), "dem.asc");
  EXPECT_STREQ(raster_base_name("c:dem.asc"), "dem.asc");
  EXPECT_STREQ(raster_base_name("dem.asc"), "dem.asc");
}

// Runs the whole pair and returns what it printed.
RasterPairStatus run_pair(const std::string& a, const std::string& b, std::string* err,
                          RasterCellCounts* counts = nullptr) {
  testing::internal::CaptureStderr();
  RasterPairStatus s = compare_raster_files(a.c_str(), b.c_str(), counts);
  *err = testing::internal::GetCapturedStderr();
  return s;
}

class RasterCompareFiles : public testing::Test {
 protected:
  ScopedTempDir dir;
  DemGrid dem = raster_fixtures::make_dem(37, 23, 100.0, 300.0, 11);
  std::string path(const char* name) const { return dir.file(name); }
};

TEST_F(RasterCompareFiles, VerdictsOfWholeFiles) {
  DemGrid fewer_nodata = dem;
  DemGrid changed = dem;
  DemGrid both = dem;
  int nodata_cells = 0;
  for (double z : dem.z) nodata_cells += (z == dem.nodata);
  ASSERT_GT(nodata_cells, 4);
  // two nodata cells get values, one value cell becomes nodata
  int turned = 0;
  for (size_t i = 0; i < dem.z.size() && turned < 2; i++) {
    if (dem.z[i] == dem.nodata) {
      fewer_nodata.z[i] = 55.5;
      both.z[i] = 55.5;
      turned++;
    }
  }
  fewer_nodata.z[1] = dem.nodata;
  changed.at(36, 22) += 0.01;
  changed.at(2, 0) -= 1.0;
  both.at(36, 22) += 0.01;
  const int cells = 37 * 23;
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_asc(path("fewer.asc"), fewer_nodata));
  ASSERT_TRUE(raster_fixtures::write_asc(path("changed.asc"), changed));
  ASSERT_TRUE(raster_fixtures::write_asc(path("both.asc"), both));
  struct {
    const char* other;
    RasterCellCounts expected;
  } const cases[] = {
      {"dem.asc", {0, nodata_cells, cells - nodata_cells, 0}},
      {"fewer.asc", {3, nodata_cells - 2, cells - nodata_cells - 1, 0}},
      {"changed.asc", {0, nodata_cells, cells - nodata_cells - 2, 2}},
      {"both.asc", {2, nodata_cells - 2, cells - nodata_cells - 1, 1}},
  };
  for (const auto& c : cases) {
    std::string err;
    RasterCellCounts counts;
    EXPECT_EQ(run_pair(path("dem.asc"), path(c.other), &err, &counts), RasterPairStatus::kCompared);
    EXPECT_EQ(counts.nodata_differ, c.expected.nodata_differ) << c.other;
    EXPECT_EQ(counts.both_nodata, c.expected.both_nodata) << c.other;
    EXPECT_EQ(counts.values_equal, c.expected.values_equal) << c.other;
    EXPECT_EQ(counts.values_differ, c.expected.values_differ) << c.other;
    EXPECT_EQ(err, raster_verdict_line(c.expected)) << c.other;
  }
}

TEST_F(RasterCompareFiles, SizesDiffer) {
  DemGrid shorter = raster_fixtures::make_dem(37, 22, 100.0, 300.0, 11);
  DemGrid narrower = raster_fixtures::make_dem(36, 23, 100.0, 300.0, 11);
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_asc(path("shorter.asc"), shorter));
  ASSERT_TRUE(raster_fixtures::write_asc(path("narrower.asc"), narrower));
  std::string err;
  EXPECT_EQ(run_pair(path("dem.asc"), path("shorter.asc"), &err), RasterPairStatus::kSizesDiffer);
  EXPECT_EQ(err, "ERROR: rasters have different nrows of 23 and 22. difference too big ... \n");
  EXPECT_EQ(run_pair(path("dem.asc"), path("narrower.asc"), &err), RasterPairStatus::kSizesDiffer);
  EXPECT_EQ(err, "ERROR: rasters have different ncols of 37 and 36. difference too big ... \n");
}

TEST_F(RasterCompareFiles, DifferentSampleWidthsWarnAndCompare) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  // a 16-bit raster holds whole metres, the ASCII grid hundredths: both meet at hundredths
  const DemGrid whole = raster_fixtures::whole_units(dem);
  ASSERT_TRUE(raster_fixtures::write_asc(path("whole.asc"), whole));
  ASSERT_TRUE(
      raster_fixtures::write_bil(path("dem.bil"), whole, BilSample::kU16, false, 1.0, 65535));
  std::string err;
  EXPECT_EQ(run_pair(path("whole.asc"), path("dem.bil"), &err), RasterPairStatus::kCompared);
  EXPECT_EQ(err.substr(0, err.find('\n') + 1),
            "WARNING: rasters have different nbits of 32 and 16\n");
  EXPECT_NE(err.find("rasters are identical."), std::string::npos) << err;
}

TEST_F(RasterCompareFiles, OpenAndCheckFailuresGiveNoVerdict) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  // a BIL without any georeferencing lines
  ASSERT_TRUE(write_text(path("nogeo.hdr"), "ncols 37\nnrows 23\nnbands 1\nnbits 16\n"));
  ASSERT_TRUE(write_text(path("nogeo.bil"), std::string(37 * 23 * 2, '\0')));
  const struct {
    std::string file1, file2;
    std::string tail;  // last line printed
  } cases[] = {
      {path("missing.asc"), path("dem.asc"),
       "ERROR: cannot open raster1 with file name 'missing.asc'.\n"},
      {path("dem.asc"), path("missing.asc"),
       "ERROR: cannot open raster1 with file name 'missing.asc'.\n"},
      {path("dem.asc"), path("noextension"),
       "ERROR: cannot open raster1 with file name 'noextension'.\n"},
      {path("dem.asc"), path("dem.vpk"), "ERROR: cannot open raster1 with file name 'dem.vpk'.\n"},
      {path("dem.asc"), path("nogeo.bil"), "ERROR: raster has no lower left x info\n"},
  };
  for (const auto& c : cases) {
    std::string err;
    EXPECT_EQ(run_pair(c.file1, c.file2, &err), RasterPairStatus::kOpenFailed) << c.file2;
    ASSERT_GE(err.size(), c.tail.size());
    EXPECT_EQ(err.substr(err.size() - c.tail.size()), c.tail) << err;
    EXPECT_EQ(err.find("rasters are"), std::string::npos);
  }
}

TEST_F(RasterCompareFiles, FailedReadGivesNoVerdict) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  std::string text =
      "ncols 37\nnrows 23\nxllcorner 0\nyllcorner 0\ncellsize 2\nNODATA_value -9999\n";
  for (int i = 0; i < 37 + 5; i++) text += "1 ";
  ASSERT_TRUE(write_text(path("short.asc"), text));
  std::string err;
  EXPECT_EQ(run_pair(path("dem.asc"), path("short.asc"), &err), RasterPairStatus::kReadFailed);
  EXPECT_EQ(err,
            "ERROR in SRreader_asc::read_value(): file ends after 42 of 851 cells\n"
            "ERROR: failed to read raster2 at col 5 and row 1 ...\n");
}

TEST(RasterCheck, MessagesInOrder) {
  struct Fake : SRreader {
    bool read_value() override { return false; }
  };
  auto make_good = [](Fake* f) {
    f->nbands = 1;
    f->nbits = 16;
    f->ncols = f->nrows = 3;
    f->llx = f->lly = 0;
    f->urx = f->ury = 3;
    f->stepx = f->stepy = 1;
  };
  const struct {
    void (*spoil)(SRreader*);
    const char* message;
  } cases[] = {
      {[](SRreader*) {}, ""},
      {[](SRreader* r) { r->nbands = 3; }, "ERROR: raster 'r.tif' has 3 bands. not implemented.\n"},
      {[](SRreader* r) { r->nbands = -1; },
       "ERROR: raster 'r.tif' has -1 bands. not implemented.\n"},
      {[](SRreader* r) { r->nbits = 64; }, "ERROR: raster 'r.tif' has 64 bits. not implemented.\n"},
      {[](SRreader* r) { r->ncols = 0; }, "ERROR: raster 'r.tif' has no columns. skipping ...\n"},
      {[](SRreader* r) { r->nrows = 0; }, "ERROR: raster 'r.tif' has no rows. skipping ... \n"},
      {[](SRreader* r) { r->llx = r->lly = SR_UNSET; }, "ERROR: raster has no lower left x info\n"},
      {[](SRreader* r) { r->lly = SR_UNSET; }, "ERROR: raster has no lower left y info\n"},
      {[](SRreader* r) { r->urx = SR_UNSET; }, "ERROR: raster has no upper right x info\n"},
      {[](SRreader* r) { r->ury = SR_UNSET; }, "ERROR: raster has no upper right y info\n"},
      {[](SRreader* r) { r->stepx = SR_UNSET; }, "ERROR: raster has no step x info\n"},
      {[](SRreader* r) { r->stepy = SR_UNSET; }, "ERROR: raster has no step y info\n"},
      {[](SRreader* r) { r->stepx_y = 0.25; }, "ERROR: stepx_y of 0.25 not supported\n"},
      {[](SRreader* r) { r->stepy_x = -0.5; }, "ERROR: stepy_x of -0.5 not supported\n"},
  };
  for (const auto& c : cases) {
    Fake f;
    make_good(&f);
    c.spoil(&f);
    testing::internal::CaptureStderr();
    bool ok = check_raster(f, "r.tif");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(ok, c.message[0] == '\0');
  }
}

// The same terrain written in every ASC and BIL flavour compares identical
// pairwise; one changed cell is counted as exactly one different cell.
struct Flavour {
  const char* name;
  bool is_asc;
  BilSample kind;
  bool big_endian;
  double factor;
  int64_t int_nodata;
};

void write_flavour(const Flavour& f, const DemGrid& g, const std::string& path) {
  if (f.is_asc) {
    ASSERT_TRUE(raster_fixtures::write_asc(path, g, 2, f.big_endian ? 9 : 0));
  } else {
    ASSERT_TRUE(raster_fixtures::write_bil(path, g, f.kind, f.big_endian, f.factor, f.int_nodata));
  }
}

void expect_pairwise_identical(const std::vector<Flavour>& flavours, const DemGrid& g) {
  ScopedTempDir dir;
  std::vector<std::string> paths;
  for (const auto& f : flavours) {
    paths.push_back(dir.file(std::string(f.name) + (f.is_asc ? ".asc" : ".bil")));
    write_flavour(f, g, paths.back());
  }
  int64_t nodata_cells = 0;
  for (double z : g.z) nodata_cells += (z == g.nodata);
  RasterCellCounts want{0, nodata_cells, static_cast<int64_t>(g.z.size()) - nodata_cells, 0};
  for (size_t i = 0; i < paths.size(); i++) {
    for (size_t j = 0; j < paths.size(); j++) {
      std::string err;
      RasterCellCounts counts;
      EXPECT_EQ(run_pair(paths[i], paths[j], &err, &counts), RasterPairStatus::kCompared);
      EXPECT_EQ(raster_verdict_line(counts), raster_verdict_line(want))
          << flavours[i].name << " vs " << flavours[j].name << ": " << err;
    }
  }
  // one cell changed by the flavour's quantum (a hundredth, or one for integer cells), in every
  // flavour against the first
  size_t k = g.z.size() / 2;
  while (g.z[k] == g.nodata) k++;
  RasterCellCounts one{0, nodata_cells, want.values_equal - 1, 1};
  for (size_t j = 0; j < flavours.size(); j++) {
    DemGrid changed = g;
    const bool whole = !flavours[j].is_asc && flavours[j].kind != BilSample::kF32;
    changed.z[k] += whole ? 1.0 : 0.01;
    std::string changed_path =
        dir.file(std::string("c_") + flavours[j].name + (flavours[j].is_asc ? ".asc" : ".bil"));
    write_flavour(flavours[j], changed, changed_path);
    std::string err;
    RasterCellCounts counts;
    EXPECT_EQ(run_pair(paths[0], changed_path, &err, &counts), RasterPairStatus::kCompared);
    EXPECT_EQ(raster_verdict_line(counts), raster_verdict_line(one)) << flavours[j].name;
    EXPECT_NE(err.find("rasters are not identical. rasters have 1 different and "),
              std::string::npos)
        << err;
  }
}

TEST(RasterCompareFlavours, WideValuesAcrossAscAndBil) {
  // whole heights 100 .. 300: integer cells meet the hundredths of the others
  DemGrid g = raster_fixtures::whole_units(raster_fixtures::make_dem(37, 23, 1.0, 300.0, 11));
  const std::vector<Flavour> flavours = {
      {"asc", true, BilSample::kF32, false, 0, 0},
      {"asc_wrapped", true, BilSample::kF32, true, 0, 0},
      {"f32_le", false, BilSample::kF32, false, 0, 0},
      {"f32_be", false, BilSample::kF32, true, 0, 0},
      {"s32_le", false, BilSample::kS32, false, 1.0, -9999},
      {"s32_be", false, BilSample::kS32, true, 1.0, -9999},
      {"u32_be", false, BilSample::kU32, true, 1.0, 4000000},
      {"s16_le", false, BilSample::kS16, false, 1.0, -9999},
      {"s16_be", false, BilSample::kS16, true, 1.0, -9999},
      {"u16_le", false, BilSample::kU16, false, 1.0, 65535},
      {"u16_be", false, BilSample::kU16, true, 1.0, 65535},
  };
  expect_pairwise_identical(flavours, g);
}

TEST(RasterCompareFlavours, SmallValuesAcrossAscAndByteBil) {
  // whole heights -100 .. 100 for signed bytes, 0 .. 200 for unsigned ones
  DemGrid s = raster_fixtures::whole_units(raster_fixtures::make_dem(37, 23, -100.0, 100.0, 11));
  expect_pairwise_identical({{"asc", true, BilSample::kF32, false, 0, 0},
                             {"s8", false, BilSample::kS8, false, 1.0, -128},
                             {"s16", false, BilSample::kS16, true, 1.0, -9999}},
                            s);
  DemGrid u = raster_fixtures::whole_units(raster_fixtures::make_dem(37, 23, 0.0, 200.0, 11));
  expect_pairwise_identical({{"asc", true, BilSample::kF32, false, 0, 0},
                             {"u8", false, BilSample::kU8, false, 1.0, 255},
                             {"f32", false, BilSample::kF32, true, 0, 0}},
                            u);
}

}  // namespace
