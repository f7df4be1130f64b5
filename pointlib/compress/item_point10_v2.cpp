#include "compress/item_point10_v2.hpp"

#include <algorithm>
#include <cstring>

#include "compress/item_bytes.hpp"

constexpr uint8_t Point10V2::kReturnClass[8][8];

namespace {

using L = Point10Layout;

// Bits of the changed-fields symbol.
constexpr uint32_t kReturnByteChanged = 32;
constexpr uint32_t kIntensityChanged = 16;
constexpr uint32_t kClassificationChanged = 8;
constexpr uint32_t kScanAngleChanged = 4;
constexpr uint32_t kUserDataChanged = 2;
constexpr uint32_t kPointSourceChanged = 1;

// Contexts: single returns (n = 1) take the odd ones; the length classes of
// the X (and X, Y) residuals pick the pair, with bit 0 dropped and capped.
inline uint32_t dy_context(uint32_t single, uint32_t kx) {
  return single + (kx < 20 ? (kx & ~1u) : 20u);
}
inline uint32_t z_context(uint32_t single, uint32_t kx, uint32_t ky) {
  const uint32_t k = (kx + ky) / 2;
  return single + (k < 18 ? (k & ~1u) : 18u);
}

}  // namespace

bool LASreadItemCompressed_POINT10_v2::start_chunk(uint8_t* item, uint32_t&) {
  start(item);
  // The stored files were written this way: the reader forgets the first
  // point's intensity while the writer keeps it. A second point that repeats
  // every other field with intensity 0 is coded as "nothing changed" (its
  // intensity matches the reset last intensity of its class) and must come
  // back with intensity 0, so the reader's copy must hold 0 here.
  item_store<uint16_t>(last_item, L::kIntensity, 0);
  return true;
}

void LASreadItemCompressed_POINT10_v2::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  const uint32_t changed = coder.get_symbol(changed_values.get());
  uint32_t m;
  uint32_t l;
  if (changed) {
    if (changed & kReturnByteChanged) {
      SymbolModel* model = return_models.get(*dec, last_item[L::kReturnByte]);
      last_item[L::kReturnByte] = static_cast<uint8_t>(coder.get_symbol(model));
    }
    m = Point10V2::return_class(last_item[L::kReturnByte]);
    l = Point10V2::return_level(last_item[L::kReturnByte]);
    if (changed & kIntensityChanged) {
      const int32_t v = ic_intensity.decode(coder, last_intensity[m], m < 3 ? m : 3);
      last_intensity[m] = static_cast<uint16_t>(v);
    }
    item_store<uint16_t>(last_item, L::kIntensity, last_intensity[m]);
    if (changed & kClassificationChanged) {
      SymbolModel* model = classification_models.get(*dec, last_item[L::kClassification]);
      last_item[L::kClassification] = static_cast<uint8_t>(coder.get_symbol(model));
    }
    if (changed & kScanAngleChanged) {
      const uint32_t direction = (last_item[L::kReturnByte] >> 6) & 1;
      const uint32_t v = coder.get_symbol(scan_angle_rank[direction].get());
      last_item[L::kScanAngleRank] = static_cast<uint8_t>(v + last_item[L::kScanAngleRank]);
    }
    if (changed & kUserDataChanged) {
      SymbolModel* model = user_data_models.get(*dec, last_item[L::kUserData]);
      last_item[L::kUserData] = static_cast<uint8_t>(coder.get_symbol(model));
    }
    if (changed & kPointSourceChanged) {
      const int32_t v =
          ic_point_source_ID.decode(coder, item_load<uint16_t>(last_item, L::kPointSourceID));
      item_store<uint16_t>(last_item, L::kPointSourceID, static_cast<uint16_t>(v));
    }
  } else {
    m = Point10V2::return_class(last_item[L::kReturnByte]);
    l = Point10V2::return_level(last_item[L::kReturnByte]);
  }

  const uint32_t single = ((last_item[L::kReturnByte] >> 3) & 7) == 1 ? 1 : 0;

  MedianOfFive& median_x = last_x_diff_median5[m];
  const int32_t x_diff = ic_dx.decode(coder, median_x.get(), single);
  median_x.add(x_diff);
  item_store<uint32_t>(last_item, L::kX,
                       item_load<uint32_t>(last_item, L::kX) + static_cast<uint32_t>(x_diff));
  const uint32_t kx = ic_dx.k();

  MedianOfFive& median_y = last_y_diff_median5[m];
  const int32_t y_diff = ic_dy.decode(coder, median_y.get(), dy_context(single, kx));
  median_y.add(y_diff);
  item_store<uint32_t>(last_item, L::kY,
                       item_load<uint32_t>(last_item, L::kY) + static_cast<uint32_t>(y_diff));

  last_height[l] = ic_z.decode(coder, last_height[l], z_context(single, kx, ic_dy.k()));
  item_store<int32_t>(last_item, L::kZ, last_height[l]);
  coder.commit();

  std::memcpy(item, last_item, L::kSize);
}

