#include "filter/operations_files.hpp"

#include <cmath>

LASoperationMap::LASoperationMap(const char* file_name, uint32_t size)
    : table(size), file_name(file_name) {
  for (uint32_t i = 0; i < size; i++) table[i] = static_cast<uint16_t>(i);
  FILE* file = fopen(file_name, "r");
  if (file == nullptr) return;
  char line[128];
  while (fgets(line, sizeof(line), file)) {
    unsigned from, to;
    if (sscanf(line, "%u %u", &from, &to) == 2 && from < size && to < size) {
      table[from] = static_cast<uint16_t>(to);
    }
  }
  fclose(file);
}

int LASoperationMap::write_option_text(char* buffer) const {
  return sprintf(buffer, "-%s \"%s\" ", option_name(), file_name.c_str());
}

LASoperationMapAttributeIntoRGB::LASoperationMapAttributeIntoRGB(uint32_t index,
                                                                 const char* file_name)
    : index(index), file_name(file_name) {
  // One pass is enough where the entries go into growing arrays.
  FILE* file = fopen(file_name, "r");
  if (file == nullptr) return;
  char line[256];
  while (fgets(line, sizeof(line), file)) {
    double value;
    unsigned r, g, b;
    if (sscanf(line, "%lf %u %u %u", &value, &r, &g, &b) == 4 && r < 256 && g < 256 && b < 256) {
      values.push_back(value);
      red.push_back(static_cast<uint8_t>(r));
      green.push_back(static_cast<uint8_t>(g));
      blue.push_back(static_cast<uint8_t>(b));
    }
  }
  fclose(file);
}

int LASoperationMapAttributeIntoRGB::write_option_text(char* buffer) const {
  return sprintf(buffer, "-%s %u \"%s\" ", option_name(), index, file_name.c_str());
}

void LASoperationMapAttributeIntoRGB::apply(LASpoint* point) {
  const size_t n = values.size();
  if (n == 0) return;
  const double v = transform_field::attribute_value(point, index);
  size_t best = 0;
  if (v <= values[0]) {
    best = 0;
  } else if (v >= values[n - 1]) {
    best = n - 1;
  } else {
    // the nearest entry; on equal distances the earlier one
    double best_distance = std::fabs(v - values[0]);
    for (size_t i = 1; i < n; i++) {
      const double d = std::fabs(v - values[i]);
      if (d < best_distance) {
        best_distance = d;
        best = i;
      }
    }
  }
  point->rgb[0] = red[best];
  point->rgb[1] = green[best];
  point->rgb[2] = blue[best];
}

LASoperationLoadAttributeFromText::LASoperationLoadAttributeFromText(uint32_t index,
                                                                     const char* file_name)
    : index(index), file_name(file_name), file(fopen(file_name, "r")) {}

LASoperationLoadAttributeFromText::~LASoperationLoadAttributeFromText() {
  if (file) fclose(file);
}

int LASoperationLoadAttributeFromText::write_option_text(char* buffer) const {
  return sprintf(buffer, "-%s %u \"%s\" ", option_name(), index, file_name.c_str());
}

void LASoperationLoadAttributeFromText::apply(LASpoint* point) {
  if (file == nullptr) return;
  char line[256];
  while (fgets(line, sizeof(line), file)) {
    double value;
    if (sscanf(line, "%lf", &value) == 1) {
      transform_field::attribute_store(point, index, value);
      return;
    }
  }
  fclose(file);
  file = nullptr;
}

void LASoperationLoadAttributeFromText::restart() {
  if (file) fclose(file);
  file = fopen(file_name.c_str(), "r");
}
