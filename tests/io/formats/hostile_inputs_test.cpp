// Hostile text, PLY and side-format inputs: counts and lengths from the file
// are checked before they are trusted, so every input ends in points or an
// error line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fuzz_side_formats.hpp"
#include "fuzz_text_formats.hpp"
#include "side_fixtures.hpp"

namespace {

std::vector<uint8_t> bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(HostileTextAndPly, EveryInputComesBack) {
  std::vector<std::vector<uint8_t>> ply = fuzz_ply_seed_files();
  const std::string head = "ply\nformat binary_little_endian 1.0\n";
  for (const std::string& text : std::vector<std::string>{
           head + "element vertex 999999999999999999\nproperty float x\nend_header\n1234",
           head + "element vertex -5\nproperty float x\nend_header\n",
           head + "element vertex 2\nproperty double x\nend_header\n\x01",
           head + "element vertex 3\n" + std::string(5000, 'p') + "\nend_header\n",
           "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
           "property float z\nend_header\n1 2\n" + std::string(3000, '9') + "\n",
           "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
           "property float z\nend_header\nnan inf -inf\n",
           "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
           "property float z\nend_header\n1e300 -1e300 1e308\n",
       }) {
    ply.push_back(bytes(text));
  }
  // Forty extra properties: more than the attributes a point can take.
  std::string many = "ply\nformat ascii 1.0\nelement vertex 1\n";
  for (int k = 0; k < 40; k++) many += "property int p" + std::to_string(k) + "\n";
  many += "end_header\n";
  for (int k = 0; k < 40; k++) many += std::to_string(k) + " ";
  ply.push_back(bytes(many + "\n"));
  for (const std::vector<uint8_t>& input : ply) {
    testing::internal::CaptureStderr();
    fuzz_ply_reader_one(input.data(), input.size());
    testing::internal::GetCapturedStderr();
  }

  std::vector<std::vector<uint8_t>> text = fuzz_text_seed_files();
  for (const std::string& t : std::vector<std::string>{
           std::string("\x09") + "99999999999999999999999\n1 2 3 4\n",
           std::string("\x11") + "2147483647\n2147483647\n",
           std::string("\x11") + "-7\n9\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n"
                                 "0 0 1 0\n0 0 0 1\n1 2 3\n",
           std::string("\x02") + "1e400 -1e400 nan 1e30 99999999999 -99999999999 4e9 0\n",
           std::string("\x04") + "1 2 3 F 7\n1 2 3 \"\"\"\"\"\"\"\n",
           std::string("\x07") + "1 2 3 1e300 -1e300\n",
           std::string("\x05") + std::string(2000, '1') + "\n1 2 3\n",
       }) {
    text.push_back(bytes(t));
  }
  for (const std::vector<uint8_t>& input : text) {
    testing::internal::CaptureStderr();
    fuzz_text_reader_one(input.data(), input.size());
    testing::internal::GetCapturedStderr();
  }
}

// Headers that state more than their files hold, sizes beyond any memory,
// and values that are no numbers, in every side format; then every cut and
// every flipped byte of the seeds.
TEST(HostileSideFormats, EveryInputComesBack) {
  using side_fixtures::Bytes;
  std::vector<Bytes> inputs;
  auto add = [&inputs](uint8_t choice, const Bytes& bytes) {
    Bytes input = {choice};
    input.insert(input.end(), bytes.begin(), bytes.end());
    inputs.push_back(input);
  };
  auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };

  side_fixtures::BinFile bin;
  bin.stated_points = 0x7FFFFFFF;
  add(0, side_fixtures::bin_bytes(bin, {{}, {}}));
  bin.stated_points = -1;
  add(8, side_fixtures::bin_bytes(bin, {{}}));
  bin.stated_points = 3;
  bin.units = -7;
  add(0, side_fixtures::bin_bytes(bin, {{}, {}, {}}));

  Bytes qfit = side_fixtures::qfit_bytes(40, false, {{}, {}});
  for (int b = 44; b < 48; b++) qfit[b] = 0xFF;  // points beyond the end
  add(1, qfit);
  add(9, side_fixtures::qfit_bytes(56, true, {{}}, 4));  // points inside the header

