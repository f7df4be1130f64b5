#include "tin/tin.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/crt_random.hpp"
#include "platform/huge_pages.hpp"
#include "platform/run_messages.hpp"
#include "tin/predicates.hpp"

float* tin_internal::point_base = nullptr;
TINtriangle* tin_internal::buffer_table[TIN_MAX_BUFFERS] = {};

namespace {

// --- global state ------------------------------------------------------------

// Owns the storage; tin_internal::buffer_table holds the same pointers for inline access.
std::unique_ptr<TINtriangle[]> buffers[TIN_MAX_BUFFERS];
void own_buffer(uint32_t b, TINtriangle* storage) {
  buffers[b].reset(storage);
  tin_internal::buffer_table[b] = storage;
}
uint32_t capacity = 0;  // triangles reserved
// The free slots are the freed ones, last freed first, then every slot from fresh_slot up to the
// capacity in order. Those are never linked one by one, so that setting up a small TIN in large
// storage (every seed grid of the ground tool) costs nothing per slot.
int32_t free_head = TIN_FREE_END;   // last freed slot; its flag names the one freed before
uint32_t fresh_slot = 0;            // first slot not handed out since tin_init
uint32_t slot_count = 0;            // one past the highest slot handed out
TINtriangle* last_taken = nullptr;  // default start of a walk
int32_t last_taken_index = -1;
bool hull_only = false;
bool have_first = false;
bool queue_full = false;
float* queue[TIN_QUEUE_SIZE];
int queue_position = 0;
// Where the walk of each queued point may start: the caller's triangle near it, else for a
// point that the delay line's random swap moved back in the line the triangle taken last when
// it moved, next to where it came from (-1: none). The swaps send the walk far off its line and
// back: after a point off the line (taken ahead by a swap, or moved back), the next walk
// resumes from the triangle taken before it (-1: none).
int32_t queue_start[TIN_QUEUE_SIZE];
bool queue_moved[TIN_QUEUE_SIZE];
int32_t resume_start = -1;
// Points queued before the first triangle exists. A run of collinear points
// can be arbitrarily long, so this one grows.
std::vector<float*> leading;
uint32_t duplicates = 0;
TINduplicateHandler duplicate_handler = nullptr;
void* duplicate_context = nullptr;
std::vector<int32_t> cavity;  // edge codes still to visit during an insertion
// One bit per slot taken since tin_init or tin_clear_changed; sized for the capacity.
std::vector<uint64_t> changed;

// Scratch of vertex deletion, kept to avoid allocating per deletion.
struct StarEntry {
  int32_t triangle;
  int32_t outer;  // code of the far side of the star triangle's outer edge
  float* from;    // polygon vertex at the start of the outer edge
};
std::vector<StarEntry> star;
std::vector<int32_t> fan;
// Ordered set of edge codes awaiting a Delaunay check. A deletion queues a
// handful of codes, so a sorted vector beats tree nodes allocated per deletion.
class EdgeSet {
 public:
  void clear() { codes_.clear(); }
  bool empty() const { return codes_.empty(); }
  int32_t smallest() const { return codes_.empty() ? -1 : codes_.front(); }
  // The smallest code above c, or -1.
  int32_t next_after(int32_t c) const {
    const auto it = std::upper_bound(codes_.begin(), codes_.end(), c);
    return it == codes_.end() ? -1 : *it;
  }
  bool insert(int32_t c) {
    const auto it = std::lower_bound(codes_.begin(), codes_.end(), c);
    if (it != codes_.end() && *it == c) return false;
    codes_.insert(it, c);
    return true;
  }
  void erase(int32_t c) {
    const auto it = std::lower_bound(codes_.begin(), codes_.end(), c);
    if (it != codes_.end() && *it == c) codes_.erase(it);
  }

