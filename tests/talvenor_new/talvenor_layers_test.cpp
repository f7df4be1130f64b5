// The built talvenor_new with edit layers: classifying into a LAY file and
// reading through it gives what a direct run writes; LAY files that cannot be
// loaded are read over with a warning and never emptied.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

class TalvenorLayers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    SceneLasOptions options;
    options.point_data_format = 1;
    options.classification = 1;
    // With a record of its own, which every output must keep.
    const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 50.0, 1.5, 21));
    FixtureFile file = scene_fixture_file(scene, options);
    FixtureVlr vlr;
    vlr.user_id = "layer test";
    vlr.record_id = 1;
    vlr.data = {1, 2, 3};
    file.vlrs.push_back(vlr);
    ASSERT_TRUE(fixture_write_file(dir.file("t.las"), file, scene_fixture_points(scene, options)));
    input = file_text(dir.file("t.las"));
  }

  // Another point file: the scene of `seed`, without its last `dropped` points.
  void write_scene(const std::string& name, uint32_t seed, size_t dropped) {
    SceneLasOptions options;
    options.point_data_format = 1;
    options.classification = 1;
    const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 50.0, 1.5, seed));
    std::vector<FixturePoint> points = scene_fixture_points(scene, options);
    ASSERT_GT(points.size(), dropped);
    points.resize(points.size() - dropped);
    ASSERT_TRUE(fixture_write_file(dir.file(name), scene_fixture_file(scene, options), points));
  }

  // The names in the folder, sorted.
  std::vector<std::string> folder() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.path().c_str())) {
      while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ProgramRun run(const std::vector<std::string>& args,
                 const ProgramLimits& limits = ProgramLimits()) {
    ProgramRun r = run_program(kProgram, args, dir.path(), "", limits);
    EXPECT_EQ(file_text(dir.file("t.las")), input) << "the input changed";
    return r;
  }

  FixtureContents read(const std::string& name) {
    FixtureContents c;
    std::string error;
    EXPECT_TRUE(fixture_read_file(dir.file(name), &c, &error)) << error;
    return c;
  }

  ProgramDir dir;
  std::string input;
};

// Classes and user data of every point.
std::vector<std::pair<int, int>> classes_and_user_data(const FixtureContents& c) {
  std::vector<std::pair<int, int>> v;
  for (const FixturePoint& p : c.points) v.emplace_back(p.classification, p.user_data);
  return v;
}

TEST_F(TalvenorLayers, ClassifyingIntoLayersThenReadingThroughThemMatchesADirectRun) {
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"-compute_height"}}) {
    SCOPED_TRACE(extra.empty() ? "classes" : "classes and heights");
    std::remove(dir.file("t.lay").c_str());
    std::vector<std::string> direct = {"-i", "t.las", "-o", "direct.las", "-quiet"};
    direct.insert(direct.end(), extra.begin(), extra.end());
    ASSERT_EQ(run(direct).exit_code, 0);
    std::vector<std::string> olay = {"-i", "t.las", "-olay", "-quiet"};
    olay.insert(olay.end(), extra.begin(), extra.end());
    const ProgramRun recorded = run(olay);
    ASSERT_EQ(recorded.exit_code, 0) << recorded.err;
    const std::string lay = file_text(dir.file("t.lay"));
    ASSERT_GT(lay.size(), 276u);
    EXPECT_LT(lay.size() * 20, input.size()) << "layers hold only the changes";
    const ProgramRun applied = run({"-i", "t.las", "-ilay", "-o", "t2.las", "-quiet"});
    ASSERT_EQ(applied.exit_code, 0) << applied.err;
    EXPECT_EQ(applied.err, "");
    EXPECT_EQ(classes_and_user_data(read("t2.las")), classes_and_user_data(read("direct.las")));
  }
}

// The ground tool classifies again whatever it reads, so an equal output alone
// cannot show that layers were applied; a filter on the class does, as it acts
// on the points the layers hand over.
TEST_F(TalvenorLayers, TheLayersHandOverTheirClassesToTheFilter) {
  ASSERT_EQ(run({"-i", "t.las", "-o", "direct.las", "-quiet", "-step", "10"}).exit_code, 0);
  size_t ground = 0;
  for (const FixturePoint& p : read("direct.las").points) ground += p.classification == 2;
  ASSERT_GT(ground, 0u);
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet", "-step", "10"}).exit_code, 0);
  const ProgramRun through =
      run({"-i", "t.las", "-ilay", "-keep_class", "2", "-o", "kept.las", "-quiet"});
  ASSERT_EQ(through.exit_code, 0) << through.err;
  EXPECT_EQ(read("kept.las").points.size(), ground);
  // Without the layers every point of the input is of class 1.
  const ProgramRun plain = run({"-i", "t.las", "-keep_class", "2", "-o", "none.las", "-quiet"});
  EXPECT_EQ(read("none.las").points.size(), 0u) << plain.err;
}

