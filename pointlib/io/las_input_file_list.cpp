#include "io/las_input_file_list.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/file_glob.hpp"
#include "platform/run_messages.hpp"

namespace {

// Bounds of a name that came without any: an inverted box that the rectangle
// tree never reports and that does not widen its bounding box.
constexpr double NO_BOUNDS_MIN = 2e307;
constexpr double NO_BOUNDS_MAX = -2e307;

constexpr uint32_t FIRST_CAPACITY = 16;

template <class T>
bool reserve_or_report(std::vector<T>& array, uint32_t capacity, const char* what) {
  try {
    array.reserve(capacity);
    return true;
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "ERROR: alloc for %s failed at %d\n", what, static_cast<int>(capacity));
    return false;
  }
}

// Reads one whole line (without limit on its length) into `line`; false at the
// end of the file.
bool read_line(FILE* file, std::string& line) {
  line.clear();
  char buffer[2048];
  while (fgets(buffer, sizeof(buffer), file)) {
    line.append(buffer);
    if (!line.empty() && line.back() == '\n') return true;
  }
  return !line.empty();
}

// Cuts trailing blanks, tabs and line ends, carriage returns included, so that
// lists written on either platform give the same names. The first character
// always stays.
void cut_line_end(std::string& line) {
  size_t len = line.size();
  while (len > 1) {
    const char c = line[len - 1];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
    len--;
  }
  line.resize(len);
}

