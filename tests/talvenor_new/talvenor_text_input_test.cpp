// The built talvenor_new over text and PLY input: a scene as text classifies
// the same when it comes as a .gz, .zip or .7z archive, from standard input,
// or as PLY; a .rar archive is read without unpacking anything into the
// working folder; a missing decompressor or a corrupt archive ends the run
// with a message and exit code 1.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "rar_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

bool have_program(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

const Scene& text_scene() {
  static const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 60.0, 2.0, 5));
  return scene;
}

std::string scene_text() {
  std::string text;
  char line[128];
  for (const ScenePoint& p : text_scene().points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f %d\n", p.x, p.y, p.z, p.intensity);
    text += line;
  }
  return text;
}

std::string scene_ply() {
  std::string ply = "ply\nformat ascii 1.0\nelement vertex " +
                    std::to_string(text_scene().points.size()) +
                    "\nproperty float x\nproperty float y\nproperty float z\n"
                    "property float intensity\nend_header\n";
  return ply + scene_text();
}

void write(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

// Coordinates (at the files' two decimals) and class of every output point.
struct Classified {
  std::vector<long long> values;
  bool operator==(const Classified& o) const { return values == o.values; }
};

Classified read_output(const std::string& path) {
  Classified c;
  LASreaderLAS reader;
  EXPECT_TRUE(reader.open_file(path.c_str())) << path;
  while (reader.read_point()) {
    const LASpoint& p = reader.point;
    c.values.push_back(std::llround(p.get_x() * 100));
    c.values.push_back(std::llround(p.get_y() * 100));
    c.values.push_back(std::llround(p.get_z() * 100));
    c.values.push_back(p.get_classification());
  }
  return c;
}

size_t ground_count(const Classified& c) {
  size_t n = 0;
  for (size_t k = 3; k < c.values.size(); k += 4) n += c.values[k] == 2;
  return n;
}

TEST(TalvenorTextInput, ArchivesStandardInputAndPlyClassifyAlike) {
  ProgramDir dir;
  const std::string text = scene_text();
  write(dir.file("pts.txt"), text);
  ProgramRun plain =
      run_program(kProgram, {"-i", "pts.txt", "-iparse", "xyzi", "-o", "plain.las"}, dir.path());
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  const Classified expected = read_output(dir.file("plain.las"));
  ASSERT_EQ(expected.values.size(), 4 * text_scene().points.size());
  EXPECT_GT(ground_count(expected), 0u);

  struct Archive {
    const char* name;
    const char* make;  // shell command in the folder
    const char* needs[2];
  } archives[] = {
      {"pts.txt.gz", "gzip -k pts.txt", {"gzip", "gzip"}},
      {"pts.txt.zip", "7z a -tzip -bd pts.txt.zip pts.txt >/dev/null", {"7z", "unzip"}},
      {"pts.txt.7z", "7z a -bd pts.txt.7z pts.txt >/dev/null", {"7z", "7z"}},
  };
  for (const Archive& a : archives) {
    if (!have_program(a.needs[0]) || !have_program(a.needs[1])) {
      std::fprintf(stderr, "no %s here: %s is not tried\n", a.needs[0], a.name);
      continue;
    }
    ASSERT_EQ(std::system(("cd '" + dir.path() + "' && " + a.make).c_str()), 0) << a.name;
    ProgramRun run =
        run_program(kProgram, {"-i", a.name, "-iparse", "xyzi", "-o", "a.las"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << a.name << run.err;
    EXPECT_TRUE(read_output(dir.file("a.las")) == expected) << a.name;
  }

  // Standard input states no count: the ground tool counts it in a pass.
  ProgramRun piped = run_program(
      kProgram, {"-stdin", "-itxt", "-iparse", "xyzi", "-o", "stdin.las"}, dir.path(), text);
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.err.find("zero points"), std::string::npos) << piped.err;
  EXPECT_TRUE(read_output(dir.file("stdin.las")) == expected);

  // PLY is read again as PLY for the output pass.
  write(dir.file("pts.ply"), scene_ply());
  ProgramRun ply = run_program(kProgram, {"-i", "pts.ply", "-o", "ply.las"}, dir.path());
  ASSERT_EQ(ply.exit_code, 0) << ply.err;
  EXPECT_TRUE(read_output(dir.file("ply.las")) == expected);
}

std::set<std::string> folder_entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.insert(e.path().filename().string());
  }
  return names;
}

