// The filter's option parser: one table row per option word.

#include <cstdio>
#include <cstring>
#include <utility>

#include "filter/criteria_class.hpp"
#include "filter/criteria_colour.hpp"
#include "filter/criteria_combine.hpp"
#include "filter/criteria_coordinates.hpp"
#include "filter/criteria_field.hpp"
#include "filter/criteria_return.hpp"
#include "filter/criteria_thinning.hpp"
#include "filter/criteria_time.hpp"
#include "filter/las_filter.hpp"
#include "filter/option_args.hpp"

namespace {

constexpr uint32_t U8_MAX = 255;
constexpr uint32_t U16_MAX = 65535;

// One pass of the parser over an argument vector.
struct Walk : OptionWalk {
  LASfilter* filter;
  // extended classes 0..255, collected over the whole walk
  uint32_t keep_extended[8] = {};
  uint32_t drop_extended[8] = {};
};

struct FilterOption;
using Maker = bool (*)(Walk&, const FilterOption&);

// An option word, the names of its arguments as the messages give them, and
// the maker that reads the arguments and appends the criteria.
struct FilterOption {
  const char* word;
  const char* names;
  Maker make;
};

// Blanks the option word and every argument read, so that the parsers that
// walk the vector after this one do not see them.
bool consume(Walk& w) {
  blank_arguments(w.argv, w.i, w.next);
  return true;
}

bool add(Walk& w, LAScriterion* criterion) {
  w.filter->append_criterion(criterion);
  return consume(w);
}

// Reads the N arguments behind the option word. Missing entries give
// "needs N arguments: names", an unreadable one "... but '<entry>' is no valid
// <name>". `labels` replaces the names in the second message where the
// wording differs (a label beginning with '=' drops the word "but");
// `need` replaces the "N arguments: names" part of it.
template <typename T, int N>
bool read_args(Walk& w, T (&v)[N], const char* names, const char* labels = nullptr,
               const char* need = nullptr) {
  char needs[128];
  snprintf(needs, sizeof(needs), "%d argument%s: %s", N, N == 1 ? "" : "s", names);
  if (w.i + N >= w.argc) return option_fail("ERROR: '%s' needs %s\n", w.word(), needs);
  for (int k = 0; k < N; k++) {
    if (sscanf(w.arg(k + 1), scan_format(&v[k]), &v[k]) != 1) {
      char label[64];
      nth_list_word(labels ? labels : names, ' ', k, label, sizeof(label));
      const bool but = label[0] != '=';
      return option_fail("ERROR: '%s' needs %s %s'%s' is no valid %s\n", w.word(),
                         need ? need : needs, but ? "but " : "", w.arg(k + 1),
                         label + (but ? 0 : 1));
    }
  }
  w.next = w.i + N + 1;
  return true;
}

// A list of unsigned numbers: the first entry must be there and readable,
// further entries are taken while they begin with a digit. `each` checks and
// keeps one number (printing its own message on a bad one).
struct ListMessages {
  const char* missing;            // with the option word
  const char* bad;                // with the option word and the entry, or the entry alone
  bool bad_names_word;            // whether `bad` takes the option word first
  const char* further = nullptr;  // message for a bad further entry (entry alone)
};

template <typename F>
bool read_list(Walk& w, const ListMessages& m, F each) {
  if (w.i + 1 >= w.argc) return option_fail(m.missing, w.word());
  int k = w.i + 1;
  do {
    uint32_t value;
    if (sscanf(w.argv[k], "%u", &value) != 1) {
      if (k > w.i + 1 && m.further) return option_fail(m.further, w.argv[k]);
      return m.bad_names_word ? option_fail(m.bad, w.word(), w.argv[k])
                              : option_fail(m.bad, w.argv[k]);
    }
    if (!each(value)) return false;
    k++;
  } while (k < w.argc && starts_with_digit(w.argv[k]));
  w.next = k;
  return true;
}

template <typename C, typename T, size_t... I>
C* construct(const T* v, std::index_sequence<I...>) {
  return new C(v[I]...);
}

// Reads the arguments as they are and makes the criterion from them in order.
template <typename C, typename T, int N>
bool plain(Walk& w, const FilterOption& o) {
  T v[N];
  if (!read_args(w, v, o.names)) return false;
  return add(w, construct<C>(v, std::make_index_sequence<N>()));
}

template <typename C>
bool word_only(Walk& w, const FilterOption&) {
  w.next = w.i + 1;
  return add(w, new C());
}

// Two values given in either order; the smaller becomes the minimum.
template <typename C, typename T>
bool ordered(Walk& w, const FilterOption& o) {
  T v[2];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > v[1]) std::swap(v[0], v[1]);
  return add(w, new C(v[0], v[1]));
}

template <typename C, int CHANNEL>
bool colour(Walk& w, const FilterOption& o) {
  int32_t v[2];
  if (!read_args(w, v, o.names, "value value")) return false;
  if (v[0] > v[1]) std::swap(v[0], v[1]);
  return add(w, new C(v[0], v[1], CHANNEL));
}

bool greenness(Walk& w, const FilterOption& o) {
  int32_t v[2];
  if (!read_args(w, v, o.names, "value value")) return false;
  if (v[0] > v[1]) std::swap(v[0], v[1]);
  return add(w, new LAScriterionKeepRGBgreenness(v[0], v[1]));
}

template <int CHANNEL>
bool ndvi(Walk& w, const FilterOption& o) {
  float v[2];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > v[1]) std::swap(v[0], v[1]);
  return add(w, new LAScriterionKeepNDVI(v[0], v[1], CHANNEL));
}

template <typename C, uint32_t NUMBER>
bool number_word(Walk& w, const FilterOption&) {
  w.next = w.i + 1;
  return add(w, new C(NUMBER));
}

