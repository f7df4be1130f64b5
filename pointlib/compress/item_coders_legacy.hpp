#ifndef POINTLIB_COMPRESS_ITEM_CODERS_LEGACY_HPP
#define POINTLIB_COMPRESS_ITEM_CODERS_LEGACY_HPP

#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/las_item.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// The compressed coders of the legacy items (BYTE, POINT10, GPSTIME11, RGB12
// of versions 1 and 2, WAVEPACKET13 of version 1), built on the chunk's coder.
// Null for any other type and version. Both come from the one coder table
// of the factory (item_coder_factory.cpp).
std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_legacy(const LASitem& item,
                                                                        IntervalDecoder* dec);
std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_legacy(const LASitem& item,
                                                                          IntervalEncoder* enc);

#endif
