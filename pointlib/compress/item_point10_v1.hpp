#ifndef POINTLIB_COMPRESS_ITEM_POINT10_V1_HPP
#define POINTLIB_COMPRESS_ITEM_POINT10_V1_HPP

#include <cstdint>
#include <cstring>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// A table of 256 model slots that are filled the first time they are needed:
// most of the 256 previous values of a byte field never occur, and each model
// costs a few kilobytes. Filled slots survive chunks and are only reset.
class OnDemandModels {
 public:
  // The model in slot i, created (and reset) when the slot is empty.
  template <typename Coder>
  SymbolModel* get(const Coder& coder, uint8_t i) {
    std::unique_ptr<SymbolModel>& slot = slots[i];
    if (!slot) {
      slot = coder.new_symbol_model(256);
      slot->reset();
    }
    return slot.get();
  }
  void reset_filled() {
    for (auto& slot : slots) {
      if (slot) slot->reset();
    }
  }
  bool is_filled(uint8_t i) const { return slots[i] != nullptr; }

 private:
  std::unique_ptr<SymbolModel> slots[256];
};

// The middle one of three values.
inline int32_t median_of_three(const int32_t v[3]) {
  if (v[0] < v[1]) {
    if (v[1] < v[2]) return v[1];
    return v[0] < v[2] ? v[2] : v[0];
  }
  if (v[0] < v[2]) return v[0];
  return v[1] < v[2] ? v[2] : v[1];
}

// What the reader and the writer keep alike, built for either coder.
template <typename Coder>
struct Point10V1State {
  explicit Point10V1State(Coder* coder)
      : changed_values(coder->new_symbol_model(64)),
        ic_dx(coder, 32, 1),
        ic_dy(coder, 32, 20),
        ic_z(coder, 32, 20),
        ic_intensity(coder, 16, 1),
        ic_scan_angle_rank(coder, 8, 2),
        ic_point_source_ID(coder, 16, 1) {}

  // Every model and prediction as at a chunk start, the item as the last one.
  void start(const uint8_t* item) {
    for (int i = 0; i < 3; i++) last_x_diff[i] = last_y_diff[i] = 0;
    last_incr = 0;
    changed_values->reset();
    return_models.reset_filled();
    classification_models.reset_filled();
    user_data_models.reset_filled();
    ic_dx.prepare();
    ic_dy.prepare();
    ic_z.prepare();
    ic_intensity.prepare();
    ic_scan_angle_rank.prepare();
    ic_point_source_ID.prepare();
    std::memcpy(last_item, item, sizeof(last_item));
  }

  std::unique_ptr<SymbolModel> changed_values;
  OnDemandModels return_models;
  OnDemandModels classification_models;
  OnDemandModels user_data_models;
  ResidualCoder ic_dx;
  ResidualCoder ic_dy;
  ResidualCoder ic_z;
  ResidualCoder ic_intensity;
  ResidualCoder ic_scan_angle_rank;
  ResidualCoder ic_point_source_ID;
  uint8_t last_item[20];
  int32_t last_x_diff[3];
  int32_t last_y_diff[3];
  uint32_t last_incr;
};

class LASreadItemCompressed_POINT10_v1 : public LASreadItemCompressed,
                                         private Point10V1State<IntervalDecoder> {
 public:
  explicit LASreadItemCompressed_POINT10_v1(IntervalDecoder* dec)
      : Point10V1State<IntervalDecoder>(dec), dec(dec) {}
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
};

class LASwriteItemCompressed_POINT10_v1 : public LASwriteItemCompressed,
                                          private Point10V1State<IntervalEncoder> {
 public:
  explicit LASwriteItemCompressed_POINT10_v1(IntervalEncoder* enc)
      : Point10V1State<IntervalEncoder>(enc), enc(enc) {}
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
};

#endif
