#include "core/las_writer_las.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "core/byte_stream_out.hpp"

#include "core/las_point_record_writer.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

// Field writes that print "ERROR: writing ..." for the field that failed.
class FieldWriter {
 public:
  explicit FieldWriter(ByteStreamOut* stream) : stream_(stream) {}

  template <typename... Args>
  bool u8(uint8_t value, const char* format, Args... args) {
    return check(stream_->write_byte(value), format, args...);
  }
  template <typename... Args>
  bool u16(uint16_t value, const char* format, Args... args) {
    return check(stream_->write_u16_le(&value), format, args...);
  }
  template <typename... Args>
  bool u32(uint32_t value, const char* format, Args... args) {
    return check(stream_->write_u32_le(&value), format, args...);
  }
  template <typename... Args>
  bool u64(uint64_t value, const char* format, Args... args) {
    return check(stream_->write_u64_le(&value), format, args...);
  }
  template <typename... Args>
  bool f64(double value, const char* format, Args... args) {
    return check(stream_->write_u64_le(&value), format, args...);
  }
  template <typename... Args>
  bool bytes(const void* data, uint32_t size, const char* format, Args... args) {
    return check(size == 0 || stream_->write_bytes(static_cast<const uint8_t*>(data), size), format,
                 args...);
  }
  // A text field padded with zero bytes (cut when longer).
  template <typename... Args>
  bool text(const char* value, uint32_t size, const char* format, Args... args) {
    char padded[64] = {};
    std::memcpy(padded, value, std::min<size_t>(std::strlen(value), size));
    return bytes(padded, size, format, args...);
  }

 private:
  template <typename... Args>
  bool check(bool ok, const char* format, Args... args) {
    if (ok) return true;
    // A message without arguments goes out verbatim: a '%' in it is no conversion.
    if constexpr (sizeof...(Args) == 0) {
      std::fputs(format, stderr);
    } else {
      std::fprintf(stderr, format, args...);
    }
    return false;
  }
  ByteStreamOut* stream_;
};

// Seeks while the header is patched after the points: a seek that fails would
// put the patch, or whatever follows it, at the wrong place.
bool seek_while_patching(ByteStreamOut* stream, int64_t position) {
  if (position >= 0 && stream->seek_to(position)) return true;
  std::fprintf(stderr,
               "ERROR: cannot seek to byte %" PRId64 " of the output while updating the header\n",
               position);
  return false;
}

bool seek_end_after_patching(ByteStreamOut* stream) {
  if (stream->seek_to_end()) return true;
  std::fprintf(stderr, "ERROR: cannot seek to the end of the output after updating the header\n");
  return false;
}

// The items of a standard point format that `items` holds in another order:
// replaces them by the format's list and gives the format; false when no
// format holds the same items.
bool put_in_standard_order(std::vector<LASitem>* items, uint8_t* format) {
  uint16_t size = 0;
  for (const LASitem& item : *items) size = static_cast<uint16_t>(size + item.size);
  const auto key = [](const LASitem& a, const LASitem& b) {
    return a.type != b.type ? a.type < b.type : a.size < b.size;
  };
  std::vector<LASitem> mine = *items;
  std::sort(mine.begin(), mine.end(), key);
  for (uint8_t f = 0; f <= 10; f++) {
    if (size < LAScompressorSetup::standard_point_size(f)) continue;
    LAScompressorSetup setup;
    uint16_t n = 0;
    std::vector<LASitem> list;
    if (!setup.setup_from_point_type(f, size, &n, &list)) continue;
    std::vector<LASitem> sorted = list;
    std::sort(sorted.begin(), sorted.end(), key);
    const bool same = std::equal(
        mine.begin(), mine.end(), sorted.begin(), sorted.end(),
        [](const LASitem& a, const LASitem& b) { return a.type == b.type && a.size == b.size; });
    if (same) {
      *items = std::move(list);
      *format = f;
      return true;
    }
  }
  return false;
}

// The writer deletes its stream before it closes the FILE and flushes it with the FILE.
ByteStreamOutFileLE* gathering_stream(FILE* file) {
  auto* stream = new ByteStreamOutFileLE(file);
  stream->gather_writes();
  return stream;
}

}  // namespace

LASwriterLAS::LASwriterLAS() = default;

LASwriterLAS::~LASwriterLAS() {
  if (writer || stream) close_output(true);
}

bool LASwriterLAS::open_file(const char* file_name, const LASheader* header, uint16_t compressor,
                             int requested_version, int32_t chunk_size, int io_buffer_size) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  file = std::fopen(file_name, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s' for write\n", file_name);
    return false;
  }
  if (io_buffer_size > 0 &&
      std::setvbuf(file, nullptr, _IOFBF, static_cast<size_t>(io_buffer_size)) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %d\n", io_buffer_size);
  }
  if (open_stream(gathering_stream(file), header, compressor, requested_version, chunk_size)) {
    return true;
  }
  // A header that cannot be written (a point type the compressor kind does not take, a full
  // disk) leaves no empty or cut file behind.
  writer.reset();
  if (delete_stream) delete stream;
  stream = nullptr;
  std::fclose(file);
  file = nullptr;
  remove_regular_file(file_name);
  return false;
}

