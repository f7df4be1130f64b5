#include "platform/child_process.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

int64_t child_process_start(const std::string& path, const std::string& program_name,
                            const std::vector<std::string>& arguments, int* error) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program_name.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    if (error) *error = rc;
    return -1;
  }
  return pid;
}

int64_t child_process_wait_any(const std::vector<int64_t>& children, int* exit_code) {
  for (;;) {
    int status = 0;
    pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      return -1;  // ECHILD: nothing left to wait for
    }
    // A child that is not one of ours (started by other code of this
    // process) is reaped and passed over.
    if (std::find(children.begin(), children.end(), static_cast<int64_t>(pid)) == children.end()) {
      continue;
    }
    if (exit_code) {
      if (WIFEXITED(status)) {
        *exit_code = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status)) {
        *exit_code = 128 + WTERMSIG(status);
      } else {
        *exit_code = 1;
      }
    }
    return pid;
  }
}

bool own_executable_path(std::string* path) {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      path->assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}
