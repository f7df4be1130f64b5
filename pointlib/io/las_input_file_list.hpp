#ifndef POINTLIB_IO_LAS_INPUT_FILE_LIST_HPP
#define POINTLIB_IO_LAS_INPUT_FILE_LIST_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/las_kdtree_rectangles.hpp"

// The two name lists of the input side: the inputs that a tool processes one
// after the other (or merged), and the neighbours that only supply buffer
// points. Names come from the command line, from wildcard patterns and from
// list files whose lines may carry a file ID, a point count and a bounding
// rectangle. Rectangles go into a LASkdtreeRectangles per list, numbered by
// list position, so that the opener finds the files near an input.
//
// Every per-name array always has one entry per name: a list that mixes names
// with and without IDs or bounds fills the missing values with defaults
// (ID 0, point count 0, no bounds). has_file_names_ID() and
// has_file_names_bounds() tell whether any name came with an ID or bounds.
// An entry without bounds holds min 2e307 and max -2e307 and is never found
// by the rectangle tree.
//
// The add operations return 1 when the name was added and 0 when it was not
// (duplicate with `unique`, nothing found, allocation failure).
// The point count and the box of every name of one list, and the rectangle
// tree of the boxes (null until a name comes with bounds).
struct LASlistedBounds {
  std::vector<int64_t> npoints;
  std::vector<double> min_x, min_y, max_x, max_y;
  std::unique_ptr<LASkdtreeRectangles> tree;

  // Room for `capacity` names, or false after the message of the array that
  // could not grow; `list` names the list's arrays in the messages.
  bool reserve(uint32_t capacity, const std::string& list, const char* npoints_what);
  // Starts the tree with the first name that has bounds, with a place for
  // each earlier name, since tree numbers are list positions. Throws
  // std::bad_alloc.
  void start_tree(bool has_bounds, size_t earlier_names);
  // Adds a name's entry (reserved before); one without bounds gets the box
  // of no bounds and no point count.
  void push(bool has_bounds, int64_t count, double x0, double y0, double x1, double y1);
  bool get(uint32_t i, double& x0, double& y0, double& x1, double& y1) const;
};

class LASinputFileList {
 public:
  LASinputFileList();
  virtual ~LASinputFileList();
  LASinputFileList(const LASinputFileList&) = delete;
  LASinputFileList& operator=(const LASinputFileList&) = delete;

  int add_file_name(const char* file_name, bool unique);
  int add_file_name_with_ID(const char* file_name, uint32_t ID, bool unique);
  int add_file_name_with_bounds(const char* file_name, uint32_t ID, int64_t npoints, double min_x,
                                double min_y, double max_x, double max_y, bool unique);
  int add_file_names_wildcard(const char* pattern, bool unique);
  int load_list_file(const char* list_file_name, bool unique);

  int add_neighbor_file_name(const char* file_name, bool unique);
  int add_neighbor_file_name_with_bounds(const char* file_name, int64_t npoints, double min_x,
                                         double min_y, double max_x, double max_y, bool unique);
  int add_neighbor_file_names_wildcard(const char* pattern, bool unique);
  int load_neighbor_list_file(const char* list_file_name, bool unique);

  // Inputs.
  uint32_t get_file_name_number() const { return static_cast<uint32_t>(file_names.size()); }
  // Capacity of the input arrays: 0 until the first name, then 16, 32, 64, ...
  uint32_t get_file_name_allocated() const { return file_name_allocated; }
  const char* get_file_name(uint32_t i) const { return file_names[i].c_str(); }
  bool has_file_names_ID() const { return with_ID; }
  uint32_t get_file_name_ID(uint32_t i) const { return file_names_ID[i]; }
  bool has_file_names_bounds() const { return with_bounds; }
  // False for a name that came without bounds.
  bool get_file_name_bounds(uint32_t i, double& min_x, double& min_y, double& max_x,
                            double& max_y) const;
  int64_t get_file_name_npoints(uint32_t i) const { return bounds.npoints[i]; }
  // Null until a name came with bounds.
  LASkdtreeRectangles* get_kdtree_rectangles() const { return bounds.tree.get(); }

  // Neighbours.
  uint32_t get_neighbor_file_name_number() const {
    return static_cast<uint32_t>(neighbor_file_names.size());
  }
  uint32_t get_neighbor_file_name_allocated() const { return neighbor_file_name_allocated; }
  const char* get_neighbor_file_name(uint32_t i) const { return neighbor_file_names[i].c_str(); }
  bool has_neighbor_file_names_bounds() const { return neighbor_with_bounds; }
  bool get_neighbor_file_name_bounds(uint32_t i, double& min_x, double& min_y, double& max_x,
                                     double& max_y) const;
  int64_t get_neighbor_file_name_npoints(uint32_t i) const { return neighbor_bounds.npoints[i]; }
  LASkdtreeRectangles* get_neighbor_kdtree_rectangles() const { return neighbor_bounds.tree.get(); }

 protected:
  std::vector<std::string> file_names;
  uint32_t file_name_allocated;
  bool with_ID;
  bool with_bounds;
  std::vector<uint32_t> file_names_ID;
  LASlistedBounds bounds;

  std::vector<std::string> neighbor_file_names;
  uint32_t neighbor_file_name_allocated;
  bool neighbor_with_bounds;
  LASlistedBounds neighbor_bounds;

 private:
  bool grow_inputs();
  bool grow_neighbors();
  int add_input(const char* file_name, bool unique, bool has_ID, uint32_t ID, bool has_bounds,
                int64_t npoints, double min_x, double min_y, double max_x, double max_y);
  int add_neighbor(const char* file_name, bool unique, bool has_bounds, int64_t npoints,
                   double min_x, double min_y, double max_x, double max_y);

  std::unordered_set<std::string> file_name_set;
  std::unordered_set<std::string> neighbor_file_name_set;
};

#endif
