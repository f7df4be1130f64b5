#include "core/las_point_record_reader.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "compress/item_coder_factory.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_raw_item_maker.hpp"

namespace {

struct RawReaders {
  using Base = LASreadItemRaw;
  using Bytes = LASreadItemRaw_BYTE;
  using Point10 = LASreadItemRaw_POINT10_LE;
  using GpsTime11 = LASreadItemRaw_GPSTIME11_LE;
  using Rgb12 = LASreadItemRaw_RGB12_LE;
  using WavePacket13 = LASreadItemRaw_WAVEPACKET13_LE;
  using RgbNir14 = LASreadItemRaw_RGBNIR14_LE;
  using Point14 = LASreadItemRaw_POINT14_LE;
};

}  // namespace

LASpointRecordReader::LASpointRecordReader(uint32_t layer_request_mask,
                                           const LASitemCoderFactory* factory)
    : factory(factory ? factory : &LASitemCoderFactory::standard()),
      layer_request_mask(layer_request_mask) {}

LASpointRecordReader::~LASpointRecordReader() = default;

void LASpointRecordReader::set_error(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  error_text = text;
}

bool LASpointRecordReader::setup(uint16_t num_items, const LASitem* items,
                                 const LAScompressorSetup* setup) {
  // With a set-up record the items must be the record's own list.
  if (setup && !setup->lists_items(num_items, items)) return false;
  if (num_items && items == nullptr) return false;
  dec.reset();
  readers_raw.clear();
  readers_compressed.clear();
  in_use = InUse::kNone;
  layered = false;
  adaptive = false;
  chunk_starts.clear();
  chunk_totals.clear();
  number_chunks = tabled_chunks = current_chunk = chunk_count = 0;
  unreadable = false;
  missing_coder = false;
  chunk_lost = false;
  position_lost = false;
  table_from_file = false;
  table_position = 0;
  chunk_bound = 0;
  chunk_points = 0;
  exhausted = false;
  resume_at = -1;
  if (setup && setup->compressor != LAScompressorKind::raw) {
    if (setup->coder != 0) return false;
    dec = std::make_unique<IntervalDecoder>();
    layered = setup->compressor == LAScompressorKind::multistream_chunked;
  }
  chunk_size = kAdaptive;
  point_size = 0;
  for (uint16_t i = 0; i < num_items; i++) {
    std::unique_ptr<LASreadItemRaw> raw = make_raw_item_coder<RawReaders>(items[i]);
    if (!raw) return false;
    readers_raw.push_back(std::move(raw));
    point_size += items[i].size;
  }
  num_readers = num_items;
  if (!dec) return true;

  if (!seek_point.init_for_items(nullptr, num_items, items, nullptr)) return false;
  for (uint16_t i = 0; i < num_items; i++) {
    // The coders of the extended items find their layers in the framing of
    // multistream chunks; no other framing has any.
    if (!layered && items[i].type >= LASitem::POINT14) return false;
    std::unique_ptr<LASreadItemCompressed> reader =
        factory->make_reader(items[i], dec.get(), layer_request_mask);
    if (!reader) {
      if (!LASitemCoderFactory::is_coded_version(items[i], false)) return false;
      // A coder of the format that this build does not have: the set-up
      // stands (headers can still be read) but no point can be.
      if (!missing_coder) {
        set_error("no compressed reader for item %s of version %d", items[i].get_name(),
                  items[i].version);
      }
      missing_coder = true;
    }
    readers_compressed.push_back(std::move(reader));
  }
  if (setup->compressor == LAScompressorKind::sequential) return true;
  // A stored chunk size of 0 means adaptive, like the all-ones value.
  if (setup->chunk_size != 0) chunk_size = setup->chunk_size;
  adaptive = chunk_size == kAdaptive;
  number_chunks = kTableUnread;
  return true;
}

bool LASpointRecordReader::init(ByteStreamIn* stream) {
  if (stream == nullptr) return false;
  this->stream = stream;
  for (auto& r : readers_raw) r->init(stream);
  if (dec) {
    chunk_count = chunk_size;  // the first read starts a chunk
    point_start = 0;
    in_use = InUse::kNone;
  } else {
    point_start = stream->position();
    in_use = InUse::kRaw;
    const int64_t left = point_start >= 0 ? stream->bytes_left() : -1;
    raw_end = left >= 0 ? point_start + left : -1;
    raw_left = left;
    block_stream.init(nullptr, 0);
    raw_source = stream;
  }
  return true;
}

