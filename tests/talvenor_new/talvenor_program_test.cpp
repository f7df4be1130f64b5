// The built talvenor_new program run as a user runs it: one row per command line, with the
// messages it must print, its exit code and the files it must leave. Every row runs in a fresh
// directory holding a small scene "a.las", which no run may change.
#include <gtest/gtest.h>


#include <cctype>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "file_bytes.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

const std::string kUsage =
    "usage:\n"
    "talvenor_new -i in.vpk -o out.vpk\n"
    "talvenor_new -i *.vpk -odix _g -ovpk -cores 4 -quiet\n"
    "talvenor_new -i in.las -o out.vpk -metro -verbose\n"
    "talvenor_new -i in.vpk -o out.vpk -town -ignore_class 7\n"
    "talvenor_new -i in.vpk -o out.vpk -v -step 45 -spike 1.5 -down_spike 2.5 -bulge 2.5 -offset "
    "0.1\n"
    "talvenor_new -i in.las -o out.vpk -feet -elevation_feet\n"
    "talvenor_new -i in.vpk -o out.vpk -no_bulge\n"
    "talvenor_new -i *.vpk -v -odir ground_classified -ovpk -cores 8\n"
    "talvenor_new -i in.las -olay (classes into in.lay beside in.las or into -olaydir dir; -o and "
    "-odir are not used)\n"
    "talvenor_new -i in.las -ilay -o out.las (reads in.las through in.lay or -ilaydir dir)\n"
    "talvenor_new -h\n";

const std::string kLayWarning =
    "WARNING: do not expect LAY files to work across different versions\n"
    "         of Mirvelox because the development of ZEDuvozev is still\n"
    "         not completed. this is just an awesome prototype as proof\n"
    "         of concept. we continue to gather community input ... (-;\n";

const std::string kPrompts =
    kProgram + " is better run in the command line\nenter input file: enter output file: ";

const std::string kIdentical = "ERROR: input and output file name are identical\n" + kUsage;

// The verbose line that describes the estimate's settings.
std::string settings_line(const char* step, const char* sub, const char* bulge,
                          const char* spike = "1+1", const char* offset = "0.05") {
  return std::string("step is ") + step + " m, sub is " + sub + ", bulge is " + bulge +
         " m, spike is " + spike + " m, and offset is " + offset + " m ...\n";
}

struct ProgramRow {
  ProgramRow(const char* name, std::vector<std::string> args, std::string input, int code,
             std::string exact, std::vector<std::string> contains = {}, std::string ends = "",
             const char* made = nullptr, bool link_b = false)
      : name(name),
        args(std::move(args)),
        input(std::move(input)),
        code(code),
        exact(std::move(exact)),
        contains(std::move(contains)),
        ends(std::move(ends)),
        made(made),
        link_b(link_b) {}
  const char* name;
  std::vector<std::string> args;
  std::string input;  // standard input
  int code;
  std::string exact;                  // the whole standard error, when not empty
  std::vector<std::string> contains;  // pieces that standard error holds
  std::string ends;                   // how standard error ends, when not empty
  const char* made;                   // a file the run must leave
  bool link_b;                        // "b.las" is a hard link to "a.las"
};

// Test names show the row's name instead of its bytes.
void PrintTo(const ProgramRow& row, std::ostream* os) {
  *os << row.name;
}

