// The built talvenor_new under -quiet: runs that print notes and warnings otherwise (buffer
// points added, a filtered output whose count differs from the input's, a PLY header parsed, a
// text file counted, a copy without ground) print nothing at all, and still write their output.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "scene_tiles.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

std::string scene_text(const Scene& scene) {
  std::string text;
  char line[128];
  for (const ScenePoint& p : scene.points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f\n", p.x, p.y, p.z);
    text += line;
  }
  return text;
}

std::string scene_ply(const Scene& scene) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(scene.points.size()) +
         "\nproperty double x\nproperty double y\nproperty double z\nend_header\n" +
         scene_text(scene);
}

struct QuietCase {
  const char* name;
  std::vector<std::string> args;  // behind which "-quiet" is added
  const char* output;
  const char* note;  // printed without -quiet
};

TEST(TalvenorQuiet, OnlyErrorsReachStandardError) {
  const Scene scene = make_scene(scene_params(ScenePreset::kHilly, 60.0, 2.0, 11));
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), scene);
  ASSERT_TRUE(write_text(dir.file("a.txt"), scene_text(scene)));
  ASSERT_TRUE(write_text(dir.file("a.ply"), scene_ply(scene)));
  // Three points on one line: no ground can be found, the file is copied.
  ASSERT_TRUE(write_text(dir.file("line.txt"), "1 1 1\n2 2 2\n3 3 3\n"));
  const double mid_x = scene.params.origin_x + scene.params.size / 2;
  const double mid_y = scene.params.origin_y + scene.params.size / 2;
  const std::string keep_x = std::to_string(mid_x), keep_y = std::to_string(mid_y);
  const QuietCase cases[] = {
      {"buffered",
       {"-i", "tile0.las", "-neighbors", "tile1.las", "tile2.las", "tile3.las", "-buffered", "10",
        "-o", "buffered.las"},
       "buffered.las",
       "LASreaderBuffered: adding "},
      {"filtered",
       {"-i", "whole.las", "-keep_xy", std::to_string(scene.params.origin_x),
        std::to_string(scene.params.origin_y), keep_x, keep_y, "-o", "filtered.las"},
       "filtered.las",
       nullptr},
      {"PLY", {"-i", "a.ply", "-o", "ply.las"}, "ply.las", "parsed: "},
      {"PTX without its record",
       {"-i", "whole.las", "-o", "a.ptx", "-optx", "-oparse", "xyz"},
       "a.ptx",
       "WARNING: found no VLR with PTX info.\n"},
      {"text", {"-i", "a.txt", "-iparse", "xyz", "-o", "text.las"}, "text.las", "counted "},
      {"copy without ground",
       {"-i", "line.txt", "-iparse", "xyz", "-o", "line.las", "-replace_z"},
       "line.las",
       "WARNING: no ground found"},
  };
  for (const QuietCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.note) {
      const ProgramRun loud = run_program(kProgram, c.args, dir.path());
      ASSERT_EQ(loud.exit_code, 0) << loud.err;
      EXPECT_NE(loud.err.find(c.note), std::string::npos) << loud.err;
      ASSERT_EQ(std::remove(dir.file(c.output).c_str()), 0);
    }
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(path_exists(dir.file(c.output)));
  }
}

}  // namespace
