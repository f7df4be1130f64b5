#ifndef POINTLIB_FILTER_OPTION_ARGS_HPP
#define POINTLIB_FILTER_OPTION_ARGS_HPP

#include <vector>

// Helpers shared by the option parsers that walk one argument vector.

// Splits `text` in place at blanks (' ' only) into words and appends a
// pointer to each to `argv`; the blank behind a word becomes its terminating
// zero. Runs of blanks separate words, leading blanks are skipped.
void split_argument_string(char* text, std::vector<char*>& argv);

// True when the entry begins with a digit '0'..'9' (a list of numbers goes on).
inline bool starts_with_digit(const char* entry) {
  return entry[0] >= '0' && entry[0] <= '9';
}

// Blanks entries [from, to) by writing 0 into their first character, so that
// the parsers behind this one do not see them again.
inline void blank_arguments(char** argv, int from, int to) {
  for (int k = from; k < to; k++) argv[k][0] = 0;
}

// Option-text writers beside the filter's option_text_double/float/int: the
// item and one blank, in the customary "%g" form for a double and "%f" form
// for a float when that reads back to the same value, with just enough more
// digits otherwise. Each returns the number of characters written.
int option_text_double_g(char* buffer, double value);
int option_text_float_f(char* buffer, float value);

// Upper bound of the characters one numeric item takes ("%lf" writes all 309
// integer digits of the largest double).
constexpr int OPTION_TEXT_ITEM_MAX = 330;

#endif  // POINTLIB_FILTER_OPTION_ARGS_HPP