// Attributes: an index ("%d") and one or two values ("%lf").
template <typename C, int VALUES>
bool attribute(Walk& w, const FilterOption& o) {
  int32_t index[1];
  double v[2] = {0.0, 0.0};
  const int n = 1 + VALUES;
  char needs[96];
  snprintf(needs, sizeof(needs), "%d arguments: %s", n, o.names);
  if (w.i + n >= w.argc) return option_fail("ERROR: '%s' needs %s\n", w.word(), needs);
  if (sscanf(w.arg(1), "%d", &index[0]) != 1 || index[0] < 0) {
    return option_fail("ERROR: '%s' needs %s but '%s' is no valid index\n", w.word(), needs,
                       w.arg(1));
  }
  for (int k = 0; k < VALUES; k++) {
    if (sscanf(w.arg(2 + k), "%lf", &v[k]) != 1) {
      char label[32];
      nth_list_word(o.names, ' ', 1 + k, label, sizeof(label));
      if (VALUES == 1) {
        return option_fail("ERROR: '%s' needs %s '%s' is no valid value\n", w.word(), needs,
                           w.arg(2));
      }
      return option_fail("ERROR: '%s' needs %s but '%s' is no valid %s\n", w.word(), needs,
                         w.arg(2 + k), label);
    }
  }
  w.next = w.i + n + 1;
  return add(w, new C(static_cast<uint32_t>(index[0]), v[0], v[1]));
}

// Classes merge with the class criterion just before them, so that repeated
// "-keep_class" options keep the union of their classes.
bool keep_class(Walk& w, const FilterOption&) {
  uint32_t keep = 0;
  const ListMessages m = {
      "ERROR: '%s' needs at least 1 argument: classification\n",
      "ERROR: '%s' needs at least 1 argument: classification but '%s' is no valid "
      "classification\n",
      true};
  const bool ok = read_list(w, m, [&](uint32_t c) {
    if (c > 31) {
      return option_fail("ERROR: '%s' needs arguments between 0 and 31 but '%u' is out of range\n",
                         w.word(), c);
    }
    keep |= 1u << c;
    return true;
  });
  if (!ok) return false;
  const uint32_t n = w.filter->count();
  if (n && strcmp(w.filter->criterion(n - 1)->option_name(), "keep_classification_mask") == 0) {
    auto last = w.filter->take_last();
    keep |= ~static_cast<LAScriterionKeepClassifications*>(last.get())->mask();
  }
  return add(w, new LAScriterionKeepClassifications(~keep));
}

bool drop_class(Walk& w, const FilterOption&) {
  uint32_t drop = 0;
  const ListMessages m = {"ERROR: '%s' needs at least 1 argument: classification\n",
                          "ERROR: '-drop_classification' needs at least 1 argument: "
                          "classification but '%s' is no valid classification\n",
                          false};
  const bool ok = read_list(w, m, [&](uint32_t c) {
    if (c > 31)
      return option_fail("ERROR: cannot drop classification %u because it is larger than 31\n", c);
    drop |= 1u << c;
    return true;
  });
  if (!ok) return false;
  const uint32_t n = w.filter->count();
  if (n && strcmp(w.filter->criterion(n - 1)->option_name(), "drop_classification_mask") == 0) {
    auto last = w.filter->take_last();
    drop |= static_cast<LAScriterionDropClassifications*>(last.get())->mask();
  }
  return add(w, new LAScriterionDropClassifications(drop));
}

template <bool KEEP>
bool classification_mask(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, nullptr, "at least 1 argument: mask")) return false;
  if (KEEP) return add(w, new LAScriterionKeepClassifications(~v[0]));
  return add(w, new LAScriterionDropClassifications(v[0]));
}

bool keep_extended_class(Walk& w, const FilterOption&) {
  const ListMessages m = {"ERROR: '%s' needs at least a argument: classification\n",
                          "ERROR: '-keep_extended_classification' needs at least 1 argument: "
                          "classification but '%s' is no valid classification\n",
                          false};
  const bool ok = read_list(w, m, [&](uint32_t c) {
    if (c > 255) {
      return option_fail(
          "ERROR: cannot keep extended classification %u because it is larger than 255\n", c);
    }
    w.keep_extended[c >> 5] |= 1u << (c & 31);
    return true;
  });
  return ok && consume(w);
}

bool drop_extended_class(Walk& w, const FilterOption&) {
  const ListMessages m = {"ERROR: '%s' needs at least 1 argument: classification\n",
                          "ERROR: '-drop_extended_classification' needs at least 1 argument: "
                          "classification but '%s' is no valid classification\n",
                          false};
  const bool ok = read_list(w, m, [&](uint32_t c) {
    if (c > 255) {
      return option_fail(
          "ERROR: cannot drop extended classification %u because it is larger than 255\n", c);
    }
    w.drop_extended[c >> 5] |= 1u << (c & 31);
    return true;
  });
  return ok && consume(w);
}

bool drop_extended_classification_mask(Walk& w, const FilterOption&) {
  static const char kNeeds[] =
      "ERROR: '%s' needs 8 arguments: mask7 mask6 mask5 mask4 mask3 mask2 mask1 mask0\n";
  if (w.i + 8 >= w.argc) return option_fail(kNeeds, w.word());
  uint32_t words[8];
  for (int k = 0; k < 8; k++) {
    if (sscanf(w.arg(1 + k), "%u", &words[7 - k]) != 1) {
      option_fail(kNeeds, w.word());
      return option_fail("       but '%s' is a bad argument for mask%d\n", w.arg(1 + k), 7 - k);
    }
  }
  for (int k = 0; k < 8; k++) w.drop_extended[k] = words[k];
  w.next = w.i + 9;
  return consume(w);
}

// Return numbers merge with the return criterion just before them, as classes do.
template <bool KEEP>
bool return_list(Walk& w, const FilterOption&) {
  uint32_t set = 0;
  const ListMessages m = {
      "ERROR: '%s' needs at least 1 argument: return_number\n",
      KEEP ? "ERROR: '-keep_return' needs at least 1 argument: return_number but '%s' is no valid "
             "return_number\n"
           : "ERROR: '-drop_return' needs at least 1 argument: return_number but '%s' is no valid "
             "return_number\n",
      false};
  const bool ok = read_list(w, m, [&](uint32_t r) {
    if (r > 15) {
      return option_fail(KEEP
                             ? "ERROR: cannot keep return_number %u because it is larger than 15\n"
                             : "ERROR: cannot drop return_number %u because it is larger than 15\n",
                         r);
    }
    set |= 1u << r;
    return true;
  });
  if (!ok) return false;
  const uint32_t n = w.filter->count();
  const char* merge_name = KEEP ? "keep_return_mask" : "drop_return_mask";
  if (n && strcmp(w.filter->criterion(n - 1)->option_name(), merge_name) == 0) {
    auto last = w.filter->take_last();
    const uint16_t mask = static_cast<LAScriterionReturnMask*>(last.get())->mask();
    set |= KEEP ? (~mask & 0xFFFFu) : mask;
  }
  if (KEEP) return add(w, new LAScriterionKeepReturns(static_cast<uint16_t>(~set)));
  return add(w, new LAScriterionDropReturns(static_cast<uint16_t>(set)));
}

