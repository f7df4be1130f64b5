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

class LASlayerReplaceZRaw
    : public LASlayerKindOf<LASlayer, LAYER_REPLACE, LAYER_FIELDS_Z, LAYER_RAW> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  uint8_t max_value_bits = 32;  // 16 or 32
};

// The four compressed kinds: one body, told apart by the coordinates they
// code (the bits of their fields), whether they code the value or its change,
// and whether the context is the point's return. Each sets the bounds of its
// coordinates in the header.
class LASlayerCoordinatesCompressed : public LASlayerCoded {
 public:
  enum ContextByReturn : bool { kSameContext = false, kContextByReturn = true };

  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool adjust_header() override;

 protected:
  LASlayerCoordinatesCompressed(const LayerKindId& kind, LASheader* header,
                                uint32_t modification_mask, const char* description,
                                ContextByReturn context);

 private:
  void start_models() override;
  void stop_models() override { residual.reset(); }
  void widen_box(const LASpoint* point);

  uint32_t axes;  // bit 0 X, 1 Y, 2 Z
  bool per_return_context;
  bool replaces;  // codes the new value rather than the change
  std::unique_ptr<ResidualCoder> residual;
  int32_t predictions[12] = {};
  int32_t box_min[3] = {0, 0, 0};
  int32_t box_max[3] = {0, 0, 0};
  bool no_point_yet = true;
};

using LASlayerReplaceZCompressed =
    LASlayerKindOf<LASlayerCoordinatesCompressed, LAYER_REPLACE, LAYER_FIELDS_Z, LAYER_POINTWISE,
                   MODIFY_BOUNDS_Z, LASlayerCoordinatesCompressed::kContextByReturn>;
using LASlayerDiffZCompressed =
    LASlayerKindOf<LASlayerCoordinatesCompressed, LAYER_DIFFERENCE, LAYER_FIELDS_Z, LAYER_POINTWISE,
                   MODIFY_BOUNDS_Z, LASlayerCoordinatesCompressed::kSameContext>;
using LASlayerDiffXYCompressed =
    LASlayerKindOf<LASlayerCoordinatesCompressed, LAYER_DIFFERENCE, LAYER_FIELDS_XY,
                   LAYER_POINTWISE, MODIFY_BOUNDS_X | MODIFY_BOUNDS_Y,
                   LASlayerCoordinatesCompressed::kContextByReturn>;
using LASlayerDiffXYZCompressed =
    LASlayerKindOf<LASlayerCoordinatesCompressed, LAYER_DIFFERENCE, LAYER_FIELDS_XYZ,
                   LAYER_POINTWISE, MODIFY_BOUNDS_XYZ,
                   LASlayerCoordinatesCompressed::kContextByReturn>;

#endif  // POINTLIB_LAYERS_LAYERS_COORDINATES_HPP
