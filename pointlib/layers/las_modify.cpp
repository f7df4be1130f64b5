#include "layers/las_modify.hpp"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "layers/las_apply.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"
#include "platform/file_identity.hpp"
#include "platform/file_truncate.hpp"
#include "platform/run_messages.hpp"

namespace {

// Ignore settings packed behind a field's own values, from `index` on.
bool load_ignores(LASlayer* layer, uint32_t index, uint32_t count, const double* values,
                  const char* field) {
  if (count <= index) return true;
  if (layer->load_from_values(static_cast<int>(index), static_cast<int>(count), values)) {
    return true;
  }
  std::fprintf(stderr, "ERROR: wrong ignore settings for replacing '%s'\n", field);
  return false;
}

// A value that must be a byte: the double's range is checked before the cast.
bool byte_value(double value, uint8_t* out) {
  if (!(value >= 0.0 && value < 256.0)) return false;
  *out = static_cast<uint8_t>(value);
  return true;
}

// The buffer is set before the first read or write, as the C library requires.
FILE* open_buffered(const char* name, const char* mode, uint32_t io_buffer_size) {
  FILE* file = std::fopen(name, mode);
  if (file && std::setvbuf(file, nullptr, _IOFBF, io_buffer_size) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %u\n", io_buffer_size);
  }
  return file;
}

// Whether an existing file is empty or the LAY file of the point file with header `las`.
bool empty_or_written_for(FILE* file, const LASheader& las) {
  ByteStreamInFileLE in(file);
  if (in.bytes_left() == 0) return true;
  LAYheader existing;
  try {
    return read_lay_header(&in, las, LAYside::modify, &existing);
  } catch (...) {
    return false;
  }
}

}  // namespace

LASmodify::LASmodify(LASheader* header) : header(header) {}

LASmodify::~LASmodify() {
  // A writer deleted without close_output belongs to a run that failed: what it wrote goes.
  discard();
}

bool LASmodify::refuse_after_open(const char* call) const {
  if (!opened()) return false;
  std::fprintf(stderr, "ERROR: cannot call %s() after open()\n", call);
  return true;
}

bool LASmodify::add_layer(std::unique_ptr<LASlayer> layer) {
  layers.push_back(std::move(layer));
  return true;
}

void LASmodify::abandon() {
  layers.clear();
  if (file && created) {
    // Nothing of a file this writer created may be left to look like layers.
    stream.reset();
    std::fclose(file);
    file = nullptr;
    if (std::remove(lay_name.c_str()) == 0) {
      std::fprintf(stderr, "ERROR: removed the incomplete LAY file '%s'\n", lay_name.c_str());
    }
  } else if (file && touched) {
    // An extended file gets back its bytes behind the kept layers and its count of layers.
    const bool restored =
        stream->seek_to(LAYheader::kNumLayersAt) && stream->write_u32_le(&lay.num_layers) &&
        stream->seek_to(tail_position) &&
        (replaced_tail.empty() ||
         stream->write_bytes(replaced_tail.data(), static_cast<uint32_t>(replaced_tail.size()))) &&
        truncate_open_file(file, existing_size);
    std::fprintf(stderr,
                 restored ? "ERROR: LAY file '%s' left as it was\n"
                          : "ERROR: could not restore LAY file '%s'\n",
                 lay_name.c_str());
  }
  stream.reset();
  if (file) std::fclose(file);
  file = nullptr;
  created = false;
  touched = false;
}

void LASmodify::discard() {
  if (opened()) abandon();
}

