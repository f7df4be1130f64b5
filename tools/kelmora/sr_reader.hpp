#ifndef KELMORA_SR_READER_HPP
#define KELMORA_SR_READER_HPP

#include <cstdint>

// Sentinels at the int32 quantum of floating-point rasters. Finite samples are
// only accepted when they quantize to at least SR_VALUE_MIN, so neither sentinel
// can be mistaken for a measured value.
//  - SR_VALUE_NAN: a NaN sample that is not the raster's nodata. Two such cells
//    compare equal, a NaN against a number compares different.
//  - SR_NODATA_NO_INT: the nodata of a raster whose nodata value has no int32 at
//    its quantum (NaN, or far out of range such as -3.4e38).
constexpr int32_t SR_VALUE_NAN = INT32_MIN;
constexpr int32_t SR_NODATA_NO_INT = INT32_MIN + 1;
constexpr int32_t SR_VALUE_MIN = INT32_MIN + 2;

// The marker of an extent or step field that open() did not set.
constexpr double SR_UNSET = -32767.0;

// Rounds half away from zero: adds 0.5 to a non-negative quotient, subtracts 0.5
// from a negative one, truncates toward zero. Returns false, leaving *out alone,
// when the quotient is NaN or its rounded value is outside SR_VALUE_MIN..INT32_MAX
// (converting such a double to int32 is undefined).
bool sr_round(double quotient, int32_t* out);

// (v - offset) / scale rounded as above.
bool sr_quantize(double v, double offset, double scale, int32_t* out);

// Single-band raster read cell by cell, row by row from the top row, as int32
// values at a fixed quantum (0.01 for floating-point samples).
class SRreader {
 public:
  int32_t nrows = -1;
  int32_t ncols = -1;
  int32_t nbits = -1;
  int32_t nbands = -1;
  int32_t nodata = -9999;
  bool is_unsigned = false;
  bool is_float = false;
  bool axis_aligned = true;
  double llx = SR_UNSET;
  double lly = SR_UNSET;
  double urx = SR_UNSET;
  double ury = SR_UNSET;
  double stepx = SR_UNSET;
  double stepy = SR_UNSET;
  double stepx_y = 0.0;
  double stepy_x = 0.0;
  int32_t flag = 0;
  int32_t value[10];
  bool rescale = false;
  double scale[10];
  double offset[10];
  int64_t r_count = -1;

  SRreader();
  virtual ~SRreader() = default;
  SRreader(const SRreader&) = delete;
  SRreader& operator=(const SRreader&) = delete;

  virtual void set_rescale(double new_scale);
  virtual bool query() const { return flag != 0; }
  // Reads the next cell into value[0]; false at the end of the raster or when
  // the cell cannot be read (then the reader has said why, except at the end).
  virtual bool read_value() = 0;
  // Whether the current cell is nodata, as decided when it was read: by the
  // sample as the file stores it, never by its value at the quantum (a float
  // cell of -9999.004 is a value even though it rounds to the nodata -999900).
  virtual bool is_nodata() const { return cell_nodata; }
  // How many cells from the next one on are nodata, known without reading
  // them (0: unknown). Readers whose cells cost nothing in the file (a VPK
  // raster's empty cells) say so, and skip_nodata passes over them, so that
  // the comparison's cost follows the file and not the declared grid.
  virtual int64_t nodata_run() const { return 0; }
  virtual void skip_nodata(int64_t cells) { (void)cells; }
  virtual void close(bool close_file = true);
  virtual void world_to_raster(const double* xyz, float* rc) const;
  virtual void raster_to_world(const float* rc, double* xyz) const;

 protected:
  // False for a raster that has no nodata value at all.
  bool nodata_known = true;
  bool cell_nodata = false;

  // Stores an integer sample in value[0]; it is nodata when it equals nodata.
  void store_int_sample(int32_t v) {
    value[0] = v;
    cell_nodata = nodata_known && v == nodata;
  }

  // Prints "WARNING (<reader>): r_count is ..." when the cells delivered since
  // open differ from nrows * ncols, then marks the reader closed.
  void finish_count(const char* reader_name);

  // Stores a floating-point sample in value[0]: the nodata value when the
  // sample is the nodata (is_nodata_sample, or NaN with a NaN nodata),
  // SR_VALUE_NAN for any other NaN, else the sample at the quantum. False, with
  // an "ERROR ..." line naming the reader, when a finite sample has no int32.
  bool store_float_sample(double v, bool is_nodata_sample, bool nodata_is_nan,
                          const char* reader_name);

  // The int32 nodata of a floating-point nodata value at the quantum of band 1.
  int32_t quantize_nodata(double nodata_value) const;
};

#endif
