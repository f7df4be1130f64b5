#include "ground_layers.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <functional>
#include <string>

#include "filter/las_ignore.hpp"
#include "layers/las_apply.hpp"
#include "layers/las_modify.hpp"
#include "layers/lay_file_header.hpp"
#include "platform/run_messages.hpp"

namespace {

enum class Wrapped {
  applied,  // the reader applies the layers
  none,     // there is no LAY file: the plain reader reads on
  failed,   // the LAY file could not be read: the file is not processed (message printed)
};

bool lay_file_missing(const GroundLayerOptions& options, const char* input_name) {
  struct stat info;
  const std::string name = lay_file_name(input_name, options.ilay_directory);
  return stat(name.c_str(), &info) != 0 && errno == ENOENT;
}

Wrapped wrap(const GroundLayerOptions& options, const char* input_name,
             std::unique_ptr<LASreader>& reader, bool again) {
  auto apply = std::make_unique<LASapply>();
  apply->set_lay_directory(options.ilay_directory);
  if (!apply->open(input_name, reader.get(), 65536)) {
    // Without a LAY file there are no edits to apply. One that exists but is damaged or was
    // written for another file must not be passed over: the output would lack the edits the
    // user asked for, or carry another file's.
    if (lay_file_missing(options, input_name)) {
      print_note(again ? "WARNING: could not re-open LAY file ... skipping\n"
                       : "WARNING: could not open LAY file ... skipping\n");
      return Wrapped::none;
    }
    std::fprintf(stderr, "ERROR: could not open LAY file of '%s'\n", input_name);
    return Wrapped::failed;
  }
  reader.release();
  if (apply->load_layers(INT_MAX)) {
    reader = std::move(apply);
    return Wrapped::applied;
  }
  std::fprintf(stderr, "ERROR: could not load layers of '%s'\n", input_name);
  reader.reset(apply->release_inner());
  return Wrapped::failed;
}

}  // namespace

GroundLayerOpening ground_apply_layers(const GroundLayerOptions& options, const char* input_name,
                                       std::unique_ptr<LASreader>& reader) {
  if (!options.ilay) return GroundLayerOpening::ready;
  if (input_name == nullptr) return GroundLayerOpening::ready;  // refused before for piped input
  return wrap(options, input_name, reader, false) == Wrapped::failed ? GroundLayerOpening::failed
                                                                     : GroundLayerOpening::ready;
}

void ground_layer_io(const GroundLayerOptions& options, const GroundSettings& settings,
                     GroundFileIO& io) {
  const char* input_name = io.input_name;
  if (options.ilay) {
    // Both re-openings go through the layers again (buffering, which the
    // second one keeps, is refused with -ilay).
    const GroundFileIO plain = io;
    auto through_layers = [options, input_name](
                              std::function<bool(std::unique_ptr<LASreader>&)> plain_reopen) {
      return [options, input_name, plain_reopen](std::unique_ptr<LASreader>& reader) {
        const bool layered = reader->applies_layers();
        if (layered) {
          std::unique_ptr<LASreader> inner(static_cast<LASapply*>(reader.get())->release_inner());
          reader = std::move(inner);
        }
        if (!plain_reopen(reader)) return false;
        const Wrapped wrapped = wrap(options, input_name, reader, true);
        // A pass without the layers that the passes before applied would mix two inputs.
        if (wrapped == Wrapped::none && layered) {
          std::fprintf(stderr, "ERROR: LAY file of '%s' is gone\n", input_name);
          return false;
        }
        return wrapped != Wrapped::failed;
      };
    };
    io.reopen = through_layers(plain.reopen);
    if (plain.reopen_keeping_buffer) {
      io.reopen_keeping_buffer = through_layers(plain.reopen_keeping_buffer);
    }
  }
  if (!options.olay) return;
  io.open_layer_writer = [options, settings, input_name](LASheader& header, LASreader& reader,
                                                         bool unclassified) {
    std::unique_ptr<LASwriter> none;
    const char* name = input_name ? input_name : "stdin";
    const char* description = options.description.c_str();
    auto modify = std::make_unique<LASmodify>(&header);
    // Ground class, non-ground class, nothing unchanged; or only the ground
    // class with every other point unchanged (also every point of a file that
    // could not be classified). Then the ignore rules.
    double values[16];
    int count = 0;
    if (settings.non_ground_unchanged || unclassified) {
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
