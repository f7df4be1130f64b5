#ifndef TALVENOR_NEW_GROUND_GROUND_ESTIMATE_HPP
#define TALVENOR_NEW_GROUND_GROUND_ESTIMATE_HPP

// The ground estimate of one file over flat arrays: every usable point as three floats relative
// to the header's min x, min y and z offset, bit sets indexed by point, lowest-point grids that
// seed a Delaunay TIN, and the refinement and integration passes that grow that TIN into the
// ground surface. The TIN itself is the process-wide one of tin/tin.hpp.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "grid/las_cell_types.hpp"
#include "ground/ground_settings.hpp"
#include "tin/tin.hpp"

class SeedCells;

// The z of a point that takes no further part in this file's ground estimate.
constexpr float GROUND_EXCLUDED = -2e37f;

// Thrown where the run cannot go on; the message is printed already. `wait` tells whether the
// program waits for ENTER before it ends (when it was started without arguments).
struct GroundFatal {
  bool wait;
};

// Seconds of a monotonic clock.
double ground_clock_seconds();

// Why a file cannot be classified and is written through instead.
enum class GroundOutcome {
  kReady,            // the TIN holds the ground surface
  kTooFewSurvivors,  // fewer than 10 points survived the read filtering
  kTooFewSeeds,      // fewer than 5 coarsest seeds
  kTooFewTinPoints,  // the TIN shrank to 4 points or fewer
  kNoTriangles,      // the initial TIN has no triangle
};

// Normal of the triangle's plane with length 1 (from (P1 - P0) x (P2 - P0)); returns the length
// of the cross product.
float triangle_unit_normal(const float* p0, const float* p1, const float* p2, float normal[3]);
// One normal per corner: the triangle's own, plus every other triangle around that corner that
// has no long edge, weighted by how well it agrees with the triangle's.
void vertex_normal(const TINtriangle* triangle, float normals[3][3]);
// Linear height of the surface at (x, y); false when no corner of a finite triangle has x
// between its own x and both others' (the position is outside the triangle's x range).
bool ground_z_linear(const TINtriangle* triangle, double x, double y, float* z);
// As ground_z_linear, lifted towards the corners' tangent planes by at most `bulge`.
bool ground_z_with_bulge(const TINtriangle* triangle, double x, double y, float bulge, float* z);
// As ground_z_with_bulge on a finite triangle without the long mark, with its corner normals
// made by vertex_normal beforehand.
bool ground_z_with_normals(const TINtriangle* triangle, double x, double y, float bulge,
                           const float normals[3][3], float* z);

// The floats of the stored points in one malloc block, grown and trimmed by realloc: a large
// block is mapped on its own, so the kernel moves or trims its pages instead of copying them, and
// they keep the huge-page advice given to the block.
class GroundFloats {
 public:
  GroundFloats() = default;
  ~GroundFloats() { std::free(data_); }
  GroundFloats(const GroundFloats&) = delete;
  GroundFloats& operator=(const GroundFloats&) = delete;

  float* data() { return data_; }
  const float* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  float& operator[](size_t i) { return data_[i]; }
  const float& operator[](size_t i) const { return data_[i]; }
  // Within the capacity only.
  void push_back(float value) { data_[size_++] = value; }
  // Room for `n` floats in all; false when it cannot be had (nothing changes then).
  bool reserve(size_t n) {
    if (n <= capacity_) return true;
    void* block = std::realloc(data_, n * sizeof(float));
    if (!block) return false;
    data_ = static_cast<float*>(block);
    capacity_ = n;
    return true;
  }
  // Keeps the first `n` floats and gives back the rest of the room.
  void trim(size_t n) {
    if (n < size_) size_ = n;
    if (size_ == capacity_) return;
    if (size_ == 0) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
      return;
    }
    // Should a smaller block be refused, the larger one stays.
    if (void* block = std::realloc(data_, size_ * sizeof(float))) {
      data_ = static_cast<float*>(block);
      capacity_ = size_;
    }
  }
  void clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

 private:
  float* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// For tests: whether seed levels may triangulate the clusters among scattered points alone
