#include "fuzz_harness.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "arg_vector.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_write_item.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "io/las_index.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "las_fixture.hpp"
#include "lax_writer.hpp"
#include "raster_fixtures.hpp"

namespace {

// Reads what is left; returns the number of points delivered. A file that
// announces more points than it holds stops at its end, so no bound beyond
// the data is needed, but one keeps a broken reader from spinning forever.
int64_t read_rest(LASreader* reader, int64_t limit) {
  int64_t count = 0;
  while (count < limit && reader->read_point()) count++;
  return count;
}

struct XYZ {
  int32_t X, Y, Z;
};

// The copy of every point read must read back as written when the writer says
// it wrote the file.
void copy_and_read_back(LASreaderLAS* reader, const std::vector<XYZ>& points, bool all_written) {
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  if (!writer.open_stream(&out, &reader->header)) return;
  // The writer's point must have the reader's layout, so write the reader's
  // points again by reading them back from the start.
  bool written = all_written;
  if (!reader->seek_point(0)) return;
  size_t n = 0;
  while (n < points.size() && reader->read_point()) {
    if (!writer.write_one_point(&reader->point)) written = false;
    n++;
  }
  if (n != points.size()) written = false;
  if (writer.close_output(true) <= 0 || !written) return;

  LASreaderLAS back;
  if (!back.open_stream(new ByteStreamInArrayLE(out.get_data(), out.get_size()))) __builtin_trap();
  size_t k = 0;
  while (back.read_point()) {
    if (k >= points.size()) __builtin_trap();
    if (back.point.X != points[k].X || back.point.Y != points[k].Y || back.point.Z != points[k].Z) {
      __builtin_trap();
    }
    k++;
  }
  if (k != points.size()) __builtin_trap();
  back.close_input();
}

}  // namespace

void fuzz_las_reader_one(const uint8_t* data, size_t size) {
  LASreaderLAS reader;
  if (!reader.open_stream(new ByteStreamInArrayLE(data, static_cast<int64_t>(size)))) return;
  std::vector<XYZ> points;
  // Keeps memory flat for files that announce and hold many points.
  const size_t kKeep = 1 << 16;
  bool all = true;
  while (reader.read_point()) {
    if (points.size() == kKeep) {
      all = false;
      break;
    }
    points.push_back({reader.point.X, reader.point.Y, reader.point.Z});
  }
  if (reader.npoints > 2) {
    reader.seek_point(reader.npoints / 2);
    read_rest(&reader, 64);
    reader.seek_point(reader.npoints - 1);
    read_rest(&reader, 4);
  }
  copy_and_read_back(&reader, points, all);
  reader.close_input();
}

namespace {

// Walks the runs of the current selection the way an indexed area read does,
// with a reader that lands wherever it is sent and jumps to a run's end.
struct RunWalker {
  int64_t p_count = 0;
  bool seek_point(int64_t index) {
    p_count = index;
    return true;
  }
};

void walk(LASindex* index) {
  RunWalker walker;
  for (int runs = 0; runs < 1000000 && index->seek_next_interval(&walker); runs++) {
    walker.p_count = std::max<int64_t>(walker.p_count + 1, static_cast<int64_t>(index->end));
  }
}

}  // namespace

void fuzz_lax_one(const uint8_t* data, size_t size) {
  LASindex index;
  ByteStreamInArrayLE stream(data, static_cast<int64_t>(size));
  if (!index.read_from_stream(&stream)) return;
  const LASquadtree* tree = index.get_quadtree();
  if (!tree) return;
  const double min_x = tree->min_x, max_x = tree->max_x, min_y = tree->min_y, max_y = tree->max_y;
  const double mid_x = min_x / 2 + max_x / 2, mid_y = min_y / 2 + max_y / 2;
  if (index.select_rectangle(min_x, min_y, max_x, max_y)) walk(&index);
  if (index.select_rectangle(min_x, min_y, mid_x, mid_y)) walk(&index);
  if (index.select_tile(static_cast<float>(mid_x), static_cast<float>(mid_y),
                        static_cast<float>((max_x - min_x) / 4))) {
    walk(&index);
  }
  if (index.select_circle(mid_x, mid_y, (max_y - min_y) / 3)) walk(&index);
  if (index.select_rectangle(max_x + 1, max_y + 1, max_x + 2, max_y + 2)) walk(&index);
}

std::vector<std::string> fuzz_args_words(const uint8_t* data, size_t size) {
  std::vector<std::string> words;
  std::string word;
  for (size_t k = 0; k <= size && words.size() < 64; k++) {
    if (k == size || data[k] == '\n') {
      words.push_back(word);
      word.clear();
    } else {
      word.push_back(data[k] == '/' ? '_' : static_cast<char>(data[k]));
    }
  }
  return words;
}

