#ifndef POINTLIB_IO_FORMATS_SIDE_WRITER_HPP
#define POINTLIB_IO_FORMATS_SIDE_WRITER_HPP

#include <cstdint>
#include <cstdio>

#include "core/las_header.hpp"
#include "core/las_writer.hpp"

// Shared by the writers of formats that are not LAS (text, VRML, BIN, QFIT):
// what the point format carries, and the counts of a writer as it starts
// and ends.

// Every format with a time item counts, the LAS 1.4 ones (6 to 10) too.
inline bool side_format_has_time(uint8_t format) {
  return format == 1 || (format >= 3 && format <= 10);
}

// Every format with a colour item counts, the LAS 1.4 ones (7, 8, 10) too.
inline bool side_format_has_rgb(uint8_t format) {
  return format == 2 || format == 3 || format == 5 || format == 7 || format == 8 || format == 10;
}

// False after "ERROR: LASheader pointer is zero" for a null header.
inline bool side_header_given(const LASheader* header) {
  if (header != nullptr) return true;
  std::fprintf(stderr, "ERROR: LASheader pointer is zero\n");
  return false;
}

// Before the first point: the header's quantization, the points it
// announces, none written.
inline void side_begin_points(LASwriter* writer, const LASheader& header) {
  writer->quantizer = static_cast<const LASscaler&>(header);
  writer->npoints = header.number_of_point_records
                        ? int64_t{header.number_of_point_records}
                        : static_cast<int64_t>(header.extended_number_of_point_records);
  writer->p_count = 0;
}

// After the last point: the points written become the count.
inline void side_end_points(LASwriter* writer) {
  writer->npoints = writer->p_count;
  writer->p_count = 0;
}

#endif  // POINTLIB_IO_FORMATS_SIDE_WRITER_HPP
