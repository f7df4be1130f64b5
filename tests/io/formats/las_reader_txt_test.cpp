#include "io/formats/las_reader_txt.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "temp_dir.hpp"

namespace {

struct Opened {
  std::unique_ptr<LASreaderTXT> reader;
  bool ok = false;
  std::string err;
};

Opened open_text(const std::string& name, const char* parse, bool populate = false,
                 int32_t skip = 0, LASreaderTXT* reader = nullptr) {
  Opened o;
  o.reader.reset(reader ? reader : new LASreaderTXT());
  testing::internal::CaptureStderr();
  o.ok = o.reader->open_file(name.c_str(), 0, parse, skip, populate);
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

std::vector<std::array<double, 3>> read_all(LASreader& r) {
  std::vector<std::array<double, 3>> xyz;
  while (r.read_point()) xyz.push_back({r.point.get_x(), r.point.get_y(), r.point.get_z()});
  return xyz;
}

TEST(LASreaderTXT, PointFormatFromTheParseString) {
  TempDir dir;
  const std::string name = dir.file("p.txt", "1 2 3 4 5 6 7 8\n");
  struct Case {
    const char* parse;
    int format;
    int length;
  } cases[] = {{"xyz", 0, 20},      {"xyzRGB", 2, 26}, {"xyztRGB", 3, 34}, {"xyzt", 1, 28},
               {"xyzti", 1, 28},    {"xyzI", 8, 38},   {"xyzo", 6, 30},    {"xyzlRGB", 7, 36}};
  for (const Case& c : cases) {
    Opened o = open_text(name, c.parse);
    ASSERT_TRUE(o.ok) << c.parse << o.err;
    EXPECT_EQ(o.reader->header.point_data_format, c.format) << c.parse;
    EXPECT_EQ(o.reader->header.point_data_record_length, c.length) << c.parse;
    EXPECT_EQ(o.reader->header.version_minor, c.format > 5 ? 4 : 2) << c.parse;
  }
}

TEST(LASreaderTXT, ScaleFactorsFollowTheBounds) {
  TempDir dir;
  struct Case {
    const char* text;
    double xy_scale;
  } cases[] = {{"10.5 45.25 100\n11 46 101\n", 1e-7},
               {"-360 45 100\n11 46 101\n", 0.01},
               {"500000 4000000 10\n500010 4000010 11\n", 0.01}};
  for (const auto& c : cases) {
    Opened o = open_text(dir.file("s.txt", c.text), "xyz", true);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(o.reader->header.x_scale_factor, c.xy_scale) << c.text;
    EXPECT_EQ(o.reader->header.y_scale_factor, c.xy_scale) << c.text;
    EXPECT_EQ(o.reader->header.z_scale_factor, 0.01) << c.text;
  }
  // Offsets are whole multiples of 10^7 scale factors near the centre.
  Opened o = open_text(dir.file("o.txt", "500000 4000000 10\n500010 4000010 11\n"), "xyz", true);
  EXPECT_EQ(o.reader->header.x_offset, 500000.0);
  EXPECT_EQ(o.reader->header.y_offset, 4000000.0);
  const auto xyz = read_all(*o.reader);
  ASSERT_EQ(xyz.size(), 2u);
  EXPECT_EQ(xyz[1][0], 500010.0);
  EXPECT_EQ(xyz[1][1], 4000010.0);
  EXPECT_EQ(o.reader->point.Y, 1000);
}

TEST(LASreaderTXT, PopulatePassFillsCountsAndVersion) {
  TempDir dir;
  // Return numbers up to 5 keep LAS 1.2; one 6th return needs 1.4.
  Opened o = open_text(dir.file("r5.txt", "1 1 1 1\n2 2 2 5\n3 3 3 1\nnot a point\n"), "xyzr",
                       true);
  ASSERT_TRUE(o.ok) << o.err;
  const LASheader& h = o.reader->header;
  EXPECT_EQ(h.version_minor, 2);
  EXPECT_EQ(h.header_size, 227);
  EXPECT_EQ(h.number_of_point_records, 3u);
  EXPECT_EQ(h.number_of_points_by_return[0], 2u);
  EXPECT_EQ(h.number_of_points_by_return[4], 1u);
  EXPECT_EQ(h.max_x, 3.0);
  EXPECT_NE(o.err.find("counted 3 points in populate pass.\n"), std::string::npos);
  EXPECT_NE(o.err.find("WARNING: cannot parse 'not a point' with 'xyzr'. skipping ...\n"),
            std::string::npos);

  Opened six = open_text(dir.file("r6.txt", "1 1 1 1\n2 2 2 6\n"), "xyzr", true);
  ASSERT_TRUE(six.ok);
  EXPECT_EQ(six.reader->header.version_minor, 4);
  EXPECT_EQ(six.reader->header.header_size, 375);
  EXPECT_EQ(six.reader->header.number_of_point_records, 0u);
  EXPECT_EQ(six.reader->header.extended_number_of_point_records, 2u);
  EXPECT_EQ(six.reader->header.extended_number_of_points_by_return[5], 1u);

  // The counting pass parses the whole line, as the reading pass does: a line
  // whose intensity does not parse is no point in either.
  Opened skip = open_text(dir.file("w.txt", "1 1 1 x y 2\n"), "xyzisr", true);
  EXPECT_FALSE(skip.ok);
  EXPECT_EQ(skip.err.find("counted"), std::string::npos) << skip.err;
  EXPECT_NE(skip.err.find("ERROR: could not parse any lines with 'xyzisr'\n"), std::string::npos);
}

TEST(LASreaderTXT, NoParsableLineFailsTheOpen) {
  TempDir dir;
  Opened o = open_text(dir.file("bad.txt", "a b c\nd e f\n"), "xyz", true);
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.err.find("WARNING: cannot parse 'a b c' with 'xyz'. skipping ...\n"),
            std::string::npos);
  EXPECT_NE(o.err.find("ERROR: could not parse any lines with 'xyz'\n"), std::string::npos);
  Opened missing = open_text(dir.path + "/none.txt", "xyz");
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.err, "ERROR: cannot open file '" + dir.path + "/none.txt'\n");
  Opened undescribed = open_text(dir.file("a.txt", "1 2 3 4\n"), "xyz0");
  EXPECT_FALSE(undescribed.ok);
  EXPECT_EQ(undescribed.err, "ERROR: extra bytes attribute '0' was not described.\n");
}

