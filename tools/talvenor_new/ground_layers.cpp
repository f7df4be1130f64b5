#include "ground_layers.hpp"

#include <climits>
#include <cstdio>
#include <functional>

#include "filter/las_ignore.hpp"
#include "layers/las_apply.hpp"
#include "layers/las_modify.hpp"

namespace {

bool wrap(const GroundLayerOptions& options, const char* input_name,
          std::unique_ptr<LASreader>& reader, const GroundFileIO& io, bool again) {
  auto apply = std::make_unique<LASapply>();
  apply->set_lay_directory(options.ilay_directory);
  if (!apply->open(input_name, reader.get(), 65536)) {
    std::fprintf(stderr, again ? "WARNING: could not re-open LAY file ... skipping\n"
                               : "WARNING: could not open LAY file ... skipping\n");
    return true;
  }
  reader.release();
  if (apply->load_layers(INT_MAX)) {
    reader = std::move(apply);
    return true;
  }
  std::fprintf(stderr, again ? "WARNING: could not re-load layers ... skipping\n"
                             : "WARNING: could not load layers ... skipping\n");
  // The plain reader gets back its filter, transform, ignore rules and area, and is opened
  // afresh so that the run goes on exactly as one without layers.
  reader.reset(apply->release_inner());
  return io.reopen(reader);
}

}  // namespace

bool ground_apply_layers(const GroundLayerOptions& options, const char* input_name,
                         std::unique_ptr<LASreader>& reader, GroundFileIO& io) {
  if (!options.ilay) return true;
  return wrap(options, input_name, reader, io, false);
}

void ground_layer_io(const GroundLayerOptions& options, const GroundSettings& settings,
                     GroundFileIO& io) {
  const char* input_name = io.input_name;
  if (options.ilay) {
    // Both re-openings go through the layers again (buffering, which the
    // second one keeps, is refused with -ilay).
    const GroundFileIO plain = io;
    auto through_layers = [options, input_name, plain](
                              std::function<bool(std::unique_ptr<LASreader>&)> plain_reopen) {
      return [options, input_name, plain, plain_reopen](std::unique_ptr<LASreader>& reader) {
        if (reader->applies_layers()) {
          std::unique_ptr<LASreader> inner(static_cast<LASapply*>(reader.get())->release_inner());
          reader = std::move(inner);
        }
        if (!plain_reopen(reader)) return false;
        return wrap(options, input_name, reader, plain, true);
      };
    };
    io.reopen = through_layers(plain.reopen);
    if (plain.reopen_keeping_buffer) {
      io.reopen_keeping_buffer = through_layers(plain.reopen_keeping_buffer);
    }
  }
  if (!options.olay) return;
  io.open_layer_writer = [options, settings, input_name](LASheader& header, LASreader& reader) {
    std::unique_ptr<LASwriter> none;
    const char* name = input_name ? input_name : "stdin";
    const char* description = options.description.c_str();
    auto modify = std::make_unique<LASmodify>(&header);
    // Ground class, non-ground class, nothing unchanged; or only the ground
    // class with every other point unchanged. Then the ignore rules.
    double values[16];
    int count = 0;
    if (settings.non_ground_unchanged) {
      values[count++] = 1;
      values[count++] = settings.ground_class;
      values[count++] = 1;
    } else {
      values[count++] = 2;
      values[count++] = settings.ground_class;
      values[count++] = settings.non_ground_class;
      values[count++] = 0;
    }
    if (const LASignore* ignore = reader.get_ignore()) ignore->store_to_values(count, values);
    if (!modify->replace_field("classification", 0x30, description, uint32_t(count), values)) {
      std::fprintf(stderr, "ERROR: adding layer replace classification for '%s'\n", name);
      return none;
    }
    if (settings.compute_height && settings.replace_z) {
      if (!modify->difference_field("Z", 0x80000, description)) {
        std::fprintf(stderr, "ERROR: adding layer difference Z for '%s'\n", name);
        return none;
      }
    } else if (settings.compute_height) {
      if (!modify->replace_field("user_data", 0, description, 0, nullptr)) {
        std::fprintf(stderr, "ERROR: adding layer replace user_data for '%s'\n", name);
        return none;
      }
    }
    modify->set_lay_directory(options.ilay ? options.ilay_directory : options.olay_directory);
    if (!modify->open(input_name, &reader, options.ilay, false, 65536)) {
      std::fprintf(stderr, "ERROR: opening lasmodify file for '%s'\n", name);
      return none;
    }
    return std::unique_ptr<LASwriter>(std::move(modify));
  };
}
