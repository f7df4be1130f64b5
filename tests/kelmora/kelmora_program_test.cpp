// The kelmora program itself, run as a separate process in a fresh folder:
// its verdict lines, messages and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "raster_fixtures.hpp"

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;
using raster_fixtures::ScopedTempDir;

namespace {

struct ProgramRun {
  int code = -1;
  std::string err;
};

class KelmoraProgram : public ::testing::Test {
 protected:
  ScopedTempDir dir;
  DemGrid dem = raster_fixtures::make_dem(37, 23, 100.0, 300.0, 11);

  std::string path(const std::string& name) const { return dir.file(name); }

  // Runs kelmora inside the test's folder with the arguments as shell words.
  ProgramRun run(const std::string& arguments, const std::string& input = "") const {
    const std::string err_file = path("stderr.txt");
    std::string command = "cd '" + dir.path() + "' && " + (input.empty() ? "" : input + " | ") +
                          "'" PL_BINARY_DIR "/kelmora' " + arguments + " 2>'" + err_file + "'" +
                          (input.empty() ? " </dev/null" : "");
    ProgramRun r;
    int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* f = fopen(err_file.c_str(), "rb");
    if (f) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) r.err.append(buffer, n);
      fclose(f);
    }
    remove(err_file.c_str());
    return r;
  }

  bool leaves_list_file() const {
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      if (e.path().filename().string().rfind("file_list_buffered.", 0) == 0) return true;
    }
    return false;
  }
};

const char* const kUsage =
    "usage:\nkelmora -i dem.tif -i dem.vpk\nkelmora -i dem.img -i dem.vpk\nkelmora -i dem.asc -i "
    "dem.vpk\nkelmora -i dem.bil -i dem.vpk\nkelmora -i dem1.vpk -i dem2.vpk\nkelmora -i "
    "*.tif\nkelmora -i *.img\nkelmora -i *.asc\nkelmora -i *.bil\n";

