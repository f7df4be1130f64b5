// The ignore rules: parser, test per point, packing into doubles.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/las_ignore.hpp"
#include "transform_test_point.hpp"

namespace {

// Parses every "-ignore_" word of the vector as the input options do.
bool parse_ignore(LASignore& ignore, Argv& args) {
  for (int i = 1; i < args.argc(); i++) {
    if (args.data()[i][0] == 0) continue;
    if (std::string(args.data()[i]).rfind("-ignore_", 0) != 0) continue;
    if (!ignore.take_argument(i, args.argc(), args.data())) return false;
  }
  return true;
}

// A legacy point of class c, or an extended one whose extended class is c
// (the 5-bit class then holds c below 32 and 0 above).
Fields legacy(int c) {
  return Fields().cbyte(c & 0x1F);
}
Fields extended(int c) {
  return Fields().extended().cbyte(c < 32 ? c : 0).ecls(c);
}
Fields returns(int r, int n) {
  return Fields().rbyte(r | (n << 3));
}

struct IgnoreCase {
  std::vector<std::string> options;
  Fields point;
  bool ignored;
};

const IgnoreCase kCases[] = {
    {{}, legacy(2), false},
    {{"-ignore_class", "2", "7"}, legacy(2), true},
    {{"-ignore_class", "2", "7"}, legacy(7), true},
    {{"-ignore_class", "2", "7"}, legacy(3), false},
    {{"-ignore_class", "2", "7", "-ignore_single"}, returns(1, 1), true},
    {{"-ignore_class", "2", "7", "-ignore_single"}, returns(1, 2), false},
    // extended classes are looked up in their own class word
    {{"-ignore_class", "40"}, extended(40), true},
    {{"-ignore_class", "0"}, extended(40), false},
    {{"-ignore_class", "0"}, legacy(0), true},
    {{"-ignore_class", "40"}, legacy(8), false},
    {{"-ignore_class", "40"}, extended(8), false},
    {{"-ignore_class", "8"}, extended(8), true},
    {{"-ignore_extended_class", "255"}, extended(255), true},
    {{"-ignore_extended_class", "255"}, extended(254), false},
    {{"-ignore_class", "33", "64", "95", "96", "200"}, extended(95), true},
    {{"-ignore_class", "33", "64", "95", "96", "200"}, extended(200), true},
    {{"-ignore_class", "33", "64", "95", "96", "200"}, extended(201), false},
    {{"-ignore_class", "33", "64", "95", "96", "200"}, extended(1), false},
    {{"-ignore_class_mask", "6"}, legacy(1), true},
    {{"-ignore_class_mask", "6"}, legacy(2), true},
    {{"-ignore_class_mask", "6"}, legacy(0), false},
    {{"-ignore_class", "5", "-ignore_class_mask", "1"}, legacy(5), false},
    // return kinds; a point with 0 returns counts as single
    {{"-ignore_single"}, returns(0, 0), true},
    {{"-ignore_first"}, returns(1, 1), true},
    {{"-ignore_first"}, returns(1, 3), true},
    {{"-ignore_first"}, returns(0, 3), true},
    {{"-ignore_first"}, returns(2, 3), false},
    {{"-ignore_first_of_many"}, returns(1, 1), false},
    {{"-ignore_last"}, returns(3, 3), true},
    {{"-ignore_last"}, returns(1, 1), true},
    {{"-ignore_last"}, returns(2, 3), false},
    {{"-ignore_last_of_many"}, returns(4, 3), true},
    {{"-ignore_last_of_many"}, returns(1, 1), false},
    {{"-ignore_intermediate"}, returns(2, 3), true},
    {{"-ignore_intermediate"}, returns(3, 3), false},
    {{"-ignore_intermediate"}, returns(1, 3), false},
    // flags
    {{"-ignore_synthetic"}, Fields().cbyte(0x22), true},
    {{"-ignore_synthetic"}, Fields().cbyte(0x42), false},
    {{"-ignore_keypoint"}, Fields().cbyte(0x42), true},
    {{"-ignore_withheld"}, Fields().cbyte(0x82), true},
    {{"-ignore_withheld"}, Fields().cbyte(0x02), false},
    {{"-ignore_overlap"}, Fields().eflags(0x80), true},
    {{"-ignore_overlap"}, Fields().eflags(0x40), false},
    {{"-ignore_overlap", "-ignore_overlap"}, Fields().eflags(0x80), true},
};

TEST(Ignore, SettingsAgainstPoints) {
  for (const IgnoreCase& c : kCases) {
    Argv args(c.options);
    LASignore ignore;
    ASSERT_TRUE(parse_ignore(ignore, args)) << (c.options.empty() ? "" : c.options[0]);
    for (int i = 1; i < args.argc(); i++) EXPECT_EQ(args.entry(i), "");
    ScaledPoint p;
    p.set(c.point);
    EXPECT_EQ(ignore.ignores(&p.point), c.ignored)
        << (c.options.empty() ? "" : c.options[0]) << " " << c.options.size();
  }
}

TEST(Ignore, ParserSetsFlagAndClassWords) {
  Argv args({"-ignore_class", "0", "1", "7", "33", "255", "-ignore_first", "-ignore_withheld"});
  LASignore ignore;
  ASSERT_TRUE(parse_ignore(ignore, args));
  EXPECT_EQ(ignore.flags, 0x83u | 0x900u | 0x4000u);
  EXPECT_EQ(ignore.classes[0], 0x83u);
  EXPECT_EQ(ignore.classes[1], 0x2u);
  EXPECT_EQ(ignore.classes[7], 0x80000000u);
  EXPECT_EQ(ignore.classes[2], 0u);
}

TEST(Ignore, ClassListEndsBeforeTheNextWordAndLeavesIOnItsLastEntry) {
  Argv args({"-ignore_class", "2", "7", "-ignore_single", "-other"});
  LASignore ignore;
  int i = 1;
  ASSERT_TRUE(ignore.take_argument(i, args.argc(), args.data()));
  EXPECT_EQ(i, 3);
  EXPECT_EQ(args.entry(4), "-ignore_single");
  i = 4;
  ASSERT_TRUE(ignore.take_argument(i, args.argc(), args.data()));
  EXPECT_EQ(i, 4);
  EXPECT_EQ(args.entry(5), "-other");
  EXPECT_EQ(ignore.flags, 0x801u);
}

TEST(Ignore, ParseErrors) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-ignore_class"}, "ERROR: '-ignore_class' needs 1 at least argument: classification\n"},
      {{"-ignore_class", "256"},
       "ERROR: '-ignore_class' needs arguments between 0 and 255 but '256' is out of range\n"},
      {{"-ignore_class", "abc"},
       "ERROR: '-ignore_class' needs arguments between 0 and 255 but 'abc' is no valid code\n"},
      {{"-ignore_extended_class", "-5"},
       "ERROR: '-ignore_extended_class' needs arguments between 0 and 255 but '4294967291' is out "
       "of range\n"},
      {{"-ignore_class", "3", "300"},
       "ERROR: '-ignore_class' needs arguments between 0 and 255 but '300' is out of range\n"},
      {{"-ignore_class_mask"}, "ERROR: '-ignore_class_mask' needs 1 argument: mask\n"},
      {{"-ignore_class_mask", "x"},
       "ERROR: '-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 'x' is "
       "no valid mask\n"},
      {{"-ignore_class_mask", "0"},
       "ERROR: '-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 0 makes "
       "no sense\n"},
      {{"-ignore_class_mask", "4294967295"},
       "ERROR: '-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but "
       "4294967295 makes no sense\n"},
      {{"-ignore_everything"}, "ERROR: cannot understand argument '-ignore_everything'\n"},
  };
  for (const auto& c : cases) {
    Argv args(c.args);
    LASignore ignore;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parse_ignore(ignore, args)) << c.args[0];
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.args[0];
  }
}