 private:
  std::vector<int32_t> codes_;
};
EdgeSet edge_set;

constexpr uint32_t kIndexMask = TIN_BUFFER_SIZE - 1;
const char* const kContactLine = "       please contact the Mirvelox support team for help.\n";

inline TINtriangle* tri(int32_t t) {
  const uint32_t u = static_cast<uint32_t>(t);
  return tin_internal::buffer_table[u >> TIN_BUFFER_SHIFT] + (u & kIndexMask);
}
// Codes are never negative: unsigned division spares the sign fix-up.
inline int32_t code_triangle(int32_t c) {
  return static_cast<int32_t>(static_cast<uint32_t>(c) / 3);
}
inline int code_edge(int32_t c) {
  return static_cast<int>(static_cast<uint32_t>(c) % 3);
}
// Two-bit entries of a constant instead of compares: walks and cavities turn either way.
inline int next(int i) {
  return (0x09 >> (2 * i)) & 3;
}
inline int prev(int i) {
  return (0x12 >> (2 * i)) & 3;
}
inline void relink(int32_t code, int32_t value) {
  tri(code_triangle(code))->n[code_edge(code)] = value;
}

[[noreturn]] void fatal(const char* message, bool contact) {
  std::fputs(message, stderr);
  if (contact) std::fputs(kContactLine, stderr);
  std::exit(1);
}

// --- predicates on point records ---------------------------------------------

inline double orient(const float* a, const float* b, const float* c) {
  const double pa[2] = {a[0], a[1]};
  const double pb[2] = {b[0], b[1]};
  const double pc[2] = {c[0], c[1]};
  return orient2d(pa, pb, pc);
}


inline double in_circle(const float* a, const float* b, const float* c, const float* d) {
  const double pa[2] = {a[0], a[1]};
  const double pb[2] = {b[0], b[1]};
  const double pc[2] = {c[0], c[1]};
  const double pd[2] = {d[0], d[1]};
  return incircle(pa, pb, pc, pd);
}

// --- storage -----------------------------------------------------------------

inline void free_triangle(int32_t t) {
  TINtriangle* T = tri(t);
  T->n[0] = free_head;
  T->flag = 0;
  free_head = t;
}

void grow_storage();

// Takes a triangle from the free list, growing the storage when needed; leaves the last-taken
// triangle to the caller.
inline int32_t take_slot() {
  int32_t t = free_head;
  if (t != TIN_FREE_END) {
    free_head = tri(t)->n[0];
  } else {
    if (fresh_slot == capacity) grow_storage();
    t = static_cast<int32_t>(fresh_slot++);
  }
  if (static_cast<uint32_t>(t) + 1 > slot_count) slot_count = static_cast<uint32_t>(t) + 1;
  const uint32_t word = static_cast<uint32_t>(t) >> 6;
  if (word >= changed.size()) changed.resize(size_t(word) + 1 + (capacity >> 6), 0);
  changed[word] |= uint64_t(1) << (t & 63);
  tri(t)->flag = TIN_IN_USE;
  return t;
}

// The TIN of a large file spans hundreds of megabytes, filled a page at a time as it grows and
// walked at random: in huge pages.
TINtriangle* allocate(uint32_t count) {
  TINtriangle* storage = new (std::nothrow) TINtriangle[count];
  if (storage) advise_huge_pages(storage, size_t(count) * sizeof(TINtriangle));
  return storage;
}

// --- location ----------------------------------------------------------------

// Turns a segment answer of TINinsegment into a location.
void segment_answer(TINlocation* result, TINtriangle* t, int32_t index, int answer) {
  result->triangle = (answer == 3) ? t : nullptr;
  result->index = index;
}

// --- TINs without area ---------------------------------------------------------
//
// Deleting the last vertex off a line leaves every vertex on that line. Every triangle is then
// infinite: each segment of the line is seen from both sides, as (null, a, b) and (null, b, a),
// and at an end vertex the hull turns back on itself. Positions on the line past its ends lie
// in no triangle; they belong to the end's triangles, and inserting one there extends the line.

// For q on the line through a and b but outside the closed segment: whether q lies past b.
bool past_second(const float* a, const float* b, const float* q) {
  const int axis = a[0] != b[0] ? 0 : 1;
  return a[axis] < b[axis] ? q[axis] > b[axis] : q[axis] < b[axis];
}

// Whether the hull edge after infinite triangle T, across T's edge e (1 past v[2], 2 before
// v[1]), is T's own edge backwards: T then lies at an end of a TIN without area.
inline bool folds_back(const TINtriangle* T, int e) {
  const TINtriangle* N = tri(code_triangle(T->n[e]));
  return N->v[1] == T->v[2] && N->v[2] == T->v[1];
}

// For q on the line of infinite triangle T's edge but outside it: whether q lies past an end
// of a TIN without area, at T.
bool past_line_end(const TINtriangle* T, const float* q) {
  return folds_back(T, past_second(T->v[1], T->v[2], q) ? 1 : 2);
}

inline void take_as_last(int32_t t) {
  last_taken = tri(t);
  last_taken_index = t;
}

// The position lies on the line of the hull edge of infinite triangle t but
// outside that edge: follow the hull along the line. A sound hull is passed at
// most once; a hull folded back on its own line (collinear rows of a regular
// grid after deletions) would be walked to and fro for ever.
void hull_walk(TINlocation* result, const float* q, int32_t t) {
  for (uint32_t steps = 0;; steps++) {
    if (steps > slot_count) {
      brute_locate(result, q);
      return;
    }
    TINtriangle* T = tri(t);
    const float* a = T->v[1];
    const float* b = T->v[2];
    int axis;
    if (a[0] != b[0]) {
      axis = 0;
    } else if (a[1] != b[1]) {
      axis = 1;
    } else {
      fatal("ERROR: degenerate finite edge of infinite triangle.\n", false);
    }
    const float qa = q[axis], av = a[axis], bv = b[axis];
    const bool increasing = bv > av;
    const bool beyond_b = increasing ? qa > bv : qa < bv;
    const bool beyond_a = increasing ? qa < av : qa > av;
    int edge;
    if (beyond_b) {
      edge = 1;
    } else if (beyond_a) {
      edge = 2;
    } else {
      result->triangle = (qa == av || qa == bv) ? nullptr : T;
      result->index = t;
      return;
    }
    if (folds_back(T, edge)) {  // past an end of a TIN without area
      result->triangle = T;
      result->index = t;
      return;
    }
    const int32_t code = T->n[edge];
    t = code_triangle(code);
    T = tri(t);
    const double o = orient(q, T->v[1], T->v[2]);
    if (o > 0) {
      result->triangle = T;
      result->index = t;
      return;
    }
    if (o < 0) {
      brute_locate(result, q);
      return;
    }
  }
}

// --- insertion ---------------------------------------------------------------

bool in_conflict(const TINtriangle* T, const float* q) {
  if (T->v[0]) return in_circle(T->v[0], T->v[1], T->v[2], q) >= 0;
  const double o = orient(T->v[1], T->v[2], q);
  return o > 0 || (o == 0 && TINonsegment(T->v[1], T->v[2], q));
}

// Replaces every triangle whose circumcircle holds q (starting with t, which
// contains it) by a fan of triangles around q. Vertices are copied as numbers and read through
// a local base: the flag stores may alias anything, which would reload every global per step.
void insert_into(int32_t t0, float* q) {
  const float* const before_base = tin_internal::point_base - 3;  // vertex k at 3 * k
  const TINvertex qv(q);
  const double pq[2] = {q[0], q[1]};
  TINtriangle* T = tri(t0);
  if (cavity.size() < 64) cavity.resize(64);
  int32_t* stack = cavity.data();
  size_t top = 3;
  stack[0] = T->n[0];
  stack[1] = T->n[1];
  stack[2] = T->n[2];
  free_triangle(t0);

  int32_t first = -1, first_edge = 0;
  int32_t before = -1, before_edge = 0;
  TINtriangle* B = nullptr;
  while (top > 0) {
    const int32_t c = stack[--top];
    const int32_t t = code_triangle(c);
    const int j = code_edge(c);
    T = tri(t);
    const TINvertex u0 = T->v[0], u1 = T->v[1], u2 = T->v[2];
    bool conflict;
    if (u0.id()) {
      const float* a = before_base + 3 * size_t(u0.id());
      const float* b = before_base + 3 * size_t(u1.id());
      const float* d = before_base + 3 * size_t(u2.id());
      const double pa[2] = {a[0], a[1]};
      const double pb[2] = {b[0], b[1]};
      const double pd[2] = {d[0], d[1]};
      conflict = incircle(pa, pb, pd, pq) >= 0;
    } else {
      conflict = in_conflict(T, q);
    }
    if (conflict) {
      if (top + 2 > cavity.size()) {
        cavity.resize(2 * cavity.size());
        stack = cavity.data();
      }
      stack[top++] = T->n[next(j)];
      stack[top++] = T->n[prev(j)];
      free_triangle(t);
      continue;
    }
    // Edge j of t bounds the cavity: close it with a triangle on q. The
    // vertex order keeps counter-clockwise turn and an infinite t's null
    // vertex in v[0].
    const int32_t ni = take_slot();
    TINtriangle* N = tri(ni);
    int k;  // index of q in the new triangle
    if (j == 0) {
      N->v[0] = qv, N->v[1] = u2, N->v[2] = u1, k = 0;
    } else if (j == 1) {
      N->v[0] = u0, N->v[1] = u2, N->v[2] = qv, k = 2;
    } else {
      N->v[0] = u0, N->v[1] = qv, N->v[2] = u1, k = 1;
    }
    N->n[k] = c;
    T->n[j] = 3 * ni + k;
    // As (a, b, q) counter-clockwise: edge b->q is opposite a, q->a opposite b.
    const int edge_bq = next(k);
    const int edge_qa = prev(k);
    if (before < 0) {
      first = ni;
      first_edge = edge_bq;
    } else {
      N->n[edge_bq] = 3 * before + before_edge;
      B->n[before_edge] = 3 * ni + edge_bq;
    }
    before = ni;
    before_edge = edge_qa;
    B = N;
  }
  tri(first)->n[first_edge] = 3 * before + before_edge;
  B->n[before_edge] = 3 * first + first_edge;
  take_as_last(before);
}

inline void link(int32_t a, int32_t b) {
  relink(a, b);
  relink(b, a);
}

// Inserts q past the end of a TIN without area that the location found at infinite triangle t:
// the line grows by the segment from its end to q, seen from both sides.
void extend_line(int32_t t, float* q) {
  if (!past_second(tri(t)->v[1], tri(t)->v[2], q)) t = code_triangle(tri(t)->n[2]);
  // T = (null, a, b) with q past b; R = (null, b, a) lies across T's edge from b to null.
  TINtriangle* T = tri(t);
  float* b = T->v[2];
  const int32_t r_edge = T->n[1];  // R's edge from null to b
  int32_t x, y;
  TINtriangle* X = TINclean(&x);
  TINtriangle* Y = TINclean(&y);
  X->v[0] = nullptr, X->v[1] = b, X->v[2] = q;
  Y->v[0] = nullptr, Y->v[1] = q, Y->v[2] = b;
  link(3 * x + 0, 3 * y + 0);  // b - q
  link(3 * x + 1, 3 * y + 2);  // q - null: the line's new end
  link(3 * x + 2, 3 * t + 1);  // null - b on T's side
  link(3 * y + 1, r_edge);     // b - null on R's side
}

// Splits the segment of infinite triangle t of a TIN without area at q, which lies inside it:
// T = (null, a, b) and R = (null, b, a) become (null, a, q), (null, q, b) on T's side and
// (null, b, q), (null, q, a) on R's. The cavity of an insertion cannot do it at an end of the
// line, where T and R also share the edge to the null vertex.
void split_segment(int32_t t, float* q) {
  const int32_t r = code_triangle(tri(t)->n[0]);
  float* a = tri(t)->v[1];
  float* b = tri(t)->v[2];
  // T's b - null and null - a, R's a - null and null - b.
  const int32_t old[4] = {3 * t + 1, 3 * t + 2, 3 * r + 1, 3 * r + 2};
  const int32_t outer[4] = {tri(t)->n[1], tri(t)->n[2], tri(r)->n[1], tri(r)->n[2]};
  free_triangle(t);
  free_triangle(r);
  int32_t t1, t2, r1, r2;
  TINtriangle* T1 = TINclean(&t1);
  TINtriangle* T2 = TINclean(&t2);
  TINtriangle* R1 = TINclean(&r1);
  TINtriangle* R2 = TINclean(&r2);
  T1->v[0] = nullptr, T1->v[1] = a, T1->v[2] = q;
  T2->v[0] = nullptr, T2->v[1] = q, T2->v[2] = b;
  R1->v[0] = nullptr, R1->v[1] = b, R1->v[2] = q;
  R2->v[0] = nullptr, R2->v[1] = q, R2->v[2] = a;
  link(3 * t1 + 0, 3 * r2 + 0);  // a - q
  link(3 * t2 + 0, 3 * r1 + 0);  // q - b
  link(3 * t1 + 1, 3 * t2 + 2);  // q - null on T's side
  link(3 * r1 + 1, 3 * r2 + 2);  // q - null on R's side
  const int32_t now[4] = {3 * t2 + 1, 3 * t1 + 2, 3 * r2 + 1, 3 * r1 + 2};
  for (int m = 0; m < 4; ++m) {
    int32_t far = outer[m];
    // At an end of the line the far side is the other triangle's edge, replaced as well.
    // (The new triangles reuse the old slots: compare old codes only.)
    for (int x = 0; x < 4; ++x) {
      if (outer[m] == old[x]) far = now[x];
    }
    link(now[m], far);
  }
}

// Builds triangles 0 to 3 from a, b, c; false when they are collinear.
bool make_first_triangle(float* a, float* b, float* c) {
  const double o = orient(a, b, c);
  if (o == 0) return false;
  if (o < 0) std::swap(a, b);
  int32_t index[4];
  TINtriangle* T[4];
  for (int k = 0; k < 4; ++k) T[k] = TINclean(&index[k]);
  float* const verts[4][3] = {{a, b, c}, {nullptr, c, b}, {nullptr, a, c}, {nullptr, b, a}};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < 3; ++i) T[k]->v[i] = verts[k][i];
  // Each pair shares one edge; its index in either triangle is that of the
  // vertex the other triangle lacks.
  auto lacking = [&](int x, int y) {
    for (int i = 0; i < 3; ++i) {
      const float* p = T[x]->v[i];
      if (p != T[y]->v[0] && p != T[y]->v[1] && p != T[y]->v[2]) return i;
    }
    return 0;
  };
  for (int x = 0; x < 4; ++x) {
    for (int y = x + 1; y < 4; ++y) {
      const int ex = lacking(x, y);
      const int ey = lacking(y, x);
      T[x]->n[ex] = 3 * index[y] + ey;
      T[y]->n[ey] = 3 * index[x] + ex;
    }
  }
  last_taken = T[0];
  last_taken_index = index[0];
  return true;
}

