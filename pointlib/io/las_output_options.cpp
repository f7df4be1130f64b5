#include "io/las_output_options.hpp"

#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/las_header.hpp"
#include "core/las_item.hpp"
#include "core/las_reader.hpp"
#include "core/las_writer.hpp"
#include "core/las_writer_las.hpp"
#include "filter/option_args.hpp"
#include "io/formats/las_writers_binary.hpp"
#include "io/formats/las_writers_text.hpp"
#include "platform/file_glob.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

// Name separators: '/' and, for names taken from lists written elsewhere, a
// backslash. Positions are searched from the end down to the second character,
// so a leading separator never counts.
bool is_separator(char c) {
  return c == '/' || c == '\\';
}

// Index of the last separator (>= 1), or std::string::npos.
size_t last_separator(const std::string& name) {
  for (size_t k = name.size(); k-- > 1;) {
    if (is_separator(name[k])) return k;
  }
  return std::string::npos;
}

// Index of the last '.' of the file part (>= 1), or npos when the last of
// '.' and the separators is a separator or there is none.
size_t extension_dot(const std::string& name) {
  for (size_t k = name.size(); k-- > 1;) {
    if (name[k] == '.') return k;
    if (is_separator(name[k])) return std::string::npos;
  }
  return std::string::npos;
}

// Start of the file part: after the last separator, else 0.
size_t file_part_start(const std::string& name) {
  const size_t s = last_separator(name);
  return s == std::string::npos ? 0 : s + 1;
}

// Keeps a writer that opened; deletes one that did not, after the opener's
// line naming its kind and where it was to write.
template <typename Writer>
LASwriter* opened(Writer* writer, bool ok, const char* kind, const std::string& where) {
  if (ok) return writer;
  std::fprintf(stderr, "ERROR: cannot open laswriter%s %s\n", kind, where.c_str());
  delete writer;
  return nullptr;
}

// The writer of each format on the named file, or on standard output when
// `name` is null (`where` says which for the messages).
LASwriter* open_las(const LASoutputOptions& o, const LASheader* header, const char* name,
                    const std::string& where) {
  auto* writer = new LASwriterLAS();
  const int32_t chunk = static_cast<int32_t>(o.chunk_size);
  const bool ok = name ? writer->open_file(name, header, o.compressor_kind(), 2, chunk,
                                           static_cast<int>(o.io_obuffer_size))
                       : writer->open_cfile(stdout, header, o.compressor_kind(), 2, chunk);
  return opened(writer, ok, "las", where);
}

LASwriter* open_bin(const LASoutputOptions&, const LASheader* header, const char* name,
                    const std::string& where) {
  auto* writer = new LASwriterBIN();
  const bool ok = name ? writer->open_file(name, header, "ts8", 262144)
                       : writer->open_cfile(stdout, header, "ts8");
  return opened(writer, ok, "bin", where);
}

LASwriter* open_qfit(const LASoutputOptions&, const LASheader* header, const char* name,
                     const std::string& where) {
  auto* writer = new LASwriterQFIT();
  const bool ok =
      name ? writer->open_file(name, header, 40, 65536) : writer->open_cfile(stdout, header, 40);
  return opened(writer, ok, "qfit", where);
}

LASwriter* open_wrl(const LASoutputOptions& o, const LASheader* header, const char* name,
                    const std::string& where) {
  auto* writer = new LASwriterWRL();
  const char* parse = o.get_parse_string();
  const bool ok =
      name ? writer->open_file(name, header, parse) : writer->open_cfile(stdout, header, parse);
  return opened(writer, ok, "wrl", where);
}

