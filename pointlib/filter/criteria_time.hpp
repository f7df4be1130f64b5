#ifndef POINTLIB_FILTER_CRITERIA_TIME_HPP
#define POINTLIB_FILTER_CRITERIA_TIME_HPP

#include <map>
#include <set>

#include "filter/las_criterion.hpp"

// GPS time: closed ranges; a point without GPS time is never dropped.
PL_CRITERION(LAScriterionKeepGpsTime, "keep_gps_time", double, 2, FIELD_GPS_TIME,
             has_gps_time(point) && !in_closed(gps_time(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropGpsTimeBelow, "drop_gps_time_below", double, 1, FIELD_GPS_TIME,
             has_gps_time(point) && gps_time(point) < p[0])
PL_CRITERION(LAScriterionDropGpsTimeAbove, "drop_gps_time_above", double, 1, FIELD_GPS_TIME,
             has_gps_time(point) && gps_time(point) > p[0])
PL_CRITERION(LAScriterionDropGpsTimeBetween, "drop_gps_time_between", double, 2, FIELD_GPS_TIME,
             has_gps_time(point) && in_closed(gps_time(point), p[0], p[1]))

// Slot of a GPS time: floor towards minus infinity.
int64_t time_slot(double t, double spacing);

// Keeps the first point of every time slot of the given length.
class LAScriterionThinPointsWithTime final : public LAScriterion {
 public:
  explicit LAScriterionThinPointsWithTime(double spacing) : spacing(spacing) {}
  const char* option_name() const override { return "thin_points_with_time"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_GPS_TIME; }
  bool rejects(const LASpoint* point) override {
    // a new slot allocates one set node; a known slot allocates nothing
    return !slots.insert(time_slot(filter_field::gps_time(point), spacing)).second;
  }
  void restart() override { slots.clear(); }

 private:
  double spacing;
  std::set<int64_t> slots;
};

// Keeps every return of the first pulse of every time slot: the returns of
// one pulse share their GPS time exactly.
class LAScriterionThinPulsesWithTime final : public LAScriterion {
 public:
  explicit LAScriterionThinPulsesWithTime(double spacing) : spacing(spacing) {}
  const char* option_name() const override { return "thin_pulses_with_time"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_GPS_TIME; }
  bool rejects(const LASpoint* point) override {
    const double t = filter_field::gps_time(point);
    const auto slot = slots.emplace(time_slot(t, spacing), t);
    return !slot.second && slot.first->second != t;
  }
  void restart() override { slots.clear(); }

 private:
  double spacing;
  std::map<int64_t, double> slots;
};

#endif  // POINTLIB_FILTER_CRITERIA_TIME_HPP