// Once the first triangle exists, the points queued before it move into the
// delay line. A run longer than the line is inserted at once from its oldest
// point, so that the line keeps its 10,000 most recent points.
void start_queue() {
  size_t k = 0;
  if (leading.size() > static_cast<size_t>(TIN_QUEUE_SIZE)) {
    const size_t surplus = leading.size() - TIN_QUEUE_SIZE;
    for (; k < surplus; ++k) tin_insert_point(leading[k]);
  }
  queue_position = 0;
  for (; k < leading.size(); ++k) queue[queue_position++] = leading[k];
  leading.clear();
  if (queue_position == TIN_QUEUE_SIZE) {
    queue_position = 0;
    queue_full = true;
  }
}

// --- deletion ----------------------------------------------------------------

uint32_t point_number(const float* p) {
  if (!p) return 0xFFFFFFFFu;
  return static_cast<uint32_t>((p - tin_internal::point_base) / 3);
}

// Moves the null vertex of triangle t into v[0]; true when it moved.
bool rotate_null_first(int32_t t) {
  TINtriangle* T = tri(t);
  int k;
  if (T->v[1] == nullptr) {
    k = 1;
  } else if (T->v[2] == nullptr) {
    k = 2;
  } else {
    return false;
  }
  float* v[3];
  int32_t n[3];
  for (int i = 0; i < 3; ++i) {
    v[i] = T->v[(i + k) % 3];
    n[i] = T->n[(i + k) % 3];
  }
  for (int i = 0; i < 3; ++i) {
    T->v[i] = v[i];
    T->n[i] = n[i];
    relink(n[i], 3 * t + i);
  }
  return true;
}

