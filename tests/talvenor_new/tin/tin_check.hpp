#ifndef TESTS_TALVENOR_NEW_TIN_TIN_CHECK_HPP
#define TESTS_TALVENOR_NEW_TIN_TIN_CHECK_HPP

// Structural validator of the global TIN, and small helpers for its tests.

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tin/predicates.hpp"
#include "tin/tin.hpp"

inline double orient_f(const float* a, const float* b, const float* c) {
  const double pa[2] = {a[0], a[1]}, pb[2] = {b[0], b[1]}, pc[2] = {c[0], c[1]};
  return orient2d(pa, pb, pc);
}

inline double incircle_f(const float* a, const float* b, const float* c, const float* d) {
  const double pa[2] = {a[0], a[1]}, pb[2] = {b[0], b[1]}, pc[2] = {c[0], c[1]};
  const double pd[2] = {d[0], d[1]};
  return incircle(pa, pb, pc, pd);
}

struct TinReport {
  std::string problem;  // empty when the TIN is sound
  uint32_t vertices = 0;
  uint32_t hull_edges = 0;
  uint32_t triangles = 0;
  std::set<const float*> vertex_set;
};

// Checks: every triangle in use is counter-clockwise (or an infinite triangle
// with its null vertex in v[0]); neighbour codes are symmetric and name the
// same edge; every edge is locally Delaunay and the hull is convex; every
// vertex's star is one closed cycle; the triangle count is 2 * vertices - 2
// with hull-edges infinite triangles.
inline TinReport check_tin() {
  TinReport r;
  std::ostringstream out;
  const uint32_t count = tin_triangle_count();
  std::map<const float*, uint32_t> incidence;
  auto in_use = [&](int32_t t) {
    return t >= 0 && static_cast<uint32_t>(t) < count && tin_in_use(tin_triangle_at(t));
  };
  for (uint32_t t = 0; t < count && out.str().empty(); ++t) {
    const TINtriangle* T = tin_triangle_at(t);
    if (!tin_in_use(T)) continue;
    ++r.triangles;
    if (!T->v[1] || !T->v[2]) {
      out << "triangle " << t << " has the null vertex off v[0]";
      break;
    }
    if (T->v[0]) {
      if (orient_f(T->v[0], T->v[1], T->v[2]) <= 0) out << "triangle " << t << " not ccw";
    } else {
      ++r.hull_edges;
    }
    for (int i = 0; i < 3; ++i) {
      if (T->v[i]) {
        r.vertex_set.insert(T->v[i]);
        ++incidence[T->v[i]];
      }
      const int32_t c = T->n[i];
      const int32_t u = c / 3;
      const int j = c % 3;
      if (c < 0 || !in_use(u)) {
        out << "triangle " << t << " edge " << i << " links to a free slot";
        break;
      }
      const TINtriangle* U = tin_triangle_at(u);
      if (U->n[j] != static_cast<int32_t>(3 * t + i)) {
        out << "triangle " << t << " edge " << i << " not linked back";
        break;
      }
      if (U->v[(j + 1) % 3] != T->v[(i + 2) % 3] || U->v[(j + 2) % 3] != T->v[(i + 1) % 3]) {
        out << "triangle " << t << " edge " << i << " does not match its neighbour";
        break;
      }
      const float* apex = U->v[j];
      if (T->v[0] && U->v[0] && incircle_f(T->v[0], T->v[1], T->v[2], apex) > 0) {
        out << "edge " << t << "." << i << " not locally Delaunay";
        break;
      }
      // Two infinite triangles share the edge to the null vertex: the hull
      // must not turn the wrong way at the shared vertex.
      if (!T->v[0] && !U->v[0] && i == 1) {
        if (orient_f(T->v[1], T->v[2], U->v[2]) > 0) {
          out << "hull reflex at triangle " << t;
          break;
        }
      }
    }
  }
  r.vertices = static_cast<uint32_t>(r.vertex_set.size());
  if (out.str().empty() && r.vertices >= 3) {
    if (r.triangles != 2 * r.vertices - 2) {
      out << r.triangles << " triangles for " << r.vertices << " vertices";
    }
  }
  // Each vertex's star must be a single cycle through all its triangles.
  if (out.str().empty()) {
    std::set<const float*> walked;
    for (uint32_t t = 0; t < count && out.str().empty(); ++t) {
      const TINtriangle* T = tin_triangle_at(t);
      if (!tin_in_use(T)) continue;
      for (int k = 0; k < 3; ++k) {
        const float* w = T->v[k];
        if (!w || walked.count(w)) continue;
        walked.insert(w);
        int32_t u = static_cast<int32_t>(t);
        int kk = k;
        uint32_t steps = 0;
        do {
          const int32_t c = tin_triangle_at(u)->n[(kk + 1) % 3];
          u = c / 3;
          kk = (c % 3 + 1) % 3;
          if (tin_triangle_at(u)->v[kk] != w || ++steps > count) {
            out << "star of a vertex is broken at triangle " << u;
            break;
          }
        } while (u != static_cast<int32_t>(t));
        if (out.str().empty() && steps != incidence[w]) {
          out << "vertex star has " << steps << " of " << incidence[w] << " triangles";
        }
      }
    }
  }
  r.problem = out.str();
  return r;
}

// Whether a location answer is right for q: a finite triangle holds q in its
// closure, an infinite one sees q strictly outside its hull edge or on it,
// and a null answer names a triangle with a vertex at q.
inline bool location_holds(const TINlocation& loc, const float* q) {
  if (loc.index < 0) return false;
  const TINtriangle* T = tin_triangle_at(static_cast<uint32_t>(loc.index));
  if (!loc.triangle) {
    for (int i = 0; i < 3; ++i)
      if (T->v[i] && T->v[i][0] == q[0] && T->v[i][1] == q[1]) return true;
    return false;
  }
  if (loc.triangle != T || !tin_in_use(T)) return false;
  for (int i = 0; i < 3; ++i)
    if (T->v[i] && T->v[i][0] == q[0] && T->v[i][1] == q[1]) return false;
  if (T->v[0]) {
    return orient_f(q, T->v[1], T->v[2]) >= 0 && orient_f(q, T->v[2], T->v[0]) >= 0 &&
           orient_f(q, T->v[0], T->v[1]) >= 0;
  }
  const double o = orient_f(q, T->v[1], T->v[2]);
  return o > 0 || (o == 0 && TINinsegment(T->v[1], T->v[2], q) == 3);
}

#endif
