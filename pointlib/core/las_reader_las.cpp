#include "core/las_reader_las.hpp"

#include <cinttypes>
#include <cstring>
#include <new>
#include <vector>

#include "core/byte_stream_in.hpp"

#include "core/las_point_record_reader.hpp"
#include "io/las_index.hpp"
#include "platform/run_messages.hpp"

namespace {

// Field reads that turn the stream's end-of-data throw into the field's
// "ERROR: reading ..." line.
class FieldReader {
 public:
  explicit FieldReader(ByteStreamIn* stream) : stream_(stream) {}

  template <typename... Args>
  bool u8(void* value, const char* format, Args... args) {
    return run([&] { *static_cast<uint8_t*>(value) = static_cast<uint8_t>(stream_->read_byte()); },
               format, args...);
  }
  template <typename... Args>
  bool u16(void* value, const char* format, Args... args) {
    return run([&] { stream_->read_u16_le(value); }, format, args...);
  }
  template <typename... Args>
  bool u32(void* value, const char* format, Args... args) {
    return run([&] { stream_->read_u32_le(value); }, format, args...);
  }
  template <typename... Args>
  bool u64(void* value, const char* format, Args... args) {
    return run([&] { stream_->read_u64_le(value); }, format, args...);
  }
  template <typename... Args>
  bool bytes(void* value, uint32_t size, const char* format, Args... args) {
    return run([&] { stream_->read_bytes(static_cast<uint8_t*>(value), size); }, format, args...);
  }