bool LASwriterLAS::open_cfile(FILE* cfile, const LASheader* header, uint16_t compressor,
                              int requested_version, int32_t chunk_size) {
  if (cfile == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return false;
  }
  // POSIX streams have no text mode, so standard output needs no switch.
  return open_stream(gathering_stream(cfile), header, compressor, requested_version, chunk_size);
}

bool LASwriterLAS::measure_header(const LASheader* header, uint16_t compressor,
                                  int requested_version, int32_t chunk_size) {
  return open_stream(new ByteStreamOutNil(), header, compressor, requested_version, chunk_size);
}

bool LASwriterLAS::open_stream(ByteStreamOut* new_stream, const LASheader* header,
                               uint16_t compressor, int requested_version, int32_t chunk_size) {
  if (new_stream == nullptr) {
    std::fprintf(stderr, "ERROR: ByteStreamOut pointer is zero\n");
    return false;
  }
  stream = new_stream;
  if (header == nullptr) {
    std::fprintf(stderr, "ERROR: LASheader pointer is zero\n");
    return false;
  }
  if (!header->validate()) return false;
  quantizer = *header;

  LASpoint work;
  bool standard = false;
  point_data_format = header->point_data_format;
  if (header->vlr_compressor) {
    if (!work.init_for_items(header, header->vlr_compressor->num_items,
                             header->vlr_compressor->items.data(), header)) {
      return false;
    }
    LAScompressorSetup probe;
    uint8_t format = 0;
    uint16_t size = 0;
    standard = probe.derive_point_type(work.num_items, work.items.data(), &format, &size);
    // The items decide what the records are; a header that says otherwise
    // would make every reader cut the records in the wrong places.
    if (standard) point_data_format = format;
  } else {
    if (!work.init_for_point_type(header, header->point_data_format,
                                  header->point_data_record_length, header)) {
      return false;
    }
    standard = true;
  }
  point_data_record_length = static_cast<uint16_t>(work.total_point_size);
  // The items in the order of the records written.
  std::vector<LASitem> items = work.items;
  if (!standard && compressor == LAScompressorKind::raw) {
    // Uncompressed records in the standard order need no item list, and every
    // LAS reader reads them.
    uint8_t format = 0;
    if (put_in_standard_order(&items, &format)) {
      standard = true;
      point_data_format = format;
    }
  }
  if (!map_items(items)) return false;
  if (compressor != LAScompressorKind::raw &&
      compressor != LAScompressorKind::multistream_chunked && point_data_format > 5) {
    std::fprintf(stderr,
                 "ERROR: point type %d requires using \"native LAS 1.4 extension\" of Vexpak\n",
                 point_data_format);
    return false;
  }
  std::unique_ptr<LAScompressorSetup> record;
  if (compressor != LAScompressorKind::raw || !standard) {
    record.reset(new LAScompressorSetup);
    record->setup(static_cast<uint16_t>(items.size()), items.data(), compressor);
    if (chunk_size >= 0) record->change_chunk_size(static_cast<uint32_t>(chunk_size));
    if (compressor != LAScompressorKind::raw) {
      if (chunk_size == 0 && point_data_format <= 5) {
        std::fprintf(stderr,
                     "ERROR: adaptive chunking is depricated for point type %d.\n       only "
                     "available for new LAS 1.4 point types 6 or higher.\n",
                     point_data_format);
        return false;
      }
      record->choose_version(static_cast<uint16_t>(requested_version ? requested_version : 2));
    } else {
      record->choose_version(0);
    }
  }
  writer.reset(new LASpointRecordWriter());
  const bool set_up =
      record ? writer->setup(record->num_items, record->items.data(), record.get())
             : writer->setup(static_cast<uint16_t>(items.size()), items.data(), nullptr);
  if (!set_up) {
    std::fprintf(stderr,
                 record && compressor
                     ? "ERROR: point type %d of size %d not supported (with Vexpak)\n"
                     : "ERROR: point type %d of size %d not supported\n",
                 point_data_format, point_data_record_length);
    writer.reset();
    return false;
  }
  npoints = header->number_of_point_records
                ? header->number_of_point_records
                : static_cast<int64_t>(header->extended_number_of_point_records);
  // Items that are no standard format are only read right with their list,
  // compressed or not.
  if (!write_header(header, record.get(), compressor != LAScompressorKind::raw)) return false;
  if (!writer->init(stream)) return false;
  p_count = 0;
  return true;
}

