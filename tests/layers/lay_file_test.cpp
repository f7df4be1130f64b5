// LAY files: the header at its byte offsets and what each side says about a
// changed field, and whole files written by the layer-recording writer and
// read back through the layer-applying reader, extended, cut and damaged.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "file_bytes.hpp"
#include "filter/las_filter.hpp"
#include "las_fixture.hpp"
#include "layers/las_apply.hpp"
#include "layers/las_modify.hpp"
#include "layers/lay_file_header.hpp"
#include "layers/layers_point_sets.hpp"
#include "temp_dir.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// A point file's header with a value in every field the LAY header copies.
void distinct_header(LASheader* h, uint8_t minor) {
  h->file_source_ID = 7;
  h->global_encoding = 1;
  h->project_ID_GUID_data_1 = 0x01020304;
  h->project_ID_GUID_data_2 = 0x0506;
  h->project_ID_GUID_data_3 = 0x0708;
  for (int i = 0; i < 8; i++) h->project_ID_GUID_data_4[i] = uint8_t('a' + i);
  h->version_major = 1;
  h->version_minor = minor;
  std::memcpy(h->system_identifier, "system identifier", 17);
  std::memcpy(h->generating_software, "generating software", 19);
  h->file_creation_day = 123;
  h->file_creation_year = 2021;
  h->header_size = minor >= 4 ? 375 : 227;
  h->number_of_variable_length_records = 3;
  h->point_data_format = 1;
  h->point_data_record_length = 28;
  h->number_of_point_records = 1000;
  for (int i = 0; i < 5; i++) h->number_of_points_by_return[i] = 10 + i;
  h->x_scale_factor = 0.001;
  h->y_scale_factor = 0.002;
  h->z_scale_factor = 0.003;
  h->x_offset = 100;
  h->y_offset = 200;
  h->z_offset = 300;
  h->max_x = 11;
  h->min_x = 1;
  h->max_y = 22;
  h->min_y = 2;
  h->max_z = 33;
  h->min_z = 3;
  h->extended_number_of_point_records = 1000;
  for (int i = 0; i < 15; i++) h->extended_number_of_points_by_return[i] = 500 + i;
}

Bytes lay_header_bytes(const LASheader& h, uint32_t num_layers) {
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(write_lay_header(&out, h, num_layers));
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

TEST(LayHeader, Las12GivesTheShortHeaderAtTheseOffsets) {
  LASheader h;
  distinct_header(&h, 2);
  const Bytes b = lay_header_bytes(h, 3);
  ASSERT_EQ(b.size(), 276u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 8), std::string("LAYFBIN\n"));
  for (int at = 8; at < 16; at++) EXPECT_EQ(b[at], 0) << at;
  EXPECT_EQ(fixture_get_u32(b, 16), 3u);
  EXPECT_EQ(fixture_get_u32(b, 20), 276u);
  for (int at = 24; at < 56; at++) EXPECT_EQ(b[at], 0) << at;
  EXPECT_EQ(fixture_get_u16(b, 56), 7);
  EXPECT_EQ(fixture_get_u16(b, 58), 1);
  EXPECT_EQ(fixture_get_u32(b, 60), 0x01020304u);
  EXPECT_EQ(fixture_get_u16(b, 64), 0x0506);
  EXPECT_EQ(fixture_get_u16(b, 66), 0x0708);
  EXPECT_EQ(std::string(b.begin() + 68, b.begin() + 76), "abcdefgh");
  EXPECT_EQ(b[76], 1);
  EXPECT_EQ(b[77], 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[78])), "system identifier");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[110])), "generating software");
  EXPECT_EQ(fixture_get_u16(b, 142), 123);
  EXPECT_EQ(fixture_get_u16(b, 144), 2021);
  EXPECT_EQ(fixture_get_u16(b, 146), 227);
  EXPECT_EQ(fixture_get_u32(b, 148), 3u);
  EXPECT_EQ(b[152], 1);
  EXPECT_EQ(b[153], 1);
  EXPECT_EQ(fixture_get_u16(b, 154), 28);
  EXPECT_EQ(fixture_get_u32(b, 156), 1000u);
  for (int i = 0; i < 5; i++) EXPECT_EQ(fixture_get_u32(b, 160 + 4 * i), 10u + i);
  const double doubles[12] = {0.001, 0.002, 0.003, 100, 200, 300, 11, 1, 22, 2, 33, 3};
  for (int i = 0; i < 12; i++) EXPECT_EQ(fixture_get_f64(b, 180 + 8 * i), doubles[i]) << i;
}

TEST(LayHeader, Las14AppendsTheLongCounts) {
  LASheader h;
  distinct_header(&h, 4);
  const Bytes b = lay_header_bytes(h, 1);
  ASSERT_EQ(b.size(), 404u);
  EXPECT_EQ(fixture_get_u32(b, 20), 404u);
  EXPECT_EQ(fixture_get_f64(b, 268), 3.0);
  EXPECT_EQ(fixture_get_u64(b, 276), 1000u);
  for (int i = 0; i < 15; i++) EXPECT_EQ(fixture_get_u64(b, 284 + 8 * i), 500u + i);
}

struct Mutation {
  const char* name;
  size_t at;
  Bytes value;
  bool apply_ok, modify_ok;
  const char* apply_says;  // what is printed, exactly
  const char* modify_says = nullptr;  // null: the same as apply_says
};

