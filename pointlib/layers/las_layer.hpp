#ifndef POINTLIB_LAYERS_LAS_LAYER_HPP
#define POINTLIB_LAYERS_LAS_LAYER_HPP

// One edit layer of a LAY file: one kind of change to a point stream (a
// replaced field, a coordinate difference, added colour, deleted or appended
// points, a filter or transform rule, a header change, an added VLR). A layer
// is either recorded (constructed, init_write, record_point for every written
// point, finish_write) or loaded (load, init_read, update_point_layout,
// apply_to_point for every read point), never both.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "filter/las_ignore.hpp"

// Kind families (`type`).
enum : uint32_t {
  LAYER_REPLACE = 1,
  LAYER_DIFFERENCE = 2,
  LAYER_ADD = 4,
  LAYER_HEADER = 8,
  LAYER_DELETE = 16,
  LAYER_APPEND = 32,
  LAYER_FILTER = 64,
  LAYER_TRANSFORM = 128,
  LAYER_ADD_VLR = 256
};

// Point fields concerned (`fields`).
enum : uint32_t {
  LAYER_FIELDS_ALL = 0,
  LAYER_FIELDS_XY = 3,
  LAYER_FIELDS_Z = 4,
  LAYER_FIELDS_XYZ = 7,
  LAYER_FIELDS_INTENSITY = 8,
  LAYER_FIELDS_CLASSIFICATION = 256,
  LAYER_FIELDS_WITHHELD = 512,
  LAYER_FIELDS_SYNTHETIC = 1024,
  LAYER_FIELDS_KEYPOINT = 2048,
  LAYER_FIELDS_OVERLAP = 4096,
  LAYER_FIELDS_USER_DATA = 0x4000,
  LAYER_FIELDS_RGB = 0x20000,
  LAYER_FIELDS_LAS14 = 0x1000000,
  LAYER_FIELDS_NIR = 0x2000000
};

// `compression`.
enum : uint32_t { LAYER_RAW = 1, LAYER_POINTWISE = 2 };

// Header fields a record carries (`modification_mask`), the ones kinds preset.
enum : uint32_t {
  MODIFY_SYSTEM_IDENTIFIER = 0x10,
  MODIFY_GENERATING_SOFTWARE = 0x20,
  MODIFY_NUMBER_OF_POINT_RECORDS = 0x1000,
  MODIFY_NUMBER_OF_POINTS_BY_RETURN = 0x2000,
  MODIFY_Z_OFFSET = 0x80000,
  MODIFY_BOUNDS_X = 0x100000,
  MODIFY_BOUNDS_Y = 0x200000,
  MODIFY_BOUNDS_Z = 0x400000,
  MODIFY_BOUNDS_XYZ = 0x700000,
  MODIFY_COUNTS_AND_BOUNDS = 0x703000,
  MODIFY_RETURN_COUNTS_AND_BOUNDS = 0x702000
};

// What the factory tells the kinds apart by, and the header fields a kind
// always carries.
struct LayerKindId {
  uint32_t type, fields, compression;
  uint32_t preset_mask = 0;
};

class LASlayer : public LASignore {
 public:
  // Bytes of record fields 1 to 10.
  static constexpr uint32_t kRecordHeaderSize = 44;

  int64_t start_position = 0;
  uint64_t size = 0;
  uint32_t fields = 0;
  uint32_t type = 0;
  uint32_t compression = 0;
  uint32_t modification_mask = 0;
  uint32_t description_size = 0;
  uint32_t header_size = kRecordHeaderSize;
  // Modifications are read into it and taken from it; not owned.
  LASheader* header;
  // NUL-terminated in memory; null when the size is 0.
  std::unique_ptr<char[]> description;
  bool writes_to_own_array = false;
  ByteStreamOut* out_stream = nullptr;
  ByteStreamIn* in_stream = nullptr;

