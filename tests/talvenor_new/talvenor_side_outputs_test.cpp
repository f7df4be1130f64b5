// The built talvenor_new writing its classified points as text, BIN, QFIT and
// VRML: each output holds, point for point, what the LAS output of the same
// run holds in the fields of its format.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Coordinates at the 0.01 of the scene files, with their offsets.
std::string xyz_text(const FixtureHeader& h, const FixturePoint& p, const char* separator) {
  char text[128];
  std::snprintf(text, sizeof(text), "%.2f%s%.2f%s%.2f", h.scale[0] * p.X + h.offset[0], separator,
                h.scale[1] * p.Y + h.offset[1], separator, h.scale[2] * p.Z + h.offset[2]);
  return text;
}

int32_t i32_at(const std::string& bytes, size_t at) {
  int32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

class TalvenorSideOutputs : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(write_scene_las(make_scene(scene_params(ScenePreset::kHilly, 60.0, 2.0, 5)), dir.file("a.las")));
    const ProgramRun run =
        run_program(kProgram, {"-i", "a.las", "-o", "ref.las", "-quiet"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(fixture_read_file(dir.file("ref.las"), &reference));
    ASSERT_GT(reference.points.size(), 1000u);
  }

  ProgramRun run(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-i", "a.las", "-quiet"};
    all.insert(all.end(), args.begin(), args.end());
    return run_program(kProgram, all, dir.path());
  }

  ProgramDir dir;
  FixtureContents reference;
};

TEST_F(TalvenorSideOutputs, TextHoldsTheClassesOfTheLasOutput) {
  for (const auto& [name, character] :
       std::vector<std::pair<const char*, const char*>>{{"space", " "}, {"comma", ","}}) {
    SCOPED_TRACE(name);
    const ProgramRun r = run({"-o", "out.txt", "-oparse", "xyzc", "-osep", name});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<std::string> lines = lines_of(file_text(dir.file("out.txt")));
    ASSERT_EQ(lines.size(), reference.points.size());
    for (size_t i = 0; i < lines.size(); i++) {
      const FixturePoint& p = reference.points[i];
      ASSERT_EQ(lines[i], xyz_text(reference.header, p, character) + character +
                              std::to_string(p.classification))
          << i;
    }
  }
  // The same text on standard output.
  const ProgramRun piped = run({"-stdout", "-otxt", "-oparse", "xyzc", "-osep", "comma"});
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.out, file_text(dir.file("out.txt")));
}

TEST_F(TalvenorSideOutputs, BinHoldsTheClassesOfTheLasOutput) {
  const ProgramRun r = run({"-o", "out.bin"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string bytes = file_text(dir.file("out.bin"));
  const size_t n = reference.points.size();
  ASSERT_EQ(bytes.size(), 56 + n * 20) << "16-byte records with time words (point format 1)";
  EXPECT_EQ(i32_at(bytes, 16), static_cast<int32_t>(n));
  EXPECT_EQ(i32_at(bytes, 20), 100);
  for (size_t i = 0; i < n; i++) {
    const FixturePoint& p = reference.points[i];
    const size_t at = 56 + 20 * i;
    ASSERT_EQ(uint8_t(bytes[at]), p.classification) << i;
    ASSERT_EQ(i32_at(bytes, at + 4), p.X) << i;
    ASSERT_EQ(i32_at(bytes, at + 8), p.Y) << i;
    ASSERT_EQ(i32_at(bytes, at + 12), p.Z) << i;
  }
}

TEST_F(TalvenorSideOutputs, VrmlHoldsTheCoordinatesOfTheLasOutput) {
  const ProgramRun r = run({"-o", "out.wrl"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> lines = lines_of(file_text(dir.file("out.wrl")));
  const size_t n = reference.points.size();
  ASSERT_EQ(lines.size(), 9 + n + 4);
  EXPECT_EQ(lines[8], "\t\t\tpoint [");
  for (size_t i = 0; i < n; i++)
    ASSERT_EQ(lines[9 + i], xyz_text(reference.header, reference.points[i], " ")) << i;
  EXPECT_EQ(lines.back(), "}");
}

TEST_F(TalvenorSideOutputs, QfitHoldsTheCoordinatesOfALongitudeLatitudeInput) {
  FixtureFile lonlat;
  lonlat.point_data_format = 1;
  lonlat.scale = {0.000001, 0.000001, 0.001};
  std::vector<FixturePoint> points(2500);
  for (size_t i = 0; i < points.size(); i++) {
    points[i].X = -70000000 + int32_t(i % 50) * 200;
    points[i].Y = 42000000 + int32_t(i / 50) * 200;
    points[i].Z = 10000 + int32_t((i * 7919) % 13) * 10;
    points[i].gps_time = 1000.0 + i * 0.5;
  }
  ASSERT_TRUE(fixture_write_file(dir.file("lonlat.las"), lonlat, points));
  const ProgramRun r =
      run_program(kProgram, {"-i", "lonlat.las", "-o", "out.qi", "-quiet"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string bytes = file_text(dir.file("out.qi"));
  ASSERT_EQ(bytes.size(), 80 + 40 * points.size());
  for (size_t i = 0; i < points.size(); i++) {
    const size_t at = 80 + 40 * i;
    ASSERT_EQ(i32_at(bytes, at), int32_t(points[i].gps_time * 1000)) << i;
    ASSERT_EQ(i32_at(bytes, at + 4), points[i].Y) << i;
    ASSERT_EQ(i32_at(bytes, at + 8), points[i].X + 360000000) << i;
    ASSERT_EQ(i32_at(bytes, at + 12), points[i].Z) << i;
  }
}

}  // namespace
