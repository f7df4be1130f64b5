#include "scene.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFlyingHeight = 1000.0;    // metres above the terrain's base
constexpr double kPulseInterval = 1.0e-5;   // seconds between pulses (100 kHz)
constexpr double kTurnTime = 90.0;          // seconds between flight lines
constexpr double kFirstGpsTime = 250000.0;  // seconds of the GPS week
constexpr double kGridCell = 10.0;          // metres, cell of the feature look-up grid

double smoothstep(double t) {
  if (t <= 0.0) return 0.0;
  if (t >= 1.0) return 1.0;
  return t * t * (3.0 - 2.0 * t);
}

// Per-preset counts per hectare and size ranges of the features.
struct PresetShape {
  double base;
  double slope;              // largest plane slope
  int waves;                 // long waves
  double wave_amplitude[2];  // metres
  double wave_length[2];     // metres
  bool step;                 // embankment
  double step_height[2];
  double step_width;
  double buildings_per_ha;
  int min_buildings;
  double building_side[2];  // metres, of small and medium buildings
  double large_share;       // share of buildings 20 to 60 m wide
  double building_height[2];
  double pitched_share;
  double trees_per_ha;
  int min_trees;
  double tree_radius[2];
  double tree_top[2];
  double shrubs_per_ha;
  double penetration;  // chance that a pulse through a crown reaches the ground
  double understory;   // chance of a return from low plants before the ground
};

const PresetShape& preset_shape(ScenePreset preset) {
  static const PresetShape kFlat = {50.0,       0.004, 2,    {0.1, 0.3}, {80.0, 200.0}, false,
                                    {0.0, 0.0}, 1.0,   2.0,  1,          {8.0, 18.0},   0.0,
                                    {3.0, 8.0}, 0.5,   20.0, 1,          {2.0, 4.0},    {8.0, 15.0},
                                    0.0,        0.6,   0.0};
  static const PresetShape kHilly = {
      200.0,      0.04, 3,    {2.0, 8.0}, {150.0, 400.0}, true,
      {2.0, 4.0}, 1.5,  1.5,  1,          {8.0, 15.0},    0.0,
      {3.0, 7.0}, 0.6,  60.0, 1,          {2.0, 4.5},     {8.0, 22.0},
      10.0,       0.5,  0.05};
  static const PresetShape kUrban = {
      80.0,        0.01, 2,    {0.5, 1.5}, {200.0, 500.0}, true,
      {1.5, 3.0},  1.0,  12.0, 4,          {6.0, 20.0},    0.3,
      {4.0, 25.0}, 0.4,  40.0, 2,          {2.0, 5.0},     {6.0, 18.0},
      0.0,         0.55, 0.0};
  static const PresetShape kForest = {
      300.0,      0.03, 3,     {2.0, 6.0}, {100.0, 300.0}, true,
      {2.0, 3.0}, 2.0,  0.0,   1,          {6.0, 10.0},    0.0,
      {3.0, 5.0}, 1.0,  350.0, 1,          {2.0, 5.0},     {12.0, 30.0},
      150.0,      0.4,  0.15};
  switch (preset) {
    case ScenePreset::kFlat:
      return kFlat;
    case ScenePreset::kHilly:
      return kHilly;
    case ScenePreset::kUrban:
      return kUrban;
    case ScenePreset::kForest:
      break;
  }
  return kForest;
}

// Buckets of feature indices per grid cell so that each pulse looks only at
// the few features near it.
class FeatureGrid {
 public:
  FeatureGrid(double origin_x, double origin_y, double size)
      : origin_x_(origin_x), origin_y_(origin_y) {
    n_ = std::max(1, static_cast<int>(std::ceil(size / kGridCell)));
    cells_.resize(static_cast<size_t>(n_) * n_);
  }
  void add(uint32_t index, double min_x, double min_y, double max_x, double max_y) {
    int x0 = cell(min_x - origin_x_), x1 = cell(max_x - origin_x_);
    int y0 = cell(min_y - origin_y_), y1 = cell(max_y - origin_y_);
    for (int cy = y0; cy <= y1; ++cy) {
      for (int cx = x0; cx <= x1; ++cx) cells_[static_cast<size_t>(cy) * n_ + cx].push_back(index);
    }
  }
  const std::vector<uint32_t>& at(double x, double y) const {
    return cells_[static_cast<size_t>(cell(y - origin_y_)) * n_ + cell(x - origin_x_)];
  }

