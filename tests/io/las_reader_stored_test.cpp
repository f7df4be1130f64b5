#include "io/las_reader_stored.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "io/las_input_options.hpp"
#include "las_fixture.hpp"
#include "point_reading.hpp"

namespace {

std::string write_points(const TempFolder& dir, const std::string& name, size_t count,
                         uint8_t format = 1) {
  FixtureFile f;
  f.point_data_format = format;
  f.version_minor = format >= 6 ? 4 : 2;
  f.vlrs.push_back({0, "owner", 7, "kept", {5, 6, 7}});
  const std::string path = dir.file(name);
  EXPECT_TRUE(fixture_write_file(path, f, fixture_random_points(31, count, format)));
  return path;
}

// Sends standard output into a file (or a pipe) while alive.
class StdoutTo {
 public:
  explicit StdoutTo(int fd) {
    std::fflush(stdout);
    saved = dup(1);
    dup2(fd, 1);
  }
  ~StdoutTo() {
    std::fflush(stdout);
    clearerr(stdout);
    dup2(saved, 1);
    close(saved);
  }

 private:
  int saved;
};

std::unique_ptr<LASreader> open_with(LASinputOptions& options, std::vector<std::string> words) {
  ArgVector args(words);
  EXPECT_EQ(options.take_arguments(args.argc(), args.argv()), 1);
  return std::unique_ptr<LASreader>(options.open_next_reader());
}

}  // namespace

TEST(LASreaderStored, NoReader) {
  LASreaderStored stored;
  LASreaderPipeOn pipe;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(stored.open(nullptr));
  EXPECT_FALSE(pipe.open(nullptr));
  EXPECT_FALSE(stored.reopen());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: no lasreader\nERROR: no lasreader\nERROR: no streamoutarray\n");
  EXPECT_EQ(stored.format_code(), 0);
  EXPECT_FALSE(stored.limit_to_rectangle(0, 0, 1, 1));
}

// A stored input read twice gives the same points in the same order, and the
// second pass shows the first pass's header; the wrapped reader's records
// moved to the wrapper.
TEST(LASreaderStored, ReadTwiceThroughTheOpener) {
  TempFolder dir("pl_stored");
  for (uint8_t format : {uint8_t{1}, uint8_t{3}, uint8_t{6}}) {
    SCOPED_TRACE(static_cast<int>(format));
    const std::string a = write_points(dir, "a.las", 60001, format);
    LASinputOptions options;
    std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, "-stored"});
    ASSERT_TRUE(reader);
    LASreaderStored* stored = dynamic_cast<LASreaderStored*>(reader.get());
    ASSERT_NE(stored, nullptr);
    ASSERT_EQ(reader->header.vlrs.size(), 1u);
    EXPECT_TRUE(stored->get_inner()->header.vlrs.empty());
    LASreaderLAS plain;
    ASSERT_TRUE(plain.open_file(a.c_str()));
    const std::vector<ReadPoint> expected = read_all(&plain);
    EXPECT_TRUE(read_all(reader.get()) == expected);
    for (int pass = 0; pass < 2; pass++) {
      ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
      EXPECT_EQ(reader->npoints, 60001);
      EXPECT_EQ(reader->header.number_of_point_records, plain.header.number_of_point_records);
      EXPECT_FALSE(reader->header.vlr_compressor);
      ASSERT_EQ(reader->header.vlrs.size(), 1u);
      EXPECT_TRUE(read_all(reader.get()) == expected);
    }
  }
}

// The replay delivers what the first pass delivered after its filter.
TEST(LASreaderStored, ReplayKeepsTheFirstPassFilter) {
  TempFolder dir("pl_stored");
  const std::string a = write_points(dir, "a.las", 1000);
  LASinputOptions options;
  std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, "-stored", "-keep_first"});
  ASSERT_TRUE(reader);
  const std::vector<ReadPoint> first = read_all(reader.get());
  ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
  EXPECT_TRUE(read_all(reader.get()) == first);
}

// -pipe_on writes the points read as a LAS file on standard output during the
// first pass only; the points delivered are the file's.
TEST(LASreaderPipeOn, WritesLasOnStandardOutputOnce) {
  TempFolder dir("pl_pipe");
  const std::string a = write_points(dir, "a.las", 2500, 3);
  const std::string out = dir.file("out.las");
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::vector<ReadPoint> first, second;
  {
    StdoutTo redirect(fd);
    LASinputOptions options;
    std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, "-pipe_on"});
    ASSERT_TRUE(reader);
    ASSERT_NE(dynamic_cast<LASreaderPipeOn*>(reader.get()), nullptr);
    first = read_all(reader.get());
    std::fflush(stdout);
    ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
    EXPECT_EQ(reader->p_count, 0);
    second = read_all(reader.get());
  }
  close(fd);
  LASreaderLAS plain;
  ASSERT_TRUE(plain.open_file(a.c_str()));
  const std::vector<ReadPoint> expected = read_all(&plain);
  EXPECT_TRUE(first == expected);
  EXPECT_TRUE(second == expected);

  FixtureContents written, original;
  ASSERT_TRUE(fixture_read_file(out, &written));
  ASSERT_TRUE(fixture_read_file(a, &original));
  EXPECT_EQ(written.header.number_of_point_records, 2500u);
  EXPECT_EQ(written.points, original.points);
  EXPECT_EQ(written.file.vlrs, original.file.vlrs);
}

