#ifndef POINTLIB_IO_LAS_INTERVAL_HPP
#define POINTLIB_IO_LAS_INTERVAL_HPP

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

class ByteStreamIn;

// A run of point numbers, both ends inclusive.
struct LASintervalRun {
  uint32_t start;
  uint32_t end;
};

// The runs of one quadtree cell, in file order. `full` is the number of points
// the file states for the cell, `total` the number of point numbers its runs
// cover. A cell stored with no runs delivers none.
struct LASintervalStartCell {
  std::vector<LASintervalRun> runs;
  uint32_t full = 0;
  uint32_t total = 0;
};

// The interval part of a .lax index: for every quadtree cell that holds
// points, the runs of point numbers whose points lie in it. A query collects
// the cells that the quadtree found and merges their runs into one sorted list
// in which runs at most `threshold` numbers apart are joined, so that a reader
// skips only the longer gaps.
class LASinterval {
 public:
  explicit LASinterval(uint32_t threshold = 1000);
  ~LASinterval();
  LASinterval(const LASinterval&) = delete;
  LASinterval& operator=(const LASinterval&) = delete;

  // Reads the "LASV" section of a .lax file.
  bool read(ByteStreamIn* stream);

  // Walk over all cells in ascending cell index.
  void get_cells();
  bool has_cells();
  // Makes a cell current; false (and no current cell) when there is none.
  bool get_cell(int32_t cell_index);
  size_t get_number_of_cells() const { return cells.size(); }

  bool add_current_cell_to_merge_cell_set();
  // Merges the runs of the cells in the merge set and makes the result
  // current; false when there is no run to read.
  bool merge();
  void clear_merge_cell_set();
  // Delivers the next run of the current cell or merged list into start/end.
  bool has_intervals();

  int32_t index;
  uint32_t start;
  uint32_t end;
  uint32_t full;
  uint32_t total;

 private:
  void make_current(const LASintervalStartCell* cell);

  std::map<int32_t, LASintervalStartCell> cells;
  std::set<const LASintervalStartCell*> cells_to_merge;
  uint32_t threshold;
  int32_t last_index;
  bool walking;                              // a walk over the cells has begun
  const LASintervalStartCell* current_cell;  // a cell of the map or `merged`
  size_t current_run;
  LASintervalStartCell merged;  // the runs of the last merge of several cells
};

#endif
