#include "io/las_reader_merged.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "filter/las_transform.hpp"
#include "io/las_input_options.hpp"
#include "las_fixture.hpp"
#include "las_tile_files.hpp"
#include "point_reading.hpp"

namespace {

// A small scene cut into four tiles at its centre, each tile its own file.
struct TiledScene {
  FixtureFile description;
  std::vector<FixturePoint> points;  // the uncut scene
  std::vector<std::string> tiles;
  std::string whole;
};

TiledScene write_tiled_scene(const TempFolder& dir, const std::string& extension = ".las") {
  const SceneQuarters scene = scene_quarters(7);
  TiledScene t;
  t.description = scene.description;
  t.points = scene.points;
  for (int k = 0; k < 4; k++) {
    t.tiles.push_back(dir.file("tile" + std::to_string(k) + extension));
    EXPECT_TRUE(fixture_write_file(t.tiles.back(), t.description, scene.parts[k]));
  }
  t.whole = dir.file("whole" + extension);
  EXPECT_TRUE(fixture_write_file(t.whole, t.description, t.points));
  return t;
}

std::unique_ptr<LASreader> open_with(LASinputOptions& options, std::vector<std::string> words) {
  ArgVector args(words);
  EXPECT_EQ(options.take_arguments(args.argc(), args.argv()), 1);
  return std::unique_ptr<LASreader>(options.open_next_reader());
}

std::vector<ReadPoint> read_file(const std::string& name) {
  LASreaderLAS reader;
  EXPECT_TRUE(reader.open_file(name.c_str()));
  return read_all(&reader);
}

}  // namespace