 private:
  int cell(double local) const {
    int c = static_cast<int>(std::floor(local / kGridCell));
    return c < 0 ? 0 : (c >= n_ ? n_ - 1 : c);
  }
  double origin_x_, origin_y_;
  int n_;
  std::vector<std::vector<uint32_t>> cells_;
};

void make_terrain(const PresetShape& shape, const SceneParams& params, FixtureRandom& r,
                  SceneTerrain* t) {
  t->origin_x = params.origin_x;
  t->origin_y = params.origin_y;
  t->base = shape.base;
  double slope_direction = r.uniform(0.0, 2.0 * kPi);
  double slope = r.uniform(0.25, 1.0) * shape.slope;
  t->slope_x = slope * std::cos(slope_direction);
  t->slope_y = slope * std::sin(slope_direction);
  for (int i = 0; i < shape.waves; ++i) {
    SceneTerrain::Wave w;
    w.amplitude = r.uniform(shape.wave_amplitude[0], shape.wave_amplitude[1]);
    w.wavelength = r.uniform(shape.wave_length[0], shape.wave_length[1]);
    w.direction = r.uniform(0.0, 2.0 * kPi);
    w.phase = r.uniform(0.0, 2.0 * kPi);
    t->waves.push_back(w);
  }
  if (shape.step) {
    t->has_step = true;
    t->step_x = params.origin_x + params.size * r.uniform(0.3, 0.7);
    t->step_y = params.origin_y + params.size * r.uniform(0.3, 0.7);
    t->step_angle = r.uniform(0.0, kPi);
    t->step_height = r.uniform(shape.step_height[0], shape.step_height[1]);
    t->step_width = shape.step_width;
  }
}

// A roof stands on the highest ground under its footprint.
double highest_ground(const SceneTerrain& t, double x0, double y0, double x1, double y1) {
  double best = -1e300;
  for (int i = 0; i <= 4; ++i) {
    for (int j = 0; j <= 4; ++j) {
      best = std::max(best, t.height(x0 + (x1 - x0) * i / 4.0, y0 + (y1 - y0) * j / 4.0));
    }
  }
  return best;
}

void place_buildings(const PresetShape& shape, const SceneParams& params, FixtureRandom& r,
                     Scene* scene) {
  const double hectares = params.size * params.size / 10000.0;
  const int wanted = std::max(shape.min_buildings,
                              static_cast<int>(std::lround(shape.buildings_per_ha * hectares)));
  const double margin = 3.0;
  for (int b = 0; b < wanted; ++b) {
    // The first building of a preset with large ones is large, so that every
    // such scene has a roof wider than the classifier's usual step.
    bool large = shape.large_share > 0.0 && (b == 0 || r.chance(shape.large_share));
    for (int attempt = 0; attempt < 50; ++attempt) {
      double w, d;
      if (large) {
        // Shrinks with the attempts so that a small area still finds room.
        double room = 1.0 - attempt / 50.0;
        w = 21.0 + r.uniform(0.0, 39.0) * room;
        d = 12.0 + r.uniform(0.0, 33.0) * room;
      } else {
        w = r.uniform(shape.building_side[0], shape.building_side[1]);
        d = r.uniform(shape.building_side[0], shape.building_side[1]);
      }
      if (w + 2 * margin > params.size || d + 2 * margin > params.size) {
        large = false;
        continue;
      }
      SceneBuilding s;
      s.min_x = params.origin_x + r.uniform(margin, params.size - margin - w);
      s.min_y = params.origin_y + r.uniform(margin, params.size - margin - d);
      s.max_x = s.min_x + w;
      s.max_y = s.min_y + d;
      const SceneTerrain& t = scene->terrain;
      if (t.has_step) {
        double cx = 0.5 * (s.min_x + s.max_x), cy = 0.5 * (s.min_y + s.max_y);
        double half_diagonal = 0.5 * std::hypot(w, d);
        if (std::fabs(t.step_distance(cx, cy)) < half_diagonal + t.step_width + margin) continue;
      }
      bool overlaps = false;
      for (const SceneBuilding& o : scene->buildings) {
        overlaps = overlaps || (s.min_x < o.max_x + 4.0 && o.min_x < s.max_x + 4.0 &&
                                s.min_y < o.max_y + 4.0 && o.min_y < s.max_y + 4.0);
      }
      if (overlaps) continue;
      double height = r.uniform(shape.building_height[0], shape.building_height[1]);
      s.eave_z = highest_ground(t, s.min_x, s.min_y, s.max_x, s.max_y) + height;
      s.ridge_height = r.chance(shape.pitched_share) ? 0.3 * std::min(w, d) : 0.0;
      scene->buildings.push_back(s);
      break;
    }
  }
}

