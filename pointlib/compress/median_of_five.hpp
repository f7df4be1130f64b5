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
  void add(int32_t v) {
    if (high) {
      if (v < values[2]) {
        values[4] = values[3];
        values[3] = values[2];
        if (v < values[0]) {
          values[2] = values[1];
          values[1] = values[0];
          values[0] = v;
        } else if (v < values[1]) {
          values[2] = values[1];
          values[1] = v;
        } else {
          values[2] = v;
        }
      } else {
        if (v < values[3]) {
          values[4] = values[3];
          values[3] = v;
        } else {
          values[4] = v;
        }
        high = false;
      }
    } else {
      if (values[2] < v) {
        values[0] = values[1];
        values[1] = values[2];
        if (values[4] < v) {
          values[2] = values[3];
          values[3] = values[4];
          values[4] = v;
        } else if (values[3] < v) {
          values[2] = values[3];
          values[3] = v;
        } else {
          values[2] = v;
        }
      } else {
        if (values[1] < v) {
          values[0] = values[1];
          values[1] = v;
        } else {
          values[0] = v;
        }
        high = true;
      }
    }
  }

  int32_t values[5];
  bool high;
};

#endif
