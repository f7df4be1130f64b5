#ifndef POINTLIB_PLATFORM_CHILD_PROCESS_HPP
#define POINTLIB_PLATFORM_CHILD_PROCESS_HPP

#include <cstdint>
#include <string>
#include <vector>

// Child processes without a shell: the program is started by its path with an
// argument vector, so names with blanks or quotes reach the child unchanged.
// The child inherits the parent's environment, current directory and standard
// streams.

// Starts `path` with argv[0] = `program_name` followed by `arguments`. Returns
// the child's process id, or -1 with the system's error number in *error.
int64_t child_process_start(const std::string& path, const std::string& program_name,
                            const std::vector<std::string>& arguments, int* error);

// Waits until one of `children` ends and returns its id with its exit code in
// *exit_code (128 + the signal number when a signal ended it). Interrupted
// waits are repeated. Returns -1 when there is no child left to wait for.
int64_t child_process_wait_any(const std::vector<int64_t>& children, int* exit_code);

// Full path of the running program's own executable file; false when the
// system does not tell.
bool own_executable_path(std::string* path);

#endif
