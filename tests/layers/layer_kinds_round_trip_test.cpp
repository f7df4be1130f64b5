// Every layer kind through its whole life: recorded for 50 written points,
// loaded back through the factory, applied to the points as read, and every
// field compared; recorded once straight into the stream and once collected
// in memory, which must give the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "filter/las_transform.hpp"
#include "layer_test_points.hpp"
#include "layers/las_layer.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_colour.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"

namespace {

struct KindCase {
  const char* name;
  uint32_t type, fields, compression;  // what the factory must make of the record
  // The configured layer, ignoring class 7 unless it is a kind without ignores.
  std::function<std::unique_ptr<LASlayer>(LASheader*)> make;
  // What the tool wrote for point i (the written point starts as the source).
  std::function<void(LASpoint& written, size_t i)> change;
  bool honours_ignore = true;
  // The point as read after the layer, from the written point when the layer
  // carries the change; by default the written point itself.
  std::function<void(LASpoint& expected, const LASpoint& source)> expect = nullptr;
};

template <typename Kind>
std::unique_ptr<LASlayer> plain(LASheader* h) {
  return std::make_unique<Kind>(h);
}

void set_class(LASpoint& p, uint8_t c) {
  p.set_classification(c);
  p.set_extended_classification(c);
}

const uint8_t kClassList[] = {1, 2, 5, 6};

std::vector<KindCase> kind_cases() {
  std::vector<KindCase> cases = {
      {"replace Z raw", 1, 4, 1, plain<LASlayerReplaceZRaw>,
       [](LASpoint& p, size_t i) { p.Z = p.Z * 3 - int32_t(i) * 100000; }},
      {"replace Z raw 16 bits", 1, 4, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceZRaw>(h);
         l->max_value_bits = 16;
         return l;
       },
       [](LASpoint& p, size_t i) { p.Z = int32_t(i) * 700 - 16000; }},
      {"replace Z compressed", 1, 4, 2, plain<LASlayerReplaceZCompressed>,
       [](LASpoint& p, size_t i) { p.Z += int32_t(i) * 1000; }},
      {"diff Z compressed", 2, 4, 2, plain<LASlayerDiffZCompressed>,
       [](LASpoint& p, size_t i) { p.Z += int32_t(i % 7) - 3; }},
      {"diff XY compressed", 2, 3, 2, plain<LASlayerDiffXYCompressed>,
       [](LASpoint& p, size_t i) {
         p.X += int32_t(i);
         p.Y -= 2 * int32_t(i);
       }},
      {"diff XYZ compressed", 2, 7, 2, plain<LASlayerDiffXYZCompressed>,
       [](LASpoint& p, size_t i) {
         p.X -= int32_t(i) * 5;
         p.Y += 1;
         p.Z = INT32_MIN + int32_t(i);  // the difference wraps
       }},
      {"replace classification raw", 1, 256, 1, plain<LASlayerReplaceClassificationRaw>,
       [](LASpoint& p, size_t i) { set_class(p, uint8_t((i * 3) % 32)); }},
      {"replace classification compressed", 1, 256, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceClassificationCompressed>(h);
         const uint32_t list[] = {1, 2, 5, 6};
         l->set_classifications(4, list, true);
         return l;
       },
       [](LASpoint& p, size_t i) {
         // Every fifth point keeps its class: coded as "unchanged".
         if (i % 5) set_class(p, kClassList[i % 4]);
       }},
      {"replace classification compressed, all 32 classes", 1, 256, 2,
       plain<LASlayerReplaceClassificationCompressed>,
       [](LASpoint& p, size_t i) { set_class(p, uint8_t((i * 11) % 32)); }},
      {"replace classification compressed, two classes", 1, 256, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceClassificationCompressed>(h);
         const uint32_t list[] = {2, 1};
         l->set_classifications(2, list, false);
         return l;
       },
       [](LASpoint& p, size_t i) { set_class(p, i % 3 ? 1 : 2); }},
      {"replace user data raw, few values", 1, 0x4000, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceUserDataRaw>(h);
         l->few_values = 1;
         return l;
       },
       [](LASpoint& p, size_t i) { p.user_data = uint8_t((i % 4) * 60); }},
      {"replace user data raw, 5 bits", 1, 0x4000, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceUserDataRaw>(h);
         l->max_value_bits = 5;
         return l;
       },
       [](LASpoint& p, size_t i) { p.user_data = uint8_t(i % 32); }},
      {"replace user data raw, whole bytes", 1, 0x4000, 1, plain<LASlayerReplaceUserDataRaw>,
       [](LASpoint& p, size_t i) { p.user_data = uint8_t(255 - i); }},
      {"replace user data compressed", 1, 0x4000, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceUserDataCompressed>(h);
         l->set_value_range(10, 60);
         return l;
       },
       [](LASpoint& p, size_t i) { p.user_data = uint8_t(10 + i); }},
      {"replace withheld flag", 1, 512, 2, plain<LASlayerReplaceWithheldFlagCompressed>,
       [](LASpoint& p, size_t i) {
         p.set_withheld_flag(i % 3 == 1);
         p.set_extended_withheld_flag(i % 3 == 1);
       }},
      {"replace synthetic flag", 1, 1024, 2, plain<LASlayerReplaceSyntheticFlagCompressed>,
       [](LASpoint& p, size_t i) {
         p.set_synthetic_flag(i % 2);
         p.set_extended_synthetic_flag(i % 2);
       }},
      {"replace keypoint flag", 1, 2048, 2, plain<LASlayerReplaceKeypointFlagCompressed>,
       [](LASpoint& p, size_t i) {
         p.set_keypoint_flag(i % 5 == 0);
         p.set_extended_keypoint_flag(i % 5 == 0);
       }},
      {"replace overlap flag", 1, 4096, 2, plain<LASlayerReplaceOverlapFlagCompressed>,
       [](LASpoint& p, size_t i) { p.set_extended_overlap_flag(i % 4 == 2); }},
      {"replace intensity, both bytes", 1, 8, 2, plain<LASlayerReplaceIntensityCompressed>,
       [](LASpoint& p, size_t i) { p.intensity = uint16_t(i * 997 + (i % 3 ? 0 : 0x100)); }},
      {"replace intensity, lower byte", 1, 8, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceIntensityCompressed>(h);
         l->set_byte_use(false, true);
         return l;
       },
       [](LASpoint& p, size_t i) { p.intensity = uint16_t((i * 7) & 0xFF); }},
      {"replace intensity, upper byte", 1, 8, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerReplaceIntensityCompressed>(h);
         l->set_byte_use(true, false);
         return l;
       },
       [](LASpoint& p, size_t i) { p.intensity = uint16_t(((i * 9) & 0xFF) << 8); }},
      {"replace extended LAS 1.4 attributes", 1, 0x1000000, 2,
       plain<LASlayerReplaceExtendedLAS14AttributesCompressed>,
       [](LASpoint& p, size_t i) {
         p.extended_scan_angle = int16_t(-int32_t(i) * 100);
         p.set_extended_return_number(uint8_t(i % 15 + 1));
         p.set_extended_number_of_returns(15);
         p.extended_classification = uint8_t(i * 5);
         p.set_extended_scanner_channel(uint8_t(3 - i % 4));
         p.set_extended_overlap_flag(i % 2);
       }},
      {"add RGB raw", 4, 0x20000, 1, plain<LASlayerAddRGBRaw>,
       [](LASpoint& p, size_t i) {
         p.rgb[0] = uint16_t(i * 100);
         p.rgb[1] = uint16_t(i * 200);
         p.rgb[2] = uint16_t(65535 - i);
       }},
      {"add RGB compressed, both bytes", 4, 0x20000, 2, plain<LASlayerAddRGBCompressed>,
       [](LASpoint& p, size_t i) {
         // Grey points among coloured ones, and steps that clamp.
         const uint16_t v = uint16_t(i * 1300);
         p.rgb[0] = v;
         p.rgb[1] = i % 4 ? uint16_t(v + 0x0105) : v;
         p.rgb[2] = i % 4 ? uint16_t(65535 - v) : v;
       }},
      {"add RGB compressed, high byte", 4, 0x20000, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerAddRGBCompressed>(h);
         l->uses_both_bytes = 0;
         return l;
       },
       [](LASpoint& p, size_t i) {
         const uint16_t v = uint16_t((i * 37) & 0xFF);
         p.rgb[0] = uint16_t(v << 8);
         p.rgb[1] = uint16_t((i % 3 ? 250 : v) << 8);
         p.rgb[2] = uint16_t((i % 3 ? (255 - v) : v) << 8);
       }},
      {"add RGB compressed, low byte", 4, 0x20000, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerAddRGBCompressed>(h);
         l->uses_both_bytes = 0;
         l->uses_lower_byte = 1;
         return l;
       },
       [](LASpoint& p, size_t i) {
         p.rgb[0] = uint16_t((i * 53) & 0xFF);
         p.rgb[1] = uint16_t(i % 2 ? 3 : (i * 53) & 0xFF);
         p.rgb[2] = uint16_t(i % 2 ? 254 : (i * 53) & 0xFF);
       }},
      {"add NIR compressed", 4, 0x2000000, 2, plain<LASlayerAddNIRCompressed>,
       [](LASpoint& p, size_t i) { p.rgb[3] = uint16_t(i * 1234); }},
      {"add NIR compressed, low byte", 4, 0x2000000, 2,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerAddNIRCompressed>(h);
         l->uses_both_bytes = 0;
         l->uses_lower_byte = 1;
         return l;
       },
       [](LASpoint& p, size_t i) { p.rgb[3] = uint16_t((i * 91) & 0xFF); }},
      {"delete points", 16, 0, 2, plain<LASlayerDeletePointsCompressed>,
       [](LASpoint& p, size_t i) { p.deleted_flag = i % 4 == 1; }},
      {"append points", 32, 0, 1, plain<LASlayerAppendPointsRaw>, [](LASpoint&, size_t) {},
       false},
      {"filter", 64, 0, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerFilter>(h, 0, "keep classes 2 and 3");
         l->set_command("-keep_class 2 3");
         return l;
       },
       [](LASpoint&, size_t) {}, false,
       [](LASpoint& e, const LASpoint& s) {
         e.deleted_flag = s.get_classification() != 2 && s.get_classification() != 3;
       }},
      {"transform", 128, 0, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerTransform>(h);
         l->set_command("-set_user_data 77");
         return l;
       },
       [](LASpoint&, size_t) {}, false, [](LASpoint& e, const LASpoint&) { e.user_data = 77; }},
      {"add VLR", 256, 0, 1,
       [](LASheader* h) {
         auto l = std::make_unique<LASlayerAddVLR>(h);
         const uint8_t payload[] = {9, 8, 7, 6, 5};
         l->set_record("layer_test", 42, 5, payload, false);
         return l;
       },
       [](LASpoint&, size_t) {}, false},
      {"change header", 8, 0, 1,
       [](LASheader* h) {
         // Every bit that carries a field, the LAS 1.4 ones included.
         return std::make_unique<LASlayerChangeHeader>(h, 0x0E7FFFFBu, "every header field");
       },
       [](LASpoint&, size_t) {}, false},
  };
  return cases;
}

