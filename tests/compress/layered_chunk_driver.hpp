#ifndef TESTS_COMPRESS_LAYERED_CHUNK_DRIVER_HPP
#define TESTS_COMPRESS_LAYERED_CHUNK_DRIVER_HPP

// Drives the layered item coders chunk by chunk the way the point-record
// reader and writer frame a multistream chunk: the first point raw, the
// chunk's point count, every item's layer counts, every item's layer bytes.
// No chunk table: the chunk starts are remembered instead.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coders_layered.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"
#include "las_fixture.hpp"

// A point as the coders see it: the raw block and the extra bytes.
struct LayeredPoint {
  LASpointData data;
  std::vector<uint8_t> extra;
};

struct LayeredStream {
  std::vector<uint8_t> bytes;
  std::vector<size_t> chunk_starts;
};

inline uint8_t* layered_item_pointer(LayeredPoint& p, const LASitem& item) {
  switch (item.type) {
    case LASitem::POINT14:
      return reinterpret_cast<uint8_t*>(&p.data);
    case LASitem::RGB14:
    case LASitem::RGBNIR14:
      return reinterpret_cast<uint8_t*>(p.data.rgb);
    case LASitem::WAVEPACKET14:
      return p.data.wavepacket.data;
    default:
      return p.extra.data();
  }
}

// Format 6 to 10 items with `extra` bytes, every item at `version`.
inline std::vector<LASitem> layered_items(uint8_t format, uint16_t extra, uint16_t version) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> items;
  setup.setup_from_point_type(format, fixture_standard_record_length(format) + extra, &n, &items);
  for (LASitem& item : items) item.version = version;
  return items;
}

inline uint32_t layered_record_size(const std::vector<LASitem>& items) {
  uint32_t size = 0;
  for (const LASitem& item : items) size += item.size;
  return size;
}

inline LayeredPoint empty_layered_point(const std::vector<LASitem>& items) {
  LayeredPoint p;
  p.data.extended_flags_byte = 1;  // an extended point
  for (const LASitem& item : items)
    if (item.type == LASitem::BYTE14) p.extra.assign(item.size, 0);
  return p;
}

// Reads one raw record into a point (the raw item readers' work).
inline void read_raw_record(const std::vector<LASitem>& items, const uint8_t* record,
                            LayeredPoint& p) {
  uint32_t at = 0;
  for (const LASitem& item : items) {
    if (item.type == LASitem::POINT14) {
      LASreadItemRaw_POINT14_LE::record_to_point(record + at, layered_item_pointer(p, item));
    } else {
      std::memcpy(layered_item_pointer(p, item), record + at, item.size);
    }
    at += item.size;
  }
}

inline void write_raw_record(const std::vector<LASitem>& items, LayeredPoint& p, uint8_t* record) {
  uint32_t at = 0;
  for (const LASitem& item : items) {
    if (item.type == LASitem::POINT14) {
      LASwriteItemRaw_POINT14_LE::point_to_record(layered_item_pointer(p, item), record + at);
    } else {
      std::memcpy(record + at, layered_item_pointer(p, item), item.size);
    }
    at += item.size;
  }
}

// Points as a LAS reader brings them from fixture points.
inline std::vector<LayeredPoint> layered_points(const std::vector<FixturePoint>& fixture,
                                                uint8_t format, uint16_t extra) {
  const std::vector<LASitem> items = layered_items(format, extra, 3);
  const uint16_t length = fixture_standard_record_length(format) + extra;
  std::vector<uint8_t> record(length);
  std::vector<LayeredPoint> points;
  for (const FixturePoint& f : fixture) {
    fixture_encode_point(f, format, length, record.data());
    LayeredPoint p = empty_layered_point(items);
    read_raw_record(items, record.data(), p);
    points.push_back(p);
  }
  return points;
}

inline LayeredStream compress_layered(const std::vector<LASitem>& items,
                                      std::vector<LayeredPoint> points, uint32_t chunk_size) {
  ByteStreamOutArrayLE out;
  IntervalEncoder enc;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers;
  for (const LASitem& item : items)
    writers.push_back(make_write_item_compressed_layered(item, &enc));
  std::vector<uint8_t> record(layered_record_size(items));
  LayeredStream result;
  uint32_t in_chunk = 0;
  auto close_chunk = [&]() {
    out.write_u32_le(&in_chunk);
    for (auto& w : writers) w->write_layer_sizes();
    for (auto& w : writers) w->write_layer_bytes();
  };
  for (size_t i = 0; i < points.size(); i++) {
    uint32_t context = 0;
    if (i % chunk_size == 0) {
      if (i) close_chunk();
      result.chunk_starts.push_back(static_cast<size_t>(out.position()));
      write_raw_record(items, points[i], record.data());
      out.write_bytes(record.data(), static_cast<uint32_t>(record.size()));
      for (size_t w = 0; w < items.size(); w++) {
        writers[w]->start_chunk(layered_item_pointer(points[i], items[w]), context);
      }
      enc.start(&out);
      in_chunk = 1;
    } else {
      for (size_t w = 0; w < items.size(); w++) {
        writers[w]->write_item(layered_item_pointer(points[i], items[w]), context);
      }
      in_chunk++;
    }
  }
  if (!points.empty()) close_chunk();
  result.bytes.assign(out.get_data(), out.get_data() + out.position());
  return result;
}

