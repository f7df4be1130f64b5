// Points through the input opener (area, filter, transform), a writer from
// the output opener, and back through a plain reader, compared with a
// brute-force selection of the generated points.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer.hpp"
#include "file_bytes.hpp"
#include "filter/las_filter.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "las_fixture.hpp"
#include "temp_dir.hpp"

namespace {

// Points of format 1 on a 100 m x 100 m square at scale 0.01, classes 1 to 3,
// one to three returns, intensities 0 to 999.
std::vector<FixturePoint> make_points(uint64_t seed, size_t count) {
  FixtureRandom random(seed);
  std::vector<FixturePoint> points(count);
  for (FixturePoint& p : points) {
    p.X = static_cast<int32_t>(random.below(10000));
    p.Y = static_cast<int32_t>(random.below(10000));
    p.Z = static_cast<int32_t>(random.below(10000)) - 2000;
    p.intensity = static_cast<uint16_t>(random.below(1000));
    p.number_of_returns = static_cast<uint8_t>(1 + random.below(3));
    p.return_number = static_cast<uint8_t>(1 + random.below(p.number_of_returns));
    p.classification = static_cast<uint8_t>(1 + random.below(3));
    p.point_source_ID = static_cast<uint16_t>(random.below(5));
    p.gps_time = 1000.0 + random.below(1000000) * 0.001;
  }
  return points;
}

FixturePoint from_reader(const LASpoint& q) {
  FixturePoint p;
  p.X = q.X;
  p.Y = q.Y;
  p.Z = q.Z;
  p.intensity = q.intensity;
  p.return_number = q.get_return_number();
  p.number_of_returns = q.get_number_of_returns();
  p.classification = q.get_classification();
  p.point_source_ID = q.point_source_ID;
  p.gps_time = q.gps_time;
  return p;
}

// The points as "scene.las" of format 1 in the folder; its name.
std::string write_scene(const TempDir& dir, const std::vector<FixturePoint>& points) {
  const std::string input = dir.path + "/scene.las";
  FixtureFile file;
  file.point_data_format = 1;
  EXPECT_TRUE(fixture_write_file(input, file, points));
  return input;
}

// True when the library reads point records; until then the tests that need
// points are skipped.
bool reads_points(const std::string& name) {
  LASreaderLAS probe;
  return probe.open_file(name.c_str()) && probe.read_point();
}

std::vector<FixturePoint> read_all(LASreader* reader) {
  std::vector<FixturePoint> result;
  while (reader->read_point()) result.push_back(from_reader(reader->point));
  return result;
}

// Copies every point the reader delivers into a writer from the output
// options; the number of points written.
int64_t copy_points(LASreader* reader, LASoutputOptions& output, const char* input_name,
                    bool* opened) {
  std::unique_ptr<LASwriter> writer(output.open_writer(&reader->header, input_name));
  *opened = writer != nullptr;
  if (!writer) return -1;
  int64_t n = 0;
  while (reader->read_point()) {
    writer->write_one_point(&reader->point);
    writer->add_to_inventory(&reader->point);
    n++;
  }
  writer->rewrite_header(&reader->header, true, false);
  writer->close_output();
  return n;
}

const char* const kSelection[] = {"-keep_class", "2",  "-translate_z", "1", "-inside",
                                  "20",          "30", "70",           "60"};

// The brute-force answer for kSelection.
std::vector<FixturePoint> expected_selection(const std::vector<FixturePoint>& points) {
  std::vector<FixturePoint> expected;
  for (FixturePoint p : points) {
    const double x = p.X * 0.01, y = p.Y * 0.01;
    if (!(20 <= x && x < 70 && 30 <= y && y < 60)) continue;
    if (p.classification != 2) continue;
    p.Z += 100;  // one metre at 0.01
    expected.push_back(p);
  }
  return expected;
}

void expect_same(const std::vector<FixturePoint>& got, const std::vector<FixturePoint>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); k++) {
    ASSERT_EQ(fixture_point_difference(got[k], want[k]), "") << "point " << k;
  }
}

}  // namespace

