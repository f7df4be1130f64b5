#include "filter/criteria_class.hpp"

#include <cstdio>

namespace {

// Lists the classes whose bit in `mask` equals `bit`; with none of them the
// mask form is written instead, as an empty list would not read back.
int write_class_list(char* buffer, const char* list_word, const char* mask_word, uint32_t mask,
                     unsigned bit) {
  const bool none = bit ? mask == 0 : mask == 0xFFFFFFFFu;
  if (none) return sprintf(buffer, "-%s 0 ", mask_word);
  int n = sprintf(buffer, "-%s ", list_word);
  for (unsigned c = 0; c < 32; c++) {
    if (((mask >> c) & 1u) == bit) n += sprintf(buffer + n, "%u ", c);
  }
  return n;
}

}  // namespace

int write_classification_list(char* buffer, bool keep, uint32_t drop_mask) {
  if (keep) return write_class_list(buffer, "keep_class", "keep_classification_mask", drop_mask, 0);
  return write_class_list(buffer, "drop_class", "drop_classification_mask", drop_mask, 1);
}

int LAScriterionDropExtendedClassifications::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  for (int k = 7; k >= 0; k--) n += sprintf(buffer + n, "%u ", drop_words[k]);
  return n;
}
