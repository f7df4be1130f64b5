#include "layers/las_layer.hpp"

#include <cinttypes>
#include <cstring>

#include "layers/layer_io.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_colour.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"

namespace {

// One header field that a bit of the modification mask carries. Fields follow
// each other in bit order and, within a bit, in this order.
struct ModifiedField {
  uint32_t bit;
  layer_io::HeaderField field;
};

const ModifiedField kModifiedFields[] = {
    {0, PL_HEADER_FIELD(file_source_ID, 2, 1)},
    {1, PL_HEADER_FIELD(global_encoding, 2, 1)},
    {3, PL_HEADER_FIELD(version_major, 1, 1)},
    {3, PL_HEADER_FIELD(version_minor, 1, 1)},
    {4, PL_HEADER_FIELD(system_identifier, 32, 1)},
    {5, PL_HEADER_FIELD(generating_software, 32, 1)},
    {6, PL_HEADER_FIELD(file_creation_day, 2, 1)},
    {6, PL_HEADER_FIELD(file_creation_year, 2, 1)},
    {7, PL_HEADER_FIELD(header_size, 2, 1)},
    {8, PL_HEADER_FIELD(offset_to_point_data, 4, 1)},
    {9, PL_HEADER_FIELD(number_of_variable_length_records, 4, 1)},
    {10, PL_HEADER_FIELD(point_data_format, 1, 1)},
    {11, PL_HEADER_FIELD(point_data_record_length, 2, 1)},
    {12, PL_HEADER_FIELD(number_of_point_records, 4, 1)},
    {13, PL_HEADER_FIELD(number_of_points_by_return, 4, 5)},
    {14, PL_HEADER_FIELD(x_scale_factor, 8, 1)},
    {15, PL_HEADER_FIELD(y_scale_factor, 8, 1)},
    {16, PL_HEADER_FIELD(z_scale_factor, 8, 1)},
    {17, PL_HEADER_FIELD(x_offset, 8, 1)},
    {18, PL_HEADER_FIELD(y_offset, 8, 1)},
    {19, PL_HEADER_FIELD(z_offset, 8, 1)},
    {20, PL_HEADER_FIELD(max_x, 8, 1)},
    {20, PL_HEADER_FIELD(min_x, 8, 1)},
    {21, PL_HEADER_FIELD(max_y, 8, 1)},
    {21, PL_HEADER_FIELD(min_y, 8, 1)},
    {22, PL_HEADER_FIELD(max_z, 8, 1)},
    {22, PL_HEADER_FIELD(min_z, 8, 1)},
    {25, PL_HEADER_FIELD(number_of_extended_variable_length_records, 4, 1)},
    {26, PL_HEADER_FIELD(extended_number_of_point_records, 8, 1)},
    {27, PL_HEADER_FIELD(extended_number_of_points_by_return, 8, 15)},
};

// Printed names of bits 0 to 22 (null: the bit carries nothing).
const char* const kModifiedBitNames[23] = {"file_source_ID",
                                           "global_encoding",
                                           nullptr,
                                           "version",
                                           "system_identifier",
                                           "generating_software",
                                           "file_creation_date",
                                           "header_size",
                                           "offset_to_point_data",
                                           "number_of_vlrs",
                                           "point_data_format",
                                           "point_data_record_length",
                                           "number_of_point_records",
                                           "number_of_points_by_return",
                                           "x_scale_factor",
                                           "y_scale_factor",
                                           "z_scale_factor",
                                           "x_offset",
                                           "y_offset",
                                           "z_offset",
                                           "max_x min_x",
                                           "max_y min_y",
                                           "max_z min_z"};

bool carries(uint32_t mask, const ModifiedField& m) {
  return (mask >> m.bit) & 1u;
}

// The specialized header of the kinds that keep nothing in it.
const layer_io::ByteHeader kPlainHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer specialized header offset_to_data\n",
    "ERROR: offset_to_data",
    "ERROR: reading layer specialized header extra bytes\n",
    {}};

