// Which reader an input name means, on the first open and on a second pass.

#include "io/las_input_formats.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char* name;
  LASinputFormat open;
  LASinputFormat reopen;
};

// Patterns are found anywhere in the name and the first row wins, so the
// order of the table decides names that hold two of them.
const NameCase kNames[] = {
    {"tile.las", LASinputFormat::las, LASinputFormat::las},
    {"tile.VPK", LASinputFormat::las, LASinputFormat::las},
    {"data.las.bin", LASinputFormat::las, LASinputFormat::las},
    {"a.las.txt", LASinputFormat::las, LASinputFormat::las},
    {"terra.BIN", LASinputFormat::bin, LASinputFormat::bin},
    {"points.shp", LASinputFormat::shp, LASinputFormat::shp},
    {"grid.asc", LASinputFormat::asc, LASinputFormat::asc},
    {"grid.BIL", LASinputFormat::bil, LASinputFormat::bil},
    {"grid.dtm", LASinputFormat::dtm, LASinputFormat::dtm},
    {"x.QI", LASinputFormat::qfit, LASinputFormat::qfit},
    // a second pass tries QFIT before the grids ...
    {"flight.qi.asc", LASinputFormat::asc, LASinputFormat::qfit},
    // ... and has no PLY reader
    {"scan.ply", LASinputFormat::ply, LASinputFormat::txt},
    {"x.xyz", LASinputFormat::txt, LASinputFormat::txt},
    {"las", LASinputFormat::txt, LASinputFormat::txt},
};

TEST(LASinputFormats, NamesChooseTheReader) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(las_input_format_of(c.name), c.open);
    EXPECT_EQ(las_input_format_to_reopen(c.name), c.reopen);
  }
}

TEST(LASinputFormats, WordsOfTheMessages) {
  struct Words {
    LASinputFormat format;
    const char* word;
    const char* upper;
  };
  const Words kWords[] = {
      {LASinputFormat::las, "las", "LAS"},
      {LASinputFormat::qfit, "qfit", "QFIT"},
      {LASinputFormat::shp, "shp", "SHP"},
      {LASinputFormat::txt, "txt", "TXT"},
  };
  for (const Words& w : kWords) {
    const LASinputFormatName& name = las_input_format_name(w.format);
    EXPECT_EQ(name.format, w.format);
    EXPECT_STREQ(name.word, w.word);
    EXPECT_STREQ(name.upper, w.upper);
  }
}

}  // namespace