bool LASwriterLAS::write_header(const LASheader* h, const LAScompressorSetup* record,
                                bool compressing) {
  FieldWriter out(stream);
  header_start_position = stream->position();

  uint8_t version_major = h->version_major;
  if (version_major != 1) {
    print_note("WARNING: header->version_major is %d. writing 1 instead.\n", version_major);
    version_major = 1;
  }
  uint8_t version_minor = h->version_minor;
  if (version_minor > 4) {
    print_note("WARNING: header->version_minor is %d. writing 4 instead.\n", version_minor);
    version_minor = 4;
  }
  // The header block is the fields of the version written plus the user data
  // in the header. A header read from a file of another version (an unknown
  // one is written as 1.4) says another size; the size and the point offset
  // written follow what is written, else the records would be read from the
  // wrong place.
  const uint32_t known = version_minor >= 4 ? 375u : version_minor == 3 ? 235u : 227u;
  const uint32_t header_size = known + h->user_data_in_header_size;
  const int64_t offset =
      int64_t{h->offset_to_point_data} + int64_t{header_size} - int64_t{h->header_size};
  if (header_size > 0xFFFFu || offset < header_size || offset > int64_t{0xFFFFFFFFu}) {
    std::fprintf(stderr, "ERROR: header->header_size %d does not fit a LAS 1.%d header\n",
                 h->header_size, version_minor);
    return false;
  }
  written_header_size = header_size;
  uint32_t offset_to_point_data = static_cast<uint32_t>(offset);
  uint32_t number_of_vlrs = h->number_of_variable_length_records;
  if (record) {
    offset_to_point_data += 54 + record->payload_size();
    number_of_vlrs++;
  }
  if (h->vlr_lastiling) {
    offset_to_point_data += 54 + 28;
    number_of_vlrs++;
  }
  if (h->vlr_lasoriginal) {
    offset_to_point_data += 54 + 176;
    number_of_vlrs++;
  }
  points_offset = offset_to_point_data;
  const uint8_t format_written =
      compressing ? static_cast<uint8_t>(point_data_format | 128) : point_data_format;

  if (!out.bytes(h->file_signature, 4, "ERROR: writing header->file_signature\n") ||
      !out.u16(h->file_source_ID, "ERROR: writing header->file_source_ID\n") ||
      !out.u16(h->global_encoding, "ERROR: writing header->global_encoding\n") ||
      !out.u32(h->project_ID_GUID_data_1, "ERROR: writing header->project_ID_GUID_data_1\n") ||
      !out.u16(h->project_ID_GUID_data_2, "ERROR: writing header->project_ID_GUID_data_2\n") ||
      !out.u16(h->project_ID_GUID_data_3, "ERROR: writing header->project_ID_GUID_data_3\n") ||
      !out.bytes(h->project_ID_GUID_data_4, 8, "ERROR: writing header->project_ID_GUID_data_4\n") ||
      !out.u8(version_major, "ERROR: writing header->version_major\n") ||
      !out.u8(version_minor, "ERROR: writing header->version_minor\n") ||
      !out.bytes(h->system_identifier, 32, "ERROR: writing header->system_identifier\n") ||
      !out.bytes(h->generating_software, 32, "ERROR: writing header->generating_software\n") ||
      !out.u16(h->file_creation_day, "ERROR: writing header->file_creation_day\n") ||
      !out.u16(h->file_creation_year, "ERROR: writing header->file_creation_year\n") ||
      !out.u16(static_cast<uint16_t>(header_size), "ERROR: writing header->header_size\n") ||
      !out.u32(offset_to_point_data, "ERROR: writing header->offset_to_point_data\n") ||
      !out.u32(number_of_vlrs, "ERROR: writing header->number_of_variable_length_records\n") ||
      !out.u8(format_written, "ERROR: writing header->point_data_format\n") ||
      !out.u16(point_data_record_length, "ERROR: writing header->point_data_record_length\n") ||
      !out.u32(h->number_of_point_records, "ERROR: writing header->number_of_point_records\n")) {
    return false;
  }
  for (int i = 0; i < 5; i++) {
    if (!out.u32(h->number_of_points_by_return[i],
                 "ERROR: writing header->number_of_points_by_return[%d]\n", i)) {
      return false;
    }
  }
  if (!out.f64(h->x_scale_factor, "ERROR: writing header->x_scale_factor\n") ||
      !out.f64(h->y_scale_factor, "ERROR: writing header->y_scale_factor\n") ||
      !out.f64(h->z_scale_factor, "ERROR: writing header->z_scale_factor\n") ||
      !out.f64(h->x_offset, "ERROR: writing header->x_offset\n") ||
      !out.f64(h->y_offset, "ERROR: writing header->y_offset\n") ||
      !out.f64(h->z_offset, "ERROR: writing header->z_offset\n") ||
      !out.f64(h->max_x, "ERROR: writing header->max_x\n") ||
      !out.f64(h->min_x, "ERROR: writing header->min_x\n") ||
      !out.f64(h->max_y, "ERROR: writing header->max_y\n") ||
      !out.f64(h->min_y, "ERROR: writing header->min_y\n") ||
      !out.f64(h->max_z, "ERROR: writing header->max_z\n") ||
      !out.f64(h->min_z, "ERROR: writing header->min_z\n")) {
    return false;
  }
  if (version_minor >= 3) {
    if (h->start_of_waveform_data_packet_record != 0) {
      print_note("WARNING: header->start_of_waveform_data_packet_record is %" PRId64
                 ". writing 0 instead.\n",
                 static_cast<int64_t>(h->start_of_waveform_data_packet_record));
    }
    if (!out.u64(0, "ERROR: writing header->start_of_waveform_data_packet_record\n")) return false;
  }
  writing_las_1_4 = false;
  writing_new_point_type = false;
  evlrs = nullptr;
  number_of_extended_variable_length_records = 0;
  start_of_first_extended_variable_length_record = 0;
  if (version_minor >= 4) {
    writing_las_1_4 = true;
    writing_new_point_type = point_data_format > 5;
    start_of_first_extended_variable_length_record =
        static_cast<int64_t>(h->start_of_first_extended_variable_length_record);
    number_of_extended_variable_length_records = h->number_of_extended_variable_length_records;
    evlrs = &h->evlrs;
    if (!h->evlrs.empty() && !stream->can_seek()) announce_evlrs_unseekable(h, compressing);
    const uint64_t count = h->number_of_point_records ? h->number_of_point_records
                                                      : h->extended_number_of_point_records;
    if (!out.u64(static_cast<uint64_t>(start_of_first_extended_variable_length_record),
                 "ERROR: writing header->start_of_first_extended_variable_length_record\n") ||
        !out.u32(number_of_extended_variable_length_records,
                 "ERROR: writing header->number_of_extended_variable_length_records\n") ||
        !out.u64(count, "ERROR: writing header->extended_number_of_point_records\n")) {
      return false;
    }
    for (int i = 0; i < 15; i++) {
      const uint64_t by_return = i < 5 && h->number_of_points_by_return[i]
                                     ? h->number_of_points_by_return[i]
                                     : h->extended_number_of_points_by_return[i];
      if (!out.u64(by_return, "ERROR: writing header->extended_number_of_points_by_return[%d]\n",
                   i)) {
        return false;
      }
    }
  }

  if (h->user_data_in_header_size) {
    if (!h->user_data_in_header) {
      std::fprintf(stderr,
                   "ERROR: there should be %d bytes of data in header->user_data_in_header\n",
                   static_cast<int>(h->user_data_in_header_size));
      return false;
    }
    if (!out.bytes(h->user_data_in_header.get(), h->user_data_in_header_size,
                   "ERROR: writing %d bytes of data from header->user_data_in_header\n",
                   static_cast<int>(h->user_data_in_header_size))) {
      return false;
    }
  }

  for (size_t i = 0; i < h->vlrs.size(); i++) {
    const LASvlrRecord& v = h->vlrs[i];
    const int k = static_cast<int>(i);
    if (!out.u16(v.reserved, "ERROR: writing header->vlrs[%d].reserved\n", k) ||
        !out.bytes(v.user_id, 16, "ERROR: writing header->vlrs[%d].user_id\n", k) ||
        !out.u16(v.record_id, "ERROR: writing header->vlrs[%d].record_id\n", k) ||
        !out.u16(v.record_length_after_header,
                 "ERROR: writing header->vlrs[%d].record_length_after_header\n", k) ||
        !out.bytes(v.description, 32, "ERROR: writing header->vlrs[%d].description\n", k)) {
      return false;
    }
    if (v.record_length_after_header) {
      if (!v.data) {
        std::fprintf(stderr, "ERROR: there should be %d bytes of data in header->vlrs[%d].data\n",
                     v.record_length_after_header, k);
        return false;
      }
      if (!out.bytes(v.data.get(), v.record_length_after_header,
                     "ERROR: writing %d bytes of data from header->vlrs[%d].data\n",
                     v.record_length_after_header, k)) {
        return false;
      }
    }
  }

  if (record) {
    char description[32] = {};
    std::snprintf(description, sizeof(description), "by vexpak of Mirvelox (%d)",
                  LAScompressorSetup::kVersionNumber);
    const uint16_t length = static_cast<uint16_t>(record->payload_size());
    if (!out.u16(0xAABB, "ERROR: writing reserved %d\n", 0xAABB) ||
        !out.text(LAScompressorSetup::kUserId, 16, "ERROR: writing user_id %s\n",
                  LAScompressorSetup::kUserId) ||
        !out.u16(LAScompressorSetup::kRecordId, "ERROR: writing record_id %d\n",
                 LAScompressorSetup::kRecordId) ||
        !out.u16(length, "ERROR: writing record_length_after_header %d\n", length) ||
        !out.bytes(description, 32, "ERROR: writing description %s\n", description)) {
      return false;
    }
    const std::vector<uint8_t> payload = record->to_payload();
    if (!out.bytes(payload.data(), length, "ERROR: writing compressor %d\n", record->compressor)) {
      return false;
    }
  }

  if (h->vlr_lastiling) {
    const LAStiling& t = *h->vlr_lastiling;
    char description[33] = {};  // the longest text fills all 32 bytes
    std::snprintf(description, sizeof(description), "tile %s buffer %s",
                  (t.implicit_levels & (1u << 30)) ? "with" : "without",
                  (t.implicit_levels & (1u << 31)) ? ", reversible" : "");
    if (!out.u16(0xAABB, "ERROR: writing header->vlrs[%d].reserved\n", 0) ||
        !out.text("Mirvelox", 16, "ERROR: writing header->vlr_lastiling user_id\n") ||
        !out.u16(10, "ERROR: writing header->vlr_lastiling record_id\n") ||
        !out.u16(28, "ERROR: writing header->vlr_lastiling record_length_after_header\n") ||
        !out.bytes(description, 32, "ERROR: writing header->vlr_lastiling description\n") ||
        !out.u32(t.level, "ERROR: writing header->vlr_lastiling->level %u\n", t.level) ||
        !out.u32(t.level_index, "ERROR: writing header->vlr_lastiling->level_index %u\n",
                 t.level_index) ||
        !out.u32(t.implicit_levels, "ERROR: writing header->vlr_lastiling->implicit_levels %u\n",
                 t.implicit_levels & 0x3FFFFFFF) ||
        !out.bytes(&t.min_x, 4, "ERROR: writing header->vlr_lastiling->min_x %g\n", t.min_x) ||
        !out.bytes(&t.max_x, 4, "ERROR: writing header->vlr_lastiling->max_x %g\n", t.max_x) ||
        !out.bytes(&t.min_y, 4, "ERROR: writing header->vlr_lastiling->min_y %g\n", t.min_y) ||
        !out.bytes(&t.max_y, 4, "ERROR: writing header->vlr_lastiling->max_y %g\n", t.max_y)) {
      return false;
    }
  }

  if (h->vlr_lasoriginal) {
    const LASoriginalVlr& o = *h->vlr_lasoriginal;
    if (!out.u16(0xAABB, "ERROR: writing header->vlr_lasoriginal reserved\n") ||
        !out.text("Mirvelox", 16, "ERROR: writing header->vlr_lasoriginal user_id\n") ||
        !out.u16(20, "ERROR: writing header->vlr_lasoriginal record_id\n") ||
        !out.u16(176, "ERROR: writing header->vlr_lasoriginal record_length_after_header\n") ||
        !out.text("counters and bbox of original", 32,
                  "ERROR: writing header->vlr_lasoriginal description\n")) {
      return false;
    }
    lasoriginal_start_position = stream->position();
    if (!out.u64(o.number_of_point_records,
                 "ERROR: writing header->vlr_lasoriginal->number_of_point_records %u\n",
                 static_cast<unsigned>(o.number_of_point_records))) {
      return false;
    }
    for (int i = 0; i < 15; i++) {
      if (!out.u64(o.number_of_points_by_return[i],
                   "ERROR: writing header->vlr_lasoriginal->number_of_points_by_return[%d] %u\n", i,
                   static_cast<unsigned>(o.number_of_points_by_return[i]))) {
        return false;
      }
    }
    if (!out.f64(o.min_x, "ERROR: writing header->vlr_lasoriginal->min_x %g\n", o.min_x) ||
        !out.f64(o.max_x, "ERROR: writing header->vlr_lasoriginal->max_x %g\n", o.max_x) ||
        !out.f64(o.min_y, "ERROR: writing header->vlr_lasoriginal->min_y %g\n", o.min_y) ||
        !out.f64(o.max_y, "ERROR: writing header->vlr_lasoriginal->max_y %g\n", o.max_y) ||
        !out.f64(o.min_z, "ERROR: writing header->vlr_lasoriginal->min_z %g\n", o.min_z) ||
        !out.f64(o.max_z, "ERROR: writing header->vlr_lasoriginal->max_z %g\n", o.max_z)) {
      return false;
    }
  }

  if (h->user_data_after_header_size) {
    if (!h->user_data_after_header) {
      std::fprintf(stderr,
                   "ERROR: there should be %d bytes of data in header->user_data_after_header\n",
                   static_cast<int>(h->user_data_after_header_size));
      return false;
    }
    if (!out.bytes(h->user_data_after_header.get(), h->user_data_after_header_size,
                   "ERROR: writing %d bytes of data from header->user_data_after_header\n",
                   static_cast<int>(h->user_data_after_header_size))) {
      return false;
    }
  }
  return true;
}

