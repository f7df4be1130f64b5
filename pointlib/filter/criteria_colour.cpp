#include "filter/criteria_colour.hpp"

#include <cstdio>

int LAScriterionRGBchannel::write_option_text(char* buffer) const {
  static const char* const kChannelWords[] = {"red", "green", "blue", "nir"};
  return sprintf(buffer, "-%s_%s %d %d ", option_name(), kChannelWords[channel], min, max);
}

int LAScriterionKeepNDVI::write_option_text(char* buffer) const {
  const char* suffix = nir_channel == 1 ? "_green_is_NIR" : nir_channel == 2 ? "_blue_is_NIR" : "";
  int n = sprintf(buffer, "-%s%s ", option_name(), suffix);
  n += option_text_float(buffer + n, min);
  n += option_text_float(buffer + n, max);
  return n;
}