std::vector<Mutation> mutations() {
  return {
      {"signature", 3, {'G'}, false, false, "ERROR: wrong file signature 'LAYG'\n"},
      {"encoding", 6, {'X'}, false, false, "ERROR: unknown file encoding 'BIX\n'\n"},
      {"LAY version major", 8, {1}, false, false, "ERROR: unknown LAY version major 1\n"},
      {"LAY version minor", 9, {2}, false, false, "ERROR: unknown LAY version minor 2\n"},
      {"LAY version release", 10, {3}, false, false, "ERROR: unknown LAY version release 3\n"},
      {"compression", 12, {4}, false, false, "ERROR: unknown LAY compression 4\n"},
      {"no layers", 16, {0}, true, true, "WARNING: LAY file with 0 layers\n",
       "WARNING: existing LAY file has 0 layers\n"},
      {"offset to layers 275", 20, {19, 1}, false, false,
       "ERROR: LAY file offset to layers of 275 smaller than minimum 276\n"},
      {"offset to layers 1000", 20, {0xE8, 3}, true, true, ""},
      {"reserved0", 24, {5}, true, true, "WARNING: unknown LAY reserved0 of 5\n",
       "WARNING: unknown LAY reverved0 of 5\n"},
      {"reserved3", 48, {6}, true, true, "WARNING: unknown LAY reserved3 of 6\n",
       "WARNING: unknown LAY reverved3 of 6\n"},
      {"file_source_ID", 56, {99}, false, false,
       "ERROR: mismatch in header file_source_ID (LAY 99 LAS 7)\n"},
      {"global_encoding", 58, {0}, true, false,
       "WARNING: mismatch in header global_encoding (LAY 0 LAS 1)\n",
       "ERROR: mismatch in header global_encoding (LAY 0 LAS 1)\n"},
      {"GUID 1", 60, {0}, false, false,
       "ERROR: mismatch in header project_ID_GUID_data_1 (LAY 16909056 LAS 16909060)\n"},
      {"GUID 2", 64, {0}, false, false,
       "ERROR: mismatch in header project_ID_GUID_data_2 (LAY 1280 LAS 1286)\n"},
      {"GUID 3", 66, {0}, false, false,
       "ERROR: mismatch in header project_ID_GUID_data_3 (LAY 1792 LAS 1800)\n"},
      {"GUID 4", 75, {'z'}, false, false,
       "ERROR: mismatch in header project_ID_GUID_data_4 (LAY 'abcdefgz' LAS 'abcdefgh')\n"},
      {"LAS version major", 76, {2}, false, false,
       "ERROR: mismatch in header version_major (LAY 2 LAS 1)\n"},
      {"LAS version minor", 77, {3}, false, false,
       "ERROR: mismatch in header version_minor (LAY 3 LAS 2)\n"},
      {"system identifier", 78, {'S'}, true, true,
       "WARNING: mismatch in header system_identifier (LAY 'System identifier' LAS 'system "
       "identifier')\n"},
      {"generating software", 110, {'G'}, true, true,
       "WARNING: mismatch in header generating_software (LAY 'Generating software' LAS "
       "'generating software')\n"},
      {"creation day", 142, {1}, true, true, ""},
      {"header size", 146, {1}, true, true, ""},
      {"number of records", 148, {1}, true, true, ""},
      // The layers belong to these points: their layout, counts and place must match.
      {"point format", 152, {9, 9}, false, false,
       "ERROR: mismatch in header point_data_format (LAY 9 LAS 1)\n"},
      {"record length", 154, {1}, false, false,
       "ERROR: mismatch in header point_data_record_length (LAY 1 LAS 28)\n"},
      {"point count", 156, {1}, false, false,
       "ERROR: mismatch in header number_of_point_records (LAY 769 LAS 1000)\n"},
      {"points by return", 168, {1}, false, false,
       "ERROR: mismatch in header number_of_points_by_return[2] (LAY 1 LAS 12)\n"},
      {"scale factor", 180, {1}, false, false,
       "ERROR: mismatch in header x_scale_factor (LAY 0.00099999999999994559 LAS 0.001)\n"},
      {"offset", 204, {1}, false, false,
       "ERROR: mismatch in header x_offset (LAY 100.00000000000001 LAS 100)\n"},
      {"bounding box min", 236, {1}, false, false,
       "ERROR: mismatch in header min_x (LAY 1.0000000000000002 LAS 1)\n"},
      {"bounding box", 260, {1}, false, false,
       "ERROR: mismatch in header max_z (LAY 33.000000000000007 LAS 33)\n"},
  };
}

TEST(LayHeader, EachChangedFieldGetsItsAnswerOnBothSides) {
  LASheader h;
  distinct_header(&h, 2);
  const Bytes good = lay_header_bytes(h, 2);
  for (const Mutation& m : mutations()) {
    SCOPED_TRACE(m.name);
    Bytes b = good;
    std::copy(m.value.begin(), m.value.end(), b.begin() + long(m.at));
    for (LAYside side : {LAYside::apply, LAYside::modify}) {
      const bool apply = side == LAYside::apply;
      ByteStreamInArrayLE in(b.data(), int64_t(b.size()));
      LAYheader lay;
      testing::internal::CaptureStderr();
      const bool ok = read_lay_header(&in, h, side, &lay);
      const char* modify_says = m.modify_says ? m.modify_says : m.apply_says;
      EXPECT_EQ(testing::internal::GetCapturedStderr(), apply ? m.apply_says : modify_says);
      EXPECT_EQ(ok, apply ? m.apply_ok : m.modify_ok);
      // The first layer record follows right behind the header, wherever
      // offset_to_layers points.
      if (ok) {
        EXPECT_EQ(in.position(), 276);
      }
    }
  }
}

