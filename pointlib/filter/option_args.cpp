#include "filter/option_args.hpp"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

bool option_fail(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vfprintf(stderr, format, ap);
  va_end(ap);
  return false;
}

bool is_option_word(const char* entry) {
  if (entry[0] != '-' || entry[1] == '\0') return false;
  return !(entry[1] >= '0' && entry[1] <= '9') && entry[1] != '.';
}

bool option_value(const char* word, const char* needs, const char* entry) {
  if (!is_option_word(entry)) return true;
  return option_fail("ERROR: '%s' needs %s but '%s' is an option, not a value\n", word, needs,
                     entry);
}

namespace {

bool invalid_value(const char* word, const char* needs, const char* entry) {
  return option_fail("ERROR: '%s' needs %s but '%s' is not a valid value\n", word, needs, entry);
}

}  // namespace

bool option_number(const char* word, const char* needs, const char* entry, double low,
                   double high, double* value) {
  char* end = nullptr;
  const double v = std::strtod(entry, &end);
  if (end == entry || *end != '\0' || !(v >= low && v <= high)) {
    return invalid_value(word, needs, entry);
  }
  *value = v;
  return true;
}

bool option_number(const char* word, const char* needs, const char* entry, int64_t low,
                   int64_t high, int64_t* value) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(entry, &end, 10);
  if (end == entry || *end != '\0' || errno == ERANGE || v < low || v > high) {
    return invalid_value(word, needs, entry);
  }
  *value = v;
  return true;
}

const char* nth_list_word(const char* list, char separator, int k, char* out, size_t size) {
  while (k > 0 && *list) {
    if (*list++ == separator) k--;
  }
  size_t n = 0;
  while (list[n] && list[n] != separator && n + 1 < size) {
    out[n] = list[n];
    n++;
  }
  out[n] = 0;
  return out;
}

void split_argument_string(char* text, std::vector<char*>& argv) {
  char* c = text;
  while (*c) {
    while (*c == ' ') c++;
    if (*c == 0) break;
    argv.push_back(c);
    while (*c && *c != ' ') c++;
    if (*c) *c++ = 0;
  }
}

int option_text_double_g(char* buffer, double value) {
  int n = sprintf(buffer, "%g ", value);
  if (std::isfinite(value) && strtod(buffer, nullptr) != value) {
    for (int precision = 7; precision <= 17; precision++) {
      n = sprintf(buffer, "%.*g ", precision, value);
      if (strtod(buffer, nullptr) == value) break;
    }
  }
  return n;
}

int option_text_float_f(char* buffer, float value) {
  int n = sprintf(buffer, "%f ", static_cast<double>(value));
  if (std::isfinite(value) && strtof(buffer, nullptr) != value) {
    for (int precision = 7; precision <= 9; precision++) {
      n = sprintf(buffer, "%.*g ", precision, static_cast<double>(value));
      if (strtof(buffer, nullptr) == value) break;
    }
  }
  return n;
}
