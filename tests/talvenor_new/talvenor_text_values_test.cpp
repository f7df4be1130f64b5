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
#include "run_program.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

struct XYZ {
  double x, y, z;
};

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

// ASCII PLY with double coordinates, as survey software writes them.
std::string as_ply(const std::vector<XYZ>& points) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(points.size()) +
         "\nproperty double x\nproperty double y\nproperty double z\nend_header\n" +
         as_text(points);
}

struct Output {
  bool opened = false;
  LASscaler quantizer;
  double max_x = 0.0, max_y = 0.0;
  std::vector<XYZ> points;
};

Output read_output(const std::string& path) {
  Output o;
  LASreaderLAS reader;
  if (!reader.open_file(path.c_str())) return o;
  o.opened = true;
  while (reader.read_point()) {
    o.points.push_back({reader.point.get_x(), reader.point.get_y(), reader.point.get_z()});
  }
  o.quantizer = reader.header;
  o.max_x = reader.header.max_x;
  o.max_y = reader.header.max_y;
  return o;
}

// Every input point, in order, within half a quantum of the output's.
void expect_exact(const std::vector<XYZ>& in, const Output& out, const std::string& what) {
  ASSERT_TRUE(out.opened) << what;
  ASSERT_EQ(out.points.size(), in.size()) << what;
  const LASscaler& h = out.quantizer;
  const double half[3] = {h.x_scale_factor / 2, h.y_scale_factor / 2, h.z_scale_factor / 2};
  size_t off = 0;
  for (size_t k = 0; k < in.size(); k++) {
    const double d[3] = {out.points[k].x - in[k].x, out.points[k].y - in[k].y,
                         out.points[k].z - in[k].z};
    for (int a = 0; a < 3; a++) off += !(std::fabs(d[a]) <= half[a] * (1 + 1e-9));
  }
  EXPECT_EQ(off, 0u) << what << " scale " << h.x_scale_factor << " " << h.y_scale_factor;
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
  } readers[] = {{"in.txt", {"-iparse", "xyz"}, as_text}, {"in.ply", {}, as_ply}};
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
          EXPECT_FALSE(read_output(dir.file("out.las")).opened) << what;
          continue;
        }
        ASSERT_EQ(run.exit_code, 0) << what << run.err;
        expect_exact(range.points, read_output(dir.file("out.las")), what);
      }
    }
  }
}

}  // namespace
