#include "fuzz_lay.hpp"

#include <climits>
#include <functional>
#include <memory>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "las_fixture.hpp"
#include "layers/las_apply.hpp"
#include "layers/lay_file_header.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_colour.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"

namespace {

std::unique_ptr<LASreaderLAS> open_point_file() {
  const std::vector<uint8_t>& las = fuzz_lay_point_file();
  auto reader = std::make_unique<LASreaderLAS>();
  if (!reader->open_stream(new ByteStreamInArrayLE(las.data(), int64_t(las.size())))) {
    return nullptr;
  }
  return reader;
}

using Change = std::function<void(LASpoint&, size_t)>;

// One LAY file of the given layers (made for `header`), each recorded for
// every point of the point file with its change.
std::vector<uint8_t> lay_file(
    const std::vector<std::pair<std::function<std::unique_ptr<LASlayer>(LASheader*)>, Change>>&
        kinds) {
  std::unique_ptr<LASreaderLAS> reader = open_point_file();
  if (!reader) return {};
  LASheader header;
  header.assign(reader->header);
  std::vector<std::unique_ptr<LASlayer>> layers;
  for (const auto& kind : kinds) {
    layers.push_back(kind.first(&header));
    if (!layers.back()->init_write(nullptr)) return {};
  }
  LASpoint written;
  written.init_like(&reader->point, false);
  size_t i = 0;
  while (reader->read_point()) {
    for (size_t k = 0; k < layers.size(); k++) {
      written.assign(reader->point);
      kinds[k].second(written, i);
      layers[k]->record_point(&written);
    }
    i++;
  }
  ByteStreamOutArrayLE out;
  if (!write_lay_header(&out, reader->header, uint32_t(layers.size()))) return {};
  for (auto& layer : layers) {
    if (!layer->finish_write(&out)) return {};
  }
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

template <typename Kind>
std::unique_ptr<LASlayer> make(LASheader* h) {
  return std::make_unique<Kind>(h);
}

}  // namespace

const std::vector<uint8_t>& fuzz_lay_point_file() {
  static const std::vector<uint8_t> bytes = [] {
    FixtureFile file;
    file.point_data_format = 3;
    file.file_source_ID = 11;
    std::vector<FixturePoint> points = fixture_random_points(5, 40, 3);
    return fixture_write_bytes(file, points);
  }();
  return bytes;
}

void fuzz_lay_one(const uint8_t* data, size_t size) {
  std::unique_ptr<LASreaderLAS> reader = open_point_file();
  if (!reader) return;
  LASapply apply;
  if (!apply.open_memory(data, size, reader.get())) return;
  reader.release();
  if (!apply.load_layers(INT32_MAX)) {
    delete apply.release_inner();
    return;
  }
  // Appended points come from the data, so the data bounds them; the limit
  // only keeps a broken reader from spinning.
  for (int64_t n = 0; n < (int64_t{1} << 20) && apply.read_point(); n++) {
  }
}

bool fuzz_lay_header_to_extend(const uint8_t* data, size_t size) {
  std::unique_ptr<LASreaderLAS> reader = open_point_file();
  if (!reader) return false;
  ByteStreamInArrayLE in(data, static_cast<int64_t>(size));
  LAYheader lay;
  try {
    return read_lay_header(&in, reader->header, LAYside::modify, &lay);
  } catch (...) {
    return false;
  }
}

std::vector<std::vector<uint8_t>> fuzz_lay_seed_files() {
  const Change none = [](LASpoint&, size_t) {};
  std::vector<std::pair<std::function<std::unique_ptr<LASlayer>(LASheader*)>, Change>> all = {
      {make<LASlayerReplaceZRaw>, [](LASpoint& p, size_t i) { p.Z += int32_t(i); }},
      {make<LASlayerReplaceZCompressed>, [](LASpoint& p, size_t i) { p.Z -= int32_t(i); }},
      {make<LASlayerDiffZCompressed>, [](LASpoint& p, size_t i) { p.Z += int32_t(i % 3); }},
      {make<LASlayerDiffXYCompressed>, [](LASpoint& p, size_t i) { p.X += int32_t(i); }},
      {make<LASlayerDiffXYZCompressed>, [](LASpoint& p, size_t i) { p.Y -= int32_t(i); }},
      {make<LASlayerReplaceClassificationRaw>,
       [](LASpoint& p, size_t i) { p.set_classification(uint8_t(i % 4)); }},
      {make<LASlayerReplaceClassificationCompressed>,
       [](LASpoint& p, size_t i) { p.set_classification(uint8_t(i % 6)); }},
      {make<LASlayerReplaceUserDataRaw>, [](LASpoint& p, size_t i) { p.user_data = uint8_t(i); }},
      {make<LASlayerReplaceUserDataCompressed>,
       [](LASpoint& p, size_t i) { p.user_data = uint8_t(3 * i); }},
      {make<LASlayerReplaceWithheldFlagCompressed>,
       [](LASpoint& p, size_t i) { p.set_withheld_flag(i % 2); }},
      {make<LASlayerReplaceSyntheticFlagCompressed>, none},
      {make<LASlayerReplaceKeypointFlagCompressed>, none},
      {make<LASlayerReplaceOverlapFlagCompressed>, none},
      {make<LASlayerReplaceIntensityCompressed>,
       [](LASpoint& p, size_t i) { p.intensity = uint16_t(i * 999); }},
      {make<LASlayerReplaceExtendedLAS14AttributesCompressed>, none},
      {make<LASlayerAddRGBRaw>, [](LASpoint& p, size_t i) { p.rgb[0] = uint16_t(i); }},
      {make<LASlayerAddRGBCompressed>, [](LASpoint& p, size_t i) { p.rgb[1] = uint16_t(i * 77); }},
      {make<LASlayerAddNIRCompressed>, [](LASpoint& p, size_t i) { p.rgb[3] = uint16_t(i); }},
      {[](LASheader* h) {
         auto l = std::make_unique<LASlayerAppendPointsRaw>(h);
         return l;
       },
       none},
      {make<LASlayerDeletePointsCompressed>,
       [](LASpoint& p, size_t i) { p.deleted_flag = i % 5 == 0; }},
      {[](LASheader* h) {
         auto l = std::make_unique<LASlayerFilter>(h, 0, "filter");
         l->set_command("-drop_class 3");
         return l;
       },
       none},
      {[](LASheader* h) {
         auto l = std::make_unique<LASlayerTransform>(h, 0, "transform");
         l->set_command("-set_user_data 5");
         return l;
       },
       none},
      {[](LASheader* h) {
         auto l = std::make_unique<LASlayerAddVLR>(h);
         const uint8_t payload[3] = {1, 2, 3};
         l->set_record("fuzz", 1, 3, payload, false);
         return l;
       },
       none},
      {[](LASheader* h) { return std::make_unique<LASlayerChangeHeader>(h, 0x0E7FFFFBu, "all"); },
       none},
  };
  std::vector<std::vector<uint8_t>> seeds;
  seeds.push_back(lay_file(all));
  seeds.push_back(lay_file({all[6]}));
  seeds.push_back(lay_file({all[1], all[16]}));
  return seeds;
}
