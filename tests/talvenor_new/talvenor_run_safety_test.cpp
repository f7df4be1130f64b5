// The built talvenor_new on runs that must not lose data while they report success: no output
// overwrites an input of the run or an output the run wrote before, and a run that loses points
// or cannot write what it was asked to ends with its ERROR line and code 1, leaving no output
// file behind that looks like a result.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "core/las_item.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// Small scenes: one seed, one file.
bool write_scene(const std::string& path, uint64_t seed, const SceneLasOptions& options = {}) {
  return write_scene_las(make_scene(scene_params(ScenePreset::kFlat, 40.0, 1.0, seed)), path, options);
}

// Copies a LAS file into VPK with the given compressor kind and chunk size (0: adaptive).
bool write_vpk(const std::string& las, const std::string& vpk, uint16_t compressor,
               int32_t chunk_size) {
  LASreaderLAS reader;
  if (!reader.open_file(las.c_str())) return false;
  LASwriterLAS writer;
  if (!writer.open_file(vpk.c_str(), &reader.header, compressor, 0, chunk_size)) return false;
  while (reader.read_point()) {
    if (!writer.write_one_point(&reader.point)) return false;
  }
  return writer.close_output(true) > 0;
}

// A VPK copy with bytes in the middle of the points overwritten: the chunk they fall into no
// longer ends where the next one starts, and the points from there on are lost.
bool write_broken_vpk(const std::string& las, const std::string& vpk) {
  if (!write_vpk(las, vpk, LAScompressorKind::sequential_chunked, 200)) return false;
  std::string broken = file_text(vpk);
  const size_t points_start = size_t(uint8_t(broken[96])) | size_t(uint8_t(broken[97])) << 8 |
                              size_t(uint8_t(broken[98])) << 16 | size_t(uint8_t(broken[99])) << 24;
  if (points_start >= broken.size()) return false;
  const size_t middle = points_start + (broken.size() - points_start) / 2;
  for (size_t i = middle; i < middle + 64; i++) broken[i] = char(0x55);
  return write_text(vpk, broken);
}

uint32_t point_count(const std::string& las) {
  FixtureContents contents;
  return fixture_read_file(las, &contents) ? uint32_t(contents.points.size()) : 0;
}

struct InputCase {
  const char* name;
  std::vector<std::string> args;
  const char* input;  // the one that an output would overwrite
};