std::vector<uint8_t> bytes_of(const ByteStreamOutArrayLE& out) {
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

class LayerKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    layer_test_header(&write_header);
    source = layer_test_points(&write_header);
    for (size_t i = 0; i < source.size(); i++) {
      auto w = std::make_unique<LASpoint>();
      w->init_like(source[i].get(), false);
      written.push_back(std::move(w));
    }
  }

  // Records the written points of one case; the header gets the values the
  // layer brings up to date.
  std::vector<uint8_t> record(const KindCase& c, LASheader* h, bool buffered) {
    std::unique_ptr<LASlayer> layer = c.make(h);
    const LASignore ignore = layer_test_ignore();
    layer->flags = ignore.flags;
    std::memcpy(layer->classes, ignore.classes, sizeof(ignore.classes));
    ByteStreamOutArrayLE out;
    EXPECT_TRUE(layer->init_write(buffered ? nullptr : &out)) << c.name;
    for (size_t i = 0; i < source.size(); i++) {
      copy_point(written[i].get(), *source[i]);
      written[i]->deleted_flag = 0;
      c.change(*written[i], i);
      EXPECT_TRUE(layer->record_point(written[i].get())) << c.name << " point " << i;
    }
    EXPECT_TRUE(layer->finish_write(&out)) << c.name;
    EXPECT_EQ(layer->size, uint64_t(out.get_size())) << c.name;
    return bytes_of(out);
  }

  LASheader write_header;
  PointList source;
  PointList written;
};

