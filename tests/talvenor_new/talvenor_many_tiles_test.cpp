// The README's "Many tiles" commands, run as they stand there: four buffered tiles in four
// processes at once, with xargs and with GNU parallel, write the bytes that the same tiles
// write one after another, as the Slurm job script writes them task by task, and as one
// process writes them for the whole list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "scene_tiles.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// A file the shell can run.
bool write_script(const std::string& path, const std::string& text) {
  return write_text(path, text) && chmod(path.c_str(), 0755) == 0;
}

// The fenced code blocks of the README section that starts with `heading`.
std::vector<std::string> section_code(const std::string& heading) {
  std::istringstream in(file_text(std::string(PL_SOURCE_DIR) + "/README.md"));
  std::vector<std::string> blocks;
  std::string line;
  bool inside = false, in_code = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      inside = line == heading;
      continue;
    }
    if (!inside) continue;
    if (line.rfind("```", 0) == 0) {
      in_code = !in_code;
      if (in_code) blocks.emplace_back();
      continue;
    }
    if (in_code) blocks.back() += line + "\n";
  }
  return blocks;
}

// The one line of the blocks that starts with `start`.
std::string line_starting(const std::vector<std::string>& blocks, const std::string& start) {
  for (const std::string& block : blocks) {
    std::istringstream in(block);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(start, 0) == 0) return line;
    }
  }
  return "";
}

struct Shell {
  std::string dir, bin;
  // Runs a command line with bash in the tiles' folder, the built programs and the stand-ins
  // on the PATH.
  ProgramRun run(const std::string& command) const {
    const std::string script = "set -e\nexport PATH='" + bin + "':'" + PL_BINARY_DIR +
                               "':\"$PATH\"\ncd '" + dir + "'\n" + command + "\n";
    return run_program("/bin/bash", {"-c", script}, dir);
  }
};

}  // namespace

TEST(TalvenorManyTiles, ReadmeCommandsGiveTheBytesOfOneTileAfterAnother) {
  const std::vector<std::string> blocks = section_code("## Many tiles");
  const std::string setup = line_starting(blocks, "ls tiles/");
  const std::string with_xargs = line_starting(blocks, "xargs ");
  const std::string with_parallel = line_starting(blocks, "parallel ");
  const std::string submit = line_starting(blocks, "sbatch ");
  std::string job_script;
  for (const std::string& block : blocks) {
    if (block.rfind("#!/bin/bash", 0) == 0) job_script = block;
  }
  ASSERT_NE(setup, "");
  ASSERT_NE(with_xargs, "");
  ASSERT_NE(with_parallel, "");
  ASSERT_NE(submit, "");
  ASSERT_NE(job_script, "");

  ProgramDir dir;
  ASSERT_EQ(mkdir(dir.file("tiles").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.file("bin").c_str(), 0700), 0);
  SceneParams params;
  params.size = 80.0;
  params.density = 2.0;
  params.seed = 3;
  const Tiles tiles = write_tiles(dir.file("tiles"), make_scene(params));
  ASSERT_EQ(std::remove(tiles.whole_in_tile_order.c_str()), 0);  // only the four tiles
  ASSERT_TRUE(write_text(dir.file("ground.sbatch"), job_script));
  // A machine of four cores, so that xargs runs the four tiles at once; and a stand-in for
  // Slurm that runs the tasks of the array one after another.
  ASSERT_TRUE(write_script(dir.file("bin/nproc"), "#!/bin/sh\necho 4\n"));
  ASSERT_TRUE(write_script(dir.file("bin/sbatch"),
                           "#!/bin/bash\n"
                           "range=${1#--array=}\n"
                           "for ((i = ${range%-*}; i <= ${range#*-}; i++)); do\n"
                           "  SLURM_ARRAY_TASK_ID=$i bash \"$2\"\n"
                           "done\n"));
  const Shell shell{dir.path(), dir.file("bin")};
  const std::vector<std::string> names = {"tile0.las", "tile1.las", "tile2.las", "tile3.las"};

  // One after another: the job array, task by task.
  ProgramRun run = shell.run(setup + "\n" + submit + "\nmv ground one_after_another");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> expected;
  for (size_t k = 0; k < names.size(); k++) {
    expected.push_back(file_text(dir.file("one_after_another/" + names[k])));
    FixtureContents out;
    ASSERT_TRUE(fixture_read_file(dir.file("one_after_another/" + names[k]), &out)) << names[k];
    EXPECT_EQ(out.points.size(), tiles.sizes[k]) << "the tile's own points, not its buffer";
  }

  const std::vector<std::string> at_once = {
      with_xargs, with_parallel,
      // One process for the whole list buffers each tile from the others the same way.
      "talvenor_new -i tiles/*.las -buffered 25 -odir ground -olas -quiet"};
  for (const std::string& command : at_once) {
    SCOPED_TRACE(command);
    run = shell.run("rm -rf ground\n" + setup + "\n" + command);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (size_t k = 0; k < names.size(); k++) {
      EXPECT_TRUE(file_text(dir.file("ground/" + names[k])) == expected[k]) << names[k];
    }
  }
}
