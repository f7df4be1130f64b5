#ifndef POINTLIB_LAYERS_LAYERS_COORDINATES_HPP
#define POINTLIB_LAYERS_LAYERS_COORDINATES_HPP

// Layers of new coordinates: the new Z itself (raw or compressed) or the
// difference between the new and the source X, Y, Z (compressed). All work on
// the quantized integers.

#include <cstdint>
#include <memory>

#include "compress/residual_coder.hpp"
#include "layers/las_layer.hpp"
#include "layers/layer_coding.hpp"

class LASlayerReplaceZRaw : public LASlayer {
 public:
  explicit LASlayerReplaceZRaw(LASheader* header, uint32_t modification_mask = 0,
                               const char* description = nullptr);
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  uint8_t max_value_bits = 32;  // 16 or 32
};

// The four compressed kinds: one body, told apart by which coordinates they
// code and whether they code the value or its change.
class LASlayerCoordinatesCompressed : public LASlayer {
 public:
  bool init_read(ByteStreamIn* in) override;
  bool init_write(ByteStreamOut* out) override;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool finish_read(ByteStreamIn* in) override;
  bool finish_write(ByteStreamOut* out) override;
  bool adjust_header() override;

 protected:
  enum Axes : uint32_t { kX = 1, kY = 2, kZ = 4 };
  LASlayerCoordinatesCompressed(LASheader* header, uint32_t type, uint32_t fields,
                                uint32_t modification_mask, const char* description,
                                uint32_t axes, uint32_t contexts, bool per_return_context);

 private:
  void widen_box(const LASpoint* point);

  uint32_t axes;
  uint32_t contexts;
  bool per_return_context;
  bool replaces;  // codes the new value rather than the change
  LayerCoder coder;
  std::unique_ptr<ResidualCoder> residual;
  int32_t predictions[12] = {};
  int32_t box_min[3] = {0, 0, 0};
  int32_t box_max[3] = {0, 0, 0};
  bool no_point_yet = true;
};

class LASlayerReplaceZCompressed : public LASlayerCoordinatesCompressed {
 public:
  explicit LASlayerReplaceZCompressed(LASheader* header, uint32_t modification_mask = 0,
                                      const char* description = nullptr);
};

class LASlayerDiffZCompressed : public LASlayerCoordinatesCompressed {
 public:
  explicit LASlayerDiffZCompressed(LASheader* header, uint32_t modification_mask = 0,
                                   const char* description = nullptr);
};

class LASlayerDiffXYCompressed : public LASlayerCoordinatesCompressed {
 public:
  explicit LASlayerDiffXYCompressed(LASheader* header, uint32_t modification_mask = 0,
                                    const char* description = nullptr);
};

class LASlayerDiffXYZCompressed : public LASlayerCoordinatesCompressed {
 public:
  explicit LASlayerDiffXYZCompressed(LASheader* header, uint32_t modification_mask = 0,
                                     const char* description = nullptr);
};

#endif  // POINTLIB_LAYERS_LAYERS_COORDINATES_HPP
