#ifndef POINTLIB_CORE_LAS_READER_LAS_HPP
#define POINTLIB_CORE_LAS_READER_LAS_HPP

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/las_reader.hpp"

class ByteStreamIn;
class LASpointRecordReader;

// Reader of LAS files (1.0 to 1.4) and their compressed VPK form.
class LASreaderLAS : public LASreader {
 public:
  static constexpr uint32_t kDecompressAll = 0xFFFFFFFFu;

  LASreaderLAS();
  ~LASreaderLAS() override;

  bool open_file(const char* file_name, int io_buffer_size = 65536, bool peek_only = false,
                 uint32_t decompress_selective = kDecompressAll);
  bool open_cfile(FILE* file, bool peek_only = false,
                  uint32_t decompress_selective = kDecompressAll);
  virtual bool open_stream(ByteStreamIn* stream, bool peek_only = false,
                           uint32_t decompress_selective = kDecompressAll);

  int format_code() const override;
  bool seek_point(int64_t index) override;
  ByteStreamIn* input_stream() const override { return stream; }
  void close_input(bool close_stream = true) override;
  // A point block that could not be decoded since the last open.
  bool failed() const override { return lost_points || ended_short(); }
  // Whether closing deletes the stream (true unless a caller keeps it).
  void set_delete_stream(bool value) { delete_stream = value; }
  const char* get_file_name() const { return file_name.empty() ? nullptr : file_name.c_str(); }

 protected:
  bool read_one_point() override;

  FILE* file = nullptr;
  std::string file_name;
  ByteStreamIn* stream = nullptr;
  bool delete_stream = true;
  std::unique_ptr<LASpointRecordReader> reader;
  bool checked_end = false;
  bool read_failed = false;  // a broken point block was reported once
  // Where the EVLRs start when the file announces some (0 otherwise), and
  // how many uncompressed records lie before them or the end of the data
  // (-1 when the stream cannot tell): a header that counts more points must
  // not make the bytes after the points into points.
  uint64_t evlr_start = 0;
  int64_t records_on_file = -1;
  bool lost_points = false;  // an error cost points since the last open

 private:
  // Header, VLRs, user data and EVLRs (steps up to the point layout).
  bool read_header(bool peek_only);
  bool read_vlrs(bool* vlrs_cut);
  bool read_evlrs();
  bool setup_points(uint32_t decompress_selective);
  void count_records_on_file();
  void read_special_evlrs();
  // Prints why the point block ended early.
  void report_read_failure();
};

// Re-quantizes coordinates to new scale factors while reading.
class LASreaderLASrescale : public virtual LASreaderLAS {
 public:
  LASreaderLASrescale(double x_scale_factor, double y_scale_factor, double z_scale_factor,
                      bool check_for_overflow = true);
  bool open_stream(ByteStreamIn* stream, bool peek_only = false,
                   uint32_t decompress_selective = kDecompressAll) override;

  bool rescale_x = false, rescale_y = false, rescale_z = false;
  bool check_for_overflow;
  double scale_factor[3];
  double orig_scale_factor[3] = {0.0, 0.0, 0.0};

 protected:
  bool read_one_point() override;
  // Takes the requested scale factors into the header; sets the flags.
  void apply_rescale();
};

// Re-quantizes coordinates to new offsets while reading.
class LASreaderLASreoffset : public virtual LASreaderLAS {
 public:
  LASreaderLASreoffset(double x_offset, double y_offset, double z_offset);
  LASreaderLASreoffset();  // offsets chosen from the file's bounds
  bool open_stream(ByteStreamIn* stream, bool peek_only = false,
                   uint32_t decompress_selective = kDecompressAll) override;

  bool auto_reoffset;
  bool reoffset_x = false, reoffset_y = false, reoffset_z = false;
  double offset[3];
  double orig_offset[3] = {0.0, 0.0, 0.0};

 protected:
  bool read_one_point() override;
  void apply_reoffset();
};

class LASreaderLASrescalereoffset : public LASreaderLASrescale, public LASreaderLASreoffset {
 public:
  LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor, double z_scale_factor,
                              double x_offset, double y_offset, double z_offset);
  LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor, double z_scale_factor);
  bool open_stream(ByteStreamIn* stream, bool peek_only = false,
                   uint32_t decompress_selective = kDecompressAll) override;

 protected:
  bool read_one_point() override;
};

#endif  // POINTLIB_CORE_LAS_READER_LAS_HPP
