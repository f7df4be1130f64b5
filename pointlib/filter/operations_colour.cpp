#include "filter/operations_colour.hpp"

#include <cstdio>

const char* const RGBNIR_BAND_NAMES[4] = {"R", "G", "B", "NIR"};
const char* const RGBNIR_BAND_COLOURS[4] = {"red", "green", "blue", "nir"};

int LASoperationMultiplyScaledIntensityIntoRGB::write_option_text(char* buffer) const {
  const int n = sprintf(buffer, "-%s_%s ", option_name(), RGBNIR_BAND_COLOURS[band]);
  return n + option_text_float_f(buffer + n, scale);
}

// The band is written as the word spells it ("NIR", which reads back).
int LASoperationCopyAttributeIntoRGBNIR::write_option_text(char* buffer) const {
  const int n = sprintf(buffer, "-%s%s ", option_name(), RGBNIR_BAND_NAMES[band]);
  return n + option_text_int(buffer + n, index);
}