// The kinds the factory knows, by the ids they carry.
struct LayerKind {
  LayerKindId id;
  std::unique_ptr<LASlayer> (*make)(LASheader*);
};

template <typename Kind>
std::unique_ptr<LASlayer> make_kind(LASheader* header) {
  return std::make_unique<Kind>(header);
}

template <typename Kind>
constexpr LayerKind kind_row() {
  return {Kind::kKind, make_kind<Kind>};
}

const LayerKind kLayerKinds[] = {
    kind_row<LASlayerReplaceZRaw>(),
    kind_row<LASlayerReplaceZCompressed>(),
    kind_row<LASlayerDiffZCompressed>(),
    kind_row<LASlayerDiffXYCompressed>(),
    kind_row<LASlayerDiffXYZCompressed>(),
    kind_row<LASlayerReplaceClassificationRaw>(),
    kind_row<LASlayerReplaceClassificationCompressed>(),
    kind_row<LASlayerReplaceUserDataRaw>(),
    kind_row<LASlayerReplaceUserDataCompressed>(),
    kind_row<LASlayerReplaceWithheldFlagCompressed>(),
    kind_row<LASlayerReplaceSyntheticFlagCompressed>(),
    kind_row<LASlayerReplaceKeypointFlagCompressed>(),
    kind_row<LASlayerReplaceOverlapFlagCompressed>(),
    kind_row<LASlayerReplaceIntensityCompressed>(),
    kind_row<LASlayerReplaceExtendedLAS14AttributesCompressed>(),
    kind_row<LASlayerAddRGBRaw>(),
    kind_row<LASlayerAddRGBCompressed>(),
    kind_row<LASlayerAddNIRCompressed>(),
    kind_row<LASlayerDeletePointsCompressed>(),
    kind_row<LASlayerAppendPointsRaw>(),
    kind_row<LASlayerFilter>(),
    kind_row<LASlayerTransform>(),
    kind_row<LASlayerAddVLR>(),
    kind_row<LASlayerChangeHeader>(),
};

const LayerKind* find_kind(uint32_t type, uint32_t fields, uint32_t compression) {
  for (const LayerKind& k : kLayerKinds) {
    if (k.id.type == type && k.id.fields == fields && k.id.compression == compression) return &k;
  }
  return nullptr;
}

// The words the print-out gives the record's values.
struct ValueWord {
  uint32_t value;
  const char* word;
};

const ValueWord kTypeWords[] = {
    {LAYER_REPLACE, "replace"}, {LAYER_DIFFERENCE, "diff"},     {LAYER_ADD, "add"},
    {LAYER_HEADER, "header"},   {LAYER_DELETE, "delete"},       {LAYER_APPEND, "append"},
    {LAYER_FILTER, "filter"},   {LAYER_TRANSFORM, "transform"}, {LAYER_ADD_VLR, "add VRL"}};

const ValueWord kFieldsWords[] = {{LAYER_FIELDS_ALL, "all"},
                                  {LAYER_FIELDS_XY, "XY"},
                                  {LAYER_FIELDS_Z, "Z"},
                                  {LAYER_FIELDS_INTENSITY, "intensity"},
                                  {LAYER_FIELDS_CLASSIFICATION, "classification"},
                                  {LAYER_FIELDS_WITHHELD, "withheld_flag"},
                                  {LAYER_FIELDS_SYNTHETIC, "synthetic_flag"},
                                  {LAYER_FIELDS_KEYPOINT, "keypoint_flag"},
                                  {LAYER_FIELDS_OVERLAP, "overlap_flag"},
                                  {LAYER_FIELDS_USER_DATA, "user_data"},
                                  {LAYER_FIELDS_RGB, "RGB"},
                                  {LAYER_FIELDS_LAS14, "extended LAS 1.4 attributes"}};

const ValueWord kCompressionWords[] = {{LAYER_POINTWISE, "pointwise"}, {LAYER_RAW, "none"}};