bool LASmodify::replace_field(const char* field, uint32_t mask, const char* description,
                              uint32_t count, const double* values) {
  if (refuse_after_open("replace_field")) return false;
  if (field == nullptr) field = "";
  if (values == nullptr) count = 0;
  std::unique_ptr<LASlayer> layer;
  if (std::strcmp(field, "classification") == 0) {
    auto kind =
        std::make_unique<LASlayerReplaceClassificationCompressed>(header, mask, description);
    if (count) {
      const double n_value = values[0];
      if (!(n_value >= 0.0 && n_value <= count - 1.0)) {
        std::fprintf(stderr, "ERROR: %u values cannot hold %g classifications\n", count, n_value);
        return false;
      }
      const uint32_t n = static_cast<uint32_t>(n_value);
      std::vector<uint32_t> classes(n);
      for (uint32_t i = 0; i < n; i++) {
        const double c = values[1 + i];
        classes[i] = c >= 0.0 && c < 4294967296.0 ? static_cast<uint32_t>(c) : 256u;
      }
      const bool allow_unchanged = count > n + 1 && values[n + 1] != 0.0;
      if (!load_ignores(kind.get(), n + 2, count, values, field)) return false;
      if (!kind->set_classifications(n, classes.data(), allow_unchanged)) return false;
    }
    layer = std::move(kind);
  } else if (std::strcmp(field, "user_data") == 0) {
    auto kind = std::make_unique<LASlayerReplaceUserDataCompressed>(header, mask, description);
    uint8_t min = 0, max = 255;
    if ((count > 0 && !byte_value(values[0], &min)) ||
        (count > 1 && !byte_value(values[1], &max))) {
      std::fprintf(stderr, "ERROR: user data range outside 0 to 255\n");
      return false;
    }
    if (!load_ignores(kind.get(), 2, count, values, field)) return false;
    if (!kind->set_value_range(min, max)) return false;
    layer = std::move(kind);
  } else if (std::strcmp(field, "intensity") == 0) {
    auto kind = std::make_unique<LASlayerReplaceIntensityCompressed>(header, mask, description);
    if (!load_ignores(kind.get(), 2, count, values, field)) return false;
    const bool lower_zero = count > 0 && values[0] != 0.0;
    const bool upper_zero = count > 1 && values[1] != 0.0;
    if (!kind->set_byte_use(lower_zero, upper_zero)) return false;
    layer = std::move(kind);
  } else if (std::strcmp(field, "Z") == 0) {
    layer = std::make_unique<LASlayerReplaceZCompressed>(header, mask, description);
  } else if (std::strcmp(field, "withheld_flag") == 0) {
    layer = std::make_unique<LASlayerReplaceWithheldFlagCompressed>(header, mask, description);
  } else if (std::strcmp(field, "synthetic_flag") == 0) {
    layer = std::make_unique<LASlayerReplaceSyntheticFlagCompressed>(header, mask, description);
  } else if (std::strcmp(field, "keypoint_flag") == 0) {
    layer = std::make_unique<LASlayerReplaceKeypointFlagCompressed>(header, mask, description);
  } else if (std::strcmp(field, "overlap_flag") == 0) {
    layer = std::make_unique<LASlayerReplaceOverlapFlagCompressed>(header, mask, description);
  } else if (std::strcmp(field, "extended LAS 1.4 attributes") == 0) {
    layer = std::make_unique<LASlayerReplaceExtendedLAS14AttributesCompressed>(header, mask,
                                                                               description);
  } else {
    std::fprintf(stderr, "ERROR: changing field '%s' not supported.\n", field);
    return false;
  }
  if (layer->fields >= LAYER_FIELDS_WITHHELD && layer->fields <= LAYER_FIELDS_OVERLAP &&
      !load_ignores(layer.get(), 0, count, values, field)) {
    return false;
  }
  return add_layer(std::move(layer));
}

bool LASmodify::difference_field(const char* field, uint32_t mask, const char* description) {
  if (refuse_after_open("difference_field")) return false;
  if (field == nullptr) field = "";
  std::unique_ptr<LASlayer> layer;
  if (std::strcmp(field, "XY") == 0) {
    layer = std::make_unique<LASlayerDiffXYCompressed>(header, mask, description);
  } else if (std::strcmp(field, "Z") == 0) {
    layer = std::make_unique<LASlayerDiffZCompressed>(header, mask, description);
  } else if (std::strcmp(field, "XYZ") == 0) {
    layer = std::make_unique<LASlayerDiffXYZCompressed>(header, mask, description);
  } else {
    std::fprintf(stderr, "ERROR: changing field '%s' not supported.\n", field);
    return false;
  }
  return add_layer(std::move(layer));
}

bool LASmodify::filter_points(const char* options, uint32_t mask, const char* description) {
  if (refuse_after_open("filter_points")) return false;
  auto layer = std::make_unique<LASlayerFilter>(header, mask, description);
  layer->set_command(options);
  return add_layer(std::move(layer));
}

bool LASmodify::transform_points(const char* options, uint32_t mask, const char* description) {
  if (refuse_after_open("transform_points")) return false;
  auto layer = std::make_unique<LASlayerTransform>(header, mask, description);
  layer->set_command(options);
  return add_layer(std::move(layer));
}

bool LASmodify::set_lay_directory(const char* directory) {
  lay_folder.set(directory);
  return true;
}