void LASpointRecordReader::raw_readers_on(ByteStreamIn* source) {
  if (source == raw_source) return;
  for (auto& r : readers_raw) r->init(source);
  raw_source = source;
}

void LASpointRecordReader::fill_block() {
  constexpr int64_t kBlockBytes = 1 << 16;
  const int64_t records = std::max<int64_t>(1, kBlockBytes / point_size);
  const int64_t bytes = std::min(raw_left / point_size, records) * point_size;
  if (block.size() < static_cast<size_t>(bytes)) block.resize(static_cast<size_t>(bytes));
  const int64_t start = stream->position();
  try {
    stream->read_bytes(block.data(), static_cast<uint32_t>(bytes));
  } catch (int) {
    // The stream holds fewer bytes than it said (the file was cut meanwhile): record by record
    // from where the block began, as without blocks.
    block_stream.init(nullptr, 0);
    raw_left = raw_end = -1;
    stream->seek_to(start);
    raw_readers_on(stream);
    return;
  }
  raw_left -= bytes;
  block_stream.init(block.data(), bytes);
  raw_readers_on(&block_stream);
}

bool LASpointRecordReader::read_raw(uint8_t* const* point_items) {
  if (block_stream.bytes_left() < static_cast<int64_t>(point_size)) {
    if (point_size > 0 && raw_left >= static_cast<int64_t>(point_size)) {
      fill_block();
    } else {
      raw_readers_on(stream);
    }
  }
  try {
    uint32_t context = 0;
    for (uint32_t i = 0; i < num_readers; i++) readers_raw[i]->read_item(point_items[i], context);
  } catch (int) {
    // No text: the LAS reader reports a short raw point block as a warning.
    return false;
  }
  return true;
}

bool LASpointRecordReader::read(uint8_t* const* point_items) {
  resume_at = -1;
  if (!dec) return read_raw(point_items);
  if (exhausted) return false;
  if (unreadable || missing_coder || chunk_lost) {
    if (error_text.empty()) set_error("chunk table could not be read");
    return false;
  }
  try {
    return read_compressed(point_items);
  } catch (int e) {
    // Wherever the stream stands now, it is not at the point after the last
    // one delivered: a seek has to start its chunk afresh.
    position_lost = true;
    // The last chunk's data ran out past its end: the points ended before
    // the count the header gives.
    if (chunk_bound > 0 && stream->position() > chunk_bound) {
      exhausted = true;
      return false;
    }
    // Go on with the next chunk the table knows. The last entry of a table
    // read from the file is where the table starts, not a chunk.
    const uint32_t next = current_chunk + 1;
    const bool next_known = next < tabled_chunks && (!table_from_file || next < number_chunks);
    // The end of the data reached from a chunk that the table says ends
    // before it is not a short file: the chunk was garbage that the decoder
    // read on and on. It is skipped like any other corrupt chunk.
    if (e == -1 && !(next_known && stream->position() > chunk_starts[next])) {
      set_error("end-of-file during chunk with index %u", current_chunk);
      // The decoder stopped inside a symbol; its state cannot go on.
      chunk_lost = true;
    } else {
      set_error("chunk with index %u of %u is corrupt", current_chunk, tabled_chunks);
      if (next_known && stream->seek_to(chunk_starts[next])) {
        chunk_count = chunk_size;
        resume_at = first_point_of(next);
      } else {
        // Nothing after this chunk can be found: fail rather than decode
        // whatever bytes follow.
        chunk_lost = true;
      }
    }
    return false;
  }
}