// The LAS 1.4 counts belong to the points too: a LAY file of another count is refused.
TEST(LayHeader, TheLongCountsMustMatchOnBothSides) {
  LASheader h;
  distinct_header(&h, 4);
  const Bytes good = lay_header_bytes(h, 1);
  struct Case {
    size_t at;
    const char* says;
  } cases[] = {
      {276, "ERROR: mismatch in header extended_number_of_point_records (LAY 769 LAS 1000)\n"},
      {284 + 8 * 14,
       "ERROR: mismatch in header extended_number_of_points_by_return[14] (LAY 513 LAS 514)\n"},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    b[c.at] = 1;
    for (LAYside side : {LAYside::apply, LAYside::modify}) {
      ByteStreamInArrayLE in(b.data(), int64_t(b.size()));
      LAYheader lay;
      testing::internal::CaptureStderr();
      EXPECT_FALSE(read_lay_header(&in, h, side, &lay));
      EXPECT_EQ(testing::internal::GetCapturedStderr(), c.says);
    }
  }
}

TEST(LayHeader, EveryCutIsRefusedWithAMessage) {
  for (uint8_t minor : {2, 4}) {
    LASheader h;
    distinct_header(&h, minor);
    const Bytes good = lay_header_bytes(h, 1);
    for (size_t n = 0; n < good.size(); n++) {
      ByteStreamInArrayLE in(good.data(), int64_t(n));
      LAYheader lay;
      testing::internal::CaptureStderr();
      EXPECT_FALSE(read_lay_header(&in, h, LAYside::apply, &lay)) << n;
      const std::string said = testing::internal::GetCapturedStderr();
      EXPECT_EQ(said.rfind("ERROR: reading ", 0), 0u) << n << ": " << said;
    }
  }
}

TEST(LayHeader, FileNames) {
  struct Case {
    const char* point_file;
    const char* directory;
    const char* lay;
  } cases[] = {
      {"/data/tile.las", nullptr, "/data/tile.lay"},
      {"/data/tile.vpk", nullptr, "/data/tile.lay"},
      {"/data/tile.las", "/lay", "/lay/tile.lay"},
      {"tile.las", "out", "out/tile.lay"},
      {"C:\\data\\tile.las", "D:\\lay", "D:\\lay/tile.lay"},
      {"ab", nullptr, "ab.lay"},
      {"/data/TILE.LAS", nullptr, "/data/TILE.lay"},
      // Any other point file keeps its whole name, so that no two inputs share a LAY file.
      {"p.txt.gz", nullptr, "p.txt.gz.lay"},
      {"p.txt.7z", nullptr, "p.txt.7z.lay"},
      {"p.gz", nullptr, "p.gz.lay"},
      {"p.txt.zip", nullptr, "p.txt.zip.lay"},
      {"p.txt.las", nullptr, "p.txt.lay"},
      {"t00.txt", nullptr, "t00.txt.lay"},
      {"t00.ply", nullptr, "t00.ply.lay"},
      {"/data/p.txt", "out", "out/p.txt.lay"},
      {"las", nullptr, "las.lay"},
  };
  for (const Case& c : cases) EXPECT_EQ(lay_file_name(c.point_file, c.directory), c.lay);
}

// --- whole files

class LayFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    las = write_las("tile.las", 2, 30);
  }

  std::string write_las(const std::string& name, uint8_t minor, size_t count) {
    FixtureFile f;
    f.version_minor = minor;
    f.point_data_format = 1;
    f.file_source_ID = 7;
    points = fixture_random_points(17, count, 1);
    for (size_t i = 0; i < points.size(); i++) {
      points[i].classification = uint8_t(i % 5);
      points[i].return_number = 1;
      points[i].number_of_returns = 1;
    }
    const std::string path = dir.path + "/" + name;
    EXPECT_TRUE(fixture_write_file(path, f, points));
    return path;
  }

  static std::unique_ptr<LASreader> open_las(const std::string& path) {
    auto reader = std::make_unique<LASreaderLAS>();
    EXPECT_TRUE(reader->open_file(path.c_str()));
    return reader;
  }

  // One run of the writer over every point of `reader`; `change` makes the
  // written point from the point read.
  bool record(LASreader* reader, bool extend, const char* lay_dir,
              const std::function<void(LASmodify&)>& declare,
              const std::function<void(LASpoint&, size_t)>& change) {
    LASheader header;
    header.assign(reader->header);
    LASmodify modify(&header);
    declare(modify);
    modify.set_lay_directory(lay_dir);
    if (!modify.open(las.c_str(), reader, extend)) return false;
    LASpoint written;
    written.init_like(&reader->point, false);
    size_t i = 0;
    while (reader->read_point()) {
      written.assign(reader->point);
      change(written, i++);
      if (!modify.write_one_point(&written)) return false;
    }
    return modify.close_output() > 0;
  }

  bool record_plain(bool extend, const std::function<void(LASmodify&)>& declare,
                    const std::function<void(LASpoint&, size_t)>& change,
                    const char* lay_dir = nullptr) {
    auto reader = open_las(las);
    return record(reader.get(), extend, lay_dir, declare, change);
  }

  // The points as the layers leave them (count layers loaded); empty when
  // the LAY file cannot be opened or loaded.
  std::vector<LASpointData> apply(int32_t count = INT32_MAX, const char* lay_dir = nullptr,
                                  std::string* messages = nullptr) {
    auto reader = open_las(las);
    LASapply apply;
    apply.set_lay_directory(lay_dir);
    std::vector<LASpointData> out;
    testing::internal::CaptureStderr();
    if (apply.open(las.c_str(), reader.get())) {
      reader.release();
      if (apply.load_layers(count)) {
        while (apply.read_point()) out.push_back(apply.point);
      } else {
        reader.reset(apply.release_inner());
      }
    }
    const std::string said = testing::internal::GetCapturedStderr();
    if (messages) *messages = said;
    return out;
  }

  std::string lay() const { return dir.path + "/tile.lay"; }

  TempDir dir;
  std::string las;
  std::vector<FixturePoint> points;
};

