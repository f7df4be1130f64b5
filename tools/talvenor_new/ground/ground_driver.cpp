#include "ground/ground_driver.hpp"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/byte_stream_in.hpp"
#include "core/las_scaler.hpp"
#include "filter/las_ignore.hpp"
#include "ground/ground_estimate.hpp"
#include "ground/ground_output.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "io/las_reader_stored.hpp"
#include "platform/crt_random.hpp"
#include "platform/run_messages.hpp"

namespace {

const char* shown(const char* name, const char* instead) {
  return name ? name : instead;
}

// An ignored point takes no part in the estimate and keeps its class.
bool is_ignored(const LASreader& reader) {
  return reader.get_ignore() && reader.get_ignore()->ignores(&reader.point);
}

bool is_estimate_point(const GroundSettings& settings, const LASpoint& point) {
  return settings.all_returns || point.get_return_number() >= point.get_number_of_returns();
}

// Closes a writer; false (message printed) when the data did not all reach the output.
bool close_writer(LASwriter& writer, const char* name) {
  if (writer.close_output(true) < 0) {
    std::fprintf(stderr, "ERROR: cannot finish writing '%s'\n", shown(name, "stdout"));
    return false;
  }
  return true;
}

// A reader that lost points, or could not pass them on, has printed its error; what the file's
// passes made of the rest must not look like a complete result. Deletes the reader then.
bool input_failed(std::unique_ptr<LASreader>& reader, const GroundFileIO& io) {
  if (!reader->failed()) return false;
  reader.reset();
  std::fprintf(stderr, "ERROR: processing '%s' failed. no output written.\n",
               shown(io.input_name, "stdin"));
  return true;
}

// Ends an output pass: `ok` says whether every point was written. False when the pass failed,
// which leaves no part of the output behind: a point file is closed and removed, a layer writer
// is deleted unclosed, which takes back all it wrote.
bool finish_output(std::unique_ptr<LASwriter>& writer, bool ok, const LASreader& reader,
                   GroundFileIO& io, const char* name, bool layered) {
  if (reader.failed()) {
    std::fprintf(stderr, "ERROR: processing '%s' failed. no output written.\n",
                 shown(io.input_name, "stdin"));
    ok = false;
  }
  if (layered && !ok) {
    writer.reset();
    return false;
  }
  ok = close_writer(*writer, name) && ok;
  writer.reset();
  if (!ok && io.remove_output && io.remove_output()) {
    std::fprintf(stderr, "ERROR: removed the incomplete output '%s'\n", shown(name, "stdout"));
  }
  return ok;
}

struct Fatal {
  bool wait;
};

GroundFileReport finish(GroundFileResult result) {
  GroundFileReport report;
  report.result = result;
  return report;
}

// An output pass that ends by an exception (a fatal error, memory running out) instead of
// through finish_output leaves no part of its output behind.
class CutOutputRemover {
 public:
  CutOutputRemover(std::unique_ptr<LASwriter>& writer, GroundFileIO& io)
      : writer_(writer), io_(io) {}
  ~CutOutputRemover() {
    if (!writer_) return;
    writer_.reset();
    if (io_.remove_output) io_.remove_output();
  }
  CutOutputRemover(const CutOutputRemover&) = delete;
  CutOutputRemover& operator=(const CutOutputRemover&) = delete;

