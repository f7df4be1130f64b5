#include "ground/ground_estimate.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ground/seed_cells.hpp"
#include "platform/crt_random.hpp"
#include "platform/huge_pages.hpp"
#include "tin/predicates.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr float kFar = 2e37f;

// Prints an allocation failure with the help line and ends the run.
[[noreturn]] void alloc_failed(bool wait, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fprintf(stderr, "       if this persists, send the command line to the Mirvelox support\n");
  throw GroundFatal{wait};
}

// Coordinates of a damaged file can lie beyond any cell number: they are held
// at the extreme cells (NaN at cell 0) rather than cast out of range.
int32_t cell_index(float coordinate, float cell) {
  const float q = coordinate / cell;
  if (!(q == q)) return 0;
  if (q >= 2147483648.0f) return INT32_MAX;
  if (q < -2147483648.0f) return INT32_MIN;
  // The floor of q, without a library call: truncated, then one less below a negative fraction.
  const int32_t index = int32_t(q);
  return float(index) > q ? index - 1 : index;
}

// How many of the grids shifted by k * shift, k = 1 .. sub - 1, put the coordinate into a later
// cell than `unshifted` (its cell without shift). The cell grows with k, so the shifted grids
// keep that cell up to some k and take the next from there: found by bisection.
int32_t shifted_later(float coordinate, float shift, float cell, int32_t unshifted, int32_t sub) {
  int32_t first = 1, last = sub;  // the first k with a later cell lies in [first, last]
  while (first < last) {
    const int32_t k = (first + last) / 2;
    if (cell_index(coordinate + float(k) * shift, cell) != unshifted) {
      last = k;
    } else {
      first = k + 1;
    }
  }
  return sub - first;
}

// The smallest coordinate whose cell is `index` or later, found through cell_index itself (which
// never falls as the coordinate grows); NaN when the search does not settle.
float first_of_cell(int32_t index, float cell) {
  if (index == INT32_MIN) return -std::numeric_limits<float>::infinity();
  const float inf = std::numeric_limits<float>::infinity();
  float t = float(double(index) * double(cell));
  if (!std::isfinite(t))
    t = t > 0 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
  for (int steps = 0; steps < 64; steps++) {
    if (cell_index(t, cell) >= index) {
      const float below = std::nextafter(t, -inf);
      if (cell_index(below, cell) < index) return t;
      t = below;
    } else {
      t = std::nextafter(t, inf);
    }
  }
  return std::numeric_limits<float>::quiet_NaN();
}

// The atom of a column or row among `sub` shifted grids, held in range the
// same way.
int32_t atom_index(int32_t index, int32_t sub, int32_t shifted) {
  const int64_t atom = int64_t(index) * sub + shifted;
  return int32_t(std::min<int64_t>(std::max<int64_t>(atom, INT32_MIN), INT32_MAX));
}

int32_t floor_div(int32_t a, int32_t b) {
  return a / b - (a % b < 0 ? 1 : 0);
}

struct LowestCell {
  int32_t z;
  uint32_t index;
};
constexpr uint32_t kNoPoint = UINT32_MAX;

float distance2(const float* a, const float* b) {
  const float dx = a[0] - b[0];
  const float dy = a[1] - b[1];
  return dx * dx + dy * dy;
}

// Visits every triangle around corner k of q, q itself last, as (triangle, entry edge e): the
// triangle's v[e] is a neighbour of the corner (null for the hull's missing vertex), the edge
// from v[e] to the corner carries the long mark 0x40 << e, and the corner sits at (e + 1) % 3.
template <class Visit>
void walk_around(TINtriangle* q, int k, Visit&& visit) {
  int32_t code = q->n[(k + 1) % 3];
  for (;;) {
    TINtriangle* r = tin_triangle_at(uint32_t(code) / 3);
    const int e = code % 3;
    visit(r, e);
    if (r == q) return;
    code = r->n[(e + 2) % 3];
  }
}

// The apex and the two edges through it that the position's x falls between.
struct TwoEdges {
  int a, b, c;
  double t1, t2, u;
};

bool two_edges(const TINtriangle* t, double x, double y, TwoEdges* w) {
  static const int kOthers[3][2] = {{1, 2}, {0, 2}, {0, 1}};
  for (int a = 0; a < 3; a++) {
    const int b = kOthers[a][0], c = kOthers[a][1];
    const double ax = t->v[a][0], bx = t->v[b][0], cx = t->v[c][0];
    if (ax == bx || ax == cx) continue;
    if ((ax <= x && x <= bx && x <= cx) || (ax >= x && x >= bx && x >= cx)) {
      const double ay = t->v[a][1];
      w->a = a;
      w->b = b;
      w->c = c;
      w->t1 = (x - ax) / (bx - ax);
      w->t2 = (x - ax) / (cx - ax);
      const double y1 = ay + w->t1 * (t->v[b][1] - ay);
      const double y2 = ay + w->t2 * (t->v[c][1] - ay);
      // Both edges meet only at the apex, where the two heights agree anyway.
      w->u = (y1 == y2) ? 0.0 : (y - y2) / (y1 - y2);
      return true;
    }
  }
  return false;
}

double along_two_edges(const TwoEdges& w, double va, double vb, double vc) {
  const double v1 = va + w.t1 * (vb - va);
  const double v2 = va + w.t2 * (vc - va);
  return v2 + w.u * (v1 - v2);
}

// std::min(a, b), and below < 0 ? a : b, without branches: a position lies under or over the
// corners' tangent planes at random.
double lesser(double a, double b) {
#ifdef __SSE2__
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(b), _mm_set_sd(a)));  // b < a ? b : a
#else
  return std::min(a, b);
#endif
}

double below_zero_else(double below, double a, double b) {
#ifdef __SSE2__
  const __m128d negative = _mm_cmplt_sd(_mm_set_sd(below), _mm_setzero_pd());
  return _mm_cvtsd_f64(
      _mm_or_pd(_mm_and_pd(negative, _mm_set_sd(a)), _mm_andnot_pd(negative, _mm_set_sd(b))));
#else
  return below < 0 ? a : b;
#endif
}

// The position lies outside its triangle's x range: the TIN and the interpolation disagree.
[[noreturn]] void outside_two_edges(bool linear, float x) {
  if (linear) {
    std::fprintf(stderr, "ERROR: x coordinate not contained in x interval of two edges\n");
  } else {
    std::fprintf(stderr, "ERROR: x coordinate %g not contained in x interval of two edges\n",
                 double(x));
  }
  throw GroundFatal{false};
}

// Bulged heights over a TIN that does not change while they are taken. Points come in reading
// order, so runs of them fall into one triangle, and the next scan line crosses the same
// triangles again: the corner normals of recent triangles are kept.
// The unit normals of the triangles met lately. Every triangle's normal goes into the corner
// normals of each triangle around its corners, and those are made one after the other.
class TriangleNormals {
 public:
  TriangleNormals() : slots_(kSlots) {}
  void operator()(const TINtriangle* t, float normal[3]) {
    Slot& slot = slots_[(uintptr_t(t) / sizeof(TINtriangle)) & (kSlots - 1)];
    if (slot.triangle != t) {
      triangle_unit_normal(t->v[0], t->v[1], t->v[2], slot.normal);
      slot.triangle = t;
    }
    std::copy_n(slot.normal, 3, normal);
  }

 private:
  static constexpr size_t kSlots = size_t(1) << 15;
  struct Slot {
    const TINtriangle* triangle = nullptr;
    float normal[3];
  };
  std::vector<Slot> slots_;
};

void vertex_normal_cached(const TINtriangle* triangle, float normals[3][3],
                          TriangleNormals& triangle_normals);

class CornerNormals {
 public:
  CornerNormals() : slots_(kSlots) {}
  bool z(const TINtriangle* t, const float* p, float bulge, float* z) {
    if (tin_long_or_hull(t)) return ground_z_linear(t, p[0], p[1], z);
    Slot& slot = slots_[(uintptr_t(t) / sizeof(TINtriangle)) & (kSlots - 1)];
    if (slot.triangle != t) {
      vertex_normal_cached(t, slot.normals, triangle_normals_);
      slot.triangle = t;
    }
    return ground_z_with_normals(t, p[0], p[1], bulge, slot.normals, z);
  }

 private:
  static constexpr size_t kSlots = 1024;
  struct Slot {
    const TINtriangle* triangle = nullptr;
    float normals[3][3];
  };
  std::vector<Slot> slots_;
  TriangleNormals triangle_normals_;
};

}  // namespace

double ground_clock_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

float triangle_unit_normal(const float* p0, const float* p1, const float* p2, float normal[3]) {
  const float ux = p1[0] - p0[0], uy = p1[1] - p0[1], uz = p1[2] - p0[2];
  const float vx = p2[0] - p0[0], vy = p2[1] - p0[1], vz = p2[2] - p0[2];
  normal[0] = uy * vz - uz * vy;
  normal[1] = uz * vx - ux * vz;
  normal[2] = ux * vy - uy * vx;
  const float length =
      std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  normal[0] /= length;
  normal[1] /= length;
  normal[2] /= length;
  return length;
}

namespace {

// vertex_normal with the unit normal of a triangle from `normal_of(triangle, normal)`.
template <class NormalOf>
void vertex_normal_from(const TINtriangle* triangle, float normals[3][3], NormalOf&& normal_of) {
  TINtriangle* q = const_cast<TINtriangle*>(triangle);
  float n[3];
  normal_of(q, n);
  for (int k = 0; k < 3; k++) {
    float sum[3] = {n[0], n[1], n[2]};
    walk_around(q, k, [&](TINtriangle* r, int) {
      if (r == q || tin_long_or_hull(r)) return;
      float m[3];
      normal_of(r, m);
      const float d = m[0] * n[0] + m[1] * n[1] + m[2] * n[2];
      sum[0] += m[0] * d;
      sum[1] += m[1] * d;
      sum[2] += m[2] * d;
    });
    const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    for (int i = 0; i < 3; i++) normals[k][i] = sum[i] / length;
  }
}

void own_unit_normal(const TINtriangle* t, float normal[3]) {
  triangle_unit_normal(t->v[0], t->v[1], t->v[2], normal);
}

void vertex_normal_cached(const TINtriangle* triangle, float normals[3][3],
                          TriangleNormals& triangle_normals) {
  vertex_normal_from(triangle, normals, triangle_normals);
}

}  // namespace

void vertex_normal(const TINtriangle* triangle, float normals[3][3]) {
  vertex_normal_from(triangle, normals, own_unit_normal);
}

bool ground_z_linear(const TINtriangle* t, double x, double y, float* z) {
  if (!t->v[0]) {
    const float p[2] = {float(x), float(y)};
    const float d1 = std::sqrt(distance2(p, t->v[1]));
    const float d2 = std::sqrt(distance2(p, t->v[2]));
    *z = (d1 * t->v[2][2] + d2 * t->v[1][2]) / (d1 + d2);
    return true;
  }
  TwoEdges w;
  if (!two_edges(t, x, y, &w)) return false;
  *z = float(along_two_edges(w, t->v[w.a][2], t->v[w.b][2], t->v[w.c][2]));
  return true;
}