const std::vector<ProgramRow>& program_rows() {
  static const std::vector<ProgramRow> rows = {
      // Step and sub, as the verbose description of the file shows them.
      {"defaults",
       {"-i", "a.las", "-o", "o.las", "-v"},
       "",
       0,
       "",
       {"horizontal units are meter and vertical units are meter. nature mode.\n",
        settings_line("25", "5", "2")},
       "",
       "o.las"},
      {"step 12",
       {"-i", "a.las", "-o", "o.las", "-v", "-step", "12"},
       "",
       0,
       "",
       {settings_line("12", "4", "1.2")}},
      {"step 5",
       {"-i", "a.las", "-o", "o.las", "-v", "-step", "5"},
       "",
       0,
       "",
       {settings_line("5", "3", "1")}},
      {"fine then sub",
       {"-i", "a.las", "-o", "o.las", "-v", "-fine", "-sub", "5"},
       "",
       0,
       "",
       {settings_line("25", "5", "2")}},
      {"sub then fine",
       {"-i", "a.las", "-o", "o.las", "-v", "-sub", "5", "-fine"},
       "",
       0,
       "",
       {settings_line("25", "6", "2")}},
      {"city and metro",
       {"-i", "a.las", "-o", "o.las", "-v", "-city", "-metro"},
       "",
       0,
       "",
       {"city mode.\n", settings_line("50", "7", "2")}},
      {"town and nature",
       {"-i", "a.las", "-o", "o.las", "-v", "-town", "-nature"},
       "",
       0,
       "",
       {"town mode.\n", settings_line("10", "4", "1")}},
      {"archeology keeps a given spike",
       {"-i", "a.las", "-o", "o.las", "-v", "-archeology", "-spike", "1"},
       "",
       0,
       "",
       {settings_line("1", "3", "1", "1+1", "0.02")}},
      {"archeology",
       {"-i", "a.las", "-o", "o.las", "-v", "-archeology"},
       "",
       0,
       "",
       {settings_line("1", "3", "1", "0.35+0.35", "0.02")}},
      {"en dash",
       {"-i", "a.las", "-o", "o.las", "-v", "\x96step", "12"},
       "",
       0,
       "",
       {settings_line("12", "4", "1.2")}},
      {"-step 0",
       {"-i", "a.las", "-step", "0"},
       "",
       1,
       "ERROR: '-step' needs 1 argument: value but 0 in not a valid value\n"},
      {"-step no number",
       {"-i", "a.las", "-step", "x1"},
       "",
       1,
       "ERROR: '-step' needs 1 argument: value but 'x1' in not a valid value\n"},
      {"-step missing",
       {"-i", "a.las", "-step"},
       "",
       1,
       "ERROR: '-step' needs 1 argument: value\n"},
      // A sub below 1 would leave no shifted grid (and 0 divided by zero); refused like a step.
      {"-sub 0",
       {"-i", "a.las", "-o", "o.las", "-sub", "0"},
       "",
       1,
       "ERROR: '-sub' needs 1 argument: sub_steps but 0 in not a valid value\n"},
      {"-sub -2",
       {"-i", "a.las", "-o", "o.las", "-sub", "-2"},
       "",
       1,
       "ERROR: '-sub' needs 1 argument: sub_steps but -2 in not a valid value\n"},
      {"-sub no number",
       {"-i", "a.las", "-o", "o.las", "-sub", "x1"},
       "",
       1,
       "ERROR: '-sub' needs 1 argument: sub_steps but 'x1' in not a valid value\n"},
      {"-sub 1",
       {"-i", "a.las", "-o", "o.las", "-v", "-sub", "1"},
       "",
       0,
       "",
       {settings_line("25", "1", "2")},
       "",
       "o.las"},
      // Edit layers: without a LAY file the input is read as it is, with a warning at every
      // opening (under -quiet only the errors); -olay writes the LAY file beside the input
      // instead of a point file.
      {"-ilay 3",
       {"-i", "a.las", "-ilay", "3", "-quiet", "-o", "o.las"},
       "",
       0,
       "ERROR: cannot open file 'a.lay'\nERROR: cannot open file 'a.lay'\n",
       {},
       "",
       "o.las"},
      {"-ilay -3",
       {"-i", "a.las", "-ilay", "-3", "-o", "o.las"},
       "",
       0,
       "",
       {"WARNING: could not open LAY file ... skipping\n"},
       "",
       "o.las"},
      {"-ilay leaves an option",
       {"-i", "a.las", "-ilay", "-step", "0"},
       "",
       1,
       "ERROR: '-step' needs 1 argument: value but 0 in not a valid value\n"},
      {"-ilay with the warning",
       {"-i", "a.las", "-ilay", "-o", "o.las"},
       "",
       0,
       "",
       {kLayWarning, "WARNING: could not open LAY file ... skipping\n",
        "WARNING: could not re-open LAY file ... skipping\n"}},
      {"-ilay piped",
       {"-stdin", "-ilay", "-quiet"},
       "",
       1,
       "ERROR: cannot use '-ilay' for piped input\n"},
      {"-olay", {"-i", "a.las", "-olay", "-quiet"}, "", 0, "", {}, "", "a.lay"},
      {"-olay inside",
       {"-i", "a.las", "-olay", "-quiet", "-inside", "0", "0", "1", "1"},
       "",
       1,
       "ERROR: inside queries and '-olay' cannot currently be combined.\n"},
      {"-cores last",
       {"-i", "a.las", "-o", "o.las", "-cores"},
       "",
       0,
       "",
       {"WARNING: not compiled with multi-core batching. ignoring '-cores' ...\n"},
       "",
       "o.las"},
      {"unknown argument",
       {"-i", "a.las", "-yards"},
       "",
       1,
       "ERROR: cannot understand argument '-yards'\n"},
      {"missing input",
       {"-i", "missing.las"},
       "",
       1,
       "ERROR: cannot open file 'missing.las' for read\n"
       "ERROR: cannot open lasreaderlas with file name 'missing.las'\n"
       "ERROR: could not open lasreader\n"},
      {"no input", {"-v"}, "", 1, "ERROR: no input specified\n"},
      {"-version", {"-version"}, "", 0, "talvenor_new of Mirvelox, version 210531\n"},
      {"-h",
       {"-h"},
       "",
       0,
       "",
       {"talvenor_new of Mirvelox, version 210531\n", "Options of talvenor_new.\n",
        "  -buffered 25 -neighbors a.las b.las -neighbors_lof tiles.txt -remain_buffered\n",
        "  -olay -olaydir layers -ilay -ilay 2 -ilaydir layers (edit layers)\n"},
       kUsage},
      {"-wait",
       {"-i", "a.las", "-o", "o.las", "-quiet", "-wait"},
       "",
       0,
       "",
       {},
       "<press ENTER>\n",
       "o.las"},
      // Started without arguments: the names come from the console, the end waits for ENTER.
      {"prompts", {}, "a.las\no.las\n\n", 0, "", {}, "<press ENTER>\n", "o.las"},
      {"prompts with CR LF", {}, "a.las\r\no.las\r\n", 0, "", {}, "<press ENTER>\n", "o.las"},
      {"prompt without a line end", {}, "a.las", 0, "", {}, "<press ENTER>\n", "a_1.las"},
      {"prompts read nothing", {}, "", 1, kPrompts + "ERROR: no input specified\n<press ENTER>\n"},
      // The output must not be the input under any spelling.
      {"same name", {"-i", "a.las", "-o", "a.las"}, "", 1, kIdentical},
      {"same file, other spelling", {"-i", "./a.las", "-o", "a.las"}, "", 1, kIdentical},
      {"same file, hard link",
       {"-i", "a.las", "-o", "b.las"},
       "",
       1,
       kIdentical,
       {},
       "",
       nullptr,
       true},
      {"built name is the input",
       {"-i", "a.las", "-odir", "."},
       "",
       1,
       "",
       {"ERROR: output file './a.las' is the input file 'a.las'. refusing to overwrite it.\n"}},
  };
  return rows;
}