TEST_F(KelmoraProgram, VerdictTable) {
  DemGrid one_nodata = dem;
  DemGrid one_value = dem;
  DemGrid both = dem;
  int value_cells = 0, nodata_cells = 0;
  for (double z : dem.z) (z == dem.nodata ? nodata_cells : value_cells)++;
  one_nodata.at(1, 0) = dem.nodata;  // a value cell of dem
  ASSERT_NE(dem.at(1, 0), dem.nodata);
  one_value.at(2, 0) += 0.01;
  ASSERT_NE(dem.at(2, 0), dem.nodata);
  both.at(1, 0) = dem.nodata;
  both.at(2, 0) += 1.0;
  DemGrid shorter = raster_fixtures::make_dem(37, 22, 100.0, 300.0, 11);
  DemGrid narrower = raster_fixtures::make_dem(36, 23, 100.0, 300.0, 11);
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  ASSERT_TRUE(raster_fixtures::write_asc(path("one_nodata.asc"), one_nodata));
  ASSERT_TRUE(raster_fixtures::write_asc(path("one_value.asc"), one_value));
  ASSERT_TRUE(raster_fixtures::write_asc(path("both.asc"), both));
  ASSERT_TRUE(raster_fixtures::write_asc(path("shorter.asc"), shorter));
  ASSERT_TRUE(raster_fixtures::write_asc(path("narrower.asc"), narrower));
  ASSERT_TRUE(raster_fixtures::write_text(path("cut.asc"),
                                          "ncols 37\nnrows 23\nxllcorner 0\nyllcorner 0\n"
                                          "cellsize 2\nNODATA_value -9999\n1 2 3\n"));
  ASSERT_TRUE(raster_fixtures::write_text(path("nogrid.txt"), "1 2 3\n"));
  {
    // as GDAL writes a grid without nodata: its -9999 cells are nodata by default
    std::ifstream in(path("dem.asc"));
    std::stringstream text;
    text << in.rdbuf();
    std::string grid = text.str();
    const size_t at = grid.find("NODATA_value");
    ASSERT_NE(at, std::string::npos);
    grid.erase(at, grid.find('\n', at) + 1 - at);
    ASSERT_TRUE(raster_fixtures::write_text(path("no_nodata_line.asc"), grid));
  }
  // One row more than its header says, and that row differs: no verdict may rest on the rest.
  {
    DemGrid taller = raster_fixtures::make_dem(37, 24, 100.0, 300.0, 11);
    ASSERT_TRUE(raster_fixtures::write_asc(path("taller.asc"), taller));
    std::ifstream in(path("taller.asc"));
    std::stringstream text;
    text << in.rdbuf();
    std::string grid = text.str();
    const size_t at = grid.find("nrows 24\n");
    ASSERT_NE(at, std::string::npos);
    grid.replace(at, 9, "nrows 23\n");
    ASSERT_TRUE(raster_fixtures::write_text(path("extra_row.asc"), grid));
  }
  const std::string v = std::to_string(value_cells);
  const std::string n = std::to_string(nodata_cells);
  const std::string v1 = std::to_string(value_cells - 1);
  const std::string v2 = std::to_string(value_cells - 2);
  const struct {
    std::string arguments;
    std::string err;
    int code;
  } cases[] = {
      {"-i dem.asc dem.bil -quiet",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
      {"-i dem.asc one_nodata.asc -quiet",
       "rasters are nearly identical. both have " + v1 +
           " identical value cells. but they have 1 "
           "different and " +
           n + " identical nodata cells.\n",
       0},
      {"-i dem.asc -i one_value.asc -quiet",
       "rasters are not identical. rasters have 1 different and " + v1 +
           " identical value cells. but both have " + n + " nodata cells\n",
       0},
      {"-i dem.bil both.asc -quiet",
       "rasters are not identical. they have 1 different and " + v2 +
           " identical value cells. they have 1 different and " + n + " identical nodata cells.\n",
       0},
      {"-i dem.asc shorter.asc -quiet",
       "ERROR: rasters have different nrows of 23 and 22. difference too big ... \n", 1},
      {"-i dem.asc narrower.asc -quiet",
       "ERROR: rasters have different ncols of 37 and 36. difference too big ... \n", 1},
      {"-i dem.asc cut.asc -quiet",
       "ERROR in SRreader_asc::read_value(): file ends after 3 of 851 cells\n"
       "ERROR: failed to read raster2 at col 3 and row 0 ...\n",
       1},
      {"-i no_nodata_line.asc dem.bil -quiet",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
      {"-i dem.asc extra_row.asc -quiet",
       "ERROR in SRreader_asc::read_value(): more values than nrows (23) * ncols (37) cells\n"
       "ERROR: failed to read raster2 at col 36 and row 22 ...\n",
       1},
      // without the warning, two named rasters and a pattern matching nothing would pass for a pair
      {"-i 'dem_20*.asc' dem.asc dem.bil -quiet",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
      {"-i 'dem_20*.asc' -quiet", "ERROR: no input specified\n", 1},
      {"-i dem.asc -i nogrid.txt -quiet",
       "ERROR: unknown raster format 'txt'.\nERROR: cannot open raster1 with file name "
       "'nogrid.txt'.\n",
       1},
      {"\xE2\x80\x93quiet -i dem.asc dem.bil", "", -2},  // only a proper 0x96 byte is a dash
      {"\x96quiet -i dem.asc dem.bil",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
      {"-i dem.asc dem.bil -ignore_class 2",
       "ERROR: this tool does not process '-ignore_xxxx' options\n", 1},
      {"-i dem.asc dem.bil -bogus", "ERROR: cannot understand argument '-bogus'\n", 1},
      // The warnings these runs print without -quiet are pinned by QuietLeavesOnlyErrors.
      {"-i dem.asc one_value.asc -keep_class 2 -inside_rectangle 0 0 10 10 -quiet",
       "rasters are not identical. rasters have 1 different and " + v1 +
           " identical value cells. but both have " + n + " nodata cells\n",
       0},
      {"-i dem.asc dem.bil -translate_z 1 -quiet",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
      {"-bogus -h", kUsage, 0},
      {"-quiet", "ERROR: no input specified\n", 1},
      {"-stdin -quiet", "ERROR: no input specified\n", 1},
      {"-i dem.asc dem.bil -cores",
       std::string("ERROR: '-cores' needs 1 argument: number\n") + kUsage, 1},
      {"-i dem.asc dem.bil -gui -quiet",
       "rasters are identical. both have " + v + " value and " + n + " nodata cells.\n", 0},
  };
  for (const auto& c : cases) {
    const ProgramRun r = run(c.arguments);
    if (c.code == -2) {
      EXPECT_EQ(r.code, 1) << c.arguments;
      continue;
    }
    EXPECT_EQ(r.err, c.err) << c.arguments;
    EXPECT_EQ(r.code, c.code) << c.arguments;
  }
}

// Under -quiet only errors and the verdict reach standard error: the warnings of options, of
// patterns that match nothing and of the readers are left out. Each row's warning is printed
// without -quiet, so the row proves that the run provokes it.
TEST_F(KelmoraProgram, QuietLeavesOnlyErrors) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  const struct {
    std::string arguments;  // behind which " -quiet" is added
    const char* warning;
    int code;
  } cases[] = {
      {"-i 'dem_20*.asc' dem.asc dem.bil", "WARNING: no file matches 'dem_20*.asc'\n", 0},
      {"-i dem.asc dem.bil -gui", "WARNING: not compiled with GUI support. ignoring '-gui' ...\n",
       0},
      {"-i dem.asc dem.bil -keep_class 2",
       "WARNING: filter, transform and area-of-interest options do not apply to rasters.", 0},
      {"-i dem.asc dem.bil -translate_z 1",
       "WARNING: filter, transform and area-of-interest options do not apply to rasters.", 0},
      {"-i dem.asc -cores 4", "WARNING: only 1 input file(s). ignoring '-cores 4' ...\n", 1},
  };
  for (const auto& c : cases) {
    const ProgramRun loud = run(c.arguments);
    EXPECT_EQ(loud.code, c.code) << c.arguments;
    EXPECT_NE(loud.err.find(c.warning), std::string::npos) << c.arguments << "\n" << loud.err;
    const ProgramRun quiet = run(c.arguments + " -quiet");
    EXPECT_EQ(quiet.code, c.code) << c.arguments;
    EXPECT_EQ(quiet.err.find("WARNING"), std::string::npos) << c.arguments << "\n" << quiet.err;
    EXPECT_EQ(quiet.err.find("done with"), std::string::npos) << c.arguments << "\n" << quiet.err;
  }
}

TEST_F(KelmoraProgram, TimingLinesUnlessQuiet) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  const ProgramRun r = run("-i dem.asc dem.bil -v");
  EXPECT_EQ(r.code, 0);
  const std::string done = "done with 'dem.asc'. total time ";
  EXPECT_NE(r.err.find("\n" + done), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("done with all files. total time for 2 files "), std::string::npos);
  const ProgramRun single = run("-i dem.asc -cores 4");
  EXPECT_EQ(single.err.rfind("WARNING: only 1 input file(s). ignoring '-cores 4' ...\n", 0), 0u)
      << single.err;
  EXPECT_NE(single.err.find("ERROR: cannot open raster1 with file name 'dem.vpk'.\n"),
            std::string::npos)
      << single.err;
  EXPECT_EQ(single.code, 1);
}

TEST_F(KelmoraProgram, PromptsWithoutArguments) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  const ProgramRun r = run("", "printf 'dem.asc\\ndem.bil\\n\\n'");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find(" is better run in the command line\nenter input file1: enter input "
                       "file2: rasters are identical."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - 14), "<press ENTER>\n");
}

TEST_F(KelmoraProgram, SameDemAsAscBilAndVpk) {
  raster_fixtures::VpkOptions corners;
  corners.corner_points = true;
  std::string why;
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  ASSERT_TRUE(raster_fixtures::write_vpk(path("dem.vpk"), dem, corners, &why)) << why;
  DemGrid changed = dem;
  changed.at(5, 5) += 0.5;
  ASSERT_NE(dem.at(5, 5), dem.nodata);
  ASSERT_TRUE(raster_fixtures::write_vpk(path("changed.vpk"), changed, corners, &why)) << why;
  int value_cells = 0, nodata_cells = 0;
  for (double z : dem.z) (z == dem.nodata ? nodata_cells : value_cells)++;
  const std::string identical = "rasters are identical. both have " + std::to_string(value_cells) +
                                " value and " + std::to_string(nodata_cells) + " nodata cells.\n";
  const struct {
    const char* a;
    const char* b;
    std::string err;
  } cases[] = {
      {"dem.asc", "dem.bil", identical},
      {"dem.asc", "dem.vpk", identical},
      {"dem.bil", "dem.vpk", identical},
      {"dem.asc", "changed.vpk",
       "rasters are not identical. rasters have 1 different and " +
           std::to_string(value_cells - 1) + " identical value cells. but both have " +
           std::to_string(nodata_cells) + " nodata cells\n"},
  };
  for (const auto& c : cases) {
    const ProgramRun r = run(std::string("-quiet -i ") + c.a + " " + c.b);
    EXPECT_EQ(r.err, c.err) << c.a << " " << c.b;
    EXPECT_EQ(r.code, 0) << c.a << " " << c.b;
  }
}

// Grids that lie apart or differ in cell size are not identical, whatever their cells hold, and
// the verdict says by how much; the georeferencing of one grid in any format agrees within a
// thousandth of a cell (a BIL gives the centre of its upper-left cell).
TEST_F(KelmoraProgram, GridsPlacedApartAreNamed) {
  DemGrid shifted = dem;
  shifted.llx += 3.0;
  DemGrid coarse = dem;
  coarse.cell = 2.0 * dem.cell;
  DemGrid far = dem;  // a kilometre away, and one cell changed
  far.llx -= 1000.0;
  far.lly += 1000.0;
  far.at(2, 0) += 1.0;
  DemGrid nudged = dem;
  nudged.lly += 0.0005;
  std::string why;
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_bil(path("dem.bil"), dem, BilSample::kF32, false));
  ASSERT_TRUE(raster_fixtures::write_vpk(path("dem.vpk"), dem, {}, &why)) << why;
  ASSERT_TRUE(raster_fixtures::write_asc(path("shifted.asc"), shifted));
  ASSERT_TRUE(raster_fixtures::write_bil(path("coarse.bil"), coarse, BilSample::kF32, false));
  ASSERT_TRUE(raster_fixtures::write_asc(path("nudged.asc"), nudged));
  ASSERT_TRUE(raster_fixtures::write_vpk(path("far.vpk"), far, {}, &why)) << why;
  int value_cells = 0, nodata_cells = 0;
  for (double z : dem.z) (z == dem.nodata ? nodata_cells : value_cells)++;
  const std::string identical = "rasters are identical. both have " + std::to_string(value_cells) +
                                " value and " + std::to_string(nodata_cells) + " nodata cells.\n";
  const std::string v = std::to_string(value_cells);
  const std::string n = std::to_string(nodata_cells);
  const std::string apart = "rasters are not identical. they differ in georeferencing: ";
  const struct {
    const char* pair;
    std::string err;
  } cases[] = {
      {"dem.asc shifted.asc",
       apart +
           "lower left corner by 3 in x and 0 in y, cell size by 0 in x and 0 in y. they have 0 "
           "different and " +
           v + " identical value cells and 0 different and " + n + " identical nodata cells.\n"},
      {"dem.bil coarse.bil",
       apart +
           "lower left corner by 0 in x and 0 in y, cell size by 2 in x and 2 in y. they have 0 "
           "different and " +
           v + " identical value cells and 0 different and " + n + " identical nodata cells.\n"},
      {"dem.asc far.vpk",
       apart +
           "lower left corner by -1000 in x and 1000 in y, cell size by 0 in x and 0 in y. they "
           "have 1 different and " +
           std::to_string(value_cells - 1) + " identical value cells and 0 different and " + n +
           " identical nodata cells.\n"},
      {"dem.bil dem.vpk", identical},
      {"dem.asc dem.bil", identical},
      {"dem.asc nudged.asc", identical},
  };
  for (const auto& c : cases) {
    const ProgramRun r = run(std::string("-quiet -i ") + c.pair);
    EXPECT_EQ(r.err, c.err) << c.pair;
    EXPECT_EQ(r.code, 0) << c.pair;
  }
}