bool LASwriteItemCompressed_POINT10_v2::start_chunk(const uint8_t* item, uint32_t&) {
  start(item);
  // Unlike the reader, the writer keeps the first point's real intensity; it
  // never predicts from it (intensities are predicted per return class).
  return true;
}

bool LASwriteItemCompressed_POINT10_v2::write_item(const uint8_t* item, uint32_t&) {
  const uint8_t return_byte = item[L::kReturnByte];
  const uint32_t m = Point10V2::return_class(return_byte);
  const uint32_t l = Point10V2::return_level(return_byte);
  const uint32_t single = ((return_byte >> 3) & 7) == 1 ? 1 : 0;

  const uint16_t intensity = item_load<uint16_t>(item, L::kIntensity);
  const uint16_t point_source_ID = item_load<uint16_t>(item, L::kPointSourceID);
  const uint16_t last_point_source_ID = item_load<uint16_t>(last_item, L::kPointSourceID);
  const uint32_t changed =
      (return_byte != last_item[L::kReturnByte] ? kReturnByteChanged : 0u) |
      (intensity != last_intensity[m] ? kIntensityChanged : 0u) |
      (item[L::kClassification] != last_item[L::kClassification] ? kClassificationChanged : 0u) |
      (item[L::kScanAngleRank] != last_item[L::kScanAngleRank] ? kScanAngleChanged : 0u) |
      (item[L::kUserData] != last_item[L::kUserData] ? kUserDataChanged : 0u) |
      (point_source_ID != last_point_source_ID ? kPointSourceChanged : 0u);
  enc->put_symbol(changed_values.get(), changed);

  if (changed) {
    if (changed & kReturnByteChanged) {
      enc->put_symbol(return_models.get(*enc, last_item[L::kReturnByte]), return_byte);
    }
    if (changed & kIntensityChanged) {
      ic_intensity.encode(last_intensity[m], intensity, m < 3 ? m : 3);
      last_intensity[m] = intensity;
    }
    if (changed & kClassificationChanged) {
      enc->put_symbol(classification_models.get(*enc, last_item[L::kClassification]),
                      item[L::kClassification]);
    }
    if (changed & kScanAngleChanged) {
      // The byte fold: the difference modulo 256.
      const uint8_t folded =
          static_cast<uint8_t>(item[L::kScanAngleRank] - last_item[L::kScanAngleRank]);
      enc->put_symbol(scan_angle_rank[(return_byte >> 6) & 1].get(), folded);
    }
    if (changed & kUserDataChanged) {
      enc->put_symbol(user_data_models.get(*enc, last_item[L::kUserData]), item[L::kUserData]);
    }
    if (changed & kPointSourceChanged) {
      ic_point_source_ID.encode(last_point_source_ID, point_source_ID);
    }
  }

  MedianOfFive& median_x = last_x_diff_median5[m];
  const int32_t x_diff = static_cast<int32_t>(item_load<uint32_t>(item, L::kX) -
                                              item_load<uint32_t>(last_item, L::kX));
  ic_dx.encode(median_x.get(), x_diff, single);
  median_x.add(x_diff);
  const uint32_t kx = ic_dx.k();

  MedianOfFive& median_y = last_y_diff_median5[m];
  const int32_t y_diff = static_cast<int32_t>(item_load<uint32_t>(item, L::kY) -
                                              item_load<uint32_t>(last_item, L::kY));
  ic_dy.encode(median_y.get(), y_diff, dy_context(single, kx));
  median_y.add(y_diff);

  const int32_t z = item_load<int32_t>(item, L::kZ);
  ic_z.encode(last_height[l], z, z_context(single, kx, ic_dy.k()));
  last_height[l] = z;

  std::memcpy(last_item, item, L::kSize);
  return true;
}
