#ifndef POINTLIB_LAYERS_LAY_FILE_HEADER_HPP
#define POINTLIB_LAYERS_LAY_FILE_HEADER_HPP

// The header of a LAY file: its own 56 bytes (signature, encoding, version,
// number of layers, where they begin) and a 220-byte copy of the public header
// of the point file the layers belong to, plus the LAS 1.4 counts (128 bytes)
// when that file is LAS 1.4. The copy lets a reader refuse a LAY file of
// another point file.

#include <cstdint>
#include <string>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"

class LASreader;

struct LAYheader {
  static constexpr uint32_t kSize = 276;    // LAS below 1.4
  static constexpr uint32_t kSize14 = 404;  // with the LAS 1.4 counts
  static constexpr uint32_t kNumLayersAt = 16;

  char file_signature[4] = {'L', 'A', 'Y', 'F'};
  char file_encoding[4] = {'B', 'I', 'N', '\n'};
  uint8_t version_major = 0;
  uint8_t version_minor = 0;
  uint16_t version_release = 0;
  uint32_t compression = 0;
  uint32_t num_layers = 0;
  uint32_t offset_to_layers = kSize;
  int64_t reserved[4] = {0, 0, 0, 0};

  // 276 or 404, by the point file's LAS version.
  static uint32_t size_for(const LASheader& las) {
    return las.version_minor >= 4 ? kSize14 : kSize;
  }
};

// The reader of a LAY file applies it, the writer extends it: a few
// differences to the point file are warnings for the one, errors for the
// other, and their messages differ.
enum class LAYside { apply, modify };

// Writes the header for the point file's header at the stream's position.
// False after a message.
bool write_lay_header(ByteStreamOut* out, const LASheader& las, uint32_t num_layers);

// Reads and checks the header against the point file's header; leaves the
// stream at the first layer record and keeps the LAY part in `lay`. False
// after a message.
bool read_lay_header(ByteStreamIn* in, const LASheader& las, LAYside side, LAYheader* lay);

// Whether the last of a LAY file's `num_layers` layers ends where the file does (a `file_size` of
// -1 is not known and passes); false after a message. Bytes behind it are a layer that num_layers
// does not count, or the rest of a longer file: the file would not load whole.
bool lay_layers_end_the_file(int64_t end_of_layers, int64_t file_size, uint32_t num_layers);

// The LAY file of a point file: the point file's name, or its base name in
// `directory` when one is given, with the extension .las or .vpk replaced by
// .lay (tile.las and tile.vpk both give tile.lay) and ".lay" appended to any
// other name (p.txt gives p.txt.lay, p.txt.gz p.txt.gz.lay).
std::string lay_file_name(const char* point_file_name, const char* directory);

// The folder of the LAY files of the layer reader and writer: beside each
// point file, or one given.
class LAYfolder {
 public:
  // Null: beside the point file.
  void set(const char* folder) {
    given = folder != nullptr;
    directory = folder ? folder : "";
  }
  std::string lay_file_of(const char* point_file_name) const {
    return lay_file_name(point_file_name, given ? directory.c_str() : nullptr);
  }

 private:
  std::string directory;
  bool given = false;
};

// The reader of the points that the layers belong to, and the point file's
// name: false, after a message, when missing.
bool lay_reader_given(const LASreader* reader);
bool lay_point_file_given(const char* point_file_name);

#endif  // POINTLIB_LAYERS_LAY_FILE_HEADER_HPP