 private:
  template <typename F, typename... Args>
  bool run(F&& read, const char* format, Args... args) {
    try {
      read();
      return true;
    } catch (int) {
      print(format, args...);
      return false;
    }
  }
  // A message without arguments goes out verbatim: a '%' in it is no conversion.
  template <typename... Args>
  static void print(const char* format, Args... args) {
    if constexpr (sizeof...(Args) == 0) {
      std::fputs(format, stderr);
    } else {
      std::fprintf(stderr, format, args...);
    }
  }
  ByteStreamIn* stream_;
};

// Bytes between the position and the end, or -1 when the stream cannot tell.
int64_t bytes_left(ByteStreamIn* stream) {
  if (!stream->can_seek()) return -1;
  const int64_t here = stream->position();
  if (!stream->seek_to_end()) return -1;
  const int64_t end = stream->position();
  stream->seek_to(here);
  return end - here;
}

bool is_user(const char* user_id, const char* name) {
  return std::strncmp(user_id, name, 16) == 0;
}

// What one VLR or EVLR payload means to the header; `extended` picks the
// EVLR wording and drops the checks that only VLRs get.
void interpret_record(LASheader& header, const char* user_id, uint16_t record_id, uint8_t* data,
                      uint64_t length, bool extended) {
  const char* kind = extended ? "extended variable length records" : "variable length records";
  if (is_user(user_id, "LASF_Projection")) {
    if (data == nullptr || length == 0) {
      print_note("WARNING: no payload for LASF_Projection VLR with record_id %d.\n", record_id);
      return;
    }
    switch (record_id) {
      case 34735: {
        if (header.vlr_geo_keys) {
          print_note("WARNING: %s contain more than one GeoKeyDirectoryTag\n", kind);
        }
        // The key count must be covered by the payload, or key look-ups
        // would read past it.
        uint16_t keys = 0;
        if (length >= 8) ByteStreamInArrayLE(data + 6, 2).read_u16_le(&keys);
        if (length < 8 || length < 8 + 8 * static_cast<uint64_t>(keys)) {
          print_note(
              "WARNING: GeoKeyDirectoryTag of %d bytes cannot hold %d keys. ignoring "
              "it.\n",
              static_cast<int>(length), keys);
          return;
        }
        header.vlr_geo_keys = reinterpret_cast<LASvlrGeoKeys*>(data);
        header.vlr_geo_key_entries = reinterpret_cast<LASvlrKeyEntry*>(data + 8);
        const char* who = extended ? "evlr_geo_keys" : "vlr_geo_keys";
        if (header.vlr_geo_keys->key_directory_version != 1) {
          print_note("WARNING: wrong %s->key_directory_version: %d != 1\n", who,
                     header.vlr_geo_keys->key_directory_version);
        }
        if (header.vlr_geo_keys->key_revision != 1) {
          print_note("WARNING: wrong %s->key_revision: %d != 1\n", who,
                     header.vlr_geo_keys->key_revision);
        }
        if (header.vlr_geo_keys->minor_revision != 0) {
          print_note("WARNING: wrong %s->minor_revision: %d != 0\n", who,
                     header.vlr_geo_keys->minor_revision);
        }
        break;
      }
      case 34736:
        if (header.vlr_geo_double_params) {
          print_note("WARNING: %s contain more than one %s\n", kind,
                     extended ? "GeoF64ParamsTag" : "GeoDoubleParamsTag");
        }
        header.vlr_geo_double_params = reinterpret_cast<double*>(data);
        break;
      case 34737:
        if (header.vlr_geo_ascii_params) {
          print_note("WARNING: %s contain more than one GeoAsciiParamsTag\n", kind);
        }
        header.vlr_geo_ascii_params = reinterpret_cast<char*>(data);
        break;
      case 2111:
        if (header.vlr_geo_ogc_wkt_math) {
          print_note("WARNING: %s contain more than one WKT OGC MATH TRANSFORM\n", kind);
        }
        header.vlr_geo_ogc_wkt_math = reinterpret_cast<char*>(data);
        break;
      case 2112:
        if (header.vlr_geo_ogc_wkt) {
          print_note("WARNING: %s contain more than one WKT OGC COORDINATE SYSTEM\n", kind);
        }
        header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(data);
        break;
      default:
        print_note("WARNING: unknown LASF_Projection %s with record_id %d.\n",
                   extended ? "EVLR" : "VLR", record_id);
    }
    return;
  }
  if (!is_user(user_id, "LASF_Spec")) return;
  if (data == nullptr || length == 0) {
    print_note("WARNING: no payload for LASF_Spec (not specification-conform).\n");
    return;
  }
  if (record_id == 0) {
    if (header.vlr_classification) {
      print_note("WARNING: %s contain more than one ClassificationLookup\n", kind);
    }
    header.vlr_classification = reinterpret_cast<LASvlrClassification*>(data);
  } else if (record_id == 4) {
    const uint32_t n = static_cast<uint32_t>(length / sizeof(LASattributeDescriptor));
    std::vector<LASattributeDescriptor> descriptors(n);
    if (n) std::memcpy(descriptors.data(), data, n * sizeof(LASattributeDescriptor));
    header.load_descriptors(n, descriptors.data());
    if (!extended) {
      for (uint32_t i = 0; i < n; i++) {
        if (descriptors[i].data_type > 10) {
          print_note("WARNING: data type %d of attribute %d ('%.32s') is deprecated\n",
                     descriptors[i].data_type, i, descriptors[i].name);
        }
      }
    }
  } else if (record_id >= 100 && record_id < 355) {
    const int index = record_id - 99;
    if (!header.vlr_wave_packet_descr) {
      header.vlr_wave_packet_descr.reset(new LASvlrWavePacketDescr*[256]());
    }
    if (header.vlr_wave_packet_descr[index]) {
      print_note("WARNING: %s defines wave packet descr %d more than once\n",
                 extended ? "extended variable length records" : "variable length records", index);
    }
    if (!extended && length != 26) {
      print_note(
          "WARNING: variable length record payload for wave packet descr %d is %d "
          "instead of 26 bytes\n",
          index, static_cast<int>(length));
    }
    // A shorter payload cannot be read as a descriptor at all.
    if (length < 26) return;
    auto* descr = reinterpret_cast<LASvlrWavePacketDescr*>(data);
    header.vlr_wave_packet_descr[index] = descr;
    if (extended) return;
    const int bits = descr->get_bits_per_sample();
    if (bits != 8 && bits != 16) {
      print_note(
          "WARNING: bits per sample for wave packet descr %d is %d instead of 8 "
          "or 16\n",
          index, bits);
    }
    if (descr->get_number_of_samples() == 0) {
      print_note("WARNING: number of samples for wave packet descr %d is zero\n", index);
    } else if (descr->get_number_of_samples() > 8096) {
      print_note(
          "WARNING: number of samples of %u for wave packet descr %d is with unusually "
          "large\n",
          descr->get_number_of_samples(), index);
    }
    if (descr->get_temporal_spacing() == 0) {
      print_note("WARNING: temporal spacing for wave packet descr %d is zero\n", index);
    }
  }
}

// A tiling record's 28 bytes.
bool read_tiling(FieldReader& in, LAStiling* t) {
  return in.u32(&t->level, "ERROR: reading vlr_lastiling->level %u\n", t->level) &&
         in.u32(&t->level_index, "ERROR: reading vlr_lastiling->level_index %u\n",
                t->level_index) &&
         in.u32(&t->implicit_levels, "ERROR: reading vlr_lastiling->implicit_levels %u\n",
                t->implicit_levels & 0x3FFFFFFF) &&
         in.u32(&t->min_x, "ERROR: reading vlr_lastiling->min_x %g\n", t->min_x) &&
         in.u32(&t->max_x, "ERROR: reading vlr_lastiling->max_x %g\n", t->max_x) &&
         in.u32(&t->min_y, "ERROR: reading vlr_lastiling->min_y %g\n", t->min_y) &&
         in.u32(&t->max_y, "ERROR: reading vlr_lastiling->max_y %g\n", t->max_y);
}

bool read_original(FieldReader& in, LASoriginalVlr* o) {
  if (!in.u64(&o->number_of_point_records,
              "ERROR: reading vlr_lasoriginal->number_of_point_records %u\n",
              static_cast<unsigned>(o->number_of_point_records))) {
    return false;
  }
  for (int i = 0; i < 15; i++) {
    if (!in.u64(&o->number_of_points_by_return[i],
                "ERROR: reading vlr_lasoriginal->number_of_points_by_return[%d] %u\n", i,
                static_cast<unsigned>(o->number_of_points_by_return[i]))) {
      return false;
    }
  }
  return in.u64(&o->min_x, "ERROR: reading vlr_lasoriginal->min_x %g\n", o->min_x) &&
         in.u64(&o->max_x, "ERROR: reading vlr_lasoriginal->max_x %g\n", o->max_x) &&
         in.u64(&o->min_y, "ERROR: reading vlr_lasoriginal->min_y %g\n", o->min_y) &&
         in.u64(&o->max_y, "ERROR: reading vlr_lasoriginal->max_y %g\n", o->max_y) &&
         in.u64(&o->min_z, "ERROR: reading vlr_lasoriginal->min_z %g\n", o->min_z) &&
         in.u64(&o->max_z, "ERROR: reading vlr_lasoriginal->max_z %g\n", o->max_z);
}

// Reads a compressor record's payload of `length` bytes. Too few bytes for
// its own item count refuse it; bytes beyond the items are skipped so that
// the next record is read from its real start.
bool read_compressor(ByteStreamIn* stream, uint64_t length, LAScompressorSetup* setup) {
  std::vector<uint8_t> payload;
  try {
    payload.resize(length);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "ERROR: cannot allocate %" PRIu64 " bytes for the compressor record\n",
                 length);
    return false;
  }
  uint64_t got = 0;
  try {
    for (; got < length; got++) payload[got] = static_cast<uint8_t>(stream->read_byte());
  } catch (int) {
  }
  if (!setup->from_payload(payload.data(), static_cast<uint32_t>(got))) return false;
  if (got < length) return false;
  if (setup->payload_size() != length) {
    print_note("WARNING: compressor record of %" PRIu64
               " bytes holds %d items of %u bytes. skipping the rest.\n",
               length, setup->num_items, setup->payload_size());
  }
  return true;
}

}  // namespace

