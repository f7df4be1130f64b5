#include "filter/las_criterion.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int option_text_name(char* buffer, const char* name) {
  return sprintf(buffer, "-%s ", name);
}

int option_text_double(char* buffer, double value) {
  // The parser reads doubles with "%lf", that is strtod.
  int n = sprintf(buffer, "%lf ", value);
  if (std::isfinite(value) && strtod(buffer, nullptr) != value) {
    for (int precision = 7; precision <= 17; precision++) {
      n = sprintf(buffer, "%.*g ", precision, value);
      if (strtod(buffer, nullptr) == value) break;
    }
  }
  return n;
}

int option_text_float(char* buffer, float value) {
  // The parser reads floats with "%f", that is strtof.
  int n = sprintf(buffer, "%g ", value);
  if (std::isfinite(value) && strtof(buffer, nullptr) != value) {
    for (int precision = 7; precision <= 9; precision++) {
      n = sprintf(buffer, "%.*g ", precision, value);
      if (strtof(buffer, nullptr) == value) break;
    }
  }
  return n;
}

int option_text_int(char* buffer, int64_t value) {
  return sprintf(buffer, "%lld ", static_cast<long long>(value));
}