// A tool that unpacks instead of printing would leave "pts.txt" in the
// working folder and hand its own banner down the pipe as points.
TEST(TalvenorTextInput, RarIsReadWithoutUnpackingIntoTheWorkingFolder) {
  if (!have_program("bsdtar")) GTEST_SKIP() << "no bsdtar here";
  ProgramDir dir;
  const std::string text =
      "10.25 20.50 3.75\n11.00 20.00 3.50\n12.50 21.25 4.00\n"
      "10.75 22.00 3.25\n12.00 22.75 3.80\n";
  const std::string archive = stored_rar4("pts.txt", text);
  const std::vector<long long> xyz = {1025, 2050, 375,  1100, 2000, 350,  1250, 2125,
                                      400,  1075, 2200, 325,  1200, 2275, 380};
  write(dir.file("pts.txt.rar"), archive);
  write(dir.file("-pts.txt.rar"), archive);  // reached through a wildcard: "-i" takes no '-'
  struct Case {
    const char* input;
  } cases[] = {{"pts.txt.rar"}, {"?pts.txt.rar"}};
  for (const Case& c : cases) {
    const std::set<std::string> before = folder_entries(dir.path());
    ProgramRun run =
        run_program(kProgram, {"-i", c.input, "-iparse", "xyz", "-o", "o.las"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << c.input << run.err;
    const Classified out = read_output(dir.file("o.las"));
    std::vector<long long> got;
    for (size_t k = 0; k < out.values.size(); k += 4) {
      got.insert(got.end(), out.values.begin() + long(k), out.values.begin() + long(k) + 3);
    }
    EXPECT_EQ(got, xyz) << c.input;
    std::set<std::string> expected = before;
    expected.insert("o.las");
    EXPECT_EQ(folder_entries(dir.path()), expected) << c.input;
    std::filesystem::remove(dir.file("o.las"));
  }
}

TEST(TalvenorTextInput, MissingDecompressorAndCorruptArchivesEndTheRun) {
  ProgramDir dir;
  write(dir.file("bad.txt.gz"), "no gzip data\n");
  write(dir.file("bad.txt.zip"), "no zip data\n");
  write(dir.file("bad.txt.7z"), "no 7z data\n");
  write(dir.file("bad.txt.rar"), "no rar data\n");
  struct Case {
    const char* name;
    const char* program;
  } cases[] = {{"bad.txt.gz", "gzip"},
               {"bad.txt.zip", "unzip"},
               {"bad.txt.7z", "7z"},
               {"bad.txt.rar", "bsdtar"}};
  for (const Case& c : cases) {
    // Without any program on the search path the decompressor cannot start.
    ProgramRun missing =
        run_program("/usr/bin/env",
                    {"PATH=" + dir.path(), kProgram, "-i", c.name, "-iparse", "xyz", "-o", "o.las"},
                    dir.path());
    EXPECT_EQ(missing.exit_code, 1) << c.name << missing.err;
    EXPECT_NE(missing.err.find(std::string("ERROR: cannot start decompressor '")),
              std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("ERROR: could not open lasreader\n"), std::string::npos);
    if (!have_program(c.program)) continue;
    ProgramRun corrupt =
        run_program(kProgram, {"-i", c.name, "-iparse", "xyz", "-o", "o.las"}, dir.path());
    EXPECT_EQ(corrupt.exit_code, 1) << c.name << corrupt.err;
    EXPECT_NE(corrupt.err.find("ERROR: "), std::string::npos) << corrupt.err;
  }
}

}  // namespace