void place_trees(const PresetShape& shape, const SceneParams& params, FixtureRandom& r,
                 Scene* scene) {
  const double hectares = params.size * params.size / 10000.0;
  const int trees =
      std::max(shape.min_trees, static_cast<int>(std::lround(shape.trees_per_ha * hectares)));
  const int shrubs = static_cast<int>(std::lround(shape.shrubs_per_ha * hectares));
  for (int i = 0; i < trees + shrubs; ++i) {
    const bool shrub = i >= trees;
    for (int attempt = 0; attempt < 50; ++attempt) {
      SceneTree t;
      if (shrub) {
        t.radius = r.uniform(0.7, 1.5);
        t.top = r.uniform(1.0, 3.0);
        t.crown_base = r.uniform(0.2, 0.5);
      } else {
        t.radius = r.uniform(shape.tree_radius[0], shape.tree_radius[1]);
        t.top = r.uniform(shape.tree_top[0], shape.tree_top[1]);
        t.crown_base = t.top * r.uniform(0.3, 0.6);
      }
      t.x = params.origin_x + r.uniform(0.0, params.size);
      t.y = params.origin_y + r.uniform(0.0, params.size);
      bool clash = false;
      for (const SceneBuilding& b : scene->buildings) {
        clash = clash || (t.x + t.radius + 1.0 > b.min_x && t.x - t.radius - 1.0 < b.max_x &&
                          t.y + t.radius + 1.0 > b.min_y && t.y - t.radius - 1.0 < b.max_y);
      }
      if (clash) continue;
      scene->trees.push_back(t);
      break;
    }
  }
}

// Returns of one pulse, highest first.
struct Echo {
  double z;
  SceneTruth truth;
  uint16_t intensity;
};

uint16_t intensity_between(FixtureRandom& r, double lo, double hi) {
  return static_cast<uint16_t>(r.uniform(lo, hi));
}

