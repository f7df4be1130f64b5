#ifndef POINTLIB_FILTER_LAS_TRANSFORM_HPP
#define POINTLIB_FILTER_LAS_TRANSFORM_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "filter/las_filter.hpp"
#include "filter/las_operation.hpp"

// Change flags: which parts of a point the operations may change.
enum : int32_t {
  TRANSFORM_CHANGES_X = 1,
  TRANSFORM_CHANGES_Y = 2,
  TRANSFORM_CHANGES_Z = 4,
  TRANSFORM_CHANGES_RGB = 0x20000,
  TRANSFORM_CHANGES_NIR = 0x2000000
};

// An ordered list of per-point operations with sixteen scratch registers and
// an optional owned filter that limits the operations to the points it keeps.
class LAStransform {
 public:
  int32_t change_flags = 0;
  double registers[16] = {};
  int32_t is_filtered = 0;

  LAStransform() = default;
  ~LAStransform() { remove_all(); }
  LAStransform(const LAStransform&) = delete;
  LAStransform& operator=(const LAStransform&) = delete;

  // The transform owns the operation from now on.
  void append_operation(LASoperation* operation);
  // Deletes the first operation of that name; the later ones move down.
  void remove_operation(const char* name);
  // Deletes every operation and the owned filter and clears the change flags;
  // registers and is_filtered stay.
  void remove_all();

  void apply(LASpoint* point) {
    if (filter && filter->rejects(point)) return;
    const uint32_t n = num_operations();
    for (uint32_t i = 0; i < n; i++) operations[i]->apply(point);
  }

  // Before each input file: every operation's restart, registers to 0.
  void restart_all();
  // Takes ownership; null also clears is_filtered.
  void attach_filter(LASfilter* filter);
  LASfilter* get_filter() const { return filter.get(); }
  // Replaces the first "set_point_source" operation by one with this ID at
  // the end of the list.
  void set_source_id_operation(uint16_t point_source_ID);
  // One warning line per operation whose overflow counter is not 0. Readers
  // call it when they are destroyed.
  void report_overflows() const;

  // The filter's text and "-filtered_transform " when a filter is attached,
  // then every operation's text; into a buffer the caller makes large enough
  // (options_text_bound() bounds the operations' part).
  int write_options_text(char* buffer) const;
  size_t options_text_bound() const;

  // The option parser over a shared argument vector (entry 0 is not looked
  // at): consumed entries are blanked, unknown words left alone. False after
  // an error message.
  bool take_arguments(int argc, char** argv);
  // The same over one string of words separated by blanks, split in place.
  bool take_argument_string(char* text);
  void print_help() const;

  uint32_t num_operations() const { return static_cast<uint32_t>(operations.size()); }
  uint32_t alloc_operations() const { return slots; }
  LASoperation* operation(uint32_t i) const { return operations[i].get(); }
  // Or of the fields the operations read or write.
  uint32_t needed_fields_mask() const;

 private:
  std::vector<std::unique_ptr<LASoperation>> operations;
  uint32_t slots = 0;  // grows by 16
  std::unique_ptr<LASfilter> filter;
};

#endif  // POINTLIB_FILTER_LAS_TRANSFORM_HPP
