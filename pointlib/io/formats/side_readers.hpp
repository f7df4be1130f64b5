#ifndef POINTLIB_IO_FORMATS_SIDE_READERS_HPP
#define POINTLIB_IO_FORMATS_SIDE_READERS_HPP

#include "io/formats/side_reader.hpp"

// The readers of BIN, shapefile, ASCII grid, BIL, DTM and QFIT files as the
// read opener and the merged reader make them, by the word that names them
// in "lasreader<word>": "bin", "shp", "asc", "bil", "dtm", "qfit".

// The plain reader of the format, or its rescale, reoffset or rescalereoffset
// variant when scale factors and/or offsets are given (null: none); an ASCII
// grid reads decimal commas with `comma_not_point`. Not yet opened; null for
// a word of no side format.
LASreaderSide* side_make_reader(const char* word, const double* scale, const double* offset,
                                bool comma_not_point = false);

#endif  // POINTLIB_IO_FORMATS_SIDE_READERS_HPP
