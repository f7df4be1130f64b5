#include "io/las_reader_stored.hpp"

#include <cinttypes>
#include <cstdio>

#include "core/byte_stream_in.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "io/las_reader_buffered.hpp"
#include "io/las_reader_merged.hpp"
#include "platform/broken_pipe.hpp"

namespace {

constexpr int32_t kChunkSize = 50000;

int64_t stored_count(const LASheader& h) {
  return h.number_of_point_records ? h.number_of_point_records
                                   : static_cast<int64_t>(h.extended_number_of_point_records);
}

bool lay_out(LASpoint* point, LASheader* h) {
  if (h->vlr_compressor) {
    return point->init_for_items(h, h->vlr_compressor->num_items, h->vlr_compressor->items.data(),
                                 h);
  }
  return point->init_for_point_type(h, h->point_data_format, h->point_data_record_length, h);
}

}  // namespace

void LASreaderWrapping::take_over_header() {
  header.assign(inner->header);
  inner->header.drop_references();
}

bool LASreaderWrapping::take_over(LASreader* reader) {
  if (reader == nullptr) {
    std::fprintf(stderr, "ERROR: no lasreader\n");
    return false;
  }
  inner.reset(reader);
  take_over_header();
  return lay_out(&point, &header);
}

// ---------------------------------------------------------------------------
// stored

LASreaderStored::LASreaderStored() = default;

LASreaderStored::~LASreaderStored() {
  if (inner || writer) close(true);
  replay_stream.reset();
  store_stream.reset();
}

bool LASreaderStored::open(LASreader* reader) {
  if (!take_over(reader)) return false;
  const int64_t reserve = 2 * stored_count(header);
  store_stream.reset(new ByteStreamOutArrayLE(reserve));
  if (reserve > 0 && store_stream->get_capacity() == 0) {
    std::fprintf(stderr, "ERROR: allocating streamoutarray\n");
    return false;
  }
  writer.reset(new LASwriterLAS());
  // The stored reader owns the stream, also when the open fails.
  writer->set_delete_stream(false);
  // The extended point types are only compressed in the layered form.
  const uint16_t compressor = header.point_data_format > 5 ? LAScompressorKind::multistream_chunked
                                                           : LAScompressorKind::sequential_chunked;
  if (!writer->open_stream(store_stream.get(), &header, compressor, 0, kChunkSize)) {
    writer.reset();
    std::fprintf(stderr, "ERROR: opening laswriterlas to streamoutarray\n");
    return false;
  }
  // A filter may keep fewer points than the header counts; the stored header
  // takes the count written (none at all included), without a warning.
  writer->expect_count_change();
  first_pass_header.assign(header);
  npoints = stored_count(header);
  p_count = 0;
  return true;
}

bool LASreaderStored::read_one_point() {
  if (inner && (replay_limit < 0 || p_count < replay_limit)) {
    if (inner->read_point()) {
      point.assign(inner->point);
      if (writer && !writer->write_one_point(&point)) {
        // The second pass would miss this point and every later one.
        std::fprintf(stderr, "ERROR: cannot keep point %" PRId64 " in memory for the next pass\n",
                     p_count);
        own_failure = true;
        writer.reset();
      }
      p_count++;
      return true;
    }
    // An input that could not tell its count before it was read (text from a
    // pipe) knows it and its bounds now; the replay shows them.
    if (npoints == 0 && p_count > 0) {
      const LASheader& h = inner->header;
      first_pass_header.number_of_point_records = h.number_of_point_records;
      first_pass_header.extended_number_of_point_records = h.extended_number_of_point_records;
      for (int r = 0; r < 5; r++) {
        first_pass_header.number_of_points_by_return[r] = h.number_of_points_by_return[r];
      }
      for (int r = 0; r < 15; r++) {
        first_pass_header.extended_number_of_points_by_return[r] =
            h.extended_number_of_points_by_return[r];
      }
      first_pass_header.min_x = h.min_x;
      first_pass_header.min_y = h.min_y;
      first_pass_header.min_z = h.min_z;
      first_pass_header.max_x = h.max_x;
      first_pass_header.max_y = h.max_y;
      first_pass_header.max_z = h.max_z;
    }
    if (inner->failed()) own_failure = true;
    if (const auto* buffered = dynamic_cast<const LASreaderBuffered*>(inner.get())) {
      main_points = buffered->get_main_points();
    }
    inner->close_input(true);
    inner.reset();
    if (writer) {
      if (writer->close_output(true) < 0) {
        std::fprintf(stderr, "ERROR: cannot keep the points in memory for the next pass\n");
        own_failure = true;
      }
      writer.reset();
    }
  }
  point.zero();
  return false;
}

