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

// Starts `program`, found on the search path, with argv[0] = `program` followed
// by `arguments`. Its standard output is the write end of a new pipe whose read
// end is returned in *read_fd (close-on-exec, so later children do not hold
// it); its standard input is `stdin_fd` when that is not -1, else the
// parent's. The parent's own standard streams are never touched. Returns the
// child's process id, or -1 with the system's error number in *error (also
// when the program cannot be found).
int64_t child_process_start_piped(const char* program, const std::vector<std::string>& arguments,
                                  int stdin_fd, int* read_fd, int* error);

// Waits until the child `pid` ends; true with its exit code in *exit_code
// (128 + the signal number when a signal ended it). False when it is not (or
// no longer) a child of this process, e.g. when other code reaped it.
bool child_process_wait(int64_t pid, int* exit_code);

// Full path of the running program's own executable file; false when the
// system does not tell.
bool own_executable_path(std::string* path);

#endif
