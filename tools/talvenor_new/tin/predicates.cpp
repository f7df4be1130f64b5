#include "tin/predicates.hpp"

#include <cmath>

namespace {

PredicateBounds bounds;

// --- error-free transformations -------------------------------------------
// Each returns the rounded result in x and the exact rounding error in y, so
// that x + y equals the exact value. They hold for round-to-nearest binary
// arithmetic without contraction.

// x + y = a + b for any a, b.
inline void two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  const double b_virtual = x - a;
  const double a_virtual = x - b_virtual;
  const double b_round = b - b_virtual;
  const double a_round = a - a_virtual;
  y = a_round + b_round;
}

// x + y = a - b for any a, b.
inline void two_diff(double a, double b, double& x, double& y) {
  x = a - b;
  const double b_virtual = a - x;
  const double a_virtual = x + b_virtual;
  const double b_round = b_virtual - b;
  const double a_round = a - a_virtual;
  y = a_round + b_round;
}

// The error of an already rounded difference x = fl(a - b).
inline double two_diff_tail(double a, double b, double x) {
  const double b_virtual = a - x;
  const double a_virtual = x + b_virtual;
  const double b_round = b_virtual - b;
  const double a_round = a - a_virtual;
  return a_round + b_round;
}

// Splits a into hi + lo, each with at most half the significand bits, so that
// products of halves are exact.
inline void split(double a, double& hi, double& lo) {
  const double c = bounds.splitter * a;
  const double a_big = c - a;
  hi = c - a_big;
  lo = a - hi;
}

// x + y = a * b (barring overflow and underflow).
inline void two_product(double a, double b, double& x, double& y) {
  x = a * b;
  double a_hi, a_lo, b_hi, b_lo;
  split(a, a_hi, a_lo);
  split(b, b_hi, b_lo);
  const double err1 = x - a_hi * b_hi;
  const double err2 = err1 - a_lo * b_hi;
  const double err3 = err2 - a_hi * b_lo;
  y = a_lo * b_lo - err3;
}

// (a1 + a0) - b as a three-component expansion x[0..2], smallest first.
inline void two_one_diff(double a1, double a0, double b, double* x) {
  double i;
  two_diff(a0, b, i, x[0]);
  two_sum(a1, i, x[2], x[1]);
}

// (a1 + a0) - (b1 + b0) as a four-component expansion x[0..3].
inline void two_two_diff(double a1, double a0, double b1, double b0, double* x) {
  double t[3];
  two_one_diff(a1, a0, b0, t);
  x[0] = t[0];
  two_one_diff(t[2], t[1], b1, x + 1);
}

// a * d - b * c exactly, as a four-component expansion.
inline void cross_difference(double a, double d, double b, double c, double* x) {
  double l1, l0, r1, r0;
  two_product(a, d, l1, l0);
  two_product(b, c, r1, r0);
  two_two_diff(l1, l0, r1, r0, x);
}

// --- general expansion products for the exact stage -----------------------

// h = e * f; h must hold 2 * elen * flen values, scratch 2 * elen * flen + 2 * elen.
int expansion_product(int elen, const double* e, int flen, const double* f, double* h,
                      double* scratch) {
  double* part = scratch;
  double* acc = scratch + 2 * elen;
  int hlen = scale_expansion_zeroelim(elen, e, f[0], h);
  for (int i = 1; i < flen; ++i) {
    const int plen = scale_expansion_zeroelim(elen, e, f[i], part);
    for (int k = 0; k < hlen; ++k) acc[k] = h[k];
    hlen = fast_expansion_sum_zeroelim(hlen, acc, plen, part, h);
  }
  return hlen;
}

// h = e - f.
int expansion_diff(int elen, const double* e, int flen, const double* f, double* h,
                   double* scratch) {
  for (int i = 0; i < flen; ++i) scratch[i] = -f[i];
  return fast_expansion_sum_zeroelim(elen, e, flen, scratch, h);
}

// A coordinate difference a - b held exactly as a one- or two-component
// expansion.
struct Diff {
  double c[2];
  int n;
};
inline Diff exact_diff(double a, double b) {
  Diff d;
  double x, y;
  two_diff(a, b, x, y);
  if (y != 0.0) {
    d.c[0] = y;
    d.c[1] = x;
    d.n = 2;
  } else {
    d.c[0] = x;
    d.n = 1;
  }
  return d;
}