void set_class(LASpoint& p, uint8_t c) {
  p.set_classification(c);
  p.set_extended_classification(c);
}

TEST_F(LayFiles, ANewFileHoldsItsHeaderAndOneLayer) {
  ASSERT_TRUE(record_plain(
      false, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("classification", 0x30, "run")); },
      [](LASpoint& p, size_t i) { set_class(p, uint8_t(i % 3 == 0 ? 2 : 1)); }));
  const Bytes b = file_bytes(lay());
  ASSERT_GT(b.size(), 276u);
  EXPECT_EQ(fixture_get_u32(b, 16), 1u);
  EXPECT_EQ(fixture_get_u32(b, 20), 276u);
  EXPECT_EQ(fixture_get_u64(b, 276), b.size() - 276);  // the record's size
  EXPECT_EQ(fixture_get_u32(b, 284), 1u);              // replace
  EXPECT_EQ(fixture_get_u32(b, 288), 256u);            // classification
  const std::vector<LASpointData> read = apply();
  ASSERT_EQ(read.size(), points.size());
  for (size_t i = 0; i < read.size(); i++) {
    EXPECT_EQ(read[i].class_byte & 31, i % 3 == 0 ? 2 : 1) << i;
    EXPECT_EQ(read[i].X, points[i].X);
  }
}

TEST_F(LayFiles, ALas14FileGetsTheLongHeader) {
  las = write_las("tile14.las", 4, 12);
  ASSERT_TRUE(record_plain(
      false, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, nullptr)); },
      [](LASpoint& p, size_t i) { p.user_data = uint8_t(i * 7); }));
  const Bytes b = file_bytes(dir.path + "/tile14.lay");
  EXPECT_EQ(fixture_get_u32(b, 20), 404u);
  EXPECT_EQ(fixture_get_u32(b, 404 + 8), 1u);
  const std::vector<LASpointData> read = apply();
  ASSERT_EQ(read.size(), 12u);
  for (size_t i = 0; i < read.size(); i++) EXPECT_EQ(read[i].user_data, uint8_t(i * 7));
}

// Three layers: classes, user data, intensity.
void three_layers(LASmodify& m) {
  ASSERT_TRUE(m.replace_field("classification", 0, "one"));
  ASSERT_TRUE(m.replace_field("user_data", 0, "two"));
  ASSERT_TRUE(m.replace_field("intensity", 0, "three"));
}
void three_changes(LASpoint& p, size_t i) {
  set_class(p, uint8_t(i % 7));
  p.user_data = uint8_t(200 - i);
  p.intensity = uint16_t(i * 2311);
}

TEST_F(LayFiles, ExtendingBehindTwoOfThreeLayersReadsBackCleanly) {
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  // Through a reader that applied only the first two: the new intensity layer
  // (constant, so far shorter than the one it replaces) goes over the third.
  {
    auto reader = open_las(las);
    LASapply apply;
    ASSERT_TRUE(apply.open(las.c_str(), reader.get()));
    reader.release();
    ASSERT_TRUE(apply.load_layers(2));
    ASSERT_TRUE(record(
        &apply, true, nullptr,
        [](LASmodify& m) { ASSERT_TRUE(m.replace_field("intensity", 0, "three again")); },
        [](LASpoint& p, size_t) { p.intensity = 5; }));
  }
  Bytes b = file_bytes(lay());
  EXPECT_EQ(fixture_get_u32(b, 16), 3u);
  // Then a fourth layer through a plain reader, placed at the end of the file.
  ASSERT_TRUE(record_plain(
      true, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("keypoint_flag", 0, "four")); },
      [](LASpoint& p, size_t i) { p.set_keypoint_flag(i % 2); }));
  b = file_bytes(lay());
  EXPECT_EQ(fixture_get_u32(b, 16), 4u);
  std::string messages;
  const std::vector<LASpointData> read = apply(INT32_MAX, nullptr, &messages);
  ASSERT_EQ(read.size(), points.size()) << messages;
  EXPECT_EQ(messages, "");
  for (size_t i = 0; i < read.size(); i++) {
    EXPECT_EQ(read[i].class_byte & 31, i % 7);
    EXPECT_EQ(read[i].user_data, 200 - i);
    EXPECT_EQ(read[i].intensity, 5);
    EXPECT_EQ((read[i].class_byte >> 6) & 1, i % 2);
  }
}

