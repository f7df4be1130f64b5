#include "layers/las_apply.hpp"

#include <cinttypes>

#include "filter/las_ignore.hpp"
#include "layers/layers_point_sets.hpp"
#include "platform/run_messages.hpp"

namespace {

// Moves the area of interest from one reader to another.
void move_area(LASreader* from, LASreader* to) {
  switch (from->inside) {
    case LASreader::kInsideTile:
      to->limit_to_tile(from->t_ll_x, from->t_ll_y, from->t_size);
      break;
    case LASreader::kInsideCircle:
      to->limit_to_circle(from->c_center_x, from->c_center_y, from->c_radius);
      break;
    case LASreader::kInsideRectangle:
      to->limit_to_rectangle(from->r_min_x, from->r_min_y, from->r_max_x, from->r_max_y);
      break;
    default:
      return;
  }
  from->limit_none();
}

// Moves filter, transform and ignore rules from one reader to another.
void move_rules(LASreader* from, LASreader* to) {
  if (LASfilter* filter = from->get_filter()) {
    to->attach_filter(filter);
    from->attach_filter(nullptr);
  }
  if (LAStransform* transform = from->get_transform()) {
    to->attach_transform(transform);
    from->attach_transform(nullptr);
  }
  if (LASignore* ignore = from->get_ignore()) {
    to->set_ignore(ignore);
    from->set_ignore(nullptr);
  }
}

}  // namespace

LASapply::LASapply() = default;

LASapply::~LASapply() {
  if (lay_stream) close_input(true);
  // Layers first: the first one reads from the stream over the file.
  layers.clear();
  lay_stream.reset();
  if (lay_file_handle) std::fclose(lay_file_handle);
  inner.reset();
}

bool LASapply::set_lay_directory(const char* directory) {
  lay_folder.set(directory);
  return true;
}

void LASapply::drop_layers() {
  layers.clear();
  appending = false;
  read_failed = false;
}

void LASapply::close_lay() {
  drop_layers();
  lay_stream.reset();
  if (lay_file_handle) std::fclose(lay_file_handle);
  lay_file_handle = nullptr;
  lay_data = nullptr;
  lay_name.clear();
}

bool LASapply::open(const char* point_file_name, LASreader* reader, uint32_t io_buffer_size) {
  if (!lay_reader_given(reader) || !lay_point_file_given(point_file_name)) return false;
  close_lay();
  lay_name = lay_folder.lay_file_of(point_file_name);
  lay_file_handle = std::fopen(lay_name.c_str(), "rb");
  if (lay_file_handle == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s'\n", lay_name.c_str());
    lay_name.clear();
    return false;
  }
  if (std::setvbuf(lay_file_handle, nullptr, _IOFBF, io_buffer_size) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %u\n", io_buffer_size);
  }
  lay_stream = std::make_unique<ByteStreamInFileLE>(lay_file_handle);
  return open_source(reader);
}

bool LASapply::open_memory(const uint8_t* data, size_t size, LASreader* reader) {
  if (!lay_reader_given(reader)) return false;
  close_lay();
  lay_data = data;
  lay_data_size = size;
  lay_stream = std::make_unique<ByteStreamInArrayLE>(data, static_cast<int64_t>(size));
  return open_source(reader);
}

bool LASapply::open_source(LASreader* reader) {
  const int64_t left = lay_stream->bytes_left();
  lay_size = left < 0 ? -1 : lay_stream->position() + left;
  if (!read_lay_header(lay_stream.get(), reader->header, LAYside::apply, &lay)) {
    std::fprintf(stderr, "ERROR: reading and checking LAY header\n");
    return false;
  }
  // A copy, not a take-over: the inner reader may itself pass its header on
  // (a copy of the points on standard output, a second pass that wraps it
  // again), and a header that lost its records would lose them there too.
  header.assign(reader->header);
  // The points reach this reader decompressed.
  header.vlr_compressor.reset();
  if (!point.init_for_point_type(&header, header.point_data_format, header.point_data_record_length,
                                 &header)) {
    return false;
  }
  npoints = header.number_of_point_records
                ? int64_t{header.number_of_point_records}
                : static_cast<int64_t>(header.extended_number_of_point_records);
  p_count = 0;
  move_area(reader, this);
  move_rules(reader, this);
  inner.reset(reader);
  return true;
}

LASreader* LASapply::release_inner() {
  if (!inner) return nullptr;
  move_area(this, inner.get());
  move_rules(this, inner.get());
  return inner.release();
}

