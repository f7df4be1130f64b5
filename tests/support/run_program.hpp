#ifndef TESTS_SUPPORT_RUN_PROGRAM_HPP
#define TESTS_SUPPORT_RUN_PROGRAM_HPP

// Runs a built program as a child process, the way a user's shell does, so that tests see its
// exit code and its messages exactly: arguments are passed as given (no shell, so any byte
// reaches the program), standard input is fed from a text, standard output and error are caught.

#include <string>
#include <vector>

struct ProgramRun {
  int exit_code = -1;  // -1 when the program did not end by itself (signal) or did not start
  std::string out;
  std::string err;
  long peak_memory_kb = 0;  // the child's peak resident memory
};

// Bounds for a child that could run away on bad input, so that a fault ends the test instead of
// the machine: the address space (not applied in sanitizer builds, whose shadow memory reserves
// terabytes up front) and a CPU time after which the child is killed (a guard against hangs, far
// above any honest run; never a measure of speed).
struct ProgramLimits {
  unsigned long long memory_bytes = 0;  // 0: none
  unsigned cpu_seconds = 0;             // 0: none
  // The largest file the child may write, its messages included (a disk that fills up); 0: none.
  unsigned long long file_size_bytes = 0;
};

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& directory, const std::string& input = "",
                       const ProgramLimits& limits = ProgramLimits());
// The same with standard output going to the file `output_path` ("/dev/full" is a disk that is
// full); `out` stays empty then.
ProgramRun run_program_to(const std::string& program, const std::vector<std::string>& args,
                          const std::string& directory, const std::string& output_path,
                          const std::string& input = "",
                          const ProgramLimits& limits = ProgramLimits());

// A fresh directory under the system's temporary folder, removed with its contents.
class ProgramDir {
 public:
  ProgramDir();
  ~ProgramDir();
  ProgramDir(const ProgramDir&) = delete;
  ProgramDir& operator=(const ProgramDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

#endif  // TESTS_SUPPORT_RUN_PROGRAM_HPP
