#ifndef TESTS_TALVENOR_NEW_GROUND_CLASSIFY_IN_PROCESS_HPP
#define TESTS_TALVENOR_NEW_GROUND_CLASSIFY_IN_PROCESS_HPP

// The ground tool's per-file driver run inside the test process, from one LAS file into another
// through the library's own reader and writer: what switches of the process reach, the program
// run as a child does not.

#include <memory>
#include <string>

#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "ground/ground_driver.hpp"
#include "ground/ground_settings.hpp"

// Classifies `in` into `out` with `settings` (derived here). The result is kFailed when the input
// cannot be opened.
inline GroundFileReport classify_las_in_process(const std::string& in, const std::string& out,
                                                GroundSettings settings) {
  auto open = [in](std::unique_ptr<LASreader>& reader) {
    auto las = std::make_unique<LASreaderLAS>();
    if (!las->open_file(in.c_str())) return false;
    reader = std::move(las);
    return true;
  };
  GroundFileIO io;
  io.input_name = in.c_str();
  io.reopen = open;
  io.open_writer = [out](const LASheader& header) {
    auto writer = std::make_unique<LASwriterLAS>();
    if (!writer->open_file(out.c_str(), &header)) writer.reset();
    return std::unique_ptr<LASwriter>(std::move(writer));
  };
  io.output_name = [&out] { return out.c_str(); };
  derive_mode_settings(settings);
  std::unique_ptr<LASreader> reader;
  if (!open(reader)) {
    GroundFileReport failed;
    failed.result = GroundFileResult::kFailed;
    return failed;
  }
  return ground_classify_file(settings, reader, io);
}

#endif  // TESTS_TALVENOR_NEW_GROUND_CLASSIFY_IN_PROCESS_HPP
