#ifndef POINTLIB_IO_FORMATS_DECOMPRESSING_OPEN_HPP
#define POINTLIB_IO_FORMATS_DECOMPRESSING_OPEN_HPP

#include <cstdio>

// Opens a file for reading as a C stream. A name ending in ".gz", ".zip",
// ".7z" or ".rar" (lower case, at the very end) is not read as it stands: the
// stream carries what a decompressor program ("gzip -d" fed the archive,
// "unzip -p", "7z e -so", "bsdtar -x -O -f" given its name) writes to its
// standard output through a pipe. Any other name is opened with fopen.
//
// *piped (when given) tells whether the archive path was taken, also when it
// then failed. A decompressor that cannot be started is reported here with an
// "ERROR: ..." line; an archive that cannot be opened gives null silently and
// the caller reports it. A piped stream cannot seek; it must be closed with
// fclose_decompressing.
FILE* fopen_decompressing(const char* file_name, const char* mode, bool* piped = nullptr);

// Closes a stream of fopen_decompressing (a plain one with fclose). A piped
// stream is read to its end first, so that the decompressor can finish, and
// the decompressor is waited for: false, after an "ERROR: ..." line naming
// the program and the file, when it ended with a non-zero status (a corrupt
// archive, a failed read). True for a plain stream.
bool fclose_decompressing(FILE* file);

#endif  // POINTLIB_IO_FORMATS_DECOMPRESSING_OPEN_HPP