bool ground_z_with_bulge(const TINtriangle* t, double x, double y, float bulge, float* z) {
  if (tin_long_or_hull(t)) return ground_z_linear(t, x, y, z);
  float normals[3][3];
  vertex_normal(t, normals);
  return ground_z_with_normals(t, x, y, bulge, normals, z);
}

bool ground_z_with_normals(const TINtriangle* t, double x, double y, float bulge,
                           const float normals[3][3], float* z) {
  TwoEdges w;
  if (!two_edges(t, x, y, &w)) return false;
  const double z_lin = along_two_edges(w, t->v[w.a][2], t->v[w.b][2], t->v[w.c][2]);
  double s[3];
  for (int k = 0; k < 3; k++) {
    const float* p = t->v[k];
    const float* nk = normals[k];
    s[k] = lesser(0.0, (x - p[0]) * nk[0] + (y - p[1]) * nk[1] + (z_lin - p[2]) * nk[2]);
  }
  const double below = along_two_edges(w, s[w.a], s[w.b], s[w.c]);
  *z = float(below_zero_else(below, z_lin + lesser(double(bulge), -3.0 * below), z_lin));
  return true;
}

GroundEstimate::GroundEstimate(const GroundSettings& settings, const GroundParameters& parameters)
    : settings_(settings), param_(parameters) {
  mark_ = ground_clock_seconds();
}

GroundEstimate::~GroundEstimate() = default;

void GroundEstimate::timing(const char* what) {
  if (!settings_.verbose) return;
  const double now = ground_clock_seconds();
  print_note("took %g sec. %s", now - mark_, what);
  mark_ = now;
}

void GroundEstimate::create_level_grids(int level) {
  atoms_[level].reset(new (std::nothrow) SeedCells());
  if (!atoms_[level]) {
    alloc_failed(true,
                 level < 2 ? "ERROR: cannot alloc coarse raster %d of %d by %d.\n"
                           : "ERROR: cannot alloc fine raster %d of %d by %d.\n",
                 0, param_.sub, param_.sub);
  }
  cell_[level] = param_.step / float(1 << level);
  shift_[level] = param_.step / (float(1 << level) * float(param_.sub));
}

void GroundEstimate::begin(uint32_t capacity, uint32_t expected) {
#ifdef __GLIBC__
  // Large buffers come and go between the passes (grids, sets, bits); mapped on their own, they
  // leave no holes in the heap when they go, which would stay resident beside the TIN.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  capacity_ = capacity;
  count_ = 0;
  excluded_ = 0;
  const uint32_t room = std::min(capacity, expected);
  // Walked at random by every later pass: in huge pages, asked for before the first touch.
  // Points are appended into the room, which is never filled beforehand.
  points_.clear();
  if (!points_.reserve(size_t(room) * 3)) {
    alloc_failed(true, "ERROR: cannot alloc point_buffer for %u points.\n", room);
  }
  advise_huge_pages(points_.data(), points_.capacity() * sizeof(float));
  create_level_grids(0);
  create_level_grids(1);
  if (param_.has_fine) create_level_grids(2);
  finest_grid_.reset(new (std::nothrow) SeedCells());
  if (!finest_grid_) alloc_failed(true, "ERROR: cannot alloc finest raster.\n");
}

void GroundEstimate::append_point(const float p[3]) {
  // Within the room that make_room made.
  points_.push_back(p[0]);
  points_.push_back(p[1]);
  points_.push_back(p[2]);
}

bool GroundEstimate::make_room() {
  if (count_ >= capacity_) return false;
  if (size_t(count_) * 3 < points_.capacity()) return true;
  // A header can count far more points than a file holds; the room follows the points read.
  const uint32_t room =
      uint32_t(std::min<uint64_t>(capacity_, std::max<uint64_t>(1024, 2 * uint64_t(count_))));
  if (!points_.reserve(size_t(room) * 3)) {
    alloc_failed(true, "ERROR: cannot alloc point_buffer for %u points.\n", room);
  }
  return true;
}

bool GroundEstimate::add_point(double x, double y, double z, int32_t raw_z, double pertube_scale) {
  if (!make_room()) return false;
  const uint32_t i = count_;
  float p[3] = {float(x), float(y), float(z)};
  if (pertube_scale != 0.0) {
    const int r = crt_rand();
    const double d = double((r >> 8) % 21 - 10) * pertube_scale;
    p[0] = float(p[0] + d);
    p[1] = float(p[1] + d);
  }
  append_point(p);
  const int32_t sub = param_.sub;
  for (int level = 0; level < 3; level++) {
    if (!atoms_[level]) continue;
    // The shifted grids' columns grow with the shift and span less than two cells, so they are
    // the lowest one plus one for the last m grids: (lowest, m) names them all. Likewise rows.
    int32_t m, n;
    const int32_t column = cell_of(axis_cells_[level][0], p[0], level, &m);
    const int32_t row = cell_of(axis_cells_[level][1], p[1], level, &n);
    bin(level, atom_index(column, sub, m), atom_index(row, sub, n), raw_z, i);
  }
  bin(3, cell_of(axis_cells_[3][0], p[0], 3, nullptr), cell_of(axis_cells_[3][1], p[1], 3, nullptr),
      raw_z, i);
  count_++;
  return true;
}

void GroundEstimate::bin(int grid, int32_t column, int32_t row, int32_t z, uint32_t i) {
  PendingCell& pending = pending_[grid];
  if (pending.any && pending.column == column && pending.row == row) {
    // Lowest raw Z, the earlier point on ties, as the grid itself keeps it.
    if (z < pending.z) {
      pending.z = z;
      pending.index = i;
    }
    return;
  }
  flush_pending(grid);
  pending = PendingCell{column, row, z, i, true};
}

void GroundEstimate::flush_pending(int grid) {
  PendingCell& pending = pending_[grid];
  if (!pending.any) return;
  SeedCells* cells = grid < 3 ? atoms_[grid].get() : finest_grid_.get();
  cells->add(pending.column, pending.row, pending.z, pending.index);
  pending.any = false;
}

int32_t GroundEstimate::cell_of(AxisCell& last, float x, int level, int32_t* later) {
  const float cell = level < 3 ? cell_[level] : param_.finest;
  const float shift = level < 3 ? shift_[level] : 0.0f;
  const int32_t sub = param_.sub;
  if (!(last.valid && x >= last.lo && x < last.hi)) {
    // The bounds of the coordinate's cell, where they can be found; without them, as ever.
    const int32_t index = cell_index(x, cell);
    const AxisCell was = last;
    last.valid = false;
    if (index != INT32_MAX && cell > 0 && std::isfinite(cell) && (!later || shift > 0)) {
      // A neighbour of the last cell shares one bound with it.
      const int64_t step = int64_t(index) - int64_t(was.index);
      const float lo = was.valid && step == 1 ? was.hi : first_of_cell(index, cell);
      const float hi = was.valid && step == -1 ? was.lo : first_of_cell(index + 1, cell);
      if (lo <= x && x < hi) last = AxisCell{lo, hi, index, true};
    }
    if (!last.valid) {
      if (later) *later = shifted_later(x, shift, cell, index, sub);
      return index;
    }
  }
  if (later) {
    // The shifted coordinates only grow: those at or past the next cell's first are later. For
    // the usual few grids a count without branches, which beats a search's unforeseeable turns.
    if (sub <= 16) {
      int32_t count = 0;
      for (int32_t k = 1; k < sub; k++) count += x + float(k) * shift >= last.hi;
      *later = count;
      return last.index;
    }
    int32_t first = 1, end = sub;  // the first k with a later cell lies in [first, end]
    while (first < end) {
      const int32_t k = (first + end) / 2;
      if (x + float(k) * shift >= last.hi) {
        end = k;
      } else {
        first = k + 1;
      }
    }
    *later = sub - first;
  }
  return last.index;
}

bool GroundEstimate::add_excluded_point(double x, double y) {
  if (!make_room()) return false;
  const float p[3] = {float(x), float(y), GROUND_EXCLUDED};
  append_point(p);
  count_++;
  excluded_++;
  return true;
}

void GroundEstimate::allocate_bits() {
  const size_t words = (size_t(count_) + 31) / 32;
  try {
    tin_bits_.assign(words, 0);
    delete_bits_.assign(words, 0);
    insert_bits_.assign(words, 0);
  } catch (const std::bad_alloc&) {
    alloc_failed(true, "ERROR: cannot alloc tin_buffer for %u points.\n", count_);
  }
}

uint32_t GroundEstimate::build_tin(const std::vector<uint32_t>* indices) {
  forget_tin_changes();
  if (indices) {
    // The points of a set (a seed grid's) are copied together, in their order: the TIN's walks
    // and tests read them from a few megabytes instead of all over the point buffer. Vertex j
    // of this TIN is point (*indices)[j].
    const size_t n = indices->size();
    try {
      set_points_.resize(3 * n);
    } catch (const std::bad_alloc&) {
      alloc_failed(true, "ERROR: cannot alloc point_buffer for %u points.\n", uint32_t(n));
    }
    for (size_t j = 0; j < n; j++) std::copy_n(point((*indices)[j]), 3, &set_points_[3 * j]);
    tin_set_point_base(set_points_.data());
    tin_points_ = uint32_t(n);
    if (!tin_init(uint32_t(n), false)) {
      std::fprintf(stderr, "ERROR: cannot clean TIN for %d vertices.\n", int(n));
      throw GroundFatal{false};
    }
    for (size_t j = 0; j < n; j++) tin_add_point(&set_points_[3 * j]);
    tin_flush();
    return uint32_t(n);
  }
  set_points_ = std::vector<float>();
  tin_set_point_base(points_.data());
  tin_points_ = count_;
  if (!tin_init(count_, false)) {
    std::fprintf(stderr, "ERROR: cannot clean TIN for %u vertices.\n", count_);
    throw GroundFatal{false};
  }
  uint32_t added = 0;
  for (uint32_t i = 0; i < count_; i++) {
    if (get(tin_bits_, i)) {
      tin_add_point(point(i));
      added++;
    }
  }
  tin_flush();
  return added;
}

void GroundEstimate::on_duplicate(float* point, float* vertex, void* context) {
  GroundEstimate& estimate = *static_cast<GroundEstimate*>(context);
  estimate.refused_.push_back(
      Twin{estimate.index_of(point), vertex ? estimate.index_of(vertex) : kNoPoint});
}

void GroundEstimate::settle_refused() {
  for (const Twin& t : refused_) {
    if (t.vertex != kNoPoint &&
        std::fabs(point(t.point)[2] - point(t.vertex)[2]) <= param_.offset) {
      twins_.push_back(t);
    } else {
      clear(tin_bits_, t.point);
    }
  }
  refused_.clear();
}

void GroundEstimate::twin_at_vertex(uint32_t i, const TINlocation& found) {
  const float* vertex = tin_vertex_at(found, point(i));
  if (!vertex || std::fabs(point(i)[2] - vertex[2]) > param_.offset) return;
  set(tin_bits_, i);
  twins_.push_back(Twin{i, index_of(vertex)});
}