 private:
  std::unique_ptr<LASwriter>& writer_;
  GroundFileIO& io_;
};

// What the copy of a file without ground does with the heights asked for: every point is at
// height 0, so Z becomes the raw value of elevation 0 and the user data 0.
struct CopyHeights {
  bool replace_z = false;
  bool zero_user_data = false;
};

CopyHeights copy_heights(const GroundSettings& s) {
  CopyHeights heights;
  heights.replace_z = s.replace_z;
  heights.zero_user_data = s.compute_height && s.heights_to_user_data;
  return heights;
}

// The raw Z of elevation 0 at the header's z scale and offset; false when it does not fit 32 bits.
bool raw_z_of_zero(const LASheader& header, int32_t* raw) {
  const double value = (0.0 - header.z_offset) / header.z_scale_factor;
  if (!(value > -2147483648.5 && value < 2147483647.5)) return false;
  *raw = int32_t(las_round_i64(value));
  return true;
}

// Bit 4 of the global encoding: the coordinate system is given as well-known text.
constexpr uint16_t kWktBit = 0x10;

// Points of formats 6 to 10 have their coordinate system in well-known text; so does a LAS 1.4
// file whose header already says so (older versions know no such bit).
bool output_needs_wkt(const LASheader& header) {
  return header.point_data_format >= 6 ||
         (header.version_minor >= 4 && (header.global_encoding & kWktBit) != 0);
}

// The text as a coordinate system record holds it, with the zero that ends it.
void store_ogc_wkt(LASheader& header, const std::string& wkt) {
  const size_t length = wkt.size() + 1;
  auto payload = std::make_unique<uint8_t[]>(length);
  std::memcpy(payload.get(), wkt.c_str(), length);
  header.insert_vlr("LASF_Projection", 2112, uint16_t(length), std::move(payload));
  if (const LASvlrRecord* vlr = header.find_vlr("LASF_Projection", 2112)) {
    header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(vlr->data.get());
  }
}

// The projection given on the command line goes into every output and replaces all the
// coordinate records of the input, so that the output names one coordinate system: the key
// directory, and beside it the same system as well-known text with the bit that points readers
// to it where the point format or the header asks for text. False when there is nothing to
// replace.
bool put_command_line_projection(const GroundSettings& s, LASheader& header) {
  if (s.geo_keys.empty()) return false;
  // Key directory, double and ASCII parameters, math transform and coordinate system texts.
  for (const uint16_t record : {34735, 34736, 34737, 2111, 2112}) {
    while (header.erase_vlr("LASF_Projection", record)) {
    }
    while (header.erase_evlr("LASF_Projection", record)) {
    }
  }
  header.store_geo_key_directory(uint32_t(s.geo_keys.size()), s.geo_keys.data());
  if (!s.geo_doubles.empty()) {
    header.store_geo_doubles(uint32_t(s.geo_doubles.size()), s.geo_doubles.data());
  }
  // A text of a VLR must fit its 16-bit length; the system's texts are far shorter.
  if (output_needs_wkt(header) && !s.geo_wkt.empty() && s.geo_wkt.size() < 65535) {
    store_ogc_wkt(header, s.geo_wkt);
    header.global_encoding |= kWktBit;
  } else {
    header.global_encoding &= uint16_t(~kWktBit);
  }
  return true;
}

void reopen(std::unique_ptr<LASreader>& reader, GroundFileIO& io) {
  if (!io.reopen(reader)) throw Fatal{false};
}

// An output whose header cannot be corrected after its points (a pipe) must say before them what
// they will be: a pass ahead runs every point through `mark` (which returns the point as it will
// be written) and counts it into `header`, then the reader is opened again. The random state is
// put back, so that the writing pass draws the same values and writes the same points. False
// after an error message; the reader is then deleted.
template <typename Mark>
bool count_ahead(std::unique_ptr<LASreader>& reader, GroundFileIO& io, LASheader& header,
                 Mark mark) {
  const unsigned int random_state = crt_rand_state();
  LASpointInventory inventory;
  while (reader->read_point()) inventory.count_point(mark());
  crt_srand(random_state);
  if (input_failed(reader, io)) return false;
  if (!inventory.describe_in(&header)) return false;
  reopen(reader, io);
  return true;
}

// Writes every point as `mark` makes it, counted in the writer's inventory. False after an error
// message.
template <typename Mark>
bool write_points(LASreader& reader, LASwriter& writer, const char* name, Mark mark) {
  while (reader.read_point()) {
    const LASpoint& point = mark();
    writer.add_to_inventory(&point);
    if (!writer.write_one_point(&point)) {
      std::fprintf(stderr, "ERROR: cannot write point %" PRId64 " to '%s'\n", writer.p_count,
                   shown(name, "stdout"));
      return false;
    }
  }
  return true;
}

// After the points of a file: its header takes the writer's inventory of them.
bool rewrite_counts(LASwriter& writer, const LASheader& header, const GroundFileIO& io) {
  if (io.header_truth != GroundHeaderTruth::kRewrittenAtClose) return true;
  return writer.rewrite_header(&header, true, false);
}

// A file that cannot be classified is written through unchanged (but for the heights and the
// projection asked for), or only announced.
GroundFileResult copy_or_skip_file(const GroundSettings& s, std::unique_ptr<LASreader>& reader,
                                   GroundFileIO& io) {
  const CopyHeights heights = copy_heights(s);
  if (s.skip_files) {
    print_note(" skipping '%s' ...\n", shown(io.input_name, "stdin"));
    // A copy of the input on standard output is owed all the same.
    auto* pipe_reader = dynamic_cast<LASreaderPipeOn*>(reader.get());
    const bool copied = pipe_reader == nullptr || pipe_reader->finish_copy();
    reader.reset();
    return copied ? GroundFileResult::kSkipped : GroundFileResult::kFailed;
  }
  const bool layered = bool(io.open_layer_writer);
  // With -olay the copy is recorded as layers that change no class, so that the LAY file
  // matches the input as it is and no point file is written.
  if (layered) {
    print_note(" copying '%s' into layers without changes ...\n", shown(io.input_name, "stdin"));
  } else {
    print_note(" copying '%s' ...\n", shown(io.input_name, "stdin"));
  }
  LASheader header;
  header.assign(reader->header);
  if (!layered) put_command_line_projection(s, header);
  int32_t zero_z = 0;
  // An offset so far from 0 that its raw value overflows: the copy's offset becomes 0 instead,
  // as in a classified output with heights in Z.
  if (heights.replace_z && !raw_z_of_zero(header, &zero_z)) {
    header.z_offset = 0.0;
    zero_z = 0;
  }
  // Layers compare the written copy with the point as read.
  LASpoint written;
  if (layered) written.init_like(&reader->point, false);
  auto mark = [&]() -> const LASpoint& {
    LASpoint& point = layered ? written : reader->point;
    if (layered) written.assign(reader->point);
    if (heights.replace_z) point.Z = zero_z;
    if (heights.zero_user_data) point.set_user_data(0);
    return point;
  };
  // A LAY file is no output of the output options, nor has it a header of points to correct.
  GroundFileIO out_io = io;
  if (layered) {
    out_io.remove_output = nullptr;
    out_io.header_truth = GroundHeaderTruth::kNone;
  }
  if (out_io.header_truth == GroundHeaderTruth::kCountedAhead &&
      !count_ahead(reader, io, header, mark)) {
    return GroundFileResult::kFailed;
  }
  std::unique_ptr<LASwriter> writer =
      layered ? io.open_layer_writer(header, *reader, true) : io.open_writer(header);
  const char* name = layered ? io.input_name : io.output_name ? io.output_name() : nullptr;
  if (!writer) {
    if (!layered) {
      std::fprintf(stderr, "ERROR: could not open laswriter for '%s'\n", shown(name, "stdout"));
    }
    throw Fatal{false};
  }
  const CutOutputRemover remover(writer, out_io);
  bool ok = write_points(*reader, *writer, name, mark);
  const bool wrote_points = writer->p_count > 0;
  ok = ok && rewrite_counts(*writer, header, out_io);
  ok = finish_output(writer, ok, *reader, out_io, name, layered);
  reader->close_input(true);
  reader.reset();
  // Heights of 0 look like measured ones; whoever uses them must learn that there was no ground.
  if (ok && wrote_points && (heights.replace_z || heights.zero_user_data)) {
    print_note("WARNING: no ground found in '%s'. all heights are 0.\n",
               shown(io.input_name, "stdin"));
  }
  return ok ? GroundFileResult::kCopied : GroundFileResult::kFailed;
}

void reopen_keeping_buffer(std::unique_ptr<LASreader>& reader, GroundFileIO& io) {
  if (!io.reopen_keeping_buffer) return reopen(reader, io);
  if (!io.reopen_keeping_buffer(reader)) throw Fatal{false};
}

void name_header(LASheader& header) {
  std::memset(header.system_identifier, 0, sizeof(header.system_identifier));
  std::snprintf(header.system_identifier, sizeof(header.system_identifier), "%s",
                "Mirvelox by Zentoravik GmbH");
  std::memset(header.generating_software, 0, sizeof(header.generating_software));
  std::snprintf(header.generating_software, sizeof(header.generating_software),
                "talvenor_dor64 (%d)", TALVENOR_VERSION);
}

// The most points the input's bytes can hold (a header may count billions of points in a
// file of a few kilobytes): uncompressed records by their length, compressed ones at a byte
// each. The estimate's room grows beyond when a file holds more.
uint32_t points_the_input_holds(LASreader& reader, uint32_t counted) {
  ByteStreamIn* stream = reader.input_stream();
  const int64_t bytes = stream ? stream->bytes_left() : -1;
  if (bytes < 0) return counted;
  const int64_t record = reader.format_code() == LASformatCode::las
                             ? std::max<int64_t>(1, reader.header.point_data_record_length)
                             : 1;
  return uint32_t(std::min<int64_t>(counted, bytes / record + 1));
}

struct ReadOrigin {
  double min_x, min_y, z_offset;
};

// Where the estimate takes its points from: the header's box, grown by one step so that bounds
// rounded by the writer keep every point. A point beyond is a damaged record or was moved after
// the header was written; binned with the rest, it would make the grids span the extent to it.
// A box that is none (inverted, or not finite) bounds nothing.
struct EstimateArea {
  bool bounded = false;
  double min_x = 0, max_x = 0, min_y = 0, max_y = 0;
};

EstimateArea estimate_area(const LASheader& header, double step) {
  EstimateArea area;
  area.bounded = std::isfinite(header.min_x) && std::isfinite(header.max_x) &&
                 std::isfinite(header.min_y) && std::isfinite(header.max_y) &&
                 header.min_x <= header.max_x && header.min_y <= header.max_y;
  area.min_x = header.min_x - step;
  area.max_x = header.max_x + step;
  area.min_y = header.min_y - step;
  area.max_y = header.max_y + step;
  return area;
}

bool outside(const EstimateArea& area, double x, double y) {
  return area.bounded &&
         !(x >= area.min_x && x <= area.max_x && y >= area.min_y && y <= area.max_y);
}

// What the last pass makes of every point: its class, and its height where asked for. A pass
// that counts ahead and the pass that writes each take a fresh marker, so both make the same.
class PointMarker {
 public:
  PointMarker(const GroundSettings& s, GroundEstimate& estimate, const ReadOrigin& origin,
              const LASheader& header)
      : s_(s), estimate_(estimate), origin_(origin), header_(header) {}

