#include "platform/run_messages.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool g_quiet = false;

}  // namespace

void set_quiet_run(bool quiet) {
  g_quiet = quiet;
}

bool quiet_run() {
  return g_quiet;
}

bool quiet_asked(int argc, const char* const* argv) {
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "-quiet") == 0) return true;
  }
  return false;
}

void print_note(const char* format, ...) {
  if (g_quiet) return;
  va_list ap;
  va_start(ap, format);
  std::vfprintf(stderr, format, ap);
  va_end(ap);
}