TEST_F(TalvenorLayers, ExtendingThroughTheLayersItReadKeepsTheFileClean) {
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  // A second run reads through the first layer and adds its own behind it.
  const ProgramRun second =
      run({"-i", "t.las", "-ilay", "-olay", "-quiet", "-non_ground_unchanged"});
  ASSERT_EQ(second.exit_code, 0) << second.err;
  const std::string lay = file_text(dir.file("t.lay"));
  ASSERT_GT(lay.size(), 20u);
  EXPECT_EQ(uint8_t(lay[16]), 2);
  ASSERT_EQ(run({"-i", "t.las", "-o", "direct.las", "-quiet"}).exit_code, 0);
  const ProgramRun applied = run({"-i", "t.las", "-ilay", "-o", "t2.las", "-quiet"});
  EXPECT_EQ(applied.err, "");
  EXPECT_EQ(classes_and_user_data(read("t2.las")), classes_and_user_data(read("direct.las")));
}

// A LAY file that does not load whole is neither passed over (the output would lack the edits
// asked for) nor extended (new layers behind a cut or miscounted file can never be reached).
TEST_F(TalvenorLayers, ALayFileThatDoesNotLoadFailsTheFileAndIsNeverWritten) {
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  const std::string good = file_text(dir.file("t.lay"));
  ASSERT_GT(good.size(), 320u);
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* says;
  } cases[] = {
      {"cut inside the layer's data", [](std::string& b) { b.resize(b.size() - 40); },
       "does not fit the LAY file\n"},
      {"cut at byte 320", [](std::string& b) { b.resize(320); },
       "ERROR: loading LASlayer 1 of 1\n"},
      {"num_layers 2 for one layer", [](std::string& b) { b[16] = 2; },
       "ERROR: loading LASlayer 2 of 2\n"},
      {"a record of an unknown kind", [](std::string& b) { b[276 + 8] = 99; },
       "ERROR: unknown layer of type 99 fields 256 compression 2\n"},
      {"bytes behind the last layer", [](std::string& b) { b += "more"; },
       "ERROR: LAY file holds 4 bytes behind its 1 layers\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = good;
    c.damage(damaged);
    ASSERT_TRUE(write_text(dir.file("t.lay"), damaged));
    std::remove(dir.file("t2.las").c_str());
    const ProgramRun applied = run({"-i", "t.las", "-ilay", "-o", "t2.las", "-quiet"});
    EXPECT_EQ(applied.exit_code, 1);
    EXPECT_NE(applied.err.find(c.says), std::string::npos) << applied.err;
    EXPECT_NE(applied.err.find("ERROR: could not load layers of 't.las'\n"), std::string::npos)
        << applied.err;
    EXPECT_FALSE(path_exists(dir.file("t2.las")));
    const ProgramRun extended = run({"-i", "t.las", "-ilay", "-olay", "-quiet"});
    EXPECT_EQ(extended.exit_code, 1);
    EXPECT_EQ(file_text(dir.file("t.lay")), damaged);
  }

  // A LAY file whose header is damaged is not touched at all.
  const std::string garbage = "LAYF-not-a-lay-file";
  write_text(dir.file("t.lay"), garbage);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-i", "t.las", "-ilay", "-olay", "-quiet"},
        std::vector<std::string>{"-i", "t.las", "-olay", "-quiet"}}) {
    const ProgramRun refused = run(args);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(file_text(dir.file("t.lay")), garbage);
  }
}

// Without a LAY file there is nothing to apply: the input is read as it is, with a warning.
TEST_F(TalvenorLayers, AMissingLayFileIsReadOverWithAWarning) {
  ASSERT_EQ(run({"-i", "t.las", "-o", "direct.las", "-quiet"}).exit_code, 0);
  // Without -quiet, under which only errors are printed.
  const ProgramRun applied = run({"-i", "t.las", "-ilay", "-o", "t2.las"});
  ASSERT_EQ(applied.exit_code, 0) << applied.err;
  EXPECT_NE(applied.err.find("WARNING: could not open LAY file ... skipping\n"), std::string::npos)
      << applied.err;
  EXPECT_EQ(classes_and_user_data(read("t2.las")), classes_and_user_data(read("direct.las")));
}