// Decodes `count` points into one point that every read overwrites, as a
// reader does, and returns a copy after each read. Throws what the coders throw;
// a chunk that cannot start throws 4711.
inline std::vector<LayeredPoint> decompress_layered(const std::vector<LASitem>& items,
                                                    const LayeredStream& stream, size_t count,
                                                    uint32_t chunk_size, uint32_t mask,
                                                    size_t first_chunk = 0) {
  ByteStreamInArrayLE in(stream.bytes.data(), static_cast<int64_t>(stream.bytes.size()));
  IntervalDecoder dec;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers;
  for (const LASitem& item : items)
    readers.push_back(make_read_item_compressed_layered(item, &dec, mask));
  std::vector<uint8_t> record(layered_record_size(items));
  LayeredPoint p = empty_layered_point(items);
  std::vector<LayeredPoint> points;
  size_t chunk = first_chunk;
  for (size_t i = 0; i < count; i++) {
    uint32_t context = 0;
    if (i % chunk_size == 0) {
      in.seek_to(static_cast<int64_t>(stream.chunk_starts[chunk++]));
      in.read_bytes(record.data(), static_cast<uint32_t>(record.size()));
      read_raw_record(items, record.data(), p);
      dec.start(&in, false);
      uint32_t in_chunk = 0;
      in.read_u32_le(&in_chunk);
      for (auto& r : readers) r->read_layer_sizes();
      for (size_t r = 0; r < items.size(); r++) {
        if (!readers[r]->start_chunk(layered_item_pointer(p, items[r]), context)) throw 4711;
      }
    } else {
      for (size_t r = 0; r < items.size(); r++) {
        readers[r]->read_item(layered_item_pointer(p, items[r]), context);
      }
    }
    points.push_back(p);
  }
  return points;
}

// The layer counts of a chunk, item after item, from the stream.
inline std::vector<uint32_t> chunk_layer_counts(const std::vector<LASitem>& items,
                                                const LayeredStream& stream, size_t chunk,
                                                uint32_t number_of_counts) {
  ByteStreamInArrayLE in(stream.bytes.data(), static_cast<int64_t>(stream.bytes.size()));
  in.seek_to(static_cast<int64_t>(stream.chunk_starts[chunk] + layered_record_size(items) + 4));
  std::vector<uint32_t> counts(number_of_counts);
  for (uint32_t& c : counts) in.read_u32_le(&c);
  return counts;
}

inline bool has_rgb(uint8_t format) {
  return format == 7 || format == 8 || format == 10;
}
inline bool has_nir(uint8_t format) {
  return format == 8 || format == 10;
}
inline bool has_wave(uint8_t format) {
  return format == 9 || format == 10;
}

inline uint64_t gps_bits(const LASpointData& p) {
  uint64_t b;
  std::memcpy(&b, &p.gps_time, 8);
  return b;
}

// The first field where two points differ, or "".
inline std::string first_difference(const LayeredPoint& a, const LayeredPoint& b, uint8_t format) {
  const LASpointData& p = a.data;
  const LASpointData& q = b.data;
#define PL_SAME(field) \
  if (p.field != q.field) return #field;
  PL_SAME(X)
  PL_SAME(Y)
  PL_SAME(Z) PL_SAME(intensity) PL_SAME(return_byte) PL_SAME(class_byte) PL_SAME(scan_angle_rank)
      PL_SAME(user_data) PL_SAME(point_source_ID) PL_SAME(extended_scan_angle)
          PL_SAME(extended_flags_byte) PL_SAME(extended_classification)
              PL_SAME(extended_return_byte)
#undef PL_SAME
                  if (gps_bits(p) != gps_bits(q)) return "gps_time";
  if (has_rgb(format) && std::memcmp(p.rgb, q.rgb, 6) != 0) return "rgb";
  if (has_nir(format) && p.rgb[3] != q.rgb[3]) return "nir";
  if (has_wave(format) && std::memcmp(p.wavepacket.data, q.wavepacket.data, 29) != 0) {
    return "wavepacket";
  }
  if (a.extra != b.extra) return "extra_bytes";
  return "";
}

inline void expect_same(const std::vector<LayeredPoint>& got, const std::vector<LayeredPoint>& want,
                        uint8_t format) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) {
    const std::string diff = first_difference(got[i], want[i], format);
    ASSERT_EQ(diff, "") << "point " << i;
  }
}

#endif
