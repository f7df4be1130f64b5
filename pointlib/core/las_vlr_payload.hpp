#ifndef POINTLIB_CORE_LAS_VLR_PAYLOAD_HPP
#define POINTLIB_CORE_LAS_VLR_PAYLOAD_HPP

#include <cstdint>

#include "core/byte_stream_out.hpp"

class ByteStreamIn;

// A typed VLR payload that knows its ids and length and turns itself into
// payload bytes and back.
class LASvlrPayload {
 public:
  virtual ~LASvlrPayload() = default;
  virtual uint16_t vlr_record_id() const = 0;
  virtual const char* vlr_user_id() const = 0;  // 16 bytes, zero-padded
  virtual uint32_t payload_length() const = 0;
  // A new buffer of payload_length() bytes, or null on failure.
  virtual MallocBuffer serialize() const;
  virtual bool deserialize(const uint8_t* bytes, uint32_t length);
  virtual bool write_fields(ByteStreamOut* stream) const = 0;
  virtual bool read_fields(ByteStreamIn* stream) = 0;
};

// The description of a raster stored as one point per cell (user id
// "Raster VPK", record id 7113, 80 bytes).
class LASvlrRasterVPK : public LASvlrPayload {
 public:
  static constexpr uint16_t kRecordId = 7113;
  static constexpr uint32_t kPayloadLength = 80;

  char user_id[16] = {'R', 'a', 's', 't', 'e', 'r', ' ', 'V', 'P', 'K'};
  int32_t nbands = -1;
  int32_t nbits = -1;
  int32_t ncols = -1;
  int32_t nrows = -1;
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
  double stepx = 1.0;
  double stepx_y = 0.0;
  double stepy = 1.0;
  double stepy_x = 0.0;
  double llx = 0.0;
  double lly = 0.0;
  double sigmaxy = 0.0;

  uint16_t vlr_record_id() const override { return kRecordId; }
  const char* vlr_user_id() const override { return user_id; }
  uint32_t payload_length() const override { return kPayloadLength; }
  bool write_fields(ByteStreamOut* stream) const override;
  bool read_fields(ByteStreamIn* stream) override;
};

#endif  // POINTLIB_CORE_LAS_VLR_PAYLOAD_HPP