uint32_t crc32_of(const std::string& bytes) {
  uint32_t crc = 0xffffffffu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string png_chunk(const std::string& type, const std::string& data) {
  auto be32 = [](uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  return be32(static_cast<uint32_t>(data.size())) + type + data + be32(crc32_of(type + data));
}

// A PNG header may claim any size: an image its file cannot hold is refused before anything is
// allocated for it (an interlaced one of 900000 by 900000 cells asked for terabytes and aborted).
TEST_F(KelmoraProgram, PngLargerThanItsFileIsRefused) {
  for (const char interlace : {'\1', '\0'}) {
    const std::string ihdr = std::string("\x00\x0d\xbb\xa0\x00\x0d\xbb\xa0", 8) + "\x10" +
                             std::string("\0\0\0", 3) + interlace;
    const std::string idat("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9);  // one zero byte
    ASSERT_TRUE(raster_fixtures::write_text(
        path("huge.png"), "\x89PNG\r\n\x1a\n" + png_chunk("IHDR", ihdr) + png_chunk("IDAT", idat) +
                              png_chunk("IEND", "")));
    ASSERT_TRUE(raster_fixtures::write_text(path("huge.pgw"), "1\n0\n0\n-1\n0.5\n99.5\n"));
    const ProgramRun r = run("-quiet -i huge.png huge.png");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.find("ERROR: an image of 900000 by 900000 cells cannot come from the "), 0u)
        << r.err;
    EXPECT_NE(r.err.find("ERROR: cannot open raster1 with file name 'huge.png'.\n"),
              std::string::npos)
        << r.err;
  }
}

// The VPK twin of an input is looked for as "vpk" and, when only that exists, as "VPK".
TEST_F(KelmoraProgram, TwinOfAnUpperCaseName) {
  std::string why;
  ASSERT_TRUE(raster_fixtures::write_asc(path("UP.ASC"), dem));
  ASSERT_TRUE(raster_fixtures::write_vpk(path("UP.VPK"), dem, {}, &why)) << why;
  ASSERT_TRUE(raster_fixtures::write_asc(path("both.ASC"), dem));
  ASSERT_TRUE(raster_fixtures::write_vpk(path("both.vpk"), dem, {}, &why)) << why;
  DemGrid changed = dem;
  changed.at(3, 3) += 1.0;
  ASSERT_TRUE(raster_fixtures::write_vpk(path("both.VPK"), changed, {}, &why)) << why;
  for (const char* name : {"UP.ASC", "both.ASC"}) {
    const ProgramRun r = run(std::string("-quiet -i ") + name);
    EXPECT_EQ(r.code, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err.rfind("rasters are identical.", 0), 0u) << name << ": " << r.err;
  }
}

TEST_F(KelmoraProgram, CompressedVpk) {
  raster_fixtures::VpkOptions packed;
  packed.compressor = 2;
  packed.corner_points = true;
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), dem));
  testing::internal::CaptureStderr();
  const bool written = raster_fixtures::write_vpk(path("packed.vpk"), dem, packed);
  const std::string messages = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written) << messages;
  ASSERT_TRUE(raster_fixtures::write_vpk(path("dem.vpk"), dem, raster_fixtures::VpkOptions()));
  for (const char* pair : {"-i dem.asc packed.vpk", "-i packed.vpk dem.vpk"}) {
    const ProgramRun r = run(std::string("-quiet ") + pair);
    EXPECT_EQ(r.err.rfind("rasters are identical. both have ", 0), 0u) << pair << ": " << r.err;
    EXPECT_EQ(r.code, 0) << pair;
  }
}

