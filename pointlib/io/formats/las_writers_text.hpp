#ifndef POINTLIB_IO_FORMATS_LAS_WRITERS_TEXT_HPP
#define POINTLIB_IO_FORMATS_LAS_WRITERS_TEXT_HPP

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_writer.hpp"

// The writers of points as text: lines of ASCII values chosen by a parse
// string (with the PTS and PTX scanner dialects), and a VRML scene of one
// point set.

// The text file of a writer: a file it opened by name or a stream handed over
// (standard output). Every write is checked and the result of flushing and
// closing too, so that a full disk or a closed pipe fails the output instead
// of ending as a short file.
class LAStextOutput {
 public:
  LAStextOutput() = default;
  ~LAStextOutput();
  LAStextOutput(const LAStextOutput&) = delete;
  LAStextOutput& operator=(const LAStextOutput&) = delete;

  // Opens in mode "w"; false after "ERROR: file name pointer is zero" or
  // "ERROR: cannot open file '%s'\n".
  bool open(const char* file_name);
  // Borrows an open stream, which close() flushes but does not close; false
  // after "ERROR: file pointer is zero".
  bool adopt(FILE* stream);
  // The output a writer has opened, kept when the writer could start it and
  // else discarded; `started`.
  bool kept(bool started);
  bool is_open() const { return file != nullptr; }
  bool failed() const { return write_failed; }

  // False, after one "ERROR: ..." line for the first failure, once any write
  // has failed.
  bool write(const char* text, size_t size);
  bool write(const std::string& text) { return write(text.data(), text.size()); }
  bool write(const char* text);

  // Flushes and closes an own file: the bytes written, or -1 when any write,
  // the flush or the close failed.
  int64_t close();
  // Closes, and removes a file opened by name: an output that could not be
  // started must not be left behind as an empty or partial file.
  void discard();

 private:
  void report_failure();

  FILE* file = nullptr;
  bool own = false;
  bool write_failed = false;
  int64_t bytes = 0;
  std::string name;
};

// The coordinate form of text output: as many decimals as the scale factor
// has (0.1 down to 0.000000001), else "%.15f" without trailing zeros and
// point. `decimals` comes from text_coordinate_decimals (-1 for the latter).
int text_coordinate_decimals(double scale_factor);
// The same for the header's three scale factors.
void text_coordinate_decimals(const LASheader& header, int decimals[3]);
void text_append_coordinate(std::string& out, double value, int decimals);

// Writes points as lines of text, one per point, the fields named by the
// letters of a parse string and separated by one character.
class LASwriterTXT : public LASwriter {
 public:
  LASwriterTXT() = default;
  ~LASwriterTXT() override;

  void set_pts(bool flag) { pts = flag; }
  void set_ptx(bool flag) { ptx = flag; }
  void set_scale_rgb(float scale) { scale_rgb = scale; }

  // A null parse string (or "original" with PTS and PTX input) chooses the
  // fields by the point format; a null separator name means a space.
  bool open_file(const char* file_name, const LASheader* header, const char* parse_string = nullptr,
                 const char* separator = nullptr);
  bool open_cfile(FILE* file, const LASheader* header, const char* parse_string = nullptr,
                  const char* separator = nullptr);

  // False when the line cannot be written (the output is then failed).
  bool write_one_point(const LASpoint* point) override;
  bool close_chunk() override { return false; }
  bool rewrite_header(const LASheader*, bool, bool) override { return true; }
  // Bytes written, or -1 when the output failed.
  int64_t close_output(bool update_npoints = true) override;

  const char* get_parse_string() const { return parse_string.c_str(); }

 private:
  bool start(const LASheader* header, const char* parse, const char* separator_name);
  bool write_pts_start(const char* parse);
  bool write_ptx_start(const char* parse);
  // Warns about a parse string or a separator that the dialect's readers do
  // not expect.
  void warn_dialect_form(const char* dialect) const;
  // "original" names the parse string of the input's record; without one the
  // format's default applies rather than eight fields spelled o-r-i-g-i-n-a-l.
  void drop_unmet_original(const char* parse);
  bool write_point_count();
  bool check_parse_string();
  void append_field(char letter, const LASpoint& point);
  void append_attribute(int index, const LASpoint& point);
  void append_intensity(const LASpoint& point);

  LAStextOutput output;
  const LASheader* header = nullptr;
  std::string parse_string;
  bool has_parse_string = false;
  bool pts = false;
  bool ptx = false;
  float scale_rgb = 1.0f;
  char separator = ' ';
  std::string separator_name = "space";
  int decimals[3] = {2, 2, 2};
  int32_t attribute_starts[10] = {};
  std::string line;  // reused for every point
};

// Writes a VRML scene with one point set: the coordinates as the points are
// written, the colours (kept in memory, three bytes a point) at closing.
class LASwriterWRL : public LASwriter {
 public:
  LASwriterWRL() = default;
  ~LASwriterWRL() override;

  // Colours are written for point formats with RGB unless a parse string
  // without "RGB" is given.
  bool open_file(const char* file_name, const LASheader* header,
                 const char* parse_string = nullptr);
  bool open_cfile(FILE* file, const LASheader* header, const char* parse_string = nullptr);

  bool write_one_point(const LASpoint* point) override;
  bool close_chunk() override { return false; }
  bool rewrite_header(const LASheader*, bool, bool) override { return true; }
  int64_t close_output(bool update_npoints = true) override;

 private:
  bool start(const LASheader* header, const char* parse_string);

  LAStextOutput output;
  const LASheader* header = nullptr;
  bool with_colours = false;
  std::vector<uint8_t> colours;
  int decimals[3] = {2, 2, 2};
  std::string line;
};

#endif  // POINTLIB_IO_FORMATS_LAS_WRITERS_TEXT_HPP