// With -stored and -pipe_on the pipe-on reader wraps the stored one.
TEST(LASreaderPipeOn, WrapsTheStoredReader) {
  TempFolder dir("pl_pipe");
  const std::string a = write_points(dir, "a.las", 300);
  const std::string out = dir.file("out.las");
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  {
    StdoutTo redirect(fd);
    LASinputOptions options;
    std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, "-stored", "-pipe_on"});
    ASSERT_TRUE(reader);
    LASreaderPipeOn* pipe = dynamic_cast<LASreaderPipeOn*>(reader.get());
    ASSERT_NE(pipe, nullptr);
    EXPECT_NE(dynamic_cast<LASreaderStored*>(pipe->get_inner()), nullptr);
    EXPECT_EQ(read_all(reader.get()).size(), 300u);
    ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
    EXPECT_EQ(read_all(reader.get()).size(), 300u);
  }
  close(fd);
  FixtureContents written;
  ASSERT_TRUE(fixture_read_file(out, &written));
  EXPECT_EQ(written.points.size(), 300u);
}

// A pipe whose reader has gone: the writes fail with a message, the process
// lives on and the points are still delivered.
TEST(LASreaderPipeOn, ClosedPipeIsAnError) {
  TempFolder dir("pl_pipe");
  const std::string a = write_points(dir, "a.las", 20000);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  size_t delivered = 0;
  bool failed = false, lost = false;
  std::string messages;
  {
    StdoutTo redirect(fds[1]);
    LASinputOptions options;
    testing::internal::CaptureStderr();
    std::unique_ptr<LASreader> reader = open_with(options, {"-i", a, "-pipe_on"});
    ASSERT_TRUE(reader);
    delivered = read_all(reader.get()).size();
    failed = dynamic_cast<LASreaderPipeOn*>(reader.get())->write_failed();
    lost = reader->failed();
    reader.reset();
    messages = testing::internal::GetCapturedStderr();
  }
  close(fds[1]);
  EXPECT_EQ(delivered, 20000u);
  EXPECT_TRUE(failed);
  EXPECT_TRUE(lost);
  EXPECT_NE(messages.find("to stdout. pipe closed?"), std::string::npos) << messages;
}

// Standard input read as LAS and kept with -stored gives, on both passes,
// exactly the points and header of the same file opened by name.
TEST(LASreaderStored, StandardInputLikeTheFile) {
  TempFolder dir("pl_stored");
  const std::string a = write_points(dir, "a.las", 777);
  const int fd = open(a.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const int saved = dup(0);
  dup2(fd, 0);
  close(fd);
  rewind(stdin);  // drops whatever earlier readers of stdin left in its buffer
  LASinputOptions options;
  std::unique_ptr<LASreader> reader = open_with(options, {"-stdin", "-stored"});
  ASSERT_TRUE(reader);
  std::vector<ReadPoint> passes[2];
  passes[0] = read_all(reader.get());
  ASSERT_EQ(options.rebuild_reader(reader.get()), 1);
  passes[1] = read_all(reader.get());
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  LASreaderLAS plain;
  ASSERT_TRUE(plain.open_file(a.c_str()));
  EXPECT_EQ(reader->header.number_of_point_records, plain.header.number_of_point_records);
  EXPECT_EQ(reader->header.vlrs.size(), plain.header.vlrs.size());
  const std::vector<ReadPoint> expected = read_all(&plain);
  EXPECT_TRUE(passes[0] == expected);
  EXPECT_TRUE(passes[1] == expected);
}

// A stored buffered input holds the buffer points with the tile's own. The pass that drops the
// buffer replays only the tile's points under the tile's counts and bounds, as the buffered
// reader alone does; a pass that keeps it replays them all. A pipe-on wrapper's header follows.
TEST(LASreaderStored, BufferedInputDropsItsBufferForTheNextPass) {
  TempFolder dir("pl_stored");
  FixtureFile f;
  f.point_data_format = 1;
  const std::string a = dir.file("a.las"), b = dir.file("b.las");
  ASSERT_TRUE(fixture_write_file(a, f, fixture_random_points(31, 3000, 1)));
  ASSERT_TRUE(fixture_write_file(b, f, fixture_random_points(32, 2000, 1)));
  LASreaderLAS plain;
  ASSERT_TRUE(plain.open_file(a.c_str()));
  const std::vector<ReadPoint> own = read_all(&plain);
  const std::string piped = dir.file("piped.las");
  for (bool pipe_on : {false, true}) {
    SCOPED_TRACE(pipe_on);
    std::vector<std::string> words = {"-i", a, b, "-buffered", "10", "-stored"};
    if (pipe_on) words.push_back("-pipe_on");
    const int fd = open(piped.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    StdoutTo redirect(fd);
    close(fd);
    LASinputOptions options;
    testing::internal::CaptureStderr();
    std::unique_ptr<LASreader> reader = open_with(options, words);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(reader);
    const std::vector<ReadPoint> first = read_all(reader.get());
    ASSERT_GT(first.size(), own.size());
    EXPECT_TRUE(std::equal(own.begin(), own.end(), first.begin()));
    ASSERT_EQ(options.rebuild_reader(reader.get(), true), 1);
    EXPECT_TRUE(read_all(reader.get()) == first);
    ASSERT_EQ(options.rebuild_reader(reader.get(), false), 1);
    EXPECT_TRUE(read_all(reader.get()) == own);
    EXPECT_EQ(reader->npoints, int64_t(own.size()));
    EXPECT_EQ(reader->header.number_of_point_records, plain.header.number_of_point_records);
    for (int r = 0; r < 5; r++) {
      EXPECT_EQ(reader->header.number_of_points_by_return[r],
                plain.header.number_of_points_by_return[r]);
    }
    EXPECT_EQ(reader->header.min_x, plain.header.min_x);
    EXPECT_EQ(reader->header.max_y, plain.header.max_y);
    EXPECT_FALSE(reader->header.vlr_lasoriginal);
    EXPECT_FALSE(reader->failed());
  }
}