TEST(LASreaderTXT, CarriageReturnsAndLongLines) {
  TempDir dir;
  std::string text = "1 2 3\r\n4 5 6\r\n";
  text += "7 8 9 " + std::string(600, 'x') + "\n";         // long tail after the values
  text += std::string(505, ' ') + "10 11 12\n";              // values cut at 511 characters
  text += "13 14 15\n";
  Opened o = open_text(dir.file("crlf.txt", text), "xyz");
  ASSERT_TRUE(o.ok) << o.err;
  testing::internal::CaptureStderr();
  const auto xyz = read_all(*o.reader);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(xyz.size(), 4u);
  EXPECT_EQ(xyz[1][2], 6.0);
  EXPECT_EQ(xyz[2][0], 7.0);  // the tail of the long line is no point of its own
  EXPECT_EQ(xyz[3][0], 13.0);
  EXPECT_NE(err.find("WARNING: line longer than 511 characters"), std::string::npos);
}

TEST(LASreaderTXT, PtsHeaderAndRecord) {
  TempDir dir;
  Opened o;
  o.reader.reset(new LASreaderTXT());
  o.reader->set_pts(true);
  testing::internal::CaptureStderr();
  const std::string name = dir.file("a.pts", "3\n1 2 3 -2048\n4 5 6 0\n7 8 9 2047\n");
  ASSERT_TRUE(o.reader->open_file(name.c_str(), 0, "xyzi", 0, false));
  testing::internal::GetCapturedStderr();
  const LASheader& h = o.reader->header;
  EXPECT_EQ(h.number_of_point_records, 3u);
  EXPECT_EQ(o.reader->npoints, 0);  // a stated count is counted while reading
  const LASvlrRecord* vlr = h.find_vlr("Mirvelox", 2000);
  ASSERT_NE(vlr, nullptr);
  ASSERT_EQ(vlr->record_length_after_header, 32);
  float translate, scale;
  std::memcpy(&translate, vlr->data.get(), 4);
  std::memcpy(&scale, vlr->data.get() + 4, 4);
  EXPECT_EQ(translate, 2048.0f);
  EXPECT_EQ(scale, 1.0f);
  EXPECT_STREQ(reinterpret_cast<const char*>(vlr->data.get() + 16), "xyzi");
  std::vector<int> intensities;
  while (o.reader->read_point()) intensities.push_back(o.reader->point.get_intensity());
  EXPECT_EQ(intensities, (std::vector<int>{0, 2048, 4095}));

  // The populate pass announces the stated count and counts for itself.
  LASreaderTXT* populated = new LASreaderTXT();
  populated->set_pts(true);
  Opened p = open_text(dir.file("b.pts", "5\n1 2 3 0\n4 5 6 0\n"), "xyzi", true, 0, populated);
  ASSERT_TRUE(p.ok) << p.err;
  EXPECT_NE(p.err.find("PTS header states 5 points. ignoring ...\n"), std::string::npos);
  EXPECT_EQ(p.reader->header.number_of_point_records, 2u);

  LASreaderTXT* broken = new LASreaderTXT();
  broken->set_pts(true);
  Opened b = open_text(dir.file("c.pts", "many\n1 2 3\n"), "xyz", false, 0, broken);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.err, "ERROR: parsing number of points for '-itps'\n");
}

