#ifndef POINTLIB_GEO_GEO_HEADER_RECORDS_HPP
#define POINTLIB_GEO_GEO_HEADER_RECORDS_HPP

// A header's projection records as the projector takes them, each bounded by the length of the
// record it lies in: a file's texts need not end in a zero, and its key directory and double
// parameters must not be read past their records.

#include <string>

#include "core/las_header.hpp"

// The well-known text of the coordinate system; empty when the header has none.
std::string header_ogc_wkt(const LASheader& header);
// Keys of the GeoKey directory that its record holds (0 without a directory).
int header_geo_key_count(const LASheader& header);
// Values of the double parameters that their record holds (0 without one).
int header_geo_double_count(const LASheader& header);

#endif
