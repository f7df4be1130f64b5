#include "filter/criteria_combine.hpp"

int LAScriterionCombination::write_option_text(char* buffer) const {
  int n = first->write_option_text(buffer);
  n += second->write_option_text(buffer + n);
  return n + option_text_name(buffer + n, option_name());
}