TEST(OpenerPipeline, SelectTransformAndWriteEachFormat) {
  TempDir dir;
  const std::vector<FixturePoint> points = make_points(11, 5000);
  const std::string input = write_scene(dir, points);
  ASSERT_TRUE(reads_points(input));
  const std::vector<FixturePoint> expected = expected_selection(points);
  ASSERT_GT(expected.size(), 100u);

  for (const char* extension : {"las", "vpk"}) {
    SCOPED_TRACE(extension);
    std::vector<std::string> args = {"-i", input};
    args.insert(args.end(), std::begin(kSelection), std::end(kSelection));
    args.insert(args.end(), {"-o", dir.path + "/out." + extension});
    ArgVector av(args);
    LASinputOptions in;
    LASoutputOptions out;
    ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
    ASSERT_EQ(out.take_arguments(av.argc(), av.argv()), 1);
    ASSERT_TRUE(av.left().empty());
    std::unique_ptr<LASreader> reader(in.open_next_reader());
    ASSERT_NE(reader, nullptr);
    bool opened = false;
    testing::internal::CaptureStderr();
    const int64_t written = copy_points(reader.get(), out, in.current_name(), &opened);
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(opened) << messages;
    EXPECT_EQ(written, static_cast<int64_t>(expected.size()));

    LASreaderLAS back;
    ASSERT_TRUE(back.open_file(out.current_name()));
    if (std::string(extension) == "vpk") {
      testing::internal::CaptureStderr();
      const bool first = back.read_point();
      const std::string why = testing::internal::GetCapturedStderr();
      ASSERT_TRUE(first) << why;
      back.close_input();
      ASSERT_TRUE(back.open_file(out.current_name()));
    }
    EXPECT_EQ(back.format_code(), std::string(extension) == "vpk" ? 2 : 1);
    EXPECT_EQ(back.npoints, static_cast<int64_t>(expected.size()));
    expect_same(read_all(&back), expected);

    // A second pass over the same input gives the same points.
    ASSERT_EQ(in.rebuild_reader(reader.get()), 1);
    expect_same(read_all(reader.get()), expected);
  }
}

// The same input through standard input (a pipe on descriptor 0) gives the
// same points.
TEST(OpenerPipeline, StandardInputGivesTheSamePoints) {
  TempDir dir;
  const std::vector<FixturePoint> points = make_points(12, 3000);
  const std::string input = write_scene(dir, points);
  ASSERT_TRUE(reads_points(input));
  const std::vector<uint8_t> bytes = file_bytes(input);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread feeder([&bytes, fd = fds[1]] {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(fd);
  });
  std::fflush(stdin);
  const int saved = dup(0);
  ASSERT_GE(saved, 0);
  dup2(fds[0], 0);
  close(fds[0]);
  std::clearerr(stdin);

  std::vector<FixturePoint> got;
  {
    std::vector<std::string> args = {"-stdin"};
    args.insert(args.end(), std::begin(kSelection), std::end(kSelection));
    ArgVector av(args);
    LASinputOptions in;
    ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASreader> reader(in.open_next_reader());
    if (reader) got = read_all(reader.get());
    // Whatever is left unread goes, so the feeder can finish.
    char sink[4096];
    while (std::fread(sink, 1, sizeof(sink), stdin) > 0) {
    }
  }
  feeder.join();
  dup2(saved, 0);
  close(saved);
  std::clearerr(stdin);
  expect_same(got, expected_selection(points));
}

