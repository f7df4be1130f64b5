#ifndef POINTLIB_LAYERS_LAYERS_COLOUR_HPP
#define POINTLIB_LAYERS_LAYERS_COLOUR_HPP

// Layers that give points colour channels the point file may lack: red,
// green and blue (raw or compressed) and near infrared (compressed).

#include <cstdint>
#include <memory>

#include "layers/las_layer.hpp"
#include "layers/layer_coding.hpp"

class LASlayerAddRGBRaw : public LASlayerKindOf<LASlayer, LAYER_ADD, LAYER_FIELDS_RGB, LAYER_RAW> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  uint8_t lower_byte_zero = 0;
  // Not stored in the record: ignored points keep their colour unless a
  // caller asks otherwise.
  uint8_t clear_ignored = 0;
};

// The compressed kinds share their specialized header and coder.
class LASlayerAddColourCompressed : public LASlayerCoded {
 public:
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  uint8_t uses_both_bytes = 1;
  uint8_t uses_lower_byte = 0;
  uint8_t clear_ignored = 0;

 protected:
  using LASlayerCoded::LASlayerCoded;
};

class LASlayerAddRGBCompressed : public LASlayerKindOf<LASlayerAddColourCompressed, LAYER_ADD,
                                                       LAYER_FIELDS_RGB, LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool update_point_layout(LASheader* reading_header, LASpoint* point) override;

 private:
  void start_models() override;
  void stop_models() override;
  void record_one_byte(const LASpoint* point);
  void record_both_bytes(const LASpoint* point);
  void apply_one_byte(LASpoint* point);
  void apply_both_bytes(LASpoint* point);

  // With one byte: the mask and red, green, blue. With both: the mask and
  // red, green, blue low, then red, green, blue high.
  std::unique_ptr<SymbolModel> mask;
  std::unique_ptr<SymbolModel> bytes[6];
  uint16_t last[3] = {0, 0, 0};
};

class LASlayerAddNIRCompressed : public LASlayerKindOf<LASlayerAddColourCompressed, LAYER_ADD,
                                                       LAYER_FIELDS_NIR, LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool update_point_layout(LASheader* reading_header, LASpoint* point) override;

 private:
  void start_models() override;
  void stop_models() override { nir.stop(); }
  TwoByteCoder nir;
};

#endif  // POINTLIB_LAYERS_LAYERS_COLOUR_HPP