// Adds the edges of t that do not border the deletion hole; true when any was new.
bool queue_inner_edges(int32_t t) {
  const TINtriangle* T = tri(t);
  bool added = false;
  for (int e = 0; e < 3; ++e) {
    if (tri(code_triangle(T->n[e]))->flag & TIN_BORDERS_DELETION) continue;
    added |= edge_set.insert(3 * t + e);
  }
  return added;
}

// Rotates a hole triangle whose null vertex is off v[0] and re-queues its
// edges under their new codes; true when a code was added.
bool rotate_and_requeue(int32_t t) {
  const TINtriangle* T = tri(t);
  if (T->v[1] != nullptr && T->v[2] != nullptr) return false;
  for (int e = 0; e < 3; ++e) edge_set.erase(3 * t + e);
  rotate_null_first(t);
  return queue_inner_edges(t);
}

// Flips the edge shared by triangle p (edge j) and triangle q (edge jq).
void flip(int32_t p, int j, int32_t q, int jq) {
  TINtriangle* P = tri(p);
  TINtriangle* Q = tri(q);
  float* p0 = P->v[j];
  float* p1 = P->v[next(j)];
  float* p2 = P->v[prev(j)];
  float* q0 = Q->v[jq];
  const int32_t a = P->n[prev(j)];   // p0 -> p1
  const int32_t b = P->n[next(j)];   // p2 -> p0
  const int32_t c = Q->n[next(jq)];  // p1 -> q0
  const int32_t d = Q->n[prev(jq)];  // q0 -> p2
  P->v[0] = p0, P->v[1] = p1, P->v[2] = q0;
  Q->v[0] = q0, Q->v[1] = p2, Q->v[2] = p0;
  P->n[0] = c, P->n[1] = 3 * q + 1, P->n[2] = a;
  Q->n[0] = b, Q->n[1] = 3 * p + 1, Q->n[2] = d;
  relink(c, 3 * p + 0);
  relink(a, 3 * p + 2);
  relink(b, 3 * q + 0);
  relink(d, 3 * q + 2);
}

// Whether the edge of code c is not locally Delaunay (the null vertex stands
// for a point at infinity).
bool needs_flip(int32_t c) {
  const int32_t p = code_triangle(c);
  const int j = code_edge(c);
  const TINtriangle* P = tri(p);
  const int32_t cq = P->n[j];
  const TINtriangle* Q = tri(code_triangle(cq));
  const float* pa = P->v[j];
  const float* qa = Q->v[code_edge(cq)];
  if (P->v[0]) {
    if (qa) return in_circle(P->v[0], P->v[1], P->v[2], qa) > 0;
    return orient(P->v[0], P->v[1], P->v[2]) <= 0;
  }
  if (Q->v[0]) {
    if (pa) return in_circle(Q->v[0], Q->v[1], Q->v[2], pa) > 0;
    return orient(Q->v[0], Q->v[1], Q->v[2]) <= 0;
  }
  if (!pa || !qa) return false;
  // Both infinite: they share the edge to the null vertex, and the flip
  // removes a hull vertex that makes the hull reflex.
  const float* s = P->v[next(j)];
  if (s) return orient(qa, s, pa) < 0;
  s = P->v[prev(j)];
  return orient(pa, s, qa) < 0;
}

}  // namespace

// --- set-up and storage ----------------------------------------------------

namespace {
void tin_init_state() {
  free_head = TIN_FREE_END;
  fresh_slot = 0;
  slot_count = 0;
  last_taken = nullptr;
  last_taken_index = -1;
  have_first = false;
  queue_full = false;
  queue_position = 0;
  std::fill(std::begin(queue_start), std::end(queue_start), -1);
  std::fill(std::begin(queue_moved), std::end(queue_moved), false);
  resume_start = -1;
  leading.clear();
  duplicates = 0;
}
}  // namespace

