#include "core/las_read_item.hpp"

#include <cstring>

#include "core/las_point.hpp"
#include "core/las_scaler.hpp"

bool LASreadItemCompressed::bytes_available(ByteStreamIn* stream, uint64_t num_bytes) {
  const int64_t left = stream->bytes_left();
  return left < 0 || num_bytes <= static_cast<uint64_t>(left);
}

bool LASreadItemCompressed::skip_bytes(ByteStreamIn* stream, uint32_t num_bytes) {
  if (num_bytes == 0) return true;
  if (!bytes_available(stream, num_bytes)) return false;
  return stream->skip(num_bytes);
}

namespace {
// Byte positions in the 30-byte POINT14 file record.
constexpr int kReturnByte = 14;
constexpr int kFlagsByte = 15;
constexpr int kClassification = 16;
constexpr int kUserData = 17;
constexpr int kScanAngle = 18;
constexpr int kPointSourceID = 20;
constexpr int kGpsTime = 22;
}  // namespace

void LASreadItemRaw_POINT14_LE::read_item(uint8_t* item, uint32_t&) {
  instream->read_bytes(record, 30);
  record_to_point(record, item);
}

void LASreadItemRaw_POINT14_LE::record_to_point(const uint8_t* r, uint8_t* item) {
  LASpointData* p = reinterpret_cast<LASpointData*>(item);
  std::memcpy(&p->X, r + 0, 4);
  std::memcpy(&p->Y, r + 4, 4);
  std::memcpy(&p->Z, r + 8, 4);
  std::memcpy(&p->intensity, r + 12, 2);
  p->user_data = r[kUserData];
  std::memcpy(&p->point_source_ID, r + kPointSourceID, 2);
  std::memcpy(&p->extended_scan_angle, r + kScanAngle, 2);
  std::memcpy(&p->gps_time, r + kGpsTime, 8);

  const uint8_t flags = r[kFlagsByte];
  const uint8_t classification = r[kClassification];
  const uint8_t return_number = r[kReturnByte] & 0x0F;
  const uint8_t number_of_returns = r[kReturnByte] >> 4;
  // Same packing as the file: return number low nibble, count high nibble.
  p->extended_return_byte = r[kReturnByte];
  // Keep the extended point type (bits 0-1); channel and flags from the file.
  p->extended_flags_byte = static_cast<uint8_t>(
      (p->extended_flags_byte & 0x03) | (((flags >> 4) & 0x03) << 2) | ((flags & 0x0F) << 4));
  p->extended_classification = classification;

  // The legacy fields hold what fits into their narrower bits.
  uint8_t legacy_return = return_number & 0x07;
  uint8_t legacy_count = number_of_returns;
  if (number_of_returns > 7) {
    legacy_count = 7;
    if (return_number > 6) legacy_return = return_number < number_of_returns ? 6 : 7;
  }
  p->return_byte = static_cast<uint8_t>(legacy_return | (legacy_count << 3) |
                                        (((flags >> 6) & 1) << 6) | (((flags >> 7) & 1) << 7));
  p->class_byte =
      static_cast<uint8_t>((classification < 32 ? classification : 0) | ((flags & 0x07) << 5));
  p->scan_angle_rank =
      static_cast<int8_t>(las_round_clamped(p->extended_scan_angle * 0.006, -128, 127));
}
