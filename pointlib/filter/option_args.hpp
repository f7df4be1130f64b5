#ifndef POINTLIB_FILTER_OPTION_ARGS_HPP
#define POINTLIB_FILTER_OPTION_ARGS_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

// Helpers shared by the option parsers that walk one argument vector.

// Where a parser stands in the vector while it reads one option word.
struct OptionWalk {
  int argc;
  char** argv;
  int i = 0;     // the option word
  int next = 0;  // behind the last argument read so far

  const char* word() const { return argv[i]; }
  const char* arg(int k) const { return argv[i + k]; }
};

// Prints the formatted message to stderr and returns false, so that a parser
// can report and give up in one statement.
bool option_fail(const char* format, ...);

// True for the words that ask for the option list.
inline bool is_help_word(const char* word) {
  return strcmp(word, "-h") == 0 || strcmp(word, "-help") == 0;
}

// The row of `rows` whose `word` is `word`, or null. The index is built on
// the first look-up, once per table.
template <typename Row, size_t N>
const Row* find_option_row(const Row (&rows)[N], std::string_view word) {
  static const std::unordered_map<std::string_view, const Row*> index = [&rows] {
    std::unordered_map<std::string_view, const Row*> map;
    for (const Row& row : rows) map.emplace(row.word, &row);
    return map;
  }();
  const auto it = index.find(word);
  return it == index.end() ? nullptr : it->second;
}

// The k-th `separator`-separated word of `list`, copied into `out` (cut to
// `size` - 1 characters).
const char* nth_list_word(const char* list, char separator, int k, char* out, size_t size);

// Splits `text` in place at blanks (' ' only) into words and appends a
// pointer to each to `argv`; the blank behind a word becomes its terminating
// zero. Runs of blanks separate words, leading blanks are skipped.
void split_argument_string(char* text, std::vector<char*>& argv);

// Splits `text` as above behind an empty entry 0 (where a command line has
// the program name) and hands the vector to `take(argc, argv)`. The vector
// grows with the text, so a long stored option text is not cut.
template <typename Take>
bool take_split_arguments(char* text, Take take) {
  char empty[1] = {0};
  std::vector<char*> argv(1, empty);
  split_argument_string(text, argv);
  return take(static_cast<int>(argv.size()), argv.data());
}

// True when an entry is an option word, not a value: it begins with '-' and goes on with
// neither a digit nor a point (a negative number is a value). Taken as a value, the word would
// be lost as an option and its text would become a file name or a number.
bool is_option_word(const char* entry);

// Reads the whole of `entry` as a number within [low, high]. Otherwise prints
// "ERROR: '<word>' needs <needs> but '<entry>' is not a valid value" and returns false.
bool option_number(const char* word, const char* needs, const char* entry, double low,
                   double high, double* value);
bool option_number(const char* word, const char* needs, const char* entry, int64_t low,
                   int64_t high, int64_t* value);

// Refuses an option word where a value belongs, naming both; true for a value.
bool option_value(const char* word, const char* needs, const char* entry);

// The sscanf format of each number type the parsers read.
inline const char* scan_format(double*) {
  return "%lf";
}
inline const char* scan_format(float*) {
  return "%f";
}
inline const char* scan_format(int32_t*) {
  return "%d";
}
inline const char* scan_format(uint32_t*) {
  return "%u";
}

// Reads one entry with the format of T; false when it does not parse.
template <typename T>
bool scan_entry(const char* entry, T* value) {
  return sscanf(entry, scan_format(value), value) == 1;
}

// An argument beginning with the byte 0x96 (an en dash in the Windows-1252
// code page) is read, and left, as beginning with '-'.
inline void dash_en_dashes(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (static_cast<unsigned char>(argv[i][0]) == 0x96) argv[i][0] = '-';
  }
}

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

// One row of an option table: the word, the number of entries that must
// follow it, the "needs ..." text for when they do not, and the function that
// reads them and has the effect on the holder (false after its own message).
// `take` may move `w.next` for an option of a variable length.
template <typename Holder>
struct OptionRow {
  const char* word;
  int arguments;
  const char* needs;
  bool (*take)(Holder& holder, OptionWalk& w, const OptionRow& row);
};

// How a walk over an option table ended.
enum class OptionWalkEnd { done, help, failed };

// Walks argv[1..argc-1] and takes every word that has a row, blanking it and
// every entry its row read. An empty entry is skipped; "-h" ends the walk;
// `other(i)` sees every other word (it may take it and move i to the last
// entry it took) and returns false after its own message to end the walk.
template <typename Holder, size_t N, typename Other>
OptionWalkEnd walk_option_rows(const OptionRow<Holder> (&rows)[N], Holder& holder, int argc,
                               char** argv, Other other) {
  dash_en_dashes(argc, argv);
  OptionWalk w{argc, argv};
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '\0') continue;
    if (strcmp(argv[i], "-h") == 0) return OptionWalkEnd::help;
    const OptionRow<Holder>* row = find_option_row(rows, argv[i]);
    if (row == nullptr) {
      if (!other(i)) return OptionWalkEnd::failed;
      continue;
    }
    w.i = i;
    if (w.i + row->arguments >= argc) {
      option_fail("ERROR: '%s' needs %s\n", w.word(), row->needs);
      return OptionWalkEnd::failed;
    }
    w.next = w.i + 1 + row->arguments;
    for (int k = 1; k <= row->arguments; k++) {
      if (!option_value(w.word(), row->needs, w.arg(k))) return OptionWalkEnd::failed;
    }
    if (!row->take(holder, w, *row)) return OptionWalkEnd::failed;
    blank_arguments(argv, w.i, w.next);
    i = w.next - 1;
  }
  return OptionWalkEnd::done;
}

// Walks argv[1..argc-1] for a parser whose options count, read and blank
// their own entries: every word that is not empty goes to `take(w)` with `w.i`
// on it and `w.next` behind it. `take` passes over a word that is not its own,
// moves `w.next` behind the last entry it read, and returns false after its
// own message to end the walk. "-h" or "-help" ends the walk.
template <typename Walk, typename Take>
OptionWalkEnd walk_option_words(Walk& w, Take take) {
  for (int i = 1; i < w.argc; i++) {
    const char* word = w.argv[i];
    if (word[0] == '\0') continue;
    if (is_help_word(word)) return OptionWalkEnd::help;
    w.i = i;
    w.next = i + 1;
    if (!take(w)) return OptionWalkEnd::failed;
    i = w.next - 1;
  }
  return OptionWalkEnd::done;
}

#endif  // POINTLIB_FILTER_OPTION_ARGS_HPP