bool LASpointRecordReader::read_compressed(uint8_t* const* point_items) {
  // A layered chunk says how many points it holds; one that holds fewer than
  // the chunk size ends there.
  const bool chunk_done = chunk_count == chunk_size ||
                          (layered && in_use == InUse::kCompressed && chunk_count == chunk_points);
  if (chunk_done) {
    if (point_start != 0) {
      dec->finish();
      current_chunk++;
      // The chunk before must end where this one starts.
      if (current_chunk < tabled_chunks && chunk_starts[current_chunk] != stream->position()) {
        current_chunk--;
        throw 4711;
      }
    }
    if (!prepare_decoder() || !enter_chunk()) return false;
  }
  chunk_count++;
  uint32_t context = 0;
  if (in_use == InUse::kCompressed) {
    for (uint32_t i = 0; i < num_readers; i++) {
      readers_compressed[i]->read_item(point_items[i], context);
    }
    // A point whose bytes lie past the chunk's end was made up from what
    // follows the points.
    if (chunk_bound > 0 && stream->position() > chunk_bound) {
      exhausted = true;
      return false;
    }
    return true;
  }
  // The first point of a chunk is stored raw.
  for (uint32_t i = 0; i < num_readers; i++) readers_raw[i]->read_item(point_items[i], context);
  context = 0;
  if (layered) {
    dec->start(stream, false);
    stream->read_u32_le(&chunk_points);
    if (chunk_points == 0) throw 4711;
    for (auto& r : readers_compressed) {
      if (!r->read_layer_sizes()) throw 4711;
    }
    for (uint32_t i = 0; i < num_readers; i++) {
      if (!readers_compressed[i]->start_chunk(point_items[i], context)) throw 4711;
    }
  } else {
    for (uint32_t i = 0; i < num_readers; i++) {
      if (!readers_compressed[i]->start_chunk(point_items[i], context)) throw 4711;
    }
    dec->start(stream, true);
  }
  in_use = InUse::kCompressed;
  return true;
}

bool LASpointRecordReader::enter_chunk() {
  if (at_table()) {
    exhausted = true;
    return false;
  }
  if (current_chunk == tabled_chunks) {
    // A chunk the table does not know (a table built while reading).
    chunk_starts.resize(tabled_chunks);
    chunk_starts.push_back(point_start);
    tabled_chunks++;
  } else if (adaptive) {
    if (current_chunk + 1 >= tabled_chunks) throw 4711;  // more points than the table holds
    const uint64_t count = chunk_totals[current_chunk + 1] - chunk_totals[current_chunk];
    chunk_size = static_cast<uint32_t>(count);
  }
  // An empty chunk cannot exist; trusting one would never end the chunk.
  if (chunk_size == 0) throw 4711;
  chunk_count = 0;
  // Only the last chunk of fixed-size chunking holds an unknown number of
  // points: its data must not run past the table.
  const uint32_t next = current_chunk + 1;
  const bool next_is_chunk = next < tabled_chunks && (!table_from_file || next < number_chunks);
  chunk_bound = 0;
  if (!layered && !adaptive && !next_is_chunk) {
    chunk_bound = next < tabled_chunks ? chunk_starts[next] : table_position;
  }
  return true;
}

bool LASpointRecordReader::at_table() {
  if (table_from_file && current_chunk >= number_chunks) return true;
  return table_position > 0 && stream->position() >= table_position;
}

int64_t LASpointRecordReader::first_point_of(uint32_t chunk) const {
  if (adaptive) return chunk < chunk_totals.size() ? static_cast<int64_t>(chunk_totals[chunk]) : -1;
  return static_cast<int64_t>(chunk) * chunk_size;
}

bool LASpointRecordReader::prepare_decoder() {
  if (number_chunks == kTableUnread) {
    if (!read_chunk_table()) {
      unreadable = true;
      if (error_text.empty()) set_error("chunk table could not be read");
      return false;
    }
    current_chunk = 0;
    if (adaptive) {
      if (tabled_chunks < 2) {
        unreadable = true;
        set_error("adaptive chunk table lists no chunk");
        return false;
      }
      chunk_size = static_cast<uint32_t>(chunk_totals[1] - chunk_totals[0]);
    }
  }
  point_start = stream->position();
  in_use = InUse::kNone;
  return true;
}

