#ifndef KELMORA_BATCHING_HPP
#define KELMORA_BATCHING_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "sr_write_settings.hpp"

// What the children must know of the parent's input options.
struct BatchInputs {
  std::vector<std::string> names;  // the input list, full names as listed
  bool merged = false;
  bool buffered = false;  // buffering is in use
  float buffer_size = 0.0f;
  std::string temp_dir;  // empty: none
  int32_t files_are_flightlines = 0;
  // Option texts of the read options, the filter and the transform.
  std::string read_options;
  std::string filter_options;
  std::string transform_options;
};

// Child runs of one batch: the executable, one argument vector per job and the
// list file written for them (empty when none).
struct BatchJobs {
  std::string executable;
  std::vector<std::vector<std::string>> arguments;
  std::string list_file;
};

// Modes: 0 same executable, 1 the 64-bit twin (on this platform the same
// executable), 3 one job reading all inputs from the list file.
constexpr int kBatchOneListJob = 3;

// Name of the list file: "file_list_buffered.<pid>.txt", inside temp_dir when set.
std::string batch_list_file_name(const std::string& temp_dir, int32_t process_id);

// The path of this program's executable, which every child runs. False after
// "ERROR: cannot find '%s'\n".
bool find_executable(std::string* path);

// Writes the list file when needed and fills one argument vector per job (one job per input,
// one for exactly two inputs, which are one pair, and one for the list):
//   -i <name> [-i <second of the pair>] | -lof <list>, the read options, -faf_index <i>, -buffered
//   <size> -neighbors_lof <list>, the filter and transform options, then every entry of argv[1..]
//   that no parser blanked.
// The write-settings text is not passed on: a child compares and writes no
// raster, and its option table has no output options. False after a message
// (the list file is removed then).
bool build_child_jobs(int argc, char** argv, const BatchInputs& inputs, int mode,
                      int32_t process_id, BatchJobs* jobs);

// Runs the jobs with at most `cores` (1 to 128) children at a time and waits
// for all of them. 0 when every child was started and ended with code 0; 1
// after a child failed, could not be started, or `cores` is out of range.
// When a start fails no further job is started, but the running children are
// still waited for.
int run_children(const BatchJobs& jobs, int cores);

// The batch path of main: builds the jobs, runs them, removes the list file
// once every child has ended, and returns main's exit code.
int run_on_cores(int argc, char** argv, const BatchInputs& inputs, SRwriteSettings* settings,
                 int cores, int mode);

#endif