void LASmodify::add_filter_transform_layers(const LASreader* reader) {
  std::vector<std::unique_ptr<LASlayer>> carried;
  // Each criterion and operation writes far less than these bounds.
  if (const LASfilter* filter = reader->get_filter(); filter && filter->count() > 0) {
    std::vector<char> text(4096 * (size_t{filter->count()} + 1), '\0');
    filter->write_options_text(text.data());
    auto layer = std::make_unique<LASlayerFilter>(header, 0, text.data());
    layer->set_command(text.data());
    carried.push_back(std::move(layer));
  }
  if (const LAStransform* transform = reader->get_transform();
      transform && transform->num_operations() > 0) {
    const LASfilter* filter = transform->get_filter();
    std::vector<char> text(
        transform->options_text_bound() + 64 + (filter ? 4096 * (size_t{filter->count()} + 1) : 0),
        '\0');
    transform->write_options_text(text.data());
    auto layer = std::make_unique<LASlayerTransform>(header, 0, text.data());
    layer->set_command(text.data());
    carried.push_back(std::move(layer));
  }
  for (auto& layer : layers) carried.push_back(std::move(layer));
  layers = std::move(carried);
}

bool LASmodify::open_file(bool* extend, const LASheader& las, uint32_t io_buffer_size) {
  const char* name = lay_name.c_str();
  file = open_buffered(name, "rb+", io_buffer_size);
  if (file == nullptr && errno != ENOENT) {
    // One that exists but cannot be opened for update keeps its layers.
    std::fprintf(stderr, "ERROR: cannot open file '%s'\n", name);
    return false;
  }
  if (file == nullptr) {
    // Only a file that is not there may be created.
    *extend = false;
    file = open_buffered(name, "wb+", io_buffer_size);
    if (file == nullptr) {
      std::fprintf(stderr, "ERROR: cannot open file '%s'\n", name);
      return false;
    }
    created = true;
    return true;
  }
  if (*extend) return true;
  // A new set of layers replaces those of the same point file only; the LAY file of another
  // (tile.las and tile.vpk share one name) or a file that is no LAY file is kept.
  if (!empty_or_written_for(file, las)) {
    std::fprintf(stderr,
                 "ERROR: LAY file '%s' was not written for this point file. not overwritten.\n",
                 name);
    std::fclose(file);
    file = nullptr;
    return false;
  }
  replacing = true;
  return true;
}

bool LASmodify::take_over_existing() {
  // The old layers are kept in memory until the new ones are complete, so that a failed run
  // gives them back.
  if (!stream->seek_to(0) || !keep_tail()) return false;
  touched = true;
  if (!truncate_open_file(file, 0) || !stream->seek_to(0)) {
    std::fprintf(stderr, "ERROR: cannot empty file '%s'\n", lay_name.c_str());
    return false;
  }
  return true;
}

bool LASmodify::existing_layers_load(const LASheader& las) {
  // Every record must be a layer this reader knows and lie inside the file, and the last must
  // end where the file ends: new layers behind a cut or miscounted file could never be reached.
  LASheader scratch;
  scratch.assign(las);
  const int64_t left = stream->bytes_left();
  const int64_t size = left < 0 ? -1 : stream->position() + left;
  for (uint32_t i = 0; i < lay.num_layers; i++) {
    LASlayer plain(&scratch);
    std::unique_ptr<LASlayer> layer;
    try {
      layer = plain.load(stream.get(), nullptr, nullptr);
    } catch (...) {
      layer.reset();
    }
    // The factory has checked that the record lies inside the file.
    if (!layer || !stream->seek_to(layer->start_position + static_cast<int64_t>(layer->size))) {
      std::fprintf(stderr, "ERROR: loading LASlayer %u of %u\n", i + 1, lay.num_layers);
      return false;
    }
  }
  return lay_layers_end_the_file(stream->position(), size, lay.num_layers);
}

bool LASmodify::place_after_existing(LASreader* reader) {
  stream->seek_to(0);
  const LASapply* apply =
      reader->applies_layers() ? dynamic_cast<const LASapply*>(reader) : nullptr;
  const LASreader* checked = apply && apply->inner_reader() ? apply->inner_reader() : reader;
  bool ok;
  try {
    ok = read_lay_header(stream.get(), checked->header, LAYside::modify, &lay);
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    std::fprintf(stderr, "ERROR: checking LAY header(s)\n");
    return false;
  }
  // The positions of the loaded layers belong to the file the reader
  // applies; in another LAY file they would point anywhere.
  if (apply && paths_name_same_file(apply->lay_file().c_str(), lay_name.c_str())) {
    kept_layers = apply->loaded_layers();
    if (kept_layers && !stream->seek_to(apply->layer_end(kept_layers - 1))) {
      std::fprintf(stderr, "ERROR: checking LAY header(s)\n");
      return false;
    }
  } else {
    if (!existing_layers_load(checked->header)) {
      std::fprintf(stderr, "ERROR: checking LAY header(s)\n");
      return false;
    }
    kept_layers = lay.num_layers;
  }
  return keep_tail();
}

