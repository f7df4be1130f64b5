#ifndef POINTLIB_IO_LAS_READER_STORED_HPP
#define POINTLIB_IO_LAS_READER_STORED_HPP

#include <cstdint>
#include <memory>

#include "core/byte_stream_out.hpp"
#include "core/las_reader.hpp"
#include "core/las_writer.hpp"

class ByteStreamInArrayLE;
class LASreaderBuffered;
class LASreaderLAS;
class LASwriterLAS;

// Shared by the thin wrappers: they hand filter, transform and areas to the
// reader they wrap and deliver its points unchanged, and answer for the
// filter, transform and ignore rules as the reader the tool sees.
class LASreaderWrapping : public LASreader {
 public:
  int format_code() const override { return inner ? inner->format_code() : 0; }
  bool applies_layers() const override { return false; }
  void attach_filter(LASfilter* f) override {
    record_filter(f);
    if (inner) inner->attach_filter(f);
  }
  void attach_transform(LAStransform* t) override {
    record_transform(t);
    if (inner) inner->attach_transform(t);
  }
  bool limit_to_tile(float ll_x, float ll_y, float size) override {
    return inner ? inner->limit_to_tile(ll_x, ll_y, size) : false;
  }
  bool limit_to_circle(double center_x, double center_y, double radius) override {
    return inner ? inner->limit_to_circle(center_x, center_y, radius) : false;
  }
  bool limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) override {
    return inner ? inner->limit_to_rectangle(min_x, min_y, max_x, max_y) : false;
  }
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  // The wrapped reader failed, or the wrapper could not keep or pass on its
  // points.
  bool failed() const override { return own_failure || (inner && inner->failed()); }

  LASreader* get_inner() const { return inner.get(); }

 protected:
  // Takes the reader and its header over: the records move to this header
  // and the inner header forgets them. False after a message.
  bool take_over(LASreader* reader);
  // Takes the header of `inner` over again (the records move once more).
  void take_over_header();

  std::unique_ptr<LASreader> inner;
  // Set for good: a failure of this wrapper or of a wrapped reader that is gone.
  bool own_failure = false;
};

// Passes the wrapped reader's points on and keeps a compressed copy of them in
// memory, so that a second pass replays them without reading the source again.
class LASreaderStored : public LASreaderWrapping {
 public:
  LASreaderStored();
  ~LASreaderStored() override;

  bool open(LASreader* reader);
  bool reopen();
  // After a reopen of a stored buffered input: the replay leaves the buffer
  // points out and the header shows the main file's counts and bounds again,
  // as a buffered reader does. False (nothing changed) for other inputs.
  bool remove_buffer();
  void close(bool close_stream = true);
  void close_input(bool close_stream = true) override { close(close_stream); }

 protected:
  bool read_one_point() override;

 private:
  std::unique_ptr<LASwriterLAS> writer;
  std::unique_ptr<ByteStreamInArrayLE> replay_stream;
  MallocBuffer replay_data;  // the stored bytes, owned while they are replayed
  std::unique_ptr<ByteStreamOutArrayLE> store_stream;
  LASheader first_pass_header;
  // Of a buffered input: the stored points that came from the main file,
  // ahead of the buffer points; -1 for other inputs.
  int64_t main_points = -1;
  int64_t replay_limit = -1;  // points a replay delivers; -1 for all
};

// What reopening the reader inside a pipe-on reader for the next pass changed.
struct LASreopenedInner {
  bool header_renewed = false;  // its header was made anew (a stored replay)
  bool buffer_dropped = false;  // its buffer points are left out from now on
};

// Passes the wrapped reader's points on and writes them, uncompressed, as a
// LAS file to standard output. The header goes out before the points and
// cannot be corrected on a pipe, so it must state them: when nothing attached
// can drop or change points, the first pass is written as it is read;
// otherwise the first pass only counts what it delivers, and the pass after
// the reopen writes the points behind a header made from that count.
class LASreaderPipeOn : public LASreaderWrapping {
 public:
  LASreaderPipeOn();
  ~LASreaderPipeOn() override;

  bool open(LASreader* reader);
  // After the wrapped reader was opened again for the next pass: its header,
  // which knows what only the first pass could tell (the count and bounds of
  // text from a pipe), becomes this one's; without the buffer points it shows
  // the main file's counts and bounds again. A counted first pass opens the
  // copy on standard output here.
  void follow_reopened_inner(const LASreopenedInner& what);
  void close_input(bool close_stream = true) override {
    if (inner) inner->close_input(close_stream);
    inner_open = false;
  }
  // Completes the copy on standard output when a run ends before the pass
  // that writes it has read every point. False (message printed, failed()
  // then true) when the copy cannot be made whole.
  bool finish_copy();
  // True once a write to standard output failed (a closed pipe).
  bool write_failed() const { return own_failure; }

 protected:
  bool read_one_point() override;

 private:
  enum class Copy { undecided, streaming, counting, counted, writing, done };

  // Whether the input's header already states the points this reader will
  // deliver: no filter, transform or area of interest, and a known count.
  bool header_states_points() const;
  void begin_first_pass();
  void begin_counting();
  bool open_writer(const LASheader& h);
  // Opens the copy behind a header made from the counted first pass.
  void write_counted(bool buffer_dropped);
  void write_point();
  void count_point();
  void end_pass();

  std::unique_ptr<LASwriterLAS> writer;
  Copy copy = Copy::undecided;
  LASheader copy_header;  // what the copy on standard output states
  LASpointInventory counted;
  // The points of the main file alone, for a pass that leaves the buffer
  // points out; the buffered reader is only asked while it delivers.
  LASpointInventory counted_main;
  bool main_taken = false;
  const LASreaderBuffered* buffered_source = nullptr;
  bool inner_open = true;  // false between a close and the next reopen
};

#endif  // POINTLIB_IO_LAS_READER_STORED_HPP