// Text after the n-th comma with leading blanks and tabs skipped, or null when
// the line has fewer commas.
const char* name_after_comma(const char* line, int n) {
  const char* p = line;
  for (int i = 0; i < n; i++) {
    p = std::strchr(p, ',');
    if (p == nullptr) return nullptr;
    p++;
  }
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

bool is_blank(const std::string& line) {
  return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

struct ListLine {
  int form;  // 1: ID, count and bounds; 2: ID only; 3: a name or pattern
  uint32_t ID;
  int64_t npoints;
  double min_x, min_y, max_x, max_y;
  const char* name;
};

ListLine parse_list_line(const std::string& line) {
  ListLine l{3, 0, 0, 0.0, 0.0, 0.0, 0.0, line.c_str()};
  const char* text = line.c_str();
  if (sscanf(text, "%u,%" SCNd64 ",%lf,%lf,%lf,%lf,", &l.ID, &l.npoints, &l.min_x, &l.min_y,
             &l.max_x, &l.max_y) == 6) {
    l.form = 1;
    l.name = name_after_comma(text, 6);
    return l;
  }
  char first_word[2];
  if (sscanf(text, "%u,%1s", &l.ID, first_word) == 2) {
    l.form = 2;
    l.name = name_after_comma(text, 1);
  }
  return l;
}

// A plain name is taken as it stands, even when no such file exists: a
// misspelt input then fails with its own message when it is opened instead
// of silently leaving the run (and a neighbour the tile without its buffer).
// A pattern adds its matches. 1 when anything was added. An input pattern
// that matches nothing is named: the run would go on with the other inputs
// alone, and kelmora, which pairs its inputs by their number, would compare
// other rasters than asked. A neighbour pattern may well match nothing.
template <class Add>
int add_names_of(const char* pattern, Add add, bool warn_no_match) {
  if (pattern != nullptr && pattern[0] != '\0' && std::strpbrk(pattern, "*?") == nullptr) {
    return add(pattern) ? 1 : 0;
  }
  std::vector<std::string> matches;
  file_glob(pattern, matches);
  if (matches.empty() && warn_no_match && pattern != nullptr && pattern[0] != '\0') {
    print_note("WARNING: no file matches '%s'\n", pattern);
  }
  int added = 0;
  for (const std::string& match : matches) {
    if (add(match.c_str())) added = 1;
  }
  return added;
}

}  // namespace

bool LASlistedBounds::reserve(uint32_t capacity, const std::string& list,
                              const char* npoints_what) {
  return reserve_or_report(npoints, capacity, npoints_what) &&
         reserve_or_report(min_x, capacity, (list + "_min_x array").c_str()) &&
         reserve_or_report(min_y, capacity, (list + "_min_y array").c_str()) &&
         reserve_or_report(max_x, capacity, (list + "_max_x array").c_str()) &&
         reserve_or_report(max_y, capacity, (list + "_max_y array").c_str());
}

void LASlistedBounds::start_tree(bool has_bounds, size_t earlier_names) {
  if (!has_bounds || tree) return;
  tree = std::make_unique<LASkdtreeRectangles>();
  tree->reset();
  for (size_t i = 0; i < earlier_names; i++) {
    tree->add_rectangle(NO_BOUNDS_MIN, NO_BOUNDS_MIN, NO_BOUNDS_MAX, NO_BOUNDS_MAX);
  }
}

void LASlistedBounds::push(bool has_bounds, int64_t count, double x0, double y0, double x1,
                           double y1) {
  if (!has_bounds) {
    x0 = y0 = NO_BOUNDS_MIN;
    x1 = y1 = NO_BOUNDS_MAX;
    count = 0;
  }
  npoints.push_back(count);
  min_x.push_back(x0);
  min_y.push_back(y0);
  max_x.push_back(x1);
  max_y.push_back(y1);
  if (tree) tree->add_rectangle(x0, y0, x1, y1);
}

bool LASlistedBounds::get(uint32_t i, double& x0, double& y0, double& x1, double& y1) const {
  x0 = min_x[i];
  y0 = min_y[i];
  x1 = max_x[i];
  y1 = max_y[i];
  return x0 <= x1;
}

LASinputFileList::LASinputFileList()
    : file_name_allocated(0),
      with_ID(false),
      with_bounds(false),
      neighbor_file_name_allocated(0),
      neighbor_with_bounds(false) {}

LASinputFileList::~LASinputFileList() = default;

bool LASinputFileList::grow_inputs() {
  const uint32_t capacity = file_name_allocated == 0 ? FIRST_CAPACITY : 2 * file_name_allocated;
  if (!reserve_or_report(file_names, capacity, "file_names pointer array")) return false;
  if (!reserve_or_report(file_names_ID, capacity, "file_names_ID array")) return false;
  if (!bounds.reserve(capacity, "file_names", "file_names_npoints array")) return false;
  file_name_allocated = capacity;
  return true;
}

bool LASinputFileList::grow_neighbors() {
  const uint32_t capacity =
      neighbor_file_name_allocated == 0 ? FIRST_CAPACITY : 2 * neighbor_file_name_allocated;
  if (!reserve_or_report(neighbor_file_names, capacity, "neighbor_file_names pointer array")) {
    return false;
  }
  // The neighbour list has no message of its own for the point counts.
  if (!neighbor_bounds.reserve(capacity, "neighbor_file_names",
                               "neighbor_file_names pointer array")) {
    return false;
  }
  neighbor_file_name_allocated = capacity;
  return true;
}

int LASinputFileList::add_input(const char* file_name, bool unique, bool has_ID, uint32_t ID,
                                bool has_bounds, int64_t npoints, double min_x, double min_y,
                                double max_x, double max_y) {
  if (file_name == nullptr) return 0;
  if (unique && file_name_set.count(file_name)) return 0;
  if (file_names.size() == file_name_allocated && !grow_inputs()) return 0;
  try {
    bounds.start_tree(has_bounds, file_names.size());
    file_name_set.insert(file_name);
    file_names.emplace_back(file_name);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "ERROR: alloc for LASkdtreeRectangles failed\n");
    return 0;
  }
  // The arrays were reserved above, so these cannot fail.
  file_names_ID.push_back(has_ID ? ID : 0);
  bounds.push(has_bounds, npoints, min_x, min_y, max_x, max_y);
  if (has_ID) with_ID = true;
  if (has_bounds) with_bounds = true;
  return 1;
}

int LASinputFileList::add_neighbor(const char* file_name, bool unique, bool has_bounds,
                                   int64_t npoints, double min_x, double min_y, double max_x,
                                   double max_y) {
  if (file_name == nullptr) return 0;
  if (unique && neighbor_file_name_set.count(file_name)) return 0;
  if (neighbor_file_names.size() == neighbor_file_name_allocated && !grow_neighbors()) return 0;
  try {
    neighbor_bounds.start_tree(has_bounds, neighbor_file_names.size());
    neighbor_file_name_set.insert(file_name);
    neighbor_file_names.emplace_back(file_name);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "ERROR: alloc for neighbor LASkdtreeRectangles failed\n");
    return 0;
  }
  neighbor_bounds.push(has_bounds, npoints, min_x, min_y, max_x, max_y);
  if (has_bounds) neighbor_with_bounds = true;
  return 1;
}