  // Marks `point`, the reader's current point or a copy of it; throws Fatal when the ground
  // surface cannot be found.
  void mark(bool ignored, LASpoint& point) {
    if (!ignored) {
      if (is_estimate_point(s_, point)) {
        // Only the points stored by the read pass have bits; any surplus is non-ground.
        if (estimate_.is_ground(k_)) {
          set_ground_tool_class(point, s_.ground_class);
          ground_++;
        } else if (!s_.non_ground_unchanged) {
          set_ground_tool_class(point, s_.non_ground_class);
        }
        k_++;
      } else if (!s_.non_ground_unchanged) {
        set_ground_tool_class(point, s_.non_ground_class);
      }
    }
    if (!s_.compute_height) return;
    float height = 0.0f;
    if (ignored || point.get_classification() != 2) {
      float z_ground;
      if (!ground_surface_z(float(point.get_x() - origin_.min_x),
                            float(point.get_y() - origin_.min_y), header_.x_scale_factor,
                            header_.y_scale_factor, &hint_, &z_ground)) {
        throw Fatal{true};
      }
      height = float(point.get_z() - origin_.z_offset - double(z_ground));
    }
    if (s_.replace_z) point.Z = height_to_raw_z(height, header_.z_scale_factor);
    if (s_.heights_to_user_data) point.set_user_data(height_to_user_data(height, s_.height_scale));
  }