// A VPK raster whose points cannot all be decoded has no verdict: its lost cells would pass for
// nodata. The run fails instead.
TEST_F(KelmoraProgram, DamagedVpkFailsTheRun) {
  const DemGrid big = raster_fixtures::make_dem(300, 200, 100.0, 300.0, 5);
  raster_fixtures::VpkOptions packed;
  packed.compressor = 2;
  ASSERT_TRUE(raster_fixtures::write_asc(path("dem.asc"), big));
  testing::internal::CaptureStderr();
  const bool written = raster_fixtures::write_vpk(path("dem.vpk"), big, packed);
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written);
  const ProgramRun intact = run("-quiet -i dem.asc dem.vpk");
  ASSERT_EQ(intact.code, 0) << intact.err;
  // Bytes in the first of the two chunks overwritten: it no longer ends where the second starts.
  std::string bytes;
  {
    FILE* f = fopen(path("dem.vpk").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
    fclose(f);
  }
  const size_t points_start = size_t(uint8_t(bytes[96])) | size_t(uint8_t(bytes[97])) << 8 |
                              size_t(uint8_t(bytes[98])) << 16 | size_t(uint8_t(bytes[99])) << 24;
  const size_t at = points_start + (bytes.size() - points_start) / 4;
  for (size_t i = at; i < at + 64; i++) bytes[i] = char(0x55);
  FILE* f = fopen(path("dem.vpk").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  const ProgramRun r = run("-quiet -i dem.asc dem.vpk");
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(r.err.find("rasters are"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ERROR: failed to read raster2 at col "), std::string::npos) << r.err;
}

TEST_F(KelmoraProgram, ThreeInputsOnTwoCores) {
  std::string why;
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(raster_fixtures::write_asc(path(std::string(name) + ".asc"), dem));
    ASSERT_TRUE(raster_fixtures::write_vpk(path(std::string(name) + ".vpk"), dem, {}, &why)) << why;
  }
  const ProgramRun r = run("-i a.asc b.asc c.asc -cores 2 -quiet");
  EXPECT_EQ(r.code, 0) << r.err;
  size_t verdicts = 0;
  for (size_t at = r.err.find("rasters are identical."); at != std::string::npos;
       at = r.err.find("rasters are identical.", at + 1)) {
    verdicts++;
  }
  EXPECT_EQ(verdicts, 3u) << r.err;
  EXPECT_FALSE(leaves_list_file());

  const ProgramRun merged = run("-i a.asc b.asc c.asc -merged -cpu64 -quiet");
  EXPECT_FALSE(leaves_list_file()) << merged.err;

  remove(path("b.vpk").c_str());
  const ProgramRun missing = run("-i a.asc b.asc c.asc -cores 2 -quiet");
  EXPECT_EQ(missing.code, 1) << missing.err;
  EXPECT_NE(missing.err.find("ERROR: cannot open raster1 with file name 'b.vpk'.\n"),
            std::string::npos)
      << missing.err;
  EXPECT_FALSE(leaves_list_file());
}

// Two inputs are one pair also when batched: one child compares them with each other, as a run
// without -cores does, and no VPK twin is looked for.
TEST_F(KelmoraProgram, TwoInputsBatchedCompareThePair) {
  ASSERT_TRUE(raster_fixtures::write_asc(path("a.asc"), dem));
  ASSERT_TRUE(raster_fixtures::write_asc(path("b.asc"), dem));
  for (const char* batching : {"-cores 2", "-cpu64", "-cores 2 -cpu64"}) {
    const ProgramRun r = run(std::string("-i a.asc -i b.asc -quiet ") + batching);
    EXPECT_EQ(r.code, 0) << batching << ": " << r.err;
    EXPECT_EQ(r.err.rfind("rasters are identical. both have ", 0), 0u) << batching << ": " << r.err;
    EXPECT_EQ(r.err.find("rasters are", 1), std::string::npos) << batching << ": " << r.err;
    EXPECT_FALSE(leaves_list_file());
  }
}

}  // namespace