// A twin shares the fate of its vertex: removed as a spike, both leave.
void GroundEstimate::drop_twins_of_lost_vertices() {
  twins_.erase(std::remove_if(twins_.begin(), twins_.end(),
                              [this](const Twin& t) {
                                if (get(tin_bits_, t.vertex)) return false;
                                clear(tin_bits_, t.point);
                                point(t.point)[2] = GROUND_EXCLUDED;
                                return true;
                              }),
               twins_.end());
}

uint32_t GroundEstimate::insert_marked_points(const std::vector<uint32_t>* points,
                                              const std::vector<int32_t>* starts) {
  // The TIN reports refused points while it inserts; the handler must not outlive this call.
  struct Listen {
    explicit Listen(GroundEstimate* estimate) {
      tin_set_duplicate_handler(&GroundEstimate::on_duplicate, estimate);
    }
    ~Listen() { tin_set_duplicate_handler(nullptr, nullptr); }
  } listen(this);
  uint32_t added = 0;
  size_t next_start = 0;
  const size_t start_count = points && starts ? std::min(points->size(), starts->size()) : 0;
  for (uint32_t w = 0; w < insert_bits_.size(); w++) {
    if (!insert_bits_[w]) continue;
    for (uint32_t b = 0; b < 32; b++) {
      if ((insert_bits_[w] >> b) & 1u) {
        const uint32_t i = w * 32 + b;
        int32_t start = -1;
        while (next_start < start_count && (*points)[next_start] < i) next_start++;
        if (next_start < start_count && (*points)[next_start] == i) start = (*starts)[next_start];
        set(tin_bits_, i);
        tin_add_point(point(i), start);
        added++;
      }
    }
  }
  tin_flush();
  settle_refused();
  return added;
}

uint32_t GroundEstimate::delete_marked_points() {
  uint32_t deleted = 0;
  for (uint32_t w = 0; w < delete_bits_.size(); w++) {
    if (!delete_bits_[w]) continue;
    for (uint32_t b = 0; b < 32; b++) {
      if ((delete_bits_[w] >> b) & 1u) {
        // A vertex that stays has its excluded z in the TIN: its neighbours' tests change.
        if (!tin_delete_point(point(w * 32 + b))) changes_unknown_ = true;
        deleted++;
      }
    }
    delete_bits_[w] = 0;
  }
  undeleted_spikes_ = 0;
  return deleted;
}

void GroundEstimate::note_changed_triangles() {
  const uint32_t n = tin_triangle_count();
  const size_t words = (size_t(n) + 63) / 64;
  if (spike_pending_.size() < words) spike_pending_.resize(words, 0);
  if (refining_ && locate_pending_.size() < words) locate_pending_.resize(words, 0);
  const uint64_t* changed = tin_changed_bits();
  for (size_t w = 0; w < words; w++) {
    spike_pending_[w] |= changed[w];
    if (refining_) locate_pending_[w] |= changed[w];
  }
}

void GroundEstimate::mark_long_edges(TINtriangle* q) const {
  const float limit = (2 * param_.step) * (2 * param_.step);
  if (q->v[0]) {
    if (distance2(q->v[0], q->v[1]) > limit) q->flag |= TIN_LONG_EDGE_01;
    if (distance2(q->v[2], q->v[0]) > limit) q->flag |= TIN_LONG_EDGE_20;
    if (distance2(q->v[1], q->v[2]) > limit) q->flag |= TIN_LONG_EDGE_12;
  } else if (distance2(q->v[1], q->v[2]) > limit) {
    q->flag |= TIN_LONG_EDGE_12;
  }
}

void GroundEstimate::mark_long_edges() {
  // Triangles keep their vertices and marks for as long as they live, so only the ones taken
  // since the last call can lack their marks.
  note_changed_triangles();
  const size_t words = (size_t(tin_triangle_count()) + 63) / 64;
  const uint64_t* changed = tin_changed_bits();
  for (size_t w = 0; w < words; w++) {
    for (uint64_t bits = changed[w]; bits; bits &= bits - 1) {
      TINtriangle* q = tin_triangle_at(uint32_t(w * 64 + unsigned(__builtin_ctzll(bits))));
      if (tin_in_use(q)) mark_long_edges(q);
    }
  }
  tin_clear_changed();
}

void GroundEstimate::forget_tin_changes() {
  std::fill(spike_pending_.begin(), spike_pending_.end(), 0);
  std::fill(locate_pending_.begin(), locate_pending_.end(), 0);
  changes_unknown_ = false;
}

GroundEstimate::Range GroundEstimate::neighbour_range(TINtriangle* q, int k) {
  const uint32_t id = q->v[k].id();
  RangeEntry& entry = range_cache_[id & (kRangeCacheSize - 1)];
  if (entry.generation == range_generation_ && entry.vertex == id) return entry.range;
  Range range{kFar, -kFar};
  walk_around(q, k, [&](TINtriangle* r, int e) {
    const float* s = r->v[e];
    if (!s || (r->flag & (TIN_LONG_EDGE_01 << e))) return;
    range.low = std::min(range.low, s[2]);
    range.high = std::max(range.high, s[2]);
  });
  entry = RangeEntry{id, range_generation_, range};
  return range;
}

namespace {

// Whether z lies outside the range of the neighbours of corner k of q over its short edges
// (a vertex without such neighbours lies outside their empty range). Stops at the first
// neighbour at or below z once one at or above it was met, or the other way round.
bool local_extremum(TINtriangle* q, int k, float z) {
  bool below = false, above = false;
  int32_t code = q->n[(k + 1) % 3];
  for (;;) {
    TINtriangle* r = tin_triangle_at(uint32_t(code) / 3);
    const int e = code % 3;
    const float* s = r->v[e];
    if (s && !(r->flag & (TIN_LONG_EDGE_01 << e))) {
      below |= s[2] <= z;
      above |= s[2] >= z;
      if (below && above) return false;
    }
    if (r == q) return true;
    code = r->n[(e + 2) % 3];
  }
}

// A walk ahead of a spike test through what the test reads: the triangles around the corner,
// then those around its first neighbour over a short edge with that neighbour's neighbours.
// Each step reads a triangle that the step before asked for, and asks for the next: the test
// itself finds them at hand.
class TestAhead {
 public:
  void start(TINtriangle* q, int k, bool corner_points) {
    q_ = q;
    stage_ = kAroundCorner;
    ring_ = nullptr;
    corner_points_ = corner_points;
    code_ = q->n[(k + 1) % 3];
    __builtin_prefetch(tin_triangle_at(uint32_t(code_) / 3));
  }
  void step() {
    if (stage_ == kDone) return;
    TINtriangle* r = tin_triangle_at(uint32_t(code_) / 3);
    const int e = code_ % 3;
    const bool neighbour = r->v[e].id() != 0;
    if (stage_ == kAroundCorner) {
      if (neighbour && corner_points_) __builtin_prefetch(static_cast<const float*>(r->v[e]));
      if (!ring_ && neighbour && !(r->flag & (TIN_LONG_EDGE_01 << e))) {
        ring_ = r;
        ring_entry_ = e;
      }
      if (r == q_) {
        if (!ring_) {
          stage_ = kDone;
          return;
        }
        stage_ = kAroundNeighbour;
        code_ = ring_->n[(ring_entry_ + 1) % 3];
        __builtin_prefetch(tin_triangle_at(uint32_t(code_) / 3));
        return;
      }
    } else {
      if (neighbour) __builtin_prefetch(static_cast<const float*>(r->v[e]));
      if (r == ring_) {
        stage_ = kDone;
        return;
      }
    }
    code_ = r->n[(e + 2) % 3];
    __builtin_prefetch(tin_triangle_at(uint32_t(code_) / 3));
  }

 private:
  enum Stage { kAroundCorner, kAroundNeighbour, kDone };
  TINtriangle* q_ = nullptr;
  TINtriangle* ring_ = nullptr;
  int32_t code_ = 0;
  int ring_entry_ = 0;
  Stage stage_ = kDone;
  bool corner_points_ = false;
};

}  // namespace

bool GroundEstimate::is_spike(TINtriangle* q, int k, float up, float down, bool extremum) {
  const float z = static_cast<const float*>(q->v[k])[2];
  if (!extremum && !local_extremum(q, k, z)) return false;
  float highest_low = -kFar, lowest_high = kFar;
  // The highest low only rises and the lowest high only falls, so once both hold the corner
  // within their limits it is no spike, whatever the other neighbours' ranges: those are not
  // looked up (every triangle around is marked all the same).
  bool within = false;
  walk_around(q, k, [&](TINtriangle* r, int e) {
    r->flag |= 1 << ((e + 1) % 3);
    const float* s = r->v[e];
    if (within || !s || (r->flag & (TIN_LONG_EDGE_01 << e))) return;
    const Range around = neighbour_range(r, e);
    highest_low = std::max(highest_low, around.low);
    lowest_high = std::min(lowest_high, around.high);
    within = !(z > highest_low + up) && !(z < lowest_high - down);
  });
  return z > highest_low + up || z < lowest_high - down;
}