template <size_t N>
const char* word_of(const ValueWord (&words)[N], uint32_t value) {
  for (const ValueWord& w : words) {
    if (w.value == value) return w.word;
  }
  return "unknown";
}

}  // namespace

const uint8_t LASlayer::kReturnContext[8][8] = {{0, 1, 2, 3, 3, 3, 3, 3}, {1, 0, 1, 1, 1, 1, 1, 1},
                                                {2, 1, 2, 3, 3, 3, 3, 3}, {3, 1, 3, 2, 3, 3, 3, 3},
                                                {3, 1, 3, 3, 2, 3, 3, 3}, {3, 1, 3, 3, 3, 2, 3, 3},
                                                {3, 1, 3, 3, 3, 3, 2, 3}, {3, 1, 3, 3, 3, 3, 3, 2}};

LASlayer::LASlayer(LASheader* header, uint32_t modification_mask, const char* text)
    : modification_mask(modification_mask), header(header) {
  if (text && text[0]) {
    const size_t n = std::strlen(text);
    description_size = static_cast<uint32_t>(n > UINT32_MAX - 1 ? UINT32_MAX - 1 : n);
    description.reset(new char[description_size + 1]);
    std::memcpy(description.get(), text, description_size);
    description[description_size] = '\0';
  }
}

LASlayer::LASlayer(const LayerKindId& kind, LASheader* header, uint32_t modification_mask,
                   const char* description)
    : LASlayer(header, modification_mask | kind.preset_mask, description) {
  type = kind.type;
  fields = kind.fields;
  compression = kind.compression;
}

LASlayer::~LASlayer() {
  release_own_input();
}

void LASlayer::release_own_input() {
  own_stream.reset();
  if (own_file) std::fclose(own_file);
  own_file = nullptr;
}

void LASlayer::copy_from(const LASlayer& other) {
  flags = other.flags;
  std::memcpy(classes, other.classes, sizeof(classes));
  start_position = other.start_position;
  size = other.size;
  fields = other.fields;
  type = other.type;
  compression = other.compression;
  modification_mask = other.modification_mask;
  description_size = other.description_size;
  header_size = other.header_size;
  header = other.header;
  description.reset();
  if (other.description) {
    description.reset(new char[description_size + 1]);
    std::memcpy(description.get(), other.description.get(), description_size + 1);
  }
  writes_to_own_array = other.writes_to_own_array;
  out_stream = other.out_stream;
  in_stream = other.in_stream;
}

bool LASlayer::init_read(ByteStreamIn* in) {
  if (in == nullptr) {
    std::fprintf(stderr, "ERROR: pointer to ByteStreamIn is zero\n");
    return false;
  }
  in_stream = in;
  return true;
}

bool LASlayer::init_write(ByteStreamOut* out) {
  if (out) {
    writes_to_own_array = false;
    out_stream = out;
    return write_record(out);
  }
  writes_to_own_array = true;
  own_array = std::make_unique<ByteStreamOutArrayLE>(4096);
  if (own_array->get_capacity() < 4096) {
    std::fprintf(stderr, "ERROR: allocating ByteStreamOutArray\n");
    own_array.reset();
    return false;
  }
  out_stream = own_array.get();
  return true;
}

bool LASlayer::record_point(const LASpoint*) {
  return false;
}

bool LASlayer::apply_to_point(LASpoint*) {
  return false;
}

bool LASlayer::update_point_layout(LASheader*, LASpoint*) {
  return true;
}

bool LASlayer::finish_read(ByteStreamIn*) {
  // The stream handed in is the layer's own when it owns a file.
  release_own_input();
  in_stream = nullptr;
  return true;
}

