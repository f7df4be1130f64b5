#ifndef TESTS_SUPPORT_FUZZ_TEXT_FORMATS_HPP
#define TESTS_SUPPORT_FUZZ_TEXT_FORMATS_HPP

// Text and PLY inputs of any bytes through their readers, the way the fuzz
// targets run them and the regression tests replay them: an error is an
// "ERROR: ..." line and a false result, never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The first byte chooses the set-up (parse string, PTS or PTX, declared
// attributes, lines to skip); the rest is the text. Every point is read, then
// a seek back and forward.
void fuzz_text_reader_one(const uint8_t* data, size_t size);

// The options of the programs that read text the way that set-up byte does
// (when it asks for both PTS and PTX, the programs take PTS).
std::vector<std::string> fuzz_text_reader_options(uint8_t setup);

// A PLY file in memory: header, every vertex, a seek back.
void fuzz_ply_reader_one(const uint8_t* data, size_t size);

// Seed inputs: plain text, PTS and PTX with their set-up byte; PLY in ASCII
// and both binary orders with normals, colours and extra properties.
std::vector<std::vector<uint8_t>> fuzz_text_seed_files();
std::vector<std::vector<uint8_t>> fuzz_ply_seed_files();

#endif  // TESTS_SUPPORT_FUZZ_TEXT_FORMATS_HPP
