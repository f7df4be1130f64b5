#include "sr_write_settings.hpp"

#include "option_text.hpp"

size_t SRwriteSettings::write_options(std::string* text, bool all) const {
  size_t n = 0;
  if (!tiling_name.empty())
    n += append_format(text, "-tiling_ns %s %d ", tiling_name.c_str(), tile_size);
  if (nodata_set) n += append_format(text, "-nodata %d ", nodata);
  if (compression_quality != -1) {
    n += append_format(text, "-compression_quality %d ", compression_quality);
  }
  if (all) {
    if (!kml) n += append_format(text, "-no_kml ");
    if (!world_file) n += append_format(text, "-no_world_file ");
    if (!output_directory.empty()) {
      n += append_format(text, "-odir \"%s\" ", output_directory.c_str());
    }
    if (!file_name.empty()) n += append_format(text, "-o \"%s\" ", file_name.c_str());
    if (!appendix.empty()) n += append_format(text, "-odix \"%s\" ", appendix.c_str());
    if (cut != 0) n += append_format(text, "-ocut %u ", cut);
    if (!format.empty()) n += append_format(text, "-o%s ", format.c_str());
  }
  return n;
}
