#ifndef POINTLIB_CORE_LAS_READ_ITEM_HPP
#define POINTLIB_CORE_LAS_READ_ITEM_HPP

#include <cstdint>

#include "core/byte_stream_in.hpp"

// Reads one item of a point record into the item's bytes inside a LASpoint.
// The context starts at 0 for every record and is handed from item to item
// (the POINT14 coders put the scanner channel there). Stream and decoder
// failures throw (-1 at the end of the data, 4711 on corrupt data); the
// point-record reader catches them per chunk.
class LASreadItem {
 public:
  virtual ~LASreadItem() = default;
  virtual void read_item(uint8_t* item, uint32_t& context) = 0;
};

// Base of the compressed item readers of every version. The point-record
// reader calls, at the first point of each chunk (stored raw), read_layer_sizes
// (layered chunks only) and then start_chunk with that point's item; read_item
// for every further point of the chunk.
class LASreadItemCompressed : public LASreadItem {
 public:
  virtual bool read_layer_sizes() { return true; }
  // False fails the chunk (e.g. layer sizes that cannot be right).
  virtual bool start_chunk(uint8_t* item, uint32_t& context) = 0;

 protected:
  // Whether num_bytes (a 64-bit sum of layer byte counts) can still follow in
  // the stream; true when the stream cannot tell.
  static bool bytes_available(ByteStreamIn* stream, uint64_t num_bytes);
  // Moves over the bytes of a layer that was not requested: seeks, or reads
  // over them where the stream cannot seek. False when the stream ends first.
  static bool skip_bytes(ByteStreamIn* stream, uint32_t num_bytes);
};

// Raw items are stored as they lie in the point (little-endian, the host
// order); only POINT14 converts between its file record and the point.
class LASreadItemRaw : public LASreadItem {
 public:
  bool init(ByteStreamIn* stream) {
    instream = stream;
    return stream != nullptr;
  }

 protected:
  ByteStreamIn* instream = nullptr;
};

// Copies a fixed number of bytes (the item's size).
class LASreadItemRawBytes : public LASreadItemRaw {
 public:
  explicit LASreadItemRawBytes(uint32_t number) : number(number) {}
  void read_item(uint8_t* item, uint32_t&) override { instream->read_bytes(item, number); }

 private:
  uint32_t number;
};

// The raw readers that only copy, one per fixed item size.
template <uint32_t kSize>
class LASreadItemRawFixed : public LASreadItemRawBytes {
 public:
  LASreadItemRawFixed() : LASreadItemRawBytes(kSize) {}
};
using LASreadItemRaw_BYTE = LASreadItemRawBytes;  // BYTE and BYTE14, of the item's size
using LASreadItemRaw_POINT10_LE = LASreadItemRawFixed<20>;
using LASreadItemRaw_GPSTIME11_LE = LASreadItemRawFixed<8>;
using LASreadItemRaw_RGB12_LE = LASreadItemRawFixed<6>;          // RGB12 and RGB14
using LASreadItemRaw_WAVEPACKET13_LE = LASreadItemRawFixed<29>;  // WAVEPACKET13 and 14
using LASreadItemRaw_RGBNIR14_LE = LASreadItemRawFixed<8>;

// The 30-byte LAS 1.4 record of point formats 6 to 10, read into both the
// extended and the legacy fields of the point (item = start of the point).
class LASreadItemRaw_POINT14_LE : public LASreadItemRaw {
 public:
  void read_item(uint8_t* item, uint32_t&) override;
  // The conversion alone, from a 30-byte file record.
  static void record_to_point(const uint8_t* record, uint8_t* item);

 private:
  uint8_t record[30];
};

#endif
