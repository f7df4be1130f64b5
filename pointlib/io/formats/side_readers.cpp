#include "io/formats/side_readers.hpp"

#include <cstring>

#include "io/formats/las_reader_asc.hpp"
#include "io/formats/las_reader_bil.hpp"
#include "io/formats/las_reader_bin.hpp"
#include "io/formats/las_reader_dtm.hpp"
#include "io/formats/las_reader_qfit.hpp"
#include "io/formats/las_reader_shp.hpp"

namespace {

template <class Plain>
LASreaderSide* make(const double* scale, const double* offset) {
  return side_make_variant<Plain>(scale, offset);
}

struct SideReaderRow {
  const char* word;
  LASreaderSide* (*make)(const double* scale, const double* offset);
};
const SideReaderRow kSideReaders[] = {
    {"bin", make<LASreaderBIN>}, {"shp", make<LASreaderSHP>}, {"asc", make<LASreaderASC>},
    {"bil", make<LASreaderBIL>}, {"dtm", make<LASreaderDTM>}, {"qfit", make<LASreaderQFIT>},
};

}  // namespace

LASreaderSide* side_make_reader(const char* word, const double* scale, const double* offset,
                                bool comma_not_point) {
  for (const SideReaderRow& row : kSideReaders) {
    if (std::strcmp(row.word, word) != 0) continue;
    LASreaderSide* reader = row.make(scale, offset);
    if (LASreaderASC* asc = dynamic_cast<LASreaderASC*>(reader)) {
      asc->set_comma_not_point(comma_not_point);
    }
    return reader;
  }
  return nullptr;
}
