#ifndef KELMORA_INPUT_BATCH_HPP
#define KELMORA_INPUT_BATCH_HPP

#include <string>

#include "batching.hpp"

class LASinputOptions;

// The option text of the read options in this order: area (tile, else
// circle, else rectangle), -stored, -merged, -faf, -apply_file_source_ID,
// -rescale / -rescale_z / -rescale_xy, -reoffset or -auto_reoffset,
// -populate, -io_ibuffer, -temp_files. Returns the characters appended.
size_t write_read_options(const LASinputOptions& options, std::string* text);

// What child runs need of the input options: the input list, merging,
// buffering and the option texts of the read options, filter and transform.
BatchInputs batch_inputs_from(const LASinputOptions& options);

#endif
