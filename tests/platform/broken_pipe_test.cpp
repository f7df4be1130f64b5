#include "platform/broken_pipe.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

// A write into a pipe without reader fails with EPIPE and the process lives on.
TEST(BrokenPipe, WriteFailsInsteadOfKilling) {
  ignore_broken_pipe_signal();
  ignore_broken_pipe_signal();  // twice is harmless
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const char byte = 'x';
  errno = 0;
  EXPECT_EQ(write(fds[1], &byte, 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
}
