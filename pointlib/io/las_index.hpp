#ifndef POINTLIB_IO_LAS_INDEX_HPP
#define POINTLIB_IO_LAS_INDEX_HPP

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "io/las_interval.hpp"
#include "io/las_quadtree.hpp"

class ByteStreamIn;

// The spatial index of one point file, read from the .lax file beside it: a
// quadtree over the file's x-y extent and, per non-empty cell, the runs of
// point numbers in that cell. For an area of interest the index selects the
// cells that meet the area, merges their runs, and moves a reader from run to
// run by seeking; the reader still tests every point it reads against the
// area. The index is only read; nothing here writes .lax files.
class LASindex {
 public:
  // Runs closer than this are read through rather than skipped.
  static constexpr uint32_t MERGE_THRESHOLD = 1000;

  LASindex();
  ~LASindex();
  LASindex(const LASindex&) = delete;
  LASindex& operator=(const LASindex&) = delete;

  // The .lax name of a point file: the last three characters become "lax"
  // ("LAX" for an upper-case ".LAS" or ".VPK"). Empty for names shorter
  // than three characters.
  static std::string get_index_name(const char* file_name);

  // Loads the index beside a point file; false without a message when there
  // is none, false after a message when it cannot be read.
  bool load_for(const char* file_name);
  bool read_from_file(FILE* file);
  bool read_from_stream(ByteStreamIn* stream);

  // Each prepares the runs of an area; true when there is a run to read.
  bool select_circle(double center_x, double center_y, double radius);
  bool select_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y);
  bool select_tile(float ll_x, float ll_y, float size);

  // Called by a reader's indexed area read before each point. `reader` needs
  // `seek_point(index)` and the count `p_count` of points read so far (the
  // number of the point about to be read). Seeks to the start of the next run
  // when the last one is done; false when all runs of the selection are read.
  template <class Reader>
  bool seek_next_interval(Reader* reader) {
    // No point read since the last call: the reader is past its end or
    // could not read, so this run is left rather than tried forever.
    if (interval_active && static_cast<int64_t>(reader->p_count) == last_p_count) {
      interval_active = false;
    }
    if (!interval_active) {
      if (!enter_next_interval()) return false;
      reader->seek_point(static_cast<int64_t>(start));  // its result is not needed
    }
    // At or past the end: a corrupt run whose end lies before its start is
    // then left after one point instead of never.
    if (static_cast<int64_t>(reader->p_count) >= static_cast<int64_t>(end)) {
      interval_active = false;
    }
    last_p_count = static_cast<int64_t>(reader->p_count);
    return true;
  }

  // Takes the next run of the selection into start/end and marks it active;
  // false when there is none.
  bool enter_next_interval();

  LASquadtree* get_quadtree() const { return quadtree.get(); }
  LASinterval* get_interval() const { return interval.get(); }

  uint32_t start;
  uint32_t end;
  bool interval_active;

 private:
  bool merge_intervals();

  std::unique_ptr<LASquadtree> quadtree;
  std::unique_ptr<LASinterval> interval;
  int64_t last_p_count;
};

#endif