// The header fields a mask carries, as bytes, to compare two headers by.
std::vector<uint8_t> modified_fields(LASheader* h, uint32_t mask) {
  LASlayer probe(h, mask);
  ByteStreamOutArrayLE out;
  EXPECT_TRUE(probe.write_record(&out));
  return bytes_of(out);
}

TEST_F(LayerKinds, RecordLoadApplyCompareEveryField) {
  for (const KindCase& c : kind_cases()) {
    SCOPED_TRACE(c.name);
    LASheader direct_header, buffered_header;
    layer_test_header(&direct_header);
    layer_test_header(&buffered_header);
    const std::vector<uint8_t> direct = record(c, &direct_header, false);
    const std::vector<uint8_t> buffered = record(c, &buffered_header, true);
    EXPECT_EQ(direct, buffered) << "buffered and direct recording differ";

    // Load through the factory into a reading header that starts out different.
    LASheader read_header;
    layer_test_header(&read_header);
    read_header.min_x = read_header.max_x = 12345.0;
    ByteStreamInArrayLE in(direct.data(), int64_t(direct.size()));
    LASlayer loader(&read_header);
    std::unique_ptr<LASlayer> layer = loader.load(&in, nullptr, nullptr);
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->type, c.type);
    EXPECT_EQ(layer->fields, c.fields);
    EXPECT_EQ(layer->compression, c.compression);
    EXPECT_EQ(layer->flags, 1u);
    EXPECT_EQ(modified_fields(&read_header, layer->modification_mask),
              modified_fields(&direct_header, layer->modification_mask));
    ASSERT_TRUE(layer->init_read(&in));
    LASpoint layout;
    layout.init_for_point_type(&read_header, 3, 34, nullptr);
    EXPECT_TRUE(layer->update_point_layout(&read_header, &layout));

    for (size_t i = 0; i < source.size(); i++) {
      LASpoint read;
      read.init_like(source[i].get(), false);
      copy_point(&read, *source[i]);
      ASSERT_TRUE(layer->apply_to_point(&read)) << "point " << i;
      LASpoint expected;
      expected.init_like(source[i].get(), false);
      const bool ignored = c.honours_ignore && source[i]->get_classification() == kIgnoredClass;
      copy_point(&expected, ignored ? *source[i] : *written[i]);
      if (c.expect) c.expect(expected, *source[i]);
      EXPECT_EQ(point_difference(read, expected), "") << "point " << i;
    }
    if (c.type == LAYER_APPEND) {
      LASpoint after;
      after.init_like(source[0].get(), false);
      EXPECT_FALSE(layer->apply_to_point(&after)) << "no point after the appended ones";
    }
    if (c.type == LAYER_ADD_VLR) {
      const LASvlrRecord* vlr = read_header.find_vlr("layer_test", 42);
      ASSERT_NE(vlr, nullptr);
      ASSERT_EQ(vlr->record_length_after_header, 5);
      EXPECT_EQ(vlr->data[0], 9);
      EXPECT_EQ(vlr->data[4], 5);
    }
    EXPECT_TRUE(layer->finish_read(&in));
  }
}

