#include "platform/process.hpp"

#include <unistd.h>

int32_t current_process_id() {
  return static_cast<int32_t>(getpid());
}
