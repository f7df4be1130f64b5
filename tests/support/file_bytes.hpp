#ifndef TESTS_SUPPORT_FILE_BYTES_HPP
#define TESTS_SUPPORT_FILE_BYTES_HPP

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The whole content of a file (empty when it cannot be read).
inline std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes the file hold exactly `bytes`; false when it could not be written.
inline bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return bool(out);
}

#endif  // TESTS_SUPPORT_FILE_BYTES_HPP
