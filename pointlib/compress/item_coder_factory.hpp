#ifndef POINTLIB_COMPRESS_ITEM_CODER_FACTORY_HPP
#define POINTLIB_COMPRESS_ITEM_CODER_FACTORY_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/las_item.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// Makes the compressed item coder for an item's type and version. The
// point-record reader and writer ask it once per item at set-up; a null result
// fails the set-up. The standard factory knows the coders of versions 1 to 4;
// tests may hand the reader and writer a factory of their own.
class LASitemCoderFactory {
 public:
  virtual ~LASitemCoderFactory() = default;

  // Reader versions: BYTE, POINT10, GPSTIME11, RGB12: 1 and 2; WAVEPACKET13: 1;
  // POINT14, RGB14, RGBNIR14, BYTE14: 2 and 3 (the version-3 coder) and 4;
  // WAVEPACKET14: 3 and 4. The layered readers take the layer request mask.
  virtual std::unique_ptr<LASreadItemCompressed> make_reader(const LASitem& item,
                                                             IntervalDecoder* decoder,
                                                             uint32_t layer_request_mask) const;
  // Writer versions as the reader's, except that the layered items take only
  // 3 and 4.
  virtual std::unique_ptr<LASwriteItemCompressed> make_writer(const LASitem& item,
                                                              IntervalEncoder* encoder) const;

  static const LASitemCoderFactory& standard();

  // Whether a compressed coder of the item's type and version belongs to the
  // format (for the writer, or for the reader), whether or not a factory
  // makes it.
  static bool is_coded_version(const LASitem& item, bool writing);
};

#endif