LASwriter* open_txt(const LASoutputOptions& o, const LASheader* header, const char* name,
                    const std::string& where) {
  auto* writer = new LASwriterTXT();
  if (o.opts) {
    writer->set_pts(true);
  } else if (o.optx) {
    writer->set_ptx(true);
  }
  const char* parse = o.get_parse_string();
  const char* sep = o.get_separator();
  const bool ok = name ? writer->open_file(name, header, parse, sep)
                       : writer->open_cfile(stdout, header, parse, sep);
  if (ok && o.scale_rgb != 1.0f) writer->set_scale_rgb(o.scale_rgb);
  return opened(writer, ok, "txt", where);
}

// The output formats. A name's extension chooses the format by the first row
// whose extension it contains, in either case, so "vpk" is tried before "las";
// any other extension means text.
struct OutputFormat {
  uint32_t code;
  const char* extension;
  const char* upper;
  LASwriter* (*open)(const LASoutputOptions&, const LASheader*, const char* name,
                     const std::string& where);
};

const OutputFormat kOutputFormats[] = {
    {LASformatCode::vpk, "vpk", "VPK", open_las}, {LASformatCode::las, "las", "LAS", open_las},
    {LASformatCode::bin, "bin", "BIN", open_bin}, {LASformatCode::qfit, "qi", "QI", open_qfit},
    {LASformatCode::wrl, "wrl", "WRL", open_wrl}, {LASformatCode::txt, "txt", "TXT", open_txt},
};

const OutputFormat* output_format(uint32_t code) {
  if (code == LASformatCode::none) code = LASformatCode::las;
  for (const OutputFormat& f : kOutputFormats) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

// The extensions text is written under; any other unknown extension is refused
// rather than filled with text a reader of that extension cannot read.
bool is_text_extension(const std::string& extension) {
  static const char* const kText[] = {"txt", "csv", "xyz", "pts", "ptx"};
  for (const char* text : kText) {
    if (strcasecmp(extension.c_str(), text) == 0) return true;
  }
  return false;
}

uint32_t format_of_extension(const std::string& extension) {
  for (const OutputFormat& f : kOutputFormats) {
    if (extension.find(f.extension) != std::string::npos ||
        extension.find(f.upper) != std::string::npos) {
      return f.code;
    }
  }
  return LASformatCode::txt;
}

}  // namespace

const char* LASoutputOptions::extension_of(uint32_t code) {
  const OutputFormat* f = output_format(code);
  return f ? f->extension : "txt";
}

uint16_t LASoutputOptions::compressor_kind() const {
  if (format != LASformatCode::vpk) return LAScompressorKind::raw;
  return native ? LAScompressorKind::multistream_chunked : LAScompressorKind::sequential_chunked;
}

// ---------------------------------------------------------------------------
// name edits

void LASoutputOptions::add_directory() {
  if (!has_name || !has_directory) return;
  const std::string part = file_name.substr(file_part_start(file_name));
  file_name = directory + "/" + part;
}

void LASoutputOptions::add_appendix() {
  if (!has_name || !has_appendix) return;
  const size_t dot = extension_dot(file_name);
  if (dot != std::string::npos) {
    file_name.insert(dot, appendix);
  } else {
    file_name += appendix;
  }
}

void LASoutputOptions::cut_characters() {
  if (!has_name || cut <= 0) return;
  const size_t start = file_part_start(file_name);
  const size_t dot = extension_dot(file_name);
  const size_t end = dot != std::string::npos ? dot : file_name.size();
  const size_t length = end - start;
  // Cutting the whole name part away would leave "/.las" or the directory.
  if (static_cast<size_t>(cut) >= length) {
    print_note("WARNING: cannot cut %d characters from the %d characters of '%s'. not cut.\n", cut,
               static_cast<int>(length), file_name.c_str());
    return;
  }
  file_name.erase(end - static_cast<size_t>(cut), static_cast<size_t>(cut));
}

// ---------------------------------------------------------------------------
// setters

