#ifndef TESTS_COMPRESS_ITEM_CHUNK_DRIVER_HPP
#define TESTS_COMPRESS_ITEM_CHUNK_DRIVER_HPP

// Drives the legacy item coders chunk by chunk the way the point-record reader
// and writer do, without a chunk table: per chunk the first record raw, then
// one interval coder stream for the rest. Records are the items' bytes one
// after the other.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coders_legacy.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "las_fixture.hpp"

struct ChunkedPoints {
  std::vector<uint8_t> bytes;
  std::vector<size_t> chunk_starts;
};

inline uint32_t record_size(const std::vector<LASitem>& items) {
  uint32_t size = 0;
  for (const LASitem& item : items) size += item.size;
  return size;
}

inline ChunkedPoints compress_records(const std::vector<LASitem>& items,
                                      const std::vector<uint8_t>& records, uint32_t chunk_size) {
  const uint32_t size = record_size(items);
  const size_t count = records.size() / size;
  ByteStreamOutArrayLE out;
  IntervalEncoder enc;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers;
  for (const LASitem& item : items)
    writers.push_back(make_write_item_compressed_legacy(item, &enc));
  ChunkedPoints result;
  for (size_t i = 0; i < count; i++) {
    const uint8_t* record = records.data() + i * size;
    uint32_t context = 0;
    if (i % chunk_size == 0) {
      if (i) enc.finish();
      result.chunk_starts.push_back(static_cast<size_t>(out.position()));
      out.write_bytes(record, size);
      uint32_t at = 0;
      for (size_t w = 0; w < items.size(); w++) {
        writers[w]->start_chunk(record + at, context);
        at += items[w].size;
      }
      enc.start(&out);
    } else {
      uint32_t at = 0;
      for (size_t w = 0; w < items.size(); w++) {
        writers[w]->write_item(record + at, context);
        at += items[w].size;
      }
    }
  }
  if (count) enc.finish();
  result.bytes.assign(out.get_data(), out.get_data() + out.get_size());
  return result;
}

// Decodes `count` records starting with chunk `first_chunk`, with coders
// that have seen no earlier chunk.
inline std::vector<uint8_t> decompress_records(const std::vector<LASitem>& items,
                                               const ChunkedPoints& stream, size_t count,
                                               uint32_t chunk_size, size_t first_chunk = 0) {
  const uint32_t size = record_size(items);
  ByteStreamInArrayLE in(stream.bytes.data(), static_cast<int64_t>(stream.bytes.size()));
  IntervalDecoder dec;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers;
  for (const LASitem& item : items) readers.push_back(make_read_item_compressed_legacy(item, &dec));
  std::vector<uint8_t> records(count * size);
  size_t chunk = first_chunk;
  for (size_t i = 0; i < count; i++) {
    uint8_t* record = records.data() + i * size;
    uint32_t context = 0;
    if (i % chunk_size == 0) {
      in.seek_to(static_cast<int64_t>(stream.chunk_starts[chunk++]));
      in.read_bytes(record, size);
      uint32_t at = 0;
      for (size_t r = 0; r < items.size(); r++) {
        readers[r]->start_chunk(record + at, context);
        at += items[r].size;
      }
      dec.start(&in);
    } else {
      uint32_t at = 0;
      for (size_t r = 0; r < items.size(); r++) {
        readers[r]->read_item(record + at, context);
        at += items[r].size;
      }
    }
  }
  return records;
}

// The item list of a legacy point format with `extra` bytes, every coded item
// at `version` (WAVEPACKET13 always at 1).
inline std::vector<LASitem> legacy_items(uint8_t format, uint16_t extra, uint16_t version) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> items;
  setup.setup_from_point_type(format, fixture_standard_record_length(format) + extra, &n, &items);
  for (LASitem& item : items) item.version = item.type == LASitem::WAVEPACKET13 ? 1 : version;
  return items;
}

inline std::vector<uint8_t> encode_fixture_points(const std::vector<FixturePoint>& points,
                                                  uint8_t format, uint16_t extra) {
  const uint16_t length = fixture_standard_record_length(format) + extra;
  std::vector<uint8_t> records(points.size() * length);
  for (size_t i = 0; i < points.size(); i++) {
    fixture_encode_point(points[i], format, length, records.data() + i * length);
  }
  return records;
}

// Reads the symbols of the first chunk by hand: a decoder started right after
// the chunk's raw first record, for tests that check what the writer coded.
struct FirstChunkDecoder {
  FirstChunkDecoder(const ChunkedPoints& stream, uint32_t record_size)
      : in(stream.bytes.data(), static_cast<int64_t>(stream.bytes.size())) {
    in.seek_to(static_cast<int64_t>(stream.chunk_starts[0] + record_size));
    dec.start(&in);
  }
  // A fresh model as every chunk starts with.
  std::unique_ptr<SymbolModel> model(uint32_t symbols) {
    std::unique_ptr<SymbolModel> m = dec.new_symbol_model(symbols);
    m->reset();
    return m;
  }
  uint32_t symbol(uint32_t symbols) { return dec.get_symbol(model(symbols).get()); }
  ByteStreamInArrayLE in;
  IntervalDecoder dec;
};

// Records of one item each, from item bytes given per point.
inline std::vector<uint8_t> join_records(const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> records;
  for (const auto& item : items) records.insert(records.end(), item.begin(), item.end());
  return records;
}

template <typename T>
std::vector<uint8_t> bytes_of(const T& value) {
  std::vector<uint8_t> b(sizeof(T));
  std::memcpy(b.data(), &value, sizeof(T));
  return b;
}

#endif