// Layers change points by their order: applied to another file's points they would write that
// file's classes onto these. The LAY file records the points it was written for.
TEST_F(TalvenorLayers, LayersOfAnotherPointFileAreRefused) {
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  const std::string lay = file_text(dir.file("t.lay"));
  write_scene("other.las", 22, 0);
  write_scene("shorter.las", 21, 1000);
  struct Case {
    const char* input;
    const char* says;
  } cases[] = {
      {"other.las", "ERROR: mismatch in header number_of_point_records (LAY "},
      {"shorter.las", "ERROR: mismatch in header number_of_point_records (LAY "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string base = std::string(c.input).substr(0, std::strlen(c.input) - 4);
    ASSERT_TRUE(write_text(dir.file(base + ".lay"), lay));
    const ProgramRun applied = run({"-i", c.input, "-ilay", "-o", "out.las", "-quiet"});
    EXPECT_EQ(applied.exit_code, 1);
    EXPECT_NE(applied.err.find(c.says), std::string::npos) << applied.err;
    EXPECT_NE(
        applied.err.find("ERROR: could not open LAY file of '" + std::string(c.input) + "'\n"),
        std::string::npos)
        << applied.err;
    EXPECT_FALSE(path_exists(dir.file("out.las")));
    // Nor is it extended with this file's layers.
    EXPECT_EQ(run({"-i", c.input, "-ilay", "-olay", "-quiet"}).exit_code, 1);
    EXPECT_EQ(file_text(dir.file(base + ".lay")), lay);
  }

  // Merged inputs give the layers of all their points, named after the first file; that file
  // alone is not what they were written for.
  // They do not overwrite the LAY file of that file alone either.
  const std::vector<std::string> merged = {"-i",      "t.las", "other.las",
                                           "-merged", "-olay", "-quiet"};
  EXPECT_EQ(run(merged).exit_code, 1);
  EXPECT_EQ(file_text(dir.file("t.lay")), lay);
  std::remove(dir.file("t.lay").c_str());
  ASSERT_EQ(run(merged).exit_code, 0);
  const ProgramRun alone = run({"-i", "t.las", "-ilay", "-o", "out.las", "-quiet"});
  EXPECT_EQ(alone.exit_code, 1);
  EXPECT_NE(alone.err.find("ERROR: mismatch in header number_of_point_records (LAY "),
            std::string::npos)
      << alone.err;
  EXPECT_FALSE(path_exists(dir.file("out.las")));
}

// A file that cannot be classified is passed through: with -olay its LAY file records that no
// class changes, and no point file is written.
TEST_F(TalvenorLayers, APassThroughWritesOnlyLayersWithoutChanges) {
  // First layers of a classifying run; then a run whose step is too wide to find ground.
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  const std::vector<std::string> before = folder();
  const ProgramRun passed = run({"-i", "t.las", "-olay", "-step", "5000"});
  ASSERT_EQ(passed.exit_code, 0) << passed.err;
  EXPECT_NE(passed.err.find(" copying 't.las' into layers without changes ...\n"),
            std::string::npos)
      << passed.err;
  EXPECT_EQ(folder(), before) << "only t.lay may be written";
  // Read through the new layers, every point keeps its class 1 of the input.
  const ProgramRun through =
      run({"-i", "t.las", "-ilay", "-keep_class", "2", "-o", "kept.las", "-quiet"});
  ASSERT_EQ(through.exit_code, 0) << through.err;
  EXPECT_EQ(read("kept.las").points.size(), 0u);
}

// Names that differ only in their extension give distinct LAY files, and a LAY file written for
// one point file is never overwritten for another.
TEST_F(TalvenorLayers, DistinctInputsGetDistinctLayFiles) {
  // Two text files of different points whose names differ only in the extension.
  const FixtureContents t = read("t.las");
  std::string text;
  for (size_t i = 0; i < t.points.size(); i++) {
    const FixturePoint& p = t.points[i];
    char line[96];
    const auto& scale = t.header.scale;
    const auto& offset = t.header.offset;
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f\n", p.X * scale[0] + offset[0],
                  p.Y * scale[1] + offset[1], p.Z * scale[2] + offset[2]);
    text += line;
    if (i + 1 == t.points.size() / 2) {
      ASSERT_TRUE(write_text(dir.file("p.xyz"), text));
    }
  }
  ASSERT_TRUE(write_text(dir.file("p.txt"), text));
  for (const char* input : {"p.txt", "p.xyz"}) {
    const ProgramRun recorded = run({"-i", input, "-iparse", "xyz", "-olay", "-quiet"});
    ASSERT_EQ(recorded.exit_code, 0) << input << recorded.err;
  }
  EXPECT_TRUE(path_exists(dir.file("p.txt.lay")));
  EXPECT_TRUE(path_exists(dir.file("p.xyz.lay")));
  EXPECT_FALSE(path_exists(dir.file("p.lay")));
  for (const char* input : {"p.txt", "p.xyz"}) {
    const ProgramRun applied =
        run({"-i", input, "-iparse", "xyz", "-ilay", "-o", "out.las", "-quiet"});
    EXPECT_EQ(applied.exit_code, 0) << input;
    EXPECT_EQ(applied.err.find("ERROR"), std::string::npos) << input << applied.err;
    EXPECT_EQ(applied.err.find("WARNING"), std::string::npos) << input << applied.err;
  }

  // t.las and t.vpk share t.lay; other points under the name t.vpk do not take it over.
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  const std::string lay = file_text(dir.file("t.lay"));
  write_scene("t.vpk", 22, 0);
  const ProgramRun refused = run({"-i", "t.vpk", "-olay", "-quiet"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("ERROR: LAY file 't.lay' was not written for this point file. not "
                             "overwritten.\n"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(file_text(dir.file("t.lay")), lay);
}

// A disk that fills up while the layers are written: a LAY file the run created is removed, one
// it extended or replaced gets back what it held, so that no later -ilay half-reads a partial
// layer.
TEST_F(TalvenorLayers, AFullDiskLeavesNoPartialLayFile) {
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  const std::string good = file_text(dir.file("t.lay"));
  ASSERT_GT(good.size(), 400u);
  struct Case {
    const char* name;
    bool existing;
    std::vector<std::string> args;
    uint64_t room;  // bytes a file may reach
    const char* says;
  } cases[] = {
      {"new",
       false,
       {"-i", "t.las", "-olay", "-quiet"},
       400,
       "ERROR: removed the incomplete LAY file 't.lay'\n"},
      {"extended",
       true,
       {"-i", "t.las", "-ilay", "-olay", "-quiet"},
       good.size() + 100,
       "ERROR: LAY file 't.lay' left as it was\n"},
      // New layers of the same file, with heights (several times the size): the old ones stay.
      {"replaced",
       true,
       {"-i", "t.las", "-olay", "-compute_height", "-quiet"},
       good.size() + 100,
       "ERROR: LAY file 't.lay' left as it was\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.existing) {
      ASSERT_TRUE(write_text(dir.file("t.lay"), good));
    } else {
      std::remove(dir.file("t.lay").c_str());
    }
    ProgramLimits limits;
    limits.file_size_bytes = c.room;
    const ProgramRun full = run(c.args, limits);
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_NE(full.err.find(c.says), std::string::npos) << full.err;
    if (c.existing) {
      EXPECT_EQ(file_text(dir.file("t.lay")), good);
    } else {
      EXPECT_FALSE(path_exists(dir.file("t.lay")));
    }
  }
}

TEST_F(TalvenorLayers, DamagedLayerDataFailsTheFileWithoutOutput) {
  ASSERT_EQ(run({"-i", "t.las", "-olay", "-quiet"}).exit_code, 0);
  // The header of the LAY file just written, then a raw classification layer
  // whose fifth point has an index that its table of two classes cannot have.
  std::string lay = file_text(dir.file("t.lay")).substr(0, 276);
  lay[16] = 1;
  const uint32_t record[] = {51, 0, 1, 256, 1, 0, 0, 0, 0, 0, 44};
  lay.append(reinterpret_cast<const char*>(record), sizeof(record));
  lay.append("\x03\x00\x08", 3);
  const uint32_t bits = 0x602u | (3u << 20);
  lay.append(reinterpret_cast<const char*>(&bits), 4);
  write_text(dir.file("t.lay"), lay);
  const ProgramRun applied = run({"-i", "t.las", "-ilay", "-o", "t2.las", "-quiet"});
  EXPECT_EQ(applied.exit_code, 1);
  EXPECT_NE(applied.err.find("ERROR: corrupt data of LASlayer 1 of 1 after 4 points\n"),
            std::string::npos)
      << applied.err;
  EXPECT_TRUE(file_text(dir.file("t2.las")).empty());
  // Nor are layers added behind the damaged one.
  EXPECT_EQ(run({"-i", "t.las", "-ilay", "-olay", "-quiet"}).exit_code, 1);
  EXPECT_EQ(file_text(dir.file("t.lay")), lay);
}

TEST_F(TalvenorLayers, LayDirectoriesNameWhereTheFilesGo) {
  ASSERT_EQ(mkdir(dir.file("lays").c_str(), 0755), 0);
  const ProgramRun recorded = run({"-i", "t.las", "-olaydir", "lays", "-quiet"});
  ASSERT_EQ(recorded.exit_code, 0) << recorded.err;
  EXPECT_FALSE(file_text(dir.file("lays/t.lay")).empty());
  const ProgramRun applied = run({"-i", "t.las", "-ilaydir", "lays", "-o", "t2.las", "-quiet"});
  ASSERT_EQ(applied.exit_code, 0) << applied.err;
  EXPECT_EQ(applied.err, "");
}

}  // namespace
