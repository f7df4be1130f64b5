#include "geo/geo_projection.hpp"

#include <algorithm>
#include <cmath>

namespace {

struct EllipsoidRow {
  const char* name;
  double a;
  double e2;
  double inverse_flattening;
};

// Id 0 is a placeholder that cannot be selected. Two names end in a blank, and WGS-84 and
// GRS 1980 keep their slightly different e2, as stored descriptions show them.
const EllipsoidRow kEllipsoids[ELLIPSOID_COUNT + 1] = {
    {"Placeholder", 0.0, 0.0, 0.0},
    {"Airy", 6377563.396, 0.00667054, 299.3249646},
    {"Australian National", 6378160.0, 0.006694542, 298.25},
    {"Bessel 1841", 6377397.155, 0.006674372, 299.1528128},
    {"Bessel 1841 (Namibia) ", 6377483.865, 0.006674372, 299.1528128},
    {"Clarke 1866", 6378206.4, 0.006768658, 294.9786982},
    {"Clarke 1880", 6378249.145, 0.006803511, 293.465},
    {"Everest 1830", 6377276.345, 0.006637847, 300.8017},
    {"Fischer 1960 (Mercury) ", 6378166.0, 0.006693422, 298.3},
    {"Fischer 1968", 6378150.0, 0.006693422, 298.3},
    {"GRS 1967", 6378160.0, 0.006694605, 298.247167427},
    {"GRS 1980", 6378137.0, 0.0066943800229, 298.257222101},
    {"Helmert 1906", 6378200.0, 0.006693422, 298.3},
    {"Hough", 6378270.0, 0.00672267, 297.0},
    {"International", 6378388.0, 0.00672267, 297.0},
    {"Krassovsky", 6378245.0, 0.006693422, 298.3},
    {"Modified Airy", 6377340.189, 0.00667054, 299.3249646},
    {"Modified Everest", 6377304.063, 0.006637847, 300.8017},
    {"Modified Fischer 1960", 6378155.0, 0.006693422, 298.3},
    {"South American 1969", 6378160.0, 0.006694542, 298.25},
    {"WGS 60", 6378165.0, 0.006693422, 298.3},
    {"WGS 66", 6378145.0, 0.006694542, 298.25},
    {"WGS-72", 6378135.0, 0.006694318, 298.26},
    {"WGS-84", 6378137.0, 0.00669437999013, 298.257223563},
    {"Indonesian National 1974", 6378160.0, 0.0066946091071419115, 298.2469988070381},
};

constexpr double kQuarterPi = 0.78539816339744830962;

// The conformal latitude function t, the radius factor m and the authalic q of the conic
// projections.
double t_of(double phi, double e) {
  const double es = e * std::sin(phi);
  return std::tan(kQuarterPi - phi / 2) / std::pow((1 - es) / (1 + es), e / 2);
}

double m_of(double phi, double e2) {
  const double s = std::sin(phi);
  return std::cos(phi) / std::sqrt(1 - e2 * s * s);
}

double q_of(double phi, double e, double e2) {
  const double s = std::sin(phi);
  const double es = e * s;
  return (1 - e2) * (s / (1 - e2 * s * s) - std::log((1 - es) / (1 + es)) / (2 * e));
}

void lambert(ProjectionRecord& p, const EllipsoidRecord& el) {
  const double phi0 = p.latitude_r, phi1 = p.parallel_1_r, phi2 = p.parallel_2_r;
  const double m1 = m_of(phi1, el.e2), m2 = m_of(phi2, el.e2);
  const double t0 = t_of(phi0, el.e), t1 = t_of(phi1, el.e), t2 = t_of(phi2, el.e);
  LambertConstants& c = p.lcc;
  c.n = std::fabs(phi1 - phi2) > 1e-10 ? std::log(m1 / m2) / std::log(t1 / t2) : std::sin(phi1);
  c.aF = el.a * m1 / (c.n * std::pow(t1, c.n));
  c.rho0 = (t0 == 0.0 && c.n < 0) ? 0.0 : c.aF * std::pow(t0, c.n);
}

void transverse_mercator(ProjectionRecord& p, const EllipsoidRecord& el) {
  const double a = el.a;
  const double n = (el.a - el.b) / (el.a + el.b);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n;
  double* arc = p.tm.arc;
  arc[0] = a * (1 - n + 5.0 / 4.0 * (n2 - n3) + 81.0 / 64.0 * (n4 - n5));
  arc[1] = 3 * a / 2 * (n - n2 + 7.0 / 8.0 * (n3 - n4) + 55.0 / 64.0 * n5);
  arc[2] = 15 * a / 16 * (n2 - n3 + 3.0 / 4.0 * (n4 - n5));
  arc[3] = 35 * a / 48 * (n3 - n4 + 11.0 / 16.0 * n5);
  arc[4] = 315 * a / 512 * (n4 - n5);
}

void albers(ProjectionRecord& p, const EllipsoidRecord& el) {
  const double phi0 = p.latitude_r, phi1 = p.parallel_1_r, phi2 = p.parallel_2_r;
  const double m1 = m_of(phi1, el.e2), m2 = m_of(phi2, el.e2);
  const double q0 = q_of(phi0, el.e, el.e2), q1 = q_of(phi1, el.e, el.e2),
               q2 = q_of(phi2, el.e, el.e2);
  AlbersConstants& c = p.aeac;
  c.n = std::fabs(phi1 - phi2) > 1e-10 ? (m1 * m1 - m2 * m2) / (q2 - q1) : std::sin(phi1);
  c.C = m1 * m1 + c.n * q1;
  c.two_e = 2 * el.e;
  c.one_minus_e2 = 1 - el.e2;
  c.a_over_n = el.a / c.n;
  c.rho0 = c.n * q0 > c.C ? 0.0 : c.a_over_n * std::sqrt(c.C - c.n * q0);
}

void hotine(ProjectionRecord& p, const EllipsoidRecord& el) {
  const double phic = p.latitude_r;
  const double s = std::sin(phic), co = std::cos(phic);
  const double one_minus_e2 = 1 - el.e2;
  HotineConstants& c = p.hom;
  c.B = std::sqrt(1 + el.e2 * co * co * co * co / one_minus_e2);
  c.A = el.a * c.B * p.scale * std::sqrt(one_minus_e2) / (1 - el.e2 * s * s);
  const double D = c.B * std::sqrt(one_minus_e2) / (co * std::sqrt(1 - el.e2 * s * s));
  double F = D;
  if (D >= 1) F = phic >= 0 ? D + std::sqrt(D * D - 1) : D - std::sqrt(D * D - 1);
  c.E = F * std::pow(std::max(t_of(phic, el.e), 0.0), c.B);
  c.gamma0 = std::asin(std::sin(p.azimuth_r) / D);
  double G = (F - 1 / F) / 2 * std::tan(c.gamma0);
  if (std::fabs(G - 1) <= 1e-10) G = 1;
  c.lambda0 = p.longitude_r - std::asin(G) / c.B;
}

void stereographic(ProjectionRecord& p, const EllipsoidRecord& el) {
  const double phi0 = p.latitude_r;
  const double s = std::sin(phi0), co = std::cos(phi0);
  StereographicConstants& c = p.os;
  c.R2 = 2 * std::sqrt(1 - el.e2) / (1 - el.e2 * s * s);
  c.n = std::sqrt(1 + el.e2 * co * co * co * co / (1 - el.e2));
  c.chi0 = std::asin(s / c.n);
  c.sin_chi0 = std::sin(c.chi0);
  c.cos_chi0 = std::cos(c.chi0);
  c.n_e_half = c.n * el.e / 2;
  const double es = el.e * s;
  c.c = std::tan(c.chi0 / 2 + kQuarterPi) / (std::pow(std::tan(phi0 / 2 + kQuarterPi), c.n) *
                                             std::pow((1 - es) / (1 + es), c.n_e_half));
  c.a_k = el.a * p.scale;
}

}  // namespace