bool LASlayer::finish_write(ByteStreamOut* out) {
  if (writes_to_own_array && own_array) {
    if (out) {
      if (!write_record(out)) return false;
      const uint8_t* data = own_array->get_data();
      int64_t left = own_array->get_size();
      const int64_t total = left;
      while (left > 0) {
        const uint32_t n = left > (1 << 30) ? (1u << 30) : static_cast<uint32_t>(left);
        if (!out->write_bytes(data, n)) {
          std::fprintf(stderr, "ERROR: writing %u bytes from ByteStreamOutArray to stream\n",
                       static_cast<uint32_t>(total));
          return false;
        }
        data += n;
        left -= n;
      }
    }
    own_array.reset();
  }
  out_stream = nullptr;
  if (out == nullptr) return true;

  // The end is remembered rather than sought: when layers are re-written over
  // older ones the file may go on behind this record.
  const int64_t end = out->position();
  size = static_cast<uint64_t>(end - start_position);
  if (!out->seek_to(start_position) || !out->write_u64_le(&size)) {
    std::fprintf(stderr, "ERROR: updating layer size\n");
    return false;
  }
  if (!out->seek_to(start_position + header_size)) {
    std::fprintf(stderr, "ERROR: writing LAS header modifications\n");
    return false;
  }
  if (!adjust_header()) {
    std::fprintf(stderr, "ERROR: updating LAS header\n");
    return false;
  }
  if (!write_modifications(out)) {
    std::fprintf(stderr, "ERROR: writing LAS header modifications\n");
    return false;
  }
  return out->seek_to(end);
}

bool LASlayer::write_specialized_header(ByteStreamOut* out) {
  return layer_io::write_byte_header(out, kPlainHeader, {});
}

bool LASlayer::read_specialized_header(ByteStreamIn* in) {
  return layer_io::read_whole_byte_header(in, kPlainHeader, {});
}

bool LASlayer::write_modifications(ByteStreamOut* out) const {
  for (const ModifiedField& m : kModifiedFields) {
    if (carries(modification_mask, m) &&
        !layer_io::write_header_field(out, m.field, *header, "ERROR: writing modified ")) {
      return false;
    }
  }
  return true;
}

bool LASlayer::write_ignores(ByteStreamOut* out) const {
  for (uint32_t i = 0; i < 8; i++) {
    if (!(flags & (1u << i))) continue;
    if (!out->write_u32_le(&classes[i])) {
      std::fprintf(stderr, "ERROR: writing ignore_classification_mask[%u]\n", i);
      return false;
    }
  }
  return true;
}

bool LASlayer::read_modifications(ByteStreamIn* in) {
  for (const ModifiedField& m : kModifiedFields) {
    if (carries(modification_mask, m) &&
        !layer_io::read_header_field(in, m.field, *header, "ERROR: reading modified ")) {
      return false;
    }
  }
  return true;
}

bool LASlayer::read_ignores(ByteStreamIn* in) {
  for (uint32_t i = 0; i < 8; i++) {
    if (!(flags & (1u << i))) continue;
    try {
      in->read_u32_le(&classes[i]);
    } catch (...) {
      std::fprintf(stderr, "ERROR: reading ignore_classification_mask[%u]\n", i);
      return false;
    }
  }
  return true;
}

uint32_t LASlayer::modification_size() const {
  uint32_t n = 0;
  for (const ModifiedField& m : kModifiedFields) {
    if (carries(modification_mask, m)) n += m.field.width * m.field.count;
  }
  return n;
}

uint32_t LASlayer::ignore_size() const {
  uint32_t n = 0;
  for (uint32_t i = 0; i < 8; i++) n += (flags >> i) & 1u;
  return 4 * n;
}

bool LASlayer::write_record(ByteStreamOut* out) {
  using layer_io::put;
  start_position = out->position();
  const uint32_t reserved = 0;
  if (!put(out, size, "ERROR: writing layer size\n") ||
      !put(out, type, "ERROR: writing layer type\n") ||
      !put(out, fields, "ERROR: writing layer fields\n") ||
      !put(out, compression, "ERROR: writing layer compression\n") ||
      !put(out, modification_mask, "ERROR: writing layer modification_mask\n") ||
      !put(out, flags, "ERROR: writing layer ignore_mask\n") ||
      !put(out, description_size, "ERROR: writing layer description_size\n") ||
      !put(out, reserved, "ERROR: writing layer reserved1\n") ||
      !put(out, reserved, "ERROR: writing layer reserved2\n") ||
      !put(out, header_size, "ERROR: writing layer header_size\n")) {
    return false;
  }
  if (!write_modifications(out) || !write_ignores(out)) {
    std::fprintf(stderr, "ERROR: writing LAS header modifications\n");
    return false;
  }
  if (description_size &&
      !out->write_bytes(reinterpret_cast<const uint8_t*>(description.get()), description_size)) {
    std::fprintf(stderr, "ERROR: writing description of size %u\n", description_size);
    std::fprintf(stderr, "ERROR: writing layer description\n");
    return false;
  }
  if (!write_specialized_header(out)) {
    std::fprintf(stderr, "ERROR: writing specialized header\n");
    return false;
  }
  return true;
}