int trace_pulse(const Scene& scene, const PresetShape& shape, const FeatureGrid& grid, double x,
                double y, double ground, FixtureRandom& r, Echo* echoes) {
  const double noise = scene.params.ground_noise;
  auto ground_echo = [&](double scale) {
    return Echo{ground + (r.unit() + r.unit() - 1.0) * noise, SceneTruth::kGround,
                intensity_between(r, 300.0 * scale, 550.0 * scale)};
  };
  for (uint32_t i : grid.at(x, y)) {
    if (i >= scene.buildings.size()) continue;
    const SceneBuilding& b = scene.buildings[i];
    if (b.contains(x, y)) {
      echoes[0] = {b.roof_z(x, y) + r.uniform(-0.02, 0.02), SceneTruth::kBuilding,
                   intensity_between(r, 500.0, 1100.0)};
      return 1;
    }
  }
  // The crown whose surface is highest at this spot is the one the pulse meets.
  const SceneTree* hit = nullptr;
  double hit_top = 0.0, hit_bottom = 0.0;
  for (uint32_t i : grid.at(x, y)) {
    if (i < scene.buildings.size()) continue;
    const SceneTree& t = scene.trees[i - scene.buildings.size()];
    double d = std::hypot(x - t.x, y - t.y);
    if (d >= t.radius) continue;
    double stem_ground = scene.terrain.height(t.x, t.y);
    double centre = stem_ground + 0.5 * (t.top + t.crown_base);
    double half = 0.5 * (t.top - t.crown_base) * std::sqrt(1.0 - (d / t.radius) * (d / t.radius));
    if (!hit || centre + half > hit_top) {
      hit = &t;
      hit_top = centre + half;
      hit_bottom = centre - half;
    }
  }
  // On a slope the rim of a low crown can sink to the ground beside the stem.
  if (!hit || hit_top - ground < 0.5) {
    echoes[0] = ground_echo(1.0);
    return 1;
  }
  hit_bottom = std::max(hit_bottom, ground + 0.3);
  int n = 0;
  echoes[n++] = {hit_top - r.uniform(0.0, 0.3), SceneTruth::kVegetation,
                 intensity_between(r, 150.0, 450.0)};
  // Returns inside the crown, at least 0.8 m apart as a sensor separates them.
  int inner = static_cast<int>(r.below(3));
  double below = echoes[0].z;
  for (int k = 0; k < inner; ++k) {
    double z = r.uniform(hit_bottom, below);
    if (below - z < 0.8) break;
    echoes[n++] = {z, SceneTruth::kVegetation, intensity_between(r, 50.0, 250.0)};
    below = z;
  }
  if (r.chance(shape.understory)) {
    double z = ground + r.uniform(0.3, 1.5);
    if (below - z >= 0.8) {
      echoes[n++] = {z, SceneTruth::kVegetation, intensity_between(r, 60.0, 200.0)};
      below = z;
    }
  }
  double d = std::hypot(x - hit->x, y - hit->y) / hit->radius;
  double reach = shape.penetration + (1.0 - shape.penetration) * 0.5 * d;  // easier at the rim
  if (r.chance(reach) && below - ground >= 0.8) echoes[n++] = ground_echo(0.6);
  return n;
}

int32_t quantize(double value, double offset, double scale) {
  double q = (value - offset) / scale;
  return static_cast<int32_t>(q >= 0.0 ? q + 0.5 : q - 0.5);
}