TEST_F(LayFiles, ExtendingThroughAPlainReaderKeepsEveryLayer) {
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  ASSERT_TRUE(record_plain(
      true, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, "again")); },
      [](LASpoint& p, size_t) { p.user_data = 9; }));
  EXPECT_EQ(fixture_get_u32(file_bytes(lay()), 16), 4u);
  const std::vector<LASpointData> read = apply();
  ASSERT_EQ(read.size(), points.size());
  for (size_t i = 0; i < read.size(); i++) {
    EXPECT_EQ(read[i].user_data, 9);
    EXPECT_EQ(read[i].intensity, uint16_t(i * 2311));
  }
}

TEST_F(LayFiles, PositionsOfAnotherLayFileAreNotUsed) {
  // The reader applies the LAY file in "in" (one of its two layers); the
  // writer extends the one in "out", which has three.
  const std::string in_dir = dir.path + "/in", out_dir = dir.path + "/out";
  ASSERT_EQ(mkdir(in_dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(out_dir.c_str(), 0755), 0);
  ASSERT_TRUE(record_plain(
      false,
      [](LASmodify& m) {
        ASSERT_TRUE(m.replace_field("user_data", 0, "in one"));
        ASSERT_TRUE(m.replace_field("user_data", 0, "in two"));
      },
      [](LASpoint& p, size_t) { p.user_data = 1; }, in_dir.c_str()));
  ASSERT_TRUE(record_plain(false, three_layers, three_changes, out_dir.c_str()));
  {
    auto reader = open_las(las);
    LASapply apply;
    apply.set_lay_directory(in_dir.c_str());
    ASSERT_TRUE(apply.open(las.c_str(), reader.get()));
    reader.release();
    ASSERT_TRUE(apply.load_layers(1));
    ASSERT_TRUE(record(
        &apply, true, out_dir.c_str(),
        [](LASmodify& m) { ASSERT_TRUE(m.replace_field("keypoint_flag", 0, "out four")); },
        [](LASpoint& p, size_t) { p.set_keypoint_flag(1); }));
  }
  EXPECT_EQ(fixture_get_u32(file_bytes(out_dir + "/tile.lay"), 16), 4u);
  const std::vector<LASpointData> read = apply(INT32_MAX, out_dir.c_str());
  ASSERT_EQ(read.size(), points.size());
  for (size_t i = 0; i < read.size(); i++) {
    EXPECT_EQ(read[i].intensity, uint16_t(i * 2311));
    EXPECT_EQ((read[i].class_byte >> 6) & 1, 1);
  }
}

TEST_F(LayFiles, AnExistingFileThatCannotBeExtendedIsLeftAsItWas) {
  Bytes damaged = {'L', 'A', 'Y', 'F', 'B', 'I', 'N', '\n', 9};
  damaged.resize(400, 0xAB);
  write_bytes(lay(), damaged);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(record_plain(
      true, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, nullptr)); },
      [](LASpoint&, size_t) {}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: unknown LAY version major 9\nERROR: checking LAY header(s)\n");
  EXPECT_EQ(file_bytes(lay()), damaged);
  // Asked to extend a file that is not there, the writer creates it.
  std::remove(lay().c_str());
  ASSERT_TRUE(record_plain(
      true, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, nullptr)); },
      [](LASpoint& p, size_t) { p.user_data = 3; }));
  EXPECT_EQ(fixture_get_u32(file_bytes(lay()), 16), 1u);
}

// New layers behind a file that does not load whole could never be reached: such a file is not
// extended, through a plain reader either, and keeps every byte.
TEST_F(LayFiles, AFileThatDoesNotLoadWholeIsNeverExtended) {
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  const Bytes good = file_bytes(lay());
  const auto user_data = [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, "x")); };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"cut inside the last layer", [](Bytes& b) { b.resize(b.size() - 3); }},
      {"cut at byte 320", [](Bytes& b) { b.resize(320); }},
      {"one layer more counted", [](Bytes& b) { b[16] = 4; }},
      {"one layer less counted", [](Bytes& b) { b[16] = 2; }},
      {"a record of an unknown kind", [](Bytes& b) { b[276 + 8] = 99; }},
      {"bytes behind the last layer", [](Bytes& b) { b.push_back(0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes damaged = good;
    c.damage(damaged);
    ASSERT_TRUE(write_bytes(lay(), damaged));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(record_plain(true, user_data, [](LASpoint& p, size_t) { p.user_data = 1; }));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("ERROR: checking LAY header(s)\n"), std::string::npos) << said;
    EXPECT_EQ(file_bytes(lay()), damaged);
    // Nor is it applied.
    std::string messages;
    EXPECT_TRUE(apply(INT32_MAX, nullptr, &messages).empty()) << messages;
  }
}

