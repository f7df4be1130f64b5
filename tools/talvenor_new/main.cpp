// talvenor_new: classifies the points of LiDAR files as ground or non-ground.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/las_reader.hpp"
#include "geo/las_geo_projector.hpp"
#include "ground/ground_driver.hpp"
#include "ground_command_line.hpp"
#include "ground_layers.hpp"
#include "ground_projection.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

void end_if_asked(const GroundExit& exit) {
  if (!exit.now) return;
  if (exit.usage) usage(exit.code, exit.wait);
  exit_tool(exit.code, exit.wait);
}

// Names that differ as text can still be one file ("./a.las" and "a.las", links), and writing
// the output would then truncate the input before it is read.
bool names_one_file(const char* input, const char* output) {
  return std::strcmp(input, output) == 0 || paths_name_same_file(input, output);
}

// An output may overwrite no input of the run, read before or still to be read (an earlier file's
// output named like a later input would destroy that input before it is read).
void protect_inputs(const LASinputOptions& input, LASoutputOptions& output) {
  for (uint32_t i = 0; i < input.get_file_name_number(); i++) {
    output.protect_input(input.get_file_name(i));
  }
  for (uint32_t i = 0; i < input.get_neighbor_file_name_number(); i++) {
    output.protect_input(input.get_neighbor_file_name(i));
  }
}

}  // namespace

int main(int argc, char** argv) {
  LASinputOptions input;
  LASgeoProjector geo;
  LASoutputOptions output;
  GroundCommandLine line;
  const bool no_arguments = argc == 1;

  if (no_arguments) {
    // Reads no option: it only keeps the program's name, by which the EPSG tables are found.
    geo.parse(argc, argv);
    std::fprintf(stderr, "%s is better run in the command line\n", argv[0]);
    std::string name;
    std::fprintf(stderr, "enter input file: ");
    // An empty answer names no input; the check below then reports it.
    if (read_console_line(stdin, &name) && !name.empty()) input.append_name(name.c_str(), false);
    std::fprintf(stderr, "enter output file: ");
    // An empty answer names no output; the name then follows from the input's.
    if (read_console_line(stdin, &name) && !name.empty()) output.set_name(name.c_str());
  } else {
    ground_prepare_arguments(argc, argv, &line);
    set_quiet_run(quiet_asked(argc, argv));
    if (!geo.parse(argc, argv)) exit_tool(1, false);
    if (!input.take_arguments(argc, argv, true)) exit_tool(1, false);
    if (!output.take_arguments(argc, argv)) exit_tool(1, false);
    end_if_asked(ground_take_arguments(argc, argv, &line));
    set_quiet_run(line.settings.quiet);
    end_if_asked(ground_check_layers(line, input));
  }

  if (!input.has_more_input()) {
    std::fprintf(stderr, "ERROR: no input specified\n");
    exit_tool(1, no_arguments);
  }
  input.want_header_scan(true);
  if (input.current_name() && output.current_name() &&
      names_one_file(input.current_name(), output.current_name())) {
    std::fprintf(stderr, "ERROR: input and output file name are identical\n");
    usage(1, false);
  }

  protect_inputs(input, output);
  // Both would write a LAS file to standard output, one after the other; a reader of the pipe
  // takes the first for the whole stream and the classified points are lost behind it.
  if (input.pipe_on && output.use_stdout) {
    std::fprintf(stderr, "ERROR: '-pipe_on' and '-stdout' cannot be combined\n");
    exit_tool(1, false);
  }

  GroundSettings& settings = line.settings;
  if (!ground_take_command_line_projection(geo, settings)) exit_tool(1, false);
  derive_mode_settings(settings);
  if (input.reads_from_stdin()) input.keep_in_memory(true);

  GroundLayerOptions layers;
  layers.ilay = line.ilay;
  layers.olay = line.olay;
  if (line.has_ilay_directory) layers.ilay_directory = line.ilay_directory.c_str();
  if (line.has_olay_directory) layers.olay_directory = line.olay_directory.c_str();
  layers.description = line.command_text;

  bool failed = false;
  while (input.has_more_input()) {
    std::unique_ptr<LASreader> reader(input.open_next_reader());
    if (!reader) {
      std::fprintf(stderr, "ERROR: could not open lasreader\n");
      exit_tool(1, no_arguments);
    }
    GroundFileIO io = ground_file_io(input, output, settings.remain_buffered);
    io.file_units = [&geo, &settings](const LASheader& header, bool* horizontal, bool* vertical) {
      ground_file_units(geo, settings, header, horizontal, vertical);
    };
    io.file_in_degrees = [&geo, &settings] { return ground_file_in_degrees(geo, settings); };
    if (ground_apply_layers(layers, input.current_name(), reader) == GroundLayerOpening::failed) {
      reader.reset();
      failed = true;
      output.set_name(nullptr);
      continue;
    }
    ground_layer_io(layers, settings, io);
    const GroundFileReport report = ground_classify_file(settings, reader, io);
    // Also after a file written through unchanged, so that its units do not pass to the next.
    ground_forget_file_units(geo, settings);
    if (report.result == GroundFileResult::kFatal) exit_tool(1, report.fatal_waits && no_arguments);
    if (report.result == GroundFileResult::kFailed) failed = true;
    // Two inputs whose outputs get one name (the same name in two folders and -odir) must not
    // lose the first output to the second.
    if (output.current_name()) output.protect_written_output(output.current_name());
    // A given output name serves the first file; later inputs build theirs from their own names.
    output.set_name(nullptr);
  }
  exit_tool(failed ? 1 : 0, no_arguments || line.wait);
}