bool tin_init(uint32_t n, bool hull) {
  exactinit();
  const uint64_t want = 2 * static_cast<uint64_t>(n);
  if (capacity < TIN_BUFFER_SIZE && (capacity == 0 || capacity < want)) {
    const uint64_t size = std::min<uint64_t>(want + 1000, TIN_BUFFER_SIZE);
    own_buffer(0, nullptr);
    capacity = 0;
    own_buffer(0, allocate(static_cast<uint32_t>(size)));
    if (!buffers[0]) {
      std::fprintf(stderr, "ERROR: failed malloc for %d TINtriangles.\n", static_cast<int>(size));
      return false;
    }
    capacity = static_cast<uint32_t>(size);
  }
  tin_init_state();
  hull_only = hull;
  changed.assign((size_t(capacity) + 63) >> 6, 0);
  return true;
}

void tin_release() {
  for (uint32_t b = 0; b < static_cast<uint32_t>(TIN_MAX_BUFFERS); b++) own_buffer(b, nullptr);
  capacity = 0;
  changed = std::vector<uint64_t>();
  tin_init_state();
}

namespace {
void grow_storage() {
  if (capacity < TIN_BUFFER_SIZE) {
    fatal("ERROR: failure to request sufficient TINtriangles in TINclean()\n", true);
  }
  const uint32_t b = capacity >> TIN_BUFFER_SHIFT;
  if (b < static_cast<uint32_t>(TIN_USABLE_BUFFERS)) own_buffer(b, allocate(TIN_BUFFER_SIZE));
  if (b >= static_cast<uint32_t>(TIN_USABLE_BUFFERS) || !buffers[b]) {
    std::fprintf(stderr, "ERROR: failed malloc for buffer %d of 4,194,304 TINtriangles.\n",
                 static_cast<int>(b));
    fatal("", true);
  }
  capacity += TIN_BUFFER_SIZE;
}
}  // namespace

TINtriangle* TINclean(int32_t* index) {
  const int32_t t = take_slot();
  take_as_last(t);
  *index = t;
  return tri(t);
}

uint32_t tin_triangle_count() {
  return slot_count;
}

const uint64_t* tin_changed_bits() {
  return changed.data();
}

void tin_clear_changed() {
  const size_t words = std::min(changed.size(), (size_t(slot_count) + 63) >> 6);
  std::fill(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(words), 0);
}

uint32_t tin_capacity() {
  return capacity;
}

uint64_t tin_reserved_bytes() {
  return static_cast<uint64_t>(capacity) * sizeof(TINtriangle) + sizeof(queue) +
         changed.capacity() * sizeof(uint64_t) + cavity.capacity() * sizeof(int32_t) +
         leading.capacity() * sizeof(float*);
}

void tin_set_point_base(const float* base) {
  tin_internal::point_base = const_cast<float*>(base);
}

// --- segment tests -----------------------------------------------------------

int TINinsegment(const float* a, const float* b, const float* p) {
  int axis;
  if (a[0] != b[0]) {
    axis = 0;
  } else if (a[1] != b[1]) {
    axis = 1;
  } else {
    fatal("ERROR: identical endpoints in TINinsegment() test.\n", false);
  }
  const float av = a[axis], bv = b[axis], pv = p[axis];
  if (pv == av) return 1;
  if (pv == bv) return 2;
  const bool between = (av < bv) ? (av < pv && pv < bv) : (bv < pv && pv < av);
  return between ? 3 : 0;
}

bool TINonsegment(const float* a, const float* b, const float* p) {
  int axis;
  if (a[0] != b[0]) {
    axis = 0;
  } else if (a[1] != b[1]) {
    axis = 1;
  } else {
    fatal("ERROR: identical endpoints in TINonsegment() test.\n", false);
  }
  const float av = a[axis], bv = b[axis], pv = p[axis];
  return (av < bv) ? (av <= pv && pv <= bv) : (bv <= pv && pv <= av);
}

// --- location ----------------------------------------------------------------

void tin_locate(TINlocation* result, const float* q, const TINlocation* hint) {
  if (!have_first) {
    result->triangle = nullptr;
    result->index = -1;
    return;
  }
  // A vertex result is a hint too: its index names the triangle where that walk stopped, next
  // to the vertex. Falling back to the last-taken triangle there would cross the whole TIN for
  // every return that shares its x and y with a ground vertex.
  int32_t t = hint ? hint->index : last_taken_index;
  // A hint from before the last change may name a freed slot; index -1 stands for no hint.
  if (static_cast<uint32_t>(t) >= slot_count || !tin_in_use(tri(t))) t = last_taken_index;
  const float* const before_base = tin_internal::point_base - 3;  // vertex k at 3 * k
  const double pq[2] = {q[0], q[1]};
  TINtriangle* T = tri(t);
  int e = 0;
  const float* v1 = before_base + 3 * size_t(T->v[1].id());
  const float* v2 = before_base + 3 * size_t(T->v[2].id());
  const double p1[2] = {v1[0], v1[1]};
  const double p2[2] = {v2[0], v2[1]};
  double o = orient2d(pq, p1, p2);
  if (o < 0) {
    const int32_t c = T->n[0];
    t = code_triangle(c);
    e = code_edge(c);
    T = tri(t);
  } else if (o == 0) {
    const int answer = TINinsegment(v1, v2, q);
    if (answer) {
      segment_answer(result, T, t, answer);
      return;
    }
  }
  // The walk follows the segment from the entry edge's midpoint to q; the
  // fixed start keeps it from cycling on degenerate input.
  const float* ma = before_base + 3 * size_t(T->v[prev(e)].id());
  const float* mb = before_base + 3 * size_t(T->v[next(e)].id());
  const double m[2] = {(static_cast<double>(ma[0]) + mb[0]) * 0.5,
                       (static_cast<double>(ma[1]) + mb[1]) * 0.5};
  for (int step = 0; step < 10000; ++step) {
    if (!T->v[0].id()) {
      if (o != 0) {
        result->triangle = T;
        result->index = t;
      } else {
        hull_walk(result, q, t);
      }
      return;
    }
    const float* apex = before_base + 3 * size_t(T->v[e].id());
    const double pa[2] = {apex[0], apex[1]};
    const double s = orient2d(pq, m, pa);
    // Which side of the line to the apex q lies on picks the edge to cross. The test of that
    // edge runs from the apex on either side, its sign turned (exactly) on the left, so that
    // one inlined test serves both. The side stays a predicted branch: picking without one
    // makes every step wait for the test before it and walks slower.
    const bool left = s > 0;
    if (!left && s == 0 && q[0] == apex[0] && q[1] == apex[1]) {
      result->triangle = nullptr;
      result->index = t;
      return;
    }
    const int edge = left ? prev(e) : next(e);
    const float* other = before_base + 3 * size_t(T->v[left ? next(e) : prev(e)].id());
    const double po[2] = {other[0], other[1]};
    const double d = orient2d(pq, pa, po);
    o = left ? -d : d;
    if (o < 0) {
      result->triangle = T;
      result->index = t;
      return;
    }
    if (o == 0) {
      const int answer = left ? TINinsegment(other, apex, q) : TINinsegment(apex, other, q);
      if (answer) {
        segment_answer(result, T, t, answer);
        return;
      }
    }
    const int32_t c = T->n[edge];
    t = code_triangle(c);
    e = code_edge(c);
    T = tri(t);
  }
  brute_locate(result, q);
}

