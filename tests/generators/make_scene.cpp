// make_scene <preset> <out.las> [size_m] [density] [seed] [truth.bin]
//
// Writes a synthetic airborne scene as LAS 1.2 point format 1 (every point of
// class 1), for demonstrations and benchmarks of the ground classifier, and
// optionally its truth for scoring the result.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scene.hpp"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: make_scene <flat|hilly|urban|forest> <out.las> [size_m] [density] [seed] "
               "[truth.bin]\n"
               "  size_m: side of the square area in metres (default 200)\n"
               "  density: laser pulses per square metre (default 4)\n"
               "  seed: any unsigned number (default 1)\n");
  return 1;
}

bool parse_number(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

bool parse_seed(const char* text, uint64_t* value) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text, &end, 10);
  return *end == '\0' && errno == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 7) return usage();
  SceneParams params;
  if (!parse_scene_preset(argv[1], &params.preset)) {
    std::fprintf(stderr, "ERROR: unknown preset '%s'\n", argv[1]);
    return usage();
  }
  double size = params.size, density = params.density;
  if ((argc > 3 && !parse_number(argv[3], &size)) ||
      (argc > 4 && !parse_number(argv[4], &density)) ||
      (argc > 5 && !parse_seed(argv[5], &params.seed))) {
    std::fprintf(stderr, "ERROR: size and density must be numbers, seed an unsigned integer\n");
    return usage();
  }
  // Bounds that keep memory, run time and the LAS integers in range.
  if (!(size >= 1.0 && size <= 2000.0) || !(density > 0.0 && density <= 1000.0) ||
      !(size * size * density <= 1.0e7)) {
    std::fprintf(stderr,
                 "ERROR: size must be 1 to 2000 m, density above 0 and at most 1000, "
                 "size * size * density at most 1e7\n");
    return 1;
  }
  params.size = size;
  params.density = density;

  const Scene scene = make_scene(params);
  std::string error;
  if (!write_scene_las(scene, argv[2], SceneLasOptions(), &error)) {
    std::fprintf(stderr, "ERROR: %s\n", error.c_str());
    return 1;
  }
  if (argc > 6 && !write_scene_truth(scene, argv[6], &error)) {
    std::fprintf(stderr, "ERROR: %s\n", error.c_str());
    return 1;
  }
  size_t counts[5] = {};
  for (const ScenePoint& p : scene.points) ++counts[static_cast<int>(p.truth)];
  std::printf("%zu points written to '%s' (%s, %g m, %g pulses/m2, seed %llu)\n",
              scene.points.size(), argv[2], scene_preset_name(params.preset), size, density,
              static_cast<unsigned long long>(params.seed));
  std::printf("truth: %zu ground, %zu building, %zu vegetation, %zu low outlier, %zu high noise\n",
              counts[0], counts[1], counts[2], counts[3], counts[4]);
  return 0;
}
