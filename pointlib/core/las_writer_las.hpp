#ifndef POINTLIB_CORE_LAS_WRITER_LAS_HPP
#define POINTLIB_CORE_LAS_WRITER_LAS_HPP

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/las_writer.hpp"

class ByteStreamOut;
class LASpointRecordWriter;

// Writer of LAS files (1.0 to 1.4) and their compressed VPK form.
class LASwriterLAS : public LASwriter {
 public:
  LASwriterLAS();
  ~LASwriterLAS() override;

  bool open_file(const char* file_name, const LASheader* header, uint16_t compressor = 0,
                 int requested_version = 0, int32_t chunk_size = -1, int io_buffer_size = 65536);
  bool open_cfile(FILE* file, const LASheader* header, uint16_t compressor = 0,
                  int requested_version = 0, int32_t chunk_size = -1);
  bool open_stream(ByteStreamOut* stream, const LASheader* header, uint16_t compressor = 0,
                   int requested_version = 0, int32_t chunk_size = -1);
  // Writes nothing and only counts; close_output() then returns the size of
  // header, records and chunk-table pointer.
  bool measure_header(const LASheader* header, uint16_t compressor = 0, int requested_version = 0,
                      int32_t chunk_size = -1);

  bool write_one_point(const LASpoint* point) override;
  bool close_chunk() override;
  bool rewrite_header(const LASheader* header, bool use_inventory,
                      bool update_extra_bytes) override;
  int64_t close_output(bool update_npoints = true) override;

  // Whether closing deletes the stream (true unless a caller keeps it).
  void set_delete_stream(bool value) { delete_stream = value; }
  // For a writer whose header count is only a guess (points that a filter may drop): closing
  // sets the count written without warning that it differs.
  void expect_count_change() { count_may_change = true; }
  ByteStreamOut* get_stream() const { return stream; }

 private:
  // `record`: the compressor record to write (compressing, or items that are
  // no standard format); `compressing`: whether the points are compressed.
  bool write_header(const LASheader* header, const LAScompressorSetup* record, bool compressing);
  void announce_evlrs_unseekable(const LASheader* header, bool compressing);
  // Where each item of the records lives in a point (-1: the extra bytes).
  bool map_items(const std::vector<LASitem>& items);

  FILE* file = nullptr;
  ByteStreamOut* stream = nullptr;
  bool delete_stream = true;
  bool count_may_change = false;
  std::unique_ptr<LASpointRecordWriter> writer;
  int64_t header_start_position = 0;
  uint32_t written_header_size = 0;
  bool writing_las_1_4 = false;
  bool writing_new_point_type = false;
  // The point format and record length the items make, which the header
  // written says whatever the given header says.
  uint8_t point_data_format = 0;
  uint16_t point_data_record_length = 0;
  uint32_t points_offset = 0;  // the offset to the point data written
  std::vector<int32_t> item_offsets;
  std::vector<uint8_t*> item_pointers;
  std::vector<uint8_t> extra_bytes_scratch;
  int64_t start_of_first_extended_variable_length_record = 0;
  uint32_t number_of_extended_variable_length_records = 0;
  const std::vector<LASevlrRecord>* evlrs = nullptr;  // borrowed from the open's header
  int64_t lasoriginal_start_position = -1;
};

#endif  // POINTLIB_CORE_LAS_WRITER_LAS_HPP