int LASoutputOptions::set_directory(const char* text) {
  has_directory = false;
  directory.clear();
  if (text == nullptr) return 1;
  if (std::strchr(text, ';') || std::strchr(text, '"')) {
    print_note(
        "WARNING: specified '-odir' seems to contain a substring '\\\"' such\n"
        "         as -odir \"D:\\\" or -odir \"..\\tiles\\\". this command will\n"
        "         probably fail. please use -odir \"D:\" or -odir \"..\\tiles\"\n"
        "         instead.\n");
  }
  // An empty text means the current directory: names stay as they are.
  if (text[0] == '\0') return 1;
  directory = text;
  if (is_separator(directory.back())) directory.pop_back();
  has_directory = true;
  add_directory();
  // "/" stripped to "" is the root directory.
  return path_is_directory(directory.empty() ? "/" : directory.c_str()) ? 1 : 0;
}

void LASoutputOptions::set_appendix(const char* text) {
  has_appendix = text != nullptr;
  appendix = text ? text : "";
  add_appendix();
}

bool LASoutputOptions::set_cut(int32_t n) {
  if (n < 0) {
    std::fprintf(stderr, "ERROR: cannot cut %d characters. the number must be 0 or more.\n", n);
    return false;
  }
  cut = n;
  if (n != 0) cut_characters();
  return true;
}

void LASoutputOptions::set_parse_string(const char* text) {
  has_parse_string = text != nullptr;
  parse_string = text ? text : "";
}

void LASoutputOptions::set_separator(const char* text) {
  has_separator = text != nullptr;
  separator = text ? text : "";
}

int LASoutputOptions::set_format(uint32_t code) {
  if (code > 6) return 0;
  format_fixed = true;
  format = code;
  if (has_name) {
    const size_t dot = extension_dot(file_name);
    if (dot != std::string::npos) file_name = file_name.substr(0, dot + 1) + extension_of(code);
  }
  return 1;
}

void LASoutputOptions::set_name(const char* name) {
  file_name.clear();
  has_name = false;
  if (name == nullptr) return;
  file_name = name;
  while (!file_name.empty() && file_name.back() == ' ') file_name.pop_back();
  has_name = true;
  // A '.' among the last four characters gives the format, unless a format
  // option fixed it; otherwise the format's extension is appended.
  size_t dot = std::string::npos;
  const size_t n = file_name.size();
  for (size_t k = n; k-- > 0 && n - k <= 4;) {
    if (file_name[k] == '.') {
      dot = k;
      break;
    }
  }
  if (dot != std::string::npos) {
    if (!format_fixed) {
      format = format_of_extension(file_name.substr(dot + 1));
    }
  } else {
    file_name += ".";
    file_name += extension_of(format);
  }
  add_directory();
  cut_characters();
  add_appendix();
}