// An output that would overwrite the input is refused, and the input keeps
// every byte.
TEST(OpenerPipeline, OutputOverTheInputIsRefused) {
  TempDir dir;
  const std::string input = dir.path + "/scene.las";
  FixtureFile file;
  ASSERT_TRUE(fixture_write_file(input, file, make_points(13, 50)));
  const std::vector<uint8_t> before = file_bytes(input);
  for (const std::string& spelling :
       {input, dir.path + "/./scene.las", dir.path + "/../" + dir.path.substr(5) + "/scene.las"}) {
    SCOPED_TRACE(spelling);
    ArgVector av({"-i", input, "-o", spelling, "-oforce"});
    LASinputOptions in;
    LASoutputOptions out;
    ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
    ASSERT_EQ(out.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASreader> reader(in.open_next_reader());
    ASSERT_NE(reader, nullptr);
    testing::internal::CaptureStderr();
    std::unique_ptr<LASwriter> writer(out.open_writer(&reader->header, in.current_name()));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(writer, nullptr);
    EXPECT_NE(messages.find("refusing to overwrite it"), std::string::npos) << messages;
    EXPECT_EQ(file_bytes(input), before);
  }
}

// A reader with a filter attached keeps exactly what a brute-force selection
// keeps, and each criterion counts the points it dropped first.
TEST(OpenerPipeline, FilterKeepsTheBruteForceSelection) {
  TempDir dir;
  const std::vector<FixturePoint> points = make_points(14, 4000);
  const std::string input = write_scene(dir, points);
  ASSERT_TRUE(reads_points(input));

  ArgVector av({"-i", input, "-keep_class", "2", "3", "-drop_z_above", "50.005",
                "-drop_intensity_below", "100", "-keep_first"});
  LASinputOptions in;
  ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
  LASfilter* filter = in.get_filter();
  ASSERT_NE(filter, nullptr);
  ASSERT_EQ(filter->count(), 4u);

  std::vector<FixturePoint> expected;
  int32_t drops[4] = {0, 0, 0, 0};
  for (const FixturePoint& p : points) {
    if (p.classification != 2 && p.classification != 3) {
      drops[0]++;
    } else if (p.Z * 0.01 >= 50.005) {
      drops[1]++;
    } else if (p.intensity < 100) {
      drops[2]++;
    } else if (p.return_number > 1) {
      drops[3]++;
    } else {
      expected.push_back(p);
    }
  }
  std::unique_ptr<LASreader> reader(in.open_next_reader());
  ASSERT_NE(reader, nullptr);
  expect_same(read_all(reader.get()), expected);
  for (uint32_t k = 0; k < 4; k++) {
    EXPECT_EQ(filter->counter(k), drops[k]) << "criterion " << k;
    EXPECT_GT(drops[k], 0);
  }
}

// Point source IDs from "-faf" (the flightline number) and from
// "-apply_file_source_ID" (the file's source ID); every point gets the value.
TEST(OpenerPipeline, FlightlinesStampEveryPoint) {
  TempDir dir;
  FixtureFile file;
  file.point_data_format = 1;
  file.file_source_ID = 77;
  std::string names[2];
  for (int k = 0; k < 2; k++) {
    names[k] = dir.path + "/line" + std::to_string(k) + ".las";
    ASSERT_TRUE(fixture_write_file(names[k], file, make_points(20 + k, 200)));
  }
  ASSERT_TRUE(reads_points(names[0]));
  struct Case {
    std::vector<std::string> args;
    uint16_t ids[2];
  };
  const Case cases[] = {
      {{"-faf"}, {1, 2}},
      {{"-faf", "9"}, {9, 10}},
      {{"-apply_file_source_ID"}, {77, 77}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = {"-i", names[0], names[1]};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ArgVector av(args);
    LASinputOptions in;
    ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
    for (int k = 0; k < 2; k++) {
      std::unique_ptr<LASreader> reader(in.open_next_reader());
      ASSERT_NE(reader, nullptr);
      const std::vector<FixturePoint> got = read_all(reader.get());
      ASSERT_EQ(got.size(), 200u);
      for (const FixturePoint& p : got) ASSERT_EQ(p.point_source_ID, c.ids[k]);
    }
  }
}

// With a tile, a circle and a rectangle given together, a LAS input is
// limited to the rectangle alone.
TEST(OpenerPipeline, RectangleWinsOverTileAndCircle) {
  TempDir dir;
  const std::vector<FixturePoint> points = make_points(15, 3000);
  const std::string input = write_scene(dir, points);
  ASSERT_TRUE(reads_points(input));
  ArgVector av({"-i", input, "-inside_tile", "0", "0", "10", "-inside_circle", "90", "90", "5",
                "-inside", "20", "30", "70", "60"});
  LASinputOptions in;
  ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
  std::unique_ptr<LASreader> reader(in.open_next_reader());
  ASSERT_NE(reader, nullptr);
  std::vector<FixturePoint> expected;
  for (const FixturePoint& p : points) {
    const double x = p.X * 0.01, y = p.Y * 0.01;
    if (20 <= x && x < 70 && 30 <= y && y < 60) expected.push_back(p);
  }
  expect_same(read_all(reader.get()), expected);
}

// "-rescale_xy" and "-rescale_z" leave the other axis as it is read.
TEST(OpenerPipeline, RescaleOfOneAxisKeepsTheOthers) {
  TempDir dir;
  const std::vector<FixturePoint> points = make_points(16, 500);
  const std::string input = write_scene(dir, points);
  ASSERT_TRUE(reads_points(input));
  // The reader's own arithmetic: integer times old factor over new factor,
  // rounded half away from zero.
  auto requantize = [](int32_t v, double new_scale) {
    const double q = v * 0.01 / new_scale;
    return static_cast<int32_t>(q >= 0 ? q + 0.5 : q - 0.5);
  };
  struct Case {
    std::vector<std::string> args;
    double xy_scale, z_scale;
  };
  const Case cases[] = {
      {{"-rescale_z", "0.001"}, 0.01, 0.001},
      {{"-rescale_xy", "0.1", "0.1"}, 0.1, 0.01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = {"-i", input};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ArgVector av(args);
    LASinputOptions in;
    ASSERT_EQ(in.take_arguments(av.argc(), av.argv()), 1);
    std::unique_ptr<LASreader> reader(in.open_next_reader());
    ASSERT_NE(reader, nullptr);
    std::vector<FixturePoint> expected = points;
    for (FixturePoint& p : expected) {
      p.X = requantize(p.X, c.xy_scale);
      p.Y = requantize(p.Y, c.xy_scale);
      p.Z = requantize(p.Z, c.z_scale);
    }
    expect_same(read_all(reader.get()), expected);
  }
}
