#include "filter/las_ignore.hpp"

#include <cstdio>
#include <cstring>

#include "filter/option_args.hpp"

namespace {

// The classes 0..255 that follow the word: one at least, more while the next
// entry begins with a digit.
bool ignore_classes(LASignore& ignore, int& i, int argc, char** argv) {
  const char* word = argv[i];
  if (i + 1 >= argc) {
    fprintf(stderr, "ERROR: '%s' needs 1 at least argument: classification\n", word);
    return false;
  }
  // keep the word for the messages before its entry is blanked
  char option[32];
  snprintf(option, sizeof(option), "%s", word);
  argv[i][0] = 0;
  do {
    i++;
    unsigned c;
    if (sscanf(argv[i], "%u", &c) != 1) {
      fprintf(stderr, "ERROR: '%s' needs arguments between 0 and 255 but '%s' is no valid code\n",
              option, argv[i]);
      return false;
    }
    if (c > 255) {
      fprintf(stderr, "ERROR: '%s' needs arguments between 0 and 255 but '%u' is out of range\n",
              option, c);
      return false;
    }
    ignore.flags |= 1u << (c >> 5);
    ignore.classes[c >> 5] |= 1u << (c & 31);
    argv[i][0] = 0;
  } while (i + 1 < argc && starts_with_digit(argv[i + 1]));
  return true;
}

// The classes 0..31 as one mask.
bool ignore_class_mask(LASignore& ignore, int& i, int argc, char** argv) {
  const char* word = argv[i];
  if (i + 1 >= argc) {
    fprintf(stderr, "ERROR: '%s' needs 1 argument: mask\n", word);
    return false;
  }
  unsigned mask;
  if (sscanf(argv[i + 1], "%u", &mask) != 1) {
    fprintf(stderr,
            "ERROR: '%s' needs argument between 0x00000000 and 0xFFFFFFFF but '%s' is no valid "
            "mask\n",
            word, argv[i + 1]);
    return false;
  }
  if (mask == 0 || mask == 0xFFFFFFFFu) {
    fprintf(stderr,
            "ERROR: '%s' needs argument between 0x00000000 and 0xFFFFFFFF but %u makes no "
            "sense\n",
            word, mask);
    return false;
  }
  ignore.flags |= 1u;
  ignore.classes[0] = mask;
  blank_arguments(argv, i, i + 2);
  i++;
  return true;
}

template <uint32_t BITS>
bool ignore_flag(LASignore& ignore, int& i, int, char** argv) {
  ignore.flags |= BITS;
  argv[i][0] = 0;
  return true;
}

// One row per option word; `take` consumes the word and its arguments, moves
// the position to the last of them and returns false after its own message.
struct IgnoreOption {
  const char* word;
  bool (*take)(LASignore&, int& i, int argc, char** argv);
};

const IgnoreOption kIgnoreOptions[] = {
    {"-ignore_class", ignore_classes},
    {"-ignore_extended_class", ignore_classes},
    {"-ignore_class_mask", ignore_class_mask},
    {"-ignore_first_of_many", ignore_flag<IGNORE_FIRST_OF_MANY>},
    {"-ignore_last_of_many", ignore_flag<IGNORE_LAST_OF_MANY>},
    {"-ignore_intermediate", ignore_flag<IGNORE_INTERMEDIATE>},
    {"-ignore_single", ignore_flag<IGNORE_SINGLE>},
    {"-ignore_first", ignore_flag<IGNORE_FIRST_OF_MANY | IGNORE_SINGLE>},
    {"-ignore_last", ignore_flag<IGNORE_LAST_OF_MANY | IGNORE_SINGLE>},
    {"-ignore_synthetic", ignore_flag<IGNORE_SYNTHETIC>},
    {"-ignore_keypoint", ignore_flag<IGNORE_KEYPOINT>},
    {"-ignore_withheld", ignore_flag<IGNORE_WITHHELD>},
    {"-ignore_overlap", ignore_flag<IGNORE_OVERLAP>},
};

}  // namespace

bool LASignore::take_argument(int& i, int argc, char** argv) {
  if (const IgnoreOption* row = find_option_row(kIgnoreOptions, argv[i])) {
    return row->take(*this, i, argc, argv);
  }
  fprintf(stderr, "ERROR: cannot understand argument '%s'\n", argv[i]);
  return false;
}

void LASignore::store_to_values(int& count, double* values) const {
  if (flags == 0) return;
  values[count++] = flags;
  for (int k = 0; k < 8; k++) {
    if (flags & (1u << k)) values[count++] = classes[k];
  }
}

bool LASignore::load_from_values(int index, int count, const double* values) {
  if (index == count) return true;
  if (index > count) return false;
  const double value = values[index++];
  if (!(value >= 0.0 && value <= 4294967295.0)) return false;
  flags = static_cast<uint32_t>(value);
  for (int k = 0; k < 8; k++) {
    if ((flags & (1u << k)) == 0) continue;
    if (index >= count) return false;
    const double word = values[index++];
    // a word outside the 32-bit range is malformed, not something to cast
    if (!(word >= 0.0 && word <= 4294967295.0)) return false;
    classes[k] = static_cast<uint32_t>(word);
  }
  return true;
}

void LASignore::print_help() const {
  static const char* const kLines[] = {
      "Ignore points based on classifications.\n",
      "  -ignore_class 7\n",
      "  -ignore_class 0 1 7 33\n",
      "Ignore points based on return type.\n",
      "  -ignore_first -ignore_first_of_many\n",
      "  -ignore_last -ignore_last_of_many\n",
      "  -ignore_intermediate\n",
      "  -ignore_single\n",
      "Ignore points based on flags.\n",
      "  -ignore_synthetic -ignore_keypoint\n",
      "  -ignore_withheld -ignore_overlap\n",
  };
  for (const char* line : kLines) fputs(line, stderr);
}