// The header cannot be corrected once the points are out, so the EVLR start
// it says must be right from the start: where uncompressed points of the
// expected count end. Compressed points end nobody knows where; their EVLRs
// are left out rather than announced at a place where they will not be.
void LASwriterLAS::announce_evlrs_unseekable(const LASheader* h, bool compressing) {
  if (!compressing && npoints > 0) {
    start_of_first_extended_variable_length_record =
        int64_t{points_offset} + npoints * int64_t{point_data_record_length};
    return;
  }
  print_note(
      "WARNING: stream not seekable. dropping %u EVLRs that cannot be placed after "
      "compressed points.\n",
      static_cast<unsigned>(h->evlrs.size()));
  start_of_first_extended_variable_length_record = 0;
  number_of_extended_variable_length_records = 0;
  evlrs = nullptr;
}

bool LASwriterLAS::map_items(const std::vector<LASitem>& items) {
  LASpoint layout;
  if (!layout.init_for_items(nullptr, static_cast<uint16_t>(items.size()), items.data(), nullptr)) {
    return false;
  }
  item_offsets.assign(items.size(), -1);
  item_pointers.assign(items.size(), nullptr);
  extra_bytes_scratch.assign(static_cast<size_t>(layout.extra_bytes_number), 0);
  for (size_t i = 0; i < items.size(); i++) {
    if (layout.point_items[i] != layout.extra_bytes.get()) {
      item_offsets[i] = static_cast<int32_t>(layout.point_items[i] - layout.raw());
    }
  }
  return true;
}

