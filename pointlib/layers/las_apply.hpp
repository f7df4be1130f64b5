#ifndef POINTLIB_LAYERS_LAS_APPLY_HPP
#define POINTLIB_LAYERS_LAS_APPLY_HPP

// A reader that wraps the reader of a point file and delivers its points with
// the layers of the file's LAY file applied, in the order they were recorded.
// It copies the inner reader's header, records included, and takes over its
// filter, transform, ignore rules and area of interest, so that these act on
// the points as the layers leave them.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/las_reader.hpp"
#include "layers/las_layer.hpp"
#include "layers/lay_file_header.hpp"

class LASapply : public LASreader {
 public:
  LASapply();
  ~LASapply() override;

  int format_code() const override { return inner ? inner->format_code() : 0; }
  bool applies_layers() const override { return true; }
  // Layers are applied in sequence; there is no seeking into them.
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool close_stream = true) override {
    if (inner) inner->close_input(close_stream);
  }
  // The point file lost points, or a layer's data was damaged.
  bool failed() const override { return read_failed || (inner && inner->failed()); }

  // Null: the LAY file lies beside the point file.
  bool set_lay_directory(const char* directory);
  // Opens the LAY file of `point_file_name` and checks its header against the
  // inner reader's; on success this reader owns `inner`, holds a copy of its
  // header and has taken over its filter, transform, ignore rules and area.
  // On failure `inner` is untouched and still the caller's.
  bool open(const char* point_file_name, LASreader* inner, uint32_t io_buffer_size = 65536);
  // The same over a LAY file held in memory, which must outlive the reader.
  bool open_memory(const uint8_t* data, size_t size, LASreader* inner);
  // Loads `count` layers (all for a large count; all but the last -count for
  // a negative one). False after a message; the inner reader is then to be
  // taken back with release_inner().
  bool load_layers(int32_t count);
  // The byte position in the LAY file just behind loaded layer `index`, or -1.
  int64_t layer_end(uint32_t index) const;
  uint32_t loaded_layers() const { return static_cast<uint32_t>(layers.size()); }
  const LASlayer* layer(uint32_t index) const { return layers[index].get(); }
  const LAYheader& lay_header() const { return lay; }
  const LASreader* inner_reader() const { return inner.get(); }
  // The LAY file's name; empty for one in memory.
  const std::string& lay_file() const { return lay_name; }
  // Hands the inner reader back with the filter, transform, ignore rules and
  // area it gave up, its header as it was.
  LASreader* release_inner();

 protected:
  bool read_one_point() override;

 private:
  // Drops the layers and closes the LAY file or forgets the data in memory.
  void close_lay();
  bool open_source(LASreader* reader);
  // A stream of its own over the LAY data for a layer after the first.
  bool open_layer_stream(std::unique_ptr<ByteStreamIn>* stream, FILE** file);
  // Applies the layers from `first` on; 1 delivered, 0 deleted, -1 no point.
  int apply_layers(size_t first);
  void drop_layers();

  std::unique_ptr<LASreader> inner;
  std::string lay_name;
  LAYfolder lay_folder;
  FILE* lay_file_handle = nullptr;
  const uint8_t* lay_data = nullptr;
  size_t lay_data_size = 0;
  int64_t lay_size = -1;  // bytes of the LAY file; -1 when the stream cannot tell
  std::unique_ptr<ByteStreamIn> lay_stream;
  std::vector<std::unique_ptr<LASlayer>> layers;
  LAYheader lay;
  bool appending = false;
  bool read_failed = false;
  size_t current_layer = 0;
};

#endif  // POINTLIB_LAYERS_LAS_APPLY_HPP