// An earlier file's output named like a later input would destroy that input before it is read;
// a later output named like an input read before would destroy the original. Every input of the
// run is refused as an output, whoever names it.
TEST(TalvenorRunSafety, NoOutputOverwritesAnInputOfTheRun) {
  const InputCase cases[] = {
      {"earlier output, later input", {"-i", "c.las", "c_1.las"}, "c_1.las"},
      {"later output, earlier input", {"-i", "c_1.las", "c.las"}, "c_1.las"},
      {"given name, later input", {"-i", "c.las", "d.las", "-o", "d.las"}, "d.las"},
      {"given name, neighbour",
       {"-i", "c.las", "-neighbors", "d.las", "-buffered", "5", "-o", "d.las"},
       "d.las"},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramDir dir;
    ASSERT_TRUE(write_scene(dir.file("c.las"), 1));
    ASSERT_TRUE(write_scene(dir.file("c_1.las"), 2));
    ASSERT_TRUE(write_scene(dir.file("d.las"), 3));
    const std::vector<std::string> before = {file_text(dir.file("c.las")),
                                             file_text(dir.file("c_1.las")),
                                             file_text(dir.file("d.las"))};
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(std::string("ERROR: output file '") + c.input + "' is the input file '" +
                           c.input + "'. refusing to overwrite it.\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(file_text(dir.file("c.las")), before[0]);
    EXPECT_EQ(file_text(dir.file("c_1.las")), before[1]);
    EXPECT_EQ(file_text(dir.file("d.las")), before[2]);
  }
}

// Two inputs of one name in two folders, written into one folder: the second output would
// replace the first.
TEST(TalvenorRunSafety, NoOutputOverwritesAnOutputWrittenBefore) {
  ProgramDir dir;
  ASSERT_EQ(mkdir(dir.file("x").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("y").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  ASSERT_TRUE(write_scene(dir.file("x/t.las"), 1));
  ASSERT_TRUE(write_scene(dir.file("y/t.las"), 2));
  ASSERT_NE(point_count(dir.file("x/t.las")), point_count(dir.file("y/t.las")));
  const ProgramRun run =
      run_program(kProgram, {"-i", "x/t.las", "y/t.las", "-odir", "out", "-quiet"}, dir.path());
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.err.find("ERROR: output file 'out/t.las' is the output 'out/t.las' written "
                         "before. refusing to overwrite it.\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(point_count(dir.file("out/t.las")), point_count(dir.file("x/t.las")));
}

// Output names the user did not give: the extension follows the format asked for, a name that
// names no output format is refused, and the stand-in for an output that would be its own input
// never replaces a file that exists. Every file that was there keeps its bytes.
TEST(TalvenorRunSafety, OutputNamesNeverReplaceAnotherFile) {
  struct NameCase {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    const char* written;  // the output the run writes, or null
    const char* message;  // a piece of standard error, or null
  };
  const NameCase cases[] = {
      {"text without an extension", {"-i", "a.las", "-o", "name", "-otxt"}, 0, "name.txt",
       nullptr},
      {"unknown extension", {"-i", "a.las", "-o", "out.ply"}, 1, nullptr,
       "ERROR: output file 'out.ply' has an extension that names no output format."},
      {"stand-in name exists", {"-i", "t.txt", "-odix", "", "-otxt"}, 1, nullptr,
       "ERROR: generated output name 't.txt' is the input's name and 'temp.txt' exists."},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramDir dir;
    ASSERT_TRUE(write_scene(dir.file("a.las"), 1));
    ASSERT_TRUE(write_text(dir.file("t.txt"), "1 2 3\n2 3 4\n3 1 5\n"));
    // Files the runs must leave as they are.
    ASSERT_TRUE(write_text(dir.file("name.las"), "keep name.las"));
    ASSERT_TRUE(write_text(dir.file("temp.txt"), "keep temp.txt"));
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    if (c.message) {
      EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(file_text(dir.file("name.las")), "keep name.las");
    EXPECT_EQ(file_text(dir.file("temp.txt")), "keep temp.txt");
    EXPECT_FALSE(std::ifstream(dir.file("out.ply")).good());
    if (c.written) {
      const std::string text = file_text(dir.file(c.written));
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), point_count(dir.file("a.las")));
    }
  }
}

// A LAS file under an extension of no format is still LAS: read by its signature, every point,
// not as text line by line.
TEST(TalvenorRunSafety, LasFileUnderAnotherExtensionIsReadAsLas) {
  ProgramDir dir;
  ASSERT_TRUE(write_scene(dir.file("a.las"), 1));
  ASSERT_TRUE(write_text(dir.file("a.tile"), file_text(dir.file("a.las"))));
  const ProgramRun run = run_program(kProgram, {"-i", "a.tile", "-o", "b.las"}, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err.find("cannot parse"), std::string::npos) << run.err;
  EXPECT_EQ(point_count(dir.file("b.las")), point_count(dir.file("a.las")));
}

// What both failure tables read: a small scene "a.las", another in LAS 1.4 point format 6
// "r6.las", and "broken.vpk", a copy of the first with a damaged chunk.
void write_failure_inputs(const ProgramDir& dir) {
  ASSERT_TRUE(write_scene(dir.file("a.las"), 1));
  SceneLasOptions extended;
  extended.version_minor = 4;
  extended.point_data_format = 6;
  ASSERT_TRUE(write_scene(dir.file("r6.las"), 2, extended));
  ASSERT_TRUE(write_broken_vpk(dir.file("a.las"), dir.file("broken.vpk")));
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  const char* stdin_file;  // fed to standard input when not null
  std::string message;     // a piece of standard error
  const char* output;      // the output that must not be left behind
};

// Inputs that lose points: the run ends with the reader's ERROR line and code 1, and writes no
// output from the points it could read.
TEST(TalvenorRunSafety, InputThatLosesPointsFailsTheRunAndWritesNothing) {
  const FailureCase cases[] = {
      {"adaptively chunked VPK from stdin",
       {"-stdin", "-o", "o.las"},
       "adaptive.vpk",
       "ERROR: 'adaptive chunk table cannot be read from a stream that cannot seek'",
       "o.las"},
      {"the same with a counting pass",
       {"-stdin", "-o", "o.las", "-extra_pass"},
       "adaptive.vpk",
       "ERROR: processing 'stdin' failed. no output written.\n",
       "o.las"},
      {"VPK with a damaged chunk",
       {"-i", "broken.vpk", "-o", "o.las"},
       nullptr,
       "ERROR: processing 'broken.vpk' failed. no output written.\n",
       "o.las"},
      {"merged member with a damaged chunk",
       {"-i", "a.las", "broken.vpk", "-merged", "-o", "o.las"},
       nullptr,
       "ERROR: processing 'a.las' failed. no output written.\n",
       "o.las"},
      {"stored merged member with a damaged chunk",
       {"-i", "a.las", "broken.vpk", "-merged", "-stored", "-o", "o.las"},
       nullptr,
       "ERROR: processing 'a.las' failed. no output written.\n",
       "o.las"},
      {"merged member that is missing",
       {"-i", "a.las", "missing.las", "-merged", "-o", "o.las"},
       nullptr,
       "ERROR: file 'missing.las' cannot be opened\n"
       "ERROR: cannot open lasreadermerged with 2 file names\n",
       "o.las"},
      {"merged member of another format",
       {"-i", "a.las", "b.txt", "-merged", "-o", "o.las"},
       nullptr,
       "ERROR: cannot mix LAS with TXT. skipping 'b.txt' ...\n"
       "ERROR: cannot open lasreadermerged with 2 file names\n",
       "o.las"},
      {"neighbour that is missing",
       {"-i", "a.las", "-neighbors", "missing.las", "-buffered", "5", "-o", "o.las"},
       nullptr,
       "ERROR: file 'missing.las' cannot be opened\n"
       "ERROR: cannot open lasreaderbuffered with 2 file names\n",
       "o.las"},
      {"neighbour with a damaged chunk",
       {"-i", "a.las", "broken.vpk", "-buffered", "5", "-o", "o.las"},
       nullptr,
       "ERROR: cannot open lasreaderbuffered with 2 file names\n",
       "o.las"},
  };
  ProgramDir dir;
  ASSERT_NO_FATAL_FAILURE(write_failure_inputs(dir));
  ASSERT_TRUE(write_vpk(dir.file("r6.las"), dir.file("adaptive.vpk"),
                        LAScompressorKind::multistream_chunked, 0));
  ASSERT_TRUE(write_text(dir.file("b.txt"), "1 2 3\n"));

  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = c.stdin_file ? file_text(dir.file(c.stdin_file)) : "";
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path(), input);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(path_exists(dir.file(c.output)));
    remove(dir.file(c.output).c_str());
  }
}

// A side-format output on the full disk ("full.<ext>" links to /dev/full), which its writer
// reports in one form.
FailureCase no_space(const char* name, const char* input, const std::string& output,
                     const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {"-i", input, "-o", output};
  args.insert(args.end(), more.begin(), more.end());
  return {name, args, nullptr, "ERROR: cannot write to '" + output + "': No space left on device\n",
          nullptr};
}

// Outputs that cannot be written in full: the run ends with an ERROR line and code 1, and a file
// it began is removed.
TEST(TalvenorRunSafety, OutputThatCannotBeWrittenFailsTheRun) {
  const FailureCase cases[] = {
      {"-compatible VPK of point format 6",
       {"-i", "r6.las", "-o", "o.vpk", "-compatible"},
       nullptr,
       "ERROR: cannot open laswriterlas with file name 'o.vpk'\n",
       "o.vpk"},
      {"LAS on a full disk",
       {"-i", "a.las", "-o", "full.las"},
       nullptr,
       "ERROR: cannot write point ",
       nullptr},
      {"VPK on a full disk",
       {"-i", "a.las", "-o", "full.vpk"},
       nullptr,
       "ERROR: cannot finish writing 'full.vpk'\n",
       nullptr},
      {"copy of a file without points on a full disk",
       {"-i", "zero.las", "-o", "full.las"},
       nullptr,
       "ERROR: cannot finish writing 'full.las'\n",
       nullptr},
      no_space("text on a full disk", "a.las", "full.txt", {"-oparse", "xyzc"}),
      no_space("BIN on a full disk", "a.las", "full.bin"),
      no_space("QFIT on a full disk", "lonlat.las", "full.qi"),
      no_space("VRML on a full disk", "a.las", "full.wrl"),
      {"QFIT of projected coordinates",
       {"-i", "a.las", "-o", "o.qi"},
       nullptr,
       "ERROR: cannot open laswriterqfit with file name 'o.qi'\n",
       "o.qi"},
      {"text of an input that loses points",
       {"-i", "broken.vpk", "-o", "o.txt"},
       nullptr,
       "ERROR: ",
       "o.txt"},
      {"text with a separator no one knows",
       {"-i", "a.las", "-o", "o.txt", "-osep", "pipe"},
       nullptr,
       "ERROR: unknown seperator 'pipe'\n",
       "o.txt"},
  };
  ProgramDir dir;
  ASSERT_NO_FATAL_FAILURE(write_failure_inputs(dir));
  FixtureFile empty;
  empty.point_data_format = 1;
  ASSERT_TRUE(fixture_write_file(dir.file("zero.las"), empty, {}));
  // Points in longitude and latitude, for QFIT.
  FixtureFile lonlat;
  lonlat.point_data_format = 1;
  lonlat.scale = {0.000001, 0.000001, 0.001};
  std::vector<FixturePoint> lonlat_points(3000);
  for (size_t i = 0; i < lonlat_points.size(); i++) {
    lonlat_points[i].X = -70000000 + int32_t(i % 50) * 100;
    lonlat_points[i].Y = 42000000 + int32_t(i / 50) * 100;
    lonlat_points[i].Z = 10000 + int32_t(i % 7);
  }
  ASSERT_TRUE(fixture_write_file(dir.file("lonlat.las"), lonlat, lonlat_points));
  for (const char* name : {"full.las", "full.vpk", "full.txt", "full.bin", "full.qi", "full.wrl"}) {
    ASSERT_EQ(symlink("/dev/full", dir.file(name).c_str()), 0);
  }
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    if (c.output) {
      EXPECT_FALSE(path_exists(dir.file(c.output)));
    }
  }
  for (const char* format : {"-olas", "-ovpk", "-otxt", "-obin", "-owrl"}) {
    const ProgramRun run = run_program_to(kProgram, {"-i", "a.las", "-stdout", format, "-quiet"},
                                          dir.path(), "/dev/full");
    EXPECT_EQ(run.exit_code, 1) << format << ": " << run.err;
    EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
  }
}

