#include "ground/ground_driver.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/byte_stream_in.hpp"
#include "filter/las_ignore.hpp"
#include "ground/ground_estimate.hpp"
#include "ground/ground_output.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"

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
  const int64_t written = writer.p_count;
  if (writer.close_output(true) <= 0 && written > 0) {
    std::fprintf(stderr, "ERROR: cannot finish writing '%s'\n", shown(name, "stdout"));
    return false;
  }
  return true;
}

struct Fatal {
  bool wait;
};

GroundFileReport finish(GroundFileResult result) {
  GroundFileReport report;
  report.result = result;
  return report;
}

// A file that cannot be classified is written through unchanged, or only announced.
GroundFileResult copy_or_skip_file(bool skip, std::unique_ptr<LASreader>& reader,
                                   GroundFileIO& io) {
  if (skip) {
    std::fprintf(stderr, " skipping '%s' ...\n", shown(io.input_name, "stdin"));
    reader.reset();
    return GroundFileResult::kSkipped;
  }
  std::fprintf(stderr, " copying '%s' ...\n", shown(io.input_name, "stdin"));
  std::unique_ptr<LASwriter> writer = io.open_writer(reader->header);
  const char* name = io.output_name ? io.output_name() : nullptr;
  if (!writer) {
    std::fprintf(stderr, "ERROR: could not open laswriter for '%s'\n", shown(name, "stdout"));
    throw Fatal{false};
  }
  bool ok = true;
  while (reader->read_point()) {
    if (io.count_copied_points) writer->add_to_inventory(&reader->point);
    if (!writer->write_one_point(&reader->point)) {
      std::fprintf(stderr, "ERROR: cannot write point %" PRId64 " to '%s'\n", writer->p_count,
                   shown(name, "stdout"));
      ok = false;
      break;
    }
  }
  if (ok && io.count_copied_points) ok = writer->rewrite_header(&reader->header, true, false);
  ok = close_writer(*writer, name) && ok;
  writer.reset();
  reader->close_input(true);
  reader.reset();
  return ok ? GroundFileResult::kCopied : GroundFileResult::kFailed;
}