// Sizes of the exact in-circle stage: a squared difference has at most 8
// components, a lift or a cross term at most 16, their product 512.
constexpr int kLift = 16;
constexpr int kTerm = 2 * kLift * kLift;
constexpr int kScratch = 2 * kLift * kLift + 2 * kLift;

// lift = dx^2 + dy^2 exactly.
int exact_lift(const Diff& dx, const Diff& dy, double* lift, double* scratch) {
  double xx[8], yy[8];
  const int xl = expansion_product(dx.n, dx.c, dx.n, dx.c, xx, scratch);
  const int yl = expansion_product(dy.n, dy.c, dy.n, dy.c, yy, scratch);
  return fast_expansion_sum_zeroelim(xl, xx, yl, yy, lift);
}

// cross = px * qy - qx * py exactly.
int exact_cross(const Diff& px, const Diff& py, const Diff& qx, const Diff& qy, double* cross,
                double* scratch) {
  double l[8], r[8];
  const int ll = expansion_product(px.n, px.c, qy.n, qy.c, l, scratch);
  const int rl = expansion_product(qx.n, qx.c, py.n, py.c, r, scratch);
  return expansion_diff(ll, l, rl, r, cross, scratch);
}

// Exact in-circle determinant of the differences to d; returns its most
// significant component, which carries the sign.
double incircle_exact(const double* pa, const double* pb, const double* pc, const double* pd) {
  const Diff ax = exact_diff(pa[0], pd[0]), ay = exact_diff(pa[1], pd[1]);
  const Diff bx = exact_diff(pb[0], pd[0]), by = exact_diff(pb[1], pd[1]);
  const Diff cx = exact_diff(pc[0], pd[0]), cy = exact_diff(pc[1], pd[1]);
  double scratch[kScratch];
  double lift[kLift], cross[kLift];
  double term[3][kTerm];
  int tl[3];

  int ll = exact_lift(ax, ay, lift, scratch);
  int cl = exact_cross(bx, by, cx, cy, cross, scratch);
  tl[0] = expansion_product(ll, lift, cl, cross, term[0], scratch);
  ll = exact_lift(bx, by, lift, scratch);
  cl = exact_cross(cx, cy, ax, ay, cross, scratch);
  tl[1] = expansion_product(ll, lift, cl, cross, term[1], scratch);
  ll = exact_lift(cx, cy, lift, scratch);
  cl = exact_cross(ax, ay, bx, by, cross, scratch);
  tl[2] = expansion_product(ll, lift, cl, cross, term[2], scratch);

  double sum01[2 * kTerm];
  double fin[3 * kTerm];
  const int l01 = fast_expansion_sum_zeroelim(tl[0], term[0], tl[1], term[1], sum01);
  const int fl = fast_expansion_sum_zeroelim(l01, sum01, tl[2], term[2], fin);
  return fin[fl - 1];
}

}  // namespace

double orient2d_bound_a = 0.0;
double incircle_bound_a = 0.0;

double orient2d_uncertain(const double* pa, const double* pb, const double* pc, double detleft,
                          double detright, double det) {
  double detsum;
  // When the two products differ in sign (or one is zero) no cancellation
  // can flip the sign of their difference.
  if (detleft > 0.0) {
    if (detright <= 0.0) return det;
    detsum = detleft + detright;
  } else if (detleft < 0.0) {
    if (detright >= 0.0) return det;
    detsum = -detleft - detright;
  } else {
    return det;
  }
  const double errbound = orient2d_bound_a * detsum;
  if (det >= errbound || -det >= errbound) return det;
  return orient2dadapt(pa, pb, pc, detsum);
}

void exactinit() {
  // Halve until 1 + epsilon rounds to 1; volatile keeps every sum in double.
  volatile double one_plus;
  double epsilon = 1.0;
  int halvings = 0;
  do {
    epsilon *= 0.5;
    ++halvings;
    one_plus = 1.0 + epsilon;
  } while (one_plus != 1.0);
  // halvings is the significand width p (53); the splitter is 2^ceil(p/2) + 1.
  double splitter = 1.0;
  for (int i = 0; i < (halvings + 1) / 2; ++i) splitter *= 2.0;
  splitter += 1.0;

  const double e = epsilon;
  bounds.epsilon = e;
  bounds.splitter = splitter;
  bounds.resulterrbound = (3.0 + 8.0 * e) * e;
  bounds.ccwerrboundA = (3.0 + 16.0 * e) * e;
  orient2d_bound_a = bounds.ccwerrboundA;
  bounds.ccwerrboundB = (2.0 + 12.0 * e) * e;
  bounds.ccwerrboundC = (9.0 + 64.0 * e) * e * e;
  bounds.o3derrboundA = (7.0 + 56.0 * e) * e;
  bounds.o3derrboundB = (3.0 + 28.0 * e) * e;
  bounds.o3derrboundC = (26.0 + 288.0 * e) * e * e;
  bounds.iccerrboundA = (10.0 + 96.0 * e) * e;
  incircle_bound_a = bounds.iccerrboundA;
  bounds.iccerrboundB = (4.0 + 48.0 * e) * e;
  bounds.iccerrboundC = (44.0 + 576.0 * e) * e * e;
  bounds.isperrboundA = (16.0 + 224.0 * e) * e;
  bounds.isperrboundB = (5.0 + 72.0 * e) * e;
  bounds.isperrboundC = (71.0 + 1408.0 * e) * e * e;
}