void LASoutputOptions::build_name(const char* input_name, int32_t number) {
  if (input_name) last_input_name = input_name;
  std::string name;
  size_t ext_at;  // where the extension goes (just after a '.')
  if (number < 0) {
    if (input_name == nullptr) {
      name = "output.";
    } else {
      name = input_name;
      // The name part ends at the file part's last '.'; a name without one
      // keeps all of it (rather than losing it to a bare ".las").
      const size_t dot = extension_dot(name);
      if (dot != std::string::npos) name.erase(dot);
      if (cut > 0) {
        const size_t length = name.size() - file_part_start(name);
        if (static_cast<size_t>(cut) < length) {
          name.erase(name.size() - static_cast<size_t>(cut));
        } else {
          print_note(
              "WARNING: cannot cut %d characters from the %d characters of '%s'. not "
              "cut.\n",
              cut, static_cast<int>(length), input_name);
        }
      }
      if (has_appendix) {
        name += appendix;
      } else if (!has_directory && cut == 0 && number == -1) {
        name += "_1";
      }
      name += ".";
    }
    ext_at = name.size();
  } else {
    if (input_name) {
      file_name = input_name;
      has_name = true;
      if (cut > 0) cut_characters();
      name = file_name;
    } else if (has_name) {
      name = file_name;
    } else {
      name = "output_0000000.xxx";
    }
    size_t dot = extension_dot(name);
    if (dot == std::string::npos) {
      name += ".";
      dot = name.size() - 1;
    }
    ext_at = dot + 1;
    // The digits just before the '.' take the number, lowest digit last;
    // the first character of the name is never touched.
    uint32_t left = static_cast<uint32_t>(number);
    size_t k = dot;
    while (k > 1 && name[k - 1] >= '0' && name[k - 1] <= '9') {
      k--;
      name[k] = static_cast<char>('0' + left % 10);
      left /= 10;
    }
    if (left > 0) {
      print_note("WARNING: file name number %d too big to store in '%s'. use more digits.\n",
                 number, (name.substr(0, ext_at) + extension_of(format)).c_str());
    }
  }
  name.erase(ext_at);
  name += extension_of(format);
  file_name = name;
  has_name = true;
  if (has_directory) add_directory();

  name_refused = false;
  if (input_name && file_name == input_name && !force) {
    file_name = std::string("temp.") + extension_of(format);
    // The stand-in name is no file the user named: an existing one is never overwritten.
    if (file_exists(file_name.c_str())) {
      std::fprintf(stderr,
                   "ERROR: generated output name '%s' is the input's name and '%s' exists.\n"
                   "       refusing to overwrite it. name the output with '-o' or '-odix'.\n",
                   input_name, file_name.c_str());
      name_refused = true;
      return;
    }
    print_note("WARNING: generated output name '%s'\n", input_name);
    print_note("         identical to input name. changed to '%s'.\n", file_name.c_str());
    print_note("         you can override this safety measure with '-oforce'.\n");
  }
}

bool LASoutputOptions::settle_name() {
  if (!has_name) return true;
  const size_t dot = extension_dot(file_name);
  const std::string extension = dot == std::string::npos ? "" : file_name.substr(dot + 1);
  const bool text_name = is_text_extension(extension);
  const uint32_t named = text_name || extension.empty() ? uint32_t{LASformatCode::txt}
                                                        : format_of_extension(extension);
  const bool unknown = !text_name && named == LASformatCode::txt;
  if (format == LASformatCode::txt) {
    if (text_name || (format_fixed && unknown && !extension.empty())) return true;
    if (!format_fixed) {
      std::fprintf(stderr,
                   "ERROR: output file '%s' has an extension that names no output format.\n"
                   "       use .las .vpk .bin .qi .wrl or, for text, .txt .csv .xyz .pts .ptx,\n"
                   "       or choose the format with -olas -ovpk -obin -oqfit -otxt.\n",
                   file_name.c_str());
      return false;
    }
  } else if (!format_fixed || named == format) {
    return true;
  }
  // A format option chose another format than the name's extension says: the extension follows.
  file_name = (dot == std::string::npos ? file_name + "." : file_name.substr(0, dot + 1)) +
              extension_of(format);
  return true;
}

// ---------------------------------------------------------------------------
// opening

LASwriter* LASoutputOptions::open_writer(const LASheader* header, const char* input_name) {
  if (name_refused) return nullptr;
  const uint16_t compressor = compressor_kind();
  if (use_nil) {
    LASwriterLAS* writer = new LASwriterLAS();
    if (!writer->measure_header(header, compressor, 2, static_cast<int32_t>(chunk_size))) {
      std::fprintf(stderr, "ERROR: cannot open laswriterlas to NULL\n");
      delete writer;
      return nullptr;
    }
    return writer;
  }
  if (has_name) {
    const char* name = file_name.c_str();
    // Text comparison of names misses "./a.las", links and other spellings
    // of the input; the file system's identity does not.
    const char* inputs[2] = {input_name,
                             last_input_name.empty() ? nullptr : last_input_name.c_str()};
    const char* input = protected_inputs.find(name);
    for (const char* candidate : inputs) {
      if (input == nullptr && candidate && paths_name_same_file(name, candidate)) input = candidate;
    }
    if (input) {
      std::fprintf(stderr,
                   "ERROR: output file '%s' is the input file '%s'. refusing to overwrite it.\n",
                   name, input);
      return nullptr;
    }
    if (const char* earlier = written_outputs.find(name)) {
      std::fprintf(stderr,
                   "ERROR: output file '%s' is the output '%s' written before. refusing to "
                   "overwrite it.\n",
                   name, earlier);
      return nullptr;
    }
    return open_format_writer(header, name);
  }
  if (use_stdout) return open_format_writer(header, nullptr);
  std::fprintf(stderr, "ERROR: no laswriter output specified\n");
  return nullptr;
}