bool LASmodify::keep_tail() {
  // What the new layers will overwrite, to be put back when they fail.
  const int64_t here = stream->position();
  const int64_t left = stream->bytes_left();
  if (here < 0 || left < 0) {
    std::fprintf(stderr, "ERROR: cannot tell the size of LAY file '%s'\n", lay_name.c_str());
    return false;
  }
  if (left > INT32_MAX) {
    std::fprintf(stderr, "ERROR: too many bytes behind the kept layers of '%s'\n",
                 lay_name.c_str());
    return false;
  }
  tail_position = here;
  existing_size = here + left;
  replaced_tail.resize(static_cast<size_t>(left));
  try {
    if (left > 0) stream->read_bytes(replaced_tail.data(), static_cast<uint32_t>(left));
  } catch (...) {
    std::fprintf(stderr, "ERROR: reading LAY file '%s'\n", lay_name.c_str());
    return false;
  }
  return stream->seek_to(here);
}

bool LASmodify::open(const char* point_file_name, LASreader* reader, bool extend,
                     bool buffer_all_layers, uint32_t io_buffer_size) {
  if (!lay_reader_given(reader) || !lay_point_file_given(point_file_name)) return false;
  if (opened()) {
    std::fprintf(stderr, "ERROR: LAY file '%s' is already open\n", lay_name.c_str());
    return false;
  }
  add_filter_transform_layers(reader);
  lay_name = lay_folder.lay_file_of(point_file_name);
  // A point file whose name ends in "lay" would be overwritten by its layers.
  if (lay_name == point_file_name || paths_name_same_file(lay_name.c_str(), point_file_name)) {
    std::fprintf(stderr, "ERROR: LAY file '%s' would be the point file itself\n", lay_name.c_str());
    return false;
  }
  created = false;
  touched = false;
  replacing = false;
  if (!open_file(&extend, reader->header, io_buffer_size)) return false;
  stream = std::make_unique<ByteStreamInOutFileLE>(file);
  kept_layers = 0;
  if (extend) {
    if (!place_after_existing(reader)) {
      abandon();
      return false;
    }
    touched = true;
  } else {
    if (replacing && !take_over_existing()) {
      abandon();
      return false;
    }
    if (!write_lay_header(stream.get(), reader->header, static_cast<uint32_t>(layers.size()))) {
      std::fprintf(stderr, "ERROR: writing LAY header\n");
      abandon();
      return false;
    }
  }
  new_layers_position = stream->position();
  quantizer.x_scale_factor = header->x_scale_factor;
  quantizer.y_scale_factor = header->y_scale_factor;
  quantizer.z_scale_factor = header->z_scale_factor;
  quantizer.x_offset = header->x_offset;
  quantizer.y_offset = header->y_offset;
  quantizer.z_offset = header->z_offset;
  npoints = header->number_of_point_records
                ? int64_t{header->number_of_point_records}
                : static_cast<int64_t>(header->extended_number_of_point_records);
  p_count = 0;
  for (size_t i = 0; i < layers.size(); i++) {
    ByteStreamOut* direct = i == 0 && !buffer_all_layers ? stream.get() : nullptr;
    if (!layers[i]->init_write(direct)) {
      std::fprintf(stderr, "ERROR: initializing layer %u of %u\n", static_cast<unsigned>(i),
                   static_cast<unsigned>(layers.size()));
      abandon();
      return false;
    }
  }
  return true;
}

bool LASmodify::write_one_point(const LASpoint* point) {
  p_count++;
  for (auto& layer : layers) {
    if (!layer->record_point(point)) return false;
    // Later layers do not see a point an earlier one deleted.
    if (layer->is_deleted()) break;
  }
  return true;
}

