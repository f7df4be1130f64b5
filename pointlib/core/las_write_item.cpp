#include "core/las_write_item.hpp"

#include <cstring>

#include "core/las_point.hpp"
#include "core/las_scaler.hpp"

bool LASwriteItemRaw_POINT14_LE::write_item(const uint8_t* item, uint32_t&) {
  point_to_record(item, record);
  return outstream->write_bytes(record, 30);
}

void LASwriteItemRaw_POINT14_LE::point_to_record(const uint8_t* item, uint8_t* r) {
  const LASpointData* p = reinterpret_cast<const LASpointData*>(item);
  std::memcpy(r + 0, &p->X, 4);
  std::memcpy(r + 4, &p->Y, 4);
  std::memcpy(r + 8, &p->Z, 4);
  std::memcpy(r + 12, &p->intensity, 2);
  r[17] = p->user_data;
  std::memcpy(r + 20, &p->point_source_ID, 2);
  std::memcpy(r + 22, &p->gps_time, 8);

  const uint8_t scan_direction = (p->return_byte >> 6) & 1;
  const uint8_t edge = (p->return_byte >> 7) & 1;
  const uint8_t legacy_flags = (p->class_byte >> 5) & 0x07;  // synthetic, keypoint, withheld
  const uint8_t legacy_class = p->class_byte & 0x1F;
  uint8_t flags = static_cast<uint8_t>(legacy_flags | (scan_direction << 6) | (edge << 7));
  uint8_t classification = legacy_class;
  int16_t scan_angle;
  if (p->extended_flags_byte & 0x03) {
    const uint8_t overlap = (p->extended_flags_byte >> 7) & 1;
    const uint8_t channel = (p->extended_flags_byte >> 2) & 0x03;
    flags = static_cast<uint8_t>(flags | (overlap << 3) | (channel << 4));
    // Classes above 31 live only in the extended field.
    if (legacy_class == 0) classification = p->extended_classification;
    r[14] = p->extended_return_byte;
    scan_angle = p->extended_scan_angle;
  } else {
    const uint8_t return_number = p->return_byte & 0x07;
    const uint8_t number_of_returns = (p->return_byte >> 3) & 0x07;
    r[14] = static_cast<uint8_t>(return_number | (number_of_returns << 4));
    scan_angle =
        static_cast<int16_t>(las_round_clamped(p->scan_angle_rank / 0.006, INT16_MIN, INT16_MAX));
  }
  r[15] = flags;
  r[16] = classification;
  std::memcpy(r + 18, &scan_angle, 2);
}