// A writer deleted before close_output belongs to a run that failed: a LAY file it created is
// removed, one it extended or replaced gets back every byte.
TEST_F(LayFiles, AWriterDeletedUnclosedTakesBackWhatItWrote) {
  const auto user_data = [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, "x")); };
  struct Case {
    const char* name;
    bool existing, extend;
  } cases[] = {{"created", false, false}, {"extended", true, true}, {"replaced", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool existing = c.existing;
    std::remove(lay().c_str());
    Bytes before;
    if (existing) {
      ASSERT_TRUE(record_plain(false, three_layers, three_changes));
      before = file_bytes(lay());
    }
    auto reader = open_las(las);
    LASheader header;
    header.assign(reader->header);
    testing::internal::CaptureStderr();
    {
      LASmodify modify(&header);
      user_data(modify);
      ASSERT_TRUE(modify.open(las.c_str(), reader.get(), c.extend, true));
      while (reader->read_point()) ASSERT_TRUE(modify.write_one_point(&reader->point));
    }
    const std::string said = testing::internal::GetCapturedStderr();
    if (existing) {
      EXPECT_EQ(said, "ERROR: LAY file '" + lay() + "' left as it was\n");
      EXPECT_EQ(file_bytes(lay()), before);
    } else {
      EXPECT_EQ(said, "ERROR: removed the incomplete LAY file '" + lay() + "'\n");
      EXPECT_FALSE(path_exists(lay()));
    }
  }
}

// A new set of layers replaces those of the same point file only.
TEST_F(LayFiles, TheLayFileOfAnotherPointFileIsNotOverwritten) {
  const auto user_data = [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, "x")); };
  const auto change = [](LASpoint& p, size_t) { p.user_data = 1; };
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  // The same file again: replaced.
  ASSERT_TRUE(record_plain(false, user_data, change));
  EXPECT_EQ(fixture_get_u32(file_bytes(lay()), 16), 1u);
  // Other points under the same LAY name, and a file that is no LAY file: kept.
  las = write_las("tile.vpk", 2, 31);
  const Bytes not_lay = {'n', 'o', 't', ' ', 'l', 'a', 'y'};
  for (const Bytes& existing : {file_bytes(lay()), not_lay}) {
    ASSERT_TRUE(write_bytes(lay(), existing));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(record_plain(false, user_data, change));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("ERROR: LAY file '" + lay() +
                        "' was not written for this point file. not overwritten.\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(file_bytes(lay()), existing);
  }
  // An empty file is taken.
  ASSERT_TRUE(write_bytes(lay(), {}));
  ASSERT_TRUE(record_plain(false, user_data, change));
  EXPECT_EQ(fixture_get_u32(file_bytes(lay()), 16), 1u);
}

TEST_F(LayFiles, LoadingCountsFromTheFrontOrFromTheBack) {
  ASSERT_TRUE(record_plain(
      false,
      [](LASmodify& m) {
        three_layers(m);
        ASSERT_TRUE(m.replace_field("keypoint_flag", 0, "four"));
        ASSERT_TRUE(m.replace_field("withheld_flag", 0, "five"));
      },
      [](LASpoint& p, size_t i) {
        three_changes(p, i);
        p.set_keypoint_flag(1);
        p.set_withheld_flag(1);
      }));
  // How many of the five layers apply: class, user data, intensity, keypoint, withheld.
  const struct {
    int32_t count;
    int applied;
  } cases[] = {{2, 2}, {5, 5}, {9, 5}, {0, 0}, {-1, 4}, {-4, 1}, {-5, 0}, {-6, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    const std::vector<LASpointData> read = apply(c.count);
    ASSERT_EQ(read.size(), points.size());
    const size_t i = 11;
    EXPECT_EQ(read[i].class_byte & 31, c.applied >= 1 ? i % 7 : points[i].classification);
    EXPECT_EQ(read[i].user_data, c.applied >= 2 ? 200 - i : points[i].user_data);
    EXPECT_EQ(read[i].intensity, c.applied >= 3 ? i * 2311 : points[i].intensity);
    EXPECT_EQ((read[i].class_byte >> 6) & 1, c.applied >= 4 ? 1 : points[i].keypoint_flag);
    EXPECT_EQ(read[i].class_byte >> 7, c.applied >= 5 ? 1 : points[i].withheld_flag);
  }
}

TEST_F(LayFiles, AFilterOfTheReaderBecomesTheFirstLayer) {
  auto reader = open_las(las);
  LASfilter filter;
  char words[] = "-keep_class 2";
  ASSERT_TRUE(filter.take_argument_string(words));
  reader->attach_filter(&filter);
  ASSERT_TRUE(record(
      reader.get(), false, nullptr,
      [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, nullptr)); },
      [](LASpoint& p, size_t) { p.user_data = 42; }));
  reader->attach_filter(nullptr);
  const Bytes b = file_bytes(lay());
  EXPECT_EQ(fixture_get_u32(b, 16), 2u);
  EXPECT_EQ(fixture_get_u32(b, 276 + 8), 64u);  // a filter layer first
  const std::vector<LASpointData> read = apply();
  size_t kept = 0;
  for (const FixturePoint& p : points) kept += p.classification == 2;
  ASSERT_EQ(read.size(), kept);
  for (const LASpointData& p : read) {
    EXPECT_EQ(p.class_byte & 31, 2);
    EXPECT_EQ(p.user_data, 42);
  }
}

