#ifndef POINTLIB_FILTER_CRITERIA_RETURN_HPP
#define POINTLIB_FILTER_CRITERIA_RETURN_HPP

#include "filter/las_criterion.hpp"

// Legacy return number r and number of returns n. A return number of 0 (seen
// in broken files) counts as no first return for the drop side and as a first
// return for keep_first.
#define PL_R filter_field::return_number(point)
#define PL_N filter_field::number_of_returns(point)
PL_CRITERION(LAScriterionKeepFirstReturn, "keep_first", int, 0, 0, PL_R > 1)
PL_CRITERION(LAScriterionKeepFirstOfManyReturn, "keep_first_of_many", int, 0, 0,
             PL_N == 1 || PL_R > 1)
PL_CRITERION(LAScriterionKeepMiddleReturn, "keep_middle", int, 0, 0, PL_R == 1 || PL_R >= PL_N)
PL_CRITERION(LAScriterionKeepLastReturn, "keep_last", int, 0, 0, PL_R < PL_N)
PL_CRITERION(LAScriterionKeepLastOfManyReturn, "keep_last_of_many", int, 0, 0,
             PL_R == 1 || PL_R < PL_N)
PL_CRITERION(LAScriterionKeepSecondLast, "keep_second_last", int, 0, 0,
             PL_N < 2 || PL_N != PL_R + 1)
PL_CRITERION(LAScriterionDropFirstReturn, "drop_first", int, 0, 0, PL_R == 1)
PL_CRITERION(LAScriterionDropFirstOfManyReturn, "drop_first_of_many", int, 0, 0,
             PL_N >= 2 && PL_R == 1)
PL_CRITERION(LAScriterionDropMiddleReturn, "drop_middle", int, 0, 0, PL_R > 1 && PL_R < PL_N)
PL_CRITERION(LAScriterionDropLastReturn, "drop_last", int, 0, 0, PL_R >= PL_N)
PL_CRITERION(LAScriterionDropLastOfManyReturn, "drop_last_of_many", int, 0, 0,
             PL_N >= 2 && PL_R >= PL_N)
PL_CRITERION(LAScriterionDropSecondLast, "drop_second_last", int, 0, 0,
             PL_N >= 2 && PL_N == PL_R + 1)
#undef PL_R
#undef PL_N

// A given number of returns; numbers 1 to 5 have their own words
// ("keep_single" .. "keep_quintuple"), others are written with
// "-keep_number_of_returns".
class LAScriterionKeepSpecificNumberOfReturns final : public LAScriterion {
 public:
  explicit LAScriterionKeepSpecificNumberOfReturns(uint32_t number) : number(number) {}
  const char* option_name() const override;
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override {
    return uint32_t(filter_field::number_of_returns(point)) != number;
  }

 private:
  uint32_t number;
};

class LAScriterionDropSpecificNumberOfReturns final : public LAScriterion {
 public:
  explicit LAScriterionDropSpecificNumberOfReturns(uint32_t number) : number(number) {}
  const char* option_name() const override;
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override {
    return uint32_t(filter_field::number_of_returns(point)) == number;
  }

 private:
  uint32_t number;
};

// Both return-mask criteria drop a point whose bit r is set; the keep side is
// built with the complement of the kept return numbers. They differ only in
// how they are written back.
class LAScriterionReturnMask : public LAScriterion {
 public:
  explicit LAScriterionReturnMask(uint16_t drop_mask) : drop_mask(drop_mask) {}
  bool rejects(const LASpoint* point) override {
    return (drop_mask >> filter_field::return_number(point)) & 1;
  }
  uint16_t mask() const { return drop_mask; }

 protected:
  uint16_t drop_mask;
};

class LAScriterionKeepReturns final : public LAScriterionReturnMask {
 public:
  using LAScriterionReturnMask::LAScriterionReturnMask;
  const char* option_name() const override { return "keep_return_mask"; }
  int write_option_text(char* buffer) const override;
};

class LAScriterionDropReturns final : public LAScriterionReturnMask {
 public:
  using LAScriterionReturnMask::LAScriterionReturnMask;
  const char* option_name() const override { return "drop_return_mask"; }
  int write_option_text(char* buffer) const override;
};

#endif  // POINTLIB_FILTER_CRITERIA_RETURN_HPP
