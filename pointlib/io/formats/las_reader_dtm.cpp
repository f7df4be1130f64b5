#include "io/formats/las_reader_dtm.hpp"

#include <cinttypes>
#include <cmath>
#include <cstring>

#include "io/formats/record_bytes.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr char kSignature[21] = "PLANS-PC BINARY .DTM";

// The header fields in file order, named as their read failure names them.
struct HeaderField {
  int offset;
  int size;
  const char* name;
};
const HeaderField kHeaderFields[] = {
    {0, 21, "signature"},          {21, 61, "description"},       {82, 4, "version"},
    {86, 8, "lower_left_x"},       {94, 8, "lower_left_y"},       {102, 8, "min_value"},
    {110, 8, "max_value"},         {118, 8, "rotation"},          {126, 8, "column_spacing"},
    {134, 8, "row_spacing"},       {142, 4, "number_of_columns"}, {146, 4, "number_of_rows"},
    {150, 2, "horizontal_units"},  {152, 2, "vertical_units"},    {154, 2, "data_type"},
    {156, 2, "coordinate_system"}, {158, 2, "coordinate_zone"},   {160, 2, "horizontal_datum"},
    {162, 2, "vertical_datum"},    {164, 36, "reserved"},
};

// NAD83 state-plane zone numbers and their projection codes.
struct StatePlaneCode {
  int16_t zone;
  uint16_t code;
};
const StatePlaneCode kStatePlanes[122] = {
    {101, 26929},  {102, 26930},  {201, 26948},  {202, 26949},  {203, 26950},  {301, 26951},
    {302, 26952},  {401, 26941},  {402, 26942},  {403, 26943},  {404, 26944},  {405, 26945},
    {406, 26946},  {501, 26953},  {502, 26954},  {503, 26955},  {600, 26956},  {700, 26957},
    {901, 26958},  {902, 26959},  {903, 26960},  {1001, 26966}, {1002, 26967}, {1101, 26968},
    {1102, 26969}, {1103, 26970}, {1201, 26971}, {1202, 26972}, {1301, 26973}, {1302, 26974},
    {1401, 26975}, {1402, 26976}, {1501, 26977}, {1502, 26978}, {1601, 2205},  {1602, 26980},
    {1701, 26981}, {1702, 26982}, {1801, 26983}, {1802, 26984}, {1900, 26985}, {2001, 26986},
    {2002, 26987}, {2111, 26988}, {2112, 26989}, {2113, 26990}, {2201, 26991}, {2202, 26992},
    {2203, 26993}, {2301, 26994}, {2302, 26995}, {2401, 26996}, {2402, 26997}, {2403, 26998},
    {2500, 32100}, {2600, 32104}, {2701, 32107}, {2702, 32108}, {2703, 32109}, {2800, 32110},
    {2900, 32111}, {3001, 32112}, {3002, 32113}, {3003, 32114}, {3101, 32115}, {3102, 32116},
    {3103, 32117}, {3104, 32118}, {3200, 32119}, {3301, 32120}, {3302, 32121}, {3401, 32122},
    {3402, 32123}, {3501, 32124}, {3502, 32125}, {3601, 32126}, {3602, 32127}, {3701, 32128},
    {3702, 32129}, {3800, 32130}, {3900, 32133}, {4001, 32134}, {4002, 32135}, {4100, 32136},
    {4201, 32137}, {4202, 32138}, {4203, 32139}, {4204, 32140}, {4205, 32141}, {4301, 32142},
    {4302, 32143}, {4303, 32144}, {4400, 32145}, {4501, 32146}, {4502, 32147}, {4601, 32148},
    {4602, 32149}, {4701, 32150}, {4702, 32151}, {4801, 32152}, {4802, 32153}, {4803, 32154},
    {4901, 32155}, {4902, 32156}, {4903, 32157}, {4904, 32158}, {5001, 26931}, {5002, 26932},
    {5003, 26933}, {5004, 26934}, {5005, 26935}, {5006, 26936}, {5007, 26937}, {5008, 26938},
    {5009, 26939}, {5010, 26940}, {5101, 26961}, {5102, 26962}, {5103, 26963}, {5104, 26964},
    {5105, 26965}, {5200, 32161},
};

