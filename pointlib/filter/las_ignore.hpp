#ifndef POINTLIB_FILTER_LAS_IGNORE_HPP
#define POINTLIB_FILTER_LAS_IGNORE_HPP

#include <cstdint>

#include "core/las_point.hpp"

// Flag-word bits of the ignore rules. Bits 0-7 say that class word k is in use.
enum : uint32_t {
  IGNORE_CLASS_WORDS = 0xFF,
  IGNORE_FIRST_OF_MANY = 0x100,
  IGNORE_LAST_OF_MANY = 0x200,
  IGNORE_INTERMEDIATE = 0x400,
  IGNORE_SINGLE = 0x800,
  IGNORE_SYNTHETIC = 0x1000,
  IGNORE_KEYPOINT = 0x2000,
  IGNORE_WITHHELD = 0x4000,
  IGNORE_OVERLAP = 0x8000
};

// Which points an algorithm leaves out of its work (they are still read and
// written): classes, return kinds and flags. A plain record.
class LASignore {
 public:
  uint32_t flags = 0;
  // bit c % 32 of word c / 32: class c (0..255) is ignored
  uint32_t classes[8] = {0, 0, 0, 0, 0, 0, 0, 0};

  // Parses the "-ignore_..." option at argv[i], blanks what it consumed and
  // leaves i on the last entry consumed. False after an error message.
  bool take_argument(int& i, int argc, char** argv);

  bool ignores(const LASpoint* point) const {
    if (flags == 0) return false;
    if (flags & IGNORE_CLASS_WORDS) {
      // Classes above 31 exist only in the extended field, where the 5-bit
      // field then holds 0; they are looked up in their own class word.
      const uint32_t extended = point->extended_classification;
      const uint32_t c = extended > 31 ? extended : point->get_classification();
      if ((classes[c >> 5] >> (c & 31)) & 1u) return true;
    }
    if (flags &
        (IGNORE_FIRST_OF_MANY | IGNORE_LAST_OF_MANY | IGNORE_INTERMEDIATE | IGNORE_SINGLE)) {
      const int r = point->get_return_number();
      const int n = point->get_number_of_returns();
      if ((flags & IGNORE_SINGLE) && n <= 1) return true;
      if ((flags & IGNORE_FIRST_OF_MANY) && n > 1 && r <= 1) return true;
      if ((flags & IGNORE_LAST_OF_MANY) && n > 1 && r >= n) return true;
      if ((flags & IGNORE_INTERMEDIATE) && r > 1 && r < n) return true;
    }
    if ((flags & IGNORE_SYNTHETIC) && point->get_synthetic_flag()) return true;
    if ((flags & IGNORE_KEYPOINT) && point->get_keypoint_flag()) return true;
    if ((flags & IGNORE_WITHHELD) && point->get_withheld_flag()) return true;
    if ((flags & IGNORE_OVERLAP) && point->get_extended_overlap_flag()) return true;
    return false;
  }

  // Appends the settings at values[count] and advances count: nothing for a
  // record that ignores nothing, else the flag word and the class words in use.
  void store_to_values(int& count, double* values) const;
  // Reads the settings back from values[index .. count - 1].
  bool load_from_values(int index, int count, const double* values);
  void print_help() const;
};

#endif  // POINTLIB_FILTER_LAS_IGNORE_HPP
