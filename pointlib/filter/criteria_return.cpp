#include "filter/criteria_return.hpp"

#include <cstdio>

namespace {

const char* const kKeepNumberWords[] = {"keep_single", "keep_double", "keep_triple",
                                        "keep_quadruple", "keep_quintuple"};
const char* const kDropNumberWords[] = {"drop_single", "drop_double", "drop_triple",
                                        "drop_quadruple", "drop_quintuple"};

// Lists the return numbers whose bit in `mask` equals `bit`; with none of them
// the mask itself is written, as a list of no numbers would not read back.
int write_return_list(char* buffer, const char* list_word, const char* mask_word, uint16_t mask,
                      unsigned bit, unsigned written_mask) {
  int n = 0;
  if ((mask ^ (bit ? 0u : 0xFFFFu)) == 0) {
    return sprintf(buffer, "-%s %u ", mask_word, written_mask);
  }
  n = sprintf(buffer, "-%s ", list_word);
  for (unsigned r = 0; r < 16; r++) {
    if (((mask >> r) & 1u) == bit) n += sprintf(buffer + n, "%u ", r);
  }
  return n;
}

}  // namespace

const char* LAScriterionKeepSpecificNumberOfReturns::option_name() const {
  return number >= 1 && number <= 5 ? kKeepNumberWords[number - 1] : "keep_number_of_returns";
}

int LAScriterionKeepSpecificNumberOfReturns::write_option_text(char* buffer) const {
  if (number >= 1 && number <= 5) return option_text_name(buffer, option_name());
  return sprintf(buffer, "-%s %u ", option_name(), number);
}

const char* LAScriterionDropSpecificNumberOfReturns::option_name() const {
  return number >= 1 && number <= 5 ? kDropNumberWords[number - 1] : "drop_number_of_returns";
}

int LAScriterionDropSpecificNumberOfReturns::write_option_text(char* buffer) const {
  if (number >= 1 && number <= 5) return option_text_name(buffer, option_name());
  return sprintf(buffer, "-%s %u ", option_name(), number);
}

int LAScriterionKeepReturns::write_option_text(char* buffer) const {
  // kept return numbers are the clear bits; all bits set keeps nothing
  return write_return_list(buffer, "keep_return", "keep_return_mask", drop_mask, 0, 0);
}

int LAScriterionDropReturns::write_option_text(char* buffer) const {
  return write_return_list(buffer, "drop_return", "drop_return_mask", drop_mask, 1, 0);
}
