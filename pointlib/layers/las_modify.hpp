#ifndef POINTLIB_LAYERS_LAS_MODIFY_HPP
#define POINTLIB_LAYERS_LAS_MODIFY_HPP

// A writer that writes no points: for the points a tool writes to it, it
// records the changes of chosen fields as layers of the LAY file beside the
// point file that was read. Declare the changes, open, write every point in
// the order the reader delivered them, close.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream_inout.hpp"
#include "core/las_reader.hpp"
#include "core/las_writer.hpp"
#include "layers/las_layer.hpp"
#include "layers/lay_file_header.hpp"

class LASmodify : public LASwriter {
 public:
  // Layers are built against `header` (the header of the points written),
  // which must outlive the writer.
  explicit LASmodify(LASheader* header);
  ~LASmodify() override;

  // The declarations, refused after open. `values` of the classification:
  // the number of classes n, the n classes, allow-unchanged, then ignore
  // settings; of the user data: min, max, then ignore settings; of the
  // intensity: lower byte zero, upper byte zero, then ignore settings; of
  // the four flags: ignore settings.
  bool replace_field(const char* field, uint32_t modification_mask, const char* description,
                     uint32_t number_of_values = 0, const double* values = nullptr);
  // "XY", "Z" or "XYZ": the change of the coordinates.
  bool difference_field(const char* field, uint32_t modification_mask, const char* description);
  bool filter_points(const char* filter_options, uint32_t modification_mask,
                     const char* description);
  bool transform_points(const char* transform_options, uint32_t modification_mask,
                        const char* description);

  bool set_lay_directory(const char* directory);
  // Creates the LAY file of `point_file_name`, or with `extend` adds to the
  // existing one (behind the layers a layer-applying `reader` loaded, else
  // behind all). An existing file is never emptied when extending.
  bool open(const char* point_file_name, LASreader* reader, bool extend,
            bool buffer_all_layers = false, uint32_t io_buffer_size = 65536);

  bool write_one_point(const LASpoint* point) override;
  bool close_chunk() override { return true; }
  bool rewrite_header(const LASheader* header, bool use_inventory = true,
                      bool update_extra_bytes = false) override;
  int64_t close_output(bool update_npoints = true) override;
  // Ends a run that failed: a LAY file this writer created is removed, an extended one gets
  // back what it held. Deleting an opened writer without close_output does the same.
  void discard();

  uint32_t declared_layers() const { return static_cast<uint32_t>(layers.size()); }
  const LASlayer* layer(uint32_t index) const { return layers[index].get(); }
  const std::string& lay_file() const { return lay_name; }

 private:
  bool opened() const { return stream != nullptr; }
  bool refuse_after_open(const char* call) const;
  bool add_layer(std::unique_ptr<LASlayer> layer);
  void abandon();
  void add_filter_transform_layers(const LASreader* reader);
  bool open_file(bool* extend, const LASheader& las, uint32_t io_buffer_size);
  bool place_after_existing(LASreader* reader);
  bool existing_layers_load(const LASheader& las);
  bool keep_tail();
  bool take_over_existing();

  LASheader* header;
  FILE* file = nullptr;
  std::unique_ptr<ByteStreamInOutFileLE> stream;
  int64_t new_layers_position = 0;
  std::vector<std::unique_ptr<LASlayer>> layers;
  LAYheader lay;
  uint32_t kept_layers = 0;  // of the existing file
  std::string lay_name;
  LAYfolder lay_folder;
  bool created = false;    // the file is this writer's: a failure removes it
  bool replacing = false;  // new layers replace those of an existing file of the same points
  bool touched = false;    // an existing file was extended or replaced: a failure restores it
  int64_t existing_size = 0;
  int64_t tail_position = 0;           // where the bytes the new layers write over begin
  std::vector<uint8_t> replaced_tail;  // those bytes
};

#endif  // POINTLIB_LAYERS_LAS_MODIFY_HPP