TEST(LASreaderTXT, PtxHeaderAndRecord) {
  TempDir dir;
  const std::string head =
      "2\n3\n10 20 30\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n10 20 30 1\n";
  LASreaderTXT* reader = new LASreaderTXT();
  reader->set_ptx(true);
  const std::string name = dir.file("a.ptx", head + "1 2 3 0.5\n4 5 6 1\n");
  Opened o = open_text(name, "xyzi", false, 0, reader);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->header.number_of_point_records, 6u);
  testing::internal::CaptureStderr();
  int n = 0;
  while (o.reader->read_point()) n++;
  EXPECT_EQ(n, 2);
  EXPECT_EQ(o.reader->npoints, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: end-of-file after 2 of 6 points\n");
  ASSERT_TRUE(o.reader->reopen(name.c_str()));
  const LASvlrRecord* vlr = o.reader->header.find_vlr("Mirvelox", 2001);
  ASSERT_NE(vlr, nullptr);
  ASSERT_EQ(vlr->record_length_after_header, 272);
  int64_t cols, rows;
  double translation[3], transformation_last[4];
  std::memcpy(&cols, vlr->data.get() + 32, 8);
  std::memcpy(&rows, vlr->data.get() + 40, 8);
  std::memcpy(translation, vlr->data.get() + 48, 24);
  std::memcpy(transformation_last, vlr->data.get() + 144 + 96, 32);
  EXPECT_EQ(cols, 2);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(translation[1], 20.0);
  EXPECT_EQ(transformation_last[2], 30.0);
  EXPECT_EQ(transformation_last[3], 1.0);
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.get_intensity(), 2048);

  struct Case {
    const char* text;
    const char* message;
  } cases[] = {{"2\n", "ERROR: reading line with number of rows\n"},
               {"2\nx\n", "ERROR: parsing number of rows\n"},
               {"2\n3\n1 2\n", "ERROR: parsing translation\n"},
               {"2\n3\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n",
                "ERROR: reading line with transformation row 3\n"}};
  for (const auto& c : cases) {
    LASreaderTXT* r = new LASreaderTXT();
    r->set_ptx(true);
    Opened b = open_text(dir.file("b.ptx", c.text), "xyz", false, 0, r);
    EXPECT_FALSE(b.ok);
    EXPECT_EQ(b.err, c.message);
  }
}

TEST(LASreaderTXT, SeekBackReopenAndSkip) {
  TempDir dir;
  std::string text = "header line\n";
  for (int i = 0; i < 10; i++) text += std::to_string(i) + " 0 0\n";
  const std::string name = dir.file("seek.txt", text);
  Opened o = open_text(name, "xyz", true, 1);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->npoints, 10);
  for (int i = 0; i < 8; i++) ASSERT_TRUE(o.reader->read_point());
  ASSERT_TRUE(o.reader->seek_point(5));
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.get_x(), 5.0);  // the sixth point
  ASSERT_TRUE(o.reader->reopen(name.c_str()));
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.get_x(), 0.0);
  EXPECT_EQ(read_all(*o.reader).size(), 9u);
}

