#ifndef KELMORA_KELMORA_INPUTS_HPP
#define KELMORA_KELMORA_INPUTS_HPP

#include <cstdint>
#include <memory>
#include <string>

#include "batching.hpp"

class LASinputOptions;
class LASinputFileList;

// kelmora's view of the library's input options: the input list, merging and
// buffering, and the option text that child runs need. With the library's
// LASinputOptions in the build every input, filter and transform option is
// understood; without it only "-i", "-lof" and "-merged" are.
class KelmoraInputs {
 public:
  KelmoraInputs();
  ~KelmoraInputs();
  KelmoraInputs(const KelmoraInputs&) = delete;
  KelmoraInputs& operator=(const KelmoraInputs&) = delete;

  // Consumes (blanks) the input, filter and transform options and refuses the
  // ignore options with "ERROR: this tool does not process '-ignore_xxxx'
  // options\n". False after an error message.
  bool take_arguments(int argc, char** argv);
  // Adds the files a name or wildcard pattern stands for.
  bool add_file_names_wildcard(const char* pattern);

  uint32_t file_count() const;
  const char* file_name(uint32_t i) const;
  bool merged() const;
  bool has_more_input() const;
  // The input list and option texts handed to child runs.
  BatchInputs batch_inputs() const;

 private:
  std::unique_ptr<LASinputOptions> options;
  std::unique_ptr<LASinputFileList> list;
  bool merged_inputs = false;
};

#if __has_include("io/las_input_options.hpp")
// The option text of the read options of LASinputOptions in this order:
// area (tile, else circle, else rectangle), -stored, -merged, -faf,
// -apply_file_source_ID, -rescale/-rescale_z/-rescale_xy, -reoffset or
// -auto_reoffset, -populate, -io_ibuffer, -temp_files. Returns the number of
// characters appended.
size_t write_read_options(const LASinputOptions& options, std::string* text);
#endif

#endif
