#ifndef TALVENOR_NEW_TIN_TIN_HPP
#define TALVENOR_NEW_TIN_TIN_HPP

// The ground tool's Delaunay triangulation: one process-wide TIN, built,
// grown, shrunk, walked and enumerated through plain functions.
//
// Vertices are caller-owned point records of three floats (x, y, z) in one
// array, the point base, which triangles refer to by number; only x and y are
// read here. Every triangle's vertices run
// counter-clockwise. A triangle whose v[0] is null is an infinite (hull)
// triangle: v[1] -> v[2] is a hull edge with the outside on its left.
// Neighbour code n[i] describes the edge opposite v[i] as 3 * t + j, with t
// the neighbouring triangle and j the same edge's index inside t.
//
// Geometric and storage failures that the TIN cannot recover from print one
// "ERROR: ..." line and end the process with code 1.

#include <cstddef>
#include <cstdint>

namespace tin_internal {
extern float* point_base;  // set by tin_set_point_base
}

// A vertex of a triangle in 4 bytes: the number of a point record of the point base plus one,
// 0 for the null vertex. Reads and assigns like a pointer to the record. Byte-aligned, as it
// lies unaligned in the packed triangle records.
class __attribute__((packed)) TINvertex {
 public:
  TINvertex() = default;   // trivial: fresh triangle storage stays untouched
  TINvertex(float* point)  // NOLINT(google-explicit-constructor): stands in for a pointer
      : id_(point ? uint32_t((point - tin_internal::point_base) / 3) + 1 : 0) {}
  operator float*() const {  // NOLINT(google-explicit-constructor)
    return id_ ? tin_internal::point_base + (3 * size_t(id_) - 3) : nullptr;
  }
  uint32_t id() const { return id_; }

 private:
  uint32_t id_;
};

// 25 bytes, packed: the TIN of a large file holds about two triangles per ground point, and
// their records are most of the ground tool's memory.
struct __attribute__((packed)) TINtriangle {
  TINvertex v[3];
  // While the slot is free, n[0] holds the index of the next free slot (TIN_FREE_END ends the
  // list).
  int32_t n[3];
  // TIN_IN_USE while the slot holds a triangle, plus the mark bits; 0 while it is free.
  uint8_t flag;
};
static_assert(sizeof(TINtriangle) == 25, "triangle record layout");

// Flag bits.
constexpr uint8_t TIN_IN_USE = 0x80;            // slot holds a triangle
constexpr uint8_t TIN_CORNER_TESTED = 0x7;      // 0x1 << corner: spike test done
constexpr uint8_t TIN_LONG_EDGE_01 = 0x08;      // edge v[0]-v[1] is long
constexpr uint8_t TIN_LONG_EDGE_12 = 0x10;      // edge v[1]-v[2] is long
constexpr uint8_t TIN_LONG_EDGE_20 = 0x20;      // edge v[2]-v[0] is long
constexpr uint8_t TIN_LONG_EDGES = 0x38;        // any edge is long
constexpr uint8_t TIN_BORDERS_DELETION = 0x40;  // bordered the hole of a vertex deletion

inline bool tin_in_use(const TINtriangle* t) {
  return (t->flag & TIN_IN_USE) != 0;
}
// Whether the triangle has a long edge or is a hull triangle (once its long edges are marked).
inline bool tin_long_or_hull(const TINtriangle* t) {
  return (t->flag & TIN_LONG_EDGES) || !t->v[0];
}

// End of the free list: larger than any index (codes 3 * t + j must fit 31 bits, which limits
// t far below it).
constexpr int32_t TIN_FREE_END = INT32_MAX;

// Storage: buffers of 2^22 triangles; a neighbour code's buffer is code / (3 * 2^22).
constexpr uint32_t TIN_BUFFER_SHIFT = 22;
constexpr uint32_t TIN_BUFFER_SIZE = 1u << TIN_BUFFER_SHIFT;
constexpr int TIN_MAX_BUFFERS = 512;
// Buffers actually usable: beyond this many triangles 3 * t + 2 no longer fits
// the signed 32-bit neighbour code.
constexpr int TIN_USABLE_BUFFERS = 170;
// Length of the insertion delay line.
constexpr int TIN_QUEUE_SIZE = 10000;

// Where a position was found. triangle is null when the position coincides
// with a vertex; index then still names the triangle where the search ended.
struct TINlocation {
  TINtriangle* triangle;
  int32_t index;
};

