#ifndef POINTLIB_COMPRESS_ITEM_POINT10_V2_HPP
#define POINTLIB_COMPRESS_ITEM_POINT10_V2_HPP

#include <cstdint>
#include <cstring>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_point10_v1.hpp"
#include "compress/median_of_five.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// Points are told apart by their return number r and number of returns n
// (the low six bits of the return byte, r + 8n): the return class (0..15)
// groups returns that behave alike, so that single returns, first of many and
// last of many keep their own intensity and X/Y predictions; the return level
// |n - r| keeps its own last Z. Row n, column r.
struct Point10V2 {
  static constexpr uint8_t kReturnClass[8][8] = {{15, 14, 13, 12, 11, 10, 9, 8},    //
                                                 {14, 0, 1, 3, 6, 10, 10, 9},       //
                                                 {13, 1, 2, 4, 7, 11, 11, 10},      //
                                                 {12, 3, 4, 5, 8, 12, 12, 11},      //
                                                 {11, 6, 7, 8, 9, 13, 13, 12},      //
                                                 {10, 10, 11, 12, 13, 14, 14, 13},  //
                                                 {9, 10, 11, 12, 13, 14, 15, 14},   //
                                                 {8, 9, 10, 11, 12, 13, 14, 15}};

  static constexpr uint8_t return_class(uint8_t return_byte) {
    return kReturnClass[(return_byte >> 3) & 7][return_byte & 7];
  }
  static constexpr uint8_t return_level(uint8_t return_byte) {
    const int n = (return_byte >> 3) & 7;
    const int r = return_byte & 7;
    return static_cast<uint8_t>(n > r ? n - r : r - n);
  }
  static constexpr bool classes_symmetric() {
    for (int n = 0; n < 8; n++) {
      for (int r = 0; r < 8; r++) {
        if (kReturnClass[n][r] != kReturnClass[r][n]) return false;
      }
    }
    return true;
  }
};
static_assert(Point10V2::classes_symmetric(), "the return class table is symmetric");
static_assert(Point10V2::return_class(0x09) == 0, "single return");
static_assert(Point10V2::return_level(0x11) == 1, "first of two");

// What the reader and the writer keep alike: the models and the last values
// they predict from, built for either coder.
template <typename Coder>
struct Point10V2State {
  explicit Point10V2State(Coder* coder)
      : changed_values(coder->new_symbol_model(64)),
        scan_angle_rank{coder->new_symbol_model(256), coder->new_symbol_model(256)},
        ic_intensity(coder, 16, 4),
        ic_point_source_ID(coder, 16, 1),
        ic_dx(coder, 32, 2),
        ic_dy(coder, 32, 22),
        ic_z(coder, 32, 20) {}

  // Every model and prediction as at a chunk start, the item as the last one.
  void start(const uint8_t* item) {
    for (int i = 0; i < 16; i++) {
      last_x_diff_median5[i].init();
      last_y_diff_median5[i].init();
      last_intensity[i] = 0;
    }
    for (int32_t& h : last_height) h = 0;
    changed_values->reset();
    scan_angle_rank[0]->reset();
    scan_angle_rank[1]->reset();
    return_models.reset_filled();
    classification_models.reset_filled();
    user_data_models.reset_filled();
    ic_intensity.prepare();
    ic_point_source_ID.prepare();
    ic_dx.prepare();
    ic_dy.prepare();
    ic_z.prepare();
    std::memcpy(last_item, item, sizeof(last_item));
  }

  std::unique_ptr<SymbolModel> changed_values;
  std::unique_ptr<SymbolModel> scan_angle_rank[2];
  OnDemandModels return_models;
  OnDemandModels classification_models;
  OnDemandModels user_data_models;
  ResidualCoder ic_intensity;
  ResidualCoder ic_point_source_ID;
  ResidualCoder ic_dx;
  ResidualCoder ic_dy;
  ResidualCoder ic_z;
  uint8_t last_item[20];
  uint16_t last_intensity[16];
  MedianOfFive last_x_diff_median5[16];
  MedianOfFive last_y_diff_median5[16];
  int32_t last_height[8];
};

class LASreadItemCompressed_POINT10_v2 : public LASreadItemCompressed,
                                         private Point10V2State<IntervalDecoder> {
 public:
  explicit LASreadItemCompressed_POINT10_v2(IntervalDecoder* dec)
      : Point10V2State<IntervalDecoder>(dec), dec(dec) {}
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
};

class LASwriteItemCompressed_POINT10_v2 : public LASwriteItemCompressed,
                                          private Point10V2State<IntervalEncoder> {
 public:
  explicit LASwriteItemCompressed_POINT10_v2(IntervalEncoder* enc)
      : Point10V2State<IntervalEncoder>(enc), enc(enc) {}
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
};

#endif
