#include "platform/child_process.hpp"

#include <fcntl.h>
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

namespace {

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

}  // namespace

int64_t child_process_start_piped(const char* program, const std::vector<std::string>& arguments,
                                  int stdin_fd, int* read_fd, int* error) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    if (error) *error = errno;
    return -1;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the target, so only these two reach the child.
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  if (stdin_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdin_fd, STDIN_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (rc != 0) {
    close(ends[0]);
    if (error) *error = rc;
    return -1;
  }
  *read_fd = ends[0];
  return pid;
}

bool child_process_wait(int64_t pid, int* exit_code) {
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(pid), &status, 0);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (exit_code) *exit_code = exit_code_of(status);
    return true;
  }
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
    if (exit_code) *exit_code = exit_code_of(status);
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
