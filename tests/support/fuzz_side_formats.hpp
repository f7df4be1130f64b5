#ifndef TESTS_SUPPORT_FUZZ_SIDE_FORMATS_HPP
#define TESTS_SUPPORT_FUZZ_SIDE_FORMATS_HPP

// BIN, QFIT, shapefile, ASCII grid, BIL and DTM inputs of any bytes through
// their readers, the way the fuzz target runs them and the regression tests
// replay them: an error is an "ERROR: ..." line and a false result, never a
// crash, a hang or memory taken by what a header states.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The first byte chooses the format (its value modulo 6: BIN, QFIT,
// shapefile, ASCII grid, BIL, DTM) and, with bit 3, the variant that
// re-quantizes to scale factors and offsets of its own; for BIL the second
// byte is the length of the .hdr text that follows, the rest are the cells.
// BIN and QFIT are read from memory, the others from a file of a temporary
// folder of the process, by name. Every point is read, then a second pass.
void fuzz_side_reader_one(const uint8_t* data, size_t size);

// The files such an input stands for, named f.<extension>: the point file
// first (its extension is the format's word), then for BIL its .hdr. Empty
// for an input too short to give them.
struct FuzzSideFile {
  std::string extension;
  std::vector<uint8_t> bytes;
};
std::vector<FuzzSideFile> fuzz_side_files(const uint8_t* data, size_t size);

// Seed inputs of every format, written by the fixture writers.
std::vector<std::vector<uint8_t>> fuzz_side_seed_files();

#endif  // TESTS_SUPPORT_FUZZ_SIDE_FORMATS_HPP
