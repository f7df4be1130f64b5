#ifndef POINTLIB_CORE_LAS_POINT_RECORD_READER_HPP
#define POINTLIB_CORE_LAS_POINT_RECORD_READER_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_read_item.hpp"

class LASitemCoderFactory;

// Reads the point records of a LAS or VPK file item by item into a point's
// item pointers: raw records through raw item readers, compressed ones chunk
// by chunk through the compressed item readers over one interval decoder,
// with the chunk table that lists where every chunk starts.
//
// Failures of a read are caught per chunk and reported through error();
// a corrupt chunk is skipped to the next tabled one so reading can go on.
// Problems with the chunk table that leave it usable are warnings.
class LASpointRecordReader {
 public:
  static constexpr uint32_t kAdaptive = 0xFFFFFFFFu;
  static constexpr uint32_t kTableUnread = 0xFFFFFFFFu;

  // layer_request_mask: which layers the layered coders decode. factory:
  // where the compressed item readers come from (null: the standard one).
  explicit LASpointRecordReader(uint32_t layer_request_mask = 0xFFFFFFFFu,
                                const LASitemCoderFactory* factory = nullptr);
  LASpointRecordReader(const LASpointRecordReader&) = delete;
  LASpointRecordReader& operator=(const LASpointRecordReader&) = delete;
  ~LASpointRecordReader();

  // With a set-up record, items must be the record's own list.
  bool setup(uint16_t num_items, const LASitem* items, const LAScompressorSetup* setup = nullptr);
  bool init(ByteStreamIn* stream);
  // Reads the next record into point_items (one pointer per item).
  bool read(uint8_t* const* point_items);
  // After the last point: whether the data ended where the table says.
  bool check_end();
  // Moves from record index current to target.
  bool seek(int64_t current, int64_t target);
  void done() { stream = nullptr; }

  // After a failed read: the index of the point that the next read delivers
  // (the first of the chunk after a corrupt one), or -1 when reading cannot
  // go on.
  int64_t resume_index() const { return resume_at; }
  // Forgets the texts once they were reported.
  void clear_messages() {
    error_text.clear();
    warning_text.clear();
  }

  // The last error and warning texts, or null when there are none.
  const char* error() const { return error_text.empty() ? nullptr : error_text.c_str(); }
  const char* warning() const { return warning_text.empty() ? nullptr : warning_text.c_str(); }
  const char* last_error() const { return error(); }
  const char* last_warning() const { return warning(); }

  // For inspection (tests, tools): the chunk positions known so far.
  uint32_t get_tabled_chunks() const { return tabled_chunks; }
  uint32_t get_number_chunks() const { return number_chunks; }
  uint32_t get_current_chunk() const { return current_chunk; }
  uint32_t get_chunk_size() const { return chunk_size; }
  int64_t get_chunk_start(uint32_t i) const { return chunk_starts[i]; }

 private:
  enum class InUse { kNone, kRaw, kCompressed };

  // Raw records: where the stream can tell how many bytes it holds, they come from it a block
  // of whole records at a time and the raw item readers take them from the block; otherwise
  // (a pipe, the last part of a record) the readers take them from the stream itself.
  bool read_raw(uint8_t* const* point_items);
  void fill_block();
  void raw_readers_on(ByteStreamIn* source);
  bool prepare_decoder();
  bool read_chunk_table();
  void chunk_table_failed(int64_t pointer, int64_t first_chunk_start, uint32_t entries_read);
  void sum_chunk_table(uint32_t entries_read);
  bool read_compressed(uint8_t* const* point_items);
  // Bookkeeping at the start of the current chunk, the stream standing at
  // it; false (exhausted) when no chunk starts there.
  bool enter_chunk();
  // True when the chunk that starts at the stream's position is the chunk
  // table (or lies beyond it); the reading then ends.
  bool at_table();
  // The first point index of chunk `chunk`.
  int64_t first_point_of(uint32_t chunk) const;
  void move_to_chunk(uint32_t chunk);
  void set_error(const char* format, ...);

  const LASitemCoderFactory* factory;
  ByteStreamIn* stream = nullptr;
  uint32_t num_readers = 0;
  InUse in_use = InUse::kNone;
  std::vector<std::unique_ptr<LASreadItemRaw>> readers_raw;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers_compressed;
  std::unique_ptr<IntervalDecoder> dec;
  bool layered = false;
  bool adaptive = false;  // chunk sizes come from the table
  uint32_t chunk_size = kAdaptive;
  uint32_t chunk_count = 0;
  uint32_t current_chunk = 0;
  uint32_t number_chunks = 0;
  uint32_t tabled_chunks = 0;
  std::vector<int64_t> chunk_starts;
  // First point index of every chunk; adaptive chunking only.
  std::vector<uint64_t> chunk_totals;
  uint32_t layer_request_mask;
  int64_t point_start = 0;
  uint32_t point_size = 0;
  std::vector<uint8_t> block;
  ByteStreamInArrayLE block_stream;
  ByteStreamIn* raw_source = nullptr;
  // The stream's end, and its bytes after the block; -1 when it cannot tell.
  int64_t raw_end = -1;
  int64_t raw_left = -1;
  // Target of the reads made while seeking, laid out like the real point.
  LASpoint seek_point;
  // Set when the chunk positions of an adaptively chunked file are unknown:
  // every later read fails.
  bool unreadable = false;
  // A compressed item of the format whose coder this build lacks.
  bool missing_coder = false;
  // A corrupt chunk with no known chunk after it, or a chunk whose data ended
  // inside a symbol: reads fail until a seek, which starts its chunk afresh.
  bool chunk_lost = false;
  // A read or seek failed: the stream no longer stands where the caller's
  // point index says, so the next seek starts its chunk afresh.
  bool position_lost = false;
  // The chunk starts came from the file's table, whose last entry is the
  // table's own position.
  bool table_from_file = false;
  // Where the chunk table starts (0 when unknown): no chunk begins there or
  // after it, so a header that counts more points than the chunks hold ends
  // the reading there instead of decoding the table and what follows it.
  int64_t table_position = 0;
  // Where the current chunk must end, when the points it holds are not known
  // from its size (the last chunk of fixed-size chunking); 0 otherwise.
  int64_t chunk_bound = 0;
  // The points of the current chunk, as a layered chunk stores them.
  uint32_t chunk_points = 0;
  // Set when the points end before the header's count: reads fail quietly.
  bool exhausted = false;
  int64_t resume_at = -1;
  std::string error_text;
  std::string warning_text;
};

#endif
