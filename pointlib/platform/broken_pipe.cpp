#include "platform/broken_pipe.hpp"

#include <csignal>

void ignore_broken_pipe_signal() {
  std::signal(SIGPIPE, SIG_IGN);
}
