#ifndef POINTLIB_FILTER_CRITERIA_COMBINE_HPP
#define POINTLIB_FILTER_CRITERIA_COMBINE_HPP

#include <memory>

#include "filter/las_criterion.hpp"

// Boolean combinations of the two criteria before them on the command line,
// which they own. Written back as both texts followed by the combinator's word.
class LAScriterionCombination : public LAScriterion {
 public:
  LAScriterionCombination(std::unique_ptr<LAScriterion> first, std::unique_ptr<LAScriterion> second)
      : first(std::move(first)), second(std::move(second)) {}
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override {
    return first->needed_fields_mask() | second->needed_fields_mask();
  }
  // stateful parts (random fractions, thinning) start afresh per file like
  // criteria that stand alone
  void restart() override {
    first->restart();
    second->restart();
  }

 protected:
  std::unique_ptr<LAScriterion> first, second;
};

// Drops when both drop: the second is asked only when the first drops.
class LAScriterionAnd final : public LAScriterionCombination {
 public:
  using LAScriterionCombination::LAScriterionCombination;
  const char* option_name() const override { return "filter_and"; }
  bool rejects(const LASpoint* point) override {
    return first->rejects(point) && second->rejects(point);
  }
};

// Drops when either drops: the second is asked only when the first keeps.
class LAScriterionOr final : public LAScriterionCombination {
 public:
  using LAScriterionCombination::LAScriterionCombination;
  const char* option_name() const override { return "filter_or"; }
  bool rejects(const LASpoint* point) override {
    return first->rejects(point) || second->rejects(point);
  }
};

#endif  // POINTLIB_FILTER_CRITERIA_COMBINE_HPP