template <bool KEEP>
bool return_mask(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail("ERROR: '%s' needs a return_mask between 0 and %u but return_mask is %u\n",
                       w.word(), U16_MAX, v[0]);
  }
  if (KEEP) return add(w, new LAScriterionKeepReturns(static_cast<uint16_t>(~v[0])));
  return add(w, new LAScriterionDropReturns(static_cast<uint16_t>(v[0])));
}

bool keep_number_of_returns(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  return add(w, new LAScriterionKeepSpecificNumberOfReturns(v[0]));
}

bool drop_number_of_returns(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (v[0] > 15) {
    return option_fail(
        "ERROR: '%s' needs 1 argument: number of returns but '%u' is no valid value\n", w.word(),
        v[0]);
  }
  return add(w, new LAScriterionDropSpecificNumberOfReturns(v[0]));
}

bool drop_scan_direction(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (v[0] > 1) {
    return option_fail("ERROR: '%s' needs 1 argument: scan direction but '%u' is no valid value\n",
                       w.word(), v[0]);
  }
  return add(w, new LAScriterionDropScanDirection(static_cast<int32_t>(v[0])));
}

bool keep_scanner_channel(Walk& w, const FilterOption& o) {
  int32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] < 0 || v[0] > 3) {
    return option_fail(
        "ERROR: '%s' needs 1 argument: number between 0 and 3 so '%s' is not valid\n", w.word(),
        w.arg(1));
  }
  return add(w, new LAScriterionKeepScannerChannel(v[0]));
}

bool drop_scanner_channel(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (w.i + 1 >= w.argc)
    return option_fail("ERROR: '%s' needs 1 argument: %s\n", w.word(), o.names);
  if (sscanf(w.arg(1), "%u", &v[0]) != 1) {
    return option_fail("ERROR: '%s' needs 1 argument channel but '%s' is no valid value\n",
                       w.word(), w.arg(1));
  }
  if (v[0] > 3) return option_fail("ERROR: %u is no valid value for '%s'\n", v[0], w.word());
  w.next = w.i + 2;
  return add(w, new LAScriterionDropScannerChannel(static_cast<int32_t>(v[0])));
}

bool keep_intensity(Walk& w, const FilterOption& o) {
  uint32_t v[2];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail("ERROR: cannot keep intensity because min of %u is larger than %u\n", v[0],
                       U16_MAX);
  }
  if (v[1] > U16_MAX) {
    return option_fail("ERROR: cannot keep intensity because max of %u is larger than %u\n", v[1],
                       U16_MAX);
  }
  return add(w, new LAScriterionKeepIntensity(v[0], v[1]));
}

bool keep_intensity_above(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail(
        "ERROR: cannot keep intensity above max of %u because it is larger than %u\n", v[0],
        U16_MAX);
  }
  return add(w, new LAScriterionKeepIntensityAbove(v[0]));
}

bool keep_intensity_below(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail(
        "ERROR: cannot keep intensity below min of %u because it is larger than %u\n", v[0],
        U16_MAX);
  }
  return add(w, new LAScriterionKeepIntensityBelow(v[0]));
}

// User data is one byte: values outside 0..255 are refused rather than cut to
// their low byte (256 would otherwise keep the points of user data 0).
bool user_data_in_range(int32_t value, const char* which) {
  if (value > 255) {
    return option_fail("ERROR: cannot keep user data %s %d because it is larger than 255\n", which,
                       value);
  }
  if (value < 0) {
    return option_fail("ERROR: cannot keep user data %s %d because it is smaller than 0\n", which,
                       value);
  }
  return true;
}

template <typename C>
bool keep_user_data(Walk& w, const FilterOption& o) {
  int32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (!user_data_in_range(v[0], "value")) return false;
  return add(w, new C(v[0]));
}

bool keep_user_data_between(Walk& w, const FilterOption& o) {
  int32_t v[2];
  if (!read_args(w, v, o.names)) return false;
  if (!user_data_in_range(v[0], "min") || !user_data_in_range(v[1], "max")) return false;
  return add(w, new LAScriterionKeepUserDataBetween(v[0], v[1]));
}

bool drop_user_data(Walk& w, const FilterOption&) {
  const ListMessages m = {"ERROR: '%s' needs at least 1 argument: value\n",
                          "ERROR: '-drop_user_data' needs at least 1 argument: value but '%s' is "
                          "no valid value\n",
                          false};
  std::vector<uint8_t> values;
  const bool ok = read_list(w, m, [&](uint32_t v) {
    if (v > U8_MAX)
      return option_fail("ERROR: cannot drop user data %u because it is larger than 255\n", v);
    values.push_back(static_cast<uint8_t>(v));
    return true;
  });
  if (!ok) return false;
  for (uint8_t v : values) w.filter->append_criterion(new LAScriterionDropUserData(v));
  return consume(w);
}

bool drop_user_data_below(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (v[0] > U8_MAX) {
    return option_fail("ERROR: cannot drop user data below %u because it is larger than 255\n",
                       v[0]);
  }
  return add(w, new LAScriterionDropUserDataBelow(v[0]));
}

bool drop_user_data_above(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (v[0] > U8_MAX) {
    return option_fail("ERROR: cannot drop user data above %u because it is larger than 255\n",
                       v[0]);
  }
  return add(w, new LAScriterionDropUserDataAbove(v[0]));
}