void GroundEstimate::find_extrema(uint32_t n) {
  // One pass over the triangles in storage order, which marks the long edges of the triangles
  // taken since the last marking on the way (a triangle's marks are all its own edges need).
  // Every short edge is seen from both its triangles, which set the same bits of both ends
  // (both mark it alike, from the same squared length): each vertex's neighbours are met as a
  // walk around it would meet them, without reading the triangle across.
  note_changed_triangles();
  sides_.assign((size_t(tin_points_) + 15) / 16, 0u);
  const uint64_t* changed = tin_changed_bits();
  const float limit = (2 * param_.step) * (2 * param_.step);
  // The bits that a short edge from a vertex at za to one at zb gives the first; the second
  // takes them swapped. Without branches: the heights' order is anyone's guess.
  auto sides_of = [](float za, float zb) {
    return uint32_t(zb <= za) * kBelow | uint32_t(zb >= za) * kAbove;
  };
  auto swapped = [](uint32_t bits) { return ((bits & kBelow) << 1) | ((bits & kAbove) >> 1); };
  auto add = [this](uint32_t id, uint32_t bits) {
    const uint32_t i = id - 1;
    sides_[i >> 4] |= bits << (2 * (i & 15));
  };
  constexpr uint32_t kAhead = 16;
  for (uint32_t t = 0; t < n; t++) {
    // The triangles come in order, their corners from all over the points: those of one a few
    // ahead are asked for now.
    if (t + kAhead < n) {
      const TINtriangle* ahead = tin_triangle_at(t + kAhead);
      for (int k = 0; k < 3; k++) {
        if (ahead->v[k].id()) __builtin_prefetch(static_cast<const float*>(ahead->v[k]));
      }
    }
    TINtriangle* q = tin_triangle_at(t);
    uint8_t flag = q->flag;
    if (!(flag & TIN_IN_USE)) continue;
    const bool fresh = (changed[t >> 6] >> (t & 63)) & 1u;
    const uint32_t i0 = q->v[0].id(), i1 = q->v[1].id(), i2 = q->v[2].id();
    const float* v1 = q->v[1];
    const float* v2 = q->v[2];
    if (!i0) {
      if (fresh && distance2(v1, v2) > limit) q->flag = flag |= TIN_LONG_EDGE_12;
      if (flag & TIN_LONG_EDGE_12) continue;
      const uint32_t s = sides_of(v1[2], v2[2]);
      add(i1, s);
      add(i2, swapped(s));
      continue;
    }
    const float* v0 = q->v[0];
    if (fresh) {
      if (distance2(v0, v1) > limit) flag |= TIN_LONG_EDGE_01;
      if (distance2(v2, v0) > limit) flag |= TIN_LONG_EDGE_20;
      if (distance2(v1, v2) > limit) flag |= TIN_LONG_EDGE_12;
      q->flag = flag;
    }
    uint32_t s0 = 0, s1 = 0, s2 = 0;
    if (!(flag & TIN_LONG_EDGES)) {
      const uint32_t a = sides_of(v0[2], v1[2]), b = sides_of(v1[2], v2[2]);
      const uint32_t c = sides_of(v2[2], v0[2]);
      s0 = a | swapped(c);
      s1 = b | swapped(a);
      s2 = c | swapped(b);
    } else {
      if (!(flag & TIN_LONG_EDGE_01)) {
        const uint32_t a = sides_of(v0[2], v1[2]);
        s0 |= a;
        s1 |= swapped(a);
      }
      if (!(flag & TIN_LONG_EDGE_12)) {
        const uint32_t b = sides_of(v1[2], v2[2]);
        s1 |= b;
        s2 |= swapped(b);
      }
      if (!(flag & TIN_LONG_EDGE_20)) {
        const uint32_t c = sides_of(v2[2], v0[2]);
        s2 |= c;
        s0 |= swapped(c);
      }
    }
    add(i0, s0);
    add(i1, s1);
    add(i2, s2);
  }
  tin_clear_changed();
}

uint32_t GroundEstimate::remove_spikes(float up, float down, std::vector<uint32_t>* indices) {
  const uint32_t n = tin_triangle_count();
  const size_t words = (size_t(n) + 63) / 64;
  const bool all = changes_unknown_ || undeleted_spikes_ > 0;
  // The triangles to look at: the ones taken since the last call, or every one.
  size_t pending = 0;
  if (all) {
    pending = n;
  } else {
    const uint64_t* changed = tin_changed_bits();
    for (size_t w = 0; w < words; w++) {
      const uint64_t before = w < spike_pending_.size() ? spike_pending_[w] : 0;
      pending += size_t(__builtin_popcountll(before | changed[w]));
    }
  }
  const bool sweep = pending > n / 4;
  // The sweep's bits come on top of a grown TIN; the delete bits, clear between the deletions,
  // make room for them and come back afterwards.
  const size_t delete_words = delete_bits_.size();
  const bool lend =
      sweep && !indices &&
      std::all_of(delete_bits_.begin(), delete_bits_.end(), [](uint32_t w) { return w == 0; });
  if (lend) delete_bits_ = std::vector<uint32_t>();
  if (sweep) {
    find_extrema(n);
  } else {
    mark_long_edges();
  }
  if (all) {
    std::fill(spike_pending_.begin(), spike_pending_.begin() + ptrdiff_t(words), ~uint64_t(0));
  }
  // A vertex is tested once all its triangles but none of its corner marks are old: an untested
  // corner is the mark of a triangle that is new, or of a vertex that was no local extremum
  // when it was last looked at. Such a vertex whose triangles are all old has the same
  // neighbours now, of the same heights (TIN vertices keep their z), so it is still none: the
  // vertices of the triangles taken since the last call are all that can be tested. Every
  // test reads the neighbours' ranges as they stand before this call changes anything.
  // Ranges are kept for the length of this call, in which no z and no edge changes.
  if (range_cache_.empty() || ++range_generation_ == 0) {
    range_cache_.assign(kRangeCacheSize, RangeEntry{0, 0, Range{0, 0}});
    range_generation_ = 1;
  }
  std::vector<uint32_t> spikes;
  if (!sweep) seen_.assign((size_t(tin_points_) + 31) / 32, 0u);  // a bit per vertex: looked at
  // The tests walk through triangles and points all over memory: each waits for a few more
  // candidates, its walk ahead stepping on with every new one.
  struct Candidate {
    TINtriangle* q;
    int k;
    TestAhead ahead;
  };
  constexpr size_t kQueue = 16;
  Candidate queue[kQueue];
  size_t queued = 0;
  auto test = [&](const Candidate& c) {
    if (is_spike(c.q, c.k, up, down, sweep)) spikes.push_back(c.q->v[c.k].id() - 1);
  };
  for (size_t w = 0; w < words; w++) {
    uint64_t bits = spike_pending_[w];
    spike_pending_[w] = 0;
    for (; bits; bits &= bits - 1) {
      const uint32_t t = uint32_t(w * 64 + unsigned(__builtin_ctzll(bits)));
      if (t >= n) break;
      TINtriangle* q = tin_triangle_at(t);
      if (!tin_in_use(q) || !q->v[0]) continue;
      for (int k = 0; k < 3; k++) {
        if (q->flag & (1 << k)) continue;
        const uint32_t ci = q->v[k].id() - 1;
        if (sweep) {
          // Tested corners carry their marks from here on; one between its neighbours is none.
          if (sides(ci) == (kBelow | kAbove)) continue;
          // Waiting for its test: not again from another of its triangles.
          sides_[ci >> 4] |= (kBelow | kAbove) << (2 * (ci & 15));
        } else {
          if (get(seen_, ci)) continue;
          set(seen_, ci);
        }
        Candidate& slot = queue[queued % kQueue];
        if (queued >= kQueue) test(slot);
        slot.q = q;
        slot.k = k;
        slot.ahead.start(q, k, !sweep);
        queued++;
        for (size_t j = 0; j < std::min(queued, kQueue); j++) queue[j].ahead.step();
      }
    }
  }
  for (size_t j = queued > kQueue ? queued - kQueue : 0; j < queued; j++) test(queue[j % kQueue]);
  sides_ = std::vector<uint32_t>();
  seen_ = std::vector<uint32_t>();
  if (lend) delete_bits_.assign(delete_words, 0u);
  if (indices) {
    // The TIN of a set numbers its vertices by their place in the set, in the same order.
    for (uint32_t& i : spikes) i = (*indices)[i];
    std::sort(spikes.begin(), spikes.end());
    indices->erase(std::remove_if(indices->begin(), indices->end(),
                                  [&](uint32_t i) {
                                    return std::binary_search(spikes.begin(), spikes.end(), i);
                                  }),
                   indices->end());
  } else {
    for (uint32_t i : spikes) {
      clear(tin_bits_, i);
      point(i)[2] = GROUND_EXCLUDED;
      set(delete_bits_, i);
    }
    undeleted_spikes_ += uint32_t(spikes.size());
    if (!spikes.empty()) drop_twins_of_lost_vertices();
  }
  return uint32_t(spikes.size());
}

namespace {

// The occupied cells of a seed level, a bit each, in tiles of 8 x 8 cells kept in a hash table
// by tile: the memory follows the occupied area, not the extent, and the 3 x 3 block around a
// cell lies in one tile more often than not.
class OccupiedCells {
 public:
  void add(int32_t column, int32_t row) {
    *word(tile_key(column >> 3, row >> 3), true) |= uint64_t(1) << bit(column, row);
  }
  // Asks for the slot where the tile of the cell is looked for first.
  void prefetch(int32_t column, int32_t row) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[home(tile_key(column >> 3, row >> 3))]);
  }
  // Whether a cell of the 3 x 3 block around the cell is occupied. A cell at the edge of the
  // index range (a far stray point, clamped) has no neighbour beyond it.
  bool any_around(int32_t column, int32_t row) {
    const int64_t c0 = std::max<int64_t>(int64_t(column) - 1, INT32_MIN);
    const int64_t c1 = std::min<int64_t>(int64_t(column) + 1, INT32_MAX);
    const int64_t r0 = std::max<int64_t>(int64_t(row) - 1, INT32_MIN);
    const int64_t r1 = std::min<int64_t>(int64_t(row) + 1, INT32_MAX);
    for (int64_t ty = r0 >> 3; ty <= r1 >> 3; ty++) {
      for (int64_t tx = c0 >> 3; tx <= c1 >> 3; tx++) {
        const uint64_t* w = word(tile_key(int32_t(tx), int32_t(ty)), false);
        if (!w) continue;
        // The block's columns and rows inside this tile.
        const int64_t first_c = std::max(c0, tx * 8), last_c = std::min(c1, tx * 8 + 7);
        const int64_t first_r = std::max(r0, ty * 8), last_r = std::min(r1, ty * 8 + 7);
        const uint64_t columns = ((uint64_t(1) << (last_c - first_c + 1)) - 1)
                                 << (first_c - tx * 8);
        uint64_t mask = 0;
        for (int64_t r = first_r; r <= last_r; r++) mask |= columns << (8 * (r - ty * 8));
        if (*w & mask) return true;
      }
    }
    return false;
  }

 private:
  struct Slot {
    uint64_t key;
    uint64_t bits;  // 0: the slot is free (a stored tile has a cell)
  };
  static uint64_t tile_key(int32_t tx, int32_t ty) {
    return (uint64_t(uint32_t(tx)) << 32) | uint32_t(ty);
  }
  static int bit(int32_t column, int32_t row) { return ((row & 7) << 3) | (column & 7); }
  size_t home(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - shift_)); }
  // The tile's bits; null for a tile without cells unless `make`.
  uint64_t* word(uint64_t key, bool make) {
    // Seeds come in reading order, so mostly near the last ones: the answers for the tiles
    // around them are kept (a tile that is made updates its own; a growing table drops all).
    Recent& recent = recent_[((key >> 32) & 3) | ((key & 3) << 2)];
    if (recent.key == key && (recent.slot >= 0 || (recent.slot == -1 && !make))) {
      return recent.slot >= 0 ? &slots_[size_t(recent.slot)].bits : nullptr;
    }
    Slot* found = find(key, make);
    Recent& now = recent_[((key >> 32) & 3) | ((key & 3) << 2)];
    now.key = key;
    now.slot = found ? int64_t(found - slots_.data()) : -1;
    return found ? &found->bits : nullptr;
  }
  Slot* find(uint64_t key, bool make) {
    if (slots_.empty()) {
      if (!make) return nullptr;
      grow();
    }
    for (size_t i = home(key);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.bits && slot.key == key) return &slot;
      if (!slot.bits) {
        if (!make) return nullptr;
        if (2 * (used_ + 1) > slots_.size()) {
          grow();
          return find(key, true);
        }
        used_++;
        slot.key = key;
        return &slot;  // its bits are set by the caller
      }
    }
  }
  void grow() {
    for (Recent& r : recent_) r = Recent();
    std::vector<Slot> old;
    old.swap(slots_);
    shift_ = old.empty() ? 10 : shift_ + 1;
    try {
      slots_.assign(size_t(1) << shift_, Slot{0, 0});
    } catch (const std::bad_alloc&) {
      alloc_failed(true, "ERROR: cannot alloc occupancy raster.\n");
    }
    for (const Slot& s : old) {
      if (!s.bits) continue;
      size_t i = home(s.key);
      while (slots_[i].bits) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
  int shift_ = 0;
  struct Recent {
    uint64_t key = 0;
    int64_t slot = -2;  // -1: no such tile; -2: nothing kept
  };
  Recent recent_[16];
};

void mark_occupied(OccupiedCells& occupancy, float cell, const GroundEstimate& estimate,
                   const std::vector<uint32_t>& seeds) {
  for (uint32_t i : seeds) {
    const float* p = estimate.point(i);
    occupancy.add(cell_index(p[0], cell), cell_index(p[1], cell));
  }
}

// Whether a cell next to the point's (or its own) is occupied; if none, occupies its own.
bool occupied_around(OccupiedCells& occupancy, float cell, const float* p) {
  const int32_t c = cell_index(p[0], cell);
  const int32_t r = cell_index(p[1], cell);
  if (occupancy.any_around(c, r)) return true;
  occupancy.add(c, r);
  return false;
}

}  // namespace