bool LASapply::open_layer_stream(std::unique_ptr<ByteStreamIn>* stream, FILE** file) {
  *file = nullptr;
  if (lay_data) {
    *stream = std::make_unique<ByteStreamInArrayLE>(lay_data, static_cast<int64_t>(lay_data_size));
    return true;
  }
  *file = std::fopen(lay_name.c_str(), "rb");
  if (*file == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s'\n", lay_name.c_str());
    return false;
  }
  *stream = std::make_unique<ByteStreamInFileLE>(*file);
  return true;
}

bool LASapply::load_layers(int32_t count) {
  drop_layers();
  if (!lay_stream || !inner) return false;
  if (lay.num_layers == 0) return true;
  uint32_t wanted;
  if (count >= 0) {
    wanted = static_cast<uint32_t>(count) < lay.num_layers ? static_cast<uint32_t>(count)
                                                           : lay.num_layers;
  } else {
    const uint32_t dropped = static_cast<uint32_t>(-(int64_t{count}));
    wanted = dropped >= lay.num_layers ? 0 : lay.num_layers - dropped;
  }
  if (wanted == 0) return true;
  // The count comes from the file: the array grows as records are found
  // rather than being sized by it.
  for (uint32_t i = 0; i < wanted; i++) {
    ByteStreamIn* stream = lay_stream.get();
    std::unique_ptr<ByteStreamIn> own_stream;
    FILE* own_file = nullptr;
    if (i > 0) {
      if (!open_layer_stream(&own_stream, &own_file)) {
        drop_layers();
        return false;
      }
      stream = own_stream.get();
      if (!stream->seek_to(layer_end(i - 1))) {
        std::fprintf(stderr, "ERROR: loading LASlayer %u of %u\n", i + 1, wanted);
        own_stream.reset();
        if (own_file) std::fclose(own_file);
        drop_layers();
        return false;
      }
    }
    LASlayer plain(&header);
    std::unique_ptr<LASlayer> loaded = plain.load(stream, std::move(own_stream), own_file);
    if (!loaded) {
      std::fprintf(stderr, "ERROR: loading LASlayer %u of %u\n", i + 1, wanted);
      drop_layers();
      return false;
    }
    if (!loaded->init_read(stream)) {
      std::fprintf(stderr, "ERROR: initializing LASlayer %u of %u\n", i + 1, wanted);
      drop_layers();
      return false;
    }
    if (!loaded->update_point_layout(&header, &point)) {
      std::fprintf(stderr, "ERROR: updating LASpoint for LASlayer %u of %u\n", i + 1, wanted);
      drop_layers();
      return false;
    }
    layers.push_back(std::move(loaded));
  }
  if (wanted == lay.num_layers &&
      !lay_layers_end_the_file(layer_end(wanted - 1), lay_size, wanted)) {
    drop_layers();
    return false;
  }
  return true;
}

int64_t LASapply::layer_end(uint32_t index) const {
  if (index >= layers.size()) return -1;
  return layers[index]->start_position + static_cast<int64_t>(layers[index]->size);
}

int LASapply::apply_layers(size_t first) {
  for (size_t i = first; i < layers.size(); i++) {
    current_layer = i;
    if (!layers[i]->apply_to_point(&point)) return -1;
    if (point.deleted_flag) return 0;
  }
  return 1;
}

bool LASapply::read_one_point() {
  if (!inner || read_failed) return false;
  try {
    for (;;) {
      int result;
      if (!appending) {
        if (inner->read_point()) {
          point.assign(inner->point);
          point.deleted_flag = 0;
          result = apply_layers(0);
        } else {
          appending = true;
          for (auto& layer : layers) {
            if (auto* append = dynamic_cast<LASlayerAppendPointsRaw*>(layer.get())) {
              append->start_appending();
            }
          }
          continue;
        }
      } else {
        // After the file's last point: points of the first append layer that
        // still has some, with the layers behind it applied.
        size_t i = 0;
        for (; i < layers.size(); i++) {
          if (layers[i]->type != LAYER_APPEND) continue;
          current_layer = i;
          point.deleted_flag = 0;
          if (layers[i]->apply_to_point(&point)) break;
        }
        if (i == layers.size()) return false;
        result = apply_layers(i + 1);
      }
      if (result < 0) return false;
      if (result > 0) {
        p_count++;
        return true;
      }
    }
  } catch (...) {
    std::fprintf(stderr, "ERROR: corrupt data of LASlayer %u of %u after %" PRId64 " points\n",
                 static_cast<unsigned>(current_layer + 1), static_cast<unsigned>(layers.size()),
                 p_count);
    read_failed = true;
    return false;
  }
}
