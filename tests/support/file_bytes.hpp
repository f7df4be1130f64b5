#ifndef TESTS_SUPPORT_FILE_BYTES_HPP
#define TESTS_SUPPORT_FILE_BYTES_HPP

#include <sys/stat.h>

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

// The same as a string, for files compared or changed as a whole.
inline std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes the file hold exactly `bytes`; false when it could not be written.
inline bool write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return bool(out);
}

inline bool write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return bool(out);
}

// Whether anything stands at the path, a link too (even one to nothing).
inline bool path_exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

#endif  // TESTS_SUPPORT_FILE_BYTES_HPP
