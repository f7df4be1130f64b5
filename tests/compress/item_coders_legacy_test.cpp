#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coder_factory.hpp"
#include "compress/item_coders_legacy.hpp"
#include "core/las_item.hpp"

namespace {

struct Row {
  LASitemType type;
  uint16_t size;
  uint16_t version;
  bool made;
};

// Which legacy items have a compressed coder: versions 1 and 2, WAVEPACKET13
// version 1 only, and only at the item's own size.
const Row kRows[] = {
    {LASitem::POINT10, 20, 1, true},       {LASitem::POINT10, 20, 2, true},
    {LASitem::POINT10, 20, 0, false},      {LASitem::POINT10, 20, 3, false},
    {LASitem::POINT10, 21, 2, false},      {LASitem::GPSTIME11, 8, 1, true},
    {LASitem::GPSTIME11, 8, 2, true},      {LASitem::GPSTIME11, 4, 2, false},
    {LASitem::RGB12, 6, 1, true},          {LASitem::RGB12, 6, 2, true},
    {LASitem::RGB12, 6, 3, false},         {LASitem::WAVEPACKET13, 29, 1, true},
    {LASitem::WAVEPACKET13, 29, 2, false}, {LASitem::BYTE, 1, 1, true},
    {LASitem::BYTE, 300, 2, true},         {LASitem::BYTE, 0, 2, false},
    {LASitem::BYTE, 5, 0, false},          {LASitem::POINT14, 30, 2, false},
};

TEST(ItemCodersLegacy, MadeForTheirTypesAndVersions) {
  IntervalDecoder dec;
  IntervalEncoder enc;
  for (const Row& r : kRows) {
    LASitem item;
    item.type = r.type;
    item.size = r.size;
    item.version = r.version;
    SCOPED_TRACE(std::string(item.get_name()) + " size " + std::to_string(r.size) + " version " +
                 std::to_string(r.version));
    EXPECT_EQ(make_read_item_compressed_legacy(item, &dec) != nullptr, r.made);
    EXPECT_EQ(make_write_item_compressed_legacy(item, &enc) != nullptr, r.made);
    if (r.type != LASitem::POINT14) {
      const LASitemCoderFactory& factory = LASitemCoderFactory::standard();
      EXPECT_EQ(factory.make_reader(item, &dec, 0xFFFFFFFFu) != nullptr, r.made);
      EXPECT_EQ(factory.make_writer(item, &enc) != nullptr, r.made);
    }
  }
}

}  // namespace