namespace {

// An atom of a seed level, by the cell of the unshifted grid that holds it (column and row biased
// into one key that sorts like the pair) and its place m, n among the sub x sub atoms of that
// cell: in shifted grid (k, l) it lies in that cell's column + 1 when m >= sub - k, else in the
// same, and likewise for the row with n and l.
struct Atom {
  uint64_t key;
  int32_t z;
  uint32_t index;
  int32_t m, n;
};

uint64_t cell_key(int32_t column, int32_t row) {
  return (uint64_t(uint32_t(column) ^ 0x80000000u) << 32) | (uint32_t(row) ^ 0x80000000u);
}

bool lower(int32_t z, uint32_t index, const LowestCell& slot) {
  return slot.index == kNoPoint || z < slot.z || (z == slot.z && index < slot.index);
}

// The lowest point of every occupied cell of shifted grid (k, l), by index. Atoms are sorted by
// key; the cells of the shifted grid gather atoms from four classes (column + 0 or 1, row + 0 or
// 1), each of which keeps the key order once shifted, so a merge of the four meets every cell's
// atoms together. Linear in the atoms, whatever the extent. `classes` is room for the atoms of
// each class, by their place in `atoms`.
void lowest_of_shifted_grid(const std::vector<Atom>& atoms, int32_t sub, int32_t k, int32_t l,
                            std::vector<uint32_t> (&classes)[4], std::vector<uint32_t>& lowest) {
  lowest.clear();
  for (std::vector<uint32_t>& members : classes) members.clear();
  const uint32_t n = uint32_t(atoms.size());
  for (uint32_t i = 0; i < n; i++) {
    const Atom& a = atoms[i];
    classes[(a.m >= sub - k ? 2 : 0) + (a.n >= sub - l ? 1 : 0)].push_back(i);
  }
  auto shifted = [&](uint32_t i, int c) {
    return atoms[i].key + (uint64_t(c >> 1) << 32) + uint64_t(c & 1);
  };
  size_t at[4] = {0, 0, 0, 0};
  for (;;) {
    uint64_t key = UINT64_MAX;
    bool any = false;
    for (int c = 0; c < 4; c++) {
      if (at[c] < classes[c].size()) {
        const uint64_t head = shifted(classes[c][at[c]], c);
        key = any ? std::min(key, head) : head;
        any = true;
      }
    }
    if (!any) return;
    LowestCell slot{0, kNoPoint};
    for (int c = 0; c < 4; c++) {
      const std::vector<uint32_t>& members = classes[c];
      size_t i = at[c];
      for (; i < members.size() && shifted(members[i], c) == key; i++) {
        const Atom& a = atoms[members[i]];
        if (lower(a.z, a.index, slot)) slot = LowestCell{a.z, a.index};
      }
      at[c] = i;
    }
    lowest.push_back(slot.index);
  }
}

// The lowest atom of every cell of each shifted grid, as lowest_of_shifted_grid finds it, in one
// pass over the atoms per grid. An atom's cell in a shifted grid is its unshifted cell's moved by
// its class; the cells that such moves reach are numbered once per level, with the four of every
// unshifted cell, so that no grid sorts, merges or sets aside atoms of its own.
class ShiftedLowest {
 public:
  // From atoms sorted by key, which it keeps, their keys turned into cell numbers. False (the
  // atoms untouched) when a moved key would leave the column or row range, where only the merge
  // meets the cells as they are.
  bool prepare(std::vector<Atom>& atoms) {
    const uint32_t last = 0xFFFFFFFFu;
    keys_.clear();
    for (const Atom& a : atoms) {
      if (uint32_t(a.key >> 32) == last || uint32_t(a.key) == last) return false;
      if (keys_.empty() || keys_.back() != a.key) keys_.push_back(a.key);
    }
    // The moved keys of every cell, numbered in key order.
    reached_.clear();
    for (uint64_t key : keys_) {
      for (int c = 0; c < 4; c++) reached_.push_back(moved(key, c));
    }
    std::sort(reached_.begin(), reached_.end());
    reached_.erase(std::unique(reached_.begin(), reached_.end()), reached_.end());
    targets_.resize(4 * keys_.size());
    for (size_t j = 0; j < keys_.size(); j++) {
      for (int c = 0; c < 4; c++) {
        targets_[4 * j + size_t(c)] =
            uint32_t(std::lower_bound(reached_.begin(), reached_.end(), moved(keys_[j], c)) -
                     reached_.begin());
      }
    }
    cells_ = uint32_t(reached_.size());
    uint64_t j = 0, key = atoms.empty() ? 0 : atoms[0].key;
    for (Atom& a : atoms) {
      if (a.key != key) {
        key = a.key;
        j++;
      }
      a.key = j;
    }
    atoms_ = &atoms;
    return true;
  }

  void lowest(int32_t sub, int32_t k, int32_t l, std::vector<uint32_t>& out) {
    // Raw Z and index in one number that orders as lower() does, an empty cell above all: the
    // lowest is a minimum without branches, where the heights' order is anyone's guess. No
    // point has the index kNoPoint, so no atom reaches the empty cell's number.
    best_.assign(cells_, UINT64_MAX);
    const int32_t mk = sub - k, nl = sub - l;
    for (const Atom& a : *atoms_) {
      const uint32_t c = (a.m >= mk ? 2u : 0u) + (a.n >= nl ? 1u : 0u);
      uint64_t& slot = best_[targets_[4 * size_t(a.key) + c]];
      slot = std::min(slot, (uint64_t(uint32_t(a.z) ^ 0x80000000u) << 32) | a.index);
    }
    out.clear();
    for (const uint64_t slot : best_) {
      if (slot != UINT64_MAX) out.push_back(uint32_t(slot));
    }
  }

