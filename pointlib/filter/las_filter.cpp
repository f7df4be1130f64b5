#include "filter/las_filter.hpp"

#include "filter/option_args.hpp"

void LASfilter::append_criterion(LAScriterion* criterion) {
  if (count() == slots) {
    slots += 16;
    criteria.reserve(slots);
    counters.reserve(slots);
  }
  criteria.emplace_back(criterion);
  counters.push_back(0);
}

void LASfilter::remove_all() {
  criteria.clear();
  criteria.shrink_to_fit();
  counters.clear();
  counters.shrink_to_fit();
  slots = 0;
}

std::unique_ptr<LAScriterion> LASfilter::take_last() {
  if (criteria.empty()) return nullptr;
  std::unique_ptr<LAScriterion> last = std::move(criteria.back());
  criteria.pop_back();
  counters.pop_back();
  return last;
}

void LASfilter::restart_all() {
  for (auto& criterion : criteria) criterion->restart();
}

int LASfilter::write_options_text(char* buffer) const {
  int n = 0;
  for (const auto& criterion : criteria) n += criterion->write_option_text(buffer + n);
  return n;
}

uint32_t LASfilter::needed_fields_mask() const {
  uint32_t mask = 0;
  for (const auto& criterion : criteria) mask |= criterion->needed_fields_mask();
  return mask;
}

bool LASfilter::take_argument_string(char* text) {
  return take_split_arguments(text,
                              [this](int argc, char** argv) { return take_arguments(argc, argv); });
}