LASwriter* LASoutputOptions::open_format_writer(const LASheader* header, const char* name) {
  const OutputFormat* f = output_format(format);
  if (f == nullptr) {
    std::fprintf(stderr, "ERROR: unknown format %d\n", static_cast<int>(format));
    return nullptr;
  }
  const std::string where = name ? std::string("with file name '") + name + "'" : "to stdout";
  return f->open(*this, header, name, where);
}

bool LASoutputOptions::remove_output() const {
  return has_name && remove_regular_file(file_name.c_str());
}

// ---------------------------------------------------------------------------
// option parsing

namespace {

using OutputOption = OptionRow<LASoutputOptions>;

bool name(LASoutputOptions& o, OptionWalk& w, const OutputOption&) {
  o.set_name(w.arg(1));
  return true;
}

bool directory(LASoutputOptions& o, OptionWalk& w, const OutputOption&) {
  if (o.set_directory(w.arg(1))) return true;
  return option_fail("ERROR: '%s' is not a valid directory\n", w.arg(1));
}

bool appendix(LASoutputOptions& o, OptionWalk& w, const OutputOption&) {
  o.set_appendix(w.arg(1));
  return true;
}

bool cut(LASoutputOptions& o, OptionWalk& w, const OutputOption& row) {
  int64_t n;
  if (!option_number(w.word(), row.needs, w.arg(1), int64_t{INT32_MIN}, int64_t{INT32_MAX}, &n)) {
    return false;
  }
  return o.set_cut(static_cast<int32_t>(n));
}

bool parse_string(LASoutputOptions& o, OptionWalk& w, const OutputOption&) {
  o.set_parse_string(w.arg(1));
  return true;
}

bool separator(LASoutputOptions& o, OptionWalk& w, const OutputOption&) {
  o.set_separator(w.arg(1));
  return true;
}

bool scale_rgb(LASoutputOptions& o, OptionWalk& w, const OutputOption& row) {
  double v;
  if (!option_number(w.word(), row.needs, w.arg(1), double(-FLT_MAX), double(FLT_MAX), &v)) {
    return false;
  }
  o.set_scale_rgb(static_cast<float>(v));
  return true;
}

bool chunk_size(LASoutputOptions& o, OptionWalk& w, const OutputOption& row) {
  int64_t n;
  if (!option_number(w.word(), row.needs, w.arg(1), int64_t{0}, int64_t{UINT32_MAX}, &n)) {
    return false;
  }
  o.set_chunk_size(static_cast<uint32_t>(n));
  return true;
}

bool io_obuffer(LASoutputOptions& o, OptionWalk& w, const OutputOption& row) {
  int64_t n;
  if (!option_number(w.word(), row.needs, w.arg(1), int64_t{0}, int64_t{UINT32_MAX}, &n)) {
    return false;
  }
  o.io_obuffer_size = static_cast<uint32_t>(n);
  return true;
}

template <uint32_t CODE>
bool format(LASoutputOptions& o, OptionWalk&, const OutputOption&) {
  o.set_format(CODE);
  return true;
}

// Text keeps whatever extension the name has.
bool text_format(LASoutputOptions& o, OptionWalk&, const OutputOption&) {
  o.format_fixed = true;
  o.format = LASformatCode::txt;
  return true;
}

template <bool LASoutputOptions::*FLAG, bool VALUE>
bool flag(LASoutputOptions& o, OptionWalk&, const OutputOption&) {
  o.*FLAG = VALUE;
  return true;
}

bool to_stdout(LASoutputOptions& o, OptionWalk&, const OutputOption&) {
  o.set_stdout();
  return true;
}

bool to_nil(LASoutputOptions& o, OptionWalk&, const OutputOption&) {
  o.set_nil();
  return true;
}

using O = LASoutputOptions;

// clang-format off
const OutputOption kOutputOptions[] = {
  // names
  {"-o", 1, "1 argument: file_name", name},
  {"-odir", 1, "1 argument: directory", directory},
  {"-odix", 1, "1 argument: appendix", appendix},
  {"-ocut", 1, "1 argument: number of characters to cut", cut},
  {"-oforce", 0, nullptr, flag<&O::force, true>},
  // formats and destinations
  {"-olas", 0, nullptr, format<LASformatCode::las>},
  {"-ovpk", 0, nullptr, format<LASformatCode::vpk>},
  {"-obin", 0, nullptr, format<LASformatCode::bin>},
  {"-oqi", 0, nullptr, format<LASformatCode::qfit>},
  // the spelling the usage text shows
  {"-oqfit", 0, nullptr, format<LASformatCode::qfit>},
  {"-owrl", 0, nullptr, format<LASformatCode::wrl>},
  {"-otxt", 0, nullptr, text_format},
  {"-stdout", 0, nullptr, to_stdout},
  {"-nil", 0, nullptr, to_nil},
  // compression and buffering
  {"-native", 0, nullptr, flag<&O::native, true>},
  {"-compatible", 0, nullptr, flag<&O::native, false>},
  {"-chunk_size", 1, "1 argument: number_points", chunk_size},
  {"-io_obuffer", 1, "1 argument: size", io_obuffer},
  // text output
  {"-oparse", 1, "1 argument: string", parse_string},
  {"-osep", 1, "1 argument: separator", separator},
  {"-oscale_rgb", 1, "1 argument: scale", scale_rgb},
  {"-opts", 0, nullptr, flag<&O::opts, true>},
  {"-optx", 0, nullptr, flag<&O::optx, true>},
};
// clang-format on

}  // namespace