// (they may unless told otherwise); the estimate comes out the same either way.
void ground_split_clusters(bool allow);
// For tests: the seed sets decided by their clusters alone since the program started.
uint64_t ground_cluster_split_sets();

class GroundEstimate {
 public:
  GroundEstimate(const GroundSettings& settings, const GroundParameters& parameters);
  ~GroundEstimate();
  GroundEstimate(const GroundEstimate&) = delete;
  GroundEstimate& operator=(const GroundEstimate&) = delete;

  // Takes at most `capacity` points, with room for `expected` of them at first (the room grows
  // as points come), and creates the seed grids.
  void begin(uint32_t capacity, uint32_t expected = UINT32_MAX);
  // Stores the next point (coordinates relative to min x, min y and the z offset) and bins it
  // into the seed grids by its raw Z. With a non-zero `pertube_scale` x and y move together by
  // a random multiple of it from -10 to 10. False, storing nothing, when the room is full.
  bool add_point(double x, double y, double z, int32_t raw_z, double pertube_scale);
  // Stores the next point as excluded: it keeps its index, takes no part in the estimate and
  // ends as non-ground. False, storing nothing, when the room is full.
  bool add_excluded_point(double x, double y);
  // Everything after the read pass: seeds, initial TIN, refinement, integration.
  GroundOutcome run();

  uint32_t capacity() const { return capacity_; }
  // Room for one more point; false when the capacity is reached.
  bool make_room();
  uint32_t count() const { return count_; }
  uint32_t excluded_count() const { return excluded_; }
  const float* point(uint32_t i) const { return &points_[3 * size_t(i)]; }
  float* point(uint32_t i) { return &points_[3 * size_t(i)]; }
  // Whether stored point i ended as ground; false for every index past the stored points.
  bool is_ground(uint64_t i) const { return i < count_ && get(tin_bits_, uint32_t(i)); }
  // Mark of the verbose timing lines: the file's start, then each line's end.
  void set_timing_mark(double seconds) { mark_ = seconds; }
  double timing_mark() const { return mark_; }
  // Points in the TIN after run().
  int32_t tin_count() const { return tin_count_; }
  // Seeds accepted per level (coarsest, coarse, fine, finest) during run().
  uint32_t seed_count(int level) const { return seed_counts_[level]; }
  // TINs built for the seed grids during run().
  uint32_t seed_tin_count() const { return seed_tins_; }

  // The steps of the estimate, public for tests.
  uint32_t build_tin(const std::vector<uint32_t>* indices);
  // With `points`, in rising order, and `starts` beside them: a triangle near each of those
  // points (-1: none) that its insertion's walk may start from.
  uint32_t insert_marked_points(const std::vector<uint32_t>* points = nullptr,
                                const std::vector<int32_t>* starts = nullptr);
  uint32_t delete_marked_points();
  void mark_long_edges();
  uint32_t remove_spikes(float up, float down, std::vector<uint32_t>* indices);
  // Point index of a vertex of the TIN over all points (not of one over a set).
  uint32_t index_of(const float* vertex) const { return uint32_t((vertex - points_.data()) / 3); }
  void set_tin_bit(uint32_t i) { set(tin_bits_, i); }
  void set_insert_bit(uint32_t i) { set(insert_bits_, i); }
  bool tin_bit(uint32_t i) const { return get(tin_bits_, i); }
  bool delete_bit(uint32_t i) const { return get(delete_bits_, i); }
  // For tests that fill the buffer themselves: makes the stored points the whole set.
  void allocate_bits();

 private:
  static bool get(const std::vector<uint32_t>& bits, uint32_t i) {
    return (bits[i >> 5] >> (i & 31)) & 1u;
  }
  static void set(std::vector<uint32_t>& bits, uint32_t i) { bits[i >> 5] |= 1u << (i & 31); }
  static void clear(std::vector<uint32_t>& bits, uint32_t i) { bits[i >> 5] &= ~(1u << (i & 31)); }

