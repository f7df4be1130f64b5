#ifndef TALVENOR_NEW_GROUND_LAYERS_HPP
#define TALVENOR_NEW_GROUND_LAYERS_HPP

// The edit-layer options of the ground tool: with -ilay every opening of an
// input applies the layers of its LAY file, with -olay the classification
// (and the heights) go into that LAY file as layers instead of a point file.

#include <memory>
#include <string>

#include "core/las_reader.hpp"
#include "ground/ground_driver.hpp"
#include "ground/ground_settings.hpp"

struct GroundLayerOptions {
  bool ilay = false;
  bool olay = false;
  // Null: the LAY file lies beside the input.
  const char* ilay_directory = nullptr;
  const char* olay_directory = nullptr;
  // The command line, the description of the layers written.
  std::string description;
};

// Wraps a freshly opened input in the layer-applying reader. When the LAY
// file cannot be opened or loaded, a warning says so and the input is read
// as it is (re-opened through `io`, before ground_layer_io changes it, when
// the failed load had taken its header apart). False only when that
// re-opening fails (message printed).
bool ground_apply_layers(const GroundLayerOptions& options, const char* input_name,
                         std::unique_ptr<LASreader>& reader, GroundFileIO& io);

// Makes `io` re-open through the layers (-ilay) and write layers (-olay).
void ground_layer_io(const GroundLayerOptions& options, const GroundSettings& settings,
                     GroundFileIO& io);

#endif
