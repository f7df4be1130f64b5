#ifndef TALVENOR_NEW_TIN_PREDICATES_HPP
#define TALVENOR_NEW_TIN_PREDICATES_HPP

#include <cmath>

// Adaptive-precision orientation and in-circle tests on double coordinates.
//
// Each test first evaluates its determinant in plain double arithmetic and
// returns at once when a forward error bound proves the sign right. Only
// near-degenerate inputs go on to the adaptive stages, which represent the
// determinant as a floating-point expansion (a sum of doubles with
// non-overlapping significands) and refine it until its sign is certain, up
// to the exact value. The sign of the result is always the sign of the exact
// determinant; callers must use nothing but the sign.
//
// The arithmetic assumes IEEE double with round-to-nearest-even and no fused
// multiply-add: the build compiles everything with -ffp-contract=off.

// Computes the machine epsilon, the splitter and the error bounds. Must run
// once before any test; running it again is harmless.
void exactinit();

// The refining stages of orient2d; detsum is |left product| + |right product|.
double orient2dadapt(const double* pa, const double* pb, const double* pc, double detsum);

// Error bound of orient2d's first stage, set by exactinit. Visible here so that the first
// stage inlines into the TIN's point location, which runs it several times per point.
extern double orient2d_bound_a;

// orient2d once the first stage cannot vouch for the sign: the sign cases of the products and
// then the refining stages.
double orient2d_uncertain(const double* pa, const double* pb, const double* pc, double detleft,
                          double detright, double det);

// Positive when a, b, c turn counter-clockwise, negative when clockwise, zero
// when collinear. Points are (x, y) pairs.
inline double orient2d(const double* pa, const double* pb, const double* pc) {
  const double detleft = (pa[0] - pc[0]) * (pb[1] - pc[1]);
  const double detright = (pa[1] - pc[1]) * (pb[0] - pc[0]);
  const double det = detleft - detright;
  // Whenever this holds, the sign cases give det as well: products of opposite signs (or a
  // zero one) cannot cancel, and det is then their summed magnitudes. One test that almost
  // always holds costs less than branching on the signs, which a walk cannot predict.
  if (std::fabs(det) >= orient2d_bound_a * (std::fabs(detleft) + std::fabs(detright))) return det;
  return orient2d_uncertain(pa, pb, pc, detleft, detright, det);
}

// The refining stages of incircle; permanent bounds the magnitudes involved.
double incircleadapt(const double* pa, const double* pb, const double* pc, const double* pd,
                     double permanent);

// Error bound of incircle's first stage, set by exactinit; visible for the same reason.
extern double incircle_bound_a;

// Positive when d lies inside the circle through a, b, c (counter-clockwise),
// negative outside, zero on the circle. The sign flips when a, b, c turn
// clockwise.
inline double incircle(const double* pa, const double* pb, const double* pc, const double* pd) {
  const double adx = pa[0] - pd[0];
  const double bdx = pb[0] - pd[0];
  const double cdx = pc[0] - pd[0];
  const double ady = pa[1] - pd[1];
  const double bdy = pb[1] - pd[1];
  const double cdy = pc[1] - pd[1];

  const double bdxcdy = bdx * cdy;
  const double cdxbdy = cdx * bdy;
  const double alift = adx * adx + ady * ady;
  const double cdxady = cdx * ady;
  const double adxcdy = adx * cdy;
  const double blift = bdx * bdx + bdy * bdy;
  const double adxbdy = adx * bdy;
  const double bdxady = bdx * ady;
  const double clift = cdx * cdx + cdy * cdy;

  const double det =
      alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
  const double errbound = incircle_bound_a * permanent;
  if (det > errbound || -det > errbound) return det;
  return incircleadapt(pa, pb, pc, pd, permanent);
}

// Expansion arithmetic. An expansion is stored smallest component first.

// Approximate value of an expansion (its components summed in order).
double estimate(int elen, const double* e);
// h = e + f, with zero components removed; returns the length of h (at least
// 1). h must hold elen + flen values and must not alias e or f.
int fast_expansion_sum_zeroelim(int elen, const double* e, int flen, const double* f, double* h);
// h = e * b, with zero components removed; returns the length of h (at least
// 1). h must hold 2 * elen values and must not alias e.
int scale_expansion_zeroelim(int elen, const double* e, double b, double* h);

// The constants that exactinit computes, exposed for tests.
struct PredicateBounds {
  double epsilon;
  double splitter;
  double resulterrbound;
  double ccwerrboundA, ccwerrboundB, ccwerrboundC;
  double o3derrboundA, o3derrboundB, o3derrboundC;
  double iccerrboundA, iccerrboundB, iccerrboundC;
  double isperrboundA, isperrboundB, isperrboundC;
};
const PredicateBounds& predicate_bounds();

#endif