void brute_locate(TINlocation* result, const float* q) {
  for (uint32_t u = 0; u < slot_count; ++u) {
    const int32_t t = static_cast<int32_t>(u);
    TINtriangle* T = tri(t);
    if (!tin_in_use(T)) continue;
    if (T->v[0]) {
      const double o0 = orient(q, T->v[1], T->v[2]);
      const double o1 = orient(q, T->v[2], T->v[0]);
      const double o2 = orient(q, T->v[0], T->v[1]);
      if (o0 >= 0 && o1 >= 0 && o2 >= 0) {
        const int zeros = (o0 == 0) + (o1 == 0) + (o2 == 0);
        result->triangle = (zeros >= 2) ? nullptr : T;
        result->index = t;
        return;
      }
    } else {
      const double o = orient(q, T->v[1], T->v[2]);
      if (o > 0) {
        result->triangle = T;
        result->index = t;
        return;
      }
      if (o == 0) {
        const int answer = TINinsegment(T->v[1], T->v[2], q);
        if (answer) {
          segment_answer(result, T, t, answer);
          return;
        }
        if (past_line_end(T, q)) {
          result->triangle = T;
          result->index = t;
          return;
        }
      }
    }
  }
  fatal("ERROR: fail to brute_locate a point.\n", false);
}

// --- insertion and the delay line --------------------------------------------

void tin_set_duplicate_handler(TINduplicateHandler handler, void* context) {
  duplicate_handler = handler;
  duplicate_context = context;
}

float* tin_vertex_at(const TINlocation& location, const float* position) {
  if (location.index < 0 || uint32_t(location.index) >= slot_count) return nullptr;
  auto at = [position](const TINtriangle* t) -> float* {
    for (int k = 0; k < 3; ++k) {
      float* v = t->v[k];
      if (v && v[0] == position[0] && v[1] == position[1]) return v;
    }
    return nullptr;
  };
  const TINtriangle* T = tri(location.index);
  if (float* v = at(T)) return v;
  for (int k = 0; k < 3; ++k)
    if (float* v = at(tri(code_triangle(T->n[k])))) return v;
  return nullptr;
}

bool tin_strictly_inside(const TINtriangle* T, const float* q) {
  const uint32_t i0 = T->v[0].id();
  if (!i0) return false;
  const float* const before_base = tin_internal::point_base - 3;  // vertex k at 3 * k
  const float* a = before_base + 3 * size_t(i0);
  const float* b = before_base + 3 * size_t(T->v[1].id());
  const float* c = before_base + 3 * size_t(T->v[2].id());
  const double pq[2] = {q[0], q[1]};
  const double pa[2] = {a[0], a[1]};
  const double pb[2] = {b[0], b[1]};
  const double pc[2] = {c[0], c[1]};
  return orient2d(pq, pb, pc) > 0 && orient2d(pq, pc, pa) > 0 && orient2d(pq, pa, pb) > 0;
}

namespace {

// Locates a point to insert. A position strictly inside a finite triangle ends every walk in
// that triangle, so a walk from `start` (a triangle nearer the point, -1 for none) is taken
// when it ends so; on an edge, at a vertex or outside the hull the walk from the last-taken
// triangle decides, as for every other insertion.
void locate_for_insertion(TINlocation* result, const float* q, int32_t start) {
  if (start >= 0 && start != last_taken_index && static_cast<uint32_t>(start) < slot_count &&
      tin_in_use(tri(start))) {
    const TINlocation hint = {nullptr, start};
    tin_locate(result, q, &hint);
    if (result->triangle && tin_strictly_inside(result->triangle, q)) return;
  }
  tin_locate(result, q, nullptr);
}

bool insert_point_from(float* point, int32_t start);

}  // namespace

bool tin_insert_point(float* point) {
  return insert_point_from(point, -1);
}