const PredicateBounds& predicate_bounds() {
  return bounds;
}

double estimate(int elen, const double* e) {
  double q = e[0];
  for (int i = 1; i < elen; ++i) q += e[i];
  return q;
}

int fast_expansion_sum_zeroelim(int elen, const double* e, int flen, const double* f, double* h) {
  // Merge the components of e and f by increasing magnitude and sweep a
  // running sum through them, emitting the non-zero round-off terms.
  int ei = 0, fi = 0, hlen = 0;
  auto next = [&]() -> double {
    if (fi >= flen || (ei < elen && std::fabs(e[ei]) < std::fabs(f[fi]))) return e[ei++];
    return f[fi++];
  };
  double q = next();
  while (ei < elen || fi < flen) {
    const double g = next();
    double q_new, hh;
    two_sum(q, g, q_new, hh);
    q = q_new;
    if (hh != 0.0) h[hlen++] = hh;
  }
  if (q != 0.0 || hlen == 0) h[hlen++] = q;
  return hlen;
}

int scale_expansion_zeroelim(int elen, const double* e, double b, double* h) {
  int hlen = 0;
  double q, hh;
  two_product(e[0], b, q, hh);
  if (hh != 0.0) h[hlen++] = hh;
  for (int i = 1; i < elen; ++i) {
    double p1, p0, sum;
    two_product(e[i], b, p1, p0);
    two_sum(q, p0, sum, hh);
    if (hh != 0.0) h[hlen++] = hh;
    two_sum(p1, sum, q, hh);
    if (hh != 0.0) h[hlen++] = hh;
  }
  if (q != 0.0 || hlen == 0) h[hlen++] = q;
  return hlen;
}

double orient2dadapt(const double* pa, const double* pb, const double* pc, double detsum) {
  const double acx = pa[0] - pc[0];
  const double bcx = pb[0] - pc[0];
  const double acy = pa[1] - pc[1];
  const double bcy = pb[1] - pc[1];

  // Stage B: the determinant of the rounded differences, exactly.
  double b[4];
  cross_difference(acx, bcy, acy, bcx, b);
  double det = estimate(4, b);
  double errbound = bounds.ccwerrboundB * detsum;
  if (det >= errbound || -det >= errbound) return det;

  const double acxtail = two_diff_tail(pa[0], pc[0], acx);
  const double bcxtail = two_diff_tail(pb[0], pc[0], bcx);
  const double acytail = two_diff_tail(pa[1], pc[1], acy);
  const double bcytail = two_diff_tail(pb[1], pc[1], bcy);
  if (acxtail == 0.0 && acytail == 0.0 && bcxtail == 0.0 && bcytail == 0.0) return det;

  // Stage C: add the first-order terms of the differences' round-off.
  errbound = bounds.ccwerrboundC * detsum + bounds.resulterrbound * std::fabs(det);
  det += (acx * bcytail + bcy * acxtail) - (acy * bcxtail + bcx * acytail);
  if (det >= errbound || -det >= errbound) return det;

  // Stage D: every remaining product term, exactly.
  double u[4], c1[8], c2[12], d[16];
  cross_difference(acxtail, bcy, acytail, bcx, u);
  const int c1len = fast_expansion_sum_zeroelim(4, b, 4, u, c1);
  cross_difference(acx, bcytail, acy, bcxtail, u);
  const int c2len = fast_expansion_sum_zeroelim(c1len, c1, 4, u, c2);
  cross_difference(acxtail, bcytail, acytail, bcxtail, u);
  const int dlen = fast_expansion_sum_zeroelim(c2len, c2, 4, u, d);
  return d[dlen - 1];
}