const Scene& small_scene() {
  static const Scene scene = make_scene(scene_params(ScenePreset::kFlat, 40.0, 1.0, 5));
  return scene;
}

class TalvenorProgram : public testing::TestWithParam<ProgramRow> {};

TEST_P(TalvenorProgram, MessagesCodeAndFiles) {
  const ProgramRow& row = GetParam();
  ProgramDir dir;
  ASSERT_FALSE(dir.path().empty());
  ASSERT_TRUE(write_scene_las(small_scene(), dir.file("a.las")));
  const std::string before = file_text(dir.file("a.las"));
  if (row.link_b) {
    ASSERT_EQ(link(dir.file("a.las").c_str(), dir.file("b.las").c_str()), 0);
  }

  const ProgramRun run = run_program(kProgram, row.args, dir.path(), row.input);
  EXPECT_EQ(run.exit_code, row.code) << run.err;
  if (!row.exact.empty()) {
    EXPECT_EQ(run.err, row.exact);
  }
  if (row.exact.empty() && row.args.empty()) {
    EXPECT_EQ(run.err.compare(0, kPrompts.size(), kPrompts), 0) << run.err;
  }
  for (const std::string& piece : row.contains) {
    EXPECT_NE(run.err.find(piece), std::string::npos) << "missing: " << piece << "\n" << run.err;
  }
  if (!row.ends.empty()) {
    ASSERT_GE(run.err.size(), row.ends.size()) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - row.ends.size()), row.ends);
  }
  if (row.made) {
    EXPECT_TRUE(path_exists(dir.file(row.made))) << row.made;
  }
  EXPECT_EQ(file_text(dir.file("a.las")), before) << "the input changed";
}

INSTANTIATE_TEST_SUITE_P(CommandLines, TalvenorProgram, testing::ValuesIn(program_rows()),
                         [](const testing::TestParamInfo<ProgramRow>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

}  // namespace
