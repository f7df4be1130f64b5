#ifndef TALVENOR_NEW_GROUND_GROUND_DRIVER_HPP
#define TALVENOR_NEW_GROUND_GROUND_DRIVER_HPP

// The road of one input file: read its usable points once, estimate the ground, read it again
// and write every point with its new class (and height). The tool's main opens the reader and
// supplies, through GroundFileIO, how to re-open it and how to open the writer.

#include <cstdint>
#include <functional>
#include <memory>

#include "core/las_reader.hpp"
#include "core/las_writer.hpp"
#include "ground/ground_settings.hpp"

// How the header of an output comes to describe the points written (their count, bounds and
// returns), which filters, clips, transforms, buffers and heights make differ from the input's.
enum class GroundHeaderTruth {
  kRewrittenAtClose,  // a file: the writer's inventory of the points is written over it at close
  kCountedAhead,      // a pipe, or counts written before the points: a pass ahead counts them
  kNone,              // nothing is kept (-nil)
};

struct GroundFileIO {
  // Name of the input in messages; null for standard input.
  const char* input_name = nullptr;
  // Makes `reader` a fresh reader of the same input, before its first point, with the same
  // filter, transform, ignore rules and area (it may replace the object). False after printing
  // its own message; the run then ends.
  std::function<bool(std::unique_ptr<LASreader>& reader)> reopen;
  // The same after the counting pass: the read pass needs the buffer points of a buffered input,
  // which only the output pass may drop. Empty: `reopen`.
  std::function<bool(std::unique_ptr<LASreader>& reader)> reopen_keeping_buffer;
  // Opens the output for `header` (building the output name when none was given). Null after
  // printing its own message.
  std::function<std::unique_ptr<LASwriter>(const LASheader& header)> open_writer;
  // Name of the output just opened, for messages; null for standard output.
  std::function<const char*()> output_name;
  // Removes the output just written when the file failed, so that no part of it is left to look
  // like a result; false when nothing was removed (standard output, no such file). May be empty.
  std::function<bool()> remove_output;
  // When set, the classified points go to this writer instead, which records them as edit
  // layers of the input (`header` is the output header, `reader` the input as re-opened). It is
  // handed a copy of each point, so that it can tell what changed. `unclassified`: the points
  // keep their classes (the copy of a file that could not be classified). Null after its own
  // message.
  std::function<std::unique_ptr<LASwriter>(LASheader& header, LASreader& reader,
                                           bool unclassified)>
      open_layer_writer;
  GroundHeaderTruth header_truth = GroundHeaderTruth::kRewrittenAtClose;
  // Settles the units of the opened input where the command line gave none: the flags hold the
  // command line's answer on entry. Without it such units are metres.
  std::function<void(const LASheader& header, bool* horizontal_feet, bool* vertical_feet)>
      file_units;
  // Whether the opened input's coordinates are longitude and latitude in degrees (asked after
  // file_units), for which no step in metres or feet makes sense: such a file is copied
  // unclassified. May be empty.
  std::function<bool()> file_in_degrees;
};

enum class GroundFileResult {
  kClassified,  // written with ground and non-ground classes
  kCopied,      // could not be classified; written through unchanged
  kSkipped,     // could not be classified; only announced (-skip_files)
  kFailed,      // the work on this file failed; the run goes on and ends with code 1
  kFatal,       // the run must end now with code 1
};

struct GroundFileReport {
  GroundFileResult result = GroundFileResult::kFailed;
  // With kFatal: whether to wait for ENTER (when the program was started without arguments).
  bool fatal_waits = false;
  uint32_t points = 0;  // points of the ground estimate
  uint32_t ground = 0;  // points classified as ground
};

class LASinputOptions;
class LASoutputOptions;

// The input and output option holders as the driver's IO: re-opening through the input options
// (keeping the buffer with `remain_buffered`), the output named after the input when no name
// was given, removed again after a failure, and copies re-counted for buffered input. The
// holders must outlive the result.
GroundFileIO ground_file_io(LASinputOptions& input, LASoutputOptions& output, bool remain_buffered);

// Classifies one opened input. Closes and deletes the reader before it returns.
GroundFileReport ground_classify_file(const GroundSettings& settings,
                                      std::unique_ptr<LASreader>& reader, GroundFileIO& io);

#endif
