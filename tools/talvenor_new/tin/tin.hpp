#ifndef TALVENOR_NEW_TIN_TIN_HPP
#define TALVENOR_NEW_TIN_TIN_HPP

// The ground tool's Delaunay triangulation: one process-wide TIN, built,
// grown, shrunk, walked and enumerated through plain functions.
//
// Vertices are pointers to caller-owned point records of three floats
// (x, y, z); only x and y are read here. Every triangle's vertices run
// counter-clockwise. A triangle whose v[0] is null is an infinite (hull)
// triangle: v[1] -> v[2] is a hull edge with the outside on its left.
// Neighbour code n[i] describes the edge opposite v[i] as 3 * t + j, with t
// the neighbouring triangle and j the same edge's index inside t.
//
// Geometric and storage failures that the TIN cannot recover from print one
// "ERROR: ..." line and end the process with code 1.

#include <cstdint>

struct TINtriangle {
  float* v[3];
  int32_t n[3];
  // While the slot is free: index of the next free slot (TIN_FREE_END ends
  // the list). While in use: bit 31 set (the word is negative) plus mark bits.
  int32_t flag;
};
static_assert(sizeof(TINtriangle) == 40, "triangle record layout");

// Flag bits.
constexpr int32_t TIN_IN_USE = INT32_MIN;        // 0x80000000: slot holds a triangle
constexpr int32_t TIN_CORNER_TESTED = 0x7;       // 0x1 << corner: spike test done
constexpr int32_t TIN_LONG_EDGE_01 = 0x40;       // edge v[0]-v[1] is long
constexpr int32_t TIN_LONG_EDGE_12 = 0x80;       // edge v[1]-v[2] is long
constexpr int32_t TIN_LONG_EDGE_20 = 0x100;      // edge v[2]-v[0] is long
constexpr int32_t TIN_LONG_OR_HULL = 0x200;      // has a long edge or is a hull triangle
constexpr int32_t TIN_BORDERS_DELETION = 0x400;  // bordered the hole of a vertex deletion
// End of the free list. Non-negative, so that a freed slot can never be taken
// for a triangle in use, and larger than any index (codes 3 * t + j must fit
// 31 bits, which limits t far below it).
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
// caller order with one random swap every 256 insertions.
void tin_add_point(float* point);
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
// the vertex is not found next to where it locates.
bool tin_delete_point(float* point);
// Walks from the hint's triangle index (a vertex result included) to the
// triangle that contains the position; from the last-taken triangle when the
// hint is null or its index is -1 or names a freed slot.
void tin_locate(TINlocation* result, const float* position, const TINlocation* hint);
// Same contract as tin_locate, by testing every triangle.
void brute_locate(TINlocation* result, const float* position);
// One past the highest slot handed out; skip slots whose flag is not negative.
uint32_t tin_triangle_count();
TINtriangle* tin_triangle_at(uint32_t index);

// Takes a triangle from the free list, growing the storage when needed.
TINtriangle* TINclean(int32_t* index);
// For p collinear with a and b: 0 outside the closed segment, 1 at a, 2 at b,
// 3 strictly between.
int TINinsegment(const float* a, const float* b, const float* p);
// True when p lies within the closed range of the segment along its axis.
bool TINonsegment(const float* a, const float* b, const float* p);

// Point numbers in messages are offsets from this base (in records of three
// floats); the ground tool passes its point buffer.
void tin_set_point_base(const float* base);

// Statistics for benchmarks and tests.
uint64_t tin_reserved_bytes();
uint32_t tin_capacity();

#endif