bool ellipsoid_from_id(int id, EllipsoidRecord* ellipsoid) {
  if (id < 1 || id > ELLIPSOID_COUNT) return false;
  const EllipsoidRow& row = kEllipsoids[id];
  EllipsoidRecord& e = *ellipsoid;
  e.id = id;
  e.name = row.name;
  e.a = row.a;
  e.e2 = row.e2;
  e.inverse_flattening = row.inverse_flattening;
  const double root = std::sqrt(1 - row.e2);
  e.b = row.a * root;
  e.e2_prime = row.e2 / (1 - row.e2);
  e.e = std::sqrt(row.e2);
  e.n = (1 - root) / (1 + root);
  return true;
}

namespace {

// One row a kind, in the order of their values: the description a kind has unless a name
// replaces it, and how it derives its constants from the ellipsoid (null: it has none).
struct KindRow {
  const char* description;
  void (*constants)(ProjectionRecord&, const EllipsoidRecord&);
};
const KindRow kKindRows[] = {
    {"", nullptr},  // UTM: its text is built from its zone
    {"Lambert Conformal Conic", lambert},
    {"Transverse Mercator", transverse_mercator},
    {"longitude/latitude", nullptr},
    {"latitude/longitude", nullptr},
    {"earth-centered earth-fixed", nullptr},
    {"Albers Equal Area Conic", albers},
    {"Hotine Oblique Mercator", hotine},
    {"Oblique Stereographic", stereographic},
    {"intentionally no projection", nullptr},
};
static_assert(int(ProjectionKind::UTM) == 0 && int(ProjectionKind::NoProjection) == 9 &&
                  sizeof(kKindRows) / sizeof(kKindRows[0]) == 10,
              "one row for each kind, in the order of their values");

const KindRow* kind_row(ProjectionKind kind) {
  const auto index = size_t(kind);
  return index < sizeof(kKindRows) / sizeof(kKindRows[0]) ? &kKindRows[index] : nullptr;
}

}  // namespace

const char* default_projection_description(ProjectionKind kind) {
  const KindRow* row = kind_row(kind);
  return row ? row->description : "";
}

void compute_projection_constants(ProjectionRecord& p, const EllipsoidRecord& ellipsoid) {
  p.latitude_r = p.latitude * DEGREES_TO_RADIANS;
  p.longitude_r = p.longitude * DEGREES_TO_RADIANS;
  p.parallel_1_r = p.parallel_1 * DEGREES_TO_RADIANS;
  p.parallel_2_r = p.parallel_2 * DEGREES_TO_RADIANS;
  p.azimuth_r = p.azimuth * DEGREES_TO_RADIANS;
  p.angle_r = p.angle * DEGREES_TO_RADIANS;
  const KindRow* row = kind_row(p.kind);
  if (row && row->constants) row->constants(p, ellipsoid);
}
