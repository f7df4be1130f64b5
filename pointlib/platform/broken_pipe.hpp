#ifndef POINTLIB_PLATFORM_BROKEN_PIPE_HPP
#define POINTLIB_PLATFORM_BROKEN_PIPE_HPP

// Makes a write into a pipe whose reader has gone fail with an error (EPIPE)
// instead of ending the process with SIGPIPE, so that the writer can report
// it. Safe to call more than once.
void ignore_broken_pipe_signal();

#endif  // POINTLIB_PLATFORM_BROKEN_PIPE_HPP
