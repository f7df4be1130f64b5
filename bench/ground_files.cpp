// The ground tool as users run it, on whole files of 1, 10 and (with PL_BENCH_LARGE=1) 30
// million points: the built program classifies a LAS file into LAS and into VPK, next to a
// plain copy of the same bytes as the floor of what any file-to-file tool can do. Each case
// runs once; the figures are points per second and the child's peak resident memory per
// million points and in bytes per point. A file of five tiles along a corridor runs next to the
// same tiles side by side: the extent between the tiles must cost little. Three more pairs run
// against the compact scene of as many points: a strip delivered twice (each point again after
// the last), sparse points spread evenly over a wide extent, and the same scene read from VPK,
// which the output pass decodes a second time.
//
// The inputs are generated once into a cache folder (PL_BENCH_CACHE, or a folder under the
// temporary directory) and kept for later runs; generation is never timed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_files.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "scene.hpp"

namespace {

// Bump when the generated scene changes, so stale cached inputs are not reused.
constexpr int kInputVersion = 1;

std::string cache_dir() {
  const char* dir = std::getenv("PL_BENCH_CACHE");
  std::string path =
      dir && *dir ? dir : bench_temp_root() + "/pl_bench_ground_files_" + std::to_string(getuid());
  mkdir(path.c_str(), 0700);
  return path;
}

std::string self_dir() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return ".";
  std::string path(buf.data(), size_t(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

SceneParams scene_params(double size) {
  SceneParams params;
  params.preset = ScenePreset::kUrban;  // terrain, buildings large and small, trees
  params.size = size;
  params.density = 4.0;
  params.seed = 29;
  return params;
}

// Side of the square area that gives about `points` points, from the points per square
// metre of a small scene of the same kind (returns per pulse depend on the cover).
double side_for(uint64_t points) {
  static double per_square_metre = 0.0;
  if (per_square_metre == 0.0) {
    const double pilot = 500.0;
    const Scene scene = make_scene(scene_params(pilot));
    per_square_metre = double(scene.points.size()) / (pilot * pilot);
  }
  return std::sqrt(double(points) / per_square_metre);
}

struct Header {
  uint8_t version_minor = 0;
  uint64_t points = 0;
};

bool read_header(const std::string& path, Header* header) {
  uint8_t h[375] = {};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  const size_t n = std::fread(h, 1, sizeof(h), f);
  std::fclose(f);
  if (n < 227 || std::memcmp(h, "LASF", 4) != 0) return false;
  auto u32 = [&h](size_t at) {
    return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 |
           uint32_t(h[at + 3]) << 24;
  };
  header->version_minor = h[25];
  header->points = u32(107);
  if (header->version_minor >= 4 && n >= 255 && header->points == 0) {
    header->points = uint64_t(u32(247)) | uint64_t(u32(251)) << 32;
  }
  return true;
}

struct Input {
  std::string path;
  uint64_t points = 0;
};

// The input of about `millions` million points, generated on first use.
const Input* input_of(int millions, std::string* error) {
  static Input inputs[64];
  Input& in = inputs[millions];
  if (in.points) return &in;
  const std::string path = cache_dir() + "/urban_" + std::to_string(millions) + "m_v" +
                           std::to_string(kInputVersion) + ".las";
  Header header;
  if (!read_header(path, &header) || header.points == 0) {
    // Written under another name first so that an interrupted run leaves no short input.
    const std::string part = path + ".part";
    if (!write_scene_las_streamed(scene_params(side_for(uint64_t(millions) * 1000000)), part,
                                  SceneLasOptions(), nullptr, error)) {
      return nullptr;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0 || !read_header(path, &header)) {
      *error = "cannot place " + path;
      return nullptr;
    }
  }
  in.path = path;
  in.points = header.points;
  return &in;
}

// Five tiles of about 472,000 points each, every one its own scene: along a corridor, 5 km
// apart (4 km east and 3 km north from one to the next), or side by side in a row. Both files
// hold the same points but for the tiles' places, so their times compare what the extent
// costs. Generated once, like the other inputs.
const Input* tiles_input(bool corridor, std::string* error) {
  static Input inputs[2];
  Input& in = inputs[corridor ? 1 : 0];
  if (in.points) return &in;
  const std::string path = cache_dir() + (corridor ? "/corridor_v" : "/side_by_side_v") +
                           std::to_string(kInputVersion) + ".las";
  constexpr int kTiles = 5;
  Header header;
  if (!read_header(path, &header) || header.points == 0) {
    const double side = std::floor(side_for(472000));
    std::vector<std::string> tiles;
    for (int i = 0; i < kTiles; i++) {
      const std::string tile = cache_dir() + "/tile_" + std::to_string(i) + "_" +
                               std::to_string(int(side)) + "_v" + std::to_string(kInputVersion) +
                               ".las";
      Header h;
      if (!read_header(tile, &h) || h.points == 0) {
        SceneParams params = scene_params(side);
        params.seed = 29 + uint64_t(i);
        const std::string part = tile + ".part";
        if (!write_scene_las_streamed(params, part, SceneLasOptions(), nullptr, error) ||
            std::rename(part.c_str(), tile.c_str()) != 0) {
          if (error->empty()) *error = "cannot place " + tile;
          return nullptr;
        }
      }
      tiles.push_back(tile);
    }
    const std::string part = path + ".part";
    LASwriterLAS writer;
    LASheader out_header;
    for (int i = 0; i < kTiles; i++) {
      LASreaderLAS reader;
      if (!reader.open_file(tiles[i].c_str())) {
        *error = "cannot open " + tiles[i];
        return nullptr;
      }
      if (i == 0) {
        out_header.assign(reader.header);
        if (!writer.open_file(part.c_str(), &out_header)) {
          *error = "cannot write " + part;
          return nullptr;
        }
      }
      // Whole metres at the shared scale and offset: exact integer moves.
      const double east = corridor ? 4000.0 * i : side * i;
      const double north = corridor ? 3000.0 * i : 0.0;
      const int32_t dx = int32_t(std::lround(east / reader.header.x_scale_factor));
      const int32_t dy = int32_t(std::lround(north / reader.header.y_scale_factor));
      while (reader.read_point()) {
        reader.point.X += dx;
        reader.point.Y += dy;
        writer.add_to_inventory(&reader.point);
        writer.write_one_point(&reader.point);
      }
      reader.close_input(true);
    }
    if (!writer.rewrite_header(&out_header, true, false) || writer.close_output(true) <= 0 ||
        std::rename(part.c_str(), path.c_str()) != 0 || !read_header(path, &header)) {
      *error = "cannot place " + path;
      return nullptr;
    }
  }
  in.path = path;
  in.points = header.points;
  return &in;
}

// Writes `path` through a ".part" file from the points that `fill` hands to the writer.
template <class Fill>
bool place_file(const std::string& path, const LASheader& like, Fill&& fill,
                std::string* error) {
  const std::string part = path + ".part";
  LASwriterLAS writer;
  LASheader out_header;
  out_header.assign(like);
  if (!writer.open_file(part.c_str(), &out_header)) {
    *error = "cannot write " + part;
    return false;
  }
  if (!fill(writer) || !writer.rewrite_header(&out_header, true, false) ||
      writer.close_output(true) <= 0 || std::rename(part.c_str(), path.c_str()) != 0) {
    *error = "cannot place " + path;
    return false;
  }
  return true;
}

// A scene of about `millions` / 2 million points, delivered twice: every point again after the
// last, as overlapping deliveries of one strip merge.
const Input* doubled_input(int millions, std::string* error) {
  static Input inputs[64];
  Input& in = inputs[millions];
  if (in.points) return &in;
  const std::string path = cache_dir() + "/doubled_" + std::to_string(millions) + "m_v" +
                           std::to_string(kInputVersion) + ".las";
  Header header;
  if (!read_header(path, &header) || header.points == 0) {
    const std::string half = cache_dir() + "/half_" + std::to_string(millions) + "m_v" +
                             std::to_string(kInputVersion) + ".las";
    Header h;
    if (!read_header(half, &h) || h.points == 0) {
      const std::string part = half + ".part";
      if (!write_scene_las_streamed(scene_params(side_for(uint64_t(millions) * 500000)), part,
                                    SceneLasOptions(), nullptr, error) ||
          std::rename(part.c_str(), half.c_str()) != 0) {
        if (error->empty()) *error = "cannot place " + half;
        return nullptr;
      }
    }
    LASreaderLAS first;
    if (!first.open_file(half.c_str())) {
      *error = "cannot open " + half;
      return nullptr;
    }
    const bool ok = place_file(path, first.header, [&](LASwriterLAS& writer) {
      for (int copy = 0; copy < 2; copy++) {
        LASreaderLAS reader;
        if (!reader.open_file(half.c_str())) return false;
        while (reader.read_point()) {
          writer.add_to_inventory(&reader.point);
          writer.write_one_point(&reader.point);
        }
        reader.close_input(true);
      }
      return true;
    }, error);
    first.close_input(true);
    if (!ok || !read_header(path, &header)) return nullptr;
  }
  in.path = path;
  in.points = header.points;
  return &in;
}

// A file of `count` single returns on a gently rolling surface, each placed by `site` (x and y of
// point k), cached under `name`; the header's bounds right and nothing stray.
template <typename Site>
const Input* surface_input(Input& in, const std::string& name, int count, Site site,
                           std::string* error) {
  if (in.points) return &in;
  const std::string path = cache_dir() + "/" + name + "_" + std::to_string(count) + "_v" +
                           std::to_string(kInputVersion) + ".las";
  Header header;
  if (!read_header(path, &header) || header.points == 0) {
    LASheader like;
    like.x_scale_factor = like.y_scale_factor = like.z_scale_factor = 0.01;
    like.x_offset = 500000.0;
    like.y_offset = 4000000.0;
    like.point_data_format = 1;
    like.point_data_record_length = 28;
    const bool ok = place_file(path, like, [&](LASwriterLAS& writer) {
      LASpoint point;
      point.init_for_point_type(&like, like.point_data_format, like.point_data_record_length, &like);
      for (int k = 0; k < count; k++) {
        double x, y;
        site(k, &x, &y);
        point.X = int32_t(std::lround(x * 100));
        point.Y = int32_t(std::lround(y * 100));
        point.Z = int32_t(std::lround(10000 + 500 * std::sin(x / 9000) * std::cos(y / 7000)));
        point.set_return_number(1);
        point.set_number_of_returns(1);
        writer.add_to_inventory(&point);
        writer.write_one_point(&point);
      }
      return true;
    }, error);
    if (!ok || !read_header(path, &header)) return nullptr;
  }
  in.path = path;
  in.points = header.points;
  return &in;
}

// `count` points spread evenly over a square 1.4 km apart (5,000 of them cover 100 km x 100 km).
const Input* sparse_input(int count, std::string* error) {
  static Input in;
  const int side = int(std::ceil(std::sqrt(double(count))));
  return surface_input(in, "sparse", count, [side](int k, double* x, double* y) {
    *x = 1400.0 * (k % side);
    *y = 1400.0 * (k / side);
  }, error);
}

// Sparse points in clumps: every fourth site 1.4 km apart holds a close pair, the others one
// point, with single points between the sites: the seed sets of the shifted grids differ in the
// pairs only.
const Input* clumped_input(int count, std::string* error) {
  static Input in;
  const int sites = (count + 1) / 2;
  const int side = int(std::ceil(std::sqrt(double(sites))));
  return surface_input(in, "clumped2", count, [side](int k, double* x, double* y) {
    const int site = k / 2;
    *x = 1400.0 * (site % side);
    *y = 1400.0 * (site / side);
    if (k % 2) {
      // Pairs 5 to 25 m apart, which share a cell in some shifted grids and not in others.
      *x += site % 4 == 0 ? 5.0 + (site * 7) % 13 : 700.0;
      *y += site % 4 == 0 ? 0.5 * ((site * 5) % 11) : 700.0;
    }
  }, error);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool copy_file(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (out < 0) {
    close(in);
    return false;
  }
  std::vector<char> buffer(size_t(1) << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out, buffer.data() + done, size_t(n - done));
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  close(in);
  return close(out) == 0 && ok;
}

struct ChildRun {
  int exit_code = -1;
  double seconds = 0.0;
  long max_rss_kb = 0;
};

// Runs the program with its messages in `log`, the way a shell would, and measures it.
ChildRun run_child(const std::string& program, const std::vector<std::string>& args,
                   const std::string& log) {
  ChildRun run;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (null_in < 0 || out < 0) _exit(126);
    dup2(null_in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  std::memset(&usage, 0, sizeof(usage));
  pid_t done;
  do {
    done = wait4(pid, &status, 0, &usage);
  } while (done < 0 && errno == EINTR);
  run.seconds = seconds_since(start);
  if (done == pid && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  run.max_rss_kb = usage.ru_maxrss;  // kilobytes on Linux
  return run;
}

std::string tail_of(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "";
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text.size() > 300 ? text.substr(text.size() - 300) : text;
}

// Outputs of the run; the folder goes with anything a failed child left in it.
const std::string& work_dir() {
  static const BenchFolder folder("pl_bench_ground_out");
  return folder.path();
}

void BM_Copy(benchmark::State& state, int millions) {
  std::string error;
  const Input* in = input_of(millions, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string out = work_dir() + "/copy.las";
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = copy_file(in->path, out);
    state.SetIterationTime(seconds_since(start));
    if (!ok) state.SkipWithError("copy failed");
  }
  std::remove(out.c_str());
  state.counters["points"] = double(in->points);
  state.counters["points_per_second"] = benchmark::Counter(
      double(in->points) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void run_ground(benchmark::State& state, const Input* in, const char* extension);

void BM_Ground(benchmark::State& state, int millions, const char* extension) {
  std::string error;
  const Input* in = input_of(millions, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  run_ground(state, in, extension);
}

// The corridor must not cost much more than its side-by-side twin: the time of the ground
// estimate follows the points, not the extent.
void BM_GroundTiles(benchmark::State& state, bool corridor) {
  std::string error;
  const Input* in = tiles_input(corridor, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  run_ground(state, in, "las");
}

// A strip delivered twice against the compact scene of as many points (BM_GroundCompact of the
// same size): a point at an existing vertex must cost what any other point costs.
void BM_GroundDoubled(benchmark::State& state, int millions) {
  std::string error;
  const Input* in = doubled_input(millions, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  run_ground(state, in, "las");
}

// Sparse points over a wide extent against a compact scene of as many points, run next to it.
const Input* compact_input(int count, std::string* error) {
  static Input in;
  if (in.points) return &in;
  const std::string path = cache_dir() + "/compact_" + std::to_string(count) + "_v" +
                           std::to_string(kInputVersion) + ".las";
  Header header;
  if (!read_header(path, &header) || header.points == 0) {
    const std::string part = path + ".part";
    if (!write_scene_las_streamed(scene_params(side_for(uint64_t(count))), part,
                                  SceneLasOptions(), nullptr, error) ||
        std::rename(part.c_str(), path.c_str()) != 0 || !read_header(path, &header)) {
      if (error->empty()) *error = "cannot place " + path;
      return nullptr;
    }
  }
  in.path = path;
  in.points = header.points;
  return &in;
}

void BM_GroundPointCount(benchmark::State& state, int count, bool sparse) {
  std::string error;
  const Input* in = sparse ? sparse_input(count, &error) : compact_input(count, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  run_ground(state, in, "las");
}

void BM_GroundClumped(benchmark::State& state, int count) {
  std::string error;
  const Input* in = clumped_input(count, &error);
  if (!in) {
    state.SkipWithError(error.c_str());
    return;
  }
  run_ground(state, in, "las");
}

// The scene of `millions` million points read from VPK rather than LAS: the output pass reads
// the input again, so its points are decoded twice.
void BM_GroundVpkToLas(benchmark::State& state, int millions) {
  std::string error;
  const Input* las = input_of(millions, &error);
  if (!las) {
    state.SkipWithError(error.c_str());
    return;
  }
  static Input vpk;
  vpk.path = cache_dir() + "/urban_" + std::to_string(millions) + "m_v" +
             std::to_string(kInputVersion) + ".vpk";
  vpk.points = las->points;
  Header header;
  if (!read_header(vpk.path, &header) || header.points != las->points) {
    // Made by the ground tool itself, through a ".part" name so that no short file stays.
    const std::string program = self_dir() + "/talvenor_new";
    const std::string part = vpk.path + ".part.vpk";
    const ChildRun made = run_child(program, {"-i", las->path, "-o", part, "-quiet"},
                                    work_dir() + "/make_vpk.log");
    if (made.exit_code != 0 || std::rename(part.c_str(), vpk.path.c_str()) != 0) {
      state.SkipWithError("cannot make the VPK input");
      return;
    }
  }
  run_ground(state, &vpk, "las");
}

void run_ground(benchmark::State& state, const Input* in, const char* extension) {
  std::string error;
  const std::string program = self_dir() + "/talvenor_new";
  const std::string out = work_dir() + "/out." + extension;
  const std::string log = work_dir() + "/talvenor_new.log";
  ChildRun run;
  for (auto _ : state) {
    run = run_child(program, {"-i", in->path, "-o", out}, log);
    state.SetIterationTime(run.seconds);
  }
  if (run.exit_code != 0) {
    error = program + " exited with " + std::to_string(run.exit_code) + ": " + tail_of(log);
    state.SkipWithError(error.c_str());
    return;
  }
  // Every point must come out: a classified file with fewer points is a wrong run, not a fast one.
  Header header;
  if (!read_header(out, &header) || header.points != in->points) {
    error = "output has " + std::to_string(header.points) + " points, input " +
            std::to_string(in->points);
    state.SkipWithError(error.c_str());
  }
  std::remove(out.c_str());
  std::remove(log.c_str());
  state.counters["points"] = double(in->points);
  state.counters["points_per_second"] = benchmark::Counter(
      double(in->points) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["peak_mb_per_million"] =
      (double(run.max_rss_kb) / 1024.0) / (double(in->points) / 1.0e6);
  state.counters["peak_bytes_per_point"] = double(run.max_rss_kb) * 1024.0 / double(in->points);
}

void register_size(int millions) {
  const std::string m = std::to_string(millions) + "M";
  benchmark::RegisterBenchmark(("BM_Copy/" + m).c_str(), BM_Copy, millions)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("BM_GroundLasToLas/" + m).c_str(), BM_Ground, millions, "las")
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("BM_GroundLasToVpk/" + m).c_str(), BM_Ground, millions, "vpk")
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  register_size(1);
  register_size(10);
  benchmark::RegisterBenchmark("BM_GroundSideBySide/5x472k", BM_GroundTiles, false)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_GroundCorridor/5x472k", BM_GroundTiles, true)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  // Each case beside the compact scene of as many points, in one run.
  auto once = [](benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  };
  // A strip of 1 million points delivered twice, after the compact scene of 2 million.
  once(benchmark::RegisterBenchmark("BM_GroundCompact/2M", BM_Ground, 2, "las"));
  once(benchmark::RegisterBenchmark("BM_GroundDoubled/2M", BM_GroundDoubled, 2));
  once(benchmark::RegisterBenchmark("BM_GroundCompact/50k", BM_GroundPointCount, 50000, false));
  once(benchmark::RegisterBenchmark("BM_GroundSparseWide/50k", BM_GroundPointCount, 50000, true));
  once(benchmark::RegisterBenchmark("BM_GroundClumped/50k", BM_GroundClumped, 50000));
  once(benchmark::RegisterBenchmark("BM_GroundVpkToLas/1M", BM_GroundVpkToLas, 1));
  // 30 million points take minutes and about a gigabyte of input.
  const char* large = std::getenv("PL_BENCH_LARGE");
  if (large && std::strcmp(large, "0") != 0 && *large) register_size(30);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
