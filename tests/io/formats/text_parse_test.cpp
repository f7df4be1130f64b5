#include "io/formats/text_parse.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/las_header.hpp"
#include "core/las_point.hpp"

namespace {

// A point of one format laid out for a header with the given attributes.
struct ParsePoint {
  LASheader header;
  LASpoint point;
  LAStextFields fields;

  explicit ParsePoint(uint8_t format, std::initializer_list<int> attribute_types = {}) {
    static const int32_t kLength[9] = {20, 28, 26, 34, 0, 0, 30, 36, 38};
    int k = 0;
    for (int type_index : attribute_types) {
      LASattributeDescriptor d;
      const std::string name = "a" + std::to_string(k++);
      EXPECT_TRUE(LASattributeDescriptor::make(type_index, name.c_str(), nullptr, &d));
      EXPECT_GE(header.add_attribute(d), 0);
    }
    header.point_data_format = format;
    header.point_data_record_length =
        static_cast<uint16_t>(kLength[format] + header.total_attribute_size());
    EXPECT_TRUE(point.init_for_point_type(&header, format, header.point_data_record_length,
                                          &header));
    fields.point_type = format;
    fields.attributes = &header;
  }
  bool parse(const char* line, const char* parse_string) {
    return text_parse_line(line, parse_string, fields, &point);
  }
  double attribute(int index) {
    double v = 0.0;
    EXPECT_TRUE(header.get_value(point, index, &v));
    return v;
  }
};

std::string parse_warnings(ParsePoint& p, const char* line, const char* parse_string,
                           bool* parsed) {
  testing::internal::CaptureStderr();
  *parsed = p.parse(line, parse_string);
  return testing::internal::GetCapturedStderr();
}

TEST(TextParse, SeparatorsGiveOnePoint) {
  struct Case {
    const char* line;
    bool parses;
  };
  const Case cases[] = {
      {"1,2,3", true},      {"1;2;3", true},   {"1 2 3", true},   {"1\t2\t3", true},
      {"  1,,2 ;\t3", true}, {"1 2 3 4 5 6", true}, {"1 2", false}, {"", false},
      {"1 2 x", false},     {"1, 2, 3,", true},
  };
  for (const Case& c : cases) {
    ParsePoint p(0);
    EXPECT_EQ(p.parse(c.line, "xyz"), c.parses) << c.line;
    if (c.parses) {
      EXPECT_EQ(p.point.coordinates[0], 1.0) << c.line;
      EXPECT_EQ(p.point.coordinates[1], 2.0) << c.line;
      EXPECT_EQ(p.point.coordinates[2], 3.0) << c.line;
    }
  }
}

TEST(TextParse, LettersFillTheirFields) {
  ParsePoint p(3);
  ASSERT_TRUE(p.parse("10.5 20.25 30 123456.5 700 3 2 9 77 1234 1 1 1 1 1 200 300 400",
                      "xyztinrcupedhkgRGB"));
  EXPECT_EQ(p.point.coordinates[0], 10.5);
  EXPECT_EQ(p.point.coordinates[1], 20.25);
  EXPECT_EQ(p.point.get_gps_time(), 123456.5);
  EXPECT_EQ(p.point.get_intensity(), 700);
  EXPECT_EQ(p.point.get_number_of_returns(), 3);
  EXPECT_EQ(p.point.get_return_number(), 2);
  EXPECT_EQ(p.point.get_classification(), 9);
  EXPECT_EQ(p.point.get_user_data(), 77);
  EXPECT_EQ(p.point.get_point_source_ID(), 1234);
  EXPECT_EQ(p.point.get_edge_of_flight_line(), 1);
  EXPECT_EQ(p.point.get_scan_direction_flag(), 1);
  EXPECT_EQ(p.point.get_withheld_flag(), 1);
  EXPECT_EQ(p.point.get_keypoint_flag(), 1);
  EXPECT_EQ(p.point.get_synthetic_flag(), 1);
  EXPECT_EQ(p.point.get_R(), 200);
  EXPECT_EQ(p.point.get_G(), 300);
  EXPECT_EQ(p.point.get_B(), 400);

  ParsePoint e(8);
  ASSERT_TRUE(e.parse("1 2 3 1 2 12 15 4000 -30", "xyzolrnIa"));
  EXPECT_EQ(e.point.get_extended_overlap_flag(), 1);
  EXPECT_EQ(e.point.get_extended_scanner_channel(), 2);
  EXPECT_EQ(e.point.get_extended_return_number(), 12);
  EXPECT_EQ(e.point.get_extended_number_of_returns(), 15);
  EXPECT_EQ(e.point.get_NIR(), 4000);
  EXPECT_EQ(e.point.get_extended_scan_angle(), -5000);  // -30 degrees in 0.006 steps

  // Fields that no letter names keep their values from line to line.
  ASSERT_TRUE(p.parse("5 6 7", "xyz"));
  EXPECT_EQ(p.point.get_classification(), 9);
  EXPECT_EQ(p.point.get_gps_time(), 123456.5);
}

TEST(TextParse, ClampsAndWarnings) {
  struct Case {
    uint8_t format;
    const char* line;
    const char* parse;
    const char* warning;  // "" when none
    int field;            // which value to check (below)
    int expected;
  };
  enum { kIntensity, kClass, kExtClass, kUser, kSource, kReturn, kNumber, kExtReturn, kChannel,
         kEdge, kScanAngle };
  const Case cases[] = {
      {1, "0 0 0 -5", "xyzi", "WARNING: intensity -5 is out of range of unsigned short\n",
       kIntensity, 0},
      {1, "0 0 0 65535.4", "xyzi", "", kIntensity, 65535},
      {1, "0 0 0 65536", "xyzi", "WARNING: intensity 65536 is out of range of unsigned short\n",
       kIntensity, 0},
      {1, "0 0 0 nan", "xyzi", "WARNING: intensity nan is out of range of unsigned short\n",
       kIntensity, 0},
      {1, "0 0 0 40", "xyzc", "WARNING: classification 40 is larger than 31. clamping ...\n", kClass,
       31},
      {6, "0 0 0 40", "xyzc", "", kExtClass, 40},
      {6, "0 0 0 40", "xyzc", "", kClass, 0},
      {6, "0 0 0 300", "xyzc",
       "WARNING: extended classification 300 is larger than 255. clamping ...\n", kExtClass, 255},
      {1, "0 0 0 -2", "xyzc", "WARNING: classification -2 is negative. zeroing ...\n", kClass, 0},
      {1, "0 0 0 256", "xyzu", "WARNING: user data 256 is out of range of unsigned char\n", kUser,
       255},
      {1, "0 0 0 -1", "xyzu", "WARNING: user data -1 is out of range of unsigned char\n", kUser, 0},
      {1, "0 0 0 70000", "xyzp",
       "WARNING: point source ID 70000 is out of range of unsigned short\n", kSource, 65535},
      {1, "0 0 0 9", "xyzr", "WARNING: return number 9 is out of range of three bits\n", kReturn,
       1},
      {1, "0 0 0 9", "xyzn",
       "WARNING: number of returns of given pulse 9 is out of range of three bits\n", kNumber, 1},
      {6, "0 0 0 17", "xyzr", "WARNING: return number 17 is out of range of four bits\n",
       kExtReturn, 1},
      {6, "0 0 0 5", "xyzl", "WARNING: scanner channel 5 is out of range of two bits\n", kChannel,
       1},
      {1, "0 0 0 2", "xyze",
       "WARNING: edge of flight line flag 2 is out of range of boolean flag\n", kEdge, 1},
      {1, "0 0 0 200", "xyza", "WARNING: scan angle 200 is out of range of char\n", kScanAngle,
       127},
  };
  for (const Case& c : cases) {
    ParsePoint p(c.format);
    bool parsed = false;
    const std::string err = parse_warnings(p, c.line, c.parse, &parsed);
    ASSERT_TRUE(parsed) << c.line << " " << c.parse;
    EXPECT_EQ(err, c.warning) << c.line << " " << c.parse;
    const LASpoint& q = p.point;
    const int values[] = {q.get_intensity(),          q.get_classification(),
                          q.get_extended_classification(), q.get_user_data(),
                          q.get_point_source_ID(),    q.get_return_number(),
                          q.get_number_of_returns(),  q.get_extended_return_number(),
                          q.get_extended_scanner_channel(), q.get_edge_of_flight_line(),
                          q.scan_angle_rank};
    EXPECT_EQ(values[c.field], c.expected) << c.line << " " << c.parse;
  }
}

TEST(TextParse, IntensityTranslationAndScale) {
  ParsePoint p(0);
  p.fields.translate_intensity = 2048.0f;  // PTS: -2048..2047
  ASSERT_TRUE(p.parse("0 0 0 -2048", "xyzi"));
  EXPECT_EQ(p.point.get_intensity(), 0);
  ASSERT_TRUE(p.parse("0 0 0 2047", "xyzi"));
  EXPECT_EQ(p.point.get_intensity(), 4095);
  ParsePoint x(0);
  x.fields.scale_intensity = 4095.0f;  // PTX: 0..1
  ASSERT_TRUE(x.parse("0 0 0 0.5", "xyzi"));
  EXPECT_EQ(x.point.get_intensity(), 2048);
}

TEST(TextParse, EchoCodes) {
  struct Case {
    const char* code;
    int r, n;
    bool warns;
  } cases[] = {{"0", 1, 1, false}, {"1", 1, 2, false}, {"3", 2, 2, false},
               {"2", 2, 3, false}, {"7", 2, 3, true}};
  for (const auto& c : cases) {
    ParsePoint p(1);
    bool parsed;
    const std::string line = std::string("0 0 0 ") + c.code;
    const std::string err = parse_warnings(p, line.c_str(), "xyzE", &parsed);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(p.point.get_return_number(), c.r) << c.code;
    EXPECT_EQ(p.point.get_number_of_returns(), c.n) << c.code;
    EXPECT_EQ(!err.empty(), c.warns) << c.code;
  }
}

TEST(TextParse, HexadecimalColourAndIntensity) {
  for (const char* line : {"1 2 3 FF8000", "1 2 3 \"FF8000\"", "1,2,3,ff8000"}) {
    ParsePoint p(2);
    ASSERT_TRUE(p.parse(line, "xyzH")) << line;
    EXPECT_EQ(p.point.get_R(), 255) << line;
    EXPECT_EQ(p.point.get_G(), 128) << line;
    EXPECT_EQ(p.point.get_B(), 0) << line;
  }
  ParsePoint p(2);
  EXPECT_FALSE(p.parse("1 2 3 FF8", "xyzH"));  // too short: the line does not parse
  EXPECT_FALSE(p.parse("1 2 3 GG8000", "xyzH"));
  ASSERT_TRUE(p.parse("1 2 3 FFFFFF", "xyzJ"));
  EXPECT_EQ(p.point.get_intensity(), 255);
  ASSERT_TRUE(p.parse("1 2 3 \"7FFFFF\"", "xyzJ"));
  EXPECT_EQ(p.point.get_intensity(), 127);
}

TEST(TextParse, AttributesByTypeWithClamps) {
  // U8, I8, U16, I16, U32, I32, F32, F64, then I64 (index 7)
  ParsePoint p(0, {0, 1, 2, 3, 4, 5, 8, 9, 7, 3, 0});
  ASSERT_TRUE(p.parse("0 0 0 200.4 -100 60000 -30000 4000000000 -7 0.25 1e300 0 0 9",
                      "xyz012345(6)(7)s(9)(10)"));
  EXPECT_EQ(p.attribute(0), 200);
  EXPECT_EQ(p.attribute(1), -100);
  EXPECT_EQ(p.attribute(2), 60000);
  EXPECT_EQ(p.attribute(3), -30000);
  EXPECT_EQ(p.attribute(4), 4000000000.0);
  EXPECT_EQ(p.attribute(5), -7);
  EXPECT_EQ(p.attribute(6), 0.25);
  EXPECT_EQ(p.attribute(7), 1e300);
  EXPECT_EQ(p.attribute(10), 9);

  struct Case {
    const char* line;
    const char* parse;
    const char* warning;
    int index;
    double value;
  } cases[] = {
      {"0 0 0 300", "xyz0", "WARNING: attribute 0 of type U8 is 300. clamped to [0 255] range.\n",
       0, 255},
      {"0 0 0 -1", "xyz0", "WARNING: attribute 0 of type U8 is -1. clamped to [0 255] range.\n", 0,
       0},
      {"0 0 0 -129", "xyz1",
       "WARNING: attribute 1 of type I8 is -129. clamped to [-128 127] range.\n", 1, -128},
      {"0 0 0 70000", "xyz2",
       "WARNING: attribute 2 of type U16 is 70000. clamped to [0 65535] range.\n", 2, 65535},
      {"0 0 0 40000", "xyz3",
       "WARNING: attribute 3 of type I16 is 40000. clamped to [-32768 32767] range.\n", 3, 32767},
      {"0 0 0 -5", "xyz4", "", 4, 0},
      {"0 0 0 nan", "xyz4", "", 4, 0},
      {"0 0 0 nan", "xyz0", "", 0, 0},
  };
  for (const auto& c : cases) {
    ParsePoint q(0, {0, 1, 2, 3, 4});
    bool parsed;
    const std::string err = parse_warnings(q, c.line, c.parse, &parsed);
    ASSERT_TRUE(parsed) << c.line << " " << c.parse;
    EXPECT_EQ(err, c.warning) << c.line << " " << c.parse;
    EXPECT_EQ(q.attribute(c.index), c.value) << c.line << " " << c.parse;
  }

  bool parsed = true;
  ParsePoint wide(0, {7});
  EXPECT_EQ(parse_warnings(wide, "0 0 0 5", "xyz0", &parsed),
            "WARNING: attribute 0 not (yet) implemented.\n");
  EXPECT_FALSE(parsed);
}

TEST(TextParse, AttributeScaleOffsetAndPreScale) {
  ParsePoint p(0);
  LASattributeDescriptor d;
  ASSERT_TRUE(LASattributeDescriptor::make(3, "height", nullptr, &d));  // I16
  d.scale[0] = 0.01;
  d.offset[0] = 100.0;
  d.options = LASattributeDescriptor::kScaleBit | LASattributeDescriptor::kOffsetBit;
  ParsePoint q(0, {});
  q.header.add_attribute(d);
  q.header.point_data_record_length = 22;
  ASSERT_TRUE(q.point.init_for_point_type(&q.header, 0, 22, &q.header));
  const double pre_scale[1] = {2.0};
  const double pre_offset[1] = {1.0};
  q.fields.pre_scales = pre_scale;
  q.fields.pre_offsets = pre_offset;
  ASSERT_TRUE(q.parse("0 0 0 60.5", "xyz0"));  // 60.5 * 2 - 1 = 120 -> (120 - 100) / 0.01
  int16_t raw;
  std::memcpy(&raw, q.point.extra_bytes.get(), 2);
  EXPECT_EQ(raw, 2000);
}

TEST(TextParse, ParseStringCheck) {
  LASheader two;
  LASattributeDescriptor d;
  ASSERT_TRUE(LASattributeDescriptor::make(0, "a", nullptr, &d));
  two.add_attribute(d);
  two.add_attribute(d);
  struct Case {
    const char* parse;
    bool ok;
    const char* message;  // start of the message
  } cases[] = {
      {"xyzBEGHIJRacdeghiklnoprstu", true, ""},
      {"xyz01", true, ""},
      {"xyz(1)", true, ""},
      {"xyz2", false, "ERROR: extra bytes attribute '2' was not described.\n"},
      {"xyz(12)", false, "ERROR: extra bytes attribute '12' was not described.\n"},
      {"xyz(", false, "ERROR: parse string opening bracket '(' misses extra bytes index.\n"},
      {"xyz(1", false, "ERROR: extra bytes attribute '1' misses closing bracket.\n"},
      {"xyzQ", false, "ERROR: unknown symbol 'Q' in parse string. valid are\n       'x' : the"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(text_check_parse_string(c.parse, two), c.ok) << c.parse;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.substr(0, std::strlen(c.message)), c.message) << c.parse;
  }
  testing::internal::CaptureStderr();
  text_check_parse_string("q", two);
  const std::string help = testing::internal::GetCapturedStderr();
  EXPECT_NE(help.find("       'J' : a hexadecimal string encoding the intensity\n"),
            std::string::npos);
  EXPECT_NE(help.find("    '(13)' : additional attributes described as extra bytes (10 and up)\n"),
            std::string::npos);
}

}  // namespace
