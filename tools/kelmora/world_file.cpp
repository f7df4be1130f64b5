#include "world_file.hpp"
#include "platform/run_messages.hpp"

#include <cstdio>
#include <cstring>
#include <string>

bool read_world_file(SRreader* r, const char* file_name, const char* lower_ext,
                     const char* upper_ext) {
  const char* dot = strrchr(file_name, '.');
  if (dot == nullptr) {
    fprintf(stderr, "ERROR: file name '%s' is not a valid TIF file\n", file_name);
    return false;
  }
  std::string stem(file_name, static_cast<size_t>(dot - file_name));
  std::string name = stem + "." + lower_ext;
  FILE* file = fopen(name.c_str(), "r");
  if (file == nullptr) {
    name = stem + "." + upper_ext;
    file = fopen(name.c_str(), "r");
  }
  if (file == nullptr) {
    print_note("WARNING: cannot open world file '%s.%s' or '%s.%s'\n", stem.c_str(), lower_ext,
               stem.c_str(), upper_ext);
    return false;
  }
  double v[6];
  char line[256];
  int got = 0;
  while (got < 6 && fgets(line, sizeof(line), file)) {
    if (sscanf(line, "%lf", &v[got]) != 1) break;
    got++;
  }
  fclose(file);
  if (got < 6) {
    print_note("WARNING: corrupt world file\n");
    return false;
  }
  r->stepx = v[0];
  r->stepx_y = v[1];
  r->stepy_x = v[2];
  r->stepy = -v[3];
  r->axis_aligned = (v[1] == 0.0 && v[2] == 0.0);
  r->llx = v[4] - r->stepx / 2;
  r->ury = v[5] + r->stepy / 2;
  r->lly = r->ury - r->nrows * r->stepy;
  r->urx = r->llx + r->ncols * r->stepx;
  return true;
}
