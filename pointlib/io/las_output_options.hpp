#ifndef POINTLIB_IO_LAS_OUTPUT_OPTIONS_HPP
#define POINTLIB_IO_LAS_OUTPUT_OPTIONS_HPP

#include <cstdint>
#include <string>

#include "platform/file_identity.hpp"

class LASheader;
class LASwriter;

// The output side of a tool: takes the output options out of the argument
// vector, keeps the output name or builds it from an input name (target
// directory, appendix, cut, running number, the format's extension), and
// opens a writer of the chosen format on a file, on standard output or on a
// null sink. Directories are joined to names with '/'.
class LASoutputOptions {
 public:
  LASoutputOptions() = default;
  LASoutputOptions(const LASoutputOptions&) = delete;
  LASoutputOptions& operator=(const LASoutputOptions&) = delete;

  // 1 when done (also after "-h"), 0 after one error message. Consumed
  // entries are blanked; unknown ones stay for the next parser.
  int take_arguments(int argc, char** argv);

  int has_destination() const { return has_name || use_stdout || use_nil; }
  const char* current_name() const { return has_name ? file_name.c_str() : nullptr; }
  // Null clears the name.
  void set_name(const char* name);
  // With number -1 for an input without an output name; 0 and above give
  // numbered names.
  void build_name(const char* input_name, int32_t number);
  // After every option: the name's extension follows a format option, and a name whose
  // extension names no output format is refused (false, with an "ERROR: ...").
  bool settle_name();
  // Null after one error message. A file output that is the same file as
  // `input_name` or as the input last given to build_name (compared by
  // device and inode, so any spelling or link of it) is refused, because
  // opening it for writing would destroy the input while it is read.
  LASwriter* open_writer(const LASheader* header, const char* input_name = nullptr);
  // Files that no later open_writer may write, by device and inode: every
  // input of the run (also one read already, also one read later) and the
  // outputs the run has written. Names that name no existing file are left.
  void protect_input(const char* name) { protected_inputs.add(name); }
  void protect_written_output(const char* name) { written_outputs.add(name); }
  // Removes the output file just written when it is a regular file, so that a
  // failed run leaves no part of it behind. False when nothing was removed.
  bool remove_output() const;

  // Valid (1) when the directory exists or the text is empty; the text is
  // stored and applied either way. Null clears it.
  int set_directory(const char* directory);
  void set_appendix(const char* appendix);
  // False, changing nothing, for a negative count.
  bool set_cut(int32_t n);
  // 0 for a code above 6, changing nothing.
  int set_format(uint32_t code);
  void set_force(bool flag) { force = flag; }
  void set_native(bool flag) { native = flag; }
  void set_chunk_size(uint32_t n) { chunk_size = n; }
  void set_parse_string(const char* text);
  void set_separator(const char* text);
  void set_scale_rgb(float scale) { scale_rgb = scale; }
  void set_stdout() {
    use_stdout = true;
    use_nil = false;
  }
  void set_nil() {
    use_nil = true;
    use_stdout = false;
  }
  void print_help() const;

  const char* get_directory() const { return has_directory ? directory.c_str() : nullptr; }
  const char* get_appendix() const { return has_appendix ? appendix.c_str() : nullptr; }
  const char* get_parse_string() const { return has_parse_string ? parse_string.c_str() : nullptr; }
  const char* get_separator() const { return has_separator ? separator.c_str() : nullptr; }
  // The compressor kind the LAS writer gets for the current format.
  uint16_t compressor_kind() const;
  // "las", "vpk", "bin", "qi", "wrl" or "txt" (0 counts as LAS).
  static const char* extension_of(uint32_t format);

  uint32_t io_obuffer_size = 262144;
  int32_t cut = 0;
  bool opts = false, optx = false;
  float scale_rgb = 1.0f;
  uint32_t format = 0;
  bool format_fixed = false;
  bool force = false;
  bool native = true;
  uint32_t chunk_size = 50000;
  bool use_stdout = false;
  bool use_nil = false;

 private:
  // The writer of the current format on the named file, or on standard
  // output when `name` is null.
  LASwriter* open_format_writer(const LASheader* header, const char* name);
  void add_directory();
  void add_appendix();
  void cut_characters();

  std::string directory;
  bool has_directory = false;
  std::string file_name;
  bool has_name = false;
  std::string appendix;
  bool has_appendix = false;
  std::string parse_string;
  bool has_parse_string = false;
  std::string separator;
  bool has_separator = false;
  std::string last_input_name;  // the input given to build_name last
  bool name_refused = false;    // build_name found no name it may write
  FileIdentitySet protected_inputs;
  FileIdentitySet written_outputs;
};

#endif  // POINTLIB_IO_LAS_OUTPUT_OPTIONS_HPP
