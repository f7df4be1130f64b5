#ifndef POINTLIB_COMPRESS_MEDIAN_OF_FIVE_HPP
#define POINTLIB_COMPRESS_MEDIAN_OF_FIVE_HPP

#include <cstdint>

// A running median of five for the X and Y difference predictions. It is not
// the median of the last five values: five sorted values are kept, and each
// new value replaces one end, the upper or the lower in turn (the `high`
// flag), so that old extremes fade without a history buffer. The exact rule is
// part of the compressed format.
class MedianOfFive {
 public:
  MedianOfFive() { init(); }
  void init() {
    for (int32_t& v : values) v = 0;
    high = true;
  }
  int32_t get() const { return values[2]; }
  // The end to drop and the new value's place are chosen with min and max in
  // place of branches: the new value is as often above as below the median,
  // and a decoder would wait on every wrong guess.
  void add(int32_t v) {
    // The four values that stay, in order: all but the upper end while high.
    const int32_t* stay = values + (high ? 0 : 1);
    const int32_t a = stay[0];
    const int32_t b = stay[1];
    const int32_t c = stay[2];
    const int32_t d = stay[3];
    const int32_t median = values[2];
    // Stays high below the median; turns high again at or below it.
    high = (v < median) | ((v == median) & !high);
    values[0] = min(a, v);
    values[1] = min(b, max(a, v));
    values[2] = min(c, max(b, v));
    values[3] = min(d, max(c, v));
    values[4] = max(d, v);
  }

  int32_t values[5];
  bool high;

 private:
  static int32_t min(int32_t x, int32_t y) { return y < x ? y : x; }
  static int32_t max(int32_t x, int32_t y) { return x < y ? y : x; }
};

#endif