// Sets up an empty TIN for up to n points. Keeps allocated storage for reuse.
// False after "ERROR: failed malloc for %d TINtriangles.\n".
bool tin_init(uint32_t n, bool hull_only);
// Frees all triangle storage; the next tin_init allocates afresh.
void tin_release();
// Queues a point; insertion runs up to 10,000 points behind the caller, in
// caller order with one random swap every 256 insertions. `start`, when not -1, names a
// triangle near the point (one it lay in lately, say) that its walk may start from; the TIN
// comes out the same either way.
void tin_add_point(float* point, int32_t start = -1);
// Whether a, b and c lie on one line, by the TIN's own exact test.
bool tin_on_one_line(const float* a, const float* b, const float* c);
// How many random values tin_add_point draws while `n` points are added to a fresh TIN whose
// first triangle comes from the `first`-th of them and the two before it: work that knows a
// TIN's result without building it still draws what building it would have drawn.
uint64_t tin_draws_to_add(uint64_t n, uint64_t first);
// The same for the points point_at(0) .. point_at(n - 1), added in that order: the first
// triangle comes from the first three consecutive ones not on one line (none: no draw).
template <class PointAt>
uint64_t tin_draws_to_add_points(size_t n, PointAt&& point_at) {
  size_t k = 3;
  while (k <= n && tin_on_one_line(point_at(k - 3), point_at(k - 2), point_at(k - 1))) k++;
  return k > n ? 0 : tin_draws_to_add(n, k);
}
// Inserts every queued point; returns the number of duplicate points rejected
// since tin_init.
uint32_t tin_flush();
// Inserts one point now. False for a duplicate (counted) or, with the
// hull-only flag, for a point inside the hull.
bool tin_insert_point(float* point);
// Told of every point that an insertion refuses because a vertex already stands at its x and
// y, with that vertex (null only if it cannot be found where the walk ended, which a valid TIN
// never gives). A null handler (the default) tells no one.
using TINduplicateHandler = void (*)(float* point, float* vertex, void* context);
void tin_set_duplicate_handler(TINduplicateHandler handler, void* context);
// The vertex at the position of a location that found a vertex (a null triangle): one of the
// corners of the triangle where the walk ended or of its neighbours; null when none is there.
float* tin_vertex_at(const TINlocation& location, const float* position);
// Removes a vertex and re-triangulates its star. False (nothing changed) when
// the vertex is not found next to where it locates, or when it is one of the
// last two vertices of a TIN whose vertices all lie on one line.
bool tin_delete_point(float* point);
// Walks from the hint's triangle index (a vertex result included) to the
// triangle that contains the position; from the last-taken triangle when the
// hint is null or its index is -1 or names a freed slot.
void tin_locate(TINlocation* result, const float* position, const TINlocation* hint);
// Whether the position lies strictly inside the finite triangle, off its edges: then every
// walk ends in that triangle, wherever it starts.
bool tin_strictly_inside(const TINtriangle* T, const float* position);
// Same contract as tin_locate, by testing every triangle.
void brute_locate(TINlocation* result, const float* position);
// One past the highest slot handed out; skip slots whose flag is not negative.
uint32_t tin_triangle_count();
namespace tin_internal {
extern TINtriangle* buffer_table[TIN_MAX_BUFFERS];
}
inline TINtriangle* tin_triangle_at(uint32_t index) {
  return tin_internal::buffer_table[index >> TIN_BUFFER_SHIFT] + (index & (TIN_BUFFER_SIZE - 1));
}

// Which slots were taken since tin_init or the last tin_clear_changed: bit t % 64 of word
// t / 64 for slot t, over tin_triangle_count() slots. A triangle's vertices never change after
// the operation that takes it, so a slot without its bit holds the same triangle as before.
const uint64_t* tin_changed_bits();
void tin_clear_changed();

// Takes a triangle from the free list, growing the storage when needed.
TINtriangle* TINclean(int32_t* index);
// For p collinear with a and b: 0 outside the closed segment, 1 at a, 2 at b,
// 3 strictly between.
int TINinsegment(const float* a, const float* b, const float* p);
// True when p lies within the closed range of the segment along its axis.
bool TINonsegment(const float* a, const float* b, const float* p);

// The array of point records that every point given to the TIN lies in; set it before the
// first point is added. Point numbers in messages are offsets from it.
void tin_set_point_base(const float* base);

// Statistics for benchmarks and tests.
uint64_t tin_reserved_bytes();
uint32_t tin_capacity();

#endif