// Four tiles of a scene read with -merged give the uncut scene's points and
// the uncut file's counts and bounds.
TEST(LASreaderMerged, TilesGiveTheWholeScene) {
  TempFolder dir("pl_merged");
  const TiledScene scene = write_tiled_scene(dir);
  LASinputOptions options;
  std::vector<std::string> words = {"-i"};
  words.insert(words.end(), scene.tiles.begin(), scene.tiles.end());
  words.push_back("-merged");
  std::unique_ptr<LASreader> reader = open_with(options, words);
  ASSERT_TRUE(reader);
  ASSERT_NE(dynamic_cast<LASreaderMerged*>(reader.get()), nullptr);
  EXPECT_EQ(reader->format_code(), LASformatCode::las);
  EXPECT_FALSE(options.has_more_input());

  LASreaderLAS whole;
  ASSERT_TRUE(whole.open_file(scene.whole.c_str()));
  EXPECT_EQ(reader->npoints, whole.npoints);
  EXPECT_EQ(reader->header.number_of_point_records, whole.header.number_of_point_records);
  for (int r = 0; r < 5; r++) {
    EXPECT_EQ(reader->header.number_of_points_by_return[r],
              whole.header.number_of_points_by_return[r]);
  }
  EXPECT_EQ(reader->header.min_x, whole.header.min_x);
  EXPECT_EQ(reader->header.max_x, whole.header.max_x);
  EXPECT_EQ(reader->header.min_y, whole.header.min_y);
  EXPECT_EQ(reader->header.max_y, whole.header.max_y);
  EXPECT_EQ(reader->header.min_z, whole.header.min_z);
  EXPECT_EQ(reader->header.max_z, whole.header.max_z);

  std::vector<ReadPoint> merged = read_all(reader.get());
  std::vector<ReadPoint> expected = read_all(&whole);
  EXPECT_EQ(static_cast<int64_t>(merged.size()), reader->p_count);
  std::sort(merged.begin(), merged.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(merged.size(), expected.size());
  EXPECT_TRUE(merged == expected);

  // A second pass delivers the same points again.
  ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
  std::vector<ReadPoint> again = read_all(reader.get());
  std::sort(again.begin(), again.end());
  EXPECT_TRUE(again == expected);
}

// The first file's records move into the merged header; the sub-reader keeps
// none of them.
TEST(LASreaderMerged, FirstFileRecordsMoveToTheMergedHeader) {
  TempFolder dir("pl_merged");
  FixtureFile f;
  f.point_data_format = 1;
  f.vlrs.push_back({0, "owner", 42, "a record", {1, 2, 3, 4}});
  f.user_data_after_header = {9, 9};
  std::vector<FixturePoint> points(2);
  points[1].X = 100;
  const std::string a = dir.file("a.las");
  ASSERT_TRUE(fixture_write_file(a, f, points));
  const std::string b = write_xyz_file(dir, "b.las", {{1.0, 2.0, 3.0}}, 0.01, {0, 0, 0});
  LASreaderMerged merged;
  ASSERT_TRUE(merged.add_file_name(a.c_str()));
  ASSERT_TRUE(merged.add_file_name(b.c_str()));
  ASSERT_TRUE(merged.open());
  ASSERT_EQ(merged.header.vlrs.size(), 1u);
  EXPECT_EQ(merged.header.vlrs[0].record_id, 42);
  EXPECT_EQ(merged.header.user_data_after_header_size, 2u);
  EXPECT_EQ(merged.header.offset_to_point_data, f.vlrs.size() * 54 + 4 + 227 + 2);
  EXPECT_EQ(merged.npoints, 3);
  EXPECT_EQ(read_all(&merged).size(), 3u);
}

// Refusals when adding names: the message, false, and the list unchanged.
TEST(LASreaderMerged, AddFileNameRefusals) {
  TempFolder dir("pl_merged");
  const std::string las = write_xyz_file(dir, "a.las", {{1, 2, 3}}, 0.01, {0, 0, 0});
  const std::string bin = dir.write("b.bin", "x");
  const std::string txt = dir.write("c.xyz", "1 2 3\n");
  const std::string missing = dir.file("missing.las");
  struct Case {
    std::vector<std::string> names;  // added in order; the last one is checked
    bool result;
    std::string message;
  };
  const Case cases[] = {
      {{las}, true, ""},
      {{missing}, false, "ERROR: file '" + missing + "' cannot be opened\n"},
      {{las, bin}, false, "ERROR: cannot mix LAS with BIN. skipping '" + bin + "' ...\n"},
      {{las, txt}, false, "ERROR: cannot mix LAS with TXT. skipping '" + txt + "' ...\n"},
      {{bin}, true, ""},
      {{bin, txt}, false, "ERROR: cannot mix BIN with TXT. skipping '" + txt + "' ...\n"},
      {{txt}, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.back());
    LASreaderMerged merged;
    for (size_t k = 0; k + 1 < c.names.size(); k++) merged.add_file_name(c.names[k].c_str());
    const uint32_t before = merged.get_file_count();
    testing::internal::CaptureStderr();
    EXPECT_EQ(merged.add_file_name(c.names.back().c_str()), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(merged.get_file_count(), before + (c.result ? 1 : 0));
  }
  LASreaderMerged merged;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(merged.add_file_name(nullptr));
  EXPECT_FALSE(merged.open());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: file name pointer is NULL\nERROR: no valid file names\n");
}

// A file its reader refuses gets the reader's clear error, and the merge fails.
TEST(LASreaderMerged, OpenerReportsRefusedFiles) {
  TempFolder dir("pl_merged");
  const std::string a = dir.write("a.bin", "1 2 3\n");
  const std::string b = dir.write("b.bin", "1 2 3\n");
  LASinputOptions options;
  ArgVector args({"-i", a, b, "-merged"});
  ASSERT_EQ(options.take_arguments(args.argc(), args.argv()), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.open_next_reader(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: reading terrasolid header\n"
            "ERROR: could not open lasreaderbin for file '" +
                a +
                "'\n"
                "ERROR: cannot open lasreadermerged with 2 file names\n");
}

// Scale factors and offsets: a file that differs is re-quantized to the
// merged header's values, and a box that no longer fits 32-bit integers moves
// the offset to its rounded centre and grows the scale factor by tens.
TEST(LASreaderMerged, RequantizingAndFitCheck) {
  TempFolder dir("pl_merged");
  struct Case {
    const char* what;
    double scale_a, scale_b;
    std::array<double, 3> offset_a, offset_b;
    std::array<double, 3> xyz_a, xyz_b;
    bool rescale, reoffset;
    std::array<double, 3> scale, offset;  // of the merged header
    std::string warnings;
    double tolerance;
  };
  const Case cases[] = {
      {"same quantization",
       0.01,
       0.01,
       {0, 0, 0},
       {0, 0, 0},
       {10, 20, 30},
       {40, 50, 60},
       false,
       false,
       {0.01, 0.01, 0.01},
       {0, 0, 0},
       "",
       0.0},
      {"finer second file",
       0.01,
       0.001,
       {0, 0, 0},
       {0, 0, 0},
       {10, 20, 30},
       {40.123, 50.456, 60.789},
       true,
       false,
       {0.01, 0.01, 0.01},
       {0, 0, 0},
       "",
       0.005},
      {"other offset",
       0.01,
       0.01,
       {0, 0, 0},
       {1000, 0, 0},
       {10, 20, 30},
       {1040, 50, 60},
       false,
       true,
       {0.01, 0.01, 0.01},
       {0, 0, 0},
       "",
       0.0},
      // The offset only moves when the grown scale factor alone does not do.
      {"offset moves to the centre",
       0.001,
       0.001,
       {0, 0, 0},
       {2000000, 0, 0},
       {1000000, 20, 30},
       {2200000.5, 50, 60},
       false,
       true,
       {0.001, 0.001, 0.001},
       {1600000, 0, 0},
       "WARNING: i changed x_offset from 0 to 1.6e+06 to accommodate enlarged bounding box\n",
       0.0},
      {"scale grows by ten",
       0.001,
       0.001,
       {0, 0, 0},
       {5000000, 0, 0},
       {0.5, 20, 30},
       {5000000.25, 50, 60},
       true,
       true,
       {0.01, 0.001, 0.001},
       {0, 0, 0},
       "WARNING: i changed x_scale_factor from 0.001 to 0.01 to accommodate enlarged bounding "
       "box\n",
       0.005},
      {"z with its own wording",
       0.001,
       0.001,
       {0, 0, 0},
       {0, 0, 5000000},
       {1, 2, 0.5},
       {3, 4, 5000000.25},
       true,
       true,
       {0.001, 0.001, 0.01},
       {0, 0, 0},
       "WARNING: i changed  z_scale_factor from 0.001 to 0.01 to accommodate enlarged bounding "
       "box\n",
       0.005},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string a = write_xyz_file(dir, "a.las", {c.xyz_a}, c.scale_a, c.offset_a);
    const std::string b = write_xyz_file(dir, "b.las", {c.xyz_b}, c.scale_b, c.offset_b);
    LASreaderMerged merged;
    ASSERT_TRUE(merged.add_file_name(a.c_str()));
    ASSERT_TRUE(merged.add_file_name(b.c_str()));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(merged.open());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warnings);
    EXPECT_EQ(merged.get_rescale(), c.rescale);
    EXPECT_EQ(merged.get_reoffset(), c.reoffset);
    EXPECT_EQ(merged.header.x_scale_factor, c.scale[0]);
    EXPECT_EQ(merged.header.y_scale_factor, c.scale[1]);
    EXPECT_EQ(merged.header.z_scale_factor, c.scale[2]);
    EXPECT_EQ(merged.header.x_offset, c.offset[0]);
    EXPECT_EQ(merged.header.y_offset, c.offset[1]);
    EXPECT_EQ(merged.header.z_offset, c.offset[2]);
    const std::vector<ReadPoint> points = read_all(&merged);
    ASSERT_EQ(points.size(), 2u);
    const std::array<double, 3> expected[2] = {c.xyz_a, c.xyz_b};
    for (int k = 0; k < 2; k++) {
      EXPECT_NEAR(points[k].x, expected[k][0], c.tolerance + 1e-6) << k;
      EXPECT_NEAR(points[k].y, expected[k][1], c.tolerance + 1e-6) << k;
      EXPECT_NEAR(points[k].z, expected[k][2], c.tolerance + 1e-6) << k;
    }
  }
}

// Merged tiles whose bounds overflow the header's scale through the opener:
// the warnings, and every coordinate right to half the new scale factor.
TEST(LASreaderMerged, OverflowingTilesThroughTheOpener) {
  TempFolder dir("pl_merged");
  const std::string a =
      write_xyz_file(dir, "a.las", {{100.25, 7, 1}, {200.5, 8, 2}}, 0.001, {0, 0, 0});
  const std::string b = write_xyz_file(dir, "b.las", {{4300000.125, 9, 3}, {4300001.5, 10, 4}},
                                       0.001, {4300000, 0, 0});
  LASinputOptions options;
  testing::internal::CaptureStderr();
  std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, b, "-merged"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: i changed x_scale_factor from 0.001 to 0.01 to accommodate enlarged "
            "bounding box\n");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header.x_scale_factor, 0.01);
  EXPECT_EQ(reader->header.x_offset, 0.0);
  ASSERT_TRUE(reader);
  const std::vector<ReadPoint> points = read_all(reader.get());
  const double xs[4] = {100.25, 200.5, 4300000.125, 4300001.5};
  ASSERT_EQ(points.size(), 4u);
  for (int k = 0; k < 4; k++) EXPECT_NEAR(points[k].x, xs[k], 0.005 + 1e-6) << k;
}

