#ifndef POINTLIB_IO_FORMATS_SIDE_INPUT_HPP
#define POINTLIB_IO_FORMATS_SIDE_INPUT_HPP

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/las_scaler.hpp"

class LASheader;
class LASpoint;

// Shared by the readers of files that are not LAS (point text, PLY, BIN,
// shapefile, QFIT and the rasters): the input stream (a file, a decompressor
// pipe or a stream handed over), the attributes a caller declares before
// opening, the header fields such a reader builds itself and its choice of
// scale factors and offsets.

// The open input of a text or PLY reader.
class LASsideInput {
 public:
  static constexpr int kLineSize = 512;
  static constexpr int kStdioBufferSize = 2621440;

  ~LASsideInput() { close(); }

  // Opens by name through the decompressing open, with the large stdio
  // buffer (only a warning when it cannot be set). False when it cannot be
  // opened (a decompressor that cannot start has printed why).
  bool open(const char* file_name, const char* mode);
  // The same after "ERROR: file name pointer is zero" for a null name, or
  // "ERROR: cannot <verb> file '<name>'" when it cannot be opened.
  bool open_named(const char* file_name, const char* mode, const char* verb);
  // Takes over a stream opened elsewhere (standard input, memory); it is
  // closed by close() like an own one.
  void adopt(FILE* stream);
  // Closes the stream; a piped one is read to its end first and its
  // decompressor waited for. False when that decompressor failed (its
  // message printed); the failure stays visible in failed().
  bool close();
  bool is_open() const { return file != nullptr; }
  bool failed() const { return decompressor_failed; }

  // Reads one line without its line end ("\n", "\r\n", "\r" or a NUL) into `line`
  // (kLineSize bytes). A longer line is consumed to its end with a warning;
  // `cut` tells whether this one was. False at the end of the input.
  bool read_line(char* line, bool* cut = nullptr);
  // Skips n lines; false when the input ends first.
  bool skip_lines(int64_t n);

  FILE* file = nullptr;
  bool piped = false;

 private:
  bool decompressor_failed = false;
  bool nul_warned = false;
};

// Opens a file for reading in binary, fully buffered with `buffer_size`
// bytes (only a warning when that cannot be set). Null after "ERROR: file
// name pointer is zero" or "ERROR: cannot <verb> file '<name>'".
FILE* side_open_binary(const char* file_name, const char* verb, int buffer_size);

// Attributes declared before an open: one extra-bytes attribute each.
struct LASpendingAttributes {
  static constexpr int kMax = 32;
  int32_t number = 0;
  int32_t data_types[kMax] = {};
  std::string names[kMax];
  std::string descriptions[kMax];
  bool has_description[kMax] = {};
  double scales[kMax] = {};
  double offsets[kMax] = {};
  double pre_scales[kMax] = {};
  double pre_offsets[kMax] = {};
  double no_datas[kMax] = {};

  // False, with a warning, when all kMax are taken. A null name becomes
  // "attribute %d".
  bool add(int32_t data_type, const char* name, const char* description, double scale,
           double offset, double pre_scale, double pre_offset, double no_data);
  // Adds every attribute to the header's attribute table; false after
  // "ERROR: initializing attribute %s\n".
  bool add_to_header(LASheader* header) const;
};

// system_identifier, generating_software ("via <reader> (210531)") and the
// creation date: the file's when a name is given, else day 1 of
// `default_year`.
void side_header_identity(LASheader* header, const char* reader_name, const char* file_name,
                          int default_year);
// The first two of those, and the creation date alone (false, changing
// nothing, when the file cannot be examined).
void side_header_software(LASheader* header, const char* reader_name);
bool side_header_date(LASheader* header, const char* file_name);
// Day of the year, January 1 being day 1, with the full leap-year rule.
int side_day_of_year(int year, int month, int day);

// The offset of one axis for a box of coordinates at a scale factor: a whole
// multiple of 10^7 scale factors near the box's centre, so that the integers
// stay small; 0 for a box beyond +-2e307.
double side_choose_offset(double min, double max, double scale);

