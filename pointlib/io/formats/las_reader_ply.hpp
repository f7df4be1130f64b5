#ifndef POINTLIB_IO_FORMATS_LAS_READER_PLY_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_PLY_HPP

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "io/formats/parsed_reader.hpp"
#include "io/formats/side_variants.hpp"

class ByteStreamInFile;

// The vertices of a PLY file, ASCII or binary of either byte order, as
// points. Every vertex property becomes a point field (x, y, z, intensity,
// colour) or an extra-bytes attribute (normals as scaled 16-bit integers,
// anything else in its own type); elements other than the vertices are not
// read.
class LASreaderPLY : public LASreaderParsed {
 public:
  LASreaderPLY();
  ~LASreaderPLY() override;

  bool open_file(const char* file_name, uint8_t point_type = 0, bool populate_header = false);
  // On an open stream, which the reader closes; without a name there is no
  // populate pass.
  bool open(FILE* stream, const char* file_name, uint8_t point_type, bool populate_header);

  int format_code() const override { return LASformatCode::ply; }
  bool seek_point(int64_t index) override;
  void close_input(bool close_stream = true) override;

  // get_parse_string(): one letter per vertex property ("(N)" for attributes
  // from 10 on).
  bool is_binary() const { return stream != nullptr; }

 protected:
  bool read_one_point() override;

 private:
  // How one vertex property is read (binary type) and where it goes.
  struct Property {
    char type;      // f d C c S s i I: float, double, u8, i8, u16, i16, i32, u32
    char letter;    // x y z i R G B, or 'a' for an attribute
    int32_t attribute;
  };
  bool parse_header(bool quiet);
  bool add_property(const char* text, const char* shown, bool quiet);
  bool read_vertex();
  bool read_binary_vertex();
  // False after the message when no quantization holds the box.
  bool choose_scale_and_offset();
  bool first_vertex();
  // A stated vertex count beyond what the rest of a file can hold is cut to
  // that (with a warning), so nothing is sized by a hostile header.
  void bound_vertex_count();
  bool reopen_body(const char* file_name);

  std::unique_ptr<ByteStreamInFile> stream;  // null for an ASCII body
  bool big_endian = false;
  bool binary = false;
  std::vector<Property> properties;
  std::string file_name_kept;
  // The vertex count the header states; the vertices are read up to it.
  int64_t stated_vertices = 0;
};

// The variants put requested scale factors and offsets into the header after
// the plain open by name.
using LASreaderPLYrescale = LASsideRescale<LASreaderPLY>;
using LASreaderPLYreoffset = LASsideReoffset<LASreaderPLY>;
using LASreaderPLYrescalereoffset = LASsideRescaleReoffset<LASreaderPLY>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_PLY_HPP