TEST(LASreaderTXT, UnpopulatedHeaderGrowsWhileReading) {
  TempDir dir;
  const std::string name = dir.file("u.txt", "5 5 5 1\n1 9 2 2\n3 0 7 1\n");
  Opened o = open_text(name, "xyzr");
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.reader->npoints, 0);
  EXPECT_EQ(read_all(*o.reader).size(), 3u);
  const LASheader& h = o.reader->header;
  EXPECT_EQ(o.reader->npoints, 3);
  EXPECT_EQ(h.number_of_point_records, 3u);
  EXPECT_EQ(h.number_of_points_by_return[0], 2u);
  EXPECT_EQ(h.number_of_points_by_return[1], 1u);
  EXPECT_EQ(h.min_x, 1.0);
  EXPECT_EQ(h.max_y, 9.0);
  EXPECT_EQ(h.max_z, 7.0);
  // A second pass counts nothing twice.
  ASSERT_TRUE(o.reader->reopen(name.c_str()));
  EXPECT_EQ(read_all(*o.reader).size(), 3u);
  EXPECT_EQ(h.number_of_points_by_return[0], 2u);
}

TEST(LASreaderTXT, AddedAttributesWithRanges) {
  TempDir dir;
  LASreaderTXT* reader = new LASreaderTXT();
  reader->add_attribute(4, "height", "height above ground", 0.01, 0.0, 1.0, 0.0, -1.0);
  reader->add_attribute(19, nullptr, nullptr);  // folds onto F32
  Opened o = open_text(dir.file("a.txt", "1 1 1 2.5 7\n2 2 2 -1.25 9\n"), "xyz01", true, 0,
                       reader);
  ASSERT_TRUE(o.ok) << o.err;
  const LASheader& h = o.reader->header;
  ASSERT_EQ(h.number_attributes, 2);
  EXPECT_EQ(h.attributes[0].data_type, 4);
  EXPECT_EQ(h.attributes[1].data_type, 9);
  EXPECT_STREQ(h.attributes[1].name, "attribute 1");
  EXPECT_EQ(h.point_data_record_length, 20 + 2 + 4);
  int64_t min, max;
  std::memcpy(&min, h.attributes[0].min[0], 8);
  std::memcpy(&max, h.attributes[0].max[0], 8);
  EXPECT_EQ(min, -125);
  EXPECT_EQ(max, 250);
  EXPECT_NE(h.find_vlr("LASF_Spec", 4), nullptr);
  ASSERT_TRUE(o.reader->read_point());
  double v;
  ASSERT_TRUE(h.get_value(o.reader->point, 0, &v));
  EXPECT_DOUBLE_EQ(v, 2.5);

  LASreaderTXT* bad = new LASreaderTXT();
  bad->add_attribute(0, "zero", "type zero");
  Opened b = open_text(dir.file("b.txt", "1 1 1\n"), "xyz", false, 0, bad);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.err, "ERROR: initializing attribute type zero\n");
}

TEST(LASreaderTXT, VariantsPutTheirValuesIntoTheHeader) {
  TempDir dir;
  const std::string name = dir.file("v.txt", "1000.123 2000.456 3.789\n");
  Opened o = open_text(name, "xyz", true, 0,
                       new LASreaderTXTrescalereoffset(0.001, 0.001, 0.0, 1000, 2000, 0));
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->header.x_scale_factor, 0.001);
  EXPECT_EQ(o.reader->header.z_scale_factor, 0.01);  // 0 keeps the reader's choice
  EXPECT_EQ(o.reader->header.x_offset, 1000.0);
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.X, 123);
  EXPECT_EQ(o.reader->point.Y, 456);
}

TEST(LASreaderTXT, ReadsAStreamWithoutName) {
  std::string text = "1 2 3\n4 5 6\n";
  FILE* f = fmemopen(text.data(), text.size(), "r");
  ASSERT_NE(f, nullptr);
  LASreaderTXT reader;
  ASSERT_TRUE(reader.open(f, nullptr, 0, "xyz", 0, true));
  EXPECT_EQ(reader.header.file_creation_year, 2019);
  EXPECT_EQ(reader.header.file_creation_day, 1);
  EXPECT_EQ(read_all(reader).size(), 2u);
  EXPECT_EQ(reader.npoints, 2);
}

}  // namespace
