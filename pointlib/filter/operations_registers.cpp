#include "filter/operations_registers.hpp"

#include <cstdio>

#include "filter/operations_colour.hpp"

const char* LASoperationCopyRBGNIRintoRegister::option_name() const {
  static const char* const names[4] = {"copy_R_into_register", "copy_G_into_register",
                                       "copy_B_into_register", "copy_NIR_into_register"};
  return names[band];
}

int LASoperationCopyRegisterIntoRGBNIR::write_option_text(char* buffer) const {
  const int n = sprintf(buffer, "-%s%s ", option_name(), RGBNIR_BAND_NAMES[band]);
  return n + option_text_int(buffer + n, p0);
}