bool drop_user_data_between(Walk& w, const FilterOption& o) {
  uint32_t v[2];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U8_MAX) {
    return option_fail(
        "ERROR: cannot drop user data between min and max because min of %u is larger than "
        "255\n",
        v[0]);
  }
  if (v[1] > U8_MAX) {
    return option_fail(
        "ERROR: cannot drop user data between min and max because max of %u is larger than "
        "255\n",
        v[1]);
  }
  return add(w, new LAScriterionDropUserDataBetween(v[0], v[1]));
}

// Several IDs become a chain of and-combined criteria: a point is kept when
// its ID is any of them, and the text reads back to the same chain.
bool keep_point_source(Walk& w, const FilterOption&) {
  const ListMessages m = {
      "ERROR: '%s' needs at least 1 argument: ID\n",
      "ERROR: '%s' needs at least 1 argument: ID but '%s' is no valid ID\n", true,
      "ERROR: '-keep_point_source' takes one or more IDs but '%s' is no valid ID\n"};
  std::vector<uint16_t> ids;
  const bool ok = read_list(w, m, [&](uint32_t id) {
    if (id > U16_MAX) {
      return option_fail("ERROR: cannot keep_point_source ID %u because it is larger than %u\n", id,
                         U16_MAX);
    }
    ids.push_back(static_cast<uint16_t>(id));
    return true;
  });
  if (!ok) return false;
  w.filter->append_criterion(new LAScriterionKeepPointSource(ids[0]));
  for (size_t k = 1; k < ids.size(); k++) {
    std::unique_ptr<LAScriterion> older = w.filter->take_last();
    w.filter->append_criterion(new LAScriterionAnd(
        std::move(older), std::make_unique<LAScriterionKeepPointSource>(ids[k])));
  }
  return consume(w);
}

bool drop_point_source(Walk& w, const FilterOption&) {
  const ListMessages m = {"ERROR: '%s' needs at least 1 argument: ID\n",
                          "ERROR: '-drop_point_source' needs at least 1 argument: ID but '%s' is "
                          "no valid ID\n",
                          false};
  std::vector<uint16_t> ids;
  const bool ok = read_list(w, m, [&](uint32_t id) {
    if (id > U16_MAX) {
      return option_fail("ERROR: cannot drop_point_source ID %u because it is larger than %u\n", id,
                         U16_MAX);
    }
    ids.push_back(static_cast<uint16_t>(id));
    return true;
  });
  if (!ok) return false;
  for (uint16_t id : ids) w.filter->append_criterion(new LAScriterionDropPointSource(id));
  return consume(w);
}

template <typename C, bool KEEP>
bool point_source_between(Walk& w, const FilterOption& o) {
  uint32_t v[2];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail(
        KEEP ? "ERROR: cannot keep point source because min_ID of %u is larger than %u\n"
             : "ERROR: cannot drop point source because min_ID of %u is larger than %u\n",
        v[0], U16_MAX);
  }
  if (v[1] > U16_MAX) {
    return option_fail(
        KEEP ? "ERROR: cannot keep point source because max_ID of %u is larger than %u\n"
             : "ERROR: cannot drop point source because max_ID of %u is larger than %u\n",
        v[1], U16_MAX);
  }
  return add(w, new C(v[0], v[1]));
}

bool drop_point_source_below(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names, nullptr, "1 argument: min_ID max_ID")) return false;
  if (v[0] > U16_MAX) {
    return option_fail(
        "ERROR: cannot drop point source below min_ID of %u because it is larger than %u\n", v[0],
        U16_MAX);
  }
  return add(w, new LAScriterionDropPointSourceBelow(v[0]));
}

bool drop_point_source_above(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] > U16_MAX) {
    return option_fail(
        "ERROR: cannot drop point source above max_ID of %u because it is larger than %u\n", v[0],
        U16_MAX);
  }
  return add(w, new LAScriterionDropPointSourceAbove(v[0]));
}

// No absolute angle is below 0: a negative bound drops every point, a bound
// of 0 or less none. Those cases get ranges that are not empty, so that the
// option text reads back the same and the bound is never negated (the
// negation of -2147483648 overflows).
bool drop_abs_scan_angle_above(Walk& w, const FilterOption& o) {
  int32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] < 0) return add(w, new LAScriterionDropScanAngleBetween(INT32_MIN, INT32_MAX));
  return add(w, new LAScriterionKeepScanAngle(-v[0], v[0]));
}

bool drop_abs_scan_angle_below(Walk& w, const FilterOption& o) {
  int32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] <= 0) return add(w, new LAScriterionKeepScanAngle(INT32_MIN, INT32_MAX));
  return add(w, new LAScriterionDropScanAngleBetween(1 - v[0], v[0] - 1));
}

// The profile's direction comes from its two end points; equal ones leave
// it undefined (a division by a zero length), so they are refused here.
bool keep_profile(Walk& w, const FilterOption& o) {
  double v[5];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] == v[2] && v[1] == v[3]) {
    return option_fail("ERROR: '%s' needs two different end points but p1 and p2 are both %s %s\n",
                       w.word(), w.arg(1), w.arg(2));
  }
  return add(w, new LAScriterionKeepProfile(v[0], v[1], v[2], v[3], v[4]));
}

template <typename C>
bool every_nth(Walk& w, const FilterOption& o) {
  uint32_t v[1];
  if (!read_args(w, v, o.names)) return false;
  if (v[0] == 0) return option_fail("ERROR: %u is no valid nth for '%s'\n", v[0], w.word());
  return add(w, new C(v[0]));
}

bool keep_random_fraction(Walk& w, const FilterOption&) {
  if (w.i + 1 >= w.argc) return option_fail("ERROR: '%s' needs 1 argument: fraction\n", w.word());
  float fraction;
  if (sscanf(w.arg(1), "%f", &fraction) != 1) {
    return option_fail(
        "ERROR: '%s' needs at least 1 argument: fraction [seed] but '%s' is no valid "
        "fraction\n",
        w.word(), w.arg(1));
  }
  uint32_t seed = 0;
  w.next = w.i + 2;
  if (w.i + 2 < w.argc && w.arg(2)[0] >= '0' && w.arg(2)[0] <= '9') {
    if (sscanf(w.arg(2), "%u", &seed) != 1) {
      return option_fail("ERROR: '%s' takes seed as second argument but '%s' is no valid seed\n",
                         w.word(), w.arg(2));
    }
    w.next = w.i + 3;
  }
  return add(w, new LAScriterionKeepRandomFraction(fraction, seed));
}

