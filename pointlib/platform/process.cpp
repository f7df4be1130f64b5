#include "platform/process.hpp"

#include <unistd.h>

#include <vector>

int32_t current_process_id() {
  return static_cast<int32_t>(getpid());
}

bool current_executable_path(std::string* path) {
  // The link's target can be longer than any fixed buffer; grow until it fits.
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return false;
    if (size_t(n) < buffer.size()) {
      path->assign(buffer.data(), size_t(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}