// -pipe_on owes the next program in the pipe every point: when standard output cannot take them
// the run fails and writes no output of its own, whatever wraps the input.
TEST(TalvenorRunSafety, PipeOnThatCannotBeWrittenFailsTheRun) {
  const std::vector<std::vector<std::string>> wrappers = {{},
                                                          {"-stored"},
                                                          {"-extra_pass"},
                                                          {"-i", "b.las", "-buffered", "5"},
                                                          {"-i", "b.las", "-merged"}};
  ProgramDir dir;
  ASSERT_TRUE(write_scene(dir.file("a.las"), 1));
  ASSERT_TRUE(write_scene(dir.file("b.las"), 2));
  for (const std::vector<std::string>& wrapper : wrappers) {
    SCOPED_TRACE(testing::PrintToString(wrapper));
    std::vector<std::string> args = {"-i", "a.las", "-pipe_on", "-odix", "_g", "-quiet"};
    args.insert(args.end(), wrapper.begin(), wrapper.end());
    const ProgramRun run = run_program_to(kProgram, args, dir.path(), "/dev/full");
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find("to stdout. pipe closed?\n"), std::string::npos) << run.err;
    EXPECT_FALSE(path_exists(dir.file("a_g.las")));
    EXPECT_FALSE(path_exists(dir.file("b_g.las")));
  }
  // Both on standard output: the classified points would follow the piped ones unseen.
  const ProgramRun both = run_program(kProgram, {"-i", "a.las", "-pipe_on", "-stdout"}, dir.path());
  EXPECT_EQ(both.exit_code, 1) << both.err;
  EXPECT_EQ(both.err, "ERROR: '-pipe_on' and '-stdout' cannot be combined\n");
  EXPECT_TRUE(both.out.empty());
}

}  // namespace