// Files that hold no points change nothing; the first file with points
// gives scale factors, offsets, counts and bounds.
TEST(LASreaderMerged, EmptyFirstFile) {
  TempFolder dir("pl_merged");
  const std::string empty = write_xyz_file(dir, "empty.las", {}, 0.1, {5, 5, 5});
  const std::string a = write_xyz_file(dir, "a.las", {{1, 2, 3}, {4, 5, 6}}, 0.01, {0, 0, 0});
  LASreaderMerged merged;
  ASSERT_TRUE(merged.add_file_name(empty.c_str()));
  ASSERT_TRUE(merged.add_file_name(a.c_str()));
  ASSERT_TRUE(merged.open());
  EXPECT_FALSE(merged.get_rescale());
  EXPECT_FALSE(merged.get_reoffset());
  EXPECT_EQ(merged.header.x_scale_factor, 0.01);
  EXPECT_EQ(merged.header.x_offset, 0.0);
  EXPECT_EQ(merged.header.number_of_point_records, 2u);
  EXPECT_EQ(merged.header.min_x, 1.0);
  EXPECT_EQ(merged.header.max_z, 6.0);
  EXPECT_EQ(merged.npoints, 2);
  EXPECT_EQ(read_all(&merged).size(), 2u);
}

// -faf numbers the files from its start value; with IDs each file gets its
// ID + 1; -apply_file_source_ID gives each point its file's source ID.
TEST(LASreaderMerged, FlightlineNumbers) {
  TempFolder dir("pl_merged");
  std::vector<std::string> names;
  for (int k = 0; k < 3; k++) {
    names.push_back(write_xyz_file(dir, "f" + std::to_string(k) + ".las", {{1.0 * k, 0, 0}}, 0.01,
                                   {0, 0, 0}, static_cast<uint16_t>(30 + k)));
  }
  struct Case {
    std::vector<std::string> extra;
    std::vector<uint16_t> ids;
  };
  const Case cases[] = {
      {{"-faf", "5"}, {5, 6, 7}}, {{"-faf"}, {1, 2, 3}}, {{"-apply_file_source_ID"}, {30, 31, 32}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra[0]);
    LASinputOptions options;
    std::vector<std::string> words = {"-i", names[0], names[1], names[2], "-merged"};
    words.insert(words.end(), c.extra.begin(), c.extra.end());
    std::unique_ptr<LASreader> reader = open_with(options, words);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->header.file_source_ID, 0);
    const std::vector<ReadPoint> points = read_all(reader.get());
    ASSERT_EQ(points.size(), 3u);
    for (int k = 0; k < 3; k++) EXPECT_EQ(points[k].point_source_ID, c.ids[k]) << k;
  }
  // With IDs from a list.
  LAStransform transform;
  transform.set_source_id_operation(0);
  LASreaderMerged merged;
  for (int k = 0; k < 3; k++) merged.add_file_name_and_id(names[k].c_str(), 10u * k);
  ASSERT_TRUE(merged.open());
  merged.set_files_are_flightlines(1);
  merged.attach_transform(&transform);
  const std::vector<ReadPoint> points = read_all(&merged);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].point_source_ID, 1);
  EXPECT_EQ(points[1].point_source_ID, 11);
  EXPECT_EQ(points[2].point_source_ID, 21);
}