bool thin_with_grid(Walk& w, const FilterOption& o) {
  float v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (!(v[0] > 0)) {
    return option_fail("ERROR: '%s' needs 1 argument: grid spacing but '%g' is no valid value\n",
                       w.word(), v[0]);
  }
  return add(w, new LAScriterionThinWithGrid(v[0]));
}

template <typename C>
bool thin_with_time(Walk& w, const FilterOption& o) {
  double v[1];
  if (!read_args(w, v, o.names, "value")) return false;
  if (!(v[0] > 0)) {
    return option_fail("ERROR: '%s' needs 1 argument: time spacing but '%g' is no valid value\n",
                       w.word(), v[0]);
  }
  return add(w, new C(v[0]));
}

template <typename C>
bool combine(Walk& w, const FilterOption&) {
  if (w.filter->count() < 2) {
    return option_fail("ERROR: '%s' needs to be preceeded by at least two filters\n", w.word());
  }
  std::unique_ptr<LAScriterion> newer = w.filter->take_last();
  std::unique_ptr<LAScriterion> older = w.filter->take_last();
  w.next = w.i + 1;
  return add(w, new C(std::move(older), std::move(newer)));
}

// clang-format off
const FilterOption kFilterOptions[] = {
  // scaled coordinates
  {"-keep_tile", "llx lly size", plain<LAScriterionKeepTile, float, 3>},
  {"-keep_circle", "center_x center_y radius", plain<LAScriterionKeepCircle, double, 3>},
  {"-keep_xy", "min_x min_y max_x max_y", plain<LAScriterionKeepxy, double, 4>},
  {"-drop_xy", "min_x min_y max_x max_y", plain<LAScriterionDropxy, double, 4>},
  {"-keep_xyz", "min_x min_y min_z max_x max_y max_z", plain<LAScriterionKeepxyz, double, 6>},
  {"-drop_xyz", "min_x min_y min_z max_x max_y max_z", plain<LAScriterionDropxyz, double, 6>},
  {"-keep_x", "min_x max_x", plain<LAScriterionKeepx, double, 2>},
  {"-drop_x", "min_x max_x", plain<LAScriterionDropx, double, 2>},
  {"-keep_y", "min_y max_y", plain<LAScriterionKeepy, double, 2>},
  {"-drop_y", "min_y max_y", plain<LAScriterionDropy, double, 2>},
  {"-keep_z", "min_z max_z", plain<LAScriterionKeepz, double, 2>},
  {"-drop_z", "min_z max_z", plain<LAScriterionDropz, double, 2>},
  {"-drop_x_below", "min_x", plain<LAScriterionDropxBelow, double, 1>},
  {"-drop_x_above", "max_x", plain<LAScriterionDropxAbove, double, 1>},
  {"-drop_y_below", "min_y", plain<LAScriterionDropyBelow, double, 1>},
  {"-drop_y_above", "max_y", plain<LAScriterionDropyAbove, double, 1>},
  {"-drop_z_below", "min_z", plain<LAScriterionDropzBelow, double, 1>},
  {"-drop_z_above", "max_z", plain<LAScriterionDropzAbove, double, 1>},
  {"-keep_z_above", "min_z", plain<LAScriterionDropzBelow, double, 1>},
  {"-keep_z_below", "max_z", plain<LAScriterionDropzAbove, double, 1>},
  {"-keep_profile", "p1_x p1_y p2_x p2_y width", keep_profile},
  // raw coordinates
  {"-keep_XY", "min_X min_Y max_X max_Y", plain<LAScriterionKeepXY, int32_t, 4>},
  {"-keep_X", "min_X max_X", plain<LAScriterionKeepX, int32_t, 2>},
  {"-drop_X", "min_X max_X", plain<LAScriterionDropX, int32_t, 2>},
  {"-keep_Y", "min_Y max_Y", plain<LAScriterionKeepY, int32_t, 2>},
  {"-drop_Y", "min_Y max_Y", plain<LAScriterionDropY, int32_t, 2>},
  {"-keep_Z", "min_Z max_Z", plain<LAScriterionKeepZ, int32_t, 2>},
  {"-drop_Z", "min_Z max_Z", plain<LAScriterionDropZ, int32_t, 2>},
  {"-drop_X_below", "min_X", plain<LAScriterionDropXBelow, int32_t, 1>},
  {"-drop_X_above", "max_X", plain<LAScriterionDropXAbove, int32_t, 1>},
  {"-drop_Y_below", "min_Y", plain<LAScriterionDropYBelow, int32_t, 1>},
  {"-drop_Y_above", "max_Y", plain<LAScriterionDropYAbove, int32_t, 1>},
  {"-drop_Z_below", "min_Z", plain<LAScriterionDropZBelow, int32_t, 1>},
  {"-drop_Z_above", "max_Z", plain<LAScriterionDropZAbove, int32_t, 1>},
  {"-keep_Z_above", "min_Z", plain<LAScriterionDropZBelow, int32_t, 1>},
  {"-keep_Z_below", "max_Z", plain<LAScriterionDropZAbove, int32_t, 1>},
  // returns
  {"-keep_first", "", word_only<LAScriterionKeepFirstReturn>},
  {"-first_only", "", word_only<LAScriterionKeepFirstReturn>},
  {"-drop_first", "", word_only<LAScriterionDropFirstReturn>},
  {"-keep_last", "", word_only<LAScriterionKeepLastReturn>},
  {"-last_only", "", word_only<LAScriterionKeepLastReturn>},
  {"-drop_last", "", word_only<LAScriterionDropLastReturn>},
  {"-keep_first_of_many", "", word_only<LAScriterionKeepFirstOfManyReturn>},
  {"-drop_first_of_many", "", word_only<LAScriterionDropFirstOfManyReturn>},
  {"-keep_last_of_many", "", word_only<LAScriterionKeepLastOfManyReturn>},
  {"-drop_last_of_many", "", word_only<LAScriterionDropLastOfManyReturn>},
  {"-keep_middle", "", word_only<LAScriterionKeepMiddleReturn>},
  {"-drop_middle", "", word_only<LAScriterionDropMiddleReturn>},
  {"-keep_second_last", "", word_only<LAScriterionKeepSecondLast>},
  {"-drop_second_last", "", word_only<LAScriterionDropSecondLast>},
  {"-keep_return", "return_number", return_list<true>},
  {"-drop_return", "return_number", return_list<false>},
  {"-keep_return_mask", "return_mask", return_mask<true>},
  {"-drop_return_mask", "return_mask", return_mask<false>},
  {"-keep_number_of_returns", "number_of_returns", keep_number_of_returns},
  {"-drop_number_of_returns", "number of returns", drop_number_of_returns},
  {"-keep_single", "", number_word<LAScriterionKeepSpecificNumberOfReturns, 1>},
  {"-keep_double", "", number_word<LAScriterionKeepSpecificNumberOfReturns, 2>},
  {"-keep_triple", "", number_word<LAScriterionKeepSpecificNumberOfReturns, 3>},
  {"-keep_quadruple", "", number_word<LAScriterionKeepSpecificNumberOfReturns, 4>},
  {"-keep_quintuple", "", number_word<LAScriterionKeepSpecificNumberOfReturns, 5>},
  {"-drop_single", "", number_word<LAScriterionDropSpecificNumberOfReturns, 1>},
  {"-drop_double", "", number_word<LAScriterionDropSpecificNumberOfReturns, 2>},
  {"-drop_triple", "", number_word<LAScriterionDropSpecificNumberOfReturns, 3>},
  {"-drop_quadruple", "", number_word<LAScriterionDropSpecificNumberOfReturns, 4>},
  {"-drop_quintuple", "", number_word<LAScriterionDropSpecificNumberOfReturns, 5>},
  // scan line and scanner channel
  {"-drop_scan_direction", "scan direction", drop_scan_direction},
  {"-keep_scan_direction_change", "", word_only<LAScriterionKeepScanDirectionChange>},
  {"-keep_edge_of_flight_line", "", word_only<LAScriterionKeepEdgeOfFlightLine>},
  {"-keep_scanner_channel", "number", keep_scanner_channel},
  {"-drop_scanner_channel", "channel", drop_scanner_channel},
  // intensity
  {"-keep_intensity", "min max", keep_intensity},
  {"-keep_intensity_above", "max", keep_intensity_above},
  {"-keep_intensity_below", "min", keep_intensity_below},
  {"-drop_intensity_above", "value", plain<LAScriterionDropIntensityAbove, int32_t, 1>},
  {"-drop_intensity_below", "value", plain<LAScriterionDropIntensityBelow, int32_t, 1>},
  {"-drop_intensity_between", "min max", plain<LAScriterionDropIntensityBetween, int32_t, 2>},
  // classifications and flags
  {"-keep_class", "classification", keep_class},
  {"-keep_classification", "classification", keep_class},
  {"-drop_class", "classification", drop_class},
  {"-drop_classification", "classification", drop_class},
  {"-keep_classification_mask", "mask", classification_mask<true>},
  {"-drop_classification_mask", "mask", classification_mask<false>},
  {"-keep_extended_class", "classification", keep_extended_class},
  {"-keep_extended_classification", "classification", keep_extended_class},
  {"-drop_extended_class", "classification", drop_extended_class},
  {"-drop_extended_classification", "classification", drop_extended_class},
  {"-drop_extended_classification_mask", "", drop_extended_classification_mask},
  {"-keep_synthetic", "", word_only<LAScriterionKeepSynthetic>},
  {"-drop_synthetic", "", word_only<LAScriterionDropSynthetic>},
  {"-keep_keypoint", "", word_only<LAScriterionKeepKeypoint>},
  {"-drop_keypoint", "", word_only<LAScriterionDropKeypoint>},
  {"-keep_withheld", "", word_only<LAScriterionKeepWithheld>},
  {"-drop_withheld", "", word_only<LAScriterionDropWithheld>},
  {"-keep_overlap", "", word_only<LAScriterionKeepOverlap>},
  {"-drop_overlap", "", word_only<LAScriterionDropOverlap>},
  // user data
  {"-keep_user_data", "value", keep_user_data<LAScriterionKeepUserData>},
  {"-keep_user_data_below", "value", keep_user_data<LAScriterionKeepUserDataBelow>},
  {"-keep_user_data_above", "value", keep_user_data<LAScriterionKeepUserDataAbove>},
  {"-keep_user_data_between", "min max", keep_user_data_between},
  {"-drop_user_data", "value", drop_user_data},
  {"-drop_user_data_below", "below", drop_user_data_below},
  {"-drop_user_data_above", "above", drop_user_data_above},
  {"-drop_user_data_between", "min max", drop_user_data_between},
  // point source
  {"-keep_point_source", "ID", keep_point_source},
  {"-keep_point_source_between", "min_ID max_ID",
   point_source_between<LAScriterionKeepPointSourceBetween, true>},
  {"-drop_point_source", "ID", drop_point_source},
  {"-drop_point_source_below", "min_ID", drop_point_source_below},
  {"-drop_point_source_above", "max_ID", drop_point_source_above},
  {"-drop_point_source_between", "min_ID max_ID",
   point_source_between<LAScriterionDropPointSourceBetween, false>},
  // scan angle
  {"-keep_scan_angle", "min max", ordered<LAScriterionKeepScanAngle, int32_t>},
  {"-keep_scan_angle_between", "min max", ordered<LAScriterionKeepScanAngle, int32_t>},
  {"-drop_abs_scan_angle_above", "max", drop_abs_scan_angle_above},
  {"-drop_abs_scan_angle_below", "min", drop_abs_scan_angle_below},
  {"-drop_scan_angle_above", "value", plain<LAScriterionDropScanAngleAbove, int32_t, 1>},
  {"-drop_scan_angle_below", "value", plain<LAScriterionDropScanAngleBelow, int32_t, 1>},
  {"-drop_scan_angle_between", "min max", ordered<LAScriterionDropScanAngleBetween, int32_t>},
  // GPS time
  {"-keep_gps_time", "start end", plain<LAScriterionKeepGpsTime, double, 2>},
  {"-keep_gpstime", "start end", plain<LAScriterionKeepGpsTime, double, 2>},
  {"-keep_gps_time_between", "start end", plain<LAScriterionKeepGpsTime, double, 2>},
  {"-keep_gpstime_between", "start end", plain<LAScriterionKeepGpsTime, double, 2>},
  {"-keep_gps_time_above", "time", plain<LAScriterionDropGpsTimeBelow, double, 1>},
  {"-keep_gpstime_above", "time", plain<LAScriterionDropGpsTimeBelow, double, 1>},
  {"-keep_gps_time_below", "time", plain<LAScriterionDropGpsTimeAbove, double, 1>},
  {"-keep_gpstime_below", "time", plain<LAScriterionDropGpsTimeAbove, double, 1>},
  {"-drop_gps_time_above", "max_gps_time", plain<LAScriterionDropGpsTimeAbove, double, 1>},
  {"-drop_gpstime_above", "max_gps_time", plain<LAScriterionDropGpsTimeAbove, double, 1>},
  {"-drop_gps_time_below", "min_gps_time", plain<LAScriterionDropGpsTimeBelow, double, 1>},
  {"-drop_gpstime_below", "min_gps_time", plain<LAScriterionDropGpsTimeBelow, double, 1>},
  {"-drop_gps_time_between", "start end", plain<LAScriterionDropGpsTimeBetween, double, 2>},
  {"-drop_gpstime_between", "start end", plain<LAScriterionDropGpsTimeBetween, double, 2>},
  // colour channels and vegetation indices
  {"-keep_RGB_red", "min max", colour<LAScriterionKeepRGB, 0>},
  {"-keep_RGB_green", "min max", colour<LAScriterionKeepRGB, 1>},
  {"-keep_RGB_blue", "min max", colour<LAScriterionKeepRGB, 2>},
  {"-keep_RGB_nir", "min max", colour<LAScriterionKeepRGB, 3>},
  {"-drop_RGB_red", "min max", colour<LAScriterionDropRGB, 0>},
  {"-drop_RGB_green", "min max", colour<LAScriterionDropRGB, 1>},
  {"-drop_RGB_blue", "min max", colour<LAScriterionDropRGB, 2>},
  {"-drop_RGB_nir", "min max", colour<LAScriterionDropRGB, 3>},
  {"-keep_RGB_greenness", "min max", greenness},
  {"-keep_NDVI", "min max", ndvi<3>},
  {"-keep_NDVI_green_is_NIR", "min max", ndvi<1>},
  {"-keep_NDVI_blue_is_NIR", "min max", ndvi<2>},
  {"-keep_NDVI_from_CIR", "min max", ordered<LAScriterionKeepNDVIfromCIR, float>},
  {"-keep_NDVI_intensity_is_NIR", "min max", ordered<LAScriterionKeepNDVIintensityIsNIR, float>},
  // wave packet and extra-bytes attributes
  {"-keep_wavepacket", "index", plain<LAScriterionKeepWavepacket, uint32_t, 1>},
  {"-drop_wavepacket", "index", plain<LAScriterionDropWavepacket, uint32_t, 1>},
  {"-keep_attribute_below", "index value", attribute<LAScriterionKeepAttributeBelow, 1>},
  {"-keep_attribute_above", "index value", attribute<LAScriterionKeepAttributeAbove, 1>},
  {"-keep_attribute_between", "index min max", attribute<LAScriterionKeepAttributeBetween, 2>},
  {"-drop_attribute_below", "index value", attribute<LAScriterionDropAttributeBelow, 1>},
  {"-drop_attribute_above", "index value", attribute<LAScriterionDropAttributeAbove, 1>},
  {"-drop_attribute_between", "index below above", attribute<LAScriterionDropAttributeBetween, 2>},
  // thinning
  {"-keep_every_nth", "nth", every_nth<LAScriterionKeepEveryNth>},
  {"-drop_every_nth", "nth", every_nth<LAScriterionDropEveryNth>},
  {"-keep_random_fraction", "fraction", keep_random_fraction},
  {"-thin_with_grid", "grid spacing", thin_with_grid},
  {"-thin_pulses_with_time", "time spacing", thin_with_time<LAScriterionThinPulsesWithTime>},
  {"-thin_with_time", "time spacing", thin_with_time<LAScriterionThinPulsesWithTime>},
  {"-thin_points_with_time", "time spacing", thin_with_time<LAScriterionThinPointsWithTime>},
  // boolean combination of the two criteria before
  {"-filter_and", "", combine<LAScriterionAnd>},
  {"-filter_or", "", combine<LAScriterionOr>},
};
// clang-format on