void LASreaderStored::close(bool close_stream) {
  if (inner) {
    if (inner->failed()) own_failure = true;
    inner->close_input(close_stream);
    inner.reset();
  }
  if (writer) {
    writer->close_output(true);
    writer.reset();
  }
}

bool LASreaderStored::reopen() {
  if (replay_stream) {
    replay_stream->seek_to(0);
  } else {
    if (!store_stream) {
      std::fprintf(stderr, "ERROR: no streamoutarray\n");
      return false;
    }
    if (store_stream->get_size() == 0) {
      std::fprintf(stderr, "ERROR: nothing stored in streamoutarray\n");
      return false;
    }
    const int64_t size = store_stream->get_size();
    replay_data = store_stream->take_buffer();
    replay_stream.reset(new ByteStreamInArrayLE(replay_data.get(), size));
  }
  inner.reset();
  std::unique_ptr<LASreaderLAS> replay(new LASreaderLAS());
  if (!replay->open_stream(replay_stream.get())) {
    std::fprintf(stderr, "ERROR: opening lasreaderlas from streaminarray\n");
    return false;
  }
  replay->set_delete_stream(false);
  inner = std::move(replay);
  take_over_header();
  // The second pass shows the header of the first: the stored copy adds its
  // compressor record and its own counts, which are not the input's.
  header.assign(first_pass_header);
  npoints = stored_count(header);
  p_count = 0;
  replay_limit = -1;
  return true;
}

bool LASreaderStored::remove_buffer() {
  if (main_points < 0 || !replay_stream) return false;
  replay_limit = main_points;
  if (header.vlr_lasoriginal) {
    npoints = static_cast<int64_t>(header.vlr_lasoriginal->number_of_point_records);
  }
  return las_restore_original(&header);
}

// ---------------------------------------------------------------------------
// pipe-on

namespace {

// The reader down the wrapping chain that passes each of its pieces on.
template <class Visit>
bool any_in_chain(const LASreader* reader, Visit visit) {
  while (reader) {
    if (visit(*reader)) return true;
    const auto* wrapping = dynamic_cast<const LASreaderWrapping*>(reader);
    reader = wrapping ? wrapping->get_inner() : nullptr;
  }
  return false;
}

const LASreaderBuffered* buffered_in_chain(const LASreader* reader) {
  const LASreaderBuffered* found = nullptr;
  any_in_chain(reader, [&found](const LASreader& r) {
    found = dynamic_cast<const LASreaderBuffered*>(&r);
    return found != nullptr;
  });
  return found;
}

}  // namespace

LASreaderPipeOn::LASreaderPipeOn() = default;

LASreaderPipeOn::~LASreaderPipeOn() {
  finish_copy();
  if (inner) inner->close_input(true);
  inner.reset();
  writer.reset();
}

bool LASreaderPipeOn::open(LASreader* reader) {
  if (!take_over(reader)) return false;
  // A reader that goes away must make the writes fail, not end the process.
  ignore_broken_pipe_signal();
  // The filter, transform and area come after the open; the first read
  // decides how the copy is made.
  copy = Copy::undecided;
  npoints = stored_count(header);
  p_count = 0;
  return true;
}

bool LASreaderPipeOn::header_states_points() const {
  if (npoints <= 0) return false;
  return !any_in_chain(this, [](const LASreader& r) {
    return r.get_filter() || r.get_transform() || r.inside != kInsideNone || r.applies_layers();
  });
}

void LASreaderPipeOn::begin_counting() {
  counted = LASpointInventory();
  counted_main = LASpointInventory();
  main_taken = false;
  buffered_source = buffered_in_chain(inner.get());
  copy = Copy::counting;
}