bool LASpointRecordReader::read_chunk_table() {
  int64_t pointer;
  try {
    stream->read_u64_le(&pointer);
  } catch (int) {
    return false;
  }
  const int64_t first_chunk_start = stream->position();

  if (pointer == first_chunk_start - 8) {
    // The writer stopped before it wrote its table.
    if (adaptive) {
      set_error("compressor was interrupted before writing adaptive chunk table of VPK file");
      return false;
    }
    number_chunks = 256;
    chunk_starts.assign(1, first_chunk_start);
    tabled_chunks = 1;
    warning_text = "compressor was interrupted before writing chunk table of VPK file";
    return true;
  }
  if (!stream->can_seek()) {
    if (adaptive) {
      set_error("adaptive chunk table cannot be read from a stream that cannot seek");
      return false;
    }
    // The table is built while reading; it starts where the pointer says.
    number_chunks = tabled_chunks = 0;
    chunk_starts.clear();
    if (pointer > first_chunk_start) table_position = pointer;
    return true;
  }
  if (pointer == -1) {
    // A writer that could not seek back left the position in the last 8 bytes.
    if (!stream->seek_to_end(8)) return false;
    try {
      stream->read_u64_le(&pointer);
    } catch (int) {
      return false;
    }
  }

  uint32_t entries_read = 0;
  bool summed = false;
  try {
    if (pointer < first_chunk_start || !stream->seek_to(pointer) || stream->position() != pointer) {
      throw 4711;
    }
    uint32_t version;
    stream->read_u32_le(&version);
    if (version != 0) throw 4711;
    stream->read_u32_le(&number_chunks);
    table_from_file = true;
    // Every chunk holds at least its raw first point and 4 bytes more (the
    // coder's tail or the point count), all before the table: a count beyond
    // that is corrupt and must not size the arrays.
    const uint64_t room = static_cast<uint64_t>(pointer - first_chunk_start);
    if (number_chunks > room / (uint64_t{point_size} + 4)) throw 4711;
    if (adaptive) chunk_totals.assign(uint64_t{number_chunks} + 1, 0);
    chunk_starts.assign(uint64_t{number_chunks} + 1, 0);
    chunk_starts[0] = first_chunk_start;
    tabled_chunks = 1;
    if (number_chunks > 0) {
      dec->start(stream, true);
      ResidualCoder coder(dec.get(), 32, 2, 8, 0);
      coder.prepare_decode();
      // Each count is predicted by the one before; the first by 0 (not by
      // chunk_starts[0], which holds a position).
      for (uint32_t i = 1; i <= number_chunks; i++) {
        if (adaptive) {
          chunk_totals[i] = static_cast<uint32_t>(
              coder.decode(i > 1 ? static_cast<int32_t>(chunk_totals[i - 1]) : 0, 0));
        }
        chunk_starts[i] = coder.decode(i > 1 ? static_cast<int32_t>(chunk_starts[i - 1]) : 0, 1);
        tabled_chunks++;
        entries_read++;
      }
      dec->finish();
      sum_chunk_table(entries_read);
      summed = true;
      if (tabled_chunks != number_chunks + 1) throw 4711;
    }
    table_position = pointer;
    if (!stream->seek_to(first_chunk_start)) throw 4711;
    return true;
  } catch (int) {
    dec->finish();
    if (adaptive) {
      chunk_totals.clear();
      if (error_text.empty()) set_error("corrupt adaptive chunk table");
      return false;
    }
    chunk_table_failed(pointer, first_chunk_start, summed ? 0 : entries_read);
    return true;
  }
}

void LASpointRecordReader::sum_chunk_table(uint32_t entries_read) {
  tabled_chunks = 1;
  for (uint32_t i = 1; i <= entries_read; i++) {
    if (adaptive) chunk_totals[i] += chunk_totals[i - 1];
    chunk_starts[i] += chunk_starts[i - 1];
    // A chunk cannot end before it starts: keep what came before.
    if (chunk_starts[i] <= chunk_starts[i - 1]) return;
    tabled_chunks = i + 1;
  }
}

// entries_read: byte counts decoded but not yet summed (0 when none are, or
// when they have been summed already).
void LASpointRecordReader::chunk_table_failed(int64_t pointer, int64_t first_chunk_start,
                                              uint32_t entries_read) {
  chunk_totals.clear();
  if (entries_read > 0) {
    // Decoding stopped part-way: the entries so far are still byte counts.
    sum_chunk_table(entries_read);
  } else if (tabled_chunks <= 1) {
    // Only the first chunk is known; the rest are found while reading.
    table_from_file = false;
    number_chunks = 256;
    chunk_starts.assign(1, first_chunk_start);
    tabled_chunks = 1;
  }
  chunk_starts.resize(tabled_chunks);
  stream->seek_to_end(0);
  const int64_t file_size = stream->position();
  char text[256];
  if (pointer < file_size) {
    snprintf(text, sizeof(text), "corrupt chunk table");
  } else if (pointer > file_size) {
    snprintf(text, sizeof(text),
             "chunk table and %" PRId64
             " bytes are missing. VPK file truncated during copy or "
             "transfer?",
             pointer - file_size);
  } else {
    snprintf(text, sizeof(text), "chunk table is missing. improper use of VPK compressor?");
  }
  warning_text = text;
  stream->seek_to(first_chunk_start);
}

