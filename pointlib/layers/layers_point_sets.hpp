#ifndef POINTLIB_LAYERS_LAYERS_POINT_SETS_HPP
#define POINTLIB_LAYERS_LAYERS_POINT_SETS_HPP

// Layers that change the point set or the header rather than one field:
// deleted points, points appended after the file's last, a filter or
// transform rule run on every read point, an added VLR, header changes alone.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/las_writer.hpp"
#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "layers/las_layer.hpp"
#include "layers/layer_coding.hpp"

// Kinds that count the points they record and put the counts and bounds into
// the header when they complete.
class LASlayerCounting : public LASlayer {
 public:
  bool adjust_header() override { return put_counts(inventory, header); }
  // Nothing when no point was counted.
  static bool put_counts(const LASpointInventory& inventory, LASheader* header);

 protected:
  using LASlayer::LASlayer;
  LASpointInventory inventory;
};

class LASlayerDeletePointsCompressed
    : public LASlayerKindOf<LASlayerCoded, LAYER_DELETE, LAYER_FIELDS_ALL, LAYER_POINTWISE,
                            MODIFY_COUNTS_AND_BOUNDS> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint* point) override;
  bool is_deleted() const override { return last != 0; }
  bool apply_to_point(LASpoint* point) override;
  bool adjust_header() override { return LASlayerCounting::put_counts(inventory, header); }

 private:
  void start_models() override;
  void stop_models() override { models.clear(0); }
  LASpointInventory inventory;
  BitModelSlots models;
  uint32_t last = 0;
};

class LASlayerAppendPointsRaw
    : public LASlayerKindOf<LASlayerCounting, LAYER_APPEND, LAYER_FIELDS_ALL, LAYER_RAW,
                            MODIFY_COUNTS_AND_BOUNDS> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool init_read(ByteStreamIn* in) override;
  bool init_write(ByteStreamOut* out) override;
  bool record_point(const LASpoint* point) override;
  bool apply_to_point(LASpoint* point) override;
  bool finish_write(ByteStreamOut* out) override;
  // The point file has ended: the recorded points come next. A damaged LAY
  // file may state more file points than there are; counted on to that
  // number, the layer would deliver the last point again for every missing
  // one (up to 2^64 of them) before the recorded points.
  void start_appending() {
    if (counter < first_appended) counter = first_appended;
  }

  uint64_t first_appended = 0;
  uint64_t end_count = 0;

 private:
  uint64_t counter = 0;
  int64_t end_count_position = 0;
};

// Filter and transform: a command text kept in the record and parsed when
// the layer is read or recorded.
class LASlayerCommand : public LASlayerCounting {
 public:
  void set_command(const char* text) { command = text ? text : ""; }
  const std::string& get_command() const { return command; }
  bool init_read(ByteStreamIn* in) override;
  bool init_write(ByteStreamOut* out) override;
  bool record_point(const LASpoint* point) override;
  bool finish_read(ByteStreamIn* in) override;
  bool finish_write(ByteStreamOut* out) override;
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

 protected:
  LASlayerCommand(const LayerKindId& kind, LASheader* header, uint32_t modification_mask,
                  const char* description);
  // False when the command does not parse.
  virtual bool parse(bool reading) = 0;
  virtual void clear() = 0;
  std::string command;

 private:
  const char* word;  // "filter" or "transform", in messages
};

class LASlayerFilter : public LASlayerKindOf<LASlayerCommand, LAYER_FILTER, LAYER_FIELDS_ALL,
                                             LAYER_RAW, MODIFY_COUNTS_AND_BOUNDS> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool apply_to_point(LASpoint* point) override;

 private:
  bool parse(bool reading) override;
  void clear() override { filter.remove_all(); }
  LASfilter filter;
};

class LASlayerTransform : public LASlayerKindOf<LASlayerCommand, LAYER_TRANSFORM, LAYER_FIELDS_ALL,
                                                LAYER_RAW, MODIFY_RETURN_COUNTS_AND_BOUNDS> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool apply_to_point(LASpoint* point) override;

 private:
  // The filter of a filtered transform is parsed only when the layer is read.
  bool parse(bool reading) override;
  void clear() override { transform.remove_all(); }
  LAStransform transform;
};

class LASlayerAddVLR : public LASlayerKindOf<LASlayer, LAYER_ADD_VLR, LAYER_FIELDS_ALL, LAYER_RAW> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  // The record to add (the payload is copied); with `append` the header gets
  // a new record even when one with the same ids exists.
  void set_record(const char* user_id, uint16_t record_id, uint16_t record_length,
                  const uint8_t* data, bool append);
  bool init_read(ByteStreamIn* in) override;
  bool record_point(const LASpoint*) override { return true; }
  bool apply_to_point(LASpoint*) override { return true; }
  bool write_specialized_header(ByteStreamOut* out) override;
  bool read_specialized_header(ByteStreamIn* in) override;

  char user_id[16] = {};
  uint16_t record_id = 0;
  uint16_t record_length_after_header = 0;
  std::vector<uint8_t> data;
  bool append = false;
};

class LASlayerChangeHeader
    : public LASlayerKindOf<LASlayer, LAYER_HEADER, LAYER_FIELDS_ALL, LAYER_RAW> {
 public:
  using LASlayerKindOf::LASlayerKindOf;
  bool record_point(const LASpoint*) override { return true; }
  bool apply_to_point(LASpoint*) override { return true; }
};

#endif  // POINTLIB_LAYERS_LAYERS_POINT_SETS_HPP