void fuzz_args_one(const uint8_t* data, size_t size) {
  ArgVector args(fuzz_args_words(data, size));
  LASinputOptions input;
  if (!input.take_arguments(args.argc(), args.argv())) return;
  LASoutputOptions output;
  if (!output.take_arguments(args.argc(), args.argv())) return;
  output.build_name("in.las", -1);
  output.build_name("in.las", 3);
  // Standard input would wait for bytes that never come.
  if (input.reads_from_stdin()) return;
  if (input.get_file_name_number() == 0) input.add_file_name("in.las", false);
  for (int files = 0; files < 8; files++) {
    std::unique_ptr<LASreader> reader(input.open_next_reader());
    if (!reader) break;
    read_rest(reader.get(), 1 << 16);
    reader->close_input();
  }
}

namespace {

// Every field of a point as a raw writer stores it (the 30-byte record of the
// extended formats; the other items as they lie in the point).
void append_record(const LASpoint& point, std::vector<uint8_t>* out) {
  for (uint16_t i = 0; i < point.num_items; i++) {
    const uint8_t* item = point.point_items[i];
    if (point.items[i].type == LASitem::POINT14) {
      uint8_t record[30];
      LASwriteItemRaw_POINT14_LE::point_to_record(item, record);
      out->insert(out->end(), record, record + sizeof(record));
    } else {
      out->insert(out->end(), item, item + point.items[i].size);
    }
  }
}

// How one vpk_writer input is written: the first four bytes choose, the rest
// are the raw records of the points.
struct WriterCase {
  uint8_t format = 0;
  uint16_t record_length = 0;
  uint16_t compressor = 0;
  int version = 0;
  bool adaptive = false;
  uint32_t chunk_size = 0;
  uint8_t chunk_ends = 0;  // adaptive: bit i % 8 ends a chunk after point i
  size_t points = 0;

  bool ends_chunk(size_t i) const { return adaptive && ((chunk_ends >> (i % 8)) & 1u); }
};

WriterCase writer_case(const uint8_t* data, size_t size) {
  WriterCase c;
  c.format = data[0] % 11;
  const uint8_t mode = data[1];
  c.record_length = static_cast<uint16_t>(fixture_standard_record_length(c.format) + (mode >> 5));
  if (c.format >= 6) {
    c.compressor = LAScompressorKind::multistream_chunked;
    c.version = 3 + (mode & 1);
    c.adaptive = data[2] == 0;
  } else {
    c.compressor =
        (mode & 2) ? LAScompressorKind::sequential : LAScompressorKind::sequential_chunked;
    c.version = 1 + (mode & 1);
  }
  c.chunk_size = c.adaptive ? LAScompressorSetup::kAdaptiveChunkSize : 1u + data[2];
  c.chunk_ends = data[3];
  c.points = std::min<size_t>((size - 4) / c.record_length, 1500);
  return c;
}

// The points of an input, one after the other in one point, as a raw file
// with these records delivers them; records() keeps what each one stored.
class InputPoints {
 public:
  InputPoints(const WriterCase& c, const LASheader& header, const uint8_t* records_at)
      : stream(records_at, static_cast<int64_t>(c.points * c.record_length)) {
    if (!point.init_for_point_type(&header, c.format, c.record_length, &header) ||
        !raw.setup(point.num_items, point.items.data()) || !raw.init(&stream)) {
      __builtin_trap();
    }
  }
  // Reads the next point into point() and keeps its record.
  const LASpoint& next() {
    if (!raw.read(point.point_items.data())) __builtin_trap();
    kept.emplace_back();
    append_record(point, &kept.back());
    return point;
  }
  const LASpoint& layout() const { return point; }
  const std::vector<std::vector<uint8_t>>& records() const { return kept; }

