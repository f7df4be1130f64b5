#include "io/las_index.hpp"

#include <cstring>

#include "core/byte_stream_in.hpp"

LASindex::LASindex() : start(0), end(0), interval_active(false), last_p_count(-1) {}

LASindex::~LASindex() = default;

std::string LASindex::get_index_name(const char* file_name) {
  if (file_name == nullptr) return std::string();
  std::string name(file_name);
  if (name.size() < 3) return std::string();
  const char* ending = "lax";
  if (name.find(".las") == std::string::npos && name.find(".vpk") == std::string::npos &&
      (name.find(".LAS") != std::string::npos || name.find(".VPK") != std::string::npos)) {
    ending = "LAX";
  }
  name.replace(name.size() - 3, 3, ending);
  return name;
}

bool LASindex::load_for(const char* file_name) {
  const std::string name = get_index_name(file_name);
  if (name.empty()) return false;
  FILE* file = fopen(name.c_str(), "rb");
  if (file == nullptr) return false;
  const bool ok = read_from_file(file);
  if (!ok) fprintf(stderr, "ERROR (LASindex): cannot read '%s'\n", name.c_str());
  fclose(file);
  return ok;
}

bool LASindex::read_from_file(FILE* file) {
  if (file == nullptr) return false;
  ByteStreamInFileLE stream(file);
  return read_from_stream(&stream);
}

bool LASindex::read_from_stream(ByteStreamIn* stream) {
  quadtree.reset();
  interval.reset();
  interval_active = false;
  char signature[5] = {0, 0, 0, 0, 0};
  try {
    stream->read_bytes(reinterpret_cast<uint8_t*>(signature), 4);
  } catch (...) {
    fprintf(stderr, "ERROR (LASindex): reading signature\n");
    return false;
  }
  if (std::strncmp(signature, "LASX", 4) != 0) {
    fprintf(stderr, "ERROR (LASindex): wrong signature %4s instead of 'LASX'\n", signature);
    return false;
  }
  uint32_t version;
  try {
    stream->read_u32_le(&version);
  } catch (...) {
    fprintf(stderr, "ERROR (LASindex): reading version\n");
    return false;
  }
  quadtree = std::make_unique<LASquadtree>();
  if (!quadtree->read(stream)) {
    fprintf(stderr, "ERROR (LASindex): cannot read LASspatial (LASquadtree)\n");
    return false;
  }
  interval = std::make_unique<LASinterval>(MERGE_THRESHOLD);
  if (!interval->read(stream)) {
    fprintf(stderr, "ERROR (LASindex): reading LASinterval\n");
    return false;
  }
  // Registering the cells tells the quadtree which cells are subdivided. The
  // walk is in ascending cell index, so every ancestor is registered (which
  // clears its bit) before its descendants set that bit again.
  interval->get_cells();
  while (interval->has_cells()) {
    if (interval->index < 0 || !quadtree->manage_cell(static_cast<uint32_t>(interval->index))) {
      fprintf(stderr, "ERROR (LASindex): cell %d lies outside a quadtree of %u levels\n",
              interval->index, quadtree->levels);
      return false;
    }
  }
  return true;
}

bool LASindex::merge_intervals() {
  if (!quadtree->get_intersected_cells()) return false;
  uint32_t used = 0;
  while (quadtree->has_more_cells()) {
    if (interval->get_cell(static_cast<int32_t>(quadtree->current_cell))) {
      interval->add_current_cell_to_merge_cell_set();
      used++;
    }
  }
  if (used == 0) return false;
  const bool merged = interval->merge();
  interval->clear_merge_cell_set();
  return merged;
}

bool LASindex::select_circle(double center_x, double center_y, double radius) {
  interval_active = false;
  if (!quadtree || !interval) return false;
  // Leaves nothing of an earlier selection to read when this one fails.
  interval->get_cells();
  // Without cells the quadtree would list every cell of its finest level.
  if (interval->get_number_of_cells() == 0) return false;
  if (quadtree->intersect_circle(center_x, center_y, radius) == 0) return false;
  return merge_intervals();
}

bool LASindex::select_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y) {
  interval_active = false;
  if (!quadtree || !interval) return false;
  // Leaves nothing of an earlier selection to read when this one fails.
  interval->get_cells();
  // Without cells the quadtree would list every cell of its finest level.
  if (interval->get_number_of_cells() == 0) return false;
  if (quadtree->intersect_rectangle(r_min_x, r_min_y, r_max_x, r_max_y) == 0) return false;
  return merge_intervals();
}

bool LASindex::select_tile(float ll_x, float ll_y, float size) {
  interval_active = false;
  if (!quadtree || !interval) return false;
  // Leaves nothing of an earlier selection to read when this one fails.
  interval->get_cells();
  // Without cells the quadtree would list every cell of its finest level.
  if (interval->get_number_of_cells() == 0) return false;
  if (quadtree->intersect_tile(ll_x, ll_y, size) == 0) return false;
  return merge_intervals();
}

bool LASindex::enter_next_interval() {
  if (!interval || !interval->has_intervals()) {
    interval_active = false;
    return false;
  }
  start = interval->start;
  end = interval->end;
  interval_active = true;
  return true;
}
