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

enum class GroundLayerOpening {
  ready,   // the reader applies the layers, or reads plainly where there is no LAY file
  failed,  // the LAY file is damaged or belongs to another file: message printed, the input is
           // not processed
};

// Wraps a freshly opened input in the layer-applying reader. A missing LAY file gives a warning
// and the plain input; one that cannot be read or loaded whole fails the input.
GroundLayerOpening ground_apply_layers(const GroundLayerOptions& options, const char* input_name,
                                       std::unique_ptr<LASreader>& reader);

// Makes `io` re-open through the layers (-ilay) and write layers (-olay).
void ground_layer_io(const GroundLayerOptions& options, const GroundSettings& settings,
                     GroundFileIO& io);

#endif
