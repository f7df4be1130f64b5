// The built talvenor_new over text and PLY coordinates at the edges of what a
// LAS file can hold: every value comes out within half the output's quantum,
// or the run is refused with an "ERROR: ..." and exit code 1; never clamped.
// Values that are no number, and lines the reading pass rejects, are skipped
// with a warning and leave no trace in the output header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "quantum_checks.hpp"
#include "run_program.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

void write(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

// A regular grid of n x n points over [x0, x1] x [y0, y1], heights rising
// gently, on a grid of millimetres (so the text holds them exactly).
std::vector<XYZ> grid(double x0, double x1, double y0, double y1, int n = 20) {
  std::vector<XYZ> points;
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) {
      const double x = std::round((x0 + (x1 - x0) * i / (n - 1)) * 1000) / 1000;
      const double y = std::round((y0 + (y1 - y0) * j / (n - 1)) * 1000) / 1000;
      points.push_back({x, y, std::round((10.0 + 0.01 * i + 0.02 * j) * 1000) / 1000});
    }
  }
  return points;
}

std::string as_text(const std::vector<XYZ>& points) {
  std::string text;
  char line[128];
  for (const XYZ& p : points) {
    std::snprintf(line, sizeof(line), "%.3f %.3f %.3f\n", p.x, p.y, p.z);
    text += line;
  }
  return text;
}

// A shapefile of PointZ records, as GDAL/OGR writes one.
std::string as_shp(const std::vector<XYZ>& points) {
  std::vector<side_fixtures::ShpRecord> records;
  for (const XYZ& p : points) {
    side_fixtures::ShpRecord r;
    r.type = 11;
    r.vertices.push_back({p.x, p.y, p.z, 0.0});
    records.push_back(r);
  }
  const side_fixtures::Bytes bytes = side_fixtures::shp_bytes(11, records);
  return std::string(bytes.begin(), bytes.end());
}

// ASCII PLY with double coordinates, as survey software writes them.
std::string as_ply(const std::vector<XYZ>& points) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(points.size()) +
         "\nproperty double x\nproperty double y\nproperty double z\nend_header\n" +
         as_text(points);
}

struct Range {
  const char* name;
  std::vector<XYZ> points;
};

const std::vector<Range>& ranges() {
  static const std::vector<Range> r = {
      {"local metres", grid(-300.0, 300.0, -250.0, 250.0)},
      {"longitude latitude", grid(-179.999, 179.999, -89.5, 89.5)},
      {"plus minus 360", grid(-359.999, 359.999, -359.999, 359.999)},
      {"plus minus 3e7", grid(-3e7, 3e7, -3e7, 3e7)},
      {"UTM northing 4.8e6", grid(500000.0, 500600.0, 4830000.0, 4830600.0)},
  };
  return r;
}

// -rescale and -reoffset as the input options take them; an empty row reads
// with the reader's own choice.
struct Request {
  std::vector<std::string> args;
  // Ranges (by name) whose values these options cannot hold.
  std::vector<std::string> refused;
};

const Request kRequests[] = {
    {{}, {}},
    {{"-rescale", "0.001", "0.001", "0.001"}, {"plus minus 3e7"}},
    {{"-rescale", "0.01", "0.01", "0.01"}, {"plus minus 3e7"}},
    {{"-rescale_xy", "0.001", "0.001"}, {"plus minus 3e7"}},
    {{"-rescale_z", "0.001"}, {}},
    {{"-reoffset", "0", "0", "0"}, {}},
    {{"-rescale", "0.001", "0.001", "0.001", "-reoffset", "0", "0", "0"},
     {"plus minus 3e7", "UTM northing 4.8e6"}},
    {{"-rescale", "0.01", "0.01", "0.01", "-reoffset", "0", "0", "0"}, {"plus minus 3e7"}},
    {{"-rescale", "1", "1", "0.001", "-reoffset", "0", "0", "0"}, {}},
};

bool listed(const std::vector<std::string>& names, const char* name) {
  for (const std::string& n : names) {
    if (n == name) return true;
  }
  return false;
}