void reopen(std::unique_ptr<LASreader>& reader, GroundFileIO& io) {
  if (!io.reopen(reader)) throw Fatal{false};
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

// The last pass: every point again, with its class and height.
GroundFileResult write_classified(const GroundSettings& s, GroundEstimate& estimate,
                                  const ReadOrigin& origin, std::unique_ptr<LASreader>& reader,
                                  GroundFileIO& io, double start, uint32_t* ground_count) {
  reopen(reader, io);
  LASheader header;
  header.assign(reader->header);
  name_header(header);
  if (s.replace_z) header.z_offset = 0.0;
  if (!s.geo_keys.empty()) {
    header.store_geo_key_directory(uint32_t(s.geo_keys.size()), s.geo_keys.data());
    if (!s.geo_doubles.empty()) {
      header.store_geo_doubles(uint32_t(s.geo_doubles.size()), s.geo_doubles.data());
    } else {
      header.erase_vlr("LASF_Projection", 34736);
      header.vlr_geo_double_params = nullptr;
    }
    header.erase_vlr("LASF_Projection", 34737);
    header.vlr_geo_ascii_params = nullptr;
  }
  std::unique_ptr<LASwriter> writer = io.open_writer(header);
  if (!writer) {
    std::fprintf(stderr, "ERROR: could not open laswriter\n");
    throw Fatal{true};
  }
  const char* name = io.output_name ? io.output_name() : nullptr;

  LASpoint& point = reader->point;
  uint64_t k = 0;
  uint32_t ground = 0;
  TINlocation hint = {nullptr, -1};
  bool ok = true;
  while (reader->read_point()) {
    const bool ignored = is_ignored(*reader);
    if (!ignored) {
      if (is_estimate_point(s, point)) {
        // Only the points stored by the read pass have bits; any surplus is non-ground.
        if (estimate.is_ground(k)) {
          set_ground_tool_class(point, s.ground_class);
          ground++;
        } else if (!s.non_ground_unchanged) {
          set_ground_tool_class(point, s.non_ground_class);
        }
        k++;
      } else if (!s.non_ground_unchanged) {
        set_ground_tool_class(point, s.non_ground_class);
      }
    }
    if (s.compute_height) {
      float height = 0.0f;
      if (ignored || point.get_classification() != 2) {
        float z_ground;
        if (!ground_surface_z(float(point.get_x() - origin.min_x),
                              float(point.get_y() - origin.min_y), header.x_scale_factor,
                              header.y_scale_factor, &hint, &z_ground)) {
          throw Fatal{true};
        }
        height = float(point.get_z() - origin.z_offset - double(z_ground));
      }
      if (s.replace_z) {
        point.Z = height_to_raw_z(height, header.z_scale_factor);
        writer->add_to_inventory(&point);
      }
      if (s.heights_to_user_data) point.set_user_data(height_to_user_data(height, s.height_scale));
    }
    if (!writer->write_one_point(&point)) {
      std::fprintf(stderr, "ERROR: cannot write point %" PRId64 " to '%s'\n", writer->p_count,
                   shown(name, "stdout"));
      ok = false;
      break;
    }
  }
  if (ok && s.replace_z) ok = writer->rewrite_header(&header, true, false);
  ok = close_writer(*writer, name) && ok;
  writer.reset();
  if (s.verbose) {
    const double now = ground_clock_seconds();
    std::fprintf(stderr, "took %g sec. %d points classified as ground.\n",
                 now - estimate.timing_mark(), int(ground));
    estimate.set_timing_mark(now);
  }
  reader->close_input(true);
  reader.reset();
  *ground_count = ground;
  if (!ok) return GroundFileResult::kFailed;
  if (!s.quiet) {
    std::fprintf(stderr, "done with '%s'. total time %g sec.\n", shown(name, "piped file"),
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
  io.open_writer = [&input, &output](const LASheader& header) {
    if (!output.has_destination()) output.build_name(input.current_name(), -1);
    return std::unique_ptr<LASwriter>(output.open_writer(&header, input.current_name()));
  };
  io.output_name = [&output] { return output.current_name(); };
  io.count_copied_points = input.uses_buffering();
  return io;
}

GroundFileReport ground_classify_file(const GroundSettings& s, std::unique_ptr<LASreader>& reader,
                                      GroundFileIO& io) {
  // Every file times itself from its own start, with or without -v.
  const double start = ground_clock_seconds();
  try {
    if (reader->header.bounds_look_geographic(1.0f)) {
      std::fprintf(stderr,
                   "WARNING: coordinates seem to be longlat. in this case talvenor will fail.\n");
    }
    const bool horizontal_feet = s.horizontal_units_given && s.horizontal_feet;
    const bool vertical_feet = s.vertical_units_given && s.vertical_feet;
    const GroundParameters param = ground_parameters(s, horizontal_feet, vertical_feet);

    uint32_t n = 0;
    double mark = start;
    if (s.extra_pass) {
      if (s.verbose) std::fprintf(stderr, "extra pass for counting points to be used ...\n");
      while (reader->read_point()) {
        if (is_ignored(*reader) || !is_estimate_point(s, reader->point)) continue;
        if (n < UINT32_MAX) n++;
      }
      if (s.verbose) {
        const double now = ground_clock_seconds();
        std::fprintf(stderr, "took %g sec. counted %u points ... \n", now - mark, n);
        mark = now;
      }
      reopen(reader, io);
    } else {
      // More points than fit the 32-bit count are left out of the estimate (and non-ground).
      n = reader->npoints <= 0                    ? 0
          : reader->npoints > int64_t(UINT32_MAX) ? UINT32_MAX
                                                  : uint32_t(reader->npoints);
    }
    if (n == 0) {
      std::fprintf(stderr, "WARNING: input has zero points.");
      return finish(copy_or_skip_file(s.skip_files, reader, io));
    }

    auto owned = std::make_unique<GroundEstimate>(s, param);
    GroundEstimate& estimate = *owned;
    estimate.set_timing_mark(mark);
    estimate.begin(n, points_the_input_holds(*reader, n));
    if (s.verbose) {
      const char* h = horizontal_feet ? "ft" : "m";
      const char* v = vertical_feet ? "ft" : "m";
      std::fprintf(stderr, "processing file '%s'.\n", shown(io.input_name, "stdin"));
      std::fprintf(stderr, "horizontal units are %s and vertical units are %s. %s mode.\n",
                   horizontal_feet ? "feet" : "meter", vertical_feet ? "feet" : "meter",
                   ground_mode_word(s));
      std::fprintf(stderr,
                   "reading %u points. step is %g %s, sub is %d, bulge is %g %s, spike is %g+%g "
                   "%s, and offset is %g %s ...\n",
                   n, double(param.step), h, param.sub, double(param.bulge), v, double(param.spike),
                   double(param.down_spike), v, double(param.offset), v);
    }

    // Read pass.
    const ReadOrigin origin = {reader->header.min_x, reader->header.min_y, reader->header.z_offset};
    const double pertube = s.pertube ? reader->header.x_scale_factor : 0.0;
    uint64_t surplus = 0;
    while (reader->read_point()) {
      if (is_ignored(*reader)) continue;
      const LASpoint& p = reader->point;
      if (!is_estimate_point(s, p)) continue;
      if (!estimate.add_point(p.get_x() - origin.min_x, p.get_y() - origin.min_y,
                              p.get_z() - origin.z_offset, p.Z, pertube)) {
        surplus++;
      }
    }
    reader->close_input(true);
    if (surplus && !s.quiet) {
      std::fprintf(stderr,
                   "WARNING: %" PRIu64
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
      report.result = copy_or_skip_file(s.skip_files, reader, io);
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
