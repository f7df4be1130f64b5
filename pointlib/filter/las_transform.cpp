#include "filter/las_transform.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "filter/operations_fields.hpp"
#include "filter/option_args.hpp"
#include "platform/run_messages.hpp"

void LAStransform::append_operation(LASoperation* operation) {
  if (num_operations() == slots) {
    slots += 16;
    operations.reserve(slots);
  }
  operations.emplace_back(operation);
}

void LAStransform::remove_operation(const char* name) {
  for (auto it = operations.begin(); it != operations.end(); ++it) {
    if (strcmp((*it)->option_name(), name) == 0) {
      operations.erase(it);
      return;
    }
  }
}

void LAStransform::remove_all() {
  operations.clear();
  operations.shrink_to_fit();
  slots = 0;
  change_flags = 0;
  filter.reset();
}

void LAStransform::restart_all() {
  for (auto& operation : operations) operation->restart();
  for (double& r : registers) r = 0.0;
}

void LAStransform::attach_filter(LASfilter* new_filter) {
  filter.reset(new_filter);
  if (new_filter == nullptr) is_filtered = 0;
}

void LAStransform::set_source_id_operation(uint16_t point_source_ID) {
  remove_operation("set_point_source");
  append_operation(new LASoperationSetPointSource(point_source_ID));
}

void LAStransform::report_overflows() const {
  std::vector<char> text;
  for (const auto& operation : operations) {
    if (operation->overflow == 0) continue;
    // sized to the operation: a file name or a "%lf" of a huge value does
    // not fit a fixed line
    text.assign(operation->option_text_bound() + 1, 0);
    operation->write_option_text(text.data());
    print_note("WARNING: total of %" PRId64 " overflows caused by '%s'\n", operation->overflow,
               text.data());
  }
}

int LAStransform::write_options_text(char* buffer) const {
  int n = 0;
  if (filter) {
    n += filter->write_options_text(buffer);
    n += sprintf(buffer + n, "-filtered_transform ");
  }
  for (const auto& operation : operations) n += operation->write_option_text(buffer + n);
  return n;
}

size_t LAStransform::options_text_bound() const {
  size_t bound = 1;
  for (const auto& operation : operations) bound += operation->option_text_bound();
  return bound;
}

uint32_t LAStransform::needed_fields_mask() const {
  uint32_t mask = 0;
  for (const auto& operation : operations) mask |= operation->needed_fields_mask();
  return mask;
}

bool LAStransform::take_argument_string(char* text) {
  return take_split_arguments(text,
                              [this](int argc, char** argv) { return take_arguments(argc, argv); });
}