 private:
  static uint64_t moved(uint64_t key, int c) {
    return key + (uint64_t(c >> 1) << 32) + uint64_t(c & 1);
  }
  const std::vector<Atom>* atoms_ = nullptr;  // keyed by cell number
  std::vector<uint64_t> keys_, reached_;
  std::vector<uint32_t> targets_;  // four per unshifted cell, by class
  std::vector<uint64_t> best_;
  uint32_t cells_ = 0;
};

// Whether every atom lies alone in its cell of every shifted grid, so that each grid gathers all
// of them. Two atoms share a cell of some shifted grid exactly when they are less than `sub`
// atoms apart both in column and in row; such atoms lie in the same unshifted cell or in
// neighbouring ones. `atoms` are sorted by key.
bool atoms_alone(const std::vector<Atom>& atoms, int32_t sub) {
  auto column = [sub](const Atom& a) {
    return int64_t(int32_t(uint32_t(a.key >> 32) ^ 0x80000000u)) * sub + a.m;
  };
  auto row = [sub](const Atom& a) {
    return int64_t(int32_t(uint32_t(a.key) ^ 0x80000000u)) * sub + a.n;
  };
  auto find = [&atoms](uint64_t key) {
    const auto at = std::lower_bound(atoms.begin(), atoms.end(), key,
                                     [](const Atom& a, uint64_t k) { return a.key < k; });
    return at != atoms.end() && at->key == key ? &*at : nullptr;
  };
  const uint32_t last = 0xFFFFFFFFu;
  for (size_t i = 0; i < atoms.size(); i++) {
    const Atom& a = atoms[i];
    if (i + 1 < atoms.size() && atoms[i + 1].key == a.key) return false;
    // The neighbouring cells after this one in key order; those before looked at this one.
    const uint32_t c = uint32_t(a.key >> 32), r = uint32_t(a.key);
    const bool next_column = c != last;
    const uint64_t after[4] = {
        r != last ? a.key + 1 : a.key,
        next_column && r != 0 ? a.key + (uint64_t(1) << 32) - 1 : a.key,
        next_column ? a.key + (uint64_t(1) << 32) : a.key,
        next_column && r != last ? a.key + (uint64_t(1) << 32) + 1 : a.key,
    };
    for (const uint64_t key : after) {
      if (key == a.key) continue;
      const Atom* b = find(key);
      if (b && std::abs(column(*b) - column(a)) < sub && std::abs(row(*b) - row(a)) < sub) {
        return false;
      }
    }
  }
  return true;
}

// Calls near(a, b) for the pairs of the set's points (by point index) whose cells of size `cell`
// touch: every pair closer than the cell, and some farther ones. Stops at the first pair where
// near returns true, and tells whether it did.
template <class Near>
bool any_pair_in_touching_cells(const GroundEstimate& estimate, const std::vector<uint32_t>& set,
                                float cell, Near&& near) {
  struct Placed {
    uint64_t key;
    uint32_t index;
  };
  std::vector<Placed> placed;
  placed.reserve(set.size());
  for (const uint32_t i : set) {
    const float* p = estimate.point(i);
    placed.push_back(Placed{cell_key(cell_index(p[0], cell), cell_index(p[1], cell)), i});
  }
  std::sort(placed.begin(), placed.end(),
            [](const Placed& a, const Placed& b) { return a.key < b.key; });
  for (size_t j = 0; j < placed.size(); j++) {
    const uint64_t key = placed[j].key;
    const int64_t column = int64_t(key >> 32), row = int64_t(key & 0xFFFFFFFFu);
    for (int64_t c = column - 1; c <= column + 1; c++) {
      for (int64_t r = row - 1; r <= row + 1; r++) {
        if (c < 0 || r < 0 || c > 0xFFFFFFFF || r > 0xFFFFFFFF) continue;
        const uint64_t other = (uint64_t(c) << 32) | uint64_t(r);
        if (other < key) continue;  // that pair was looked at from the other point
        auto at = std::lower_bound(placed.begin(), placed.end(), other,
                                   [](const Placed& a, uint64_t k) { return a.key < k; });
        for (; at != placed.end() && at->key == other; ++at) {
          if (at->index == placed[j].index) continue;
          if (other == key && at < placed.begin() + ptrdiff_t(j)) continue;
          if (near(at->index, placed[j].index)) return true;
        }
      }
    }
  }
  return false;
}

// Whether the spike test finds a point without neighbours a spike (as the test of a vertex
// whose every edge is long has it).
bool spike_alone(const float* p, float up, float down) {
  return p[2] > -kFar + up || p[2] < kFar - down;
}

// Whether two of the set's points lie within `reach` of each other, as the long-edge marks
// measure it.
bool any_within_reach(const GroundEstimate& estimate, const std::vector<uint32_t>& set,
                      float reach) {
  const float limit = reach * reach;
  return any_pair_in_touching_cells(estimate, set, 2 * reach, [&](uint32_t a, uint32_t b) {
    return !(distance2(estimate.point(a), estimate.point(b)) > limit);
  });
}

// Whether the set's points span an area: some point lies off the line through the first two.
bool off_one_line(const GroundEstimate& estimate, const std::vector<uint32_t>& set) {
  if (set.size() < 3) return false;
  const float* a = estimate.point(set[0]);
  const float* b = estimate.point(set[1]);
  for (size_t j = 2; j < set.size(); j++) {
    if (!tin_on_one_line(a, b, estimate.point(set[j]))) return true;
  }
  return false;
}

// Whether the spike test, in any TIN of the set's points, finds every one of them a spike: no
// two lie within `reach` (twice the step) of each other, so that every edge is long and no
// vertex has a neighbour to be measured against, and they are not all on one line, so that
// every vertex is a corner of a triangle that the test looks at. Where in doubt, false.
bool all_spikes_in_any_tin(const GroundEstimate& estimate, const std::vector<uint32_t>& set,
                           float reach, float up, float down) {
  if (set.size() < 3 || !(reach > 0) || !std::isfinite(reach)) return false;
  for (const uint32_t i : set) {
    if (!spike_alone(estimate.point(i), up, down)) return false;
  }
  return !any_within_reach(estimate, set, reach) && off_one_line(estimate, set);
}

// Whether seed levels may triangulate the clusters among scattered points alone.
bool split_clusters = true;
uint64_t cluster_split_sets = 0;

// Fewer points apart than this are not worth setting aside.
constexpr size_t kFewApart = 64;

// Takes out of `atoms` (which keep their order) those whose points lie `distance` or more from
// every other atom's point, into `apart` by point index in rising order. Such a point is alone in
// its cell of every shifted grid (a cell spans less than the distance), so every grid gathers
// it, and every edge to it is long. False, taking nothing, where few points lie apart, where one
// of them is no spike alone, or where coordinates are too large to be placed by cells.
bool take_apart_atoms(const GroundEstimate& estimate, std::vector<Atom>& atoms, float distance,
                      float up, float down, std::vector<uint32_t>& apart) {
  // A point that shares its cell of the level with another lies within the distance of it;
  // where most do, the split does not pay.
  size_t alone = 0;
  for (size_t i = 0; i < atoms.size(); i++) {
    const bool shares = (i > 0 && atoms[i - 1].key == atoms[i].key) ||
                        (i + 1 < atoms.size() && atoms[i + 1].key == atoms[i].key);
    alone += shares ? 0 : 1;
  }
  if (alone < kFewApart || 2 * alone < atoms.size()) return false;
  const double bound = double(distance) * 1e9;  // cell numbers well inside 32 bits
  std::vector<uint32_t> points;
  points.reserve(atoms.size());
  for (const Atom& a : atoms) {
    const float* p = estimate.point(a.index);
    if (!(std::fabs(p[0]) < bound && std::fabs(p[1]) < bound)) return false;
    points.push_back(a.index);
  }
  std::sort(points.begin(), points.end());
  std::vector<uint8_t> near(points.size(), 0);
  auto place = [&points](uint32_t i) {
    return size_t(std::lower_bound(points.begin(), points.end(), i) - points.begin());
  };
  const double limit = double(distance) * double(distance);
  any_pair_in_touching_cells(estimate, points, distance, [&](uint32_t a, uint32_t b) {
    const float* p = estimate.point(a);
    const float* q = estimate.point(b);
    const double dx = double(p[0]) - double(q[0]), dy = double(p[1]) - double(q[1]);
    if (dx * dx + dy * dy < limit) near[place(a)] = near[place(b)] = 1;
    return false;
  });
  apart.clear();
  for (size_t j = 0; j < points.size(); j++) {
    if (near[j]) continue;
    if (!spike_alone(estimate.point(points[j]), up, down)) {
      apart.clear();
      return false;
    }
    apart.push_back(points[j]);
  }
  if (apart.size() < kFewApart) {
    apart.clear();
    return false;
  }
  atoms.erase(std::remove_if(atoms.begin(), atoms.end(),
                             [&apart](const Atom& a) {
                               return std::binary_search(apart.begin(), apart.end(), a.index);
                             }),
              atoms.end());
  return true;
}

// Whether every side of the triangle is long by a margin that no rounding of a longer edge's
// length can undo.
bool all_sides_long(const float* a, const float* b, const float* c, float limit) {
  const double least = double(limit) * (1 + 1e-5);
  auto length2 = [](const float* p, const float* q) {
    const double dx = double(p[0]) - double(q[0]), dy = double(p[1]) - double(q[1]);
    return dx * dx + dy * dy;
  };
  return length2(a, b) > least && length2(b, c) > least && length2(c, a) > least;
}

// A circle through p and r with the other corners a and b (b null on the hull) strictly outside
// it, as its centre (x, y) and squared radius: the narrowest such circle, kept off a and b by a
// margin against rounding. False where no circle passes between them.
struct Circle {
  double x, y, r2;
};
bool circle_between(const float* p, const float* r, const float* a, const float* b,
                    Circle* circle) {
  const double mx = 0.5 * (double(p[0]) + double(r[0])), my = 0.5 * (double(p[1]) + double(r[1]));
  const double dx = double(r[0]) - double(p[0]), dy = double(r[1]) - double(p[1]);
  const double length2 = dx * dx + dy * dy;
  const double length = std::sqrt(length2);
  if (!(length > 0)) return false;
  // The centres lie on the bisector at m + t * (-dy, dx) / length; a corner at (s, h) across the
  // edge from m lies outside the circle of centre t exactly when t * h < (s^2 + h^2 - L^2/4) / 2.
  const double half2 = 0.25 * length2;
  const double inf = std::numeric_limits<double>::infinity();
  double lo = -inf, hi = inf;
  for (const float* x : {a, b}) {
    if (!x) continue;
    const double ex = double(x[0]) - mx, ey = double(x[1]) - my;
    const double h = (-dy * ex + dx * ey) / length;
    const double g = 0.5 * (ex * ex + ey * ey - half2);
    if (h > 0) {
      hi = std::min(hi, g / h);
    } else if (h < 0) {
      lo = std::max(lo, g / h);
    } else {
      return false;
    }
  }
  // The margin follows the size of the numbers, not the width between them: a corner nearly on
  // the edge's line sets a bound far off, which must not push the circle far out on the other.
  const double scale = length + (std::isfinite(lo) ? std::fabs(lo) : 0.0) +
                       (std::isfinite(hi) ? std::fabs(hi) : 0.0);
  const double margin = 1e-7 * scale;
  const double first = lo + margin, last = hi - margin;
  if (!(first < last)) return false;
  const double t = std::min(std::max(0.0, first), last);
  *circle = Circle{mx - t * dy / length, my + t * dx / length, half2 + t * t};
  return std::isfinite(circle->r2);
}

}  // namespace

void ground_split_clusters(bool allow) { split_clusters = allow; }
uint64_t ground_cluster_split_sets() { return cluster_split_sets; }

void GroundEstimate::seed_level(int level) {
  const int32_t sub = param_.sub;
  const float cell = param_.step / (float(2 << level) * float(sub));
  OccupiedCells occupancy;
  for (int before = 0; before < level; before++)
    mark_occupied(occupancy, cell, *this, seeds_[before]);
  std::vector<uint32_t>& accepted = seeds_[level];
  accepted.clear();
  // Every shifted grid of the level gathers its cells' lowest points from the atoms: the cells
  // of the level's finest partition that carry one column and one row in every shifted grid.
  // Lowest raw Z wins, the earlier point on ties, as if each point had gone to every grid. The
  // atoms are read once, from the tiles that hold them.
  std::vector<Atom> atoms;
  try {
    size_t count = 0;
    atoms_[level]->visit([&](const SeedCell&) { count++; });
    atoms.reserve(count);
    // Written once, then read by every shifted grid: few page faults and few TLB misses.
    advise_huge_pages(atoms.data(), atoms.capacity() * sizeof(Atom));
    atoms_[level]->visit([&](const SeedCell& a) {
      const int32_t column = floor_div(a.column, sub), row = floor_div(a.row, sub);
      // In 64 bits: next to the ends of the 32-bit range sub * column lies beyond them.
      const int32_t m = int32_t(int64_t(a.column) - int64_t(sub) * column);
      const int32_t n = int32_t(int64_t(a.row) - int64_t(sub) * row);
      atoms.push_back(Atom{cell_key(column, row), a.z, a.index, m, n});
    });
  } catch (const std::bad_alloc&) {
    alloc_failed(true, "ERROR: cannot alloc coarse raster %d of %d by %d.\n", 0, sub, sub);
  }
  atoms_[level].reset();
  std::sort(atoms.begin(), atoms.end(), [](const Atom& a, const Atom& b) { return a.key < b.key; });
  std::vector<uint32_t> working, all;
  std::vector<uint32_t> classes[4];
  ShiftedLowest shifted;
  bool one_pass = false;
  // Points far apart (sparse points over a wide extent) are each alone in every grid: every
  // grid gathers them all, and no grid needs to look for its cells' lowest points.
  const bool alone = atoms_alone(atoms, sub);
  apart_.clear();
  try {
    if (alone) {
      all.reserve(atoms.size());
      for (const Atom& a : atoms) all.push_back(a.index);
      std::sort(all.begin(), all.end());
      atoms = std::vector<Atom>();
    } else {
      // Clusters among scattered points: the scattered ones are in every grid, and only the
      // clusters' cells differ from grid to grid.
      if (settings_.clean && split_clusters && apart_reach_valid() &&
          take_apart_atoms(*this, atoms, apart_distance(), param_.spike, param_.down_spike,
                           apart_)) {
        index_apart();
      }
      one_pass = shifted.prepare(atoms);
    }
  } catch (const std::bad_alloc&) {
    alloc_failed(true, "ERROR: cannot alloc coarse raster %d of %d by %d.\n", 0, sub, sub);
  }
  std::vector<uint32_t> rest;
  for (int32_t k = 0; k < sub; k++) {
    for (int32_t l = 0; l < sub; l++) {
      if (alone) {
        working = all;
      } else {
        std::vector<uint32_t>& lowest = apart_.empty() ? working : rest;
        if (one_pass) {
          shifted.lowest(sub, k, l, lowest);
        } else {
          lowest_of_shifted_grid(atoms, sub, k, l, classes, lowest);
        }
        std::sort(lowest.begin(), lowest.end());
        if (!apart_.empty()) {
          working.resize(rest.size() + apart_.size());
          std::merge(rest.begin(), rest.end(), apart_.begin(), apart_.end(), working.begin());
        }
      }
      if (!clean_seed_set(level, working)) continue;
      // The seeds lie all over the points, and their tiles all over the table: the point of one
      // well ahead is asked for now, and the tile's slot of one a little ahead.
      for (size_t w = 0; w < working.size(); w++) {
        if (w + 16 < working.size()) __builtin_prefetch(point(working[w + 16]));
        if (w + 8 < working.size()) {
          const float* ahead = point(working[w + 8]);
          occupancy.prefetch(cell_index(ahead[0], cell), cell_index(ahead[1], cell));
        }
        const uint32_t i = working[w];
        if (!occupied_around(occupancy, cell, point(i))) accepted.push_back(i);
      }
    }
  }
  apart_.clear();
  apart_cells_.clear();
  std::sort(accepted.begin(), accepted.end());
  seed_counts_[level] = uint32_t(accepted.size());
}