bool LASmodify::rewrite_header(const LASheader* h, bool, bool) {
  if (h == nullptr) {
    std::fprintf(stderr, "ERROR: header pointer is zero\n");
    return false;
  }
  // A caller may hand in the very header the layers were built against.
  if (h == header) {
    npoints = h->number_of_point_records
                  ? int64_t{h->number_of_point_records}
                  : static_cast<int64_t>(h->extended_number_of_point_records);
    header->start_of_waveform_data_packet_record = 0;
    return true;
  }
  header->file_source_ID = h->file_source_ID;
  header->global_encoding = h->global_encoding;
  header->version_major = h->version_major;
  header->version_minor = h->version_minor;
  std::memcpy(header->system_identifier, h->system_identifier, 32);
  std::memcpy(header->generating_software, h->generating_software, 32);
  header->file_creation_day = h->file_creation_day;
  header->file_creation_year = h->file_creation_year;
  header->header_size = h->header_size;
  header->offset_to_point_data = h->offset_to_point_data;
  header->number_of_variable_length_records = h->number_of_variable_length_records;
  header->point_data_format = h->point_data_format;
  header->point_data_record_length = h->point_data_record_length;
  header->x_scale_factor = h->x_scale_factor;
  header->y_scale_factor = h->y_scale_factor;
  header->z_scale_factor = h->z_scale_factor;
  header->x_offset = h->x_offset;
  header->y_offset = h->y_offset;
  header->z_offset = h->z_offset;
  header->number_of_extended_variable_length_records =
      h->number_of_extended_variable_length_records;
  header->number_of_point_records = h->number_of_point_records;
  std::memcpy(header->number_of_points_by_return, h->number_of_points_by_return,
              sizeof(header->number_of_points_by_return));
  header->max_x = h->max_x;
  header->min_x = h->min_x;
  header->max_y = h->max_y;
  header->min_y = h->min_y;
  header->max_z = h->max_z;
  header->min_z = h->min_z;
  npoints = h->number_of_point_records ? int64_t{h->number_of_point_records}
                                       : static_cast<int64_t>(h->extended_number_of_point_records);
  if (h->version_minor >= 3 && h->start_of_waveform_data_packet_record != 0) {
    print_note("WARNING: header->start_of_waveform_data_packet_record is %" PRId64
               ". setting it to 0 ...\n",
               static_cast<int64_t>(h->start_of_waveform_data_packet_record));
  }
  header->start_of_waveform_data_packet_record = 0;
  if (h->version_minor >= 4) {
    header->start_of_first_extended_variable_length_record =
        h->start_of_first_extended_variable_length_record;
    header->number_of_extended_variable_length_records =
        h->number_of_extended_variable_length_records;
    header->extended_number_of_point_records = h->number_of_point_records
                                                   ? uint64_t{h->number_of_point_records}
                                                   : h->extended_number_of_point_records;
    for (int i = 0; i < 15; i++) {
      header->extended_number_of_points_by_return[i] =
          i < 5 && h->number_of_points_by_return[i] ? uint64_t{h->number_of_points_by_return[i]}
                                                    : h->extended_number_of_points_by_return[i];
    }
  }
  return true;
}

int64_t LASmodify::close_output(bool) {
  if (p_count != npoints) {
    print_note("WARNING: written %" PRId64 " points but expected %" PRId64 " points\n", p_count,
               npoints);
  }
  int64_t bytes = 0;
  bool ok = true;
  if (stream) {
    const uint32_t count = static_cast<uint32_t>(layers.size());
    for (uint32_t i = 0; i < count && ok; i++) {
      if (!layers[i]->finish_write(stream.get())) {
        std::fprintf(stderr, "ERROR: closing layer %u of %u\n", i + 1, count);
        ok = false;
      }
    }
    // Behind the last layer written, the file may still hold layers that the
    // new ones replaced; they must not be read as layers.
    const int64_t end = stream->position();
    if (ok && count) {
      const uint32_t num_layers = kept_layers + count;
      if (!stream->seek_to(LAYheader::kNumLayersAt) || !stream->write_u32_le(&num_layers)) {
        std::fprintf(stderr, "ERROR: writing num_layers_after\n");
        ok = false;
      }
    }
    if (ok && !truncate_open_file(file, end)) {
      std::fprintf(stderr, "ERROR: cutting LAY file '%s' after its last layer\n", lay_name.c_str());
      ok = false;
    }
    // A full disk shows here at the latest: the buffered bytes must reach the file while it can
    // still be taken back.
    if (ok && std::fflush(file) != 0) {
      std::fprintf(stderr, "ERROR: writing LAY file '%s'\n", lay_name.c_str());
      ok = false;
    }
    bytes = end - new_layers_position;
    if (!ok) abandon();
    stream.reset();
  }
  layers.clear();
  if (file && std::fclose(file) != 0) ok = false;
  file = nullptr;
  created = false;
  touched = false;
  npoints = p_count;
  p_count = 0;
  return ok ? bytes : -1;
}
