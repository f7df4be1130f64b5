// Hostile text and PLY inputs: counts and lengths from the file are checked
// before they are trusted, so every input ends in points or an error line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz_text_formats.hpp"

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

}  // namespace