bool LASlayer::read_record(ByteStreamIn* in) {
  using layer_io::get;
  start_position = in->position();
  uint32_t reserved;
  if (!get(in, &size, "ERROR: reading layer size\n") ||
      !get(in, &type, "ERROR: reading layer type\n") ||
      !get(in, &fields, "ERROR: reading layer fields\n") ||
      !get(in, &compression, "ERROR: reading layer compression\n") ||
      !get(in, &modification_mask, "ERROR: reading layer modification_mask\n") ||
      !get(in, &flags, "ERROR: reading layer ignore_mask\n") ||
      !get(in, &description_size, "ERROR: reading layer description_size\n") ||
      !get(in, &reserved, "ERROR: reading layer reserved1\n") ||
      !get(in, &reserved, "ERROR: reading layer reserved2\n") ||
      !get(in, &header_size, "ERROR: reading layer header_size\n")) {
    return false;
  }
  // The modifications start header_size bytes into the record; a larger value
  // leaves room for fields this reader does not know.
  if (header_size < kRecordHeaderSize) {
    std::fprintf(stderr, "ERROR: layer header_size %u smaller than %u\n", header_size,
                 kRecordHeaderSize);
    return false;
  }
  if (!layer_io::skip(in, header_size - kRecordHeaderSize,
                      "ERROR: reading layer header extra bytes\n")) {
    return false;
  }
  if (!read_modifications(in)) {
    std::fprintf(stderr, "ERROR: reading LAS header modifications\n");
    return false;
  }
  if (!read_ignores(in)) {
    std::fprintf(stderr, "ERROR: reading LAS point ignores\n");
    return false;
  }
  description.reset();
  if (description_size) {
    if (!layer_io::bytes_there(in, description_size)) {
      std::fprintf(stderr, "ERROR: reading description of size %u\n", description_size);
      std::fprintf(stderr, "ERROR: reading layer description\n");
      return false;
    }
    description.reset(new char[uint64_t{description_size} + 1]);
    if (!layer_io::get_bytes(in, description.get(), description_size, "")) {
      std::fprintf(stderr, "ERROR: reading description of size %u\n", description_size);
      std::fprintf(stderr, "ERROR: reading layer description\n");
      description.reset();
      return false;
    }
    description[description_size] = '\0';
  }
  return true;
}

std::unique_ptr<LASlayer> LASlayer::load(ByteStreamIn* in, std::unique_ptr<ByteStreamIn> stream,
                                         FILE* file) {
  // Whatever goes wrong, the file handed in is closed, after the stream over
  // it is gone.
  struct FileCloser {
    std::unique_ptr<ByteStreamIn>* stream;
    FILE* file;
    ~FileCloser() {
      if (!file) return;
      stream->reset();
      std::fclose(file);
    }
  } closer{&stream, file};
  type = fields = compression = 0;
  const LayerKind* kind = nullptr;
  if (read_record(in)) kind = find_kind(type, fields, compression);
  if (kind == nullptr) {
    std::fprintf(stderr, "ERROR: unknown layer of type %u fields %u compression %u\n", type, fields,
                 compression);
    return nullptr;
  }
  std::unique_ptr<LASlayer> layer = kind->make(header);
  layer->copy_from(*this);
  if (!layer->read_specialized_header(in)) {
    std::fprintf(stderr, "ERROR: loading specialized header for LASlayer\n");
    return nullptr;
  }
  // The size locates the next record; one that does not cover this record's
  // headers, or reaches past the data there, belongs to a damaged file.
  const int64_t consumed = in->position() - start_position;
  if (consumed < 0 || layer->size < static_cast<uint64_t>(consumed) ||
      !layer_io::bytes_there(in, layer->size - static_cast<uint64_t>(consumed))) {
    std::fprintf(stderr, "ERROR: layer size %" PRIu64 " does not fit the LAY file\n", layer->size);
    return nullptr;
  }
  layer->own_stream = std::move(stream);
  layer->own_file = file;
  closer.file = nullptr;
  return layer;
}

