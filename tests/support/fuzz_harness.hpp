#ifndef TESTS_SUPPORT_FUZZ_HARNESS_HPP
#define TESTS_SUPPORT_FUZZ_HARNESS_HPP

// One input through a reader or parser, the way the fuzz targets in
// tests/fuzz run it and the way the regression tests replay the inputs the
// fuzzer once found. Every input must come back here: an error is an
// "ERROR: ..." line and a false result inside, never a crash or a hang. Where
// a library result contradicts itself (a copy reported as written that does
// not read back), the harness traps so that the fuzzer stops on it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A LAS or VPK file in memory: header, records, every point, a seek into the
// middle, and a copy through the LAS writer that must read back whole when
// the writer reports success.
void fuzz_las_reader_one(const uint8_t* data, size_t size);

// A point set built from the bytes through the VPK writer into memory and read
// back: byte 0 chooses the point format (0-10), byte 1 the coder version (1 or
// 2, and sequential or chunked, for formats 0-5; 3 or 4 for 6-10) in bit 0 and
// 1 and the extra bytes per point (0-7) in bits 5-7, byte 2 the chunk size
// (1-256; 0 adaptive for formats 6-10, with byte 3 saying after which points
// a chunk ends); the rest are the points' raw records. Traps unless every
// field of every point reads back as it was written.
void fuzz_vpk_writer_one(const uint8_t* data, size_t size);

// A .lax file in memory: the index read, then rectangle, tile and circle
// selections over its box walked to their end.
void fuzz_lax_one(const uint8_t* data, size_t size);

// Words separated by '\n' (at most 64, '/' becomes '_' so that no word names a
// path outside the working directory) through the input options (ignore,
// filter and transform parsers included), then the output options; whatever
// filter, transform and area they build is run over a few points.
void fuzz_args_one(const uint8_t* data, size_t size);

// Writes into the working directory the files args inputs may name: "in.las"
// (format 1), "in6.las" (format 6, LAS 1.4), "list.txt" naming both and
// "map.txt" (pairs of numbers). False when one cannot be written.
bool fuzz_args_prepare_directory();

// The argument words of an args input, as the harness splits them.
std::vector<std::string> fuzz_args_words(const uint8_t* data, size_t size);

// A directory of its own for a fuzz process (long runs start many), removed
// with what it holds when the process exits; empty when none can be made.
std::string fuzz_process_directory(const char* tag);

// The bytes of a file (empty when it cannot be read): kept inputs to replay.
std::vector<uint8_t> fuzz_file_bytes(const std::string& name);

// Small files of our own writers, for seed corpora and damaged-file tests.
// Every point format in the versions that allow it, with VLRs, extra bytes,
// user data after the header and EVLRs.
std::vector<std::vector<uint8_t>> fuzz_las_seed_files();
// A file copied through the library's writer with this compressor kind and
// coder version in chunks of `chunk_size` points; empty when the writer
// refuses (a coder version not built).
std::vector<uint8_t> fuzz_compressed_copy(const std::vector<uint8_t>& las, uint16_t compressor,
                                          int version, int32_t chunk_size);
// Inputs for the vpk_writer target: every format, version, chunking and a few
// extra bytes, over records of random fields.
std::vector<std::vector<uint8_t>> fuzz_vpk_writer_seed_inputs();
// Inputs for the raster target (see fuzz_raster_harness.hpp): ASC grids, BIL
// rasters of every sample kind with their ".hdr", and VPK rasters, plain and
// compressed.
std::vector<std::vector<uint8_t>> fuzz_raster_seed_inputs();
// .lax files of our own writer, both quadtree layouts.
std::vector<std::vector<uint8_t>> fuzz_lax_seed_files();
// Argument lines for the args target, one word per line.
std::vector<std::string> fuzz_args_seed_lines();

#endif