bool refuse_clip(const char* word) {
  fprintf(stderr, "ERROR: '%s' is no longer recognized. check documentation with '-h'.\n", word);
  fprintf(stderr, "  rename '-clip' to '-keep_xy'.\n");
  fprintf(stderr, "  rename '-clip_box' to '-keep_xyz'.\n");
  fprintf(stderr, "  rename '-clip_tile' to '-keep_tile'.\n");
  fprintf(stderr, "  rename '-clip_z_below' to '-drop_z_below'.\n");
  fprintf(stderr, "  rename '-clip_z_above' to '-drop_z_above'.\n");
  fprintf(stderr, "  rename '-clip_z_between' to '-drop_z'.\n");
  fprintf(stderr, "  etc ...\n");
  return false;
}

bool any_bit(const uint32_t words[8]) {
  for (int k = 0; k < 8; k++) {
    if (words[k]) return true;
  }
  return false;
}

}  // namespace

bool LASfilter::take_arguments(int argc, char** argv) {
  Walk w{{argc, argv}, this};
  const OptionWalkEnd end = walk_option_words(w, [](Walk& walk) {
    if (strncmp(walk.word(), "-clip_", 6) == 0) return refuse_clip(walk.word());
    const FilterOption* option = find_option_row(kFilterOptions, walk.word());
    return option == nullptr || option->make(walk, *option);
  });
  if (end == OptionWalkEnd::help) print_help();
  if (end != OptionWalkEnd::done) return end == OptionWalkEnd::help;
  const bool keep = any_bit(w.keep_extended);
  if (keep && any_bit(w.drop_extended)) {
    return option_fail(
        "ERROR: cannot use '-drop_extended_class' and '-keep_extended_class' simultaneously\n");
  }
  if (keep) {
    for (int k = 0; k < 8; k++) w.drop_extended[k] = ~w.keep_extended[k];
  }
  if (any_bit(w.drop_extended)) {
    append_criterion(new LAScriterionDropExtendedClassifications(w.drop_extended));
  }
  return true;
}