bool LASlayer::print(FILE* out, bool description_only) const {
  const char* text = description ? description.get() : "";
  if (description_only) {
    std::fprintf(out, "%s\n", text);
    return true;
  }
  std::fprintf(out, "  start_position     %9" PRId64 "\n", start_position);
  std::fprintf(out, "  size               %9" PRId64 "\n", static_cast<int64_t>(size));
  std::fprintf(out, "  type               %9d (%s)\n", static_cast<int>(type),
               word_of(kTypeWords, type));
  std::fprintf(out, "  fields             %9d (%s)\n", static_cast<int>(fields),
               word_of(kFieldsWords, fields));
  std::fprintf(out, "  compression        %9d (%s)\n", static_cast<int>(compression),
               word_of(kCompressionWords, compression));
  std::fprintf(out, "  modification_mask  %9d", static_cast<int>(modification_mask));
  if (modification_mask) {
    std::fprintf(out, " (");
    for (uint32_t bit = 0; bit < 23; bit++) {
      if ((modification_mask >> bit) & 1u && kModifiedBitNames[bit]) {
        std::fprintf(out, "%s ", kModifiedBitNames[bit]);
      }
    }
    std::fprintf(out, "\b)");
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "  ignore_mask        %9d ", static_cast<int>(flags));
  if (flags & IGNORE_CLASS_WORDS) {
    std::fprintf(out, "-ignore_class ");
    for (uint32_t c = 0; c < 256; c++) {
      if ((classes[c >> 5] >> (c & 31)) & 1u) std::fprintf(out, "%u ", c);
    }
  }
  if (flags & 0xF00) {
    if (!(flags & IGNORE_SINGLE)) {
      if (flags & IGNORE_FIRST_OF_MANY) std::fprintf(out, "-ignore_first_of_many ");
      if (flags & IGNORE_LAST_OF_MANY) std::fprintf(out, "-ignore_last_of_many ");
    } else if (flags & (IGNORE_FIRST_OF_MANY | IGNORE_LAST_OF_MANY)) {
      if (flags & IGNORE_FIRST_OF_MANY) std::fprintf(out, "-ignore_first ");
      if (flags & IGNORE_LAST_OF_MANY) std::fprintf(out, "-ignore_last ");
    } else {
      std::fprintf(out, "-ignore_single ");
    }
    if (flags & IGNORE_INTERMEDIATE) std::fprintf(out, "-ignore_intermediate ");
  }
  if (flags & IGNORE_SYNTHETIC) std::fprintf(out, "-ignore_synthetic ");
  if (flags & IGNORE_KEYPOINT) std::fprintf(out, "-ignore_keypoint ");
  if (flags & IGNORE_WITHHELD) std::fprintf(out, "-ignore_withheld ");
  if (flags & IGNORE_OVERLAP) std::fprintf(out, "-ignore_overlap ");
  std::fprintf(out, "\n");
  std::fprintf(out, "  header_size        %9d\n", static_cast<int>(header_size));
  std::fprintf(out, "  modification size  %9u\n", modification_size());
  std::fprintf(out, "  ignore size        %9u\n", ignore_size());
  std::fprintf(out, "  description size   %9u\n", description_size);
  std::fprintf(out, "  description           %s\n", text);
  return true;
}