TEST_F(LayerKinds, FactoryKnowsTwentyFourKindsAndNothingElse) {
  // Every (type, fields, compression) of the table, and a few neighbours.
  std::vector<std::array<uint32_t, 3>> known;
  for (const KindCase& c : kind_cases()) {
    const std::array<uint32_t, 3> k = {c.type, c.fields, c.compression};
    if (std::find(known.begin(), known.end(), k) == known.end()) known.push_back(k);
  }
  EXPECT_EQ(known.size(), 24u);
  const std::array<uint32_t, 3> unknown[] = {{2, 4, 1}, {1, 7, 2}, {4, 0x2000000, 1},
                                             {16, 0, 1}, {0, 0, 0}, {512, 0, 1}};
  for (const auto& k : unknown) {
    LASheader h;
    LASlayer record(&h);
    record.type = k[0];
    record.fields = k[1];
    record.compression = k[2];
    ByteStreamOutArrayLE out;
    ASSERT_TRUE(record.write_record(&out));
    ByteStreamInArrayLE in(out.get_data(), out.get_size());
    LASlayer loader(&h);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loader.load(&in, nullptr, nullptr));
    char line[128];
    std::snprintf(line, sizeof(line), "ERROR: unknown layer of type %u fields %u compression %u\n",
                  k[0], k[1], k[2]);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
  }
}

TEST_F(LayerKinds, BoxesOfCoordinateLayersGoIntoTheHeader) {
  // The XYZ difference widens its box with every written point, and with the
  // source of an ignored one.
  const KindCase c = kind_cases()[5];
  ASSERT_STREQ(c.name, "diff XYZ compressed");
  LASheader h;
  layer_test_header(&h);
  record(c, &h, false);
  int32_t lo[3] = {INT32_MAX, INT32_MAX, INT32_MAX}, hi[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  for (size_t i = 0; i < source.size(); i++) {
    const LASpoint& p =
        source[i]->get_classification() == kIgnoredClass ? *source[i] : *written[i];
    const int32_t v[3] = {p.X, p.Y, p.Z};
    for (int a = 0; a < 3; a++) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  }
  EXPECT_EQ(h.min_x, h.get_x(lo[0]));
  EXPECT_EQ(h.max_x, h.get_x(hi[0]));
  EXPECT_EQ(h.min_y, h.get_y(lo[1]));
  EXPECT_EQ(h.max_y, h.get_y(hi[1]));
  EXPECT_EQ(h.min_z, h.get_z(lo[2]));
  EXPECT_EQ(h.max_z, h.get_z(hi[2]));

  // A layer that recorded nothing leaves the bounds alone.
  LASheader untouched;
  layer_test_header(&untouched);
  LASlayerDiffZCompressed empty(&untouched);
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(empty.init_write(&out));
  ASSERT_TRUE(empty.finish_write(&out));
  EXPECT_EQ(untouched.min_z, -1.0);
  EXPECT_EQ(untouched.max_z, 1.0);
}

}  // namespace
