// The layer record on file: bytes written by hand from its layout, the bit
// fields of the raw kinds, the print-out, and what the factory says about
// records that are cut short or carry impossible counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "las_fixture.hpp"
#include "layer_test_points.hpp"
#include "layers/las_layer.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_colour.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const ByteStreamOutArrayLE& out) {
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

void put_u16(Bytes& b, uint16_t v) {
  for (int i = 0; i < 2; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void put_u32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void put_u64(Bytes& b, uint64_t v) {
  for (int i = 0; i < 8; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void patch_u32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}
void patch_u64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; i++) b[at + i] = uint8_t(v >> (8 * i));
}

// Fields 1 to 10 of a record.
Bytes record_header(uint64_t size, uint32_t type, uint32_t fields, uint32_t compression,
                    uint32_t mask = 0, uint32_t ignore = 0, uint32_t description = 0) {
  Bytes b;
  put_u64(b, size);
  put_u32(b, type);
  put_u32(b, fields);
  put_u32(b, compression);
  put_u32(b, mask);
  put_u32(b, ignore);
  put_u32(b, description);
  put_u32(b, 0);
  put_u32(b, 0);
  put_u32(b, 44);
  return b;
}

// Records `classes` as the written classes of points of a raw classification layer.
Bytes record_raw_classes(const std::vector<uint8_t>& classes) {
  LASheader h;
  LASlayerReplaceClassificationRaw layer(&h);
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(layer.init_write(&out));
  LASpoint p;
  p.init_for_point_type(&h, 0, 20, nullptr);
  for (uint8_t c : classes) {
    p.set_classification(c);
    EXPECT_TRUE(layer.record_point(&p));
  }
  EXPECT_TRUE(layer.finish_write(&out));
  return bytes_of(out);
}

// Loads one record; the layer or null, and what was printed.
std::unique_ptr<LASlayer> load(const Bytes& bytes, LASheader* h, std::string* messages) {
  ByteStreamInArrayLE in(bytes.data(), int64_t(bytes.size()));
  LASlayer loader(h);
  testing::internal::CaptureStderr();
  std::unique_ptr<LASlayer> layer = loader.load(&in, nullptr, nullptr);
  *messages = testing::internal::GetCapturedStderr();
  return layer;
}

// A layer loaded from its record and data, with the stream it applies from
// and the header it was loaded for.
struct LoadedLayer {
  explicit LoadedLayer(const Bytes& bytes) : in(bytes.data(), int64_t(bytes.size())) {
    LASlayer loader(&header);
    layer = loader.load(&in, nullptr, nullptr);
  }
  ByteStreamInArrayLE in;
  LASheader header;
  std::unique_ptr<LASlayer> layer;
};

TEST(LayerRecord, RawClassificationsTwoTwoOneTwoGiveTheseBits) {
  // 8 bits for 2 (no index yet); index 0 in 1 bit; the escape 1 in 1 bit and
  // 8 bits for 1, after which indices take 2 bits; index 0 in 2 bits: 20 bits,
  // 0b00_00000001_1_0_00000010, padded into one u32.
  Bytes expected = record_header(51, 1, 256, 1);
  put_u16(expected, 3);   // offset_to_data
  expected.push_back(8);  // max_value_bits
  put_u32(expected, 0x602);
  EXPECT_EQ(record_raw_classes({2, 2, 1, 2}), expected);

  LoadedLayer loaded(expected);
  ASSERT_TRUE(loaded.layer);
  ASSERT_TRUE(loaded.layer->init_read(&loaded.in));
  LASpoint p;
  p.init_for_point_type(&loaded.header, 0, 20, nullptr);
  for (uint8_t c : {2, 2, 1, 2}) {
    p.set_classification(9);
    ASSERT_TRUE(loaded.layer->apply_to_point(&p));
    EXPECT_EQ(p.get_classification(), c);
  }
}

TEST(LayerRecord, ModificationsIgnoreWordsAndDescriptionSitWhereTheLayoutSays) {
  LASheader h;
  h.file_source_ID = 0x1234;
  h.version_major = 1;
  h.version_minor = 4;
  for (int i = 0; i < 5; i++) h.number_of_points_by_return[i] = 100 + i;
  h.number_of_extended_variable_length_records = 0x55667788;
  const uint32_t mask = 0x1 | 0x8 | 0x2000 | 0x2000000;
  LASlayerReplaceUserDataCompressed layer(&h, mask, "desc");
  layer.flags = (1u << 2) | (1u << 5);
  layer.classes[2] = 0xAABBCCDD;
  layer.classes[5] = 0x11223344;
  EXPECT_EQ(layer.modification_size(), 2u + 2u + 20u + 4u);
  EXPECT_EQ(layer.ignore_size(), 8u);
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  ASSERT_TRUE(layer.finish_write(&out));
  const Bytes b = bytes_of(out);
  ASSERT_GE(b.size(), 88u);
  EXPECT_EQ(fixture_get_u64(b, 0), b.size());
  EXPECT_EQ(fixture_get_u32(b, 20), mask);
  EXPECT_EQ(fixture_get_u32(b, 24), layer.flags);
  EXPECT_EQ(fixture_get_u32(b, 28), 4u);
  EXPECT_EQ(fixture_get_u32(b, 40), 44u);
  EXPECT_EQ(b[44] | b[45] << 8, 0x1234);
  EXPECT_EQ(b[46], 1);
  EXPECT_EQ(b[47], 4);
  for (int i = 0; i < 5; i++) EXPECT_EQ(fixture_get_u32(b, 48 + 4 * i), 100u + i);
  EXPECT_EQ(fixture_get_u32(b, 68), 0x55667788u);
  EXPECT_EQ(fixture_get_u32(b, 72), 0xAABBCCDDu);  // class word 2, then 5
  EXPECT_EQ(fixture_get_u32(b, 76), 0x11223344u);
  EXPECT_EQ(std::string(b.begin() + 80, b.begin() + 84), "desc");
  EXPECT_EQ(b[84] | b[85] << 8, 4);  // offset_to_data
  EXPECT_EQ(b[86], 0);               // min_value
  EXPECT_EQ(b[87], 255);             // max_value
}

TEST(LayerRecord, TheExtendedVlrCountOfBit25IsReadSoTheNextRecordFollows) {
  LASheader written;
  written.number_of_extended_variable_length_records = 7;
  written.extended_number_of_point_records = 123456789012ull;
  ByteStreamOutArrayLE out;
  LASlayerChangeHeader first(&written, 0x2000000 | 0x4000000, "bit 25");
  ASSERT_TRUE(first.init_write(&out));
  ASSERT_TRUE(first.finish_write(&out));
  LASlayerChangeHeader second(&written, 0x1, "after it");
  ASSERT_TRUE(second.init_write(&out));
  ASSERT_TRUE(second.finish_write(&out));

  LASheader read;
  ByteStreamInArrayLE in(out.get_data(), out.get_size());
  LASlayer loader(&read);
  std::unique_ptr<LASlayer> a = loader.load(&in, nullptr, nullptr);
  ASSERT_TRUE(a);
  EXPECT_EQ(read.number_of_extended_variable_length_records, 7u);
  EXPECT_EQ(read.extended_number_of_point_records, 123456789012ull);
  ASSERT_TRUE(in.seek_to(int64_t(a->size)));
  std::unique_ptr<LASlayer> b = loader.load(&in, nullptr, nullptr);
  ASSERT_TRUE(b);
  EXPECT_STREQ(b->description.get(), "after it");
}

TEST(LayerRecord, PrintShowsEveryField) {
  LASheader h;
  LASlayerReplaceClassificationCompressed layer(&h, 0x30, "desc");
  layer.flags = 0x1 | 0x800 | 0x100;
  layer.classes[0] = 1u << 7;
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  ASSERT_TRUE(layer.finish_write(&out));
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(layer.print(f, false));
  ASSERT_TRUE(layer.print(f, true));
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
  std::fclose(f);
  char size_line[64];
  std::snprintf(size_line, sizeof(size_line), "  size               %9d\n", int(layer.size));
  const std::string expected = std::string("  start_position             0\n") + size_line +
                               "  type                       1 (replace)\n"
                               "  fields                   256 (classification)\n"
                               "  compression                2 (pointwise)\n"
                               "  modification_mask         48 (system_identifier "
                               "generating_software \b)\n"
                               "  ignore_mask             2305 -ignore_class 7 -ignore_first \n"
                               "  header_size               44\n"
                               "  modification size         64\n"
                               "  ignore size                4\n"
                               "  description size           4\n"
                               "  description           desc\n"
                               "desc\n";
  EXPECT_EQ(text, expected);
}

// A record with every part: modifications, ignore words, a description and a
// specialized header with a string.
Bytes rich_filter_record() {
  LASheader h;
  LASlayerFilter layer(&h, 0x30, "a description");
  layer.set_command("-keep_class 2");
  layer.flags = 0x3;
  layer.classes[0] = 4;
  layer.classes[1] = 8;
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(layer.init_write(&out));
  EXPECT_TRUE(layer.finish_write(&out));
  return bytes_of(out);
}

TEST(LayerRecord, EveryCutOfARecordIsRefusedWithAMessage) {
  const Bytes whole = rich_filter_record();
  LASheader h;
  std::string messages;
  ASSERT_TRUE(load(whole, &h, &messages)) << messages;
  for (size_t n = 0; n < whole.size(); n++) {
    const Bytes cut(whole.begin(), whole.begin() + n);
    EXPECT_FALSE(load(cut, &h, &messages)) << n;
    EXPECT_EQ(messages.rfind("ERROR: ", 0), 0u) << n << ": " << messages;
  }
}

struct HostileCase {
  const char* name;
  std::function<Bytes()> bytes;
  const char* first_message;  // the start of what is printed
};

Bytes with_specialized(uint32_t type, uint32_t fields, uint32_t compression, const Bytes& special,
                       size_t data_bytes = 8) {
  Bytes b = record_header(0, type, fields, compression);
  b.insert(b.end(), special.begin(), special.end());
  b.resize(b.size() + data_bytes, 0);
  patch_u64(b, 0, b.size());
  return b;
}

std::vector<HostileCase> hostile_cases() {
  return {
      {"description longer than the file",
       [] {
         Bytes b = rich_filter_record();
         patch_u32(b, 28, 0xFFFFFFFFu);
         return b;
       },
       "ERROR: reading description of size 4294967295\n"},
      {"header_size below 44",
       [] {
         Bytes b = rich_filter_record();
         patch_u32(b, 40, 43);
         return b;
       },
       "ERROR: layer header_size 43 smaller than 44\n"},
      {"size smaller than the record's headers",
       [] {
         Bytes b = rich_filter_record();
         patch_u64(b, 0, 20);
         return b;
       },
       "ERROR: layer size 20 does not fit the LAY file\n"},
      {"size beyond the end of the data",
       [] {
         Bytes b = rich_filter_record();
         patch_u64(b, 0, b.size() + 1);
         return b;
       },
       "ERROR: layer size"},
      {"size that would wrap a position",
       [] {
         Bytes b = rich_filter_record();
         patch_u64(b, 0, ~uint64_t{0});
         return b;
       },
       "ERROR: layer size 18446744073709551615 does not fit the LAY file\n"},
      {"class list longer than its offset",
       [] {
         Bytes s;
         put_u16(s, 4);
         s.push_back(1);  // one class needs offset 5
         s.push_back(2);
         s.push_back(0);
         return with_specialized(1, 256, 2, s);
       },
       "ERROR: offset_to_data 4 < 3+1+1\n"},
      {"class list cut short",
       [] {
         Bytes b = record_header(60, 1, 256, 2);
         put_u16(b, 200);
         b.push_back(196);
         b.push_back(1);
         return b;
       },
       "ERROR: reading classification_byte[1]\n"},
      {"raw classification of 0 bits",
       [] {
         Bytes s;
         put_u16(s, 3);
         s.push_back(0);
         return with_specialized(1, 256, 1, s);
       },
       "ERROR: layer replace classification raw specialized header has unsupported "
       "max_value_bits of 0\n"},
      {"raw user data of 33 bits",
       [] {
         Bytes s;
         put_u16(s, 4);
         s.push_back(1);
         s.push_back(33);
         return with_specialized(1, 0x4000, 1, s);
       },
       "ERROR: layer replace user data raw specialized has unsupported max_value_bits of 33\n"},
      {"raw Z of 24 bits",
       [] {
         Bytes s;
         put_u16(s, 3);
         s.push_back(24);
         return with_specialized(1, 4, 1, s);
       },
       "ERROR: layer replace Z raw specialized has unsupported max_value_bits of 24\n"},
      {"user data range upside down",
       [] {
         Bytes s;
         put_u16(s, 4);
         s.push_back(60);
         s.push_back(10);
         return with_specialized(1, 0x4000, 2, s);
       },
       "ERROR: user data range from 60 to 10 is empty\n"},
      {"filter string longer than its offset",
       [] {
         Bytes s;
         put_u16(s, 6);
         put_u16(s, 10);
         s.resize(s.size() + 10, 'x');
         return with_specialized(64, 0, 1, s);
       },
       "ERROR: layer filter specialized header has offset_to_data 6 < 4+10\n"},
      {"filter string beyond the file",
       [] {
         Bytes b = record_header(60, 64, 0, 1);
         put_u16(b, 65535);
         put_u16(b, 65531);
         b.resize(b.size() + 8, 'x');
         return b;
       },
       "ERROR: reading layer filter specialized header filter string\n"},
      {"extra bytes beyond the file",
       [] {
         Bytes s;
         put_u16(s, 60000);
         return with_specialized(16, 0, 2, s);
       },
       "ERROR: reading layer specialized header extra bytes\n"},
      {"VLR payload longer than its offset",
       [] {
         Bytes s;
         put_u32(s, 24);
         s.resize(s.size() + 16, 'u');
         put_u16(s, 1);
         put_u16(s, 5);
         return with_specialized(256, 0, 1, s);
       },
       "ERROR: layer add vlr specialized header has offset_to_data 24 < 24+5\n"},
      {"RGB offset too small",
       [] {
         Bytes s;
         put_u16(s, 4);
         return with_specialized(4, 0x20000, 2, s);
       },
       "ERROR: layer add RGB compressed specialized has offset_to_data 4 < 5\n"},
      {"modifications cut short",
       [] {
         Bytes b = record_header(80, 8, 0, 1, 0x8000000);
         put_u64(b, 1);
         return b;
       },
       "ERROR: reading modified extended_number_of_points_by_return[1]\n"},
  };
}

TEST(LayerRecord, HostileCountsAndLengthsAreRefusedWithAMessage) {
  for (const HostileCase& c : hostile_cases()) {
    SCOPED_TRACE(c.name);
    LASheader h;
    std::string messages;
    EXPECT_FALSE(load(c.bytes(), &h, &messages));
    EXPECT_EQ(messages.rfind(c.first_message, 0), 0u) << messages;
  }
}

TEST(LayerRecord, ALargerRecordHeaderIsSkipped) {
  // A writer of a later version may put fields behind the ten known ones.
  Bytes b = record_header(0, 1, 256, 1);
  patch_u32(b, 40, 48);
  put_u32(b, 0xDEADBEEF);
  put_u16(b, 3);
  b.push_back(8);
  put_u32(b, 0);
  patch_u64(b, 0, b.size());
  LASheader h;
  std::string messages;
  std::unique_ptr<LASlayer> layer = load(b, &h, &messages);
  ASSERT_TRUE(layer) << messages;
  EXPECT_EQ(layer->header_size, 48u);
}

TEST(LayerRecord, ACorruptDictionaryIndexThrowsInsteadOfReadingPastTheTable) {
  // One value in the table, then index 1 (the escape) twice in 1 bit and an
  // index of 3 in 2 bits, which no table of two values has.
  Bytes b = record_header(0, 1, 256, 1);
  put_u16(b, 3);
  b.push_back(8);
  put_u32(b, 2u | (1u << 8) | (5u << 9) | (3u << 17));
  patch_u64(b, 0, b.size());
  LoadedLayer loaded(b);
  ASSERT_TRUE(loaded.layer);
  ASSERT_TRUE(loaded.layer->init_read(&loaded.in));
  LASpoint p;
  p.init_for_point_type(&loaded.header, 0, 20, nullptr);
  EXPECT_TRUE(loaded.layer->apply_to_point(&p));
  EXPECT_EQ(p.get_classification(), 2);
  EXPECT_TRUE(loaded.layer->apply_to_point(&p));
  EXPECT_EQ(p.get_classification(), 5);
  EXPECT_ANY_THROW(loaded.layer->apply_to_point(&p));
}

// --- edge cases of single kinds

TEST(LayerKindEdges, SixteenBitRawZClampsToItsRange) {
  LASheader h;
  LASlayerReplaceZRaw layer(&h);
  layer.max_value_bits = 16;
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  LASpoint p;
  p.init_for_point_type(&h, 0, 20, nullptr);
  for (int32_t z : {40000, -40000, 123}) {
    p.Z = z;
    ASSERT_TRUE(layer.record_point(&p));
  }
  ASSERT_TRUE(layer.finish_write(&out));
  const Bytes b = bytes_of(out);
  ASSERT_EQ(b.size(), 47u + 6u);
  const int16_t stored[3] = {int16_t(b[47] | b[48] << 8), int16_t(b[49] | b[50] << 8),
                             int16_t(b[51] | b[52] << 8)};
  EXPECT_EQ(stored[0], 32767);
  EXPECT_EQ(stored[1], -32768);
  EXPECT_EQ(stored[2], 123);
}

TEST(LayerKindEdges, IgnoredPointsKeepTheirColourUnlessTheLayerClearsThem) {
  LASheader h;
  layer_test_header(&h);
  LASpoint p;
  p.init_for_point_type(&h, 3, 34, nullptr);
  p.set_classification(kIgnoredClass);
  p.rgb[0] = p.rgb[1] = p.rgb[2] = 500;
  p.rgb[3] = 77;
  const LASignore ignore = layer_test_ignore();
  // Raw RGB: its flag starts clear, so an ignored point keeps its colour.
  LASlayerAddRGBRaw raw(&h);
  raw.flags = ignore.flags;
  std::memcpy(raw.classes, ignore.classes, sizeof(raw.classes));
  ByteStreamInArrayLE empty(nullptr, 0);
  ASSERT_TRUE(raw.init_read(&empty));
  ASSERT_TRUE(raw.apply_to_point(&p));
  EXPECT_EQ(p.rgb[0], 500);
  // Compressed RGB and NIR with clear_ignored: black.
  Bytes zeros(8, 0);
  ByteStreamInArrayLE in(zeros.data(), int64_t(zeros.size()));
  LASlayerAddRGBCompressed rgb(&h);
  rgb.clear_ignored = 1;
  rgb.flags = ignore.flags;
  std::memcpy(rgb.classes, ignore.classes, sizeof(rgb.classes));
  ASSERT_TRUE(rgb.init_read(&in));
  ASSERT_TRUE(rgb.apply_to_point(&p));
  EXPECT_EQ(p.rgb[0] | p.rgb[1] | p.rgb[2], 0);
  LASlayerAddNIRCompressed nir(&h);
  nir.clear_ignored = 1;
  nir.flags = ignore.flags;
  std::memcpy(nir.classes, ignore.classes, sizeof(nir.classes));
  in.seek_to(0);
  ASSERT_TRUE(nir.init_read(&in));
  ASSERT_TRUE(nir.apply_to_point(&p));
  EXPECT_EQ(p.rgb[3], 0);
}

TEST(LayerKindEdges, NirLayerGivesAPointWithoutColourBothChannels) {
  LASheader h;
  h.point_data_format = 1;
  h.point_data_record_length = 28;
  LASpoint p;
  p.init_for_point_type(&h, 1, 28, nullptr);
  LASlayerAddNIRCompressed nir(&h);
  ASSERT_TRUE(nir.update_point_layout(&h, &p));
  EXPECT_TRUE(p.have_rgb);
  EXPECT_TRUE(p.have_nir);
  EXPECT_EQ(p.total_point_size, 28 + 8);
  EXPECT_EQ(h.point_data_record_length, 28 + 8);
}

TEST(LayerKindEdges, UserDataAtTheTopOfTheRangeIsKeptAndAboveItRefused) {
  LASheader h;
  LASlayerReplaceUserDataCompressed layer(&h);
  ASSERT_TRUE(layer.set_value_range(10, 20));
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  LASpoint p;
  p.init_for_point_type(&h, 0, 20, nullptr);
  p.user_data = 20;
  EXPECT_TRUE(layer.record_point(&p));
  p.user_data = 21;
  EXPECT_FALSE(layer.record_point(&p));
  p.user_data = 9;
  EXPECT_FALSE(layer.record_point(&p));
}

TEST(LayerKindEdges, OneClassWithUnchangedCodesTheOthersAsUnchanged) {
  LASheader h;
  LASlayerReplaceClassificationCompressed layer(&h);
  const uint32_t two[] = {2};
  ASSERT_TRUE(layer.set_classifications(1, two, true));
  const uint32_t too_big[] = {256};
  EXPECT_FALSE(layer.set_classifications(1, too_big, false));
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  LASpoint p;
  p.init_for_point_type(&h, 0, 20, nullptr);
  const uint8_t written[] = {2, 5, 2, 9};
  for (uint8_t c : written) {
    p.set_classification(c);
    ASSERT_TRUE(layer.record_point(&p));
  }
  ASSERT_TRUE(layer.finish_write(&out));
  const Bytes b = bytes_of(out);
  LoadedLayer loaded(b);
  ASSERT_TRUE(loaded.layer);
  ASSERT_TRUE(loaded.layer->init_read(&loaded.in));
  const uint8_t read_as[] = {2, 3, 3, 3};
  const uint8_t expected[] = {2, 3, 2, 3};
  for (int i = 0; i < 4; i++) {
    p.set_classification(read_as[i]);
    ASSERT_TRUE(loaded.layer->apply_to_point(&p));
    EXPECT_EQ(p.get_classification(), expected[i]) << i;
  }
}

TEST(LayerKindEdges, AppendedPointsFollowTheFilesPoints) {
  // A file of 1000 points to which 5 were appended.
  LASheader h;
  h.number_of_point_records = 1000;
  LASlayerAppendPointsRaw layer(&h);
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  LASpoint p;
  p.init_for_point_type(&h, 1, 28, nullptr);
  for (int i = 0; i < 1005; i++) {
    p.X = i;
    p.gps_time = i * 0.25;
    ASSERT_TRUE(layer.record_point(&p));
  }
  ASSERT_TRUE(layer.finish_write(&out));
  const Bytes b = bytes_of(out);
  // Record with the counts and bounds it carries, specialized header, the two
  // counts, five records of 20 + 8 bytes.
  const size_t data = 44 + 72 + 2;
  ASSERT_EQ(b.size(), data + 16u + 5u * 28u);
  EXPECT_EQ(fixture_get_u64(b, data), 1000u);
  EXPECT_EQ(fixture_get_u64(b, data + 8), 1005u);

  LoadedLayer loaded(b);
  ASSERT_TRUE(loaded.layer);
  ASSERT_TRUE(loaded.layer->init_read(&loaded.in));
  for (int i = 0; i < 1000; i++) ASSERT_TRUE(loaded.layer->apply_to_point(&p));
  for (int i = 1000; i < 1005; i++) {
    ASSERT_TRUE(loaded.layer->apply_to_point(&p));
    EXPECT_EQ(p.X, i);
    EXPECT_EQ(p.gps_time, i * 0.25);
  }
  EXPECT_FALSE(loaded.layer->apply_to_point(&p));

  // Without GPS time a record is 20 bytes.
  LASpoint q;
  q.init_for_point_type(&h, 0, 20, nullptr);
  LASheader h0;
  LASlayerAppendPointsRaw plain(&h0);
  ByteStreamOutArrayLE out0;
  ASSERT_TRUE(plain.init_write(&out0));
  ASSERT_TRUE(plain.record_point(&q));
  ASSERT_TRUE(plain.finish_write(&out0));
  EXPECT_EQ(out0.get_size(), 44 + 72 + 2 + 16 + 20);
}

TEST(LayerKindEdges, AnEmptyVlrHasOffsetToData24) {
  LASheader h;
  LASlayerAddVLR layer(&h);
  layer.set_record("empty", 7, 0, nullptr, false);
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(layer.init_write(&out));
  ASSERT_TRUE(layer.finish_write(&out));
  const Bytes b = bytes_of(out);
  ASSERT_EQ(b.size(), 44u + 24u);
  EXPECT_EQ(fixture_get_u32(b, 44), 24u);
}

}  // namespace
