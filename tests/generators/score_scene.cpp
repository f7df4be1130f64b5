// score_scene <classified.las> <truth.bin> [ground_class]
//
// Compares the classes of a classified scene with the truth that make_scene wrote for it and
// prints how much of the true ground was found and how much else was taken for ground.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "las_fixture.hpp"
#include "scene.hpp"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: score_scene <classified.las> <truth.bin> [ground_class]\n");
    return 1;
  }
  int ground_class = 2;
  if (argc == 4) {
    char* end = nullptr;
    const long value = std::strtol(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0' || value < 0 || value > 255) {
      std::fprintf(stderr, "ERROR: ground class must be a number from 0 to 255\n");
      return 1;
    }
    ground_class = int(value);
  }
  FixtureContents contents;
  std::string error;
  if (!fixture_read_file(argv[1], &contents, &error)) {
    std::fprintf(stderr, "ERROR: cannot read '%s': %s\n", argv[1], error.c_str());
    return 1;
  }
  std::vector<SceneTruthRecord> truth;
  if (!read_scene_truth(argv[2], &truth, &error)) {
    std::fprintf(stderr, "ERROR: cannot read '%s': %s\n", argv[2], error.c_str());
    return 1;
  }
  std::vector<uint8_t> classes;
  classes.reserve(contents.points.size());
  for (const FixturePoint& p : contents.points) classes.push_back(p.classification);
  SceneScore score;
  if (!score_scene(truth, classes, &score, uint8_t(ground_class))) {
    std::fprintf(stderr, "ERROR: '%s' has %zu points but the truth has %zu\n", argv[1],
                 classes.size(), truth.size());
    return 1;
  }
  std::printf("points: %zu (%zu true ground, %zu other)\n", score.points, score.ground,
              score.non_ground);
  std::printf("ground recall: %.4f (%zu true ground points missed)\n", score.ground_recall(),
              score.ground_missed);
  std::printf(
      "commission: %.4f (%zu other points taken for ground: %zu building, %zu vegetation, "
      "%zu outliers)\n",
      score.commission_rate(), score.non_ground_as_ground, score.buildings_as_ground,
      score.vegetation_as_ground, score.outliers_as_ground);
  std::printf("total error: %.4f\n", score.total_error_rate());
  return 0;
}