  uint32_t ground() const { return ground_; }

 private:
  const GroundSettings& s_;
  GroundEstimate& estimate_;
  const ReadOrigin& origin_;
  const LASheader& header_;
  uint64_t k_ = 0;
  uint32_t ground_ = 0;
  TINlocation hint_ = {nullptr, -1};
};

// The last pass: every point again, with its class and height.
GroundFileResult write_classified(const GroundSettings& s, GroundEstimate& estimate,
                                  const ReadOrigin& origin, std::unique_ptr<LASreader>& reader,
                                  GroundFileIO& io, double start, uint32_t* ground_count) {
  reopen(reader, io);
  LASheader header;
  header.assign(reader->header);
  name_header(header);
  if (s.replace_z) header.z_offset = 0.0;
  const bool layered = bool(io.open_layer_writer);
  if (!layered) put_command_line_projection(s, header);
  // A LAY file is no output of the output options: a failed pass must not remove what they
  // name, which this pass never wrote. Nor has it a header of points to correct.
  GroundFileIO out_io = io;
  if (layered) {
    out_io.remove_output = nullptr;
    out_io.header_truth = GroundHeaderTruth::kNone;
  }
  if (out_io.header_truth == GroundHeaderTruth::kCountedAhead) {
    PointMarker ahead(s, estimate, origin, header);
    auto mark = [&]() -> const LASpoint& {
      ahead.mark(is_ignored(*reader), reader->point);
      return reader->point;
    };
    if (!count_ahead(reader, io, header, mark)) return GroundFileResult::kFailed;
  }
  std::unique_ptr<LASwriter> writer =
      layered ? io.open_layer_writer(header, *reader, false) : io.open_writer(header);
  if (!writer) {
    if (!layered) std::fprintf(stderr, "ERROR: could not open laswriter\n");
    throw Fatal{true};
  }
  const CutOutputRemover remover(writer, out_io);
  // Edit layers name the input; they compare the written copy with the point as read.
  const char* name = layered ? io.input_name : io.output_name ? io.output_name() : nullptr;
  LASpoint written;
  if (layered) written.init_like(&reader->point, false);
  PointMarker marker(s, estimate, origin, header);
  auto mark = [&]() -> const LASpoint& {
    LASpoint& point = layered ? written : reader->point;
    if (layered) written.assign(reader->point);
    marker.mark(is_ignored(*reader), point);
    return point;
  };
  bool ok = write_points(*reader, *writer, name, mark);
  ok = ok && rewrite_counts(*writer, header, out_io);
  ok = finish_output(writer, ok, *reader, out_io, name, layered);
  const uint32_t ground = marker.ground();
  if (s.verbose) {
    const double now = ground_clock_seconds();
    print_note("took %g sec. %d points classified as ground.\n", now - estimate.timing_mark(),
               int(ground));
    estimate.set_timing_mark(now);
  }
  reader->close_input(true);
  reader.reset();
  *ground_count = ground;
  if (!ok) return GroundFileResult::kFailed;
  if (!s.quiet) {
    print_note("done with '%s'. total time %g sec.\n", shown(name, "piped file"),
               ground_clock_seconds() - start);
  }
  return GroundFileResult::kClassified;
}

}  // namespace

