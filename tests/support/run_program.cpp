#include "run_program.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// Files rather than pipes: the child may write much to both streams while the parent feeds
// nothing, and files never block.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedAddresses = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedAddresses = true;
#else
constexpr bool kSanitizedAddresses = false;
#endif
#else
constexpr bool kSanitizedAddresses = false;
#endif

// In the child, before exec.
bool apply_limits(const ProgramLimits& limits) {
  if (limits.memory_bytes && !kSanitizedAddresses) {
    const rlimit memory = {rlim_t(limits.memory_bytes), rlim_t(limits.memory_bytes)};
    if (setrlimit(RLIMIT_AS, &memory) != 0) return false;
  }
  if (limits.cpu_seconds) {
    const rlimit cpu = {rlim_t(limits.cpu_seconds), rlim_t(limits.cpu_seconds)};
    if (setrlimit(RLIMIT_CPU, &cpu) != 0) return false;
  }
  if (limits.file_size_bytes) {
    // Writes beyond fail as on a full disk instead of ending the program with a signal.
    const rlimit size = {rlim_t(limits.file_size_bytes), rlim_t(limits.file_size_bytes)};
    if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &size) != 0) return false;
  }
  return true;
}

std::string read_all(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& directory, const std::string& input,
                       const ProgramLimits& limits) {
  return run_program_to(program, args, directory, "", input, limits);
}

ProgramRun run_program_to(const std::string& program, const std::vector<std::string>& args,
                          const std::string& directory, const std::string& output_path,
                          const std::string& input, const ProgramLimits& limits) {
  ProgramRun run;
  std::FILE* in = std::tmpfile();
  std::FILE* out = output_path.empty() ? std::tmpfile() : std::fopen(output_path.c_str(), "wb");
  std::FILE* err = std::tmpfile();
  if (in && out && err) {
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    std::rewind(in);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(directory.c_str()) != 0 || dup2(fileno(in), 0) < 0 || dup2(fileno(out), 1) < 0 ||
          dup2(fileno(err), 2) < 0 || !apply_limits(limits)) {
        _exit(127);
      }
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    rusage usage = {};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
      if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
      run.peak_memory_kb = usage.ru_maxrss;  // kilobytes on Linux
    }
    if (output_path.empty()) run.out = read_all(out);
    run.err = read_all(err);
  }
  for (std::FILE* f : {in, out, err}) {
    if (f) std::fclose(f);
  }
  return run;
}

ProgramDir::ProgramDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "program_XXXXXX").string();
  if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
}

ProgramDir::~ProgramDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}