namespace {

bool insert_point_from(float* point, int32_t start) {
  if (!have_first) return false;
  TINlocation location;
  locate_for_insertion(&location, point, start);
  if (!location.triangle) {
    ++duplicates;
    // The next walk starts where this one ended, next to the vertex: a run of points that repeat
    // vertices (a strip delivered twice) would otherwise walk each from the last insertion,
    // which can lie anywhere.
    take_as_last(location.index);
    if (duplicate_handler) {
      duplicate_handler(point, tin_vertex_at(location, point), duplicate_context);
    }
    return false;
  }
  const TINtriangle* T = location.triangle;
  if (hull_only && T->v[0]) return false;
  // Only in a TIN without area is an infinite triangle's segment seen from an infinite
  // triangle on its other side too. A position on its line extends it or splits a segment.
  if (!T->v[0] && !tri(code_triangle(T->n[0]))->v[0] && orient(point, T->v[1], T->v[2]) == 0) {
    if (TINinsegment(T->v[1], T->v[2], point)) {
      split_segment(location.index, point);
    } else {
      extend_line(location.index, point);
    }
    return true;
  }
  insert_into(location.index, point);
  return true;
}

// Inserts the point of delay-line slot p, which `moved` says the random swap has just taken
// from elsewhere in the line.
void insert_from_queue(int p, bool moved) {
  int32_t start = queue_start[p];
  queue_start[p] = -1;
  const bool off_line = moved || queue_moved[p];
  queue_moved[p] = false;
  if (!off_line && resume_start >= 0) {
    if (start < 0) start = resume_start;
    resume_start = -1;
  }
  const int32_t before = last_taken_index;
  insert_point_from(queue[p], start);
  if (off_line && resume_start < 0) resume_start = before;
}

}  // namespace

void tin_add_point(float* point, int32_t start) {
  if (!have_first) {
    leading.push_back(point);
    const size_t k = leading.size();
    if (k >= 3 && make_first_triangle(leading[k - 3], leading[k - 2], leading[k - 1])) {
      have_first = true;
      leading.resize(k - 3);
      start_queue();
    }
    return;
  }
  if (!queue_full) {
    queue_start[queue_position] = start;
    queue[queue_position++] = point;
    if (queue_position == TIN_QUEUE_SIZE) {
      queue_position = 0;
      queue_full = true;
    }
    return;
  }
  // A delay line: breaks the spatial order of the input a little without
  // shuffling it whole, so walks stay short.
  const int p = queue_position;
  bool moved = false;
  if (p % 256 == 0) {
    const int r = crt_rand() % TIN_QUEUE_SIZE;
    std::swap(queue[p], queue[r]);
    std::swap(queue_start[p], queue_start[r]);
    std::swap(queue_moved[p], queue_moved[r]);
    moved = r != p;
    if (moved) {
      // The oldest point goes back to slot r, from next to the triangle taken last.
      queue_moved[r] = true;
      if (queue_start[r] < 0) queue_start[r] = last_taken_index;
    }
  }
  // A queued point was last read long ago: its coordinates are asked for a few insertions ahead.
  constexpr int kAhead = 4;
  __builtin_prefetch(queue[p + kAhead < TIN_QUEUE_SIZE ? p + kAhead : p + kAhead - TIN_QUEUE_SIZE]);
  insert_from_queue(p, moved);
  queue[p] = point;
  queue_start[p] = start;
  queue_position = (p + 1 == TIN_QUEUE_SIZE) ? 0 : p + 1;
}

bool tin_on_one_line(const float* a, const float* b, const float* c) {
  exactinit();
  return orient(a, b, c) == 0;
}

uint64_t tin_draws_to_add(uint64_t n, uint64_t first) {
  // As tin_add_point goes: the points before the first triangle and after it fill the delay
  // line, and once the line is full every 256th slot draws.
  if (first < 3 || first > n) return 0;
  const uint64_t line = uint64_t(TIN_QUEUE_SIZE);
  const uint64_t queued = std::min<uint64_t>(first - 3, line) + (n - first);
  if (queued <= line) return 0;
  // The adds past a full line take slots 0, 1, 2, ... of the line round and round.
  const uint64_t past = queued - line;
  const uint64_t per_round = (line + 255) / 256;
  return (past / line) * per_round + (past % line + 255) / 256;
}

// The first triangle is only ever tried on the three most recent points, so
// input such as scan rows with repeated points can end without one although
// its points span an area. Build it then from the oldest non-collinear triple
// and insert the rest in order, rather than dropping every point.
void build_from_leading() {
  const size_t n = leading.size();
  size_t ib = n, ic = n;
  for (size_t k = 1; k < n && ib == n; ++k)
    if (leading[k][0] != leading[0][0] || leading[k][1] != leading[0][1]) ib = k;
  for (size_t k = ib + 1; k < n && ic == n; ++k)
    if (orient(leading[0], leading[ib], leading[k]) != 0) ic = k;
  if (ic == n) return;  // all on one line: nothing to build
  make_first_triangle(leading[0], leading[ib], leading[ic]);
  have_first = true;
  for (size_t k = 1; k < n; ++k)
    if (k != ib && k != ic) tin_insert_point(leading[k]);
}

uint32_t tin_flush() {
  if (!have_first && leading.size() >= 3) build_from_leading();
  if (have_first) {
    const int count = queue_full ? TIN_QUEUE_SIZE : queue_position;
    for (int k = 0; k < count; ++k) insert_from_queue(k, false);
  }
  leading.clear();
  queue_position = 0;
  queue_full = false;
  resume_start = -1;
  return duplicates;
}

// --- deletion ----------------------------------------------------------------

namespace {

// Deletes the vertex whose star is in `star` from a TIN without area. At an end of the line its
// segment goes; between two neighbours, its two segments become one. False (nothing changed)
// for a line of two vertices, which would leave one vertex and no triangle.
bool delete_from_line() {
  if (star.size() == 2) {
    const int32_t a = star[0].outer;
    const int32_t b = star[1].outer;
    if (code_triangle(a) == star[1].triangle) return false;
    link(a, b);
    for (const StarEntry& s : star) free_triangle(s.triangle);
    take_as_last(code_triangle(a));
    return true;
  }
  if (star.size() != 4) return false;
  // The ring is r1, null, r2, null in some rotation; the new segment is (null, r1, r2) on one
  // side and (null, r2, r1) on the other.
  const int first = star[0].from ? 0 : 1;
  float* r1 = star[first].from;
  float* r2 = star[first + 2].from;
  for (const StarEntry& s : star) free_triangle(s.triangle);
  int32_t u, v;
  TINtriangle* U = TINclean(&u);
  TINtriangle* V = TINclean(&v);
  U->v[0] = nullptr, U->v[1] = r1, U->v[2] = r2;
  V->v[0] = nullptr, V->v[1] = r2, V->v[2] = r1;
  link(3 * u + 0, 3 * v + 0);
  // Each star triangle's outer edge, from its ring vertex to the next, has one end at null.
  int32_t now[4];
  for (int m = 0; m < 4; ++m) {
    const float* from = star[m].from;
    if (from) {
      now[m] = from == r2 ? 3 * u + 1 : 3 * v + 1;  // from -> null
    } else {
      now[m] = star[(m + 1) % 4].from == r1 ? 3 * u + 2 : 3 * v + 2;  // null -> next
    }
  }
  for (int m = 0; m < 4; ++m) {
    int32_t outer = star[m].outer;
    // At an end of the line the outer edge is shared with another star triangle. (The new
    // triangles reuse the star's slots: compare the old code only.)
    for (int x = 0; x < 4; ++x) {
      if (code_triangle(star[m].outer) == star[x].triangle) outer = now[x];
    }
    link(now[m], outer);
  }
  return true;
}

}  // namespace

