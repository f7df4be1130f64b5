#ifndef POINTLIB_IO_FORMATS_LAS_READER_TXT_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_TXT_HPP

#include <cstdint>
#include <cstdio>
#include <string>

#include "io/formats/parsed_reader.hpp"
#include "io/formats/side_variants.hpp"

// Points from ASCII text, one per line, whose values a parse string names
// letter by letter; also the PTS (a count line) and PTX (a ten-line scan
// header) dialects. The reader builds a LAS header for the text, optionally
// after a first pass that fills in its counts and bounding box (populate),
// and delivers one quantized point per line that parses.
class LASreaderTXT : public LASreaderParsed {
 public:
  LASreaderTXT();
  ~LASreaderTXT() override;

  // Setters, before opening. A translation of 0 and a scale of 1 mean none.
  void set_translate_scan_angle(float v) { fields.translate_scan_angle = v; }
  void set_scale_scan_angle(float v) { fields.scale_scan_angle = v; }
  // PTS: intensities -2048..2047 move to 0..4095; PTX: 0..1 scale to 0..4095.
  void set_pts(bool flag);
  void set_ptx(bool flag);
  void add_attribute(int32_t data_type, const char* name = nullptr,
                     const char* description = nullptr, double scale = 1.0, double offset = 0.0,
                     double pre_scale = 1.0, double pre_offset = 0.0, double no_data = 2e307);

  // point_type 0 chooses the format from the parse string; 1, 2, 3, 6, 7, 8
  // name it. Null parse string: "xyz". False after a message (an unusable
  // point type fails silently).
  bool open_file(const char* file_name, uint8_t point_type = 0, const char* parse_string = nullptr,
                 int32_t skip_lines = 0, bool populate_header = false);
  // The same on an open stream, which the reader closes; without a name
  // (standard input) there is no populate pass.
  bool open(FILE* stream, const char* file_name, uint8_t point_type, const char* parse_string,
            int32_t skip_lines, bool populate_header);
  // The same file again, before its first point, with the settings kept.
  bool reopen(const char* file_name);

  int format_code() const override { return LASformatCode::txt; }
  bool seek_point(int64_t index) override;
  void close_input(bool close_stream = true) override;

 protected:
  bool read_one_point() override;

 private:
  bool choose_point_type(uint8_t requested_type, const char* parse);
  bool populate(const char* file_name);
  // The PTS count line or the PTX header after the skipped lines; with
  // `record` the values go into the header and its variable-length record.
  bool read_dialect_header(bool record, bool announce_only);
  // The first parsable line at open, rewind and reopen; false after the
  // "could not parse any lines" message.
  bool first_point(const char* parse);
  // False after the message when no quantization holds the box.
  bool choose_scale_and_offset();
  // Once the lines of a PTX scan are read: a warning when more follows.
  void warn_more_scans();
  void finish_unpopulated();

  int32_t skip_lines = 0;
  // An unpopulated header was completed by one pass to the end; later passes
  // must not count the points again.
  bool header_counted = false;
  bool at_end = false;
  // The count a PTS or PTX header states, for the end-of-file warning.
  int64_t stated_points = 0;
  bool pts = false;
  bool ptx = false;
  // The lines after the first PTX scan were looked at (and warned about).
  bool ptx_ended = false;
};

// The variants put requested scale factors and offsets into the header after
// the plain open by name; points are quantized with them as delivered.
using LASreaderTXTrescale = LASsideRescale<LASreaderTXT>;
using LASreaderTXTreoffset = LASsideReoffset<LASreaderTXT>;
using LASreaderTXTrescalereoffset = LASsideRescaleReoffset<LASreaderTXT>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_TXT_HPP
