#include "core/las_point_record_writer.hpp"

#include <algorithm>

#include "compress/item_coder_factory.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_raw_item_maker.hpp"

namespace {

struct RawWriters {
  using Base = LASwriteItemRaw;
  using Bytes = LASwriteItemRaw_BYTE;
  using Point10 = LASwriteItemRaw_POINT10_LE;
  using GpsTime11 = LASwriteItemRaw_GPSTIME11_LE;
  using Rgb12 = LASwriteItemRaw_RGB12_LE;
  using WavePacket13 = LASwriteItemRaw_WAVEPACKET13_LE;
  using RgbNir14 = LASwriteItemRaw_RGBNIR14_LE;
  using Point14 = LASwriteItemRaw_POINT14_LE;
};

}  // namespace

LASpointRecordWriter::LASpointRecordWriter(const LASitemCoderFactory* factory)
    : factory(factory ? factory : &LASitemCoderFactory::standard()) {}

LASpointRecordWriter::~LASpointRecordWriter() = default;

bool LASpointRecordWriter::setup(uint16_t num_items, const LASitem* items,
                                 const LAScompressorSetup* setup) {
  // With a set-up record the items must be the record's own list.
  if (setup && !setup->lists_items(num_items, items)) return false;
  if (num_items && items == nullptr) return false;
  enc.reset();
  writers_raw.clear();
  writers_compressed.clear();
  in_use = InUse::kNone;
  layered = false;
  adaptive = false;
  chunk_sizes.clear();
  chunk_bytes.clear();
  number_chunks = 0;
  chunk_start_position = 0;
  missing_coder = false;
  if (setup && setup->compressor != LAScompressorKind::raw) {
    if (setup->coder != 0) return false;
    enc = std::make_unique<IntervalEncoder>();
    layered = setup->compressor == LAScompressorKind::multistream_chunked;
  }
  chunk_size = kAdaptive;
  for (uint16_t i = 0; i < num_items; i++) {
    std::unique_ptr<LASwriteItemRaw> raw = make_raw_item_coder<RawWriters>(items[i]);
    if (!raw) return false;
    writers_raw.push_back(std::move(raw));
  }
  num_writers = num_items;
  if (!enc) return true;
  for (uint16_t i = 0; i < num_items; i++) {
    std::unique_ptr<LASwriteItemCompressed> writer = factory->make_writer(items[i], enc.get());
    if (!writer) {
      if (!LASitemCoderFactory::is_coded_version(items[i], true)) return false;
      // A coder of the format that this build does not have: the header can
      // be written, no point can.
      missing_coder = true;
    }
    writers_compressed.push_back(std::move(writer));
  }
  chunk_count = 0;
  if (setup->compressor == LAScompressorKind::sequential) return true;
  if (setup->chunk_size != 0) chunk_size = setup->chunk_size;
  adaptive = chunk_size == kAdaptive;
  number_chunks = kPointerUnwritten;
  return true;
}

bool LASpointRecordWriter::init(ByteStreamOut* stream) {
  if (stream == nullptr) return false;
  this->stream = stream;
  if (number_chunks == kPointerUnwritten) {
    number_chunks = 0;
    // Where the table pointer goes; a stream that cannot seek back gets -1
    // and the table's position at the very end instead.
    chunk_table_start_position = stream->can_seek() ? stream->position() : -1;
    if (!stream->write_u64_le(&chunk_table_start_position)) return false;
    chunk_start_position = stream->position();
  }
  for (auto& w : writers_raw) w->init(stream);
  in_use = enc ? InUse::kNone : InUse::kRaw;
  return true;
}