int LASinputFileList::add_file_name(const char* file_name, bool unique) {
  return add_input(file_name, unique, false, 0, false, 0, 0.0, 0.0, 0.0, 0.0);
}

int LASinputFileList::add_file_name_with_ID(const char* file_name, uint32_t ID, bool unique) {
  return add_input(file_name, unique, true, ID, false, 0, 0.0, 0.0, 0.0, 0.0);
}

int LASinputFileList::add_file_name_with_bounds(const char* file_name, uint32_t ID, int64_t npoints,
                                                double min_x, double min_y, double max_x,
                                                double max_y, bool unique) {
  return add_input(file_name, unique, true, ID, true, npoints, min_x, min_y, max_x, max_y);
}

int LASinputFileList::add_neighbor_file_name(const char* file_name, bool unique) {
  return add_neighbor(file_name, unique, false, 0, 0.0, 0.0, 0.0, 0.0);
}

int LASinputFileList::add_neighbor_file_name_with_bounds(const char* file_name, int64_t npoints,
                                                         double min_x, double min_y, double max_x,
                                                         double max_y, bool unique) {
  return add_neighbor(file_name, unique, true, npoints, min_x, min_y, max_x, max_y);
}

int LASinputFileList::add_file_names_wildcard(const char* pattern, bool unique) {
  return add_names_of(
      pattern, [&](const char* name) { return add_file_name(name, unique); }, true);
}

int LASinputFileList::add_neighbor_file_names_wildcard(const char* pattern, bool) {
  // Neighbours are never tested for duplicates.
  return add_names_of(
      pattern, [&](const char* name) { return add_neighbor_file_name(name, false); }, false);
}

int LASinputFileList::load_list_file(const char* list_file_name, bool unique) {
  FILE* file = list_file_name ? fopen(list_file_name, "r") : nullptr;
  if (file == nullptr) {
    fprintf(stderr, "ERROR: cannot open '%s'\n", list_file_name ? list_file_name : "");
    return 0;
  }
  std::string line;
  while (read_line(file, line)) {
    cut_line_end(line);
    if (is_blank(line)) continue;
    const ListLine l = parse_list_line(line);
    // A line with numbers but no name after them adds nothing.
    if (l.name == nullptr || l.name[0] == '\0') continue;
    if (l.form == 1) {
      add_file_name_with_bounds(l.name, l.ID, l.npoints, l.min_x, l.min_y, l.max_x, l.max_y,
                                unique);
    } else if (l.form == 2) {
      add_file_name_with_ID(l.name, l.ID, unique);
    } else {
      add_file_names_wildcard(l.name, unique);
    }
  }
  fclose(file);
  return 1;
}

int LASinputFileList::load_neighbor_list_file(const char* list_file_name, bool unique) {
  FILE* file = list_file_name ? fopen(list_file_name, "r") : nullptr;
  if (file == nullptr) {
    fprintf(stderr, "ERROR: cannot open '%s'\n", list_file_name ? list_file_name : "");
    return 0;
  }
  std::string line;
  while (read_line(file, line)) {
    cut_line_end(line);
    if (is_blank(line)) continue;
    const ListLine l = parse_list_line(line);
    if (l.form == 1) {
      if (l.name == nullptr || l.name[0] == '\0') continue;
      // Neighbours have no IDs: the one on the line is dropped.
      add_neighbor_file_name_with_bounds(l.name, l.npoints, l.min_x, l.min_y, l.max_x, l.max_y,
                                         unique);
    } else {
      add_neighbor_file_name(line.c_str(), false);
    }
  }
  fclose(file);
  return 1;
}

bool LASinputFileList::get_file_name_bounds(uint32_t i, double& min_x, double& min_y, double& max_x,
                                            double& max_y) const {
  return bounds.get(i, min_x, min_y, max_x, max_y);
}

bool LASinputFileList::get_neighbor_file_name_bounds(uint32_t i, double& min_x, double& min_y,
                                                     double& max_x, double& max_y) const {
  return neighbor_bounds.get(i, min_x, min_y, max_x, max_y);
}