double incircleadapt(const double* pa, const double* pb, const double* pc, const double* pd,
                     double permanent) {
  const double adx = pa[0] - pd[0];
  const double bdx = pb[0] - pd[0];
  const double cdx = pc[0] - pd[0];
  const double ady = pa[1] - pd[1];
  const double bdy = pb[1] - pd[1];
  const double cdy = pc[1] - pd[1];

  // Stage B: the determinant of the rounded differences, exactly:
  // (adx^2 + ady^2) * bc + (bdx^2 + bdy^2) * ca + (cdx^2 + cdy^2) * ab.
  double cross[4];
  double t1[8], t2[16], t3[8], t4[16];
  double adet[32], bdet[32], cdet[32], ab_sum[64], fin[96];

  cross_difference(bdx, cdy, cdx, bdy, cross);
  int l1 = scale_expansion_zeroelim(4, cross, adx, t1);
  int l2 = scale_expansion_zeroelim(l1, t1, adx, t2);
  int l3 = scale_expansion_zeroelim(4, cross, ady, t3);
  int l4 = scale_expansion_zeroelim(l3, t3, ady, t4);
  const int alen = fast_expansion_sum_zeroelim(l2, t2, l4, t4, adet);

  cross_difference(cdx, ady, adx, cdy, cross);
  l1 = scale_expansion_zeroelim(4, cross, bdx, t1);
  l2 = scale_expansion_zeroelim(l1, t1, bdx, t2);
  l3 = scale_expansion_zeroelim(4, cross, bdy, t3);
  l4 = scale_expansion_zeroelim(l3, t3, bdy, t4);
  const int blen = fast_expansion_sum_zeroelim(l2, t2, l4, t4, bdet);

  cross_difference(adx, bdy, bdx, ady, cross);
  l1 = scale_expansion_zeroelim(4, cross, cdx, t1);
  l2 = scale_expansion_zeroelim(l1, t1, cdx, t2);
  l3 = scale_expansion_zeroelim(4, cross, cdy, t3);
  l4 = scale_expansion_zeroelim(l3, t3, cdy, t4);
  const int clen = fast_expansion_sum_zeroelim(l2, t2, l4, t4, cdet);

  const int ablen = fast_expansion_sum_zeroelim(alen, adet, blen, bdet, ab_sum);
  const int finlen = fast_expansion_sum_zeroelim(ablen, ab_sum, clen, cdet, fin);

  double det = estimate(finlen, fin);
  double errbound = bounds.iccerrboundB * permanent;
  if (det >= errbound || -det >= errbound) return det;

  const double adxtail = two_diff_tail(pa[0], pd[0], adx);
  const double adytail = two_diff_tail(pa[1], pd[1], ady);
  const double bdxtail = two_diff_tail(pb[0], pd[0], bdx);
  const double bdytail = two_diff_tail(pb[1], pd[1], bdy);
  const double cdxtail = two_diff_tail(pc[0], pd[0], cdx);
  const double cdytail = two_diff_tail(pc[1], pd[1], cdy);
  if (adxtail == 0.0 && bdxtail == 0.0 && cdxtail == 0.0 && adytail == 0.0 && bdytail == 0.0 &&
      cdytail == 0.0) {
    return det;
  }

  // Stage C: add the first-order terms of the differences' round-off (the
  // derivative of each lift times its cross term plus each lift times the
  // derivative of its cross term).
  errbound = bounds.iccerrboundC * permanent + bounds.resulterrbound * std::fabs(det);
  det += ((adx * adx + ady * ady) *
              ((bdx * cdytail + cdy * bdxtail) - (bdy * cdxtail + cdx * bdytail)) +
          2.0 * (adx * adxtail + ady * adytail) * (bdx * cdy - bdy * cdx)) +
         ((bdx * bdx + bdy * bdy) *
              ((cdx * adytail + ady * cdxtail) - (cdy * adxtail + adx * cdytail)) +
          2.0 * (bdx * bdxtail + bdy * bdytail) * (cdx * ady - cdy * adx)) +
         ((cdx * cdx + cdy * cdy) *
              ((adx * bdytail + bdy * adxtail) - (ady * bdxtail + bdx * adytail)) +
          2.0 * (cdx * cdxtail + cdy * cdytail) * (adx * bdy - ady * bdx));
  if (det >= errbound || -det >= errbound) return det;

  // Stage D: the full determinant with every difference held as an exact
  // two-component expansion.
  return incircle_exact(pa, pb, pc, pd);
}
