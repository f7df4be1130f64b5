#ifndef POINTLIB_LAYERS_LAYERS_ATTRIBUTES_HPP
#define POINTLIB_LAYERS_LAYERS_ATTRIBUTES_HPP

// Layers that replace one point attribute: classification and user data (raw
// bit fields or compressed), the withheld, synthetic, keypoint and overlap
// flags, intensity, and the extended LAS 1.4 attributes (compressed).

#include <cstdint>
#include <memory>
#include <vector>

#include "compress/residual_coder.hpp"
#include "layers/las_layer.hpp"
#include "layers/layer_coding.hpp"

// Values written as an index into the values met so far, a new value behind
// an escape index; the index width grows with the table.
class RawValueDictionary {
 public:
  void clear() {
    count = 0;
    index_bits = 1;
  }
  bool record(ByteStreamOut* out, uint32_t value, uint32_t value_bits);
  // Throws on an index that the table cannot have.
  uint32_t apply(ByteStreamIn* in, uint32_t value_bits);

 private:
  void add(uint32_t value);
  uint32_t values[256];
  uint32_t count = 0;
  uint32_t index_bits = 1;
};

// The two raw kinds: one body for the classification (5-bit class, always a
// dictionary) and the user data (a dictionary with few_values, else plain).
class LASlayerReplaceAttributeRaw : public LASlayer {
 public:
  bool init_read(ByteStreamIn* in) override;
  bool init_write(ByteStreamOut* out) override;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool finish_write(ByteStreamOut* out) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  // Stored only by the user data kind.
  uint8_t few_values = 0;
  uint8_t max_value_bits = 8;

 protected:
  LASlayerReplaceAttributeRaw(const LayerKindId& kind, LASheader* header,
                              uint32_t modification_mask, const char* description)
      : LASlayer(kind, header, modification_mask, description) {}

 private:
  bool classification() const { return fields == LAYER_FIELDS_CLASSIFICATION; }
  RawValueDictionary dictionary;
};

using LASlayerReplaceClassificationRaw = LASlayerKindOf<LASlayerReplaceAttributeRaw, LAYER_REPLACE,
                                                        LAYER_FIELDS_CLASSIFICATION, LAYER_RAW>;
using LASlayerReplaceUserDataRaw =
    LASlayerKindOf<LASlayerReplaceAttributeRaw, LAYER_REPLACE, LAYER_FIELDS_USER_DATA, LAYER_RAW>;

class LASlayerReplaceClassificationCompressed
    : public LASlayerKindOf<LASlayerCoded, LAYER_REPLACE, LAYER_FIELDS_CLASSIFICATION,
                            LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  // Each class below 256, at most 255 of them. False after a message.
  bool set_classifications(uint32_t count, const uint32_t* classes, bool allow_unchanged);
  bool init_write(ByteStreamOut* out) override;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  std::vector<uint8_t> classifications;
  uint8_t allow_unchanged = 0;

 private:
  void complete_class_list();
  void start_models() override;
  void stop_models() override;
  uint32_t symbols = 0;
  uint32_t last = 0;
  SymbolModelSlots symbol_models;
  BitModelSlots bit_models;
};

class LASlayerReplaceUserDataCompressed
    : public LASlayerKindOf<LASlayerCoded, LAYER_REPLACE, LAYER_FIELDS_USER_DATA, LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  // False, with a message, when max_value is below min_value.
  bool set_value_range(uint8_t min_value, uint8_t max_value);
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  uint8_t min_value = 0;
  uint8_t max_value = 255;

 private:
  void start_models() override;
  void stop_models() override { models.clear(0, 2); }
  uint32_t symbols() const { return uint32_t{max_value} - min_value + 1; }
  uint32_t last = 0;
  SymbolModelSlots models;
};

// The four flag kinds: one body, told apart by the flag.
class LASlayerReplaceFlagCompressed : public LASlayerCoded {
 public:
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;

 protected:
  LASlayerReplaceFlagCompressed(const LayerKindId& kind, LASheader* header,
                                uint32_t modification_mask, const char* description)
      : LASlayerCoded(kind, header, modification_mask, description) {}

 private:
  void start_models() override;
  void stop_models() override { models.clear(0); }
  uint32_t flag_of(const LASpoint* point) const;
  void set_flag(LASpoint* point, uint32_t bit) const;
  uint32_t last = 0;
  BitModelSlots models;
};

using LASlayerReplaceWithheldFlagCompressed =
    LASlayerKindOf<LASlayerReplaceFlagCompressed, LAYER_REPLACE, LAYER_FIELDS_WITHHELD,
                   LAYER_POINTWISE>;
using LASlayerReplaceSyntheticFlagCompressed =
    LASlayerKindOf<LASlayerReplaceFlagCompressed, LAYER_REPLACE, LAYER_FIELDS_SYNTHETIC,
                   LAYER_POINTWISE>;
using LASlayerReplaceKeypointFlagCompressed =
    LASlayerKindOf<LASlayerReplaceFlagCompressed, LAYER_REPLACE, LAYER_FIELDS_KEYPOINT,
                   LAYER_POINTWISE>;
using LASlayerReplaceOverlapFlagCompressed =
    LASlayerKindOf<LASlayerReplaceFlagCompressed, LAYER_REPLACE, LAYER_FIELDS_OVERLAP,
                   LAYER_POINTWISE>;

class LASlayerReplaceIntensityCompressed
    : public LASlayerKindOf<LASlayerCoded, LAYER_REPLACE, LAYER_FIELDS_INTENSITY, LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  // Which byte is known to be zero; both cannot be.
  bool set_byte_use(bool lower_byte_zero, bool upper_byte_zero);
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  TwoByteCoder bytes;

 private:
  void start_models() override { bytes.start(coder); }
  void stop_models() override { bytes.stop(); }
};

class LASlayerReplaceExtendedLAS14AttributesCompressed
    : public LASlayerKindOf<LASlayerCoded, LAYER_REPLACE, LAYER_FIELDS_LAS14, LAYER_POINTWISE> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool update_point_layout(LASheader* reading_header, LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

 private:
  void start_models() override;
  void stop_models() override;
  std::unique_ptr<ResidualCoder> scan_angle;
  std::unique_ptr<SymbolModel> returns, classification, channel_overlap;
};

#endif  // POINTLIB_LAYERS_LAYERS_ATTRIBUTES_HPP
