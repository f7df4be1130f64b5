#include "fuzz_side_formats.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/byte_stream_in.hpp"
#include "io/formats/las_reader_bin.hpp"
#include "io/formats/las_reader_qfit.hpp"
#include "io/formats/side_readers.hpp"
#include "side_fixtures.hpp"

namespace {

// A folder of this process for the files of one input, removed at exit.
const std::string& fuzz_folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/pl_fuzz_side_XXXXXX";
    std::string made = mkdtemp(pattern) ? pattern : "/tmp";
    static std::string removed = made;
    std::atexit([] { std::system(("rm -rf '" + removed + "'").c_str()); });
    return made;
  }();
  return folder;
}

bool write_bytes(const std::string& name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

uint64_t read_all(LASreader& reader) {
  uint64_t sum = 0;
  while (reader.read_point()) {
    sum += static_cast<uint64_t>(reader.point.X) + static_cast<uint64_t>(reader.point.Z);
    for (int32_t k = 0; k < reader.point.extra_bytes_number; k++)
      sum += reader.point.extra_bytes[k];
  }
  return sum;
}

const double kScale[3] = {0.001, 0.0, 0.01};
const double kOffset[3] = {1000.0, -2000.0, 0.0};

}  // namespace

std::vector<FuzzSideFile> fuzz_side_files(const uint8_t* data, size_t size) {
  static const char* const kWords[6] = {"bin", "qfit", "shp", "asc", "bil", "dtm"};
  if (size == 0) return {};
  const int choice = data[0] % 6;
  const uint8_t* body = data + 1;
  size_t left = size - 1;
  std::vector<uint8_t> hdr;
  if (choice == 4) {
    const size_t length = left == 0 ? 0 : body[0];
    if (left < 1 + length) return {};
    hdr.assign(body + 1, body + 1 + length);
    body += 1 + length;
    left -= 1 + length;
  }
  std::vector<FuzzSideFile> files = {{kWords[choice], std::vector<uint8_t>(body, body + left)}};
  if (choice == 4) files.push_back({"hdr", hdr});
  return files;
}

void fuzz_side_reader_one(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const int choice = data[0] % 6;
  const bool variant = (data[0] & 0x08) != 0;
  const double* scale = variant ? kScale : nullptr;
  const double* offset = variant ? kOffset : nullptr;
  uint64_t sum = 0;
  if (choice == 0 || choice == 1) {
    data++;
    size--;
    // From memory: the stream does not own the bytes.
    std::unique_ptr<LASreaderSide> reader(
        side_make_reader(choice == 0 ? "bin" : "qfit", scale, offset));
    ByteStreamIn* stream = new ByteStreamInArrayLE(data, static_cast<int64_t>(size));
    const bool opened = choice == 0 ? dynamic_cast<LASreaderBIN&>(*reader).open(stream)
                                    : dynamic_cast<LASreaderQFIT&>(*reader).open(stream);
    if (!opened) return;
    sum += read_all(*reader);
    if (reader->seek_point(0)) sum += read_all(*reader);
  } else {
    const std::vector<FuzzSideFile> files = fuzz_side_files(data, size);
    if (files.empty()) return;
    for (const FuzzSideFile& file : files) {
      if (!write_bytes(fuzz_folder() + "/f." + file.extension, file.bytes.data(),
                       file.bytes.size())) {
        return;
      }
    }
    const std::string name = fuzz_folder() + "/f." + files[0].extension;
    std::unique_ptr<LASreaderSide> reader(
        side_make_reader(files[0].extension.c_str(), scale, offset));
    if (!reader->open_name(name.c_str())) return;
    sum += read_all(*reader);
    if (reader->reopen_name(name.c_str())) sum += read_all(*reader);
    reader->close_input(true);
  }
  if (sum == 1) std::fputc(' ', stderr);  // keeps the reads from being optimized away
}

std::vector<std::vector<uint8_t>> fuzz_side_seed_files() {
  using namespace side_fixtures;
  std::vector<std::vector<uint8_t>> seeds;
  auto add = [&seeds](uint8_t choice, const Bytes& bytes) {
    Bytes seed = {choice};
    seed.insert(seed.end(), bytes.begin(), bytes.end());
    seeds.push_back(seed);
  };
  std::vector<BinPoint> points(12);
  for (int i = 0; i < 12; i++) {
    points[i].x = 1000 * i;
    points[i].y = -500 * i;
    points[i].z = 77 * i;
    points[i].echo = static_cast<uint8_t>(i % 4);
    points[i].time = 99u * i;
    points[i].red = static_cast<uint8_t>(i);
  }
  BinFile bin;
  bin.time = bin.color = true;
  add(0, bin_bytes(bin, points));
  bin.version = 1;
  bin.color = false;
  add(8, bin_bytes(bin, points));

  std::vector<QfitRecord> records(60);
  for (int i = 0; i < 60; i++) {
    records[i].longitude = 190000000 + i;
    records[i].latitude = 70000000 - i;
    records[i].azimuth = 6000 * i;
    records[i].pulse_width = static_cast<uint8_t>(i);
  }
  add(1, qfit_bytes(48, true, records));
  add(9, qfit_bytes(56, false, records));

  std::vector<ShpRecord> shapes(4);
  shapes[0].type = 18;
  shapes[0].vertices = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  shapes[0].with_m = false;
  shapes[1].type = 0;
  shapes[2].type = 11;
  shapes[2].vertices = {{9, 10, 11, 12}};
  shapes[3].type = 18;
  shapes[3].vertices = {{13, 14, 15, 16}};
  add(2, shp_bytes(18, shapes));

  const std::string asc =
      "ncols 4\nnrows 3\nxllcorner 630000\nyllcorner 4830000\ncellsize 2\nNODATA_value -9999\n"
      "1.5 2 3 4\n5 -9999 7 8.25\n9 10 11 12\n";
  add(3, Bytes(asc.begin(), asc.end()));
  const std::string centre =
      "NCOLS 2\nNROWS 2\nXLLCENTER 1,5\nYLLCENTER 2\nCELLSIZE 0,5\n1,25 2\n3 4\n";
  add(11, Bytes(centre.begin(), centre.end()));

  const std::string hdr =
      "BYTEORDER M\nLAYOUT BIL\nNROWS 2\nNCOLS 3\nNBANDS 1\nNBITS 16\nPIXELTYPE SIGNEDINT\n"
      "ULXMAP 100\nULYMAP 200\nXDIM 0.25\nYDIM 0.25\nNODATA -9999\n";
  Bytes bil = {static_cast<uint8_t>(hdr.size())};
  bil.insert(bil.end(), hdr.begin(), hdr.end());
  for (int v : {1, 2, -9999, 4, 5, 6}) {
    bil.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    bil.push_back(static_cast<uint8_t>(v & 0xFF));
  }
  add(4, bil);

  DtmRaster dtm;
  dtm.ncols = 3;
  dtm.nrows = 2;
  dtm.llx = 500000;
  dtm.lly = 4000000;
  dtm.xdim = dtm.ydim = 10;
  dtm.data_type = 3;
  dtm.cells = {1, 2, -9999, 4, 5, 6};
  add(5, dtm_bytes(dtm));
  dtm.data_type = 0;
  dtm.coordinate_system = 3;
  dtm.zone = 1601;
  add(13, dtm_bytes(dtm));
  return seeds;
}