TEST(TalvenorTextValues, EveryValueIsHeldOrTheInputRefused) {
  ProgramDir dir;
  struct Reader {
    const char* file;
    std::vector<std::string> args;
    std::string (*make)(const std::vector<XYZ>&);
  } readers[] = {
      {"in.txt", {"-iparse", "xyz"}, as_text}, {"in.ply", {}, as_ply}, {"in.shp", {}, as_shp}};
  for (const Reader& reader : readers) {
    for (const Range& range : ranges()) {
      write(dir.file(reader.file), reader.make(range.points));
      for (const Request& request : kRequests) {
        std::vector<std::string> args = {"-i", reader.file, "-o", "out.las"};
        args.insert(args.end(), reader.args.begin(), reader.args.end());
        args.insert(args.end(), request.args.begin(), request.args.end());
        std::string what = std::string(reader.file) + " " + range.name + " with";
        for (const std::string& a : request.args) what += " " + a;
        std::remove(dir.file("out.las").c_str());
        const ProgramRun run = run_program(kProgram, args, dir.path());
        if (listed(request.refused, range.name)) {
          EXPECT_EQ(run.exit_code, 1) << what << run.err;
          EXPECT_NE(run.err.find("causes LAS integer overflow"), std::string::npos)
              << what << run.err;
          EXPECT_FALSE(read_las_output(dir.file("out.las")).opened) << what;
          continue;
        }
        ASSERT_EQ(run.exit_code, 0) << what << run.err;
        expect_points_exact(range.points, read_las_output(dir.file("out.las")), what);
      }
    }
  }
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

// Without a populate pass the quantization is chosen from the first point:
// a later point it cannot hold is skipped with a warning, never clamped.
TEST(TalvenorTextValues, UnpopulatedPointsThatCannotBeHeldAreSkipped) {
  ProgramDir dir;
  std::vector<XYZ> points = grid(-300.0, 300.0, -250.0, 250.0, 20);
  points.insert(points.begin(), XYZ{12.0, -50.0, 10.0});  // looks like degrees
  // Standard input has no populate pass.
  const ProgramRun run =
      run_program(kProgram, {"-stdin", "-itxt", "-iparse", "xyz", "-o", "out.las"}, dir.path(),
                  as_text(points));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  ASSERT_TRUE(out.opened);
  const size_t skipped = count_of(run.err, "cannot be held by 32-bit integers");
  EXPECT_GT(skipped, 0u);
  EXPECT_EQ(out.points.size() + skipped, points.size());
  // Every point written is one of the input, in order, within half a quantum.
  const double half = out.quantizer.x_scale_factor / 2 * (1 + 1e-9);
  size_t next = 0;
  for (const XYZ& p : out.points) {
    while (next < points.size() &&
           !(std::fabs(points[next].x - p.x) <= half && std::fabs(points[next].y - p.y) <= half)) {
      next++;
    }
    ASSERT_LT(next, points.size()) << p.x << " " << p.y;
    next++;
  }
}

// Lines the reading pass does not deliver: skipped with a warning, and left
// out of the header's box.
TEST(TalvenorTextValues, SkippedLinesLeaveNoTraceInTheHeader) {
  ProgramDir dir;
  const std::vector<XYZ> kept = grid(630000.0, 630100.0, 4830000.0, 4830100.0, 8);
  struct Case {
    const char* name;
    const char* parse;
    const char* bad;  // lines put among the good ones
    const char* warning;
  } cases[] = {
      {"nan", "xyz", "nan 4830050 10\n", "WARNING: cannot parse 'nan 4830050 10' with 'xyz'"},
      {"inf", "xyz", "630050 inf 10\n", "WARNING: cannot parse '630050 inf 10' with 'xyz'"},
      {"-inf", "xyz", "630050 4830050 -inf\n",
       "WARNING: cannot parse '630050 4830050 -inf' with 'xyz'"},
      {"1e400", "xyz", "1e400 4830050 10\n", "WARNING: cannot parse '1e400 4830050 10' with 'xyz'"},
      {"no intensity", "xyzi", "640000 4840000 10 x\n",
       "WARNING: cannot parse '640000 4840000 10 x' with 'xyzi'"},
  };
  for (const Case& c : cases) {
    std::string text;
    char line[128];
    for (size_t k = 0; k < kept.size(); k++) {
      std::snprintf(line, sizeof(line), "%.3f %.3f %.3f 7\n", kept[k].x, kept[k].y, kept[k].z);
      text += line;
      if (k == kept.size() / 2) text += c.bad;
    }
    write(dir.file("in.txt"), text + c.bad);
    const ProgramRun run =
        run_program(kProgram, {"-i", "in.txt", "-iparse", c.parse, "-o", "out.las"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << c.name << run.err;
    EXPECT_NE(run.err.find(c.warning), std::string::npos) << c.name << run.err;
    const LasOutput out = read_las_output(dir.file("out.las"));
    expect_points_exact(kept, out, c.name);
    EXPECT_EQ(out.min.x, 630000.0) << c.name;
    EXPECT_EQ(out.max.x, 630100.0) << c.name;
    EXPECT_EQ(out.min.y, 4830000.0) << c.name;
    EXPECT_EQ(out.max.y, 4830100.0) << c.name;
  }
}

// A binary PLY vertex whose coordinate is no number is skipped with a warning.
TEST(TalvenorTextValues, PlyVertexOfNoNumberIsSkipped) {
  ProgramDir dir;
  const std::vector<XYZ> kept = grid(630000.0, 630100.0, 4830000.0, 4830100.0, 8);
  std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                    std::to_string(kept.size() + 2) +
                    "\nproperty double x\nproperty double y\nproperty double z\nend_header\n";
  const auto put = [&ply](double v) { ply.append(reinterpret_cast<const char*>(&v), 8); };
  for (size_t k = 0; k < kept.size(); k++) {
    if (k == 3) {
      put(std::nan(""));
      put(4830050.0);
      put(10.0);
    }
    put(kept[k].x);
    put(kept[k].y);
    put(kept[k].z);
  }
  put(630050.0);
  put(HUGE_VAL);
  put(10.0);
  write(dir.file("in.ply"), ply);
  const ProgramRun run = run_program(kProgram, {"-i", "in.ply", "-o", "out.las"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: vertex with coordinates nan 4.83005e+06 10. skipping ...\n"),
            std::string::npos)
      << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  expect_points_exact(kept, out, "binary PLY");
  EXPECT_EQ(out.max.y, 4830100.0);
}

// The vertices of an ASCII PLY end after the number its header states, also
// when one of them is skipped: the face lines after them are no points.
TEST(TalvenorTextValues, PlyFacesAreNoVertices) {
  ProgramDir dir;
  const std::vector<XYZ> kept = grid(630000.0, 630100.0, 4830000.0, 4830100.0, 8);
  std::string body = as_text(kept);
  write(dir.file("in.ply"), "ply\nformat ascii 1.0\nelement vertex " +
                                std::to_string(kept.size() + 1) +
                                "\nproperty double x\nproperty double y\nproperty double z\n"
                                "element face 2\nproperty list uchar int vertex_indices\n"
                                "end_header\nabc 4830050 10\n" +
                                body + "3 0 1 2\n3 1 2 3\n");
  const ProgramRun run = run_program(kProgram, {"-i", "in.ply", "-o", "out.las"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: cannot parse 'abc 4830050 10'"), std::string::npos) << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  expect_points_exact(kept, out, "PLY with faces");
  EXPECT_EQ(out.min.x, 630000.0);
}

// Inputs that name no coordinate would give points at an invented 0.
TEST(TalvenorTextValues, InputsWithoutACoordinateAreRefused) {
  ProgramDir dir;
  write(dir.file("in.txt"), "1 2 3\n4 5 6\n");
  const std::string vertices = "1 2 3\n4 5 6\n";
  write(dir.file("no_x.ply"),
        "ply\nformat ascii 1.0\nelement vertex 2\nproperty float a\nproperty float y\n"
        "property float z\nend_header\n" +
            vertices);
  write(dir.file("int_z.ply"),
        "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
        "property int z\nend_header\n" +
            vertices);
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"-i", "in.txt", "-iparse", ""}, "ERROR: parse string '' has no 'x' for the x coordinate\n"},
      {{"-i", "in.txt", "-iparse", "xyi"},
       "ERROR: parse string 'xyi' has no 'z' for the z coordinate\n"},
      {{"-i", "in.txt", "-iparse", "sxz"},
       "ERROR: parse string 'sxz' has no 'y' for the y coordinate\n"},
      {{"-i", "no_x.ply"}, "ERROR: the PLY vertices have no float or double property 'x'\n"},
      {{"-i", "int_z.ply"}, "ERROR: the PLY vertices have no float or double property 'z'\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", "out.las"});
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << c.args[1] << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << c.args[1] << run.err;
    EXPECT_FALSE(read_las_output(dir.file("out.las")).opened) << c.args[1];
  }
}

// The ten header lines of a PTX scan of cols x rows points.
std::string ptx_header(int cols, int rows, double tx) {
  char text[512];
  std::snprintf(text, sizeof(text),
                "%d\n%d\n%g 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n%g 0 0 1\n", cols,
                rows, tx, tx);
  return text;
}

// A PTX file of two scans: the first is read with its intensities, the
// second (its header lines and its points in other local coordinates) is
// left with a warning.
TEST(TalvenorTextValues, PtxReadsItsFirstScanWithIntensities) {
  ProgramDir dir;
  const std::vector<XYZ> first = {
      {1.25, 2.5, 0.75}, {1.5, 2.5, 0.5}, {1.25, 3.0, 0.25}, {1.5, 3.0, 1.0}};
  const double intensity[4] = {0.5, 0.25, 1.0, 0.0};
  std::string text = ptx_header(2, 2, 0.0);
  char line[128];
  for (int k = 0; k < 4; k++) {
    std::snprintf(line, sizeof(line), "%g %g %g %g\n", first[k].x, first[k].y, first[k].z,
                  intensity[k]);
    text += line;
  }
  text += ptx_header(1, 2, 100.0) + "7 8 9 0.5\n7.5 8 9 0.5\n";
  write(dir.file("scans.ptx"), text);
  const ProgramRun run =
      run_program(kProgram, {"-i", "scans.ptx", "-iptx", "-o", "out.las"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: the PTX file goes on after its first scan. reading only that "
                         "scan ...\n"),
            std::string::npos)
      << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  expect_points_exact(first, out, "first scan");
  // PTX intensities of 0..1 land in 0..4095.
  EXPECT_EQ(out.intensities, (std::vector<int>{2048, 1024, 4095, 0}));
}

// Line ends of other systems, and NUL bytes in their place, end lines.
TEST(TalvenorTextValues, EveryLineEndEndsALine) {
  ProgramDir dir;
  const std::vector<XYZ> points = grid(630000.0, 630100.0, 4830000.0, 4830100.0, 8);
  struct Case {
    const char* name;
    std::string end;
    const char* warning;
  } cases[] = {
      {"LF", "\n", nullptr},
      {"CR LF", "\r\n", nullptr},
      {"CR", "\r", nullptr},
      {"NUL", std::string(1, '\0'), "WARNING: NUL byte in text taken as the end of a line\n"}};
  for (const Case& c : cases) {
    std::string text;
    char line[128];
    for (const XYZ& p : points) {
      std::snprintf(line, sizeof(line), "%.3f %.3f %.3f", p.x, p.y, p.z);
      text += line + c.end;
    }
    write(dir.file("in.txt"), text);
    const ProgramRun run =
        run_program(kProgram, {"-i", "in.txt", "-iparse", "xyz", "-o", "out.las"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << c.name << run.err;
    EXPECT_EQ(run.err.find("line longer"), std::string::npos) << c.name << run.err;
    EXPECT_EQ(run.err.find("cannot parse"), std::string::npos) << c.name << run.err;
    if (c.warning) {
      EXPECT_NE(run.err.find(c.warning), std::string::npos) << c.name << run.err;
    }
    expect_points_exact(points, read_las_output(dir.file("out.las")), c.name);
  }
}

// A BIN file of no points, as talvenor_new writes one, is read back.
TEST(TalvenorTextValues, BinOfNoPointsIsReadBack) {
  ProgramDir dir;
  side_fixtures::write_file(dir.file("empty.bin"),
                            side_fixtures::bin_bytes(side_fixtures::BinFile(), {}));
  const ProgramRun run = run_program(kProgram, {"-i", "empty.bin", "-o", "out.las"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: input has zero points."), std::string::npos) << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  EXPECT_TRUE(out.opened);
  EXPECT_TRUE(out.points.empty());
  // The round trip through our own writer.
  const ProgramRun again =
      run_program(kProgram, {"-i", "out.las", "-obin", "-o", "again.bin"}, dir.path());
  ASSERT_EQ(again.exit_code, 0) << again.err;
  const ProgramRun back = run_program(kProgram, {"-i", "again.bin", "-o", "back.las"}, dir.path());
  EXPECT_EQ(back.exit_code, 0) << back.err;
  EXPECT_TRUE(read_las_output(dir.file("back.las")).opened);
}

// QFIT points are longitudes and latitudes: a global file is copied
// unclassified, as a small one is.
TEST(TalvenorTextValues, QfitInDegreesIsCopiedUnclassified) {
  ProgramDir dir;
  std::vector<side_fixtures::QfitRecord> records;
  for (int r = 0; r < 20; r++) {
    for (int k = 0; k < 30; k++) {
      side_fixtures::QfitRecord q;
      q.longitude = 12000000 * k;
      q.latitude = -80000000 + 8000000 * r;
      q.elevation = 100000 + 1000 * ((k * 7 + r * 3) % 11);
      q.time_ms = 1000 * (r * 30 + k);
      records.push_back(q);
    }
  }
  side_fixtures::write_file(dir.file("globe.qi"), side_fixtures::qfit_bytes(56, false, records));
  const ProgramRun run = run_program(kProgram, {"-i", "globe.qi", "-o", "out.las"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: coordinates are longitude and latitude in degrees."),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(" copying '"), std::string::npos) << run.err;
  const LasOutput out = read_las_output(dir.file("out.las"));
  ASSERT_EQ(out.classes.size(), records.size());
  EXPECT_EQ(out.classes, std::vector<int>(records.size(), 0));
}

}  // namespace