  // Verbose: the seconds since the previous mark, then `what`; sets the mark.
  void timing(const char* what);
  void create_level_grids(int level);
  void seed_level(int level);
  // Makes `set` (sorted) the points of a seed grid that the spike test leaves; false when the
  // level has looked at those points already, so that they can take no cell.
  bool clean_seed_set(int level, std::vector<uint32_t>& set);
  // The distance at which a seed point lies apart from the others: four times the step, twice
  // the longest short edge, more than any cell of a seed grid spans.
  float apart_distance() const { return 4 * param_.step; }
  bool apart_reach_valid() const;
  // clean_seed_set for a set that holds the level's points apart (apart_) beside the rest: the
  // TIN of the rest alone decides, where it provably decides as the whole set's would. Sets
  // `set` to what the spike test leaves and `draws` to the random draws of the whole set's TIN;
  // false (the set and every state as before) where it does not decide.
  bool clean_apart(std::vector<uint32_t>& set, uint64_t* draws);
  // Whether no internal edge of the TIN has the corner across it inside its triangle's circle,
  // only long edges have it on that circle, and every short edge lies on a circle with no other
  // vertex and no point apart on or in it.
  bool short_edges_kept_with_apart() const;
  // Places the points apart into cells of about one point each.
  void index_apart();
  // Whether no point apart lies in or on the circle of centre (x, y) and squared radius r2;
  // false also where the circle spans too many cells to be looked at.
  bool none_apart_within(double x, double y, double r2) const;
  void finest_level();
  bool refine(int level);
  void integrate();

  // Lowest and highest z of the neighbours of corner k of q over its short edges (+2e37 and
  // -2e37 when it has none), remembered for the rest of the spike test.
  struct Range {
    float low, high;
  };
  Range neighbour_range(TINtriangle* q, int k);
  // Whether corner k of q is a spike; marks the corner tested in every triangle around it when
  // it is a local extremum (`extremum`: known to be one).
  bool is_spike(TINtriangle* q, int k, float up, float down, bool extremum);
  // Sets the two bits of every TIN vertex in sides_: whether some neighbour over a short edge
  // lies at or below it (kBelow), and at or above it (kAbove). Marks the long edges of the
  // triangles taken since the last marking on the way.
  void find_extrema(uint32_t n);
  // Adds the triangles taken since the last marking to the pending sets.
  void note_changed_triangles();
  // Marks the edges of q longer than twice the step.
  void mark_long_edges(TINtriangle* q) const;
  // A new TIN: no change of an earlier one matters.
  void forget_tin_changes();
  // Sets (or clears) the bit in touched_ of every corner of a triangle taken since the last
  // refinement pass.
  void touch_changed_corners(bool touch);
  // Whether triangle t and every triangle around its corners stand as in the last pass.
  bool unchanged_since_last_pass(int32_t t) const;

  // A point that the TIN refused because a vertex stands at its x and y. It stays ground only as
  // the twin of that vertex: with a z within the offset of the vertex's, and for as long as the
  // vertex stays ground. Otherwise a low outlier under a real return (or a return over a low
  // outlier) would be ground without ever facing the spike test.
  struct Twin {
    uint32_t point, vertex;
  };
  static void on_duplicate(float* point, float* vertex, void* context);
  void settle_refused();
  // Point i, which a pass located at a vertex of the TIN, becomes that vertex's twin on the same
  // terms as a point that an insertion refused; otherwise it stays out, as before. A point
  // delivered twice is then ground or not as its first copy is, whichever pass took that copy.
  void twin_at_vertex(uint32_t i, const TINlocation& found);
  void drop_twins_of_lost_vertices();

  const GroundSettings& settings_;
  GroundParameters param_;
  double mark_ = 0.0;

  GroundFloats points_;
  // The copied points of the set that the TIN was built from (build_tin with indices), and the
  // number of point records that the TIN's vertex numbers range over.
  std::vector<float> set_points_;
  uint32_t tin_points_ = 0;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t excluded_ = 0;
  std::vector<uint32_t> tin_bits_, delete_bits_, insert_bits_;

