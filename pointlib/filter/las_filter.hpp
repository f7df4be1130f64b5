#ifndef POINTLIB_FILTER_LAS_FILTER_HPP
#define POINTLIB_FILTER_LAS_FILTER_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "filter/las_criterion.hpp"

// An ordered list of keep/drop criteria, each with the number of points it
// dropped. A point survives only if every criterion keeps it; the first one
// that rejects it counts the drop, and the criteria behind it never see it.
class LASfilter {
 public:
  LASfilter() = default;
  ~LASfilter() { remove_all(); }
  LASfilter(const LASfilter&) = delete;
  LASfilter& operator=(const LASfilter&) = delete;

  // The filter owns the criterion from now on.
  void append_criterion(LAScriterion* criterion);
  void remove_all();

  bool rejects(const LASpoint* point) {
    const uint32_t n = count();
    for (uint32_t i = 0; i < n; i++) {
      if (criteria[i]->rejects(point)) {
        counters[i]++;
        return true;
      }
    }
    return false;
  }

  void restart_all();
  // Writes every criterion's option text, in list order, into a buffer that
  // the caller makes large enough; returns the number of characters.
  int write_options_text(char* buffer) const;
  // Or of the fields that the criteria read.
  uint32_t needed_fields_mask() const;

  // The option parser over a shared argument vector (entry 0 is not looked
  // at): consumed entries are blanked, unknown words left alone. False after
  // an error message.
  bool take_arguments(int argc, char** argv);
  // The same over one string of words separated by blanks, split in place.
  bool take_argument_string(char* text);
  void print_help() const;

  uint32_t count() const { return static_cast<uint32_t>(criteria.size()); }
  uint32_t capacity() const { return slots; }
  LAScriterion* criterion(uint32_t i) const { return criteria[i].get(); }
  int32_t counter(uint32_t i) const { return counters[i]; }
  // Takes the last criterion out of the list (the caller owns it); null when
  // the list is empty.
  std::unique_ptr<LAScriterion> take_last();

 private:
  std::vector<std::unique_ptr<LAScriterion>> criteria;
  std::vector<int32_t> counters;
  uint32_t slots = 0;  // grows by 16
};

#endif  // POINTLIB_FILTER_LAS_FILTER_HPP