  side_fixtures::ShpRecord huge_length;
  huge_length.type = 1;
  huge_length.vertices = {{1, 2, 3, 4}};
  huge_length.length_given = true;
  huge_length.stated_length = 0x7FFFFFFF;
  add(2, side_fixtures::shp_bytes(1, {huge_length}));
  side_fixtures::ShpRecord huge_count;
  huge_count.type = 28;
  huge_count.vertices = {{1, 2, 3, 4}};
  huge_count.count_given = true;
  huge_count.stated_count = 0x7FFFFFFF;
  huge_count.length_given = true;
  huge_count.stated_length = 0x7FFFFFFF;
  add(2, side_fixtures::shp_bytes(28, {huge_count}));
  side_fixtures::ShpRecord odd_type;
  odd_type.type = 0x7FFFFFFF;
  odd_type.trailing = "xxxx";
  add(2, side_fixtures::shp_bytes(8, {odd_type, huge_length}));

  add(3, text("ncols 2147483647\nnrows 2147483647\nxllcorner 0\nyllcorner 0\ncellsize 1e-30\n"
              "1 2 3 4 5 6 7\n"));
  add(3, text("ncols 5\nnrows 1\nxllcorner 1e308\nyllcorner -1e308\ncellsize 3e38\n"
              "1e308 -1e308 nan 4 5\n"));
  add(3, text("ncols 6\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3 4 5 " +
              std::string(100000, '7') + "\n"));
  add(3, text("ncols 6\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n" + std::string(9000, ' ') +
              "1 2 3 4 5 6\n" + std::string(70000, '\n') + "7"));

  auto bil = [&add](const std::string& hdr, const Bytes& cells) {
    Bytes input = {static_cast<uint8_t>(hdr.size())};
    input.insert(input.end(), hdr.begin(), hdr.end());
    input.insert(input.end(), cells.begin(), cells.end());
    add(4, input);
  };
  bil("ncols 2147483647\nnrows 2147483647\nnbands 2147483647\nnbits 8\n", Bytes(50, 1));
  bil("ncols 3\nnrows 3\nnbands 1\nnbits 64\nxdim nan\nydim -inf\nulxmap inf\n", Bytes(9, 2));
  bil("ncols 2\nnrows 1\nnbands 1\nnbits 32\npixeltype float\nbyteorder X\n",
      Bytes{0x7F, 0xC0, 0, 0, 0xFF, 0x80, 0, 0});
  bil("ncols 1\nnrows 1\nnbands 1\nnbits 16\nnodata 1e99\n", Bytes{});

  side_fixtures::DtmRaster dtm;
  dtm.ncols = 0x7FFFFFFF;
  dtm.nrows = 0x7FFFFFFF;
  dtm.cells = {1, 2, 3};
  add(5, side_fixtures::dtm_bytes(dtm));
  dtm.ncols = dtm.nrows = 2;
  dtm.data_type = 3;
  dtm.xdim = -1;
  dtm.ydim = 0;
  dtm.cells = {1e300, -1e300, 0, std::nan("")};
  add(13, side_fixtures::dtm_bytes(dtm));

  for (const std::vector<uint8_t>& seed : fuzz_side_seed_files()) {
    inputs.push_back(seed);
    const size_t step = seed.size() / 200 + 1;
    for (size_t cut = 1; cut < seed.size(); cut += step) {
      inputs.emplace_back(seed.begin(), seed.begin() + static_cast<long>(cut));
    }
    for (size_t at = 1; at < seed.size(); at += step) {
      std::vector<uint8_t> flipped = seed;
      flipped[at] ^= 0xFF;
      inputs.push_back(flipped);
    }
  }
  for (const std::vector<uint8_t>& input : inputs) {
    testing::internal::CaptureStderr();
    fuzz_side_reader_one(input.data(), input.size());
    testing::internal::GetCapturedStderr();
  }
}

}  // namespace