 private:
  ByteStreamInArrayLE stream;
  LASpointRecordReader raw;
  LASpoint point;
  std::vector<std::vector<uint8_t>> kept;
};

// Written by the LAS writer, as a user's copy is: header, points, chunk table.
std::vector<uint8_t> write_file(const WriterCase& c, const LASheader& header, InputPoints& input) {
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  const int32_t chunk = c.adaptive ? 0 : static_cast<int32_t>(c.chunk_size);
  // The writer is asked for 1 or 2; the extended items then get 3.
  const int requested = c.version >= 3 ? 2 : c.version;
  if (!writer.open_stream(&out, &header, c.compressor, requested, chunk)) __builtin_trap();
  for (size_t i = 0; i < c.points; i++) {
    if (!writer.write_one_point(&input.next())) __builtin_trap();
    if (c.ends_chunk(i) && !writer.close_chunk()) __builtin_trap();
  }
  if (writer.close_output(true) <= 0) __builtin_trap();
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

void check_file(const std::vector<uint8_t>& file,
                const std::vector<std::vector<uint8_t>>& records) {
  LASreaderLAS reader;
  if (!reader.open_stream(
          new ByteStreamInArrayLE(file.data(), static_cast<int64_t>(file.size())))) {
    __builtin_trap();
  }
  if (reader.npoints != static_cast<int64_t>(records.size())) __builtin_trap();
  std::vector<uint8_t> got;
  for (const std::vector<uint8_t>& record : records) {
    if (!reader.read_point()) __builtin_trap();
    got.clear();
    append_record(reader.point, &got);
    if (got != record) __builtin_trap();
  }
  if (reader.read_point() || reader.failed()) __builtin_trap();
  // A seek lands on the point asked for.
  if (!records.empty()) {
    const size_t middle = records.size() / 2;
    if (!reader.seek_point(static_cast<int64_t>(middle)) || !reader.read_point()) __builtin_trap();
    got.clear();
    append_record(reader.point, &got);
    if (got != records[middle]) __builtin_trap();
  }
  reader.close_input();
}

// Version 4 of the layered coders, which the LAS writer never chooses but
// reads: through the point-record writer and reader with a list that says 4.
void check_version_4(const WriterCase& c, InputPoints& input) {
  const LASpoint& layout = input.layout();
  LAScompressorSetup setup;
  if (!setup.setup(layout.num_items, layout.items.data(), c.compressor) ||
      !setup.choose_version(2) || !setup.change_chunk_size(c.chunk_size)) {
    __builtin_trap();
  }
  for (LASitem& item : setup.items) item.version = 4;
  ByteStreamOutArrayLE out;
  LASpointRecordWriter writer;
  if (!writer.setup(setup.num_items, setup.items.data(), &setup) || !writer.init(&out)) {
    __builtin_trap();
  }
  for (size_t i = 0; i < c.points; i++) {
    if (!writer.write(input.next().point_items.data())) __builtin_trap();
    if (c.ends_chunk(i) && !writer.chunk()) __builtin_trap();
  }
  if (!writer.done()) __builtin_trap();
  ByteStreamInArrayLE in(out.get_data(), out.get_size());
  LASpointRecordReader reader;
  if (!reader.setup(setup.num_items, setup.items.data(), &setup) || !reader.init(&in)) {
    __builtin_trap();
  }
  LASpoint point;
  if (!point.init_for_items(nullptr, layout.num_items, layout.items.data(), nullptr)) {
    __builtin_trap();
  }
  std::vector<uint8_t> got;
  for (const std::vector<uint8_t>& record : input.records()) {
    if (!reader.read(point.point_items.data())) __builtin_trap();
    got.clear();
    append_record(point, &got);
    if (got != record) __builtin_trap();
  }
  if (!reader.check_end()) __builtin_trap();
}

}  // namespace

void fuzz_vpk_writer_one(const uint8_t* data, size_t size) {
  if (size < 4) return;
  const WriterCase c = writer_case(data, size);
  LASheader header;
  header.version_minor = c.format >= 6 ? 4 : 2;
  header.point_data_format = c.format;
  header.point_data_record_length = c.record_length;
  if (c.format >= 6) {
    header.extended_number_of_point_records = c.points;
  } else {
    header.number_of_point_records = static_cast<uint32_t>(c.points);
  }
  InputPoints input(c, header, data + 4);
  if (c.version == 4) {
    check_version_4(c, input);
  } else {
    const std::vector<uint8_t> file = write_file(c, header, input);
    check_file(file, input.records());
  }
}

namespace {

FixtureFile small_file(uint8_t format, uint8_t minor) {
  FixtureFile file;
  file.version_minor = minor;
  file.point_data_format = format;
  file.offset = {1000.0, 2000.0, 0.0};
  return file;
}

bool write_bytes(const char* name, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(name, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

bool fuzz_args_prepare_directory() {
  const std::vector<uint8_t> las1 =
      fixture_write_bytes(small_file(1, 2), fixture_random_points(11, 24, 1));
  const std::vector<uint8_t> las6 =
      fixture_write_bytes(small_file(6, 4), fixture_random_points(12, 24, 6));
  const std::string list = "in.las\nin6.las\n";
  const std::string map = "1 2\n3 4\n5 6\n";
  return write_bytes("in.las", las1) && write_bytes("in6.las", las6) &&
         write_bytes("list.txt", std::vector<uint8_t>(list.begin(), list.end())) &&
         write_bytes("map.txt", std::vector<uint8_t>(map.begin(), map.end()));
}

std::vector<std::vector<uint8_t>> fuzz_las_seed_files() {
  std::vector<std::vector<uint8_t>> seeds;
  uint64_t seed = 1;
  for (uint8_t minor = 0; minor <= 4; minor++) {
    for (uint8_t format = 0; format <= 10; format++) {
      if (!fixture_format_allowed(minor, format)) continue;
      FixtureFile file = small_file(format, minor);
      const size_t count = 5 + format;
      if (format % 3 == 1) {
        file.extra_bytes = 4;
        FixtureAttribute attribute;
        attribute.data_type = 6;  // u32
        attribute.name = "height";
        attribute.scale = {0.01, 0.0, 0.0};
        attribute.options = 8;  // scale present
        file.vlrs.push_back(fixture_extra_bytes_vlr({attribute}));
      }
      if (format % 2 == 0) {
        FixtureVlr vlr;
        vlr.user_id = "fuzz";
        vlr.record_id = 7;
        vlr.data = {1, 2, 3, 4, 5};
        file.vlrs.push_back(vlr);
        file.user_data_after_header = {9, 9};
      }
      if (minor == 4) {
        FixtureEvlr evlr;
        evlr.user_id = "fuzz";
        evlr.record_id = 8;
        evlr.data = {6, 7, 8};
        file.evlrs.push_back(evlr);
      }
      seeds.push_back(fixture_write_bytes(
          file, fixture_random_points(seed++, count, format, file.extra_bytes)));
    }
  }
  return seeds;
}

std::vector<uint8_t> fuzz_compressed_copy(const std::vector<uint8_t>& las, uint16_t compressor,
                                          int version, int32_t chunk_size) {
  LASreaderLAS reader;
  if (!reader.open_stream(new ByteStreamInArrayLE(las.data(), static_cast<int64_t>(las.size())))) {
    return {};
  }
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  if (!writer.open_stream(&out, &reader.header, compressor, version, chunk_size)) return {};
  bool ok = true;
  while (ok && reader.read_point()) ok = writer.write_one_point(&reader.point);
  if (writer.close_output(true) <= 0 || !ok) return {};
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

std::vector<std::vector<uint8_t>> fuzz_vpk_writer_seed_inputs() {
  std::vector<std::vector<uint8_t>> seeds;
  for (uint8_t format = 0; format <= 10; format++) {
    // Legacy: versions 1 and 2, chunked and not; extended: versions 3 and 4,
    // fixed and adaptive chunks.
    for (uint8_t variant = 0; variant < 4; variant++) {
      const uint8_t extra = static_cast<uint8_t>((format + variant) % 3);
      const uint8_t mode = static_cast<uint8_t>((extra << 5) | variant);
      const uint8_t chunk = format >= 6 && variant >= 2 ? 0 : static_cast<uint8_t>(6 + variant);
      std::vector<uint8_t> input = {format, mode, chunk, 0x25};
      const uint16_t length = static_cast<uint16_t>(fixture_standard_record_length(format) + extra);
      const std::vector<FixturePoint> points =
          fixture_random_points(100u * format + variant, 20, format, extra);
      for (const FixturePoint& point : points) {
        const size_t at = input.size();
        input.resize(at + length);
        fixture_encode_point(point, format, length, input.data() + at);
      }
      seeds.push_back(std::move(input));
    }
  }
  return seeds;
}

namespace {

std::vector<std::string>& process_directories() {
  static std::vector<std::string> directories;
  return directories;
}

void remove_process_directories() {
  for (const std::string& dir : process_directories()) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
}

}  // namespace

std::string fuzz_process_directory(const char* tag) {
  std::string pattern = std::string("/tmp/pl_fuzz_") + tag + "_XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  if (process_directories().empty()) std::atexit(remove_process_directories);
  process_directories().push_back(pattern);
  return pattern;
}

std::vector<uint8_t> fuzz_file_bytes(const std::string& name) {
  return file_bytes(name);
}

std::vector<std::vector<uint8_t>> fuzz_raster_seed_inputs() {
  using namespace raster_fixtures;
  std::vector<std::vector<uint8_t>> seeds;
  ScopedTempDir dir;
  const auto with_kind = [](uint8_t kind, const std::vector<uint8_t>& file) {
    std::vector<uint8_t> input = {kind};
    input.insert(input.end(), file.begin(), file.end());
    return input;
  };
  DemGrid grid = make_dem(7, 5, 100.0, 140.0, 4);
  for (int decimals : {0, 2, 3}) {
    const std::string path = dir.file("a.asc");
    if (write_asc(path, grid, decimals, decimals == 3 ? 4 : 0)) {
      seeds.push_back(with_kind(0, fuzz_file_bytes(path)));
    }
  }
  const BilSample samples[] = {BilSample::kS8,  BilSample::kU8,  BilSample::kS16, BilSample::kU16,
                               BilSample::kS32, BilSample::kU32, BilSample::kF32};
  for (BilSample sample : samples) {
    const bool big = sample == BilSample::kS16 || sample == BilSample::kF32;
    const std::string path = dir.file("b.bil");
    if (!write_bil(path, grid, sample, big)) continue;
    const std::vector<uint8_t> header = fuzz_file_bytes(dir.file("b.hdr"));
    std::vector<uint8_t> input = {1, static_cast<uint8_t>(header.size() & 0xFF),
                                  static_cast<uint8_t>(header.size() >> 8)};
    input.insert(input.end(), header.begin(), header.end());
    const std::vector<uint8_t> raster = fuzz_file_bytes(path);
    input.insert(input.end(), raster.begin(), raster.end());
    seeds.push_back(std::move(input));
  }
  for (uint16_t compressor : {uint16_t{0}, uint16_t{2}}) {
    VpkOptions options;
    options.compressor = compressor;
    const std::string path = dir.file("c.vpk");
    if (write_vpk(path, grid, options)) seeds.push_back(with_kind(2, fuzz_file_bytes(path)));
  }
  return seeds;
}

std::vector<std::vector<uint8_t>> fuzz_lax_seed_files() {
  std::vector<std::vector<uint8_t>> seeds;
  FixtureRandom random(5);
  std::vector<LaxPoint> points;
  for (int k = 0; k < 300; k++) {
    // Strips, so that cells hold several runs.
    const double strip = static_cast<double>(k / 50);
    points.push_back({random.uniform(0.0, 100.0), strip * 16.0 + random.uniform(0.0, 16.0)});
  }
  for (uint32_t per_cell : {20u, 60u, 400u}) {
    LaxContent content = build_lax(points, 0.0f, 100.0f, 0.0f, 100.0f, 6, per_cell);
    seeds.push_back(write_lax(content));
    content.with_lasq = false;
    seeds.push_back(write_lax(content));
  }
  return seeds;
}

std::vector<std::string> fuzz_args_seed_lines() {
  return {
      "-i\nin.las",
      "-i\nin.las\nin6.las\n-merged",
      "-lof\nlist.txt",
      "-i\nin6.las\n-keep_class\n2\n3\n-drop_z_below\n5",
      "-keep_xy\n1000\n2000\n1050\n2050\n-keep_first",
      "-inside\n1000\n2000\n1030\n2030",
      "-inside_circle\n1010\n2010\n20",
      "-inside_tile\n1000\n2000\n25",
      "-rescale\n0.001\n0.001\n0.001\n-reoffset\n0\n0\n0",
      "-auto_reoffset",
      "-thin_with_grid\n1.5\n-keep_random_fraction\n0.5",
      "-drop_return\n1\n-keep_intensity\n10\n500\n-drop_withheld",
      "-keep_gps_time\n0\n100000\n-thin_points_with_time\n0.5",
      "-translate_xyz\n1\n2\n3\n-scale_z\n2",
      "-set_classification\n2\n-change_classification_from_to\n2\n4",
      "-copy_intensity_into_register\n1\n-scale_register\n1\n2\n-copy_register_into_user_data\n1",
      "-divide_registers\n1\n2\n4\n-copy_register_into_z\n4",
      "-clamp_z\n1\n2\n-clamp_intensity\n10\n20",
      "-bin_Z_into_point_source\n200\n-bin_abs_scan_angle_into_point_source\n2",
      "-filtered_transform\n-keep_class\n2\n-set_user_data\n7",
      "-ignore_class\n7\n-ignore_withheld",
      "-map_attribute_into_new_attribute\n0\nmap.txt",
      "-files_are_flightlines\n-apply_file_source_ID",
      "-i\nin.las\n-o\nout.las\n-odix\n_x\n-olas",
      "-i\nin.las\n-odir\n.\n-ovpk",
      "-keep_every_nth\n3\n-drop_every_nth\n2",
      "-keep_classification_mask\n4\n-drop_extended_class\n129\n135",
      "-set_RGB\n1\n2\n3\n-copy_RGB_into_intensity",
      "-adjusted_to_week\n-week_to_adjusted\n1671",
      "-h",
  };
}
