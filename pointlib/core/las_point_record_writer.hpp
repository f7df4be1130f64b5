#ifndef POINTLIB_CORE_LAS_POINT_RECORD_WRITER_HPP
#define POINTLIB_CORE_LAS_POINT_RECORD_WRITER_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "compress/interval_encoder.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_write_item.hpp"

class LASitemCoderFactory;

// Writes point records item by item from a point's item pointers: raw, or
// compressed in chunks (each chunk starts with its first point stored raw)
// followed by the chunk table. Chunks close after chunk_size points, or on
// request (chunk()) with adaptive chunking.
//
// Layout of compressed point data: an i64 pointer to the chunk table (-1 when
// the stream cannot seek back, and then the table's position is the last 8
// bytes), the chunks, and the table: version 0 (u32), the number of chunks
// (u32) and, when there are chunks, one interval-coded block of every chunk's
// point count (adaptive only) and byte count.
class LASpointRecordWriter {
 public:
  static constexpr uint32_t kAdaptive = 0xFFFFFFFFu;
  static constexpr uint32_t kPointerUnwritten = 0xFFFFFFFFu;

  // factory: where the compressed item writers come from (null: the standard one).
  explicit LASpointRecordWriter(const LASitemCoderFactory* factory = nullptr);
  LASpointRecordWriter(const LASpointRecordWriter&) = delete;
  LASpointRecordWriter& operator=(const LASpointRecordWriter&) = delete;
  ~LASpointRecordWriter();

  // With a set-up record, items must be the record's own list.
  bool setup(uint16_t num_items, const LASitem* items, const LAScompressorSetup* setup = nullptr);
  // Writes the chunk table pointer the first time (chunked compressors).
  bool init(ByteStreamOut* stream);
  bool write(const uint8_t* const* point_items);
  // Ends the current chunk (adaptive chunking only). Nothing happens when the
  // chunk holds no point yet.
  bool chunk();
  // Closes the last chunk and writes the chunk table.
  bool done();

  uint32_t get_number_chunks() const { return number_chunks; }

 private:
  enum class InUse { kNone, kRaw, kCompressed };

  bool close_chunk();
  bool add_chunk_to_table();
  bool write_chunk_table();

  const LASitemCoderFactory* factory;
  ByteStreamOut* stream = nullptr;
  uint32_t num_writers = 0;
  InUse in_use = InUse::kNone;
  std::vector<std::unique_ptr<LASwriteItemRaw>> writers_raw;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers_compressed;
  std::unique_ptr<IntervalEncoder> enc;
  bool layered = false;
  bool adaptive = false;
  uint32_t chunk_size = kAdaptive;
  uint32_t chunk_count = 0;
  uint32_t number_chunks = 0;
  std::vector<uint32_t> chunk_sizes;  // adaptive only
  std::vector<uint32_t> chunk_bytes;
  int64_t chunk_start_position = 0;  // 0: not chunking
  int64_t chunk_table_start_position = 0;
  // A compressed item of the format whose coder this build lacks.
  bool missing_coder = false;
};

#endif
