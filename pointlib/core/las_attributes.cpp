#include "core/las_attributes.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "core/las_point.hpp"
#include "platform/run_messages.hpp"

namespace {

const int32_t kBaseSize[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

template <typename V>
V load(const uint8_t* p) {
  V v;
  std::memcpy(&v, p, sizeof(V));
  return v;
}

template <typename V>
void store(uint8_t* p, V v) {
  std::memcpy(p, &v, sizeof(V));
}

// Both round half away from zero and clamp to the type's range instead of
// letting an out-of-range value wrap. 2^bits is exact in a double, so the
// bounds are compared against it rather than against the largest value.
template <typename S>
S to_signed(double v) {
  const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
  if (!(r == r)) return 0;
  const double half = static_cast<double>(static_cast<uint64_t>(1) << (sizeof(S) * 8 - 1));
  if (r >= half) return std::numeric_limits<S>::max();
  if (r <= -half - 1.0) return std::numeric_limits<S>::min();
  return static_cast<S>(r);
}

template <typename U>
U to_unsigned(double v) {
  if (!(v >= 0.0)) return 0;  // negative and NaN
  const double r = v + 0.5;
  const double limit = sizeof(U) == 8
                           ? 18446744073709551616.0
                           : static_cast<double>(static_cast<uint64_t>(1) << (sizeof(U) * 8));
  if (r >= limit) return std::numeric_limits<U>::max();
  return static_cast<U>(r);
}

}  // namespace

int32_t LASattributeDescriptor::byte_size() const {
  if (data_type == 0) return options;
  const int t = (data_type - 1) % 10;
  const int d = (data_type - 1) / 10 + 1;
  return d * kBaseSize[t];
}

double LASattributeDescriptor::value_as_double(const uint8_t* value) const {
  if (data_type == 0 || data_type > 30) return 0.0;
  double v = 0.0;
  switch ((data_type - 1) % 10) {
    case 0:
      v = load<uint8_t>(value);
      break;
    case 1:
      v = load<int8_t>(value);
      break;
    case 2:
      v = load<uint16_t>(value);
      break;
    case 3:
      v = load<int16_t>(value);
      break;
    case 4:
      v = load<uint32_t>(value);
      break;
    case 5:
      v = load<int32_t>(value);
      break;
    // both 64-bit integer types convert as signed, as stored files expect
    case 6:
    case 7:
      v = static_cast<double>(load<int64_t>(value));
      break;
    case 8:
      v = load<float>(value);
      break;
    case 9:
      v = load<double>(value);
      break;
  }
  if (options & kScaleBit) v *= scale[0];
  if (options & kOffsetBit) v += offset[0];
  return v;
}

void LASattributeDescriptor::store_value(uint8_t* value, double v) const {
  if (data_type == 0 || data_type > 30) return;
  if (options & kScaleBit) {
    if (options & kOffsetBit) v -= offset[0];
    v /= scale[0];
  } else if (options & kOffsetBit) {
    v -= offset[0];
  }
  switch ((data_type - 1) % 10) {
    case 0:
      store(value, to_unsigned<uint8_t>(v));
      break;
    case 1:
      store(value, to_signed<int8_t>(v));
      break;
    case 2:
      store(value, to_unsigned<uint16_t>(v));
      break;
    case 3:
      store(value, to_signed<int16_t>(v));
      break;
    case 4:
      store(value, to_unsigned<uint32_t>(v));
      break;
    case 5:
      store(value, to_signed<int32_t>(v));
      break;
    case 6:
      store(value, to_unsigned<uint64_t>(v));
      break;
    case 7:
      store(value, to_signed<int64_t>(v));
      break;
    case 8:
      store(value, static_cast<float>(v));
      break;
    case 9:
      store(value, v);
      break;
  }
}

bool LASattributeDescriptor::make(int type_index, const char* name, const char* description,
                                  LASattributeDescriptor* out) {
  if (type_index < 0 || type_index > 9 || name == nullptr) return false;
  std::memset(out, 0, sizeof(*out));
  out->data_type = static_cast<uint8_t>(type_index + 1);
  // The fields hold 32 characters without a terminating zero when full.
  std::memcpy(out->name, name, std::min(std::strlen(name), sizeof(out->name)));
  if (description) {
    std::memcpy(out->description, description,
                std::min(std::strlen(description), sizeof(out->description)));
  }
  for (double& s : out->scale) s = 1.0;
  return true;
}

bool LASattributeDescriptor::is_unsigned() const {
  const int t = data_type == 0 ? -1 : (data_type - 1) % 10;
  return t == 0 || t == 2 || t == 4 || t == 6;
}

bool LASattributeDescriptor::is_signed() const {
  const int t = data_type == 0 ? -1 : (data_type - 1) % 10;
  return t == 1 || t == 3 || t == 5 || t == 7;
}

void LASattributeDescriptor::widen_range(const uint8_t* value, bool first) {
  if (data_type == 0 || data_type > 30) return;
  const int t = (data_type - 1) % 10;
  if (is_unsigned()) {
    uint64_t v = 0;
    if (t == 0) v = load<uint8_t>(value);
    if (t == 2) v = load<uint16_t>(value);
    if (t == 4) v = load<uint32_t>(value);
    if (t == 6) v = load<uint64_t>(value);
    if (first || v < load<uint64_t>(min[0])) store(min[0], v);
    if (first || v > load<uint64_t>(max[0])) store(max[0], v);
  } else if (is_signed()) {
    int64_t v = 0;
    if (t == 1) v = load<int8_t>(value);
    if (t == 3) v = load<int16_t>(value);
    if (t == 5) v = load<int32_t>(value);
    if (t == 7) v = load<int64_t>(value);
    if (first || v < load<int64_t>(min[0])) store(min[0], v);
    if (first || v > load<int64_t>(max[0])) store(max[0], v);
  } else {
    const double v = t == 8 ? static_cast<double>(load<float>(value)) : load<double>(value);
    if (first || v < load<double>(min[0])) store(min[0], v);
    if (first || v > load<double>(max[0])) store(max[0], v);
  }
  if (first) options |= kMinBit | kMaxBit;
}

int32_t LASattributeTable::add_attribute(const LASattributeDescriptor& descriptor) {
  const int32_t size = descriptor.byte_size();
  if (size <= 0) return -1;
  const int32_t start = total_attribute_size();
  attributes.push_back(descriptor);
  attribute_starts.push_back(start);
  attribute_sizes.push_back(size);
  return number_attributes++;
}

bool LASattributeTable::load_descriptors(uint32_t n, const LASattributeDescriptor* descriptors) {
  clear_attributes();
  if (n == 0 || descriptors == nullptr) return true;
  try {
    attributes.assign(descriptors, descriptors + n);
    attribute_starts.resize(n);
    attribute_sizes.resize(n);
  } catch (const std::bad_alloc&) {
    clear_attributes();
    return false;
  }
  int32_t start = 0;
  for (uint32_t i = 0; i < n; i++) {
    attribute_starts[i] = start;
    attribute_sizes[i] = attributes[i].byte_size();
    start += attribute_sizes[i];
  }
  number_attributes = static_cast<int32_t>(n);
  return true;
}

void LASattributeTable::clear_attributes() {
  number_attributes = 0;
  attributes.clear();
  attribute_starts.clear();
  attribute_sizes.clear();
}

bool LASattributeTable::check_extra_bytes(int32_t extra_bytes_number) {
  int32_t keep = 0;
  while (keep < number_attributes &&
         attribute_starts[keep] + attribute_sizes[keep] <= extra_bytes_number) {
    keep++;
  }
  if (keep == number_attributes) return true;
  for (int32_t i = keep; i < number_attributes; i++) {
    print_note(
        "WARNING: attribute %d ('%.32s') of %d bytes at offset %d does not fit into %d "
        "extra bytes. ignoring it.\n",
        i, attributes[i].name, attribute_sizes[i], attribute_starts[i], extra_bytes_number);
  }
  number_attributes = keep;
  attributes.resize(keep);
  attribute_starts.resize(keep);
  attribute_sizes.resize(keep);
  return false;
}

int32_t LASattributeTable::total_attribute_size() const {
  if (number_attributes == 0) return 0;
  return attribute_starts[number_attributes - 1] + attribute_sizes[number_attributes - 1];
}

int32_t LASattributeTable::get_attribute_index(const char* name) const {
  for (int32_t i = 0; i < number_attributes; i++) {
    if (std::strncmp(attributes[i].name, name, 32) == 0) return i;
  }
  return -1;
}

bool LASattributeTable::get_value(const LASpoint& point, int32_t index, double* value) const {
  if (index < 0 || index >= number_attributes || !point.extra_bytes) return false;
  if (attribute_starts[index] + attribute_sizes[index] > point.extra_bytes_number) return false;
  *value = attributes[index].value_as_double(point.extra_bytes.get() + attribute_starts[index]);
  return true;
}

bool LASattributeTable::set_value(LASpoint& point, int32_t index, double value) const {
  if (index < 0 || index >= number_attributes || !point.extra_bytes) return false;
  if (attribute_starts[index] + attribute_sizes[index] > point.extra_bytes_number) return false;
  attributes[index].store_value(point.extra_bytes.get() + attribute_starts[index], value);
  return true;
}
