#include "io/las_interval.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/byte_stream_in.hpp"

namespace {

// Every cell takes at least its index, run count and point count; every run
// its start and end.
constexpr int64_t CELL_BYTES = 12;
constexpr int64_t RUN_BYTES = 8;

}  // namespace

LASinterval::LASinterval(uint32_t threshold)
    : index(0),
      start(0),
      end(0),
      full(0),
      total(0),
      threshold(threshold),
      last_index(INT32_MIN),
      walking(false),
      current_cell(nullptr),
      current_run(0) {}

LASinterval::~LASinterval() = default;

bool LASinterval::read(ByteStreamIn* stream) {
  char signature[5] = {0, 0, 0, 0, 0};
  try {
    stream->read_bytes(reinterpret_cast<uint8_t*>(signature), 4);
  } catch (...) {
    fprintf(stderr, "ERROR (LASinterval): reading signature\n");
    return false;
  }
  if (std::strncmp(signature, "LASV", 4) != 0) {
    fprintf(stderr, "ERROR (LASinterval): wrong signature %4s instead of 'LASV'\n", signature);
    return false;
  }
  uint32_t version;
  try {
    stream->read_u32_le(&version);
  } catch (...) {
    fprintf(stderr, "ERROR (LASinterval): reading version\n");
    return false;
  }
  uint32_t number_cells;
  try {
    stream->read_u32_le(&number_cells);
  } catch (...) {
    fprintf(stderr, "ERROR (LASinterval): reading number of cells\n");
    return false;
  }

  // Counts are checked against the bytes the stream still has, so that a
  // corrupt count fails at once instead of after a long loop.
  int64_t stream_end = -1;
  if (stream->can_seek()) {
    const int64_t here = stream->position();
    if (stream->seek_to_end(0)) stream_end = stream->position();
    if (!stream->seek_to(here)) return false;
  }
  auto bytes_left = [&]() { return stream_end - stream->position(); };
  if (stream_end >= 0 && static_cast<int64_t>(number_cells) > bytes_left() / CELL_BYTES) {
    fprintf(stderr, "ERROR (LASinterval): %u cells cannot fit in the %lld bytes left\n",
            number_cells, static_cast<long long>(bytes_left()));
    return false;
  }

  for (uint32_t c = 0; c < number_cells; c++) {
    int32_t cell_index;
    try {
      stream->read_u32_le(&cell_index);
    } catch (...) {
      fprintf(stderr, "ERROR (LASinterval): reading cell index\n");
      return false;
    }
    // A cell index that occurs again is read but the first one is kept.
    LASintervalStartCell discarded;
    const auto inserted = cells.emplace(cell_index, LASintervalStartCell());
    LASintervalStartCell& cell = inserted.second ? inserted.first->second : discarded;
    uint32_t number_intervals;
    try {
      stream->read_u32_le(&number_intervals);
    } catch (...) {
      fprintf(stderr, "ERROR (LASinterval): reading number of intervals in cell\n");
      return false;
    }
    try {
      stream->read_u32_le(&cell.full);
    } catch (...) {
      fprintf(stderr, "ERROR (LASinterval): reading number of points in cell\n");
      return false;
    }
    cell.total = 0;
    if (stream_end >= 0 && static_cast<int64_t>(number_intervals) > bytes_left() / RUN_BYTES) {
      fprintf(stderr,
              "ERROR (LASinterval): %u intervals of cell %d cannot fit in the %lld bytes left\n",
              number_intervals, cell_index, static_cast<long long>(bytes_left()));
      return false;
    }
    if (stream_end >= 0) cell.runs.reserve(number_intervals);
    for (uint32_t i = 0; i < number_intervals; i++) {
      // Read into scratch values so that a failed read leaves the run's fields
      // as they were for the message.
      LASintervalRun run{0, 0};
      uint32_t value;
      try {
        stream->read_u32_le(&value);
        run.start = value;
      } catch (...) {
        fprintf(stderr, "ERROR (LASinterval): reading start %d of interval\n",
                static_cast<int>(run.start));
        return false;
      }
      try {
        stream->read_u32_le(&value);
        run.end = value;
      } catch (...) {
        fprintf(stderr, "ERROR (LASinterval): reading end %d of interval\n",
                static_cast<int>(run.end));
        return false;
      }
      cell.runs.push_back(run);
      cell.total += run.end - run.start + 1;  // u32 on purpose, as stored
    }
  }
  return true;
}

void LASinterval::make_current(const LASintervalStartCell* cell) {
  full = cell->full;
  total = cell->total;
  current_cell = cell;
  current_run = 0;
}

void LASinterval::get_cells() {
  last_index = INT32_MIN;
  walking = false;
  current_cell = nullptr;
}

bool LASinterval::has_cells() {
  // A flag rather than the INT32_MIN key marks the start, so that a cell with
  // that index cannot restart the walk forever.
  auto it = walking ? cells.upper_bound(last_index) : cells.begin();
  if (it == cells.end()) {
    last_index = INT32_MIN;
    walking = false;
    current_cell = nullptr;
    return false;
  }
  walking = true;
  last_index = index = it->first;
  make_current(&it->second);
  return true;
}

bool LASinterval::get_cell(int32_t cell_index) {
  const auto it = cells.find(cell_index);
  if (it == cells.end()) {
    current_cell = nullptr;
    return false;
  }
  index = cell_index;
  make_current(&it->second);
  return true;
}

bool LASinterval::add_current_cell_to_merge_cell_set() {
  if (current_cell == nullptr || current_cell == &merged) return false;
  cells_to_merge.insert(current_cell);
  return true;
}

bool LASinterval::merge() {
  merged.runs.clear();
  merged.full = 0;
  merged.total = 0;
  if (cells_to_merge.empty()) return false;
  if (cells_to_merge.size() == 1) {
    // A single cell is read as it is stored, without joining.
    make_current(*cells_to_merge.begin());
    return !current_cell->runs.empty();
  }
  std::vector<LASintervalRun> runs;
  for (const LASintervalStartCell* cell : cells_to_merge) {
    merged.full += cell->full;
    runs.insert(runs.end(), cell->runs.begin(), cell->runs.end());
  }
  if (runs.empty()) {
    make_current(&merged);
    return false;
  }
  std::stable_sort(runs.begin(), runs.end(), [](const LASintervalRun& a, const LASintervalRun& b) {
    return a.start < b.start;
  });
  merged.runs.push_back(runs[0]);
  merged.total = runs[0].end - runs[0].start + 1;
  for (size_t i = 1; i < runs.size(); i++) {
    LASintervalRun& last = merged.runs.back();
    // Differences in 64 bits: point numbers use all 32 bits, and a wrapped
    // difference would join runs billions of points apart.
    const int64_t gap = static_cast<int64_t>(runs[i].start) - static_cast<int64_t>(last.end);
    if (gap > static_cast<int64_t>(threshold)) {
      merged.runs.push_back(runs[i]);
      merged.total += runs[i].end - runs[i].start + 1;
    } else if (runs[i].end > last.end) {
      merged.total += runs[i].end - last.end;
      last.end = runs[i].end;
    }
  }
  make_current(&merged);
  return true;
}

void LASinterval::clear_merge_cell_set() {
  cells_to_merge.clear();
}

bool LASinterval::has_intervals() {
  if (current_cell == nullptr || current_run >= current_cell->runs.size()) return false;
  start = current_cell->runs[current_run].start;
  end = current_cell->runs[current_run].end;
  current_run++;
  return true;
}