void LASpointRecordReader::move_to_chunk(uint32_t chunk) {
  dec->finish();
  exhausted = false;
  current_chunk = chunk;
  // Lost until the chunk's start is reached: a failed move must not leave
  // the readers of the chunk before in use on a finished decoder.
  chunk_lost = true;
  if (!stream->seek_to(chunk_starts[chunk])) throw -1;
  prepare_decoder();
  enter_chunk();
  chunk_lost = false;
  position_lost = false;
}

bool LASpointRecordReader::check_end() {
  if (in_use == InUse::kCompressed) {
    dec->finish();
    current_chunk++;
    if (current_chunk < tabled_chunks && chunk_starts[current_chunk] != stream->position()) {
      set_error("chunk with index %u of %u is corrupt", current_chunk, tabled_chunks);
      return false;
    }
  }
  return true;
}

bool LASpointRecordReader::seek(int64_t current, int64_t target) {
  if (stream == nullptr || !stream->can_seek() || target < 0) return false;
  if (!dec) {
    if (current != target) {
      // A point count from a damaged header can put the target beyond any
      // file position.
      if (point_size != 0 && target > (INT64_MAX - point_start) / point_size) return false;
      const int64_t at = point_start + target * static_cast<int64_t>(point_size);
      block_stream.init(nullptr, 0);
      if (!stream->seek_to(at)) {
        raw_left = -1;  // where the stream stands is unknown
        return false;
      }
      raw_left = raw_end >= 0 ? std::max<int64_t>(0, raw_end - at) : -1;
    }
    return true;
  }
  if (unreadable || missing_coder) return false;
  // After a failed read or seek, `current` is not where the stream stands.
  const bool lost = chunk_lost || position_lost;
  uint64_t delta = 0;
  try {
    if (point_start == 0) {
      if (!prepare_decoder() || !enter_chunk()) return false;
    }
    const uint64_t to = static_cast<uint64_t>(target);
    if (tabled_chunks > 0) {
      uint32_t target_chunk;
      if (adaptive) {
        // The chunk whose first point index is the last one not above target.
        if (tabled_chunks < 2 || to >= chunk_totals[tabled_chunks - 1]) return false;
        uint32_t lo = 0;
        uint32_t hi = tabled_chunks - 1;
        while (hi - lo > 1) {
          const uint32_t mid = lo + (hi - lo) / 2;
          if (chunk_totals[mid] <= to) {
            lo = mid;
          } else {
            hi = mid;
          }
        }
        target_chunk = lo;
        chunk_size = static_cast<uint32_t>(chunk_totals[lo + 1] - chunk_totals[lo]);
        delta = to - chunk_totals[lo];
      } else {
        target_chunk = static_cast<uint32_t>(to / chunk_size);
        delta = to % chunk_size;
      }
      if (target_chunk >= tabled_chunks) {
        if (current_chunk < tabled_chunks - 1 || lost) move_to_chunk(tabled_chunks - 1);
        delta += uint64_t{chunk_size} * (target_chunk - current_chunk) - chunk_count;
      } else if (current_chunk != target_chunk || current > target || lost) {
        move_to_chunk(target_chunk);
      } else {
        delta = static_cast<uint64_t>(target - current);
      }
    } else if (current > target || lost) {
      dec->finish();
      chunk_lost = true;
      if (!stream->seek_to(point_start)) return false;
      in_use = InUse::kNone;
      chunk_count = 0;
      chunk_lost = false;
      position_lost = false;
      delta = to;
    } else {
      delta = static_cast<uint64_t>(target - current);
    }
  } catch (int) {
    set_error("cannot seek to point %" PRId64, target);
    position_lost = true;
    return false;
  }
  for (; delta > 0; delta--) {
    if (!read(seek_point.point_items.data())) {
      position_lost = true;
      return false;
    }
  }
  return true;
}