bool LASpointRecordWriter::write(const uint8_t* const* point_items) {
  if (chunk_count == chunk_size) {
    if (enc) {
      if (!close_chunk() || !add_chunk_to_table() || !init(stream)) return false;
    }
    chunk_count = 0;
  }
  chunk_count++;
  uint32_t context = 0;
  if (in_use == InUse::kRaw) {
    for (uint32_t i = 0; i < num_writers; i++) {
      if (!writers_raw[i]->write_item(point_items[i], context)) return false;
    }
    return true;
  }
  if (in_use == InUse::kCompressed) {
    for (uint32_t i = 0; i < num_writers; i++) {
      if (!writers_compressed[i]->write_item(point_items[i], context)) return false;
    }
    return true;
  }
  if (!enc || missing_coder) return false;
  // The first point of a chunk is stored raw and seeds the compressed writers.
  uint32_t raw_context = 0;
  for (uint32_t i = 0; i < num_writers; i++) {
    if (!writers_raw[i]->write_item(point_items[i], raw_context)) return false;
    if (!writers_compressed[i]->start_chunk(point_items[i], context)) return false;
  }
  in_use = InUse::kCompressed;
  return enc->start(stream);
}

bool LASpointRecordWriter::close_chunk() {
  if (layered) {
    if (!stream->write_u32_le(&chunk_count)) return false;
    for (auto& w : writers_compressed) {
      if (!w->write_layer_sizes()) return false;
    }
    for (auto& w : writers_compressed) {
      if (!w->write_layer_bytes()) return false;
    }
    return true;
  }
  return enc->finish();
}

bool LASpointRecordWriter::add_chunk_to_table() {
  const int64_t position = stream->position();
  const int64_t bytes = position - chunk_start_position;
  // The table holds byte counts that readers take as signed 32-bit values: a
  // larger chunk could not be found again.
  if (bytes < 0 || bytes > INT32_MAX) return false;
  if (adaptive) chunk_sizes.push_back(chunk_count);
  chunk_bytes.push_back(static_cast<uint32_t>(bytes));
  chunk_start_position = position;
  number_chunks++;
  return true;
}

bool LASpointRecordWriter::chunk() {
  if (chunk_start_position == 0 || chunk_size != kAdaptive) return false;
  // A chunk without a point has no started encoder to finish: nothing to end.
  if (in_use != InUse::kCompressed) return true;
  if (!close_chunk() || !add_chunk_to_table() || !init(stream)) return false;
  chunk_count = 0;
  return true;
}

bool LASpointRecordWriter::done() {
  bool ok = true;
  if (in_use == InUse::kCompressed) {
    ok = close_chunk();
    if (ok && chunk_start_position != 0) ok = add_chunk_to_table();
  }
  if (ok && chunk_start_position != 0) {
    ok = write_chunk_table();
    chunk_start_position = 0;
  }
  in_use = InUse::kNone;
  return ok;
}

bool LASpointRecordWriter::write_chunk_table() {
  const int64_t position = stream->position();
  if (chunk_table_start_position != -1) {
    if (!stream->seek_to(chunk_table_start_position)) return false;
    if (!stream->write_u64_le(&position)) return false;
    if (!stream->seek_to(position)) return false;
  }
  const uint32_t version = 0;
  if (!stream->write_u32_le(&version) || !stream->write_u32_le(&number_chunks)) return false;
  if (number_chunks > 0) {
    if (!enc->start(stream)) return false;
    ResidualCoder coder(enc.get(), 32, 2, 8, 0);
    coder.prepare_encode();
    for (uint32_t i = 0; i < number_chunks; i++) {
      if (adaptive) {
        coder.encode(i ? static_cast<int32_t>(chunk_sizes[i - 1]) : 0,
                     static_cast<int32_t>(chunk_sizes[i]), 0);
      }
      coder.encode(i ? static_cast<int32_t>(chunk_bytes[i - 1]) : 0,
                   static_cast<int32_t>(chunk_bytes[i]), 1);
    }
    if (!enc->finish()) return false;
  }
  if (chunk_table_start_position == -1 && !stream->write_u64_le(&position)) return false;
  return true;
}