void put_le(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

double SceneTerrain::step_distance(double x, double y) const {
  // Normal of the line with direction angle `step_angle`.
  return -(x - step_x) * std::sin(step_angle) + (y - step_y) * std::cos(step_angle);
}

double SceneTerrain::height(double x, double y) const {
  const double u = x - origin_x, v = y - origin_y;
  double z = base + slope_x * u + slope_y * v;
  for (const Wave& w : waves) {
    double along = u * std::cos(w.direction) + v * std::sin(w.direction);
    z += w.amplitude * std::sin(2.0 * kPi * along / w.wavelength + w.phase);
  }
  if (has_step) z += step_height * smoothstep(step_distance(x, y) / step_width + 0.5);
  return z;
}

double SceneBuilding::roof_z(double x, double y) const {
  if (ridge_height <= 0.0) return eave_z;
  const double w = max_x - min_x, d = max_y - min_y;
  // The ridge runs along the longer side; the roof falls linearly to the eaves.
  double across = w >= d ? std::fabs(y - 0.5 * (min_y + max_y)) / (0.5 * d)
                         : std::fabs(x - 0.5 * (min_x + max_x)) / (0.5 * w);
  return eave_z + ridge_height * (1.0 - std::min(1.0, across));
}

const char* scene_preset_name(ScenePreset preset) {
  switch (preset) {
    case ScenePreset::kFlat:
      return "flat";
    case ScenePreset::kHilly:
      return "hilly";
    case ScenePreset::kUrban:
      return "urban";
    case ScenePreset::kForest:
      break;
  }
  return "forest";
}

bool parse_scene_preset(const std::string& name, ScenePreset* preset) {
  for (ScenePreset p :
       {ScenePreset::kFlat, ScenePreset::kHilly, ScenePreset::kUrban, ScenePreset::kForest}) {
    if (name == scene_preset_name(p)) {
      *preset = p;
      return true;
    }
  }
  return false;
}

Scene make_scene_layout(const SceneParams& params) {
  Scene scene;
  scene.params = params;
  const PresetShape& shape = preset_shape(params.preset);
  // Separate streams: the layout of the scene does not change with the density.
  FixtureRandom root(params.seed);
  FixtureRandom layout = root.fork(1);
  make_terrain(shape, params, layout, &scene.terrain);
  place_buildings(shape, params, layout, &scene);
  place_trees(shape, params, layout, &scene);
  scene.flight_lines = std::max(2, static_cast<int>(std::ceil(params.size / 250.0)));
  return scene;
}

namespace {

// The pulses of a laid-out scene in scan order. The pulse stream is forked
// from the seed exactly as the layout's, so a streamed scene and a kept one
// are the same points.
template <class Sink>
void generate_points(const Scene& scene, Sink& sink) {
  const SceneParams& params = scene.params;
  const PresetShape& shape = preset_shape(params.preset);
  FixtureRandom root(params.seed);
  FixtureRandom pulses = root.fork(2);
  FeatureGrid grid(params.origin_x, params.origin_y, params.size);
  for (size_t i = 0; i < scene.buildings.size(); ++i) {
    const SceneBuilding& b = scene.buildings[i];
    grid.add(static_cast<uint32_t>(i), b.min_x, b.min_y, b.max_x, b.max_y);
  }
  for (size_t i = 0; i < scene.trees.size(); ++i) {
    const SceneTree& t = scene.trees[i];
    grid.add(static_cast<uint32_t>(scene.buildings.size() + i), t.x - t.radius, t.y - t.radius,
             t.x + t.radius, t.y + t.radius);
  }

  // Flight lines run north and south in turn over strips that overlap by a
  // few percent; scan lines cross them, sweeping east and west in turn.
  const double size = params.size;
  const double spacing = 1.0 / std::sqrt(params.density);
  const int flight_lines = scene.flight_lines;
  const double strip = size / flight_lines;
  const int scan_lines = std::max(1, static_cast<int>(size / spacing));
  struct Strip {
    double lo, hi;
    int pulses_per_line;
  };
  std::vector<Strip> strips;
  uint64_t total_pulses = 0;
  for (int line = 0; line < flight_lines; ++line) {
    Strip s;
    s.lo = std::max(0.0, (line - 0.05) * strip);
    s.hi = std::min(size, (line + 1.05) * strip);
    s.pulses_per_line = std::max(1, static_cast<int>((s.hi - s.lo) / spacing));
    strips.push_back(s);
    total_pulses += static_cast<uint64_t>(s.pulses_per_line) * scan_lines;
  }
  // A few pulses are spent on outliers, chosen up front so every scene has some.
  const uint64_t outliers = std::max<uint64_t>(3, total_pulses / 25000);
  std::vector<uint64_t> low, high;
  for (uint64_t i = 0; i < outliers; ++i) {
    low.push_back(pulses.next_u64() % total_pulses);
    high.push_back(pulses.next_u64() % total_pulses);
  }
  std::sort(low.begin(), low.end());
  std::sort(high.begin(), high.end());

  sink.reserve(total_pulses);
  double gps_time = kFirstGpsTime;
  uint64_t pulse = 0;
  Echo echoes[8];
  for (int line = 0; line < flight_lines; ++line) {
    const Strip& s = strips[line];
    const bool north = line % 2 == 0;
    const double centre = 0.5 * (s.lo + s.hi);
    for (int k = 0; k < scan_lines; ++k) {
      const int row = north ? k : scan_lines - 1 - k;
      const bool east = k % 2 == 0;
      for (int j = 0; j < s.pulses_per_line; ++j, ++pulse) {
        const int col = east ? j : s.pulses_per_line - 1 - j;
        double u = s.lo + (col + 0.5 + pulses.uniform(-0.3, 0.3)) * spacing;
        double v = (row + 0.5 + pulses.uniform(-0.3, 0.3)) * spacing;
        u = std::min(std::max(u, 0.0), std::nextafter(size, 0.0));
        v = std::min(std::max(v, 0.0), std::nextafter(size, 0.0));
        const double x = params.origin_x + u, y = params.origin_y + v;
        const double ground = scene.terrain.height(x, y);
        int n;
        if (std::binary_search(low.begin(), low.end(), pulse)) {
          echoes[0] = {ground - pulses.uniform(1.0, 15.0), SceneTruth::kLowOutlier,
                       intensity_between(pulses, 20.0, 120.0)};
          n = 1;
        } else if (std::binary_search(high.begin(), high.end(), pulse)) {
          echoes[0] = {ground + pulses.uniform(60.0, 250.0), SceneTruth::kHighNoise,
                       intensity_between(pulses, 5.0, 60.0)};
          n = 1;
        } else {
          n = trace_pulse(scene, shape, grid, x, y, ground, pulses, echoes);
        }
        double angle = std::atan((u - centre) / kFlyingHeight) * 180.0 / kPi;
        for (int e = 0; e < n; ++e) {
          ScenePoint p;
          p.x = x;
          p.y = y;
          p.z = echoes[e].z;
          p.ground_z = ground;
          p.truth = echoes[e].truth;
          p.return_number = static_cast<uint8_t>(e + 1);
          p.number_of_returns = static_cast<uint8_t>(n);
          p.scan_direction_flag = east;
          p.edge_of_flight_line = j == s.pulses_per_line - 1;
          p.intensity = echoes[e].intensity;
          p.point_source_ID = static_cast<uint16_t>(line + 1);
          p.gps_time = gps_time;
          p.scan_angle = north ? angle : -angle;
          sink.point(p);
        }
        gps_time += kPulseInterval;
      }
    }
    gps_time += kTurnTime;
  }
}

}  // namespace

Scene make_scene(const SceneParams& params) {
  Scene scene = make_scene_layout(params);
  struct Keep {
    Scene* scene;
    void reserve(uint64_t pulses) { scene->points.reserve(static_cast<size_t>(pulses * 1.3)); }
    void point(const ScenePoint& p) { scene->points.push_back(p); }
  } keep{&scene};
  generate_points(scene, keep);
  return scene;
}

FixtureFile scene_fixture_file(const Scene& scene, const SceneLasOptions& options) {
  FixtureFile f;
  f.point_data_format = options.point_data_format;
  f.version_minor = options.version_minor;
  while (f.version_minor < 4 && !fixture_format_allowed(f.version_minor, f.point_data_format)) {
    ++f.version_minor;
  }
  f.system_identifier = std::string("scene ") + scene_preset_name(scene.params.preset);
  f.generating_software = "make_scene";
  f.scale = {options.scale, options.scale, options.scale};
  f.offset = {std::floor(scene.params.origin_x), std::floor(scene.params.origin_y), 0.0};
  return f;
}

namespace {

FixturePoint scene_fixture_point(const ScenePoint& s, const FixtureFile& f,
                                 const SceneLasOptions& options) {
  static const uint8_t kTruthClass[5] = {2, 6, 5, 7, 18};
  // Colours a viewer shows at a glance: earth, roof, leaves, white noise.
  static const uint16_t kTruthColour[5][4] = {{0x8C00, 0x6E00, 0x4B00, 0x3000},
                                              {0xB000, 0x4000, 0x3800, 0x2000},
                                              {0x2E00, 0x8B00, 0x2E00, 0xE000},
                                              {0xFF00, 0xFF00, 0xFF00, 0x8000},
                                              {0xFF00, 0xFF00, 0xFF00, 0x8000}};
  FixturePoint p;
  p.X = quantize(s.x, f.offset[0], f.scale[0]);
  p.Y = quantize(s.y, f.offset[1], f.scale[1]);
  p.Z = quantize(s.z, f.offset[2], f.scale[2]);
  p.intensity = s.intensity;
  p.return_number = s.return_number;
  p.number_of_returns = s.number_of_returns;
  p.scan_direction_flag = s.scan_direction_flag;
  p.edge_of_flight_line = s.edge_of_flight_line;
  const int truth = static_cast<int>(s.truth);
  p.classification = options.truth_classes ? kTruthClass[truth] : options.classification;
  if (f.point_data_format >= 6) {
    p.extended_scan_angle = static_cast<int16_t>(std::lround(s.scan_angle / 0.006));
  } else {
    p.scan_angle_rank = static_cast<int8_t>(std::lround(s.scan_angle));
  }
  p.point_source_ID = s.point_source_ID;
  p.gps_time = s.gps_time;
  for (int c = 0; c < 3; ++c) p.rgb[c] = kTruthColour[truth][c];
  p.nir = kTruthColour[truth][3];
  return p;
}

}  // namespace

std::vector<FixturePoint> scene_fixture_points(const Scene& scene, const SceneLasOptions& options) {
  const FixtureFile f = scene_fixture_file(scene, options);
  std::vector<FixturePoint> out;
  out.reserve(scene.points.size());
  for (const ScenePoint& s : scene.points) out.push_back(scene_fixture_point(s, f, options));
  return out;
}

bool write_scene_las(const Scene& scene, const std::string& path, const SceneLasOptions& options,
                     std::string* error) {
  return fixture_write_file(path, scene_fixture_file(scene, options),
                            scene_fixture_points(scene, options), error);
}

bool write_scene_las_streamed(const SceneParams& params, const std::string& path,
                              const SceneLasOptions& options, uint64_t* point_count,
                              std::string* error) {
  const Scene scene = make_scene_layout(params);
  const FixtureFile f = scene_fixture_file(scene, options);
  // The header and records of a file without points; counts and bounds are
  // patched in once every point has gone by.
  std::vector<uint8_t> head = fixture_write_bytes(f, {});
  const uint16_t record_length = fixture_record_length(f);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " '" + path + "'";
    if (file) std::fclose(file);
    return false;
  };
  if (!file) return fail("cannot create");
  if (std::fwrite(head.data(), 1, head.size(), file) != head.size()) return fail("cannot write");

  struct Stream {
    std::FILE* file;
    const FixtureFile& f;
    const SceneLasOptions& options;
    uint16_t record_length;
    std::vector<uint8_t> buffer;
    size_t used = 0;
    bool ok = true;
    uint64_t count = 0;
    std::array<uint64_t, 15> by_return = {};
    int32_t lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};

    void reserve(uint64_t) {}
    void flush() {
      if (used && std::fwrite(buffer.data(), 1, used, file) != used) ok = false;
      used = 0;
    }
    void point(const ScenePoint& s) {
      const FixturePoint p = scene_fixture_point(s, f, options);
      const int32_t v[3] = {p.X, p.Y, p.Z};
      for (int i = 0; i < 3; ++i) {
        if (count == 0 || v[i] < lo[i]) lo[i] = v[i];
        if (count == 0 || v[i] > hi[i]) hi[i] = v[i];
      }
      const unsigned r = f.point_data_format >= 6 ? (p.return_number & 15) : (p.return_number & 7);
      if (r >= 1) ++by_return[r - 1];
      ++count;
      if (used + record_length > buffer.size()) flush();
      fixture_encode_point(p, f.point_data_format, record_length, buffer.data() + used);
      used += record_length;
    }
  } stream{file, f, options, record_length, std::vector<uint8_t>(size_t(1) << 20)};
  generate_points(scene, stream);
  stream.flush();
  if (!stream.ok) return fail("cannot write");

  // Only the fields that depend on the points differ from the empty file's.
  std::vector<FixturePoint> extremes(2);
  extremes[0].X = stream.lo[0];
  extremes[0].Y = stream.lo[1];
  extremes[0].Z = stream.lo[2];
  extremes[1].X = stream.hi[0];
  extremes[1].Y = stream.hi[1];
  extremes[1].Z = stream.hi[2];
  FixtureHeader h = fixture_make_header(f, stream.count ? extremes : std::vector<FixturePoint>());
  const bool las14 = f.version_minor >= 4;
  const bool legacy = !las14 || (f.point_data_format <= 5 && stream.count <= 0xFFFFFFFFull);
  if (legacy) {
    fixture_put_u32(head, 107, static_cast<uint32_t>(stream.count));
    for (int r = 0; r < 5; ++r)
      fixture_put_u32(head, 111 + 4 * r, static_cast<uint32_t>(stream.by_return[r]));
  }
  fixture_put_f64(head, 179, h.max_x);
  fixture_put_f64(head, 187, h.min_x);
  fixture_put_f64(head, 195, h.max_y);
  fixture_put_f64(head, 203, h.min_y);
  fixture_put_f64(head, 211, h.max_z);
  fixture_put_f64(head, 219, h.min_z);
  if (las14) {
    fixture_put_u64(head, 247, stream.count);
    for (int r = 0; r < 15; ++r) fixture_put_u64(head, 255 + 8 * r, stream.by_return[r]);
  }
  if (std::fseek(file, 0, SEEK_SET) != 0 ||
      std::fwrite(head.data(), 1, head.size(), file) != head.size()) {
    return fail("cannot write");
  }
  if (std::fclose(file) != 0) {
    file = nullptr;
    return fail("cannot close");
  }
  if (point_count) *point_count = stream.count;
  return true;
}

