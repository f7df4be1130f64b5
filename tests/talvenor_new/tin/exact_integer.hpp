#ifndef TESTS_TALVENOR_NEW_TIN_EXACT_INTEGER_HPP
#define TESTS_TALVENOR_NEW_TIN_EXACT_INTEGER_HPP

// A small signed big integer, the reference against which the predicates'
// signs are checked. Inputs are doubles scaled by a common power of two so
// that every one is an integer; the determinants are then exact.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct ExactInt {
  bool negative = false;
  std::vector<uint32_t> mag;  // little-endian words, no leading zero words

  static ExactInt from_u64(uint64_t v, bool neg) {
    ExactInt r;
    while (v) {
      r.mag.push_back(static_cast<uint32_t>(v));
      v >>= 32;
    }
    r.negative = neg && !r.mag.empty();
    return r;
  }
  int sign() const { return mag.empty() ? 0 : (negative ? -1 : 1); }

  void trim() {
    while (!mag.empty() && mag.back() == 0) mag.pop_back();
    if (mag.empty()) negative = false;
  }
  static int compare_mag(const ExactInt& a, const ExactInt& b) {
    if (a.mag.size() != b.mag.size()) return a.mag.size() < b.mag.size() ? -1 : 1;
    for (size_t i = a.mag.size(); i-- > 0;)
      if (a.mag[i] != b.mag[i]) return a.mag[i] < b.mag[i] ? -1 : 1;
    return 0;
  }
  static std::vector<uint32_t> add_mag(const std::vector<uint32_t>& a,
                                       const std::vector<uint32_t>& b) {
    std::vector<uint32_t> r(std::max(a.size(), b.size()) + 1, 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < r.size(); ++i) {
      uint64_t s = carry;
      if (i < a.size()) s += a[i];
      if (i < b.size()) s += b[i];
      r[i] = static_cast<uint32_t>(s);
      carry = s >> 32;
    }
    return r;
  }
  // |a| >= |b|
  static std::vector<uint32_t> sub_mag(const std::vector<uint32_t>& a,
                                       const std::vector<uint32_t>& b) {
    std::vector<uint32_t> r(a.size(), 0);
    int64_t borrow = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      int64_t d = static_cast<int64_t>(a[i]) - borrow - (i < b.size() ? b[i] : 0);
      borrow = d < 0;
      if (d < 0) d += (int64_t(1) << 32);
      r[i] = static_cast<uint32_t>(d);
    }
    return r;
  }
  friend ExactInt operator+(const ExactInt& a, const ExactInt& b) {
    ExactInt r;
    if (a.negative == b.negative) {
      r.mag = add_mag(a.mag, b.mag);
      r.negative = a.negative;
    } else if (compare_mag(a, b) >= 0) {
      r.mag = sub_mag(a.mag, b.mag);
      r.negative = a.negative;
    } else {
      r.mag = sub_mag(b.mag, a.mag);
      r.negative = b.negative;
    }
    r.trim();
    return r;
  }
  friend ExactInt operator-(const ExactInt& a, const ExactInt& b) {
    ExactInt nb = b;
    if (!nb.mag.empty()) nb.negative = !nb.negative;
    return a + nb;
  }
  friend ExactInt operator*(const ExactInt& a, const ExactInt& b) {
    ExactInt r;
    r.mag.assign(a.mag.size() + b.mag.size() + 1, 0);
    for (size_t i = 0; i < a.mag.size(); ++i) {
      uint64_t carry = 0;
      for (size_t j = 0; j < b.mag.size(); ++j) {
        uint64_t t = static_cast<uint64_t>(a.mag[i]) * b.mag[j] + r.mag[i + j] + carry;
        r.mag[i + j] = static_cast<uint32_t>(t);
        carry = t >> 32;
      }
      size_t k = i + b.mag.size();
      while (carry) {
        uint64_t t = static_cast<uint64_t>(r.mag[k]) + carry;
        r.mag[k++] = static_cast<uint32_t>(t);
        carry = t >> 32;
      }
    }
    r.negative = a.negative != b.negative;
    r.trim();
    return r;
  }
  ExactInt shifted_left(int bits) const {
    ExactInt r;
    r.negative = negative;
    r.mag.assign(mag.size() + bits / 32 + 1, 0);
    const int words = bits / 32, rem = bits % 32;
    for (size_t i = 0; i < mag.size(); ++i) {
      uint64_t v = static_cast<uint64_t>(mag[i]) << rem;
      r.mag[i + words] |= static_cast<uint32_t>(v);
      r.mag[i + words + 1] |= static_cast<uint32_t>(v >> 32);
    }
    r.trim();
    return r;
  }
};

// Lowest binary exponent among the set bits of d (d = m * 2^e with m odd).
inline int lowest_exponent(double d) {
  if (d == 0.0) return 100000;
  int e;
  double f = std::frexp(std::fabs(d), &e);
  uint64_t m = static_cast<uint64_t>(std::ldexp(f, 53));
  e -= 53;
  while ((m & 1) == 0) {
    m >>= 1;
    ++e;
  }
  return e;
}

// d * 2^shift as an exact integer; shift must make it integral.
inline ExactInt exact_scaled(double d, int shift) {
  if (d == 0.0) return ExactInt{};
  int e;
  double f = std::frexp(std::fabs(d), &e);
  uint64_t m = static_cast<uint64_t>(std::ldexp(f, 53));
  e -= 53;
  while ((m & 1) == 0) {
    m >>= 1;
    ++e;
  }
  return ExactInt::from_u64(m, d < 0).shifted_left(e + shift);
}

inline int common_shift(const double* v, int n) {
  int low = 100000;
  for (int i = 0; i < n; ++i) low = std::min(low, lowest_exponent(v[i]));
  return low == 100000 ? 0 : -low;
}

// Exact sign of orient2d(a, b, c).
inline int exact_orient_sign(const double* a, const double* b, const double* c) {
  const double all[6] = {a[0], a[1], b[0], b[1], c[0], c[1]};
  const int s = common_shift(all, 6);
  ExactInt ax = exact_scaled(a[0], s), ay = exact_scaled(a[1], s);
  ExactInt bx = exact_scaled(b[0], s), by = exact_scaled(b[1], s);
  ExactInt cx = exact_scaled(c[0], s), cy = exact_scaled(c[1], s);
  return ((ax - cx) * (by - cy) - (ay - cy) * (bx - cx)).sign();
}

// Exact sign of incircle(a, b, c, d).
inline int exact_incircle_sign(const double* a, const double* b, const double* c, const double* d) {
  const double all[8] = {a[0], a[1], b[0], b[1], c[0], c[1], d[0], d[1]};
  const int s = common_shift(all, 8);
  ExactInt dx = exact_scaled(d[0], s), dy = exact_scaled(d[1], s);
  ExactInt adx = exact_scaled(a[0], s) - dx, ady = exact_scaled(a[1], s) - dy;
  ExactInt bdx = exact_scaled(b[0], s) - dx, bdy = exact_scaled(b[1], s) - dy;
  ExactInt cdx = exact_scaled(c[0], s) - dx, cdy = exact_scaled(c[1], s) - dy;
  ExactInt alift = adx * adx + ady * ady;
  ExactInt blift = bdx * bdx + bdy * bdy;
  ExactInt clift = cdx * cdx + cdy * cdy;
  return (alift * (bdx * cdy - cdx * bdy) + blift * (cdx * ady - adx * cdy) +
          clift * (adx * bdy - bdx * ady))
      .sign();
}

inline int sign_of(double v) {
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

#endif