// With an area of interest, files whose box misses it are never opened: a
// file removed after the header pass is not missed.
TEST(LASreaderMerged, FilesOutsideTheAreaAreSkipped) {
  TempFolder dir("pl_merged");
  const std::string a = write_xyz_file(dir, "a.las", {{10, 10, 0}, {20, 20, 0}}, 0.01, {0, 0, 0});
  const std::string b = write_xyz_file(dir, "b.las", {{110, 10, 0}, {120, 20, 0}}, 0.01, {0, 0, 0});
  const std::string c = write_xyz_file(dir, "c.las", {{15, 15, 0}}, 0.01, {0, 0, 0});
  struct Case {
    const char* what;
    int kind;  // 1 tile, 3 rectangle
    size_t points;
  };
  const Case cases[] = {{"rectangle", 3, 3}, {"tile", 1, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string b2 = dir.file("b2.las");
    ASSERT_EQ(std::system(("cp '" + b + "' '" + b2 + "'").c_str()), 0);
    LASreaderMerged merged;
    ASSERT_TRUE(merged.add_file_name(a.c_str()));
    ASSERT_TRUE(merged.add_file_name(b2.c_str()));
    ASSERT_TRUE(merged.add_file_name(c.c_str()));
    ASSERT_TRUE(merged.open());
    if (k.kind == 3) {
      merged.limit_to_rectangle(0, 0, 100, 100);
    } else {
      merged.limit_to_tile(0.0f, 0.0f, 100.0f);
    }
    EXPECT_EQ(merged.header.min_x, 0.0);
    ASSERT_EQ(unlink(b2.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_all(&merged).size(), k.points);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // Without the area the header shows the files' bounds again.
    merged.limit_none();
    EXPECT_EQ(merged.header.max_x, 120.0);
  }
  // A tile's right edge (as the header shows it) is outside: a file that starts there is skipped.
  LASreaderMerged merged;
  const std::string d = write_xyz_file(dir, "d.las", {{64, 1, 0}}, 0.5, {0, 0, 0});
  ASSERT_TRUE(merged.add_file_name(a.c_str()));
  ASSERT_TRUE(merged.add_file_name(d.c_str()));
  ASSERT_TRUE(merged.open());
  merged.limit_to_tile(0.0f, 0.0f, 64.0f);
  merged.header.max_x = 64.0;  // as a coarse scale factor would round it
  EXPECT_EQ(read_all(&merged).size(), 2u);
}

// One listed file with an ID is still read (and re-read) as merged.
TEST(LASreaderMerged, SingleFileWithIdIsMerged) {
  TempFolder dir("pl_merged");
  const std::string a = write_xyz_file(dir, "a.las", {{1, 2, 3}, {4, 5, 6}}, 0.01, {0, 0, 0});
  const std::string list = dir.write("list.txt", "7," + a + "\n");
  LASinputOptions options;
  std::unique_ptr<LASreader> reader = open_with(options, {"-lof", list, "-merged"});
  ASSERT_TRUE(reader);
  EXPECT_NE(dynamic_cast<LASreaderMerged*>(reader.get()), nullptr);
  EXPECT_TRUE(read_all(reader.get()) == read_file(a));
  ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
  EXPECT_EQ(read_all(reader.get()).size(), 2u);
}

// VPK tiles merge like LAS tiles; the merged reader reports VPK.
TEST(LASreaderMerged, VpkTiles) {
  TempFolder dir("pl_merged");
  const TiledScene scene = write_tiled_scene(dir);
  std::vector<std::string> words = {"-i"};
  for (const std::string& tile : scene.tiles) {
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open_file(tile.c_str()));
    const std::string vpk = tile.substr(0, tile.size() - 4) + ".vpk";
    LASwriterLAS writer;
    ASSERT_TRUE(
        writer.open_file(vpk.c_str(), &reader.header, LAScompressorKind::sequential_chunked));
    while (reader.read_point()) writer.write_one_point(&reader.point);
    ASSERT_GT(writer.close_output(true), 0);
    words.push_back(vpk);
  }
  words.push_back("-merged");
  LASinputOptions options;
  std::unique_ptr<LASreader> reader = open_with(options, words);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->format_code(), LASformatCode::vpk);
  std::vector<ReadPoint> merged = read_all(reader.get());
  std::vector<ReadPoint> expected = read_file(scene.whole);
  std::sort(merged.begin(), merged.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(merged == expected);
}

// A file that can no longer be opened when the merge reaches it, and a file whose points
// cannot all be decoded: the stream ends or goes on without them, and the reader says it
// failed, so that no tool takes what it delivered for the whole input.
TEST(LASreaderMerged, FileThatFailsWhileReadingFailsTheReader) {
  TempFolder dir("pl_merged");
  const TiledScene t = write_tiled_scene(dir);
  LASreaderMerged intact;
  for (const std::string& tile : t.tiles) ASSERT_TRUE(intact.add_file_name(tile.c_str()));
  ASSERT_TRUE(intact.open());
  EXPECT_EQ(read_all(&intact).size(), t.points.size());
  EXPECT_FALSE(intact.failed());

  LASreaderMerged merged;
  for (const std::string& tile : t.tiles) ASSERT_TRUE(merged.add_file_name(tile.c_str()));
  ASSERT_TRUE(merged.open());
  ASSERT_EQ(std::remove(t.tiles[2].c_str()), 0);
  testing::internal::CaptureStderr();
  const size_t delivered = read_all(&merged).size();
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_LT(delivered, t.points.size());
  EXPECT_TRUE(merged.failed());
  EXPECT_NE(messages.find("ERROR: could not open lasreaderlas for file '" + t.tiles[2] + "'\n"),
            std::string::npos)
      << messages;
  // Still failed on the next pass: the run it belongs to has lost points.
  ASSERT_TRUE(merged.reopen());
  EXPECT_TRUE(merged.failed());
}