// The scale factors of a header built for points whose box the header holds:
// 1e-7 for x and y when the box lies within +-360 (degrees), else the given
// projected ones; z 0.01.
void side_default_scale_factors(const LASheader& header, double projected_x, double projected_y,
                                double scale[3]);

// The point format that the letters of a parse string need (legacy formats
// 0 to 3 unless NIR, overlap or scanner channel ask for 6 to 8), and the base
// record length of a format a text can fill (0 for any other).
uint8_t side_format_for_parse_string(const char* parse_string);
int32_t side_base_record_length(uint8_t format);

// Scale factors and offsets a caller asks for, and the choice of both for a
// header built from the points' bounding box.
struct LASrequestedQuantizer {
  bool scale_factor_set = false;
  double scale_factor[3] = {0.0, 0.0, 0.0};
  bool offset_set = false;
  double offset[3] = {0.0, 0.0, 0.0};

  // Three doubles, copied; null removes them.
  void set_scale_factor(const double* xyz);
  void set_offset(const double* xyz);
  // The triples as set (null when removed).
  const double* get_scale_factor() const { return scale_factor_set ? scale_factor : nullptr; }
  const double* get_offset() const { return offset_set ? offset : nullptr; }
  // The requested scale factors (a 0 keeps `chosen` for that axis) or
  // `chosen`; the requested offsets or ones near the box's centre.
  void apply(LASheader* header, const double chosen[3]) const;
  // Puts what is requested into a header that has its own quantization:
  // each scale factor that is not 0, then each offset.
  void replace(LASheader* header) const;
};

// The quantization of a header built from the box of its points, the one
// policy of every reader that builds one: per axis the requested scale factor
// (not 0) and offset where given; else `preferred`, made ten times coarser
// (up to 1) until the box fits 32-bit integers, and an offset near the box's
// centre. False after an "ERROR: ..." when no such choice holds the box (with
// "causes LAS integer overflow" when requested values are the cause).
bool side_fit_quantization(LASheader* header, const double preferred[3],
                           const LASrequestedQuantizer& requested);
// The same choice without a message, for a reader that words its own: `own`
// receives what the reader would choose were nothing requested. Whether the
// header's quantization holds its box.
bool side_choose_quantization(LASheader* header, const double preferred[3],
                              const LASrequestedQuantizer& requested, LASscaler* own);
// Whether the header's quantization holds every bound of its box; else
// prints, for the first bound that it cannot hold, how it differs from `own`
// (the reader's own choice): "ERROR: rescaling from .. to .." and/or
// "reoffsetting from .. to .." "causes LAS integer overflow for <bound>".
bool side_quantization_holds(const LASheader& header, const LASscaler& own);
// Whether a point's coordinate triple fits 32-bit integers at the header's
// quantization.
bool side_coordinates_fit(const LASscaler& quantizer, const double xyz[3]);

// Writes requested scale factors (each not 0 and different) and then offsets
// (each different) into a header; whether any changed.
bool side_apply_rescale(LASheader* header, const double* scale);
bool side_apply_reoffset(LASheader* header, const double* offset);

// Whether two quantizations differ in any scale factor or offset.
bool side_quantization_differs(const LASscaler& a, const LASscaler& b);

// False, after "ERROR: ... does not fit ...", when a bound of the header's box
// cannot be held by a 32-bit integer at the header's scale factor and offset:
// its points would be clamped.
bool side_bounds_fit(const LASheader& header);

// Sets (first) or widens the header's bounding box to the point's coordinate
// triple, and the range of every attribute to the point's values.
void side_widen_bounds(LASheader* header, const LASpoint& point, bool first);
// The box alone: each coordinate is compared with the minimum first and only
// when it is not smaller with the maximum.
void side_widen_box(LASheader* header, const double xyz[3], bool first);

// Counts a point by its return number into the header: the extended counts
// for formats 6 and above (and for LAS 1.4 headers), else the legacy ones up
// to return 5.
void side_count_return(LASheader* header, uint8_t point_type, uint8_t return_number);

#endif  // POINTLIB_IO_FORMATS_SIDE_INPUT_HPP
