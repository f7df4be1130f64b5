#ifndef KELMORA_SR_READER_ASC_HPP
#define KELMORA_SR_READER_ASC_HPP

#include <cstdio>
#include <vector>

#include "sr_reader.hpp"

// ESRI ASCII grid. The cells are read as a stream of whitespace-separated
// numbers, so rows that writers wrap over several lines, or rows longer than any
// fixed line buffer, are read as they are.
class SRreader_asc : public SRreader {
 public:
  SRreader_asc() = default;
  ~SRreader_asc() override;

  bool open(const char* file_name);
  bool read_value() override;
  void close(bool close_file = true) override;

  double cell() const { return cell_value; }
  double nodata_value() const { return nodata_double; }

 private:
  // Next run of characters above code 32 into token: 1, or 0 at the end of the
  // file, or -1 when the run does not fit.
  int next_token(char* token, size_t capacity);

  FILE* file = nullptr;
  std::vector<char> buffer;
  size_t buffer_pos = 0;
  size_t buffer_len = 0;
  double cell_value = 0.0;
  double nodata_double = -9999.0;
};

#endif