int LASoutputOptions::take_arguments(int argc, char** argv) {
  const OptionWalkEnd end =
      walk_option_rows(kOutputOptions, *this, argc, argv, [](int&) { return true; });
  if (end == OptionWalkEnd::help) print_help();
  if (end == OptionWalkEnd::failed) return 0;
  return settle_name() ? 1 : 0;
}

void LASoutputOptions::print_help() const {
  std::fprintf(stderr, "Supported LAS Outputs\n");
  std::fprintf(stderr, "  -o lidar.las\n");
  std::fprintf(stderr, "  -o lidar.vpk\n");
  std::fprintf(stderr, "  -o xyzta.txt -oparse xyzta (on-the-fly to ASCII)\n");
  std::fprintf(stderr, "  -o terrasolid.bin\n");
  std::fprintf(stderr, "  -o nasa.qi\n");
  std::fprintf(stderr, "  -odir C:%cdata%cground (specify output directory)\n", '\\', '\\');
  std::fprintf(stderr, "  -odix _classified (specify file name appendix)\n");
  std::fprintf(stderr, "  -ocut 2 (cut the last two characters from name)\n");
  std::fprintf(stderr, "  -olas -ovpk -otxt -obin -oqfit (specify format)\n");
  std::fprintf(stderr, "  -stdout (pipe to stdout)\n");
  std::fprintf(stderr, "  -nil    (pipe to NULL)\n");
}