namespace {

// Two rows of 20 points 2 m apart and one point 99 m below them, as a cut ASCII grid gives them.
// Relative to the lowest corner, row 0 lies at y 4, row 1 at y 2, x = 2 c, z = 100 + 0.01 c
// (+ 0.1 in row 1): one plane. The low point (0, 0) is a coarsest seed and a spike of the
// initial TIN (99 m below all its neighbours); deleting it leaves the other seeds, row 0 at
// x 6 to 36, on one line. The run used to end there with "fail to brute_locate a point.":
// the first coarse candidate, row 0 at x 0, lies on the line past its end. Located at the end
// segment (6, 10) it is 0.0375 below it and goes in, as do x 38 (0.016 above (30, 36)) and
// the row 1 candidates at x 6 to 20, located beside segment (30, 36) and at most 0.038 above
// it. Inside the hull the plane takes every point. The corner (38, 2) is only ever seen from a hull
// edge to (38, 4): from (34, 2) it lies 0.073 above it, from (36, 2) 0.055: above the offset, so it
// and the low point are the only non-ground points; (36, 2) is 0.043 above the edge from (34, 2)
// and goes in.
TEST(TalvenorRunSafety, TwoCollinearRowsAndALowPointAreClassified) {
  ProgramDir dir;
  FixtureFile file;
  file.point_data_format = 0;
  file.scale = {0.01, 0.01, 0.01};
  file.offset = {600000.0, 4800000.0, 0.0};
  std::vector<FixturePoint> points;
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < (r < 2 ? 20 : 1); c++) {
      FixturePoint p;
      p.X = 3000100 + 200 * c;
      p.Y = 3002900 - 200 * r;
      p.Z = r < 2 ? 10000 + 10 * r + c : 100;
      points.push_back(p);
    }
  }
  ASSERT_TRUE(fixture_write_file(dir.file("rows.las"), file, points));
  ProgramLimits limits;
  limits.cpu_seconds = 120;  // the hull along the rows was once walked to and fro without end
  const ProgramRun run =
      run_program(kProgram, {"-i", "rows.las", "-o", "rows_out.las", "-v"}, dir.path(), "", limits);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("39 points classified as ground."), std::string::npos) << run.err;
  FixtureContents out;
  ASSERT_TRUE(fixture_read_file(dir.file("rows_out.las"), &out));
  ASSERT_EQ(out.points.size(), points.size());
  for (size_t i = 0; i < points.size(); i++) {
    FixturePoint expected = points[i];
    expected.classification = (i == 39 || i == 40) ? 1 : 2;
    ASSERT_EQ(fixture_point_difference(out.points[i], expected), "") << i;
  }
}

}  // namespace