void LASfilter::print_help() const {
  static const char* const kLines[] = {
      "Filter points based on their coordinates.",
      "  -keep_tile 631000 4834000 1000 (ll_x ll_y size)",
      "  -keep_circle 630250.00 4834750.00 100 (x y radius)",
      "  -keep_xy 630000 4834000 631000 4836000 (min_x min_y max_x max_y)",
      "  -drop_xy 630000 4834000 631000 4836000 (min_x min_y max_x max_y)",
      "  -keep_x 631500.50 631501.00 (min_x max_x)",
      "  -drop_x 631500.50 631501.00 (min_x max_x)",
      "  -drop_x_below 630000.50 (min_x)",
      "  -drop_x_above 630500.50 (max_x)",
      "  -keep_y 4834500.25 4834550.25 (min_y max_y)",
      "  -drop_y 4834500.25 4834550.25 (min_y max_y)",
      "  -drop_y_below 4834500.25 (min_y)",
      "  -drop_y_above 4836000.75 (max_y)",
      "  -keep_z 11.125 130.725 (min_z max_z)",
      "  -drop_z 11.125 130.725 (min_z max_z)",
      "  -drop_z_below 11.125 (min_z)",
      "  -drop_z_above 130.725 (max_z)",
      "  -keep_xyz 620000 4830000 100 621000 4831000 200 (min_x min_y min_z max_x max_y max_z)",
      "  -drop_xyz 620000 4830000 100 621000 4831000 200 (min_x min_y min_z max_x max_y max_z)",
      "Filter points based on their return numbering.",
      "  -keep_first -first_only -drop_first",
      "  -keep_last -last_only -drop_last",
      "  -keep_second_last -drop_second_last",
      "  -keep_first_of_many -keep_last_of_many",
      "  -drop_first_of_many -drop_last_of_many",
      "  -keep_middle -drop_middle",
      "  -keep_return 1 2 3",
      "  -drop_return 3 4",
      "  -keep_single -drop_single",
      "  -keep_double -drop_double",
      "  -keep_triple -drop_triple",
      "  -keep_quadruple -drop_quadruple",
      "  -keep_number_of_returns 5",
      "  -drop_number_of_returns 0",
      "Filter points based on the scanline flags.",
      "  -drop_scan_direction 0",
      "  -keep_scan_direction_change",
      "  -keep_edge_of_flight_line",
      "Filter points based on their intensity.",
      "  -keep_intensity 20 380",
      "  -drop_intensity_below 20",
      "  -drop_intensity_above 380",
      "  -drop_intensity_between 4000 5000",
      "Filter points based on classifications or flags.",
      "  -keep_class 1 3 7",
      "  -drop_class 4 2",
      "  -keep_extended_class 43",
      "  -drop_extended_class 129 135",
      "  -drop_synthetic -keep_synthetic",
      "  -drop_keypoint -keep_keypoint",
      "  -drop_withheld -keep_withheld",
      "  -drop_overlap -keep_overlap",
      "Filter points based on their user data.",
      "  -keep_user_data 1",
      "  -drop_user_data 255",
      "  -keep_user_data_below 50",
      "  -keep_user_data_above 150",
      "  -keep_user_data_between 10 20",
      "  -drop_user_data_below 1",
      "  -drop_user_data_above 100",
      "  -drop_user_data_between 10 40",
      "Filter points based on their point source ID.",
      "  -keep_point_source 3",
      "  -keep_point_source_between 2 6",
      "  -drop_point_source 27",
      "  -drop_point_source_below 6",
      "  -drop_point_source_above 15",
      "  -drop_point_source_between 17 21",
      "Filter points based on their scan angle.",
      "  -keep_scan_angle -15 15",
      "  -drop_abs_scan_angle_above 15",
      "  -drop_abs_scan_angle_below 1",
      "  -drop_scan_angle_below -15",
      "  -drop_scan_angle_above 15",
      "  -drop_scan_angle_between -25 -23",
      "Filter points based on their gps time.",
      "  -keep_gps_time 11.125 130.725",
      "  -drop_gps_time_below 11.125",
      "  -drop_gps_time_above 130.725",
      "  -drop_gps_time_between 22.0 48.0",
      "Filter points based on their RGB/CIR/NIR channels.",
      "  -keep_RGB_red 1 1",
      "  -drop_RGB_red 5000 20000",
      "  -keep_RGB_green 30 100",
      "  -drop_RGB_green 2000 10000",
      "  -keep_RGB_blue 0 0",
      "  -keep_RGB_nir 64 127",
      "  -keep_RGB_greenness 200 65535",
      "  -keep_NDVI 0.2 0.7 -keep_NDVI_from_CIR -0.1 0.5",
      "  -keep_NDVI_intensity_is_NIR 0.4 0.8 -keep_NDVI_green_is_NIR -0.2 0.2",
      "Filter points based on their wavepacket.",
      "  -keep_wavepacket 0",
      "  -drop_wavepacket 3",
      "Filter points based on extra attributes.",
      "  -keep_attribute_above 0 5.0",
      "  -drop_attribute_below 1 1.5",
      "Filter points with simple thinning.",
      "  -keep_every_nth 2 -drop_every_nth 3",
      "  -keep_random_fraction 0.1",
      "  -keep_random_fraction 0.1 4711",
      "  -thin_with_grid 1.0",
      "  -thin_pulses_with_time 0.0001",
      "  -thin_points_with_time 0.000001",
      "Boolean combination of filters.",
      "  -filter_and",
  };
  for (const char* line : kLines) fprintf(stderr, "%s\n", line);
}