  LASlayer(LASheader* header, uint32_t modification_mask = 0, const char* description = nullptr);
  virtual ~LASlayer();
  LASlayer(const LASlayer&) = delete;
  LASlayer& operator=(const LASlayer&) = delete;

  // Every record field and the ignore settings; the description deeply.
  void copy_from(const LASlayer& other);

  virtual bool print(FILE* out, bool description_only) const;
  virtual bool init_read(ByteStreamIn* in);
  // With a stream the record goes there at once and the data follows it;
  // without one the data collects in memory until finish_write.
  virtual bool init_write(ByteStreamOut* out);
  // The written point remembers its source (LASpoint::init_like); false refuses it.
  virtual bool record_point(const LASpoint* point);
  virtual bool is_deleted() const { return false; }
  virtual bool finish_read(ByteStreamIn* in);
  // Completes the record in `out`: size, and the modifications again with
  // the values adjust_header brought up to date.
  virtual bool finish_write(ByteStreamOut* out);
  virtual bool update_point_layout(LASheader* reading_header, LASpoint* point);
  // False when the layer has no point to give (append kind).
  virtual bool apply_to_point(LASpoint* point);
  virtual bool adjust_header() { return true; }
  virtual bool write_specialized_header(ByteStreamOut* out);
  virtual bool read_specialized_header(ByteStreamIn* in);

  // The factory, called on a plain layer made for the reading header: reads
  // one record from `in` and returns the layer of its kind, positioned at
  // its data, or null after a message. The layer takes over `own_file` and
  // `own_stream` (either may be null) and keeps them until finish_read or
  // its end.
  std::unique_ptr<LASlayer> load(ByteStreamIn* in, std::unique_ptr<ByteStreamIn> own_stream,
                                 FILE* own_file);
  bool read_record(ByteStreamIn* in);
  bool write_record(ByteStreamOut* out);
  // Byte counts of the header modifications and of the ignore class words.
  uint32_t modification_size() const;
  uint32_t ignore_size() const;

  // 0 single, 1 first of many, 2 last of many, 3 intermediate, from the
  // legacy return fields (also of extended points).
  static uint32_t return_context(const LASpoint* point) {
    return kReturnContext[point->get_number_of_returns()][point->get_return_number()];
  }

 protected:
  // The constructor of the kinds: the kind's id, and its preset fields added
  // to the modification mask.
  LASlayer(const LayerKindId& kind, LASheader* header, uint32_t modification_mask,
           const char* description);

  // A written point is judged by the point it was made like.
  static const LASpoint* source_of(const LASpoint* written) {
    return written->source ? written->source : written;
  }
  bool ignores_source(const LASpoint* written) const { return ignores(source_of(written)); }

 private:
  static const uint8_t kReturnContext[8][8];
  bool write_modifications(ByteStreamOut* out) const;
  bool write_ignores(ByteStreamOut* out) const;
  bool read_modifications(ByteStreamIn* in);
  bool read_ignores(ByteStreamIn* in);
  void release_own_input();

  std::unique_ptr<ByteStreamOutArrayLE> own_array;
  std::unique_ptr<ByteStreamIn> own_stream;
  FILE* own_file = nullptr;
};

// A kind: its id row on the body that implements it (LASlayer itself, a base
// of several kinds, or a family whose members differ only in their id and the
// arguments `Extra` that the family's constructor takes behind the
// description). The kinds of a family are aliases of these; a kind with a body
// of its own derives from one and inherits its constructor.
template <typename Body, uint32_t Type, uint32_t Fields, uint32_t Compression,
          uint32_t PresetMask = 0, auto... Extra>
class LASlayerKindOf : public Body {
 public:
  static constexpr LayerKindId kKind = {Type, Fields, Compression, PresetMask};
  explicit LASlayerKindOf(LASheader* header, uint32_t modification_mask = 0,
                          const char* description = nullptr)
      : Body(kKind, header, modification_mask, description, Extra...) {}
};

#endif  // POINTLIB_LAYERS_LAS_LAYER_HPP