bool GroundEstimate::clean_seed_set(int level, std::vector<uint32_t>& set) {
  if (memo_.level >= 0 && set == memo_.set) {
    // The TIN that is not built draws what it would have drawn: every later TIN makes the
    // same random choices as it would have, and the results stay those of building it.
    for (uint64_t d = 0; d < memo_.draws; d++) crt_rand();
    // Each point of the set took a cell or met an occupied one when the level looked at it,
    // and cells only fill up: none of them can take a cell now.
    if (memo_.level == level) return false;
    set = memo_.kept;
    memo_.level = level;
    return true;
  }
  auto keep = [this](const std::vector<uint32_t>& from, std::vector<uint32_t>& to) {
    try {
      to = from;
    } catch (const std::bad_alloc&) {
      alloc_failed(true, "ERROR: cannot alloc coarse raster %d of %d by %d.\n", 0, param_.sub,
                   param_.sub);
    }
  };
  keep(set, memo_.set);
  uint64_t draws = 0;
  if (!(settings_.clean && !apart_.empty() && clean_apart(set, &draws))) {
    const uint64_t before = crt_rand_draws();
    if (settings_.clean &&
        all_spikes_in_any_tin(*this, set, 2 * param_.step, param_.spike, param_.down_spike)) {
      // Points too far apart to be ground against each other (sparse points over a wide
      // extent): their TIN would only find that.
      set.clear();
    } else {
      build_tin(&set);
      if (settings_.clean) remove_spikes(param_.spike, param_.down_spike, &set);
      seed_tins_++;
    }
    draws = crt_rand_draws() - before;
  }
  keep(set, memo_.kept);
  memo_.draws = draws;
  memo_.level = level;
  return true;
}

bool GroundEstimate::apart_reach_valid() const {
  const float reach = 2 * param_.step;
  return reach > 0 && std::isfinite(reach) && std::isfinite(apart_distance());
}

void GroundEstimate::index_apart() {
  double lo[2] = {0, 0}, hi[2] = {0, 0};
  for (size_t j = 0; j < apart_.size(); j++) {
    const float* p = point(apart_[j]);
    for (int a = 0; a < 2; a++) {
      lo[a] = j ? std::min(lo[a], double(p[a])) : double(p[a]);
      hi[a] = j ? std::max(hi[a], double(p[a])) : double(p[a]);
    }
  }
  // About one point per cell over their extent, and no cell narrower than the distance apart.
  const double area = (hi[0] - lo[0] + 1) * (hi[1] - lo[1] + 1);
  apart_cell_ = std::max(double(apart_distance()), std::sqrt(area / double(apart_.size())));
  apart_cells_.clear();
  apart_cells_.reserve(apart_.size());
  for (const uint32_t i : apart_) {
    const float* p = point(i);
    const int64_t c = int64_t(std::floor(double(p[0]) / apart_cell_));
    const int64_t r = int64_t(std::floor(double(p[1]) / apart_cell_));
    apart_cells_.push_back(ApartCell{cell_key(int32_t(c), int32_t(r)), i});
  }
  std::sort(apart_cells_.begin(), apart_cells_.end(),
            [](const ApartCell& a, const ApartCell& b) { return a.key < b.key; });
  for (int a = 0; a < 2; a++) {
    apart_first_[a] = int64_t(std::floor(lo[a] / apart_cell_));
    apart_last_[a] = int64_t(std::floor(hi[a] / apart_cell_));
  }
}

bool GroundEstimate::none_apart_within(double x, double y, double r2) const {
  constexpr int64_t kMostCells = 256;
  const double r = std::sqrt(r2);
  const double first_x = std::floor((x - r) / apart_cell_), last_x = std::floor((x + r) / apart_cell_);
  const double first_y = std::floor((y - r) / apart_cell_), last_y = std::floor((y + r) / apart_cell_);
  if (!(last_x >= first_x && last_y >= first_y)) return false;
  const int64_t c0 = int64_t(std::max(first_x, double(apart_first_[0])));
  const int64_t c1 = int64_t(std::min(last_x, double(apart_last_[0])));
  const int64_t r0 = int64_t(std::max(first_y, double(apart_first_[1])));
  const int64_t r1 = int64_t(std::min(last_y, double(apart_last_[1])));
  if (c1 < c0 || r1 < r0) return true;  // beyond every point apart
  if ((c1 - c0 + 1) * (r1 - r0 + 1) > kMostCells) return false;
  // Outside by a margin against rounding.
  const double reach2 = r2 * (1 + 1e-6) + 1e-6;
  for (int64_t c = c0; c <= c1; c++) {
    for (int64_t row = r0; row <= r1; row++) {
      const uint64_t key = cell_key(int32_t(c), int32_t(row));
      auto at = std::lower_bound(apart_cells_.begin(), apart_cells_.end(), key,
                                 [](const ApartCell& a, uint64_t k) { return a.key < k; });
      for (; at != apart_cells_.end() && at->key == key; ++at) {
        const float* p = point(at->index);
        const double dx = double(p[0]) - x, dy = double(p[1]) - y;
        if (!(dx * dx + dy * dy > reach2)) return false;
      }
    }
  }
  return true;
}

