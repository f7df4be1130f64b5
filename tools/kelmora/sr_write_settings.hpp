#ifndef KELMORA_SR_WRITE_SETTINGS_HPP
#define KELMORA_SR_WRITE_SETTINGS_HPP

#include <cstdint>
#include <string>

// Raster output settings, kept so that their option text reaches child runs.
// kelmora writes no raster and has no option that changes them; only the
// defaults and the clearing of the file name occur. Empty strings are unset.
class SRwriteSettings {
 public:
  std::string output_directory;
  std::string file_name;
  std::string appendix;
  uint32_t cut = 0;
  std::string format = "asc";
  bool kml = true;
  bool world_file = true;
  int32_t nodata = -9999;
  bool nodata_set = false;
  std::string tiling_name;
  int32_t tile_size = 0;
  int32_t compression_quality = -1;

  // Appends the option text of every setting that is not at its default (with
  // `all` also the output names and the format) and returns the number of
  // characters appended. With the defaults and `all` that is "-oasc ".
  size_t write_options(std::string* text, bool all) const;

  // Null forgets the output file name (the format stays).
  void set_file_name(const char* name) { file_name = name ? name : ""; }
};

#endif