void LASreaderPipeOn::begin_first_pass() {
  if (header_states_points()) {
    copy = open_writer(header) ? Copy::streaming : Copy::done;
  } else {
    begin_counting();
  }
}

bool LASreaderPipeOn::open_writer(const LASheader& h) {
  writer.reset(new LASwriterLAS());
  if (!writer->open_cfile(stdout, &h, LAScompressorKind::raw, 0, kChunkSize)) {
    writer.reset();
    std::fprintf(stderr, "ERROR: opening laswriterlas to stdout\n");
    own_failure = true;
    return false;
  }
  return true;
}

void LASreaderPipeOn::write_point() {
  if (!writer->write_one_point(&point)) {
    std::fprintf(stderr, "ERROR: cannot write point %" PRId64 " to stdout. pipe closed?\n",
                 p_count);
    own_failure = true;
    writer.reset();
  }
}

void LASreaderPipeOn::count_point() {
  // A buffered reader delivers the main file's points first.
  if (buffered_source && !main_taken &&
      buffered_source->p_count > buffered_source->get_main_points()) {
    counted_main = counted;
    main_taken = true;
  }
  counted.count_point(point);
}

void LASreaderPipeOn::end_pass() {
  if (copy == Copy::counting) {
    if (!main_taken) counted_main = counted;
    main_taken = true;
    buffered_source = nullptr;  // a stored reader deletes it at the end of its pass
    copy = Copy::counted;
    return;
  }
  if (writer) {
    if (writer->close_output(true) < 0 || std::fflush(stdout) != 0) {
      std::fprintf(stderr, "ERROR: cannot finish the LAS output on stdout. pipe closed?\n");
      own_failure = true;
    }
    writer.reset();
  }
  if (copy == Copy::streaming || copy == Copy::writing) copy = Copy::done;
}

void LASreaderPipeOn::write_counted(bool buffer_dropped) {
  copy_header.assign(header);
  if (!(buffer_dropped ? counted_main : counted).describe_in(&copy_header)) {
    own_failure = true;
    copy = Copy::done;
    return;
  }
  copy = open_writer(copy_header) ? Copy::writing : Copy::done;
}

void LASreaderPipeOn::follow_reopened_inner(const LASreopenedInner& what) {
  if (!inner) return;
  inner_open = true;
  if (what.header_renewed) {
    take_over_header();
    npoints = inner->npoints;
  } else if (what.buffer_dropped && las_restore_original(&header)) {
    npoints = inner->npoints;
  }
  if (writer) {
    // The points the copy's header announced were not all read.
    std::fprintf(stderr, "ERROR: input reopened before its LAS copy on stdout was complete\n");
    own_failure = true;
    writer.reset();
    copy = Copy::done;
    return;
  }
  if (copy == Copy::counted) {
    write_counted(what.buffer_dropped);
  } else if (copy == Copy::counting) {
    begin_counting();  // the counting pass ended early: this one counts anew
  }
}

bool LASreaderPipeOn::finish_copy() {
  if (copy == Copy::writing && writer && inner && inner_open) {
    while (read_point()) {
    }
  } else if (copy == Copy::writing && writer) {
    std::fprintf(stderr, "ERROR: input closed before its LAS copy on stdout was complete\n");
    own_failure = true;
    writer.reset();
    copy = Copy::done;
  } else if (copy == Copy::counted) {
    if (counted.number_of_point_records == 0) {
      // No point to write: the copy is its header alone.
      write_counted(false);
      end_pass();
    } else {
      std::fprintf(stderr,
                   "ERROR: the input was not read again. its LAS copy on stdout is not written\n");
      own_failure = true;
      copy = Copy::done;
    }
  }
  return !own_failure;
}

bool LASreaderPipeOn::read_one_point() {
  if (copy == Copy::undecided) begin_first_pass();
  if (inner->read_point()) {
    point.assign(inner->point);
    if (copy == Copy::counting) {
      count_point();
    } else if (writer) {
      write_point();
    }
    p_count++;
    return true;
  }
  end_pass();
  point.zero();
  return false;
}
