#include "sr_reader_factory.hpp"

#include <cstdio>
#include <cstring>
#include <memory>

#include "sr_reader_asc.hpp"
#include "sr_reader_bil.hpp"
#include "sr_reader_img.hpp"
#include "sr_reader_png.hpp"
#include "sr_reader_tif.hpp"
#include "sr_reader_vpk.hpp"

namespace {

template <class Reader>
SRreader* open_with(const char* file_name) {
  std::unique_ptr<Reader> reader(new Reader());
  if (!reader->open(file_name)) return nullptr;
  return reader.release();
}

bool is_ext(const char* extension, const char* lower, const char* upper) {
  return strcmp(extension, lower) == 0 || strcmp(extension, upper) == 0;
}

}  // namespace

SRreader* open_raster_reader(const char* extension, const char* file_name) {
  if (extension == nullptr || file_name == nullptr) return nullptr;
  if (is_ext(extension, "asc", "ASC")) return open_with<SRreader_asc>(file_name);
  if (is_ext(extension, "bil", "BIL")) return open_with<SRreader_bil>(file_name);
  if (is_ext(extension, "vpk", "VPK")) return open_with<SRreader_vpk>(file_name);
  if (is_ext(extension, "png", "PNG")) return open_with<SRreader_png>(file_name);
  if (is_ext(extension, "tif", "TIF")) return open_with<SRreader_tif>(file_name);
  if (is_ext(extension, "img", "IMG")) return open_with<SRreader_img>(file_name);
  fprintf(stderr, "ERROR: unknown raster format '%s'.\n", extension);
  return nullptr;
}