  // Seed grids: per level the lowest point of every atom (one column and one row in each of the
  // sub x sub shifted grids, at 1/sub of the level's cell), then the finest grid.
  std::unique_ptr<SeedCells> atoms_[3];
  std::unique_ptr<SeedCells> finest_grid_;
  float cell_[3] = {0, 0, 0};
  float shift_[3] = {0, 0, 0};
  // The last cell that a coordinate fell into, per level and axis (then the finest grid's):
  // consecutive points mostly share it, and its bounds answer without a division.
  struct AxisCell {
    float lo, hi;  // the coordinates with this cell: lo <= x < hi
    int32_t index;
    bool valid = false;
  };
  AxisCell axis_cells_[4][2];
  // The cell of x at a seed level (3: the finest grid) through `last`, and for a level how many
  // of its shifted grids put x into a later cell: cell_index and shifted_later's answers.
  int32_t cell_of(AxisCell& last, float x, int level, int32_t* later);
  // The point's lowest-point binning into seed grid `grid` (3: the finest grid). Consecutive
  // points mostly share a cell: each run of them reaches the grid as its lowest point alone.
  struct PendingCell {
    int32_t column, row;
    int32_t z;
    uint32_t index;
    bool any;
  };
  PendingCell pending_[4] = {};
  void bin(int grid, int32_t column, int32_t row, int32_t z, uint32_t i);
  void append_point(const float p[3]);
  void flush_pending(int grid);

  std::vector<Twin> refused_;  // during one insertion
  std::vector<Twin> twins_;

  // Slots taken since the last spike test and since the last location of the refinement
  // candidates, one bit each (filled by mark_long_edges from the TIN's own record).
  std::vector<uint64_t> spike_pending_, locate_pending_;
  bool refining_ = false;  // locate_pending_ is kept only then
  // Set when a vertex could not be deleted: it stays with its excluded z, so that every vertex
  // and every candidate must be looked at again.
  bool changes_unknown_ = false;
  uint32_t undeleted_spikes_ = 0;  // spikes found since the last delete_marked_points
  struct RangeEntry {
    uint32_t vertex, generation;
    Range range;
  };
  static constexpr uint32_t kRangeCacheSize = 1u << 14;
  std::vector<RangeEntry> range_cache_;  // by vertex number, valid for one spike test
  uint32_t range_generation_ = 0;
  std::vector<uint32_t> seen_;  // a bit per point: looked at by this spike test
  // Two bits per point of find_extrema, during one test: both of a vertex share a word, so that
  // an edge's ends cost one access each.
  static constexpr uint32_t kBelow = 1, kAbove = 2;
  std::vector<uint32_t> sides_;
  uint32_t sides(uint32_t i) const { return (sides_[i >> 4] >> (2 * (i & 15))) & 3u; }
  std::vector<uint32_t> touched_;  // a bit per point: a corner of a triangle new this pass

  std::vector<uint32_t> seeds_[4];
  uint32_t seed_counts_[4] = {0, 0, 0, 0};
  // The last seed set whose TIN was built, what the spike test left of it, the level that
  // looked at it and the random draws that its TIN made. Where every point lies alone in its
  // cell (sparse points over a wide extent) every shifted grid of every level gathers the same
  // set: the same points make the same TIN with the same spikes.
  struct SeedSetMemo {
    std::vector<uint32_t> set, kept;
    uint64_t draws = 0;
    int level = -1;
  };
  SeedSetMemo memo_;
  // The points of the level that lie apart from all others (see apart_distance), by index.
  std::vector<uint32_t> apart_;
  struct ApartCell {
    uint64_t key;  // as the cells of seed grids are keyed
    uint32_t index;
  };
  std::vector<ApartCell> apart_cells_;  // by key
  double apart_cell_ = 0;
  int64_t apart_first_[2] = {0, 0}, apart_last_[2] = {0, 0};  // their columns and rows
  uint32_t seed_tins_ = 0;
  int32_t tin_count_ = 0;
};

#endif
