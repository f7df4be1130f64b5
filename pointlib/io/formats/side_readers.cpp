#include "io/formats/side_readers.hpp"

#include "io/formats/las_reader_asc.hpp"
#include "io/formats/las_reader_bil.hpp"
#include "io/formats/las_reader_bin.hpp"
#include "io/formats/las_reader_dtm.hpp"
#include "io/formats/las_reader_qfit.hpp"
#include "io/formats/las_reader_shp.hpp"

LASreaderSide* side_make_reader(LASsideFormat format, const double* scale, const double* offset,
                                bool comma_not_point) {
  switch (format) {
    case LASsideFormat::bin:
      return side_make_variant<LASreaderBIN>(scale, offset);
    case LASsideFormat::shp:
      return side_make_variant<LASreaderSHP>(scale, offset);
    case LASsideFormat::asc: {
      LASreaderASC* asc = side_make_variant<LASreaderASC>(scale, offset);
      asc->set_comma_not_point(comma_not_point);
      return asc;
    }
    case LASsideFormat::bil:
      return side_make_variant<LASreaderBIL>(scale, offset);
    case LASsideFormat::dtm:
      return side_make_variant<LASreaderDTM>(scale, offset);
    case LASsideFormat::qfit:
      return side_make_variant<LASreaderQFIT>(scale, offset);
  }
  return nullptr;
}
