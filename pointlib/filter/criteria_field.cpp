#include "filter/criteria_field.hpp"

int LAScriterionAttribute::write_text(char* buffer, int values) const {
  int n = option_text_name(buffer, option_name());
  n += option_text_int(buffer + n, index);
  n += option_text_double(buffer + n, v0);
  if (values > 1) n += option_text_double(buffer + n, v1);
  return n;
}
