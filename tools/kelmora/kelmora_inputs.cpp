#include "kelmora_inputs.hpp"

#include <cstdio>
#include <cstring>

#include "io/las_input_file_list.hpp"
#include "option_text.hpp"

#if __has_include("io/las_input_options.hpp")
#define KELMORA_HAVE_INPUT_OPTIONS 1
#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "io/las_input_options.hpp"
#else
class LASinputOptions {};
#endif

#ifdef KELMORA_HAVE_INPUT_OPTIONS

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

KelmoraInputs::KelmoraInputs() : options(new LASinputOptions()) {}
KelmoraInputs::~KelmoraInputs() = default;

bool KelmoraInputs::take_arguments(int argc, char** argv) {
  return options->take_arguments(argc, argv, false) != 0;
}

bool KelmoraInputs::add_file_names_wildcard(const char* pattern) {
  return options->add_file_names_wildcard(pattern, false) != 0;
}

uint32_t KelmoraInputs::file_count() const {
  return options->get_file_name_number();
}
const char* KelmoraInputs::file_name(uint32_t i) const {
  return options->get_file_name(i);
}
bool KelmoraInputs::merged() const {
  return options->merged;
}
bool KelmoraInputs::has_more_input() const {
  return options->has_more_input();
}

BatchInputs KelmoraInputs::batch_inputs() const {
  BatchInputs b;
  for (uint32_t i = 0; i < file_count(); i++) b.names.push_back(file_name(i));
  b.merged = options->merged;
  b.buffered = options->uses_buffering();
  b.buffer_size = options->buffer_size;
  if (const char* temp = options->get_temp_file_base()) b.temp_dir = temp;
  b.files_are_flightlines = options->files_are_flightlines;
  write_read_options(*options, &b.read_options);
  char buffer[8192];
  if (const LASfilter* f = options->get_filter()) {
    buffer[0] = '\0';
    if (f->write_options_text(buffer) > 0) b.filter_options = buffer;
  }
  if (const LAStransform* t = options->get_transform()) {
    buffer[0] = '\0';
    if (t->write_options_text(buffer) > 0) b.transform_options = buffer;
  }
  return b;
}

#else

// Until the library's input options are part of the build: the input list
// from "-i" (every following name up to the next option) and "-lof", and
// "-merged".
KelmoraInputs::KelmoraInputs() : list(new LASinputFileList()) {}
KelmoraInputs::~KelmoraInputs() = default;

bool KelmoraInputs::take_arguments(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    char* word = argv[i];
    if (word[0] == '\0') continue;
    if (strncmp(word, "-ignore_", 8) == 0) {
      fprintf(stderr, "ERROR: this tool does not process '-ignore_xxxx' options\n");
      return false;
    }
    if (strcmp(word, "-i") == 0) {
      if (i + 1 >= argc) {
        fprintf(stderr, "ERROR: '%s' needs at least 1 argument: file_name or wild_card\n", word);
        return false;
      }
      word[0] = '\0';
      while (i + 1 < argc && argv[i + 1][0] != '-' && argv[i + 1][0] != '\0') {
        i++;
        if (!list->add_file_names_wildcard(argv[i], false)) {
          fprintf(stderr, "ERROR: cannot find file '%s'\n", argv[i]);
          return false;
        }
        argv[i][0] = '\0';
      }
    } else if (strcmp(word, "-lof") == 0) {
      if (i + 1 >= argc) {
        fprintf(stderr, "ERROR: '%s' needs 1 argument: list_of_files\n", word);
        return false;
      }
      if (!list->load_list_file(argv[i + 1], false)) {
        fprintf(stderr, "ERROR: cannot load list of files '%s'\n", argv[i + 1]);
        return false;
      }
      word[0] = '\0';
      argv[++i][0] = '\0';
    } else if (strcmp(word, "-merged") == 0) {
      merged_inputs = true;
      word[0] = '\0';
    }
  }
  return true;
}

bool KelmoraInputs::add_file_names_wildcard(const char* pattern) {
  return list->add_file_names_wildcard(pattern, false) != 0;
}

uint32_t KelmoraInputs::file_count() const {
  return list->get_file_name_number();
}
const char* KelmoraInputs::file_name(uint32_t i) const {
  return list->get_file_name(i);
}
bool KelmoraInputs::merged() const {
  return merged_inputs;
}
bool KelmoraInputs::has_more_input() const {
  return file_count() > 0;
}

BatchInputs KelmoraInputs::batch_inputs() const {
  BatchInputs b;
  for (uint32_t i = 0; i < file_count(); i++) b.names.push_back(file_name(i));
  b.merged = merged_inputs;
  if (merged_inputs) b.read_options = "-merged ";
  return b;
}

#endif
