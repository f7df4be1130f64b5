#ifndef POINTLIB_PLATFORM_RUN_MESSAGES_HPP
#define POINTLIB_PLATFORM_RUN_MESSAGES_HPP

// Notes and warnings of a run, silenced as a whole by a tool's "-quiet": a run in a batch (a
// Slurm array, xargs) must show only its errors, whichever reader or writer speaks. Errors are
// printed directly and never pass through here.

// Set once by the tool after its command line is read.
void set_quiet_run(bool quiet);
bool quiet_run();

// True when "-quiet" is among the words of a command line. Taken before any option is read, so
// that the warnings of the options read first are silenced as well as the later ones.
bool quiet_asked(int argc, const char* const* argv);

// Prints the formatted note or warning to standard error unless the run is quiet.
void print_note(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif  // POINTLIB_PLATFORM_RUN_MESSAGES_HPP