bool LASwriterLAS::write_one_point(const LASpoint* point) {
  p_count++;
  if (!writer) return false;
  // The records' items come from the point's fields, whatever order the
  // point's own items have; missing extra bytes are written as 0.
  uint8_t* raw = const_cast<uint8_t*>(point->raw());
  const size_t extra = extra_bytes_scratch.size();
  uint8_t* extra_bytes = point->extra_bytes.get();
  if (extra > 0 && (!extra_bytes || static_cast<size_t>(point->extra_bytes_number) < extra)) {
    std::fill(extra_bytes_scratch.begin(), extra_bytes_scratch.end(), 0);
    if (extra_bytes)
      std::memcpy(extra_bytes_scratch.data(), extra_bytes, point->extra_bytes_number);
    extra_bytes = extra_bytes_scratch.data();
  }
  for (size_t i = 0; i < item_offsets.size(); i++) {
    item_pointers[i] = item_offsets[i] >= 0 ? raw + item_offsets[i] : extra_bytes;
  }
  return writer->write(item_pointers.data());
}

bool LASwriterLAS::close_chunk() {
  return writer && writer->chunk();
}

int64_t LASwriterLAS::close_output(bool update_npoints) {
  if (stream == nullptr) return -1;
  int64_t bytes = -1;
  if (!count_may_change && npoints != p_count && (npoints != 0 || !update_npoints)) {
    print_note("WARNING: written %" PRId64 " points but expected %" PRId64 " points\n", p_count,
               npoints);
  }
  bool ok = true;
  if (writer && !writer->done()) {
    std::fprintf(stderr, "ERROR: finishing the point records\n");
    ok = false;
  }
  writer.reset();

  const int64_t evlr_start = stream->position() - header_start_position;
  const bool has_evlrs = writing_las_1_4 && evlrs && !evlrs->empty();
  if (ok && has_evlrs && evlr_start != start_of_first_extended_variable_length_record &&
      !stream->can_seek()) {
    // Fewer or more points than announced: the EVLRs cannot go where the
    // header says they start.
    print_note("WARNING: stream not seekable. cannot write %u EVLRs at %" PRId64
               " instead of %" PRId64 ".\n",
               static_cast<unsigned>(evlrs->size()), evlr_start,
               start_of_first_extended_variable_length_record);
  } else if (ok && has_evlrs) {
    FieldWriter out(stream);
    const int64_t start = evlr_start;
    for (size_t i = 0; ok && i < evlrs->size(); i++) {
      const LASevlrRecord& e = (*evlrs)[i];
      const int k = static_cast<int>(i);
      ok = out.u16(e.reserved, "ERROR: writing evlrs[%d].reserved\n", k) &&
           out.bytes(e.user_id, 16, "ERROR: writing evlrs[%d].user_id\n", k) &&
           out.u16(e.record_id, "ERROR: writing evlrs[%d].record_id\n", k) &&
           out.u64(e.record_length_after_header,
                   "ERROR: writing evlrs[%d].record_length_after_header\n", k) &&
           out.bytes(e.description, 32, "ERROR: writing evlrs[%d].description\n", k);
      if (ok && e.record_length_after_header) {
        if (!e.data) {
          std::fprintf(stderr, "ERROR: there should be %u bytes of data in evlrs[%d].data\n",
                       static_cast<unsigned>(e.record_length_after_header), k);
          ok = false;
        }
        for (uint64_t done = 0; ok && done < e.record_length_after_header;) {
          const uint32_t piece = static_cast<uint32_t>(
              std::min<uint64_t>(e.record_length_after_header - done, 1u << 30));
          ok = out.bytes(e.data.get() + done, piece,
                         "ERROR: writing %u bytes of data from evlrs[%d].data\n",
                         static_cast<unsigned>(e.record_length_after_header), k);
          done += piece;
        }
      }
    }
    if (ok && start != start_of_first_extended_variable_length_record) {
      const int64_t here = stream->position();
      ok = seek_while_patching(stream, header_start_position + 235) &&
           out.u64(static_cast<uint64_t>(start),
                   "ERROR: updating header->start_of_first_extended_variable_length_record\n") &&
           seek_while_patching(stream, here);
    }
  }

  if (ok && update_npoints && npoints != p_count) {
    if (stream->can_seek()) {
      const int64_t here = stream->position();
      uint32_t legacy;
      if (writing_new_point_type) {
        legacy = 0;
      } else if (p_count >= (int64_t{1} << 32)) {
        legacy = writing_las_1_4 ? 0 : 0xFFFFFFFFu;
      } else {
        legacy = static_cast<uint32_t>(p_count);
      }
      FieldWriter out(stream);
      ok = seek_while_patching(stream, header_start_position + 107) &&
           out.u32(legacy, "ERROR: updating header->number_of_point_records\n");
      if (ok && writing_las_1_4) {
        ok = seek_while_patching(stream, header_start_position + 247) &&
             out.u64(static_cast<uint64_t>(p_count),
                     "ERROR: updating header->extended_number_of_point_records\n");
      }
      ok = ok && seek_while_patching(stream, here);
    } else {
      // The header already out says another count: whoever reads the stream reads wrong points.
      std::fprintf(stderr,
                   "ERROR: stream not seekable. cannot update header from %" PRId64 " to %" PRId64
                   " points.\n",
                   npoints, p_count);
      ok = false;
    }
  }
  if (ok) bytes = stream->position() - header_start_position;
  // Buffered writes fail late: a full disk or a closed pipe may show only when the buffer is
  // flushed or the file closed.
  if (auto* out = dynamic_cast<ByteStreamOutFile*>(stream)) {
    if (!out->flush() || std::fflush(out->get_file()) != 0 || std::ferror(out->get_file())) {
      bytes = -1;
    }
  }
  if (delete_stream) delete stream;
  stream = nullptr;
  if (file && std::fclose(file) != 0) bytes = -1;
  file = nullptr;
  npoints = p_count;
  p_count = 0;
  return bytes;
}