TEST_F(LayFiles, DeclaringIsRefusedAfterOpenAndUnknownFieldsAlways) {
  auto reader = open_las(las);
  LASheader header;
  header.assign(reader->header);
  LASmodify m(&header);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.replace_field("Classification", 0, nullptr));
  EXPECT_FALSE(m.difference_field("XZ", 0, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: changing field 'Classification' not supported.\n"
            "ERROR: changing field 'XZ' not supported.\n");
  ASSERT_TRUE(m.replace_field("classification", 0, nullptr));
  ASSERT_TRUE(m.open(las.c_str(), reader.get(), false));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.replace_field("user_data", 0, nullptr));
  EXPECT_FALSE(m.difference_field("Z", 0, nullptr));
  EXPECT_FALSE(m.filter_points("-keep_class 2", 0, nullptr));
  EXPECT_FALSE(m.transform_points("-set_user_data 1", 0, nullptr));
  EXPECT_EQ(m.declared_layers(), 1u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot call replace_field() after open()\n"
            "ERROR: cannot call difference_field() after open()\n"
            "ERROR: cannot call filter_points() after open()\n"
            "ERROR: cannot call transform_points() after open()\n");
  // Three of the 30 points, then close: the writer says so.
  reader->read_point();
  for (int i = 0; i < 3; i++) ASSERT_TRUE(m.write_one_point(&reader->point));
  testing::internal::CaptureStderr();
  m.close_output();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: written 3 points but expected 30 points\n");
}

TEST_F(LayFiles, AFileWithoutLayersLeavesThePointsAsTheyAre) {
  LASheader h;
  auto reader = open_las(las);
  write_bytes(lay(), lay_header_bytes(reader->header, 0));
  reader.reset();
  std::string messages;
  const std::vector<LASpointData> read = apply(INT32_MAX, nullptr, &messages);
  EXPECT_EQ(messages, "WARNING: LAY file with 0 layers\n");
  ASSERT_EQ(read.size(), points.size());
  for (size_t i = 0; i < read.size(); i++) EXPECT_EQ(read[i].intensity, points[i].intensity);
}

