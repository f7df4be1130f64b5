// The built talvenor_new over wrapped inputs: standard input (kept in memory
// for the second pass) writes what the named file writes, merged tiles write
// what the uncut scene writes, and buffered tiles keep or drop their buffer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/las_item.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "scene_tiles.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

Scene small_scene() {
  SceneParams params;
  params.size = 80.0;
  params.density = 2.0;
  params.seed = 3;
  return make_scene(params);
}

// Copies a LAS file into VPK.
bool compress(const std::string& las, const std::string& vpk) {
  LASreaderLAS reader;
  if (!reader.open_file(las.c_str())) return false;
  LASwriterLAS writer;
  if (!writer.open_file(vpk.c_str(), &reader.header, LAScompressorKind::sequential_chunked)) {
    return false;
  }
  while (reader.read_point()) writer.write_one_point(&reader.point);
  return writer.close_output(true) > 0;
}

}  // namespace

// cat a.las | talvenor_new -stdin -o o.las writes exactly what
// talvenor_new -i a.las -o o.las writes; the same with VPK on both sides.
TEST(TalvenorWrappedInput, StandardInputWritesWhatTheFileWrites) {
  ProgramDir dir;
  const Scene scene = small_scene();
  const std::string las = dir.file("a.las");
  ASSERT_TRUE(write_scene_las(scene, las));
  const std::string vpk = dir.file("a.vpk");
  ASSERT_TRUE(compress(las, vpk));
  for (const std::string& ext : {std::string("las"), std::string("vpk")}) {
    SCOPED_TRACE(ext);
    const std::string input = ext == "las" ? las : vpk;
    const std::string by_name = dir.file("by_name." + ext), piped = dir.file("piped." + ext);
    const ProgramRun named = run_program(kProgram, {"-i", input, "-o", by_name}, dir.path());
    ASSERT_EQ(named.exit_code, 0) << named.err;
    const ProgramRun from_stdin =
        run_program(kProgram, {"-stdin", "-o", piped}, dir.path(), file_text(input));
    ASSERT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
    const std::string expected = file_text(by_name);
    ASSERT_GT(expected.size(), 227u);
    EXPECT_TRUE(file_text(piped) == expected);
  }
}

// Four tiles with -merged write what the uncut scene (in the same point
// order) writes, byte for byte.
TEST(TalvenorWrappedInput, MergedTilesWriteTheWholeScene) {
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), small_scene());
  const ProgramRun whole = run_program(
      kProgram, {"-i", tiles.whole_in_tile_order, "-o", dir.file("whole_out.las")}, dir.path());
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  std::vector<std::string> args = {"-i"};
  args.insert(args.end(), tiles.tiles.begin(), tiles.tiles.end());
  args.insert(args.end(), {"-merged", "-o", dir.file("merged_out.las")});
  const ProgramRun merged = run_program(kProgram, args, dir.path());
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  const std::string expected = file_text(dir.file("whole_out.las"));
  ASSERT_GT(expected.size(), 227u);
  EXPECT_TRUE(file_text(dir.file("merged_out.las")) == expected);
}

// Tile by tile with -buffered 25: one output per tile with the tile's points,
// or with -remain_buffered the tile's points followed by its buffer points.
TEST(TalvenorWrappedInput, BufferedTilesOneOutputEach) {
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), small_scene());
  for (bool remain : {false, true}) {
    SCOPED_TRACE(remain);
    std::vector<std::string> args = {"-i"};
    args.insert(args.end(), tiles.tiles.begin(), tiles.tiles.end());
    args.insert(args.end(), {"-buffered", "25", "-odix", remain ? "_r" : "_g", "-olas"});
    if (remain) args.push_back("-remain_buffered");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (int k = 0; k < 4; k++) {
      FixtureContents out;
      const std::string name =
          dir.file("tile" + std::to_string(k) + (remain ? "_r" : "_g") + ".las");
      ASSERT_TRUE(fixture_read_file(name, &out)) << name;
      if (remain) {
        EXPECT_GT(out.points.size(), tiles.sizes[k]);
      } else {
        EXPECT_EQ(out.points.size(), tiles.sizes[k]);
      }
      EXPECT_EQ(out.header.number_of_point_records, out.points.size());
    }
  }
}