GroundFileIO ground_file_io(LASinputOptions& input, LASoutputOptions& output,
                            bool remain_buffered) {
  GroundFileIO io;
  io.input_name = input.current_name();
  io.reopen = [&input, remain_buffered](std::unique_ptr<LASreader>& reader) {
    if (input.rebuild_reader(reader.get(), remain_buffered)) return true;
    std::fprintf(stderr, "ERROR: could not re-open lasreader\n");
    return false;
  };
  io.reopen_keeping_buffer = [&input](std::unique_ptr<LASreader>& reader) {
    if (input.rebuild_reader(reader.get(), true)) return true;
    std::fprintf(stderr, "ERROR: could not re-open lasreader\n");
    return false;
  };
  io.open_writer = [&input, &output](const LASheader& header) {
    if (!output.has_destination()) output.build_name(input.current_name(), -1);
    return std::unique_ptr<LASwriter>(output.open_writer(&header, input.current_name()));
  };
  io.output_name = [&output] { return output.current_name(); };
  io.remove_output = [&output] { return output.remove_output(); };
  // Standard output cannot be sought back to, and point text with a count line (-opts, -optx)
  // writes its count before the points.
  if (output.use_nil) {
    io.header_truth = GroundHeaderTruth::kNone;
  } else if (output.use_stdout || output.opts || output.optx) {
    io.header_truth = GroundHeaderTruth::kCountedAhead;
  }
  return io;
}