// Written by hand: an append layer with two more points, then a delete layer
// that deletes every third point. The append layer comes first so that it
// counts every point of the file.
Bytes append_then_delete_layers(const std::string& las) {
  auto reader = std::make_unique<LASreaderLAS>();
  EXPECT_TRUE(reader->open_file(las.c_str()));
  LASheader header;
  header.assign(reader->header);
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(write_lay_header(&out, reader->header, 2));
  LASlayerAppendPointsRaw app(&header);
  LASlayerDeletePointsCompressed del(&header);
  EXPECT_TRUE(app.init_write(nullptr));
  EXPECT_TRUE(del.init_write(nullptr));
  LASpoint w;
  w.init_like(&reader->point, false);
  size_t n = 0;
  while (reader->read_point()) {
    w.assign(reader->point);
    EXPECT_TRUE(app.record_point(&w));
    w.deleted_flag = n % 3 == 0;
    EXPECT_TRUE(del.record_point(&w));
    n++;
  }
  // The appended points are the source points the written ones were made like.
  for (int32_t x : {-5, -6}) {
    reader->point.X = x;
    w.assign(reader->point);
    w.deleted_flag = 0;
    EXPECT_TRUE(app.record_point(&w));
    EXPECT_TRUE(del.record_point(&w));
  }
  EXPECT_TRUE(app.finish_write(&out));
  EXPECT_TRUE(del.finish_write(&out));
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

// The file's points that the delete layer keeps, then the two appended ones.
void expect_kept_then_appended(const std::vector<LASpointData>& read,
                               const std::vector<FixturePoint>& points) {
  ASSERT_EQ(read.size(), points.size() - 10 + 2);
  size_t k = 0;
  for (size_t i = 0; i < points.size(); i++) {
    if (i % 3 == 0) continue;
    EXPECT_EQ(read[k++].X, points[i].X);
  }
  EXPECT_EQ(read[k].X, -5);
  EXPECT_EQ(read[k + 1].X, -6);
}

TEST_F(LayFiles, DeletedPointsAreNotDeliveredAndAppendedOnesFollow) {
  write_bytes(lay(), append_then_delete_layers(las));
  expect_kept_then_appended(apply(), points);
}

// An append layer that states more file points than the file has: its
// recorded points follow the file's last point all the same, where it once
// delivered that last point again for every missing one (a hang for a count
// near 2^64).
TEST_F(LayFiles, AppendedPointsFollowTheFileWhateverCountTheLayerStates) {
  const Bytes written = append_then_delete_layers(las);
  // The append layer's data: first_appended (the 30 file points) and end_count (32).
  Bytes counts(16, 0);
  fixture_put_u64(counts, 0, 30);
  fixture_put_u64(counts, 8, 32);
  const auto at = std::search(written.begin(), written.end(), counts.begin(), counts.end());
  ASSERT_NE(at, written.end());
  const size_t first_appended_at = size_t(at - written.begin());
  for (uint64_t stated : {uint64_t{31}, uint64_t{1} << 40, ~uint64_t{0} - 2}) {
    SCOPED_TRACE(stated);
    Bytes b = written;
    fixture_put_u64(b, first_appended_at, stated);
    fixture_put_u64(b, first_appended_at + 8, stated + 2);
    write_bytes(lay(), b);
    expect_kept_then_appended(apply(), points);
  }
}

TEST_F(LayFiles, AFailedLoadGivesTheReaderBackWithItsFilter) {
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  Bytes b = file_bytes(lay());
  // The second record's type becomes one no kind has.
  const size_t second = 276 + size_t(fixture_get_u64(b, 276));
  fixture_put_u32(b, second + 8, 999);
  write_bytes(lay(), b);
  auto reader = open_las(las);
  LASfilter filter;
  reader->attach_filter(&filter);
  LASapply apply;
  ASSERT_TRUE(apply.open(las.c_str(), reader.get()));
  LASreader* plain = reader.release();
  EXPECT_EQ(plain->get_filter(), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(apply.load_layers(INT32_MAX));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: unknown layer of type 999 fields 16384 compression 2\n"
            "ERROR: loading LASlayer 2 of 3\n");
  reader.reset(apply.release_inner());
  EXPECT_EQ(reader.get(), plain);
  EXPECT_EQ(reader->get_filter(), &filter);
  reader->attach_filter(nullptr);
}

// The applying reader copies the header's records: the inner reader keeps its
// own, so that whatever it feeds (a copy of the points on standard output, a
// second pass) still has them, also once it is given back.
TEST_F(LayFiles, BothReadersKeepTheRecordsOfTheHeader) {
  FixtureFile f;
  f.version_minor = 4;
  f.point_data_format = 6;
  FixtureVlr vlr;
  vlr.user_id = "Survey";
  vlr.record_id = 77;
  vlr.description = "flight plan";
  vlr.data = {1, 0, 2, 0, 3, 255};
  f.vlrs.push_back(vlr);
  f.user_data_after_header = {9, 8, 7};
  FixtureEvlr evlr;
  evlr.user_id = "Survey";
  evlr.record_id = 78;
  evlr.description = "trajectory";
  evlr.data.assign(70000, 0);
  for (size_t k = 0; k < evlr.data.size(); k++) evlr.data[k] = uint8_t(k * 13 + (k >> 9));
  f.evlrs.push_back(evlr);
  points = fixture_random_points(5, 20, 6);
  las = dir.path + "/records.las";
  ASSERT_TRUE(fixture_write_file(las, f, points));
  ASSERT_TRUE(record_plain(
      false, [](LASmodify& m) { ASSERT_TRUE(m.replace_field("user_data", 0, nullptr)); },
      [](LASpoint& p, size_t i) { p.user_data = uint8_t(i + 1); }));

  auto expect_records = [&](const LASheader& h, const char* who) {
    SCOPED_TRACE(who);
    const LASvlrRecord* v = h.find_vlr("Survey", 77);
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->description, "flight plan");
    ASSERT_EQ(v->record_length_after_header, vlr.data.size());
    EXPECT_EQ(Bytes(v->data.get(), v->data.get() + vlr.data.size()), vlr.data);
    ASSERT_EQ(h.user_data_after_header_size, 3u);
    EXPECT_EQ(Bytes(h.user_data_after_header.get(), h.user_data_after_header.get() + 3),
              f.user_data_after_header);
    ASSERT_EQ(h.evlrs.size(), 1u);
    EXPECT_EQ(h.number_of_extended_variable_length_records, 1u);
    const LASevlrRecord& e = h.evlrs[0];
    EXPECT_EQ(e.record_id, 78);
    EXPECT_STREQ(e.description, "trajectory");
    ASSERT_EQ(e.record_length_after_header, evlr.data.size());
    EXPECT_EQ(Bytes(e.data.get(), e.data.get() + evlr.data.size()), evlr.data);
    EXPECT_EQ(h.offset_to_point_data, 375u + 54 + 6 + 3);
  };
  auto reader = open_las(las);
  LASapply apply;
  ASSERT_TRUE(apply.open(las.c_str(), reader.get()));
  LASreader* plain = reader.release();
  ASSERT_TRUE(apply.load_layers(INT32_MAX));
  expect_records(apply.header, "applying reader");
  expect_records(plain->header, "inner reader");
  // Each owns its copy: the payloads are not shared.
  EXPECT_NE(apply.header.evlrs[0].data.get(), plain->header.evlrs[0].data.get());
  size_t n = 0;
  while (apply.read_point()) EXPECT_EQ(apply.point.user_data, uint8_t(++n));
  EXPECT_EQ(n, points.size());
  reader.reset(apply.release_inner());
  expect_records(reader->header, "reader given back");
}

TEST_F(LayFiles, DamagedLayerDataEndsTheReadWithAMessage) {
  ASSERT_TRUE(record_plain(false, three_layers, three_changes));
  Bytes b = file_bytes(lay());
  // Keep the records but cut the last layer's data short: the size check
  // refuses it at load.
  b.resize(b.size() - 3);
  write_bytes(lay(), b);
  std::string messages;
  EXPECT_TRUE(apply(INT32_MAX, nullptr, &messages).empty());
  EXPECT_NE(messages.find("ERROR: layer size"), std::string::npos) << messages;
  // Garbage in the data of the first layer: the read stops where it shows.
  b = file_bytes(lay());
  for (size_t at = 276 + 60; at < 276 + 80; at++) b[at] ^= 0x5A;
  write_bytes(lay(), b);
  const std::vector<LASpointData> read = apply(INT32_MAX, nullptr, &messages);
  EXPECT_TRUE(read.size() == points.size() || messages.find("ERROR: ") != std::string::npos)
      << read.size() << " " << messages;
}

}  // namespace