bool LASwriterLAS::rewrite_header(const LASheader* h, bool use_inventory, bool update_extra_bytes) {
  if (h == nullptr) {
    std::fprintf(stderr, "ERROR: header pointer is zero\n");
    return false;
  }
  if (stream == nullptr) {
    std::fprintf(stderr, "ERROR: stream pointer is zero\n");
    return false;
  }
  if (!stream->can_seek()) {
    print_note("WARNING: stream not seekable. cannot update header.\n");
    return false;
  }
  FieldWriter out(stream);
  const uint8_t minor = h->version_minor > 4 ? 4 : h->version_minor;
  const bool new_type = point_data_format > 5;
  constexpr int64_t kU32 = int64_t{1} << 32;
  if (!seek_while_patching(stream, header_start_position + 107)) return false;
  if (use_inventory) {
    uint32_t count;
    if (new_type) {
      count = 0;
    } else if (inventory.number_of_point_records >= kU32) {
      if (minor < 4) {
        print_note("WARNING: too many points in LAS %d.%d file. limit is %u.\n", h->version_major,
                   minor, 0xFFFFFFFFu);
        count = 0xFFFFFFFFu;
      } else {
        count = 0;
      }
    } else {
      count = static_cast<uint32_t>(inventory.number_of_point_records);
    }
    if (!out.u32(count, "ERROR: updating inventory.number_of_point_records\n")) return false;
    npoints = inventory.number_of_point_records;
    for (int i = 0; i < 5; i++) {
      const int64_t n = inventory.number_of_points_by_return[i + 1];
      uint32_t value;
      if (new_type) {
        value = 0;
      } else if (n >= kU32) {
        value = minor < 4 ? 0xFFFFFFFFu : 0;
      } else {
        value = static_cast<uint32_t>(n);
      }
      if (!out.u32(value, "ERROR: updating inventory.number_of_points_by_return[%d]\n", i)) {
        return false;
      }
    }
    if (!seek_while_patching(stream, header_start_position + 179)) return false;
    if (!out.f64(quantizer.get_x(inventory.max_X), "ERROR: updating inventory.max_X\n") ||
        !out.f64(quantizer.get_x(inventory.min_X), "ERROR: updating inventory.min_X\n") ||
        !out.f64(quantizer.get_y(inventory.max_Y), "ERROR: updating inventory.max_Y\n") ||
        !out.f64(quantizer.get_y(inventory.min_Y), "ERROR: updating inventory.min_Y\n") ||
        !out.f64(quantizer.get_z(inventory.max_Z), "ERROR: updating inventory.max_Z\n") ||
        !out.f64(quantizer.get_z(inventory.min_Z), "ERROR: updating inventory.min_Z\n")) {
      return false;
    }
    if (minor >= 4) {
      if (!seek_while_patching(stream, header_start_position + 247)) return false;
      if (!out.u64(static_cast<uint64_t>(inventory.number_of_point_records),
                   "ERROR: updating header->extended_number_of_point_records\n")) {
        return false;
      }
      for (int i = 0; i < 15; i++) {
        if (!out.u64(static_cast<uint64_t>(inventory.number_of_points_by_return[i + 1]),
                     "ERROR: updating header->extended_number_of_points_by_return[%d]\n", i)) {
          return false;
        }
      }
    }
  } else {
    if (!out.u32(new_type ? 0 : h->number_of_point_records,
                 "ERROR: updating header->number_of_point_records\n")) {
      return false;
    }
    npoints = h->number_of_point_records
                  ? h->number_of_point_records
                  : static_cast<int64_t>(h->extended_number_of_point_records);
    for (int i = 0; i < 5; i++) {
      if (!out.u32(new_type ? 0 : h->number_of_points_by_return[i],
                   "ERROR: updating header->number_of_points_by_return[%d]\n", i)) {
        return false;
      }
    }
    if (!seek_while_patching(stream, header_start_position + 179)) return false;
    if (!out.f64(h->max_x, "ERROR: updating header->max_x\n") ||
        !out.f64(h->min_x, "ERROR: updating header->min_x\n") ||
        !out.f64(h->max_y, "ERROR: updating header->max_y\n") ||
        !out.f64(h->min_y, "ERROR: updating header->min_y\n") ||
        !out.f64(h->max_z, "ERROR: updating header->max_z\n") ||
        !out.f64(h->min_z, "ERROR: updating header->min_z\n")) {
      return false;
    }
    if (minor >= 3) {
      if (h->start_of_waveform_data_packet_record != 0) {
        print_note("WARNING: header->start_of_waveform_data_packet_record is %" PRId64
                   ". writing 0 instead.\n",
                   static_cast<int64_t>(h->start_of_waveform_data_packet_record));
      }
      if (!out.u64(0, "ERROR: updating header->start_of_waveform_data_packet_record\n")) {
        return false;
      }
    }
    if (minor >= 4) {
      const uint64_t count = h->number_of_point_records ? h->number_of_point_records
                                                        : h->extended_number_of_point_records;
      if (!out.u64(h->start_of_first_extended_variable_length_record,
                   "ERROR: updating header->start_of_first_extended_variable_length_record\n") ||
          !out.u32(h->number_of_extended_variable_length_records,
                   "ERROR: updating header->number_of_extended_variable_length_records\n") ||
          !out.u64(count, "ERROR: updating header->extended_number_of_point_records\n")) {
        return false;
      }
      for (int i = 0; i < 15; i++) {
        const uint64_t by_return = i < 5 && h->number_of_points_by_return[i]
                                       ? h->number_of_points_by_return[i]
                                       : h->extended_number_of_points_by_return[i];
        if (!out.u64(by_return, "ERROR: updating header->extended_number_of_points_by_return[%d]\n",
                     i)) {
          return false;
        }
      }
    }
  }
  if (!seek_end_after_patching(stream)) return false;
  if (update_extra_bytes && h->number_attributes > 0) {
    int64_t at = header_start_position + written_header_size;
    for (size_t i = 0; i < h->vlrs.size(); i++) {
      const LASvlrRecord& v = h->vlrs[i];
      if (std::strncmp(v.user_id, "LASF_Spec", 16) == 0 && v.record_id == 4) {
        return seek_while_patching(stream, at + 54) &&
               out.bytes(v.data.get(), v.record_length_after_header,
                         "ERROR: writing %d bytes of data from header->vlrs[%d].data\n",
                         v.record_length_after_header, static_cast<int>(i)) &&
               seek_end_after_patching(stream);
      }
      at += 54 + v.record_length_after_header;
    }
    print_note("WARNING: could not find extra bytes VLR for update\n");
  }
  return true;
}
