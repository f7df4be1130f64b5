#include "io/las_input_formats.hpp"

#include <cstdio>
#include <cstring>

namespace {

// clang-format off
const LASinputFormatName kInputFormats[] = {
  {LASinputFormat::las, {".las", ".vpk", ".LAS", ".VPK"}, "las", "LAS"},
  {LASinputFormat::bin, {".bin", ".BIN"}, "bin", "BIN"},
  {LASinputFormat::shp, {".shp", ".SHP"}, "shp", "SHP"},
  {LASinputFormat::asc, {".asc", ".ASC"}, "asc", "ASC"},
  {LASinputFormat::bil, {".bil", ".BIL"}, "bil", "BIL"},
  {LASinputFormat::dtm, {".dtm", ".DTM"}, "dtm", "DTM"},
  {LASinputFormat::ply, {".ply", ".PLY"}, "ply", "PLY"},
  {LASinputFormat::qfit, {".qi", ".QI"}, "qfit", "QFIT"},
  {LASinputFormat::txt, {nullptr}, "txt", "TXT"},
};
// clang-format on

const LASinputFormat kReopenOrder[] = {
    LASinputFormat::las, LASinputFormat::bin, LASinputFormat::shp, LASinputFormat::qfit,
    LASinputFormat::asc, LASinputFormat::bil, LASinputFormat::dtm};

bool name_means(const char* name, const LASinputFormatName& row) {
  for (const char* pattern : row.patterns) {
    if (pattern == nullptr) return false;
    if (std::strstr(name, pattern)) return true;
  }
  return false;
}

// A LAS or VPK file under another extension is still one: its signature says so, where
// reading it as text would give a "cannot parse" warning a line.
bool has_las_signature(const char* name) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return false;
  char magic[4] = {};
  const bool las = std::fread(magic, 1, sizeof(magic), file) == sizeof(magic) &&
                   std::memcmp(magic, "LASF", sizeof(magic)) == 0;
  std::fclose(file);
  return las;
}

}  // namespace

const LASinputFormatName& las_input_format_name(LASinputFormat format) {
  return kInputFormats[static_cast<int>(format)];
}

LASinputFormat las_input_format_of(const char* name) {
  for (const LASinputFormatName& row : kInputFormats) {
    if (name_means(name, row)) return row.format;
  }
  return has_las_signature(name) ? LASinputFormat::las : LASinputFormat::txt;
}

LASinputFormat las_input_format_to_reopen(const char* name) {
  for (LASinputFormat format : kReopenOrder) {
    if (name_means(name, las_input_format_name(format))) return format;
  }
  return has_las_signature(name) ? LASinputFormat::las : LASinputFormat::txt;
}
