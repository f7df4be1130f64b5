#include "input_batch.hpp"

#include <vector>

#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "io/las_input_options.hpp"
#include "option_text.hpp"

size_t write_read_options(const LASinputOptions& o, std::string* text) {
  size_t n = 0;
  if (const float* t = o.get_inside_tile()) {
    n += append_format(text, "-inside_tile %g %g %g ", t[0], t[1], t[2]);
  } else if (const double* c = o.get_inside_circle()) {
    n += append_format(text, "-inside_circle %lf %lf %lf ", c[0], c[1], c[2]);
  } else if (const double* r = o.get_inside_rectangle()) {
    n += append_format(text, "-inside_rectangle %lf %lf %lf %lf ", r[0], r[1], r[2], r[3]);
  }
  if (o.stored) n += append_format(text, "-stored ");
  if (o.merged) n += append_format(text, "-merged ");
  if (o.files_are_flightlines == 1) {
    n += append_format(text, "-faf ");
  } else if (o.files_are_flightlines != 0) {
    n += append_format(text, "-faf %d ", o.files_are_flightlines);
  }
  if (o.apply_file_source_ID) n += append_format(text, "-apply_file_source_ID ");
  if (const double* s = o.get_scale_factor()) {
    if (s[2] != 0.0 && (s[0] != 0.0 || s[1] != 0.0)) {
      n += append_format(text, "-rescale %lf %lf %lf ", s[0], s[1], s[2]);
    } else if (s[2] != 0.0) {
      n += append_format(text, "-rescale_z %lf ", s[2]);
    } else if (s[0] != 0.0 && s[1] != 0.0) {
      n += append_format(text, "-rescale_xy %lf %lf ", s[0], s[1]);
    }
  }
  if (const double* off = o.get_offset()) {
    n += append_format(text, "-reoffset %lf %lf %lf ", off[0], off[1], off[2]);
  } else if (o.auto_reoffset) {
    n += append_format(text, "-auto_reoffset ");
  }
  if (o.populate_header) n += append_format(text, "-populate ");
  if (o.io_ibuffer_size != 262144) n += append_format(text, "-io_ibuffer %u ", o.io_ibuffer_size);
  if (const char* temp = o.get_temp_file_base()) {
    n += append_format(text, "-temp_files \"%s\" ", temp);
  }
  return n;
}

namespace {

// The filter and transform write their text into a buffer the caller sizes;
// each criterion or operation takes far less than this per list entry.
constexpr size_t kOptionTextBytes = 65536;

}  // namespace

BatchInputs batch_inputs_from(const LASinputOptions& o) {
  BatchInputs b;
  for (uint32_t i = 0; i < o.get_file_name_number(); i++) b.names.push_back(o.get_file_name(i));
  b.merged = o.merged;
  b.buffered = o.uses_buffering();
  b.buffer_size = o.buffer_size;
  if (const char* temp = o.get_temp_file_base()) b.temp_dir = temp;
  b.files_are_flightlines = o.files_are_flightlines;
  write_read_options(o, &b.read_options);
  std::vector<char> buffer(kOptionTextBytes, '\0');
  if (const LASfilter* f = o.get_filter()) {
    if (f->write_options_text(buffer.data()) > 0) b.filter_options = buffer.data();
  }
  if (const LAStransform* t = o.get_transform()) {
    buffer[0] = '\0';
    if (t->write_options_text(buffer.data()) > 0) b.transform_options = buffer.data();
  }
  return b;
}
