#include "fuzz_harness.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "io/las_index.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "las_fixture.hpp"
#include "lax_writer.hpp"

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
