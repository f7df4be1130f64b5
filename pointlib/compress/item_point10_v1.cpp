#include "compress/item_point10_v1.hpp"

#include <algorithm>
#include <cstring>

#include "compress/item_bytes.hpp"

namespace {

using L = Point10Layout;

// Bits of the changed-fields symbol.
constexpr uint32_t kIntensityChanged = 32;
constexpr uint32_t kReturnByteChanged = 16;
constexpr uint32_t kClassificationChanged = 8;
constexpr uint32_t kScanAngleChanged = 4;
constexpr uint32_t kUserDataChanged = 2;
constexpr uint32_t kPointSourceChanged = 1;

}  // namespace

bool LASreadItemCompressed_POINT10_v1::start_chunk(uint8_t* item, uint32_t&) {
  start(item);
  return true;
}

void LASreadItemCompressed_POINT10_v1::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  const int32_t median_x = median_of_three(last_x_diff);
  const int32_t median_y = median_of_three(last_y_diff);

  const int32_t x_diff = ic_dx.decode(coder, median_x);
  const uint32_t kx = ic_dx.k();
  const int32_t y_diff = ic_dy.decode(coder, median_y, std::min(kx, 19u));
  const uint32_t k = (kx + ic_dy.k()) / 2;
  const int32_t z = ic_z.decode(coder, item_load<int32_t>(last_item, L::kZ), std::min(k, 19u));

  // Unsigned sums: coordinates wrap like the differences they were coded from.
  item_store<uint32_t>(last_item, L::kX,
                       item_load<uint32_t>(last_item, L::kX) + static_cast<uint32_t>(x_diff));
  item_store<uint32_t>(last_item, L::kY,
                       item_load<uint32_t>(last_item, L::kY) + static_cast<uint32_t>(y_diff));
  item_store<int32_t>(last_item, L::kZ, z);

  const uint32_t changed = coder.get_symbol(changed_values.get());
  if (changed) {
    if (changed & kIntensityChanged) {
      const int32_t v = ic_intensity.decode(coder, item_load<uint16_t>(last_item, L::kIntensity));
      item_store<uint16_t>(last_item, L::kIntensity, static_cast<uint16_t>(v));
    }
    if (changed & kReturnByteChanged) {
      SymbolModel* m = return_models.get(*dec, last_item[L::kReturnByte]);
      last_item[L::kReturnByte] = static_cast<uint8_t>(coder.get_symbol(m));
    }
    if (changed & kClassificationChanged) {
      SymbolModel* m = classification_models.get(*dec, last_item[L::kClassification]);
      last_item[L::kClassification] = static_cast<uint8_t>(coder.get_symbol(m));
    }
    if (changed & kScanAngleChanged) {
      const int32_t v =
          ic_scan_angle_rank.decode(coder, last_item[L::kScanAngleRank], k < 3 ? 1 : 0);
      last_item[L::kScanAngleRank] = static_cast<uint8_t>(v);
    }
    if (changed & kUserDataChanged) {
      SymbolModel* m = user_data_models.get(*dec, last_item[L::kUserData]);
      last_item[L::kUserData] = static_cast<uint8_t>(coder.get_symbol(m));
    }
    if (changed & kPointSourceChanged) {
      const int32_t v =
          ic_point_source_ID.decode(coder, item_load<uint16_t>(last_item, L::kPointSourceID));
      item_store<uint16_t>(last_item, L::kPointSourceID, static_cast<uint16_t>(v));
    }
  }

  last_x_diff[last_incr] = x_diff;
  last_y_diff[last_incr] = y_diff;
  last_incr = last_incr == 2 ? 0 : last_incr + 1;
  coder.commit();
  std::memcpy(item, last_item, L::kSize);
}

bool LASwriteItemCompressed_POINT10_v1::start_chunk(const uint8_t* item, uint32_t&) {
  start(item);
  return true;
}

bool LASwriteItemCompressed_POINT10_v1::write_item(const uint8_t* item, uint32_t&) {
  const int32_t median_x = median_of_three(last_x_diff);
  const int32_t median_y = median_of_three(last_y_diff);

  // Differences wrap in unsigned arithmetic; the decoder adds them back alike.
  const int32_t x_diff = static_cast<int32_t>(item_load<uint32_t>(item, L::kX) -
                                              item_load<uint32_t>(last_item, L::kX));
  const int32_t y_diff = static_cast<int32_t>(item_load<uint32_t>(item, L::kY) -
                                              item_load<uint32_t>(last_item, L::kY));
  ic_dx.encode(median_x, x_diff);
  const uint32_t kx = ic_dx.k();
  ic_dy.encode(median_y, y_diff, std::min(kx, 19u));
  const uint32_t k = (kx + ic_dy.k()) / 2;
  ic_z.encode(item_load<int32_t>(last_item, L::kZ), item_load<int32_t>(item, L::kZ),
              std::min(k, 19u));

  const uint16_t intensity = item_load<uint16_t>(item, L::kIntensity);
  const uint16_t point_source_ID = item_load<uint16_t>(item, L::kPointSourceID);
  const uint16_t last_intensity = item_load<uint16_t>(last_item, L::kIntensity);
  const uint16_t last_point_source_ID = item_load<uint16_t>(last_item, L::kPointSourceID);
  const uint32_t changed =
      (intensity != last_intensity ? kIntensityChanged : 0u) |
      (item[L::kReturnByte] != last_item[L::kReturnByte] ? kReturnByteChanged : 0u) |
      (item[L::kClassification] != last_item[L::kClassification] ? kClassificationChanged : 0u) |
      (item[L::kScanAngleRank] != last_item[L::kScanAngleRank] ? kScanAngleChanged : 0u) |
      (item[L::kUserData] != last_item[L::kUserData] ? kUserDataChanged : 0u) |
      (point_source_ID != last_point_source_ID ? kPointSourceChanged : 0u);
  enc->put_symbol(changed_values.get(), changed);

  if (changed) {
    if (changed & kIntensityChanged) ic_intensity.encode(last_intensity, intensity);
    if (changed & kReturnByteChanged) {
      enc->put_symbol(return_models.get(*enc, last_item[L::kReturnByte]), item[L::kReturnByte]);
    }
    if (changed & kClassificationChanged) {
      enc->put_symbol(classification_models.get(*enc, last_item[L::kClassification]),
                      item[L::kClassification]);
    }
    if (changed & kScanAngleChanged) {
      ic_scan_angle_rank.encode(last_item[L::kScanAngleRank], item[L::kScanAngleRank],
                                k < 3 ? 1 : 0);
    }
    if (changed & kUserDataChanged) {
      enc->put_symbol(user_data_models.get(*enc, last_item[L::kUserData]), item[L::kUserData]);
    }
    if (changed & kPointSourceChanged) {
      ic_point_source_ID.encode(last_point_source_ID, point_source_ID);
    }
  }

  last_x_diff[last_incr] = x_diff;
  last_y_diff[last_incr] = y_diff;
  last_incr = last_incr == 2 ? 0 : last_incr + 1;
  std::memcpy(last_item, item, L::kSize);
  return true;
}