LASreaderLAS::LASreaderLAS() = default;

LASreaderLAS::~LASreaderLAS() {
  if (reader || stream) close_input(true);
}

int LASreaderLAS::format_code() const {
  return header.vlr_compressor && header.vlr_compressor->compressor != LAScompressorKind::raw
             ? LASformatCode::vpk
             : LASformatCode::las;
}

bool LASreaderLAS::open_file(const char* name, int io_buffer_size, bool peek_only,
                             uint32_t decompress_selective) {
  if (name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  if (file) close_input(true);
  file = std::fopen(name, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s' for read\n", name);
    return false;
  }
  file_name = name;
  if (io_buffer_size > 0 &&
      std::setvbuf(file, nullptr, _IOFBF, static_cast<size_t>(io_buffer_size)) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %d\n", io_buffer_size);
  }
  return open_stream(new ByteStreamInFileLE(file), peek_only, decompress_selective);
}

bool LASreaderLAS::open_cfile(FILE* cfile, bool peek_only, uint32_t decompress_selective) {
  if (cfile == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return false;
  }
  // POSIX streams have no text mode, so standard input needs no switch.
  return open_stream(new ByteStreamInFileLE(cfile), peek_only, decompress_selective);
}

bool LASreaderLAS::open_stream(ByteStreamIn* new_stream, bool peek_only,
                               uint32_t decompress_selective) {
  if (new_stream == nullptr) {
    std::fprintf(stderr, "ERROR: ByteStreamIn* pointer is zero\n");
    return false;
  }
  if (stream && stream != new_stream && delete_stream) delete stream;
  stream = new_stream;
  header.reset();
  point.reset();
  reader.reset();
  checked_end = false;
  read_failed = false;
  evlr_start = 0;
  records_on_file = -1;
  lost_points = false;
  if (!read_header(peek_only)) return false;
  if (peek_only) return true;
  return setup_points(decompress_selective);
}

bool LASreaderLAS::read_header(bool peek_only) {
  FieldReader in(stream);
  LASheader& h = header;
  if (!in.bytes(h.file_signature, 4, "ERROR: reading header.file_signature\n") ||
      !in.u16(&h.file_source_ID, "ERROR: reading header.file_source_ID\n") ||
      !in.u16(&h.global_encoding, "ERROR: reading header.global_encoding\n") ||
      !in.u32(&h.project_ID_GUID_data_1, "ERROR: reading header.project_ID_GUID_data_1\n") ||
      !in.u16(&h.project_ID_GUID_data_2, "ERROR: reading header.project_ID_GUID_data_2\n") ||
      !in.u16(&h.project_ID_GUID_data_3, "ERROR: reading header.project_ID_GUID_data_3\n") ||
      !in.bytes(h.project_ID_GUID_data_4, 8, "ERROR: reading header.project_ID_GUID_data_4\n") ||
      !in.u8(&h.version_major, "ERROR: reading header.version_major\n") ||
      !in.u8(&h.version_minor, "ERROR: reading header.version_minor\n") ||
      !in.bytes(h.system_identifier, 32, "ERROR: reading header.system_identifier\n") ||
      !in.bytes(h.generating_software, 32, "ERROR: reading header.generating_software\n") ||
      !in.u16(&h.file_creation_day, "ERROR: reading header.file_creation_day\n") ||
      !in.u16(&h.file_creation_year, "ERROR: reading header.file_creation_year\n") ||
      !in.u16(&h.header_size, "ERROR: reading header.header_size\n") ||
      !in.u32(&h.offset_to_point_data, "ERROR: reading header.offset_to_point_data\n") ||
      !in.u32(&h.number_of_variable_length_records,
              "ERROR: reading header.number_of_variable_length_records\n") ||
      !in.u8(&h.point_data_format, "ERROR: reading header.point_data_format\n") ||
      !in.u16(&h.point_data_record_length, "ERROR: reading header.point_data_record_length\n") ||
      !in.u32(&h.number_of_point_records, "ERROR: reading header.number_of_point_records\n")) {
    return false;
  }
  for (int i = 0; i < 5; i++) {
    if (!in.u32(&h.number_of_points_by_return[i],
                "ERROR: reading header.number_of_points_by_return %d\n", i)) {
      return false;
    }
  }
  if (!in.u64(&h.x_scale_factor, "ERROR: reading header.x_scale_factor\n") ||
      !in.u64(&h.y_scale_factor, "ERROR: reading header.y_scale_factor\n") ||
      !in.u64(&h.z_scale_factor, "ERROR: reading header.z_scale_factor\n") ||
      !in.u64(&h.x_offset, "ERROR: reading header.x_offset\n") ||
      !in.u64(&h.y_offset, "ERROR: reading header.y_offset\n") ||
      !in.u64(&h.z_offset, "ERROR: reading header.z_offset\n") ||
      !in.u64(&h.max_x, "ERROR: reading header.max_x\n") ||
      !in.u64(&h.min_x, "ERROR: reading header.min_x\n") ||
      !in.u64(&h.max_y, "ERROR: reading header.max_y\n") ||
      !in.u64(&h.min_y, "ERROR: reading header.min_y\n") ||
      !in.u64(&h.max_z, "ERROR: reading header.max_z\n") ||
      !in.u64(&h.min_z, "ERROR: reading header.min_z\n")) {
    return false;
  }
  // The header was read field by field, so nothing of the defaults is left in
  // the counts of VLRs that the reading below rebuilds.
  if (!h.validate()) return false;

  uint32_t known = 227;
  if (h.version_major == 1 && h.version_minor >= 3) {
    if (h.header_size >= 235) {
      if (!in.u64(&h.start_of_waveform_data_packet_record,
                  "ERROR: reading header.start_of_waveform_data_packet_record\n")) {
        return false;
      }
      known = 235;
    } else {
      print_note("WARNING: for LAS 1.%d header_size should at least be 235 but it is only %d\n",
                 h.version_minor, h.header_size);
    }
  }
  if (h.version_major == 1 && h.version_minor >= 4) {
    if (h.header_size < 375) {
      std::fprintf(stderr,
                   "ERROR: for LAS 1.%d header_size should at least be 375 but it is only %d\n",
                   h.version_minor, h.header_size);
      return false;
    }
    if (!in.u64(&h.start_of_first_extended_variable_length_record,
                "ERROR: reading header.start_of_first_extended_variable_length_record\n") ||
        !in.u32(&h.number_of_extended_variable_length_records,
                "ERROR: reading header.number_of_extended_variable_length_records\n") ||
        !in.u64(&h.extended_number_of_point_records,
                "ERROR: reading header.extended_number_of_point_records\n")) {
      return false;
    }
    for (int i = 0; i < 15; i++) {
      if (!in.u64(&h.extended_number_of_points_by_return[i],
                  "ERROR: reading header.extended_number_of_points_by_return[%d]\n", i)) {
        return false;
      }
    }
    known = 375;
  }
  h.user_data_in_header_size = h.header_size - known;
  if (h.user_data_in_header_size) {
    h.user_data_in_header.reset(new uint8_t[h.user_data_in_header_size]);
    if (!in.bytes(h.user_data_in_header.get(), h.user_data_in_header_size,
                  "ERROR: reading %d bytes of data into header.user_data_in_header\n",
                  static_cast<int>(h.user_data_in_header_size))) {
      return false;
    }
  }
  npoints = h.number_of_point_records ? h.number_of_point_records
                                      : static_cast<int64_t>(h.extended_number_of_point_records);
  p_count = 0;
  if (peek_only) {
    h.point_data_format &= 0x7F;
    return true;
  }

  bool vlrs_cut = false;
  if (!read_vlrs(&vlrs_cut)) return false;
  if (!read_evlrs()) return false;

  if (h.vlr_compressor && !h.vlr_compressor->validate(h.point_data_record_length)) {
    std::fprintf(stderr, "ERROR: %s\n", h.vlr_compressor->last_error());
    std::fprintf(stderr, "       please upgrade to the latest release of Mirvelox (with Vexpak)\n");
    std::fprintf(stderr, "       or contact the makers of Mirvelox for assistance.\n");
    return false;
  }
  // Every point has coordinates: a list that does not begin with them
  // describes no point that could be read or copied.
  if (h.vlr_compressor && !h.vlr_compressor->items[0].is_type(LASitem::POINT10) &&
      !h.vlr_compressor->items[0].is_type(LASitem::POINT14)) {
    std::fprintf(stderr, "ERROR: first LASitem is neither POINT10 nor POINT14\n");
    return false;
  }
  if (h.point_data_format > 63) {
    if (!h.vlr_compressor) {
      if (vlrs_cut) {
        std::fprintf(stderr,
                     "ERROR: your VPK file has corruptions in the LAS header resulting in\n");
        std::fprintf(stderr, "ERROR: the vexpak VLR being lost. maybe your download failed?\n");
      } else {
        std::fprintf(stderr,
                     "ERROR: this file was compressed with an experimental version of "
                     "vexpak\n");
        std::fprintf(stderr, "       please contact the makers of Mirvelox for assistance.\n");
      }
      return false;
    }
    h.point_data_format &= 0x7F;
  }
  // With a compressor record the items come from the record, compressed or
  // not, but the header names the format a copy is written in; one that is no
  // point format cannot be copied or read back.
  if (h.vlr_compressor && h.point_data_format > 10) {
    std::fprintf(stderr, "ERROR: unknown point type %d with point size %d\n", h.point_data_format,
                 h.point_data_record_length);
    return false;
  }
  return true;
}

bool LASreaderLAS::read_vlrs(bool* vlrs_cut) {
  FieldReader in(stream);
  LASheader& h = header;
  const uint32_t announced = h.number_of_variable_length_records;
  // The announced count is not trusted for any allocation up front: the
  // list grows with the records actually read.
  h.vlrs.clear();
  int64_t vlrs_size = 0;
  for (uint32_t k = 0; k < announced; k++) {
    const int64_t left = static_cast<int64_t>(h.offset_to_point_data) - h.header_size - vlrs_size;
    const int slot = static_cast<int>(h.vlrs.size());
    if (left < 54) {
      print_note(
          "WARNING: only %d bytes until point block after reading %d of %d vlrs. "
          "skipping remaining vlrs ...\n",
          static_cast<int>(left), static_cast<int>(k), static_cast<int>(announced));
      *vlrs_cut = true;
      break;
    }
    LASvlrRecord vlr;
    if (!in.u16(&vlr.reserved, "ERROR: reading header.vlrs[%d].reserved\n", slot) ||
        !in.bytes(vlr.user_id, 16, "ERROR: reading header.vlrs[%d].user_id\n", slot) ||
        !in.u16(&vlr.record_id, "ERROR: reading header.vlrs[%d].record_id\n", slot) ||
        !in.u16(&vlr.record_length_after_header,
                "ERROR: reading header.vlrs[%d].record_length_after_header\n", slot) ||
        !in.bytes(vlr.description, 32, "ERROR: reading header.vlrs[%d].description\n", slot)) {
      return false;
    }
    if (54 + vlr.record_length_after_header > left) {
      print_note(
          "WARNING: only %d bytes until point block when trying to read %d bytes into "
          "header.vlrs[%d].data\n",
          static_cast<int>(left - 54), vlr.record_length_after_header, slot);
      vlr.record_length_after_header = static_cast<uint16_t>(left - 54);
    }
    const uint16_t length = vlr.record_length_after_header;
    const bool compressor = is_user(vlr.user_id, LAScompressorSetup::kUserId);
    const bool tiling = (is_user(vlr.user_id, "Mirvelox") && vlr.record_id == 10) ||
                        is_user(vlr.user_id, "mirvelox tile");
    const bool original = is_user(vlr.user_id, "Mirvelox") && vlr.record_id == 20;
    const bool remove =
        compressor || tiling || (is_user(vlr.user_id, "Mirvelox") && vlr.record_id < 2000);
    if (length) {
      if (compressor) {
        std::unique_ptr<LAScompressorSetup> setup(new LAScompressorSetup);
        if (!read_compressor(stream, length, setup.get())) return false;
        h.vlr_compressor = std::move(setup);
      } else if (tiling || original) {
        const int expected = tiling ? 28 : 176;
        if (length != expected) {
          std::fprintf(stderr,
                       "ERROR: record_length_after_header of VLR %.16s (%d) is %d instead of %d\n",
                       vlr.user_id, vlr.record_id, length, expected);
          return false;
        }
        if (tiling) {
          std::unique_ptr<LAStiling> t(new LAStiling);
          if (!read_tiling(in, t.get())) return false;
          h.vlr_lastiling = std::move(t);
        } else {
          std::unique_ptr<LASoriginalVlr> o(new LASoriginalVlr);
          if (!read_original(in, o.get())) return false;
          h.vlr_lasoriginal = std::move(o);
        }
      } else {
        vlr.data.reset(new uint8_t[length]);
        if (!in.bytes(vlr.data.get(), length,
                      "ERROR: reading %d bytes of data into header.vlrs[%d].data\n",
                      static_cast<int>(length), slot)) {
          return false;
        }
      }
    }
    if (remove) {
      h.offset_to_point_data -= 54 + length;
      continue;
    }
    vlrs_size += 54 + length;
    interpret_record(h, vlr.user_id, vlr.record_id, vlr.data.get(), length, false);
    h.vlrs.push_back(std::move(vlr));
  }
  h.number_of_variable_length_records = static_cast<uint32_t>(h.vlrs.size());

  const int64_t after = static_cast<int64_t>(h.offset_to_point_data) - h.header_size - vlrs_size;
  if (after > 0) {
    // offset_to_point_data may claim gigabytes the file does not have
    const int64_t left = bytes_left(stream);
    if (left >= 0 && after > left) {
      std::fprintf(stderr, "ERROR: reading %u bytes of data into header.user_data_after_header\n",
                   static_cast<unsigned>(after));
      return false;
    }
    h.user_data_after_header_size = static_cast<uint32_t>(after);
    h.user_data_after_header.reset(new (std::nothrow) uint8_t[after]);
    if (!h.user_data_after_header) {
      h.user_data_after_header_size = 0;
      std::fprintf(stderr, "ERROR: cannot allocate %u bytes for header.user_data_after_header\n",
                   static_cast<unsigned>(after));
      return false;
    }
    if (!in.bytes(h.user_data_after_header.get(), static_cast<uint32_t>(after),
                  "ERROR: reading %d bytes of data into header.user_data_after_header\n",
                  static_cast<int>(after))) {
      return false;
    }
  }
  return true;
}

bool LASreaderLAS::read_evlrs() {
  LASheader& h = header;
  if (h.version_major != 1 || h.version_minor < 4 ||
      h.number_of_extended_variable_length_records == 0) {
    return true;
  }
  evlr_start = h.start_of_first_extended_variable_length_record;
  if (!stream->can_seek()) {
    print_note("WARNING: LAS %d.%d file has %d EVLRs but stream is not seekable ...\n",
               h.version_major, h.version_minor,
               static_cast<int>(h.number_of_extended_variable_length_records));
    h.number_of_extended_variable_length_records = 0;
    return true;
  }
  FieldReader in(stream);
  const int64_t here = stream->position();
  // The lengths and the count are bounded by the bytes the file really has.
  stream->seek_to_end();
  const int64_t file_size = stream->position();
  const uint32_t announced = h.number_of_extended_variable_length_records;
  h.evlrs.clear();
  const uint64_t start = h.start_of_first_extended_variable_length_record;
  if (start > static_cast<uint64_t>(file_size) || file_size - static_cast<int64_t>(start) < 60) {
    // The writer could not put them where it said (a stream it could not
    // seek back on ended before its points did): the points are still there.
    print_note("WARNING: no EVLRs at start_of_first_extended_variable_length_record %" PRIu64
               " of a file of %" PRId64 " bytes. skipping %u EVLRs ...\n",
               start, file_size, static_cast<unsigned>(announced));
    h.number_of_extended_variable_length_records = 0;
    stream->seek_to(here);
    return true;
  }
  bool ok = stream->seek_to(static_cast<int64_t>(start));
  if (!ok) {
    std::fprintf(stderr,
                 "ERROR: seeking to header.start_of_first_extended_variable_length_record %" PRIu64
                 "\n",
                 start);
  }
  for (uint32_t k = 0; ok && k < announced; k++) {
    const int slot = static_cast<int>(h.evlrs.size());
    LASevlrRecord evlr;
    ok = in.u16(&evlr.reserved, "ERROR: reading header.evlrs[%d].reserved\n", slot) &&
         in.bytes(evlr.user_id, 16, "ERROR: reading header.evlrs[%d].user_id\n", slot) &&
         in.u16(&evlr.record_id, "ERROR: reading header.evlrs[%d].record_id\n", slot) &&
         in.u64(&evlr.record_length_after_header,
                "ERROR: reading header.evlrs[%d].record_length_after_header\n", slot) &&
         in.bytes(evlr.description, 32, "ERROR: reading header.evlrs[%d].description\n", slot);
    if (!ok) break;
    const uint64_t length = evlr.record_length_after_header;
    const int64_t left = file_size - stream->position();
    if (length > static_cast<uint64_t>(left < 0 ? 0 : left)) {
      std::fprintf(stderr,
                   "ERROR: header.evlrs[%d] claims %" PRIu64 " bytes but only %" PRId64
                   " remain in the file\n",
                   slot, length, left);
      ok = false;
      break;
    }
    const bool compressor = is_user(evlr.user_id, LAScompressorSetup::kUserId);
    const bool mirvelox = is_user(evlr.user_id, "Mirvelox");
    if (length) {
      if (compressor) {
        std::unique_ptr<LAScompressorSetup> setup(new LAScompressorSetup);
        ok = read_compressor(stream, length, setup.get());
        if (ok) h.vlr_compressor = std::move(setup);
      } else if (mirvelox && evlr.record_id == 10) {
        if (length != 28) {
          std::fprintf(stderr,
                       "ERROR: record_length_after_header of EVLR %.16s (%d) is %u instead of 28\n",
                       evlr.user_id, evlr.record_id, static_cast<unsigned>(length));
          ok = false;
        } else {
          std::unique_ptr<LAStiling> t(new LAStiling);
          ok = read_tiling(in, t.get());
          if (ok) h.vlr_lastiling = std::move(t);
        }
      } else {
        evlr.data.reset(new (std::nothrow) uint8_t[length]);
        if (!evlr.data) {
          std::fprintf(stderr, "ERROR: cannot allocate %" PRIu64 " bytes for header.evlrs[%d]\n",
                       length, slot);
          ok = false;
        } else {
          // read in pieces: the stream takes 32-bit lengths
          for (uint64_t done = 0; ok && done < length;) {
            const uint32_t piece =
                static_cast<uint32_t>(std::min<uint64_t>(length - done, 1u << 30));
            ok = in.bytes(evlr.data.get() + done, piece,
                          "ERROR: reading %d bytes of data into header.evlrs[%d].data\n",
                          static_cast<int>(length), slot);
            done += piece;
          }
        }
      }
      if (!ok) break;
    }
    if (compressor || mirvelox) continue;
    interpret_record(h, evlr.user_id, evlr.record_id, evlr.data.get(), length, true);
    h.evlrs.push_back(std::move(evlr));
  }
  h.number_of_extended_variable_length_records = static_cast<uint32_t>(h.evlrs.size());
  stream->seek_to(here);
  return ok;
}

bool LASreaderLAS::setup_points(uint32_t decompress_selective) {
  LASheader& h = header;
  bool laid_out;
  if (h.vlr_compressor) {
    laid_out =
        point.init_for_items(&h, h.vlr_compressor->num_items, h.vlr_compressor->items.data(), &h);
  } else {
    // Records shorter than their format cannot hold its fields: read with
    // the format's size, every point after the first would be made of the
    // bytes of two records.
    const uint16_t standard = LAScompressorSetup::standard_point_size(h.point_data_format);
    if (h.point_data_record_length < standard) {
      std::fprintf(stderr, "ERROR: point size %d too small by %d bytes for point type %d\n",
                   h.point_data_record_length, standard - h.point_data_record_length,
                   h.point_data_format);
      return false;
    }
    laid_out = point.init_for_point_type(&h, h.point_data_format, h.point_data_record_length, &h);
  }
  if (!laid_out) return false;
  // The records are as long as their items, whatever the header says;
  // whoever copies the header must see the size that was read.
  if (point.total_point_size != static_cast<int32_t>(h.point_data_record_length)) {
    h.point_data_record_length = static_cast<uint16_t>(point.total_point_size);
  }
  // Likewise the format: a compressor record's items that make a standard
  // record name its format, whatever the header's byte says.
  if (h.vlr_compressor) {
    LAScompressorSetup probe;
    uint8_t format = 0;
    uint16_t size = 0;
    if (probe.derive_point_type(point.num_items, point.items.data(), &format, &size)) {
      h.point_data_format = format;
    }
  }
  // Attributes that claim more than the records' extra bytes are refused, so
  // no attribute access runs past a point's extra bytes.
  h.check_extra_bytes(point.extra_bytes_number);
  reader.reset(new LASpointRecordReader(decompress_selective));
  if (!reader->setup(point.num_items, point.items.data(), h.vlr_compressor.get())) {
    std::fprintf(stderr, "ERROR: point type %d of size %d not supported\n", h.point_data_format,
                 h.point_data_record_length);
    return false;
  }
  read_special_evlrs();
  if (!reader->init(stream)) return false;
  if (!h.vlr_compressor || h.vlr_compressor->compressor == LAScompressorKind::raw) {
    count_records_on_file();
  }
  checked_end = false;
  return true;
}

void LASreaderLAS::count_records_on_file() {
  const int64_t start = stream->position();
  int64_t end = -1;
  if (evlr_start > static_cast<uint64_t>(start)) end = static_cast<int64_t>(evlr_start);
  const int64_t left = bytes_left(stream);
  if (left >= 0 && (end < 0 || start + left < end)) end = start + left;
  if (end >= 0 && point.total_point_size > 0) {
    records_on_file = (end - start) / point.total_point_size;
  }
}

void LASreaderLAS::read_special_evlrs() {
  const LAScompressorSetup* setup = header.vlr_compressor.get();
  if (!setup || setup->number_of_special_evlrs <= 0 ||
      setup->offset_to_special_evlrs < static_cast<int64_t>(header.offset_to_point_data) ||
      !stream->can_seek()) {
    return;
  }
  const int64_t here = stream->position();
  int64_t at = setup->offset_to_special_evlrs;
  try {
    for (int64_t i = 0; i < setup->number_of_special_evlrs; i++) {
      char user_id[16];
      uint16_t record_id = 0;
      uint64_t length = 0;
      if (!stream->seek_to(at + 2)) throw -1;
      stream->read_bytes(reinterpret_cast<uint8_t*>(user_id), 16);
      stream->read_u16_le(&record_id);
      if (is_user(user_id, "Mirvelox") && record_id == 30) {
        stream->seek_to(at + 60);
        LASindex* found = new LASindex;
        if (found->read_from_stream(stream)) {
          set_index(found);
        } else {
          delete found;
        }
        break;
      }
      stream->read_u64_le(&length);
      at += 60 + static_cast<int64_t>(length);
    }
  } catch (int) {
    std::fprintf(stderr, "ERROR: trying to read %u internal EVLRs. ignoring ...\n",
                 static_cast<unsigned>(setup->number_of_special_evlrs));
  }
  stream->seek_to(here);
}

bool LASreaderLAS::seek_point(int64_t index) {
  if (!reader || index < 0 || index >= npoints) return false;
  if (!reader->seek(p_count, index)) return false;
  p_count = index;
  // The record reader stands on a point it can read: a failure reported
  // before the seek no longer ends the reading.
  read_failed = false;
  return true;
}

bool LASreaderLAS::read_one_point() {
  if (!reader) return false;
  if (read_failed) return false;
  while (p_count < npoints) {
    const bool on_file = records_on_file < 0 || p_count < records_on_file;
    if (on_file && reader->read(point.point_items.data())) {
      point.clear_unstored_fields();
      p_count++;
      return true;
    }
    report_read_failure();
    // A corrupt chunk is skipped: the points of the chunks after it can
    // still be read.
    const int64_t next = on_file ? reader->resume_index() : -1;
    if (next < p_count) {
      read_failed = true;
      return false;
    }
    p_count = next;
  }
  if (!checked_end) {
    if (!reader->check_end()) {
      lost_points = true;
      std::fprintf(stderr, "ERROR: '%s' when reaching end of encoding\n",
                   reader->error() ? reader->error() : "");
      p_count--;
    }
    if (reader->warning()) print_note("WARNING: '%s'\n", reader->warning());
    checked_end = true;
  }
  return false;
}

void LASreaderLAS::report_read_failure() {
  if (reader->warning()) {
    print_note("WARNING: '%s' for '%s'\n", reader->warning(), file_name.c_str());
  }
  if (reader->error()) {
    lost_points = true;
    std::fprintf(stderr, "ERROR: '%s' after %" PRId64 " of %" PRId64 " points for '%s'\n",
                 reader->error(), p_count, npoints, file_name.c_str());
  } else {
    end_short("WARNING: end-of-file after %" PRId64 " of %" PRId64 " points for '%s'\n", p_count,
              npoints, file_name.c_str());
  }
  reader->clear_messages();
}

void LASreaderLAS::close_input(bool close_stream) {
  if (reader) reader->done();
  reader.reset();
  if (close_stream) {
    if (stream && delete_stream) delete stream;
    stream = nullptr;
    if (file) std::fclose(file);
    file = nullptr;
    file_name.clear();
  }
}

// ---------------------------------------------------------------------------
// re-quantizing variants

namespace {

const char* const kBoundNames[3][2] = {{"min_x", "max_x"}, {"min_y", "max_y"}, {"min_z", "max_z"}};

double* scale_of(LASheader& h, int axis) {
  return axis == 0 ? &h.x_scale_factor : axis == 1 ? &h.y_scale_factor : &h.z_scale_factor;
}
double* offset_of(LASheader& h, int axis) {
  return axis == 0 ? &h.x_offset : axis == 1 ? &h.y_offset : &h.z_offset;
}
void bounds_of(const LASheader& h, int axis, double out[2]) {
  out[0] = axis == 0 ? h.min_x : axis == 1 ? h.min_y : h.min_z;
  out[1] = axis == 0 ? h.max_x : axis == 1 ? h.max_y : h.max_z;
}
int32_t* integer_of(LASpoint& p, int axis) {
  return axis == 0 ? &p.X : axis == 1 ? &p.Y : &p.Z;
}

bool overflows(double value) {
  return !LASscaler::fits32(las_round_i64(value));
}

}  // namespace

LASreaderLASrescale::LASreaderLASrescale(double x_scale_factor, double y_scale_factor,
                                         double z_scale_factor, bool check)
    : check_for_overflow(check), scale_factor{x_scale_factor, y_scale_factor, z_scale_factor} {}

void LASreaderLASrescale::apply_rescale() {
  bool* flags[3] = {&rescale_x, &rescale_y, &rescale_z};
  for (int a = 0; a < 3; a++) {
    double* s = scale_of(header, a);
    orig_scale_factor[a] = *s;
    *flags[a] = false;
    if (scale_factor[a] != 0.0 && scale_factor[a] != *s) {
      *s = scale_factor[a];
      *flags[a] = true;
    }
  }
}

bool LASreaderLASrescale::open_stream(ByteStreamIn* new_stream, bool peek_only,
                                      uint32_t decompress_selective) {
  if (!LASreaderLAS::open_stream(new_stream, peek_only, decompress_selective)) return false;
  apply_rescale();
  if (!check_for_overflow) return true;
  const bool flags[3] = {rescale_x, rescale_y, rescale_z};
  for (int a = 0; a < 3; a++) {
    if (!flags[a]) continue;
    double bounds[2];
    bounds_of(header, a, bounds);
    for (int b = 0; b < 2; b++) {
      const double n = static_cast<double>(
          las_round_i64((bounds[b] - *offset_of(header, a)) / orig_scale_factor[a]));
      if (overflows(n * orig_scale_factor[a] / scale_factor[a])) {
        // The re-quantized integers would not fit the point's fields.
        std::fprintf(stderr, "ERROR: rescaling from %g to %g causes LAS integer overflow for %s\n",
                     orig_scale_factor[a], scale_factor[a], kBoundNames[a][b]);
        return false;
      }
    }
  }
  return true;
}

bool LASreaderLASrescale::read_one_point() {
  if (!LASreaderLAS::read_one_point()) return false;
  const bool flags[3] = {rescale_x, rescale_y, rescale_z};
  for (int a = 0; a < 3; a++) {
    if (!flags[a]) continue;
    int32_t* v = integer_of(point, a);
    *v = LASscaler::clamp32(las_round_i64(*v * orig_scale_factor[a] / scale_factor[a]));
  }
  return true;
}

LASreaderLASreoffset::LASreaderLASreoffset(double x_offset, double y_offset, double z_offset)
    : auto_reoffset(false), offset{x_offset, y_offset, z_offset} {}

LASreaderLASreoffset::LASreaderLASreoffset() : auto_reoffset(true), offset{0.0, 0.0, 0.0} {}

void LASreaderLASreoffset::apply_reoffset() {
  if (auto_reoffset) {
    for (int a = 0; a < 3; a++) {
      double bounds[2];
      bounds_of(header, a, bounds);
      const double s = *scale_of(header, a);
      if (bounds[0] > -2e307 && bounds[0] < 2e307 && bounds[1] > -2e307 && bounds[1] < 2e307) {
        offset[a] = static_cast<double>(static_cast<int64_t>((bounds[0] + bounds[1]) / s / 2e7)) *
                    10000000 * s;
      } else {
        offset[a] = 0.0;
      }
    }
  }
  bool* flags[3] = {&reoffset_x, &reoffset_y, &reoffset_z};
  for (int a = 0; a < 3; a++) {
    double* o = offset_of(header, a);
    orig_offset[a] = *o;
    *flags[a] = false;
    if (offset[a] != *o) {
      *o = offset[a];
      *flags[a] = true;
    }
  }
}

bool LASreaderLASreoffset::open_stream(ByteStreamIn* new_stream, bool peek_only,
                                       uint32_t decompress_selective) {
  if (!LASreaderLAS::open_stream(new_stream, peek_only, decompress_selective)) return false;
  apply_reoffset();
  const bool flags[3] = {reoffset_x, reoffset_y, reoffset_z};
  for (int a = 0; a < 3; a++) {
    if (!flags[a]) continue;
    double bounds[2];
    bounds_of(header, a, bounds);
    const double s = *scale_of(header, a);
    for (int b = 0; b < 2; b++) {
      const double n = static_cast<double>(las_round_i64((bounds[b] - orig_offset[a]) / s));
      if (overflows((n * s + orig_offset[a] - offset[a]) / s)) {
        std::fprintf(stderr,
                     "ERROR: reoffsetting from %g to %g causes LAS integer overflow for %s\n",
                     orig_offset[a], offset[a], kBoundNames[a][b]);
        return false;
      }
    }
  }
  return true;
}

bool LASreaderLASreoffset::read_one_point() {
  if (!LASreaderLAS::read_one_point()) return false;
  const bool flags[3] = {reoffset_x, reoffset_y, reoffset_z};
  for (int a = 0; a < 3; a++) {
    if (!flags[a]) continue;
    const double s = *scale_of(header, a);
    int32_t* v = integer_of(point, a);
    *v = LASscaler::clamp32(las_round_i64((*v * s + orig_offset[a] - offset[a]) / s));
  }
  return true;
}

LASreaderLASrescalereoffset::LASreaderLASrescalereoffset(double x_scale_factor,
                                                         double y_scale_factor,
                                                         double z_scale_factor, double x_offset,
                                                         double y_offset, double z_offset)
    : LASreaderLASrescale(x_scale_factor, y_scale_factor, z_scale_factor, false),
      LASreaderLASreoffset(x_offset, y_offset, z_offset) {}

LASreaderLASrescalereoffset::LASreaderLASrescalereoffset(double x_scale_factor,
                                                         double y_scale_factor,
                                                         double z_scale_factor)
    : LASreaderLASrescale(x_scale_factor, y_scale_factor, z_scale_factor, false),
      LASreaderLASreoffset() {}

bool LASreaderLASrescalereoffset::open_stream(ByteStreamIn* new_stream, bool peek_only,
                                              uint32_t decompress_selective) {
  if (!LASreaderLAS::open_stream(new_stream, peek_only, decompress_selective)) return false;
  apply_rescale();
  apply_reoffset();
  const bool rescaled[3] = {rescale_x, rescale_y, rescale_z};
  const bool reoffset[3] = {reoffset_x, reoffset_y, reoffset_z};
  for (int a = 0; a < 3; a++) {
    if (!rescaled[a] && !reoffset[a]) continue;
    double bounds[2];
    bounds_of(header, a, bounds);
    const double new_scale = *scale_of(header, a);
    for (int b = 0; b < 2; b++) {
      const double n =
          static_cast<double>(las_round_i64((bounds[b] - orig_offset[a]) / orig_scale_factor[a]));
      const double v = reoffset[a] ? n * orig_scale_factor[a] + orig_offset[a] - offset[a]
                                   : n * orig_scale_factor[a];
      if (overflows(v / new_scale)) {
        std::fprintf(stderr,
                     "ERROR: rescaling from %g to %g and reoffsetting from %g to %g causes LAS "
                     "integer overflow for %s\n",
                     orig_scale_factor[a], new_scale, orig_offset[a], *offset_of(header, a),
                     kBoundNames[a][b]);
        return false;
      }
    }
  }
  return true;
}

bool LASreaderLASrescalereoffset::read_one_point() {
  if (!LASreaderLAS::read_one_point()) return false;
  for (int a = 0; a < 3; a++) {
    const bool rescaled = a == 0 ? rescale_x : a == 1 ? rescale_y : rescale_z;
    const bool moved = a == 0 ? reoffset_x : a == 1 ? reoffset_y : reoffset_z;
    const double new_scale = *scale_of(header, a);
    int32_t* v = integer_of(point, a);
    if (moved) {
      *v = LASscaler::clamp32(
          las_round_i64((*v * orig_scale_factor[a] + orig_offset[a] - offset[a]) / new_scale));
    } else if (rescaled) {
      *v = LASscaler::clamp32(las_round_i64(*v * orig_scale_factor[a] / new_scale));
    }
  }
  return true;
}
