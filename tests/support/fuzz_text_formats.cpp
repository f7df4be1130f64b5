#include "fuzz_text_formats.hpp"

#include <cstdio>
#include <cstring>
#include <string>

#include "io/formats/las_reader_ply.hpp"
#include "io/formats/las_reader_txt.hpp"
#include "platform/memory_stream.hpp"

namespace {

const char* const kParseStrings[8] = {"xyz",       "xyzi",         "xyztirnc",    "xyzRGB",
                                      "xyzHJ01",   "xyzIlo(1)ae",  "xyzsupdhkgE", "xyz0(1)"};

// Everything the reader delivers, so that every delivered value is touched.
void read_all(LASreader& reader) {
  uint64_t sum = 0;
  while (reader.read_point()) {
    sum += static_cast<uint64_t>(reader.point.X) + reader.point.get_intensity();
    for (int32_t k = 0; k < reader.point.extra_bytes_number; k++) sum += reader.point.extra_bytes[k];
  }
  if (sum == 1) std::fputc(' ', stderr);  // keeps the reads from being optimized away
}

std::vector<uint8_t> bytes_of(uint8_t setup, const std::string& text) {
  const std::string all = static_cast<char>(setup) + text;
  return std::vector<uint8_t>(all.begin(), all.end());
}

std::vector<uint8_t> bytes_of(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace

void fuzz_text_reader_one(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t setup = data[0];
  FILE* stream = open_memory_stream(data + 1, size - 1);
  if (stream == nullptr) return;
  LASreaderTXT reader;
  if (setup & 0x08) reader.set_pts(true);
  if (setup & 0x10) reader.set_ptx(true);
  if (setup & 0x20) {
    reader.add_attribute(1 + (setup >> 6), "a", "first", 0.01, 5.0);
    reader.add_attribute(9, "b", "second");
  }
  const int32_t skip = (setup & 0x40) ? 1 : 0;
  if (!reader.open(stream, nullptr, 0, kParseStrings[setup & 7], skip, false)) return;
  read_all(reader);
  reader.seek_point(1);
  read_all(reader);
}

std::vector<std::string> fuzz_text_reader_options(uint8_t setup) {
  std::vector<std::string> options = {"-iparse", kParseStrings[setup & 7]};
  if (setup & 0x08) options.push_back("-ipts");
  if (setup & 0x10) options.push_back("-iptx");
  if (setup & 0x20) {
    options.insert(options.end(), {"-iadd_attribute", std::to_string(1 + (setup >> 6)), "a",
                                   "first", "0.01", "5.0", "-iadd_attribute", "9", "b", "second"});
  }
  if (setup & 0x40) options.insert(options.end(), {"-iskip", "1"});
  return options;
}

void fuzz_ply_reader_one(const uint8_t* data, size_t size) {
  FILE* stream = open_memory_stream(data, size);
  if (stream == nullptr) return;
  LASreaderPLY reader;
  if (!reader.open(stream, nullptr, 0, false)) return;
  read_all(reader);
  reader.seek_point(0);
  read_all(reader);
}

std::vector<std::vector<uint8_t>> fuzz_text_seed_files() {
  const std::string points = "1.5 2.25 3 100 1 2 5\n4,5,6,200,2,2,2\r\n7;8;9;300;1;1;1\n";
  return {
      bytes_of(0x02, points),
      bytes_of(0x03, "1 2 3 FF8000 7FFFFF 5 6\n2 3 4 000000 000001 7 8\n"),
      bytes_of(0x25, "1 2 3 4000 1 0 1.5 -20 1\n"),
      bytes_of(0x09, "3\n1 2 3 -2048\n4 5 6 0\n7 8 9 2047\n"),
      bytes_of(0x11, "2\n1\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n"
                     "1 2 3 0.5\n4 5 6 1\n"),
      bytes_of(0x46, "header\n1 2 3 s 9 1 1 0 0 0 2\n"),
  };
}

std::vector<std::vector<uint8_t>> fuzz_ply_seed_files() {
  const std::string properties =
      "property float x\nproperty float y\nproperty float z\nproperty float nx\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uint label\n"
      "property double quality\n";
  std::vector<std::vector<uint8_t>> seeds;
  seeds.push_back(bytes_of("ply\nformat ascii 1.0\ncomment seed\nelement vertex 2\n" + properties +
                           "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                           "1 2 3 0.5 255 128 0 4000000000 0.25\n4 5 6 -1 1 2 3 7 1e3\n"
                           "3 0 1 1\n"));
  for (const char* order : {"binary_little_endian", "binary_big_endian"}) {
    std::string file = std::string("ply\nformat ") + order + " 1.0\nelement vertex 2\n" +
                       properties + "end_header\n";
    const bool big = std::strcmp(order, "binary_big_endian") == 0;
    for (int v = 0; v < 2; v++) {
      auto put = [&](const void* value, size_t n) {
        const char* b = static_cast<const char*>(value);
        for (size_t i = 0; i < n; i++) file += b[big ? n - 1 - i : i];
      };
      const float xyzn[4] = {1.0f + v, 2.0f, 3.0f, 0.5f};
      for (float f : xyzn) put(&f, 4);
      file += static_cast<char>(200);
      file += static_cast<char>(v);
      file += static_cast<char>(7);
      const uint32_t label = 4000000000u + v;
      put(&label, 4);
      const double quality = 0.125 * v;
      put(&quality, 8);
    }
    seeds.push_back(bytes_of(file));
  }
  return seeds;
}