TEST(Ignore, PackingIntoDoubles) {
  const struct {
    std::vector<std::string> args;
    std::vector<double> values;
  } cases[] = {
      {{}, {}},
      {{"-ignore_class", "2", "-ignore_single"}, {2049, 4}},
      {{"-ignore_withheld"}, {16384}},
      {{"-ignore_class", "1", "40", "255"}, {131.0, 2, 256, 2147483648.0}},
  };
  for (const auto& c : cases) {
    Argv args(c.args);
    LASignore ignore;
    ASSERT_TRUE(parse_ignore(ignore, args));
    double values[16] = {};
    int count = 1;  // behind a value that is not ours
    ignore.store_to_values(count, values);
    ASSERT_EQ(count, 1 + int(c.values.size()));
    for (size_t k = 0; k < c.values.size(); k++) EXPECT_EQ(values[1 + k], c.values[k]);
    LASignore loaded;
    ASSERT_TRUE(loaded.load_from_values(1, count, values));
    EXPECT_EQ(loaded.flags, ignore.flags);
    for (int k = 0; k < 8; k++) EXPECT_EQ(loaded.classes[k], ignore.classes[k]);
  }
}

TEST(Ignore, MalformedPackedLists) {
  LASignore ignore;
  const double values[] = {2049, 4, -1, 4294967296.0, 3};
  EXPECT_TRUE(ignore.load_from_values(2, 2, values));
  EXPECT_EQ(ignore.flags, 0u);
  EXPECT_FALSE(ignore.load_from_values(3, 2, values));
  EXPECT_FALSE(ignore.load_from_values(2, 3, values));
  EXPECT_FALSE(ignore.load_from_values(3, 4, values));
  // flag bits 0 and 1 need two class words, one is there
  const double short_list[] = {3, 5};
  EXPECT_FALSE(ignore.load_from_values(0, 2, short_list));
  EXPECT_EQ(ignore.flags, 3u);
  EXPECT_EQ(ignore.classes[0], 5u);
  const double nan_word[] = {1, std::nan("")};
  EXPECT_FALSE(ignore.load_from_values(0, 2, nan_word));
}

TEST(Ignore, UsageText) {
  LASignore ignore;
  testing::internal::CaptureStderr();
  ignore.print_help();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Ignore points based on classifications.\n"
            "  -ignore_class 7\n"
            "  -ignore_class 0 1 7 33\n"
            "Ignore points based on return type.\n"
            "  -ignore_first -ignore_first_of_many\n"
            "  -ignore_last -ignore_last_of_many\n"
            "  -ignore_intermediate\n"
            "  -ignore_single\n"
            "Ignore points based on flags.\n"
            "  -ignore_synthetic -ignore_keypoint\n"
            "  -ignore_withheld -ignore_overlap\n");
}

}  // namespace
