#ifndef TESTS_SUPPORT_FUZZ_LAY_HPP
#define TESTS_SUPPORT_FUZZ_LAY_HPP

// A LAY file of any bytes through the layer-applying reader, the way a fuzz
// target runs it: the file belongs to a small point file held in memory
// (fuzz_lay_point_file); its header is checked, every layer loaded and every
// point read. Every input must come back here: an error is an "ERROR: ..."
// line inside, never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <vector>

void fuzz_lay_one(const uint8_t* data, size_t size);

// The header of the same bytes checked the way the layer writer checks a LAY
// file it is to extend (its own messages, and warnings of the applying side
// that refuse here); true when the writer would go on behind its layers.
bool fuzz_lay_header_to_extend(const uint8_t* data, size_t size);

// The LAS file (LAS 1.2, point format 3, 40 points of every return kind) that
// the LAY inputs are applied to.
const std::vector<uint8_t>& fuzz_lay_point_file();

// LAY files of our own writer for that point file, for seed corpora and
// damaged-file tests: one layer of every kind in one file, and small files
// of one or two layers.
std::vector<std::vector<uint8_t>> fuzz_lay_seed_files();

#endif