bool GroundEstimate::clean_apart(std::vector<uint32_t>& set, uint64_t* draws) {
  const float reach = 2 * param_.step;
  const float up = param_.spike, down = param_.down_spike;
  if (!off_one_line(*this, set)) return false;
  // The rest of the set: all of it but the points apart, which every set holds.
  std::vector<uint32_t> rest;
  try {
    rest.reserve(set.size() - std::min(set.size(), apart_.size()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  size_t taken = 0;
  for (const uint32_t i : set) {
    if (taken < apart_.size() && apart_[taken] == i) {
      taken++;
    } else {
      rest.push_back(i);
    }
  }
  if (taken != apart_.size()) return false;
  for (const uint32_t i : rest) {
    if (!spike_alone(point(i), up, down)) return false;
  }
  // No two points within reach: all are spikes, as all_spikes_in_any_tin finds them.
  if (!any_within_reach(*this, rest, reach)) {
    set.clear();
    *draws = 0;
    cluster_split_sets++;
    return true;
  }
  if (!off_one_line(*this, rest)) return false;
  // Every edge to a point apart is long, so a vertex's neighbours over short edges are those of
  // the TIN of the rest, where that TIN's short edges are the same as the whole set's: only
  // long edges could be otherwise in another Delaunay TIN of the rest (four points on one empty
  // circle), and each short edge lies on a circle with no other point on or in it, which keeps
  // it in every Delaunay TIN of the whole set. The points apart have no such neighbour: each is
  // a spike. A seed set holds no two points at one place (each is its cell's lowest), so no
  // order of insertion decides which of two is refused.
  const uint64_t whole =
      tin_draws_to_add_points(set.size(), [&](size_t j) { return point(set[j]); });
  const unsigned int state = crt_rand_state();
  build_tin(&rest);
  const bool same = short_edges_kept_with_apart();
  if (same) remove_spikes(up, down, &rest);
  // The TIN of the whole set draws, not this one.
  crt_srand(state);
  if (!same) return false;
  for (uint64_t d = 0; d < whole; d++) crt_rand();
  *draws = whole;
  seed_tins_++;
  cluster_split_sets++;
  set.swap(rest);
  return true;
}

bool GroundEstimate::short_edges_kept_with_apart() const {
  const float limit = (2 * param_.step) * (2 * param_.step);
  const double width2 = double(apart_distance()) * double(apart_distance());
  const uint32_t n = tin_triangle_count();
  for (uint32_t t = 0; t < n; t++) {
    const TINtriangle* q = tin_triangle_at(t);
    if (!tin_in_use(q) || !q->v[0]) continue;
    const double corners[3][2] = {{q->v[0][0], q->v[0][1]}, {q->v[1][0], q->v[1][1]},
                                  {q->v[2][0], q->v[2][1]}};
    for (int i = 0; i < 3; i++) {
      const int32_t code = q->n[i];
      const float* across = tin_triangle_at(uint32_t(code) / 3)->v[code % 3];
      if (across) {
        const double d[2] = {across[0], across[1]};
        const double side = incircle(corners[0], corners[1], corners[2], d);
        if (side > 0) return false;
        // Four points on one empty circle: any TIN may take either diagonal. Every diagonal of
        // such a polygon is longer than one of its sides, so where the sides are all long, so
        // are the diagonals, and the choice changes no short edge.
        if (side == 0 && !(all_sides_long(q->v[0], q->v[1], q->v[2], limit))) return false;
      }
      const float* p = q->v[(i + 1) % 3];
      const float* r = q->v[(i + 2) % 3];
      if (distance2(p, r) > limit) continue;
      Circle circle;
      if (!circle_between(p, r, q->v[i], across, &circle)) return false;
      // A circle narrower than the distance apart reaches no point apart.
      if (4 * circle.r2 < 0.98 * width2) continue;
      if (!none_apart_within(circle.x, circle.y, circle.r2)) return false;
    }
  }
  return true;
}

void GroundEstimate::finest_level() {
  const float cell = param_.finest / 4;
  OccupiedCells occupancy;
  for (int before = 0; before < 3; before++) mark_occupied(occupancy, cell, *this, seeds_[before]);
  std::vector<uint32_t>& accepted = seeds_[3];
  accepted.clear();
  // The cells' points lie all over the point buffer: each is asked for a few cells before its
  // turn, in the same order.
  constexpr size_t kAhead = 8;
  uint32_t ahead[kAhead];
  size_t seen = 0;
  auto take = [&](uint32_t i) {
    if (!occupied_around(occupancy, cell, point(i))) accepted.push_back(i);
  };
  finest_grid_->visit([&](const SeedCell& c) {
    __builtin_prefetch(point(c.index));
    if (seen >= kAhead) take(ahead[seen % kAhead]);
    ahead[seen % kAhead] = c.index;
    seen++;
  });
  for (size_t j = seen > kAhead ? seen - kAhead : 0; j < seen; j++) take(ahead[j % kAhead]);
  finest_grid_.reset();
  std::sort(accepted.begin(), accepted.end());
  seed_counts_[3] = uint32_t(accepted.size());
}

GroundOutcome GroundEstimate::run() {
  for (int grid = 0; grid < 4; grid++) flush_pending(grid);
  const bool vv = settings_.very_verbose;
  if (count_ < capacity_ || excluded_ > 0) {
    const uint32_t usable = count_ - excluded_;
    if (usable < 10) {
      if (!settings_.quiet) {
        print_note("WARNING: %d of %u points survive read filtering.\n", int(usable),
                     capacity_);
      }
      return GroundOutcome::kTooFewSurvivors;
    }
  }
  if (count_ < capacity_) points_.trim(size_t(count_) * 3);
  timing("finding initial ground points ...\n");
  allocate_bits();
  if (vv) print_note("processing coarsest grids ...\n");
  seed_level(0);
  if (seeds_[0].size() < 5) {
    print_note("WARNING: coarsest ground estimate has only %u points.\n",
                 uint32_t(seeds_[0].size()));
    return GroundOutcome::kTooFewSeeds;
  }
  if (vv) print_note("processing coarse grids ...\n");
  seed_level(1);
  if (param_.has_fine) {
    if (vv) print_note("processing fine grids ...\n");
    seed_level(2);
  }
  memo_ = SeedSetMemo();
  if (vv) print_note("processing finest grid ...\n");
  finest_level();
#ifdef __GLIBC__
  // The seed grids and sets are gone; their memory goes back to the system rather than stay
  // beside a TIN that the heap's free space does not fit.
  malloc_trim(0);
#endif
  timing("generating initial ground estimate ...\n");

  for (uint32_t i : seeds_[0]) set(tin_bits_, i);
  seeds_[0] = std::vector<uint32_t>();
  const uint32_t n = build_tin(nullptr);
  uint32_t m = settings_.clean ? remove_spikes(param_.spike, param_.down_spike, nullptr) : 0;
  if (int64_t(n) - int64_t(m) <= 4) {
    if (!settings_.quiet) {
      print_note(
                   "WARNING: ground estimate has only %d points after initial ground "
                   "estimate.",
                   int(n - m));
    }
    return GroundOutcome::kTooFewTinPoints;
  }
  if (m > 0) m = delete_marked_points();
  tin_count_ = int32_t(n - m);
  if (vv) {
    print_note("inserted %d deleted %d. initial ground TIN has %u points.\n", int(n), int(m),
               n - m);
  }
  if (tin_triangle_count() == 0) {
    if (!settings_.quiet) {
      print_note(
                   "WARNING: ground estimate has zero triangles after initial ground estimate.");
    }
    return GroundOutcome::kNoTriangles;
  }

  timing("refining ground ...\n");
  refining_ = true;
  for (int level = 1; level < 4; level++) {
    if (level == 2 && !param_.has_fine) continue;
    if (!refine(level)) return GroundOutcome::kTooFewTinPoints;
  }
  // What only the refinement needs makes room for the TIN's growth.
  refining_ = false;
  locate_pending_ = std::vector<uint64_t>();
  touched_ = std::vector<uint32_t>();
  integrate();
  timing("outputting ...\n");
  return GroundOutcome::kReady;
}

void GroundEstimate::touch_changed_corners(bool touch) {
  const uint32_t n = tin_triangle_count();
  if (touched_.size() * 32 < count_) touched_.assign((size_t(count_) + 31) / 32, 0u);
  for (size_t w = 0; w < locate_pending_.size(); w++) {
    for (uint64_t bits = locate_pending_[w]; bits; bits &= bits - 1) {
      const uint32_t t = uint32_t(w * 64 + unsigned(__builtin_ctzll(bits)));
      if (t >= n) break;
      const TINtriangle* q = tin_triangle_at(t);
      if (!tin_in_use(q)) continue;
      for (int k = 0; k < 3; k++) {
        if (!q->v[k]) continue;
        const uint32_t i = q->v[k].id() - 1;
        if (touch) {
          set(touched_, i);
        } else {
          clear(touched_, i);
        }
      }
    }
  }
}

bool GroundEstimate::unchanged_since_last_pass(int32_t t) const {
  const uint32_t u = uint32_t(t);
  if ((locate_pending_[u >> 6] >> (u & 63)) & 1u) return false;
  const TINtriangle* q = tin_triangle_at(u);
  if (!tin_in_use(q)) return false;
  for (int k = 0; k < 3; k++) {
    if (get(touched_, q->v[k].id() - 1)) return false;
  }
  return true;
}

bool GroundEstimate::refine(int level) {
  static const char* const kNames[4] = {"coarsest", "coarse", "fine", "finest"};
  std::vector<uint32_t> candidates = std::move(seeds_[level]);
  // Where each candidate lay strictly inside a triangle in the pass before, or -1. A candidate
  // whose triangle and the triangles around its corners are all unchanged since then has the
  // same surface height there, so the same answer, and its walk would end in that triangle:
  // it is neither located nor interpolated again.
  std::vector<int32_t> places(candidates.size(), -1);
  std::vector<uint32_t> next;
  std::vector<int32_t> next_places;
  for (int32_t j = 0; j < settings_.refine_passes; j++) {
    // Marks only newer triangles, whose marks no one reads before the spike test marks them
    // anyway; also without bulge, where it notes the triangles taken since the last pass.
    mark_long_edges();
    const bool reuse = j > 0 && !changes_unknown_;
    if (reuse) touch_changed_corners(true);
    TINlocation hint = {nullptr, -1};
    std::fill(insert_bits_.begin(), insert_bits_.end(), 0u);
    CornerNormals normals;
    next.clear();
    next_places.clear();
    for (size_t c = 0; c < candidates.size(); c++) {
      const uint32_t i = candidates[c];
      const float* p = point(i);
      if (p[2] == GROUND_EXCLUDED || get(tin_bits_, i)) continue;
      // Candidates lie all over the points: the one a few ahead is asked for now.
      if (c + 4 < candidates.size()) __builtin_prefetch(point(candidates[c + 4]));
      const int32_t place = places[c];
      if (reuse && place >= 0 && unchanged_since_last_pass(place)) {
        hint = TINlocation{tin_triangle_at(uint32_t(place)), place};
        next.push_back(i);
        next_places.push_back(place);
        continue;
      }
      TINlocation found;
      bool inside = false, tried = false;
      // The slot of the candidate's triangle in the pass before mostly holds a triangle next to
      // it still (an insertion refills the slots it frees around its point). Strictly inside a
      // triangle every walk ends there; elsewhere the walk from the last candidate decides, as
      // it would have anyway.
      if (place >= 0 && uint32_t(place) < tin_triangle_count() &&
          tin_in_use(tin_triangle_at(uint32_t(place)))) {
        const TINlocation near = {nullptr, place};
        tin_locate(&found, p, &near);
        tried = true;
        inside = found.triangle && tin_strictly_inside(found.triangle, p);
      }
      if (!inside) tin_locate(&found, p, &hint);
      hint = found;
      if (!found.triangle) {
        twin_at_vertex(i, found);
        continue;
      }
      float z;
      const bool ok = settings_.no_bulge ? ground_z_linear(found.triangle, p[0], p[1], &z)
                                         : normals.z(found.triangle, p, param_.bulge, &z);
      if (!ok) outside_two_edges(settings_.no_bulge, p[0]);
      if (param_.offset > p[2] - z) {
        set(insert_bits_, i);
        places[c] = found.index;  // read no more as the place of the pass before
      } else {
        next.push_back(i);
        if (!tried) inside = tin_strictly_inside(found.triangle, p);
        next_places.push_back(inside ? found.index : -1);
      }
    }
    if (reuse) touch_changed_corners(false);
    std::fill(locate_pending_.begin(), locate_pending_.end(), 0);
    candidates.swap(next);
    places.swap(next_places);
    // The candidates of this pass, with the triangles of the inserted ones, are in `next`.
    const uint32_t k = insert_marked_points(&next, &next_places);
    if (k == 0) break;
    uint32_t d = remove_spikes(param_.spike, 1.5f * param_.down_spike, nullptr);
    const int64_t remaining = int64_t(tin_count_) + k - d;
    if (remaining > 4) {
      if (d > 0) d = delete_marked_points();
      tin_count_ = int32_t(tin_count_ + int64_t(k) - d);
      if (settings_.very_verbose) {
        print_note("inserted %d deleted %d. %s refined ground TIN has %d points.\n", int(k), int(d),
                   kNames[level], tin_count_);
      }
    } else {
      if (level != 1 || !settings_.quiet) {
        print_note("WARNING: ground estimate has only %d points after refinement %d.",
                     int(remaining), int(j));
      }
      return false;
    }
  }
  seeds_[level] = std::vector<uint32_t>();
  return true;
}

void GroundEstimate::integrate() {
  if (settings_.verbose) {
    const double now = ground_clock_seconds();
    print_note("took %g sec. integrating points %g above ground ...\n", now - mark_,
               double(param_.offset));
    mark_ = now;
  }
  for (int32_t j = 0; j < settings_.iterate_passes; j++) {
    if (!settings_.no_bulge) mark_long_edges();
    TINlocation hint = {nullptr, -1};
    std::fill(insert_bits_.begin(), insert_bits_.end(), 0u);
    CornerNormals normals;
    for (uint32_t i = 0; i < count_; i++) {
      float* p = point(i);
      if (p[2] == GROUND_EXCLUDED || get(tin_bits_, i)) continue;
      TINlocation found;
      tin_locate(&found, p, &hint);
      hint = found;
      if (!found.triangle) {
        twin_at_vertex(i, found);
        continue;
      }
      float z;
      const bool ok = settings_.no_bulge
                          ? ground_z_linear(found.triangle, p[0], p[1], &z)
                          : normals.z(found.triangle, p, param_.integration_bulge, &z);
      if (!ok) outside_two_edges(settings_.no_bulge, p[0]);
      const float d = p[2] - z;
      if (param_.offset > d) {
        set(insert_bits_, i);
      } else if (d > 2 * param_.spike) {
        p[2] = GROUND_EXCLUDED;
      }
    }
    const uint32_t k = insert_marked_points();
    // After the last insertion the spike test takes the room of the insert bits.
    if (j + 1 == settings_.iterate_passes) insert_bits_ = std::vector<uint32_t>();
    uint32_t d = remove_spikes(0.75f * param_.spike, param_.down_spike, nullptr);
    if (d > 0 && (j + 1 < settings_.iterate_passes || settings_.compute_height)) {
      d = delete_marked_points();
    }
    tin_count_ = int32_t(tin_count_ + int64_t(k) - d);
    if (settings_.very_verbose) {
      print_note("inserted %d deleted %d. integrated TIN has %d points.\n", int(k), int(d),
                 tin_count_);
    }
  }
}