// The projection code of UTM or state-plane coordinates, or 0.
int projection_code(int16_t coordinate_system, int16_t zone, int16_t datum) {
  if (coordinate_system == 2 && zone >= 1 && zone <= 160) {
    if (datum == 1) {
      if (zone >= 3 && zone <= 22) return 26700 + zone;
      print_note("UTM zone %d for NAD27 out-of-range\n", zone);
    } else if (datum == 2) {
      if (zone >= 3 && zone <= 22) return 26900 + zone;
      if (zone >= 28 && zone <= 38) return 25800 + zone;
      print_note("UTM zone %d for NAD83 out-of-range\n", zone);
    } else if (datum == 3) {
      return 32600 + zone;
    }
  } else if (coordinate_system == 3 && datum == 2) {
    for (const StatePlaneCode& s : kStatePlanes) {
      if (s.zone == zone) return s.code;
    }
    print_note("state plane NAD83 zone %d not implemented\n", zone);
  }
  return 0;
}

}  // namespace

LASreaderDTM::LASreaderDTM() = default;

LASreaderDTM::~LASreaderDTM() {
  clean();
}

void LASreaderDTM::clean() {
  close_cells();
  col = row = 0;
  ncols = nrows = 0;
  xdim = ydim = 0.0f;
  reset_overflows();
  data_type = -1;
}

bool LASreaderDTM::read_header(const char* file_name) {
  uint8_t h[kHeaderSize];
  const size_t got = cells.copy(h, kHeaderSize);
  if (got >= sizeof(kSignature) && std::memcmp(h, kSignature, sizeof(kSignature)) != 0) {
    char shown[sizeof(kSignature) + 1] = {};
    std::memcpy(shown, h, sizeof(kSignature));
    std::fprintf(stderr, "ERROR: cannot open DTM file '%s', wrong signature '%21s'\n", file_name,
                 shown);
    return false;
  }
  if (got < static_cast<size_t>(kHeaderSize)) {
    for (const HeaderField& field : kHeaderFields) {
      if (static_cast<size_t>(field.offset + field.size) > got) {
        std::fprintf(stderr, "ERROR: reading %d byte %s for '%s'\n", field.size, field.name,
                     file_name);
        break;
      }
    }
    return false;
  }
  const float version = record_f32(h + 82);
  if (version != 3.1f) print_note("WARNING: expected 3.1 but version is %1.1f\n", version);
  const double rotation = record_f64(h + 118);
  if (rotation != 0.0) print_note("WARNING: expected 0.0 but rotation is %g\n", rotation);
  llx = record_f64(h + 86);
  lly = record_f64(h + 94);
  xdim = static_cast<float>(record_f64(h + 126));
  ydim = static_cast<float>(record_f64(h + 134));
  ncols = record_i32(h + 142);
  nrows = record_i32(h + 146);
  data_type = record_i16(h + 154);
  // A grid of no cells, or one placed nowhere, gives no points to trust.
  if (ncols <= 0 || nrows <= 0) {
    std::fprintf(stderr, "ERROR: DTM file '%s' has %d columns and %d rows\n", file_name, ncols,
                 nrows);
    return false;
  }
  if (!std::isfinite(llx) || !std::isfinite(lly)) {
    std::fprintf(stderr, "ERROR: DTM file '%s' has no lower-left corner (%g, %g)\n", file_name, llx,
                 lly);
    return false;
  }
  if (data_type < 0 || data_type > 3) {
    std::fprintf(stderr, "ERROR: unknown data type %d\n", data_type);
    return false;
  }
  if (!(xdim > 0.0f) || !std::isfinite(xdim)) {
    print_note("WARNING: xdim was %g. setting to 1.0\n", xdim);
    xdim = 1.0f;
  }
  if (!(ydim > 0.0f) || !std::isfinite(ydim)) {
    print_note("WARNING: ydim was %g. setting to 1.0\n", ydim);
    ydim = 1.0f;
  }
  // The file gives the cell's corner; the points lie at the centres.
  llx += xdim * 0.5;
  lly += ydim * 0.5;
  store_geo_keys(record_i16(h + 150), record_i16(h + 152), record_i16(h + 156), record_i16(h + 158),
                 record_i16(h + 160), record_i16(h + 162));
  return true;
}

