#ifndef POINTLIB_FILTER_CRITERIA_CLASS_HPP
#define POINTLIB_FILTER_CRITERIA_CLASS_HPP

#include "filter/las_criterion.hpp"

// Writes a legacy class criterion as the list of its kept (`keep`) or
// dropped classes.
int write_classification_list(char* buffer, bool keep, uint32_t drop_mask);

// Legacy classes 0..31 as a 32-bit mask of the classes to drop; the keep side
// is built with the complement of the kept classes and written as the list
// of kept classes.
template <bool KEEP>
class LAScriterionClassifications final : public LAScriterion {
 public:
  explicit LAScriterionClassifications(uint32_t drop_mask) : drop_mask(drop_mask) {}
  const char* option_name() const override {
    return KEEP ? "keep_classification_mask" : "drop_classification_mask";
  }
  int write_option_text(char* buffer) const override {
    return write_classification_list(buffer, KEEP, drop_mask);
  }
  uint32_t needed_fields_mask() const override { return FIELD_CLASSIFICATION; }
  bool rejects(const LASpoint* point) override {
    return (drop_mask >> filter_field::classification(point)) & 1u;
  }
  uint32_t mask() const { return drop_mask; }

 private:
  uint32_t drop_mask;
};

using LAScriterionKeepClassifications = LAScriterionClassifications<true>;
using LAScriterionDropClassifications = LAScriterionClassifications<false>;

// Extended classes 0..255: word k holds classes 32k..32k+31.
class LAScriterionDropExtendedClassifications final : public LAScriterion {
 public:
  explicit LAScriterionDropExtendedClassifications(const uint32_t words[8]) {
    for (int k = 0; k < 8; k++) drop_words[k] = words[k];
  }
  const char* option_name() const override { return "drop_extended_classification_mask"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_CLASSIFICATION; }
  bool rejects(const LASpoint* point) override {
    const unsigned c = filter_field::extended_classification(point);
    return (drop_words[c >> 5] >> (c & 31)) & 1u;
  }

 private:
  uint32_t drop_words[8];
};

// Classification flags.
PL_CRITERION(LAScriterionDropSynthetic, "drop_synthetic", int, 0, FIELD_FLAGS, synthetic(point))
PL_CRITERION(LAScriterionKeepSynthetic, "keep_synthetic", int, 0, FIELD_FLAGS, !synthetic(point))
PL_CRITERION(LAScriterionDropKeypoint, "drop_keypoint", int, 0, FIELD_FLAGS, keypoint(point))
PL_CRITERION(LAScriterionKeepKeypoint, "keep_keypoint", int, 0, FIELD_FLAGS, !keypoint(point))
PL_CRITERION(LAScriterionDropWithheld, "drop_withheld", int, 0, FIELD_FLAGS, withheld(point))
PL_CRITERION(LAScriterionKeepWithheld, "keep_withheld", int, 0, FIELD_FLAGS, !withheld(point))
PL_CRITERION(LAScriterionDropOverlap, "drop_overlap", int, 0, FIELD_FLAGS, overlap(point))
PL_CRITERION(LAScriterionKeepOverlap, "keep_overlap", int, 0, FIELD_FLAGS, !overlap(point))

// Scan line and scanner channel.
PL_CRITERION(LAScriterionDropScanDirection, "drop_scan_direction", int32_t, 1, FIELD_FLAGS,
             scan_direction(point) == p[0])
PL_CRITERION(LAScriterionKeepEdgeOfFlightLine, "keep_edge_of_flight_line", int, 0, FIELD_FLAGS,
             edge_of_flight_line(point) == 0)
PL_CRITERION(LAScriterionKeepScannerChannel, "keep_scanner_channel", int32_t, 1, 0,
             scanner_channel(point) != p[0])
PL_CRITERION(LAScriterionDropScannerChannel, "drop_scanner_channel", int32_t, 1, 0,
             scanner_channel(point) == p[0])

// Keeps a point exactly when its scan direction differs from that of the point
// tested before it; the first point of a file has no predecessor and is dropped.
class LAScriterionKeepScanDirectionChange final : public LAScriterionParams<int, 0> {
 public:
  const char* option_name() const override { return "keep_scan_direction_change"; }
  uint32_t needed_fields_mask() const override { return FIELD_FLAGS; }
  bool rejects(const LASpoint* point) override {
    const int d = filter_field::scan_direction(point);
    if (d == last) return true;
    const bool first = last == -1;
    last = d;
    return first;
  }
  void restart() override { last = -1; }

 private:
  int last = -1;
};

#endif  // POINTLIB_FILTER_CRITERIA_CLASS_HPP
