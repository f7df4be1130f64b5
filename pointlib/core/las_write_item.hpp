#ifndef POINTLIB_CORE_LAS_WRITE_ITEM_HPP
#define POINTLIB_CORE_LAS_WRITE_ITEM_HPP

#include <cstdint>

#include "core/byte_stream_out.hpp"

// Writes one item of a point record from the item's bytes inside a LASpoint.
// The context starts at 0 for every record and is handed from item to item.
class LASwriteItem {
 public:
  virtual ~LASwriteItem() = default;
  virtual bool write_item(const uint8_t* item, uint32_t& context) = 0;
};

// Base of the compressed item writers of every version. The point-record
// writer calls start_chunk with the first item of every chunk (which it has
// stored raw), write_item for every further point, and at the end of a
// layered chunk write_layer_sizes and then write_layer_bytes.
class LASwriteItemCompressed : public LASwriteItem {
 public:
  virtual bool start_chunk(const uint8_t* item, uint32_t& context) = 0;
  virtual bool write_layer_sizes() { return true; }
  virtual bool write_layer_bytes() { return true; }
};

class LASwriteItemRaw : public LASwriteItem {
 public:
  bool init(ByteStreamOut* stream) {
    outstream = stream;
    return stream != nullptr;
  }

 protected:
  ByteStreamOut* outstream = nullptr;
};

// Copies a fixed number of bytes (the item's size).
class LASwriteItemRawBytes : public LASwriteItemRaw {
 public:
  explicit LASwriteItemRawBytes(uint32_t number) : number(number) {}
  bool write_item(const uint8_t* item, uint32_t&) override {
    return outstream->write_bytes(item, number);
  }

 private:
  uint32_t number;
};

template <uint32_t kSize>
class LASwriteItemRawFixed : public LASwriteItemRawBytes {
 public:
  LASwriteItemRawFixed() : LASwriteItemRawBytes(kSize) {}
};
using LASwriteItemRaw_BYTE = LASwriteItemRawBytes;  // BYTE and BYTE14, of the item's size
using LASwriteItemRaw_POINT10_LE = LASwriteItemRawFixed<20>;
using LASwriteItemRaw_GPSTIME11_LE = LASwriteItemRawFixed<8>;
using LASwriteItemRaw_RGB12_LE = LASwriteItemRawFixed<6>;
using LASwriteItemRaw_WAVEPACKET13_LE = LASwriteItemRawFixed<29>;
using LASwriteItemRaw_RGBNIR14_LE = LASwriteItemRawFixed<8>;

// The 30-byte LAS 1.4 record of point formats 6 to 10, built from the point
// (item = start of the point): from the extended fields when the point is an
// extended one, else from the legacy fields.
class LASwriteItemRaw_POINT14_LE : public LASwriteItemRaw {
 public:
  bool write_item(const uint8_t* item, uint32_t&) override;
  static void point_to_record(const uint8_t* item, uint8_t* record);

 private:
  uint8_t record[30];
};

#endif