GroundFileReport ground_classify_file(const GroundSettings& s, std::unique_ptr<LASreader>& reader,
                                      GroundFileIO& io) {
  // Every file times itself from its own start, with or without -v.
  const double start = ground_clock_seconds();
  try {
    if (reader->header.bounds_look_geographic(1.0f)) {
      print_note("WARNING: coordinates seem to be longlat. in this case talvenor will fail.\n");
    }
    bool horizontal_feet = s.horizontal_units_given && s.horizontal_feet;
    bool vertical_feet = s.vertical_units_given && s.vertical_feet;
    if (io.file_units) io.file_units(reader->header, &horizontal_feet, &vertical_feet);
    if (io.file_in_degrees && io.file_in_degrees()) {
      print_note(
          "WARNING: coordinates are longitude and latitude in degrees. the ground "
          "classification needs meters or feet.");
      return finish(copy_or_skip_file(s, reader, io));
    }
    const GroundParameters param = ground_parameters(s, horizontal_feet, vertical_feet);

    uint32_t n = 0;
    double mark = start;
    // An input that does not state its count (text from a pipe) is counted in a pass of its own.
    if (s.extra_pass || reader->npoints == 0) {
      if (s.verbose) print_note("extra pass for counting points to be used ...\n");
      while (reader->read_point()) {
        if (is_ignored(*reader) || !is_estimate_point(s, reader->point)) continue;
        if (n < UINT32_MAX) n++;
      }
      if (input_failed(reader, io)) return finish(GroundFileResult::kFailed);
      if (s.verbose) {
        const double now = ground_clock_seconds();
        print_note("took %g sec. counted %u points ... \n", now - mark, n);
        mark = now;
      }
      reopen_keeping_buffer(reader, io);
    } else {
      // More points than fit the 32-bit count are left out of the estimate (and non-ground).
      n = reader->npoints <= 0                    ? 0
          : reader->npoints > int64_t(UINT32_MAX) ? UINT32_MAX
                                                  : uint32_t(reader->npoints);
    }
    if (n == 0) {
      print_note("WARNING: input has zero points.");
      return finish(copy_or_skip_file(s, reader, io));
    }

    auto owned = std::make_unique<GroundEstimate>(s, param);
    GroundEstimate& estimate = *owned;
    estimate.set_timing_mark(mark);
    estimate.begin(n, points_the_input_holds(*reader, n));
    if (s.verbose) {
      const char* h = horizontal_feet ? "ft" : "m";
      const char* v = vertical_feet ? "ft" : "m";
      print_note("processing file '%s'.\n", shown(io.input_name, "stdin"));
      print_note("horizontal units are %s and vertical units are %s. %s mode.\n",
                 horizontal_feet ? "feet" : "meter", vertical_feet ? "feet" : "meter",
                 ground_mode_word(s));
      print_note(
          "reading %u points. step is %g %s, sub is %d, bulge is %g %s, spike is %g+%g "
          "%s, and offset is %g %s ...\n",
          n, double(param.step), h, param.sub, double(param.bulge), v, double(param.spike),
          double(param.down_spike), v, double(param.offset), v);
    }

    // Read pass.
    const ReadOrigin origin = {reader->header.min_x, reader->header.min_y, reader->header.z_offset};
    const double pertube = s.pertube ? reader->header.x_scale_factor : 0.0;
    const EstimateArea area = estimate_area(reader->header, param.step);
    uint64_t surplus = 0, far_outside = 0;
    while (reader->read_point()) {
      const LASpoint& p = reader->point;
      const double x = p.get_x(), y = p.get_y();
      const bool beyond = outside(area, x, y);
      far_outside += beyond;  // every damaged record counts, whatever its return
      if (is_ignored(*reader) || !is_estimate_point(s, p)) continue;
      bool stored;
      if (beyond) {
        stored = estimate.add_excluded_point(x - origin.min_x, y - origin.min_y);
      } else {
        stored = estimate.add_point(x - origin.min_x, y - origin.min_y, p.get_z() - origin.z_offset,
                                    p.Z, pertube);
      }
      if (!stored) surplus++;
    }
    if (input_failed(reader, io)) return finish(GroundFileResult::kFailed);
    reader->close_input(true);
    if (far_outside) {
      print_note("WARNING: %" PRIu64
                 " points lie more than one step outside the bounding box of the header. they "
                 "are left out of the ground estimate and are not ground.\n",
                 far_outside);
    }
    if (surplus && !s.quiet) {
      print_note("WARNING: %" PRIu64
                 " points beyond the %u counted are left out of the "
                 "ground estimate.\n",
                 surplus, n);
    }

    const GroundOutcome outcome = estimate.run();
    GroundFileReport report;
    report.points = estimate.count();
    if (outcome != GroundOutcome::kReady) {
      owned.reset();  // the copy needs none of the estimate's memory
      reopen(reader, io);
      report.result = copy_or_skip_file(s, reader, io);
      return report;
    }
    report.result = write_classified(s, estimate, origin, reader, io, start, &report.ground);
    return report;
  } catch (const Fatal& fatal) {
    reader.reset();
    GroundFileReport report = finish(GroundFileResult::kFatal);
    report.fatal_waits = fatal.wait;
    return report;
  } catch (const GroundFatal& fatal) {
    reader.reset();
    GroundFileReport report = finish(GroundFileResult::kFatal);
    report.fatal_waits = fatal.wait;
    return report;
  } catch (...) {
    reader.reset();
    std::fprintf(stderr, "ERROR processing file '%s'. maybe out of memory?\n",
                 shown(io.input_name, "stdin"));
    return finish(GroundFileResult::kFailed);
  }
}