// Every wrapper of a buffered input writes what the buffered input alone writes, byte for byte:
// the tile's own points (or with -remain_buffered its buffer points too) under the tile's own
// header, never the neighbours' points in every tile.
TEST(TalvenorWrappedInput, BufferedTilesWriteTheSameThroughEveryWrapper) {
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), small_scene());
  const std::vector<std::vector<std::string>> wrappers = {{"-stored"},
                                                          {"-pipe_on"},
                                                          {"-stored", "-pipe_on"},
                                                          {"-extra_pass"},
                                                          {"-stored", "-extra_pass"}};
  for (bool remain : {false, true}) {
    SCOPED_TRACE(remain);
    std::vector<std::string> plain = {"-i"};
    plain.insert(plain.end(), tiles.tiles.begin(), tiles.tiles.end());
    plain.insert(plain.end(), {"-buffered", "25", "-olas", "-quiet"});
    if (remain) plain.push_back("-remain_buffered");
    std::vector<std::string> args = plain;
    args.insert(args.end(), {"-odix", "_plain"});
    const ProgramRun run = run_program(kProgram, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (size_t w = 0; w < wrappers.size(); w++) {
      SCOPED_TRACE(testing::PrintToString(wrappers[w]));
      const std::string appendix = "_w" + std::to_string(w);
      args = plain;
      args.insert(args.end(), wrappers[w].begin(), wrappers[w].end());
      args.insert(args.end(), {"-odix", appendix});
      const ProgramRun wrapped = run_program(kProgram, args, dir.path());
      ASSERT_EQ(wrapped.exit_code, 0) << wrapped.err;
      for (int k = 0; k < 4; k++) {
        const std::string tile = dir.file("tile" + std::to_string(k));
        const std::string expected = file_text(tile + "_plain.las");
        ASSERT_GT(expected.size(), 227u);
        EXPECT_TRUE(file_text(tile + appendix + ".las") == expected) << k;
      }
    }
  }
}

// A tile never reads itself as its own neighbour, however its -i path and its line in
// -neighbors_lof are spelled: relative, with "./", absolute or through a symbolic link, every
// run reads what the run with the list's own spelling reads.
TEST(TalvenorWrappedInput, BufferedTileIsNotItsOwnNeighbourUnderAnotherName) {
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), small_scene());
  ASSERT_EQ(symlink(tiles.tiles[0].c_str(), dir.file("link0.las").c_str()), 0);
  struct Case {
    const char* list_style;  // how the list names the tiles
    std::string input;       // how -i names tile 0
  };
  const Case cases[] = {
      {"absolute", tiles.tiles[0]},
      {"absolute", "tile0.las"},
      {"absolute", "./tile0.las"},
      {"absolute", "link0.las"},
      {"absolute", dir.file("./tile0.las")},
      {"relative", "tile0.las"},
      {"relative", "./tile0.las"},
      {"relative", tiles.tiles[0]},
      {"relative", "link0.las"},
  };
  const auto list_of = [&](const std::string& style) {
    std::string text;
    for (int k = 0; k < 4; k++) {
      text += style == "absolute" ? tiles.tiles[k] : "tile" + std::to_string(k) + ".las";
      text += "\n";
    }
    return text;
  };
  const auto points_read = [&](const std::string& input, const std::string& style) {
    EXPECT_TRUE(write_text(dir.file("list.txt"), list_of(style)));
    const ProgramRun run =
        run_program(kProgram,
                    {"-i", input, "-neighbors_lof", "list.txt", "-buffered", "25",
                     "-remain_buffered", "-o", dir.file("out.las"), "-quiet"},
                    dir.path());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    FixtureContents out;
    EXPECT_TRUE(fixture_read_file(dir.file("out.las"), &out));
    return out.points.size();
  };
  const size_t expected = points_read(tiles.tiles[0], "absolute");
  ASSERT_GT(expected, tiles.sizes[0]);  // buffer points from the three neighbours
  for (const Case& c : cases) {
    EXPECT_EQ(points_read(c.input, c.list_style), expected)
        << c.list_style << " list, -i " << c.input;
  }
}

// PLY tiles know their whole box before a buffered run asks for it: each takes as many buffer
// points as the same tiles written as LAS, not the few near its first vertex.
TEST(TalvenorWrappedInput, BufferedPlyTilesTakeTheBufferOfTheirWholeBox) {
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), small_scene());
  std::vector<std::string> ply_tiles;
  for (const std::string& tile : tiles.tiles) {
    FixtureContents contents;
    ASSERT_TRUE(fixture_read_file(tile, &contents));
    std::string text = "ply\nformat ascii 1.0\nelement vertex " +
                       std::to_string(contents.points.size()) +
                       "\nproperty double x\nproperty double y\nproperty double z\nend_header\n";
    char line[128];
    for (const FixturePoint& p : contents.points) {
      std::snprintf(line, sizeof(line), "%.2f %.2f %.2f\n",
                    p.X * contents.header.scale[0] + contents.header.offset[0],
                    p.Y * contents.header.scale[1] + contents.header.offset[1],
                    p.Z * contents.header.scale[2] + contents.header.offset[2]);
      text += line;
    }
    ply_tiles.push_back(tile.substr(0, tile.size() - 4) + ".ply");
    ASSERT_TRUE(write_text(ply_tiles.back(), text));
  }
  const auto outputs = [&](const std::vector<std::string>& inputs, const std::string& appendix) {
    std::vector<std::string> args = {"-i"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"-buffered", "25", "-remain_buffered", "-odix", appendix, "-olas"});
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::vector<size_t> sizes;
    for (int k = 0; k < 4; k++) {
      FixtureContents out;
      EXPECT_TRUE(
          fixture_read_file(dir.file("tile" + std::to_string(k) + appendix + ".las"), &out));
      sizes.push_back(out.points.size());
    }
    return sizes;
  };
  const std::vector<size_t> from_las = outputs(tiles.tiles, "_las");
  for (int k = 0; k < 4; k++) ASSERT_GT(from_las[k], tiles.sizes[k]) << k;
  EXPECT_EQ(outputs(ply_tiles, "_ply"), from_las);
}
