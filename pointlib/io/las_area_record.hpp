#ifndef POINTLIB_IO_LAS_AREA_RECORD_HPP
#define POINTLIB_IO_LAS_AREA_RECORD_HPP

#include "core/las_reader.hpp"

// Readers that read through others (merged, buffered) take an area without
// testing their own points: these record it and show it in the header's box,
// and choose no read step.
void las_record_tile(LASreader& reader, float ll_x, float ll_y, float size);
void las_record_circle(LASreader& reader, double center_x, double center_y, double radius);
void las_record_rectangle(LASreader& reader, double min_x, double min_y, double max_x,
                          double max_y);

#endif  // POINTLIB_IO_LAS_AREA_RECORD_HPP