bool tin_delete_point(float* w) {
  if (!have_first) return false;
  TINlocation location;
  tin_locate(&location, w, nullptr);
  int32_t r = location.index;
  int i = -1;
  for (int k = 0; k < 3; ++k)
    if (tri(r)->v[k] == w) i = k;
  if (i < 0) {
    const TINtriangle* R = tri(r);
    for (int k = 0; k < 3 && i < 0; ++k) {
      const int32_t c = R->n[k];
      if (tri(code_triangle(c))->v[code_edge(c)] == w) {
        r = code_triangle(c);
        i = code_edge(c);
      }
    }
  }
  if (i < 0) return false;

  // The star of w, counter-clockwise from r = (w, A, B): (w, P_m, P_m+1).
  star.clear();
  int32_t t = r;
  int k = i;
  do {
    const TINtriangle* T = tri(t);
    star.push_back({t, T->n[k], T->v[next(k)]});
    const int32_t c = T->n[next(k)];
    t = code_triangle(c);
    k = next(code_edge(c));
    if (tri(t)->v[k] != w || star.size() > slot_count) return false;
  } while (t != r);
  const int degree = static_cast<int>(star.size());
  // In a TIN without area an end of the line has two triangles, and the null vertex shows up
  // twice around the vertices between; a fan cannot refill such a star.
  int nulls = 0;
  for (const StarEntry& s : star) nulls += s.from == nullptr;
  if (degree == 2 || nulls > 1) return delete_from_line();
  if (degree < 3) return false;
  for (const StarEntry& s : star)
    for (const StarEntry& x : star)
      if (code_triangle(s.outer) == x.triangle) return false;

  // The star goes back first, so the fan can reuse its slots.
  for (const StarEntry& s : star) free_triangle(s.triangle);

  // Fan from A over the star polygon: (A, P_m, P_m+1) for m = 1 .. degree - 2.
  float* A = star[0].from;
  fan.clear();
  for (int m = 1; m <= degree - 2; ++m) {
    int32_t f;
    TINtriangle* F = TINclean(&f);
    F->v[0] = A;
    F->v[1] = star[m].from;
    F->v[2] = star[m + 1 < degree ? m + 1 : 0].from;
    fan.push_back(f);
  }
  auto attach = [](int32_t f, int e, int32_t outer) {
    tri(f)->n[e] = outer;
    relink(outer, 3 * f + e);
    tri(code_triangle(outer))->flag |= TIN_BORDERS_DELETION;
  };
  const int fans = degree - 2;
  attach(fan[0], 2, star[0].outer);
  for (int m = 1; m <= fans; ++m) attach(fan[m - 1], 0, star[m].outer);
  attach(fan[fans - 1], 1, star[degree - 1].outer);
  for (int m = 0; m + 1 < fans; ++m) {
    tri(fan[m])->n[1] = 3 * fan[m + 1] + 2;
    tri(fan[m + 1])->n[2] = 3 * fan[m] + 1;
  }
  edge_set.clear();
  for (int m = 0; m + 1 < fans; ++m) edge_set.insert(3 * fan[m] + 1);
  for (int32_t f : fan) rotate_and_requeue(f);

  // A vertex left with only two neighbours shows up as an edge whose two
  // triangles have the same apex.
  for (int32_t c = edge_set.smallest(); c >= 0;) {
    const int32_t p = code_triangle(c);
    const int j = code_edge(c);
    const TINtriangle* P = tri(p);
    const int32_t cq = P->n[j];
    const int32_t q = code_triangle(cq);
    const int jq = code_edge(cq);
    if (P->v[j] != tri(q)->v[jq]) {
      c = edge_set.next_after(c);
      continue;
    }
    print_note("flipping degree-2 vertex: %u %u %u %u (%u %u)\n", point_number(P->v[prev(j)]),
               point_number(P->v[j]), point_number(P->v[next(j)]), point_number(tri(q)->v[jq]),
               static_cast<uint32_t>(c), static_cast<uint32_t>(cq));
    flip(p, j, q, jq);
    bool added = rotate_and_requeue(p);
    added |= rotate_and_requeue(q);
    c = added ? edge_set.smallest() : edge_set.next_after(c);
  }

  // Legalise by flips; edges on the hole's border stay, as the triangles
  // outside the hole are Delaunay already.
  while (!edge_set.empty()) {
    const int32_t c = edge_set.smallest();
    edge_set.erase(c);
    const int32_t p = code_triangle(c);
    const int j = code_edge(c);
    const int32_t cq = tri(p)->n[j];
    edge_set.erase(cq);
    const int32_t q = code_triangle(cq);
    if (tri(q)->flag & TIN_BORDERS_DELETION) continue;
    if (!needs_flip(c)) continue;
    flip(p, j, q, code_edge(cq));
    rotate_null_first(p);
    rotate_null_first(q);
    for (int32_t x : {p, q}) {
      const TINtriangle* X = tri(x);
      for (int e = 0; e < 3; ++e) {
        const int32_t other = code_triangle(X->n[e]);
        if (other == p || other == q) continue;
        if (tri(other)->flag & TIN_BORDERS_DELETION) continue;
        edge_set.insert(3 * x + e);
      }
    }
  }
  return true;
}
