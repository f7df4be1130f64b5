#ifndef POINTLIB_FILTER_OPERATIONS_FILES_HPP
#define POINTLIB_FILTER_OPERATIONS_FILES_HPP

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "filter/las_operation.hpp"

// Operations driven by text files: value maps read once when the operation
// is made, and a file of attribute values read line by line as points pass.

// A map of "from to" lines over the values of a field; unmapped values stay.
class LASoperationMap : public LASoperation {
 public:
  // Reads the map; lines of at most 127 characters, both values below `size`.
  LASoperationMap(const char* file_name, uint32_t size);
  int write_option_text(char* buffer) const override;
  size_t option_text_bound() const override { return file_name.size() + 64; }
  const std::string& map_file_name() const { return file_name; }

 protected:
  std::vector<uint16_t> table;

 private:
  std::string file_name;
};

class LASoperationMapIntensity final : public LASoperationMap {
 public:
  explicit LASoperationMapIntensity(const char* file_name) : LASoperationMap(file_name, 65536) {}
  const char* option_name() const override { return "map_intensity"; }
  uint32_t needed_fields_mask() const override { return FIELD_INTENSITY; }
  void apply(LASpoint* point) override { point->intensity = table[point->intensity]; }
};

class LASoperationMapUserData final : public LASoperationMap {
 public:
  explicit LASoperationMapUserData(const char* file_name) : LASoperationMap(file_name, 256) {}
  const char* option_name() const override { return "map_user_data"; }
  uint32_t needed_fields_mask() const override { return FIELD_USER_DATA; }
  void apply(LASpoint* point) override {
    point->user_data = static_cast<uint8_t>(table[point->user_data]);
  }
};

class LASoperationMapPointSource final : public LASoperationMap {
 public:
  explicit LASoperationMapPointSource(const char* file_name) : LASoperationMap(file_name, 65536) {}
  const char* option_name() const override { return "map_point_source"; }
  uint32_t needed_fields_mask() const override { return FIELD_POINT_SOURCE; }
  void apply(LASpoint* point) override { point->point_source_ID = table[point->point_source_ID]; }
};

// Colours an attribute value by a table of "value R G B" lines sorted by value.
class LASoperationMapAttributeIntoRGB final : public LASoperation {
 public:
  LASoperationMapAttributeIntoRGB(uint32_t index, const char* file_name);
  const char* option_name() const override { return "map_attribute_into_RGB"; }
  int write_option_text(char* buffer) const override;
  size_t option_text_bound() const override { return file_name.size() + 64; }
  uint32_t needed_fields_mask() const override { return FIELD_EXTRA_BYTES; }
  void apply(LASpoint* point) override;
  size_t entries() const { return values.size(); }

 private:
  uint32_t index;
  std::string file_name;
  std::vector<double> values;
  std::vector<uint8_t> red, green, blue;
};

// The n-th point of a file gets the n-th number line of a text file.
class LASoperationLoadAttributeFromText final : public LASoperation {
 public:
  LASoperationLoadAttributeFromText(uint32_t index, const char* file_name);
  ~LASoperationLoadAttributeFromText() override;
  const char* option_name() const override { return "load_attribute_from_text"; }
  int write_option_text(char* buffer) const override;
  size_t option_text_bound() const override { return file_name.size() + 64; }
  void apply(LASpoint* point) override;
  // Starts the file over and keeps the overflow counter.
  void restart() override;

 private:
  uint32_t index;
  std::string file_name;
  FILE* file = nullptr;
};

#endif  // POINTLIB_FILTER_OPERATIONS_FILES_HPP