void LASreaderDTM::store_geo_keys(int16_t horizontal_units, int16_t vertical_units,
                                  int16_t coordinate_system, int16_t zone, int16_t horizontal_datum,
                                  int16_t vertical_datum) {
  LASvlrKeyEntry keys[5];
  uint32_t n = 0;
  auto add = [&keys, &n](uint16_t key, uint16_t value) { keys[n++] = {key, 0, 1, value}; };
  const int code = projection_code(coordinate_system, zone, horizontal_datum);
  if (code) {
    add(1024, 1);
    add(3072, static_cast<uint16_t>(code));
  }
  if (horizontal_units == 0 || horizontal_units == 1) {
    add(3076, horizontal_units == 1 ? 9001 : 9002);
  }
  if (vertical_units == 0 || vertical_units == 1) add(4099, vertical_units == 1 ? 9001 : 9002);
  if (vertical_datum >= 1 && vertical_datum <= 3) {
    static const uint16_t kVerticalDatums[3] = {5102, 5103, 5030};
    add(4096, kVerticalDatums[vertical_datum - 1]);
  }
  if (n > 0) header.store_geo_key_directory(n, keys);
}

bool LASreaderDTM::read_cell(float* value, double* wide) {
  const uint8_t* p;
  switch (data_type) {
    case 0:
      if ((p = cells.take(2)) == nullptr) return false;
      *wide = *value = record_i16(p);
      return true;
    case 1:
      if ((p = cells.take(4)) == nullptr) return false;
      *value = static_cast<float>(record_i32(p));
      *wide = *value;
      return true;
    case 2:
      if ((p = cells.take(4)) == nullptr) return false;
      *wide = *value = record_f32(p);
      return true;
    case 3:
      if ((p = cells.take(8)) == nullptr) return false;
      *wide = record_f64(p);
      *value = static_cast<float>(*wide);
      return true;
  }
  return false;
}

bool LASreaderDTM::open(const char* file_name) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  clean();
  if (!open_cells(file_name, "open", 0) || !read_header(file_name)) return false;
  // A header that promises more cells than the file holds is refused before
  // any is read: its points would be placed from a grid that is not there.
  static const uint64_t kCellBytes[4] = {2, 4, 4, 8};
  uint64_t needed;
  if (__builtin_mul_overflow(static_cast<uint64_t>(ncols) * static_cast<uint64_t>(nrows),
                             kCellBytes[data_type], &needed) ||
      __builtin_add_overflow(needed, uint64_t{kHeaderSize}, &needed)) {
    needed = UINT64_MAX;
  }
  if (!cells_fit("DTM", file_name, needed)) return false;
  if (!begin_header("LASreaderDTM", file_name)) return false;
  header.min_x = llx;
  header.min_y = lly;
  header.max_x = llx + static_cast<float>(ncols - 1) * xdim;
  header.max_y = lly + static_cast<float>(nrows - 1) * ydim;

  begin_count();
  float value;
  double wide;
  for (int64_t c = 0; c < ncols; c++) {
    for (int64_t r = 0; r < nrows; r++) {
      if (!read_cell(&value, &wide)) return count_ended("DTM", file_name, r, c);
      if (is_value(value, kNodata)) count_cell(data_type == 3 ? wide : value);
    }
  }
  close_input(true);
  if (!end_count("DTM", 0.01, 0.01)) return false;
  // The record places the lower-left corner of the grid, as for every raster.
  if (!add_raster_record(ncols, nrows, xdim, ydim, llx - xdim * 0.5, lly - ydim * 0.5)) {
    return false;
  }
  return reopen(file_name);
}

bool LASreaderDTM::reopen(const char* file_name) {
  return open_cells(file_name, "reopen", 0) && cells.take(kHeaderSize) != nullptr;
}

bool LASreaderDTM::read_one_point() {
  if (p_count >= npoints) return false;
  for (;;) {
    if (row >= nrows) {
      row = 0;
      col++;
    }
    float value;
    double wide;
    if (col >= ncols || !read_cell(&value, &wide)) return end_of_cells();
    if (is_value(value, kNodata)) {
      set_point(llx + static_cast<float>(col) * xdim, lly + static_cast<float>(row) * ydim, value);
      row++;
      p_count++;
      return true;
    }
    row++;
  }
}
