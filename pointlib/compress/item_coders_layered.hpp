#ifndef POINTLIB_COMPRESS_ITEM_CODERS_LAYERED_HPP
#define POINTLIB_COMPRESS_ITEM_CODERS_LAYERED_HPP

#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/las_item.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// The layered coders of the extended items (POINT14, RGB14, RGBNIR14,
// WAVEPACKET14, BYTE14). Readers: version 2 or 3 the version-3 coder (no
// version-2 WAVEPACKET14), 4 the version-4 coder, with the layer request
// mask. Writers: versions 3 and 4 only. Null for any other type and version.
// The coders reach the file stream through the chunk's coder. Both come from
// the one coder table of the factory (item_coder_factory.cpp).
std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_layered(
    const LASitem& item, IntervalDecoder* dec, uint32_t layer_request_mask);
std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_layered(const LASitem& item,
                                                                           IntervalEncoder* enc);

#endif