std::vector<SceneTruthRecord> scene_truth(const Scene& scene) {
  std::vector<SceneTruthRecord> out;
  out.reserve(scene.points.size());
  for (const ScenePoint& p : scene.points) out.push_back({p.truth, p.ground_z});
  return out;
}

bool write_scene_truth(const Scene& scene, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes(std::begin("SCENETRU"), std::end("SCENETRU") - 1);
  put_le(bytes, 1, 4);
  put_le(bytes, scene.points.size(), 8);
  for (const ScenePoint& p : scene.points) {
    bytes.push_back(static_cast<uint8_t>(p.truth));
    uint64_t bits;
    std::memcpy(&bits, &p.ground_z, 8);
    put_le(bytes, bits, 8);
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = "cannot open '" + path + "' for writing";
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok && error) *error = "cannot write '" + path + "'";
  return ok;
}

bool read_scene_truth(const std::string& path, std::vector<SceneTruthRecord>* records,
                      std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return fail("cannot open '" + path + "' for reading");
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  std::fclose(f);
  if (bytes.size() < 20 || std::memcmp(bytes.data(), "SCENETRU", 8) != 0 ||
      fixture_get_u32(bytes, 8) != 1) {
    return fail("'" + path + "' is not a scene truth file");
  }
  const uint64_t count = fixture_get_u64(bytes, 12);
  if ((bytes.size() - 20) / 9 != count || (bytes.size() - 20) % 9 != 0) {
    return fail("'" + path + "' has the wrong length for its point count");
  }
  records->clear();
  records->reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    size_t at = 20 + 9 * i;
    if (bytes[at] > static_cast<uint8_t>(SceneTruth::kHighNoise)) {
      return fail("'" + path + "' holds an unknown truth value");
    }
    records->push_back({static_cast<SceneTruth>(bytes[at]), fixture_get_f64(bytes, at + 1)});
  }
  return true;
}

bool score_scene(const std::vector<SceneTruthRecord>& truth, const std::vector<uint8_t>& classes,
                 SceneScore* score, uint8_t ground_class) {
  if (truth.size() != classes.size()) return false;
  SceneScore s;
  s.points = truth.size();
  for (size_t i = 0; i < truth.size(); ++i) {
    const bool as_ground = classes[i] == ground_class;
    switch (truth[i].truth) {
      case SceneTruth::kGround:
        ++s.ground;
        s.ground_missed += !as_ground;
        continue;
      case SceneTruth::kBuilding:
        s.buildings_as_ground += as_ground;
        break;
      case SceneTruth::kVegetation:
        s.vegetation_as_ground += as_ground;
        break;
      case SceneTruth::kLowOutlier:
      case SceneTruth::kHighNoise:
        ++s.outliers;
        s.outliers_as_ground += as_ground;
        break;
    }
    ++s.non_ground;
    s.non_ground_as_ground += as_ground;
  }
  *score = s;
  return true;
}

bool score_scene(const Scene& scene, const std::vector<uint8_t>& classes, SceneScore* score,
                 uint8_t ground_class) {
  return score_scene(scene_truth(scene), classes, score, ground_class);
}
