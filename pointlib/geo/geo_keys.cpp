// GeoTIFF keys: a LAS file's key directory into the projector, and a side's projection back
// into a key list and double parameters for an output header.

#include <cstdio>
#include <initializer_list>

#include "geo/las_geo_projector.hpp"
#include "platform/run_messages.hpp"

namespace {

enum GeoKey : uint16_t {
  GTModelTypeGeoKey = 1024,
  GeographicTypeGeoKey = 2048,
  GeogGeodeticDatumGeoKey = 2050,
  GeogLinearUnitsGeoKey = 2052,
  GeogEllipsoidGeoKey = 2056,
  GeogSemiMajorAxisGeoKey = 2057,
  GeogInvFlatteningGeoKey = 2059,
  ProjectedCSTypeGeoKey = 3072,
  ProjCoordTransGeoKey = 3075,
  ProjLinearUnitsGeoKey = 3076,
  ProjStdParallel1GeoKey = 3078,
  ProjStdParallel2GeoKey = 3079,
  ProjNatOriginLongGeoKey = 3080,
  ProjNatOriginLatGeoKey = 3081,
  ProjFalseEastingGeoKey = 3082,
  ProjFalseNorthingGeoKey = 3083,
  ProjFalseOriginLongGeoKey = 3084,
  ProjFalseOriginLatGeoKey = 3085,
  ProjFalseOriginEastingGeoKey = 3086,
  ProjFalseOriginNorthingGeoKey = 3087,
  ProjCenterLongGeoKey = 3088,
  ProjCenterLatGeoKey = 3089,
  ProjScaleAtNatOriginGeoKey = 3092,
  ProjScaleAtCenterGeoKey = 3093,
  ProjAzimuthAngleGeoKey = 3094,
  ProjRectifiedGridAngleGeoKey = 3096,
  VerticalCSTypeGeoKey = 4096,
  VerticalUnitsGeoKey = 4099,
};

constexpr uint16_t kDoubleParamsTag = 34736;
constexpr uint16_t kUserDefined = 32767;

// Values of ProjCoordTransGeoKey.
enum : int {
  CT_TransverseMercator = 1,
  CT_ObliqueMercator = 3,
  CT_LambertConfConic_2SP = 8,
  CT_AlbersEqualArea = 11,
  CT_ObliqueStereographic = 16,
};

// The transformations this system implements, by their value; the oblique stereographic is
// read but not written.
struct Transformation {
  int value;
  ProjectionKind kind;
  bool written;
};
const Transformation kTransformations[] = {
    {CT_TransverseMercator, ProjectionKind::TransverseMercator, true},
    {CT_ObliqueMercator, ProjectionKind::HotineObliqueMercator, true},
    {CT_LambertConfConic_2SP, ProjectionKind::LambertConformalConic, true},
    {CT_AlbersEqualArea, ProjectionKind::AlbersEqualAreaConic, true},
    {CT_ObliqueStereographic, ProjectionKind::ObliqueStereographic, false},
};

bool implemented_transformation(int value) {
  for (const Transformation& t : kTransformations) {
    if (t.value == value) return true;
  }
  return false;
}

// The value a written projection of `kind` has; 0 for a kind that is not written.
int written_transformation(ProjectionKind kind) {
  for (const Transformation& t : kTransformations) {
    if (t.kind == kind && t.written) return t.value;
  }
  return 0;
}

// Names of the transformations this system does not implement, by their value.
struct NamedValue {
  int value;
  const char* name;
};
const NamedValue kUnimplementedTransformations[] = {
    {2, "CT_TransvMercator_Modified_Alaska"},
    {4, "CT_ObliqueMercator_Laborde"},
    {5, "CT_ObliqueMercator_Rosenmund"},
    {6, "CT_ObliqueMercator_Spherical"},
    {7, "CT_Mercator"},
    {9, "CT_LambertConfConic_Helmert"},
    {10, "CT_LambertAzimEqualArea"},
    {12, "CT_AzimuthalEquidistant"},
    {13, "CT_EquidistantConic"},
    {14, "CT_Stereographic"},
    {15, "CT_PolarStereographic"},
    {17, "CT_Equirectangular"},
    {18, "CT_CassiniSoldner"},
    {19, "CT_Gnomonic"},
    {20, "CT_MillerCylindrical"},
    {21, "CT_Orthographic"},
    {22, "CT_Polyconic"},
    {23, "CT_Robinson"},
    {24, "CT_Sinusoidal"},
    {25, "CT_VanDerGrinten"},
    {26, "CT_NewZealandMapGrid"},
    {27, "CT_TransvMercator_SouthOriented"},
};

const char* unimplemented_transformation(int value) {
  for (const NamedValue& t : kUnimplementedTransformations) {
    if (t.value == value) return t.name;
  }
  return nullptr;
}

// What a GeographicTypeGeoKey value means here: an ellipsoid, a geographic system, or nothing.
struct GeographicMeaning {
  int ellipsoid = -1;
  int gcs = 0;
  bool ignored = false;
};

GeographicMeaning geographic_type(int v) {
  GeographicMeaning m;
  if (v == 4001) m.ellipsoid = 1;
  if (v == 4002) m.ellipsoid = 16;
  if (v == 4003) m.ellipsoid = 2;
  if (v == 4004 || v == 4005) m.ellipsoid = 3;
  if (v == 4006) m.ellipsoid = 4;
  if (v == 4008 || v == 4009) m.ellipsoid = 5;
  if ((v >= 4010 && v <= 4014) || v == 4034) m.ellipsoid = 6;
  if (v >= 4015 && v <= 4017) m.ellipsoid = 7;
  if (v == 4018) m.ellipsoid = 17;
  if (v == 4019) m.ellipsoid = 11;
  if (v == 4020) m.ellipsoid = 12;
  if (v == 4022 || v == 4023) m.ellipsoid = 14;
  if (v == 4024) m.ellipsoid = 15;
  if (v == 4030) m.ellipsoid = 23;
  if (v == 4140 || v == 4617 || v == 32767) m.ignored = true;
  if (v == 4152 || v == 4957) m.gcs = 4152;
  if (v == 4167 || v == 4267 || v == 4269 || v == 4283 || v == 4322 || v == 4326 || v == 4619 ||
      v == 6322 || v == 7844) {
    m.gcs = v;
  }
  if (v == 4759 || v == 4893) m.gcs = 4759;
  if (v == 6318 || v == 6319) m.gcs = 6318;
  if (v == 6782 || v == 6783) m.gcs = 6783;
  return m;
}

// The ellipsoid a GeogGeodeticDatumGeoKey value implies; -1 for none, -2 for a datum that is
// known and needs nothing.
int datum_ellipsoid(int v) {
  if (v == 6001) return 1;
  if (v == 6002) return 16;
  if (v == 6003 || v == 6202 || v == 6203) return 2;
  if (v == 6004 || v == 6005) return 3;
  if (v == 6006) return 4;
  if (v == 6008 || v == 6009) return 5;
  if ((v >= 6010 && v <= 6014) || v == 6034) return 6;
  if (v >= 6015 && v <= 6017) return 7;
  if (v == 6018) return 17;
  if (v == 6019) return 11;
  if (v == 6020) return 12;
  if (v == 6022 || v == 6023) return 14;
  if (v == 6024) return 15;
  if (v == 6030) return 23;
  if (v == 6140 || v == 6167 || v == 6267 || v == 6269 || v == 6283 || v == 6322 || v == 6326 ||
      v == 6619 || v == 9844 || v == 32767) {
    return -2;
  }
  return -1;
}

// The parameter keys 3078 to 3096 and where their values stand in the double parameters.
class ParameterIndices {
 public:
  static bool is_parameter(uint16_t key) { return key >= 3078 && key <= 3096; }
  void set(uint16_t key, int index) { index_[key - 3078] = index; }
  bool has(uint16_t key) const { return index_[key - 3078] >= 0; }
  // The value of `key`; only for keys that `has`.
  double value(uint16_t key, const double* doubles) const { return doubles[index_[key - 3078]]; }

 private:
  int index_[3096 - 3078 + 1] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                 -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// The geographic system written for a built-in ellipsoid when no system is known.
struct EllipsoidGcs {
  int ellipsoid;
  uint16_t gcs;
};
const EllipsoidGcs kEllipsoidGcs[] = {{1, 4001},  {2, 4003},  {3, 4004},  {4, 4006},  {5, 4267},
                                      {6, 4034},  {11, 4269}, {12, 4020}, {14, 4022}, {15, 4024},
                                      {16, 4002}, {17, 4018}, {22, 4322}, {23, 4326}};

GeoKeyEntry entry(uint16_t key, uint16_t value) {
  return GeoKeyEntry{key, 0, 1, value};
}

}  // namespace

bool LASgeoProjector::set_ProjLinearUnitsGeoKey(int code, bool source) {
  if (set_unit_code(code, source, true)) return true;
  std::fprintf(stderr, "set_ProjLinearUnitsGeoKey: look-up for %d not implemented\n", code);
  return false;
}

bool LASgeoProjector::set_VerticalUnitsGeoKey(int code) {
  if (set_unit_code(code, true, false)) return true;
  std::fprintf(stderr, "set_VerticalUnitsGeoKey: look-up for %d not implemented\n", code);
  return false;
}

bool LASgeoProjector::set_ProjectedCSTypeGeoKey(int code, std::string* description, bool source) {
  if (code == kUserDefined) {
    if (description) *description = "user-defined";
    return true;
  }
  // Key values are 16-bit; a larger number cannot be a code of the tables.
  if (code >= 0 && code <= 65535 && set_epsg_code(uint16_t(code), description, source)) {
    return true;
  }
  std::fprintf(stderr, "set_ProjectedCSTypeGeoKey: look-up for %d not implemented\n", code);
  return false;
}

bool LASgeoProjector::set_GTModelTypeGeoKey(int value, std::string* description) {
  switch (value) {
    case 0:
      set_no_projection(description, true);
      return true;
    case 2:
      set_longlat_projection(description, true);
      return true;
    case 3:
      set_ecef_projection(description, true);
      return true;
    default:
      return false;
  }
}

bool LASgeoProjector::set_projection_from_geo_keys(int number_of_keys, const GeoKeyEntry* keys,
                                                   const char* ascii_parameters,
                                                   const double* doubles, int number_of_doubles,
                                                   std::string* description, bool source) {
  if (number_of_keys < 0 || !keys) number_of_keys = 0;
  stored_keys_.assign(keys, keys + number_of_keys);
  stored_ascii_parameters_ = ascii_parameters;
  stored_double_parameters_ = doubles;
  stored_double_count_ = doubles ? number_of_doubles : 0;
  if (number_of_keys == 0) return false;

  bool result = false;
  int gcs = 0;
  int ellipsoid = -1;
  int transformation = 0;
  ParameterIndices parameters;

  for (const GeoKeyEntry& key : stored_keys_) {
    const int value = key.value_offset;
    switch (key.key_id) {
      case GTModelTypeGeoKey:
        result = set_GTModelTypeGeoKey(value, description);
        break;
      case GeographicTypeGeoKey: {
        const GeographicMeaning m = geographic_type(value);
        if (m.ellipsoid != -1) {
          ellipsoid = m.ellipsoid;
        } else if (m.gcs) {
          gcs = m.gcs;
        } else if (!m.ignored) {
          print_note("GeographicTypeGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      }
      case GeogGeodeticDatumGeoKey: {
        const int id = datum_ellipsoid(value);
        if (id >= 0) {
          ellipsoid = id;
        } else if (id == -1) {
          print_note("GeogGeodeticDatumGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      }
      case GeogLinearUnitsGeoKey:
        if (!set_unit_code(value, true, true)) {
          print_note("GeogLinearUnitsGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      case GeogEllipsoidGeoKey:
        ellipsoid = ellipsoid_id_from_epsg(value);
        break;
      case ProjectedCSTypeGeoKey:
        result = set_ProjectedCSTypeGeoKey(value, description, source);
        break;
      case ProjCoordTransGeoKey:
        if (implemented_transformation(value)) {
          transformation = value;
        } else if (const char* name = unimplemented_transformation(value)) {
          transformation = 0;
          print_note("ProjCoordTransGeoKey: %s not implemented\n", name);
        } else {
          transformation = 0;
          print_note("ProjCoordTransGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      case ProjLinearUnitsGeoKey:
        set_ProjLinearUnitsGeoKey(value, true);
        break;
      case VerticalCSTypeGeoKey:
        set_VerticalCSTypeGeoKey(value, nullptr);
        break;
      case VerticalUnitsGeoKey:
        set_VerticalUnitsGeoKey(value);
        break;
      default:
        if (!ParameterIndices::is_parameter(key.key_id)) break;
        // A parameter that points past the double parameters (or into another record) would
        // be read from memory that is not the file's; it counts as absent.
        if (key.tiff_tag_location != kDoubleParamsTag || value >= stored_double_count_) {
          print_note("WARNING: GeoKey %d has no double parameter %d. ignoring it.\n", key.key_id,
                     value);
          break;
        }
        parameters.set(key.key_id, value);
        break;
    }
  }

  if (gcs) {
    set_gcs(gcs);
  } else if (ellipsoid != -1) {
    set_ellipsoid(ellipsoid);
  }
  if (transformation == 0) return result;

  const ParameterIndices& p = parameters;
  auto has = [&p](uint16_t key) { return p.has(key); };
  auto get = [&p, doubles](uint16_t key) { return p.value(key, doubles); };
  // The first key of `keys` that is present, or 0.
  auto first = [&has](std::initializer_list<uint16_t> keys) -> uint16_t {
    for (uint16_t key : keys) {
      if (has(key)) return key;
    }
    return 0;
  };
  const double factor = source_h_factor_;
  switch (transformation) {
    case CT_TransverseMercator: {
      if (!has(ProjFalseEastingGeoKey) || !has(ProjFalseNorthingGeoKey) ||
          !has(ProjNatOriginLatGeoKey) || !has(ProjCenterLongGeoKey) ||
          !has(ProjScaleAtNatOriginGeoKey)) {
        return result;
      }
      set_tm_projection(get(ProjFalseEastingGeoKey) * factor, get(ProjFalseNorthingGeoKey) * factor,
                        get(ProjNatOriginLatGeoKey), get(ProjCenterLongGeoKey),
                        get(ProjScaleAtNatOriginGeoKey), nullptr, source);
      if (description) *description = "generic transverse mercator";
      return true;
    }
    case CT_LambertConfConic_2SP: {
      const uint16_t fe = first({ProjFalseEastingGeoKey, ProjFalseOriginEastingGeoKey});
      const uint16_t fn = first({ProjFalseNorthingGeoKey, ProjFalseOriginNorthingGeoKey});
      const uint16_t lat = first({ProjNatOriginLatGeoKey, ProjFalseOriginLatGeoKey});
      const uint16_t lon =
          first({ProjCenterLongGeoKey, ProjNatOriginLongGeoKey, ProjFalseOriginLongGeoKey});
      if (!fe || !fn || !lat || !lon || !has(ProjStdParallel1GeoKey) ||
          !has(ProjStdParallel2GeoKey)) {
        return result;
      }
      double meridian = get(lon);
      if (meridian == 0.0 && has(ProjNatOriginLongGeoKey)) meridian = get(ProjNatOriginLongGeoKey);
      set_lcc_projection(get(fe) * factor, get(fn) * factor, get(lat), meridian,
                         get(ProjStdParallel1GeoKey), get(ProjStdParallel2GeoKey), nullptr, source);
      if (description) *description = "generic lambert conformal conic";
      return true;
    }
    case CT_AlbersEqualArea: {
      const uint16_t lon = first({ProjCenterLongGeoKey, ProjNatOriginLongGeoKey});
      if (!has(ProjFalseEastingGeoKey) || !has(ProjFalseNorthingGeoKey) ||
          !has(ProjNatOriginLatGeoKey) || !lon || !has(ProjStdParallel1GeoKey) ||
          !has(ProjStdParallel2GeoKey)) {
        return result;
      }
      double longitude = get(lon);
      if (longitude == 0.0 && has(ProjNatOriginLongGeoKey)) {
        longitude = get(ProjNatOriginLongGeoKey);
      }
      set_aeac_projection(get(ProjFalseEastingGeoKey) * factor,
                          get(ProjFalseNorthingGeoKey) * factor, get(ProjNatOriginLatGeoKey),
                          longitude, get(ProjStdParallel1GeoKey), get(ProjStdParallel2GeoKey),
                          nullptr, source);
      if (description) *description = "generic albers equal area";
      return true;
    }
    case CT_ObliqueStereographic: {
      const uint16_t lon = first({ProjCenterLongGeoKey, ProjNatOriginLongGeoKey});
      if (!has(ProjFalseEastingGeoKey) || !has(ProjFalseNorthingGeoKey) ||
          !has(ProjNatOriginLatGeoKey) || !lon || !has(ProjScaleAtNatOriginGeoKey)) {
        return result;
      }
      set_os_projection(get(ProjFalseEastingGeoKey) * factor, get(ProjFalseNorthingGeoKey) * factor,
                        get(ProjNatOriginLatGeoKey), get(lon), get(ProjScaleAtNatOriginGeoKey),
                        nullptr, source);
      if (description) *description = "generic oblique stereographic";
      return true;
    }
    default: {  // CT_ObliqueMercator
      if (!has(ProjFalseEastingGeoKey) || !has(ProjFalseNorthingGeoKey) ||
          !has(ProjCenterLatGeoKey) || !has(ProjCenterLongGeoKey) || !has(ProjAzimuthAngleGeoKey) ||
          !has(ProjScaleAtCenterGeoKey)) {
        return result;
      }
      const double azimuth = get(ProjAzimuthAngleGeoKey);
      const double angle =
          has(ProjRectifiedGridAngleGeoKey) ? get(ProjRectifiedGridAngleGeoKey) : azimuth;
      set_hom_projection(get(ProjFalseEastingGeoKey) * factor,
                         get(ProjFalseNorthingGeoKey) * factor, get(ProjCenterLatGeoKey),
                         get(ProjCenterLongGeoKey), azimuth, angle, get(ProjScaleAtCenterGeoKey),
                         nullptr, source);
      if (description) *description = "generic hotine oblique mercator";
      return true;
    }
  }
}

uint16_t LASgeoProjector::get_GeographicTypeGeoKey() const {
  if (const uint16_t code = geographic_code()) return code;
  print_note("GeographicTypeGeoKey: look-up for ellipsoid with id %d not implemented\n",
             ellipsoid_.id);
  return 0;
}

uint16_t LASgeoProjector::geographic_code() const {
  for (const GeoKeyEntry& key : stored_keys_) {
    if (key.key_id == GeographicTypeGeoKey) return key.value_offset;
  }
  if (gcs_code_ != -1) return uint16_t(gcs_code_);
  for (const EllipsoidGcs& e : kEllipsoidGcs) {
    if (e.ellipsoid == ellipsoid_.id) return e.gcs;
  }
  return 0;
}

uint16_t LASgeoProjector::get_VerticalCSTypeGeoKey() const {
  for (const GeoKeyEntry& key : stored_keys_) {
    if (key.key_id == VerticalCSTypeGeoKey) return key.value_offset;
  }
  return vertical_code_;
}

namespace {

// The projected code of a UTM zone in a geographic system that has its own zone codes; 0 when
// it has none for the zone.
uint16_t utm_code_by_gcs(int gcs, int zone, bool northern) {
  if (gcs == 4152) {
    if (northern && zone >= 10 && zone <= 19) return uint16_t(3730 + zone);
    if (northern && (zone == 4 || zone == 5)) return uint16_t(3746 + zone);
    if (!northern && zone == 2) return 2195;
    return 0;
  }
  if (!northern) return 0;
  if (gcs == 4269) {
    if (zone >= 1 && zone <= 23) return uint16_t(26900 + zone);
    if (zone == 59 || zone == 60) return uint16_t(3313 + zone);
  } else if (gcs == 4617) {
    static const uint16_t kCsrs[] = {3154, 3155, 3156, 3157, 2955, 2956, 2957, 3158,
                                     3159, 3160, 2958, 2959, 2960, 2961, 2962, 3761};
    if (zone >= 7 && zone <= 22) return kCsrs[zone - 7];
  } else if (gcs == 4759) {
    if (zone >= 1 && zone <= 19) return uint16_t(3707 + zone);
    if (zone == 59 || zone == 60) return uint16_t(3647 + zone);
  } else if (gcs == 6318) {
    if (zone >= 1 && zone <= 19) return uint16_t(6329 + zone);
    if (zone == 59 || zone == 60) return uint16_t(6269 + zone);
  }
  return 0;
}

// The zones first to last of a hemisphere, numbered base + zone; a zone outside them prints
// that it is `beyond` ("out-of-range", or "does not exist").
struct ZoneRange {
  int first, last, base;
  const char* beyond;
};
constexpr const char* kOutOfRange = "out-of-range";
constexpr const char* kNoSuchZone = "does not exist";
constexpr ZoneRange kNoZones = {1, 0, 0, kNoSuchZone};

// The UTM zones of the datums of the built-in ellipsoids that have codes for them.
struct UtmDatum {
  int ellipsoid;
  const char* datum;
  ZoneRange north, south;
};
const UtmDatum kUtmDatums[] = {
    {5, "NAD27", {3, 22, 26700, kOutOfRange}, kNoZones},
    {10, "SAD69", {18, 22, 29100, kOutOfRange}, {17, 25, 29160, kOutOfRange}},
    {11, "NAD83", {28, 38, 25800, kOutOfRange}, kNoZones},
    {14, "ED50", {28, 38, 23000, kOutOfRange}, kNoZones},
    {24, "ID74", {46, 53, 23800, kOutOfRange}, {46, 54, 23840, kOutOfRange}},
};

// The southern MGA zones of the Australian systems on the NAD83 ellipsoid.
struct MgaDatum {
  int gcs;
  const char* datum;
  ZoneRange south;
};
const MgaDatum kMgaDatums[] = {
    {4283, "GDA94", {48, 58, 28300, kNoSuchZone}},
    {7844, "GDA2020", {46, 59, 7800, kNoSuchZone}},
};

uint16_t zone_code(int zone, bool north, const ZoneRange& range, const char* grid,
                   const char* datum) {
  if (zone >= range.first && zone <= range.last) return uint16_t(range.base + zone);
  print_note("get_ProjectedCSTypeGeoKey: %s %s zone %d for %s %s\n",
             north ? "northern" : "southern", grid, zone, datum, range.beyond);
  return 0;
}

}  // namespace

uint16_t LASgeoProjector::get_ProjectedCSTypeGeoKey(bool source) const {
  if (source) {
    for (const GeoKeyEntry& key : stored_keys_) {
      if (key.key_id == ProjectedCSTypeGeoKey) return key.value_offset;
    }
  }
  const ProjectionRecord* p = get_projection(source);
  if (!p) return 0;
  switch (p->kind) {
    case ProjectionKind::LambertConformalConic:
    case ProjectionKind::TransverseMercator:
    case ProjectionKind::AlbersEqualAreaConic:
    case ProjectionKind::HotineObliqueMercator:
    case ProjectionKind::ObliqueStereographic:
      return p->epsg_code ? p->epsg_code : kUserDefined;
    case ProjectionKind::LongLat:
    case ProjectionKind::LatLong:
      return 4326;
    case ProjectionKind::ECEF:
      return 4978;
    case ProjectionKind::NoProjection:
      return 0;
    case ProjectionKind::UTM:
      break;
  }
  if (p->epsg_code) return p->epsg_code;
  const int zone = p->utm_zone;
  const bool north = p->utm_northern;
  // The automatic zone has no number yet, so it has no code either.
  if (zone < 1) return 0;
  if (const uint16_t code = utm_code_by_gcs(gcs_code_, zone, north)) return code;
  const int ellipsoid = ellipsoid_.id;
  if (ellipsoid == 22) return uint16_t((north ? 32200 : 32300) + zone);
  if (ellipsoid == 23) return uint16_t((north ? 32600 : 32700) + zone);
  if (ellipsoid == 11) {
    if (north && zone >= 3 && zone <= 23) return uint16_t(26900 + zone);
    for (const MgaDatum& m : kMgaDatums) {
      if (!north && gcs_code_ == m.gcs) return zone_code(zone, false, m.south, "MGA", m.datum);
    }
  }
  for (const UtmDatum& d : kUtmDatums) {
    if (d.ellipsoid == ellipsoid) {
      return zone_code(zone, north, north ? d.north : d.south, "UTM", d.datum);
    }
  }
  print_note(
      "get_ProjectedCSTypeGeoKey: look-up for UTM zone %d and ellipsoid with id %d "
      "not implemented\n",
      zone, ellipsoid);
  return 0;
}

bool LASgeoProjector::get_geo_keys_from_projection(std::vector<GeoKeyEntry>& keys,
                                                   std::vector<double>& doubles, bool source) {
  keys.clear();
  doubles.clear();
  const ProjectionRecord* p = get_projection(source);
  if (!p) return false;
  const uint16_t h = get_horizontal_unit_epsg(source);
  const uint16_t v = get_vertical_unit_epsg(source);
  const uint16_t vertical = get_VerticalCSTypeGeoKey();
  // An ellipsoid without a geographic system of its own is written as a user-defined one.
  auto geographic = [&]() {
    const uint16_t gcs = geographic_code();
    if (gcs != 0) {
      keys.push_back(entry(GeographicTypeGeoKey, gcs));
      return;
    }
    keys.push_back(entry(GeographicTypeGeoKey, kUserDefined));
    keys.push_back(entry(GeogGeodeticDatumGeoKey, kUserDefined));
    keys.push_back(entry(GeogEllipsoidGeoKey, kUserDefined));
    keys.push_back(
        GeoKeyEntry{GeogSemiMajorAxisGeoKey, kDoubleParamsTag, 1, uint16_t(doubles.size())});
    doubles.push_back(ellipsoid_.a);
    keys.push_back(
        GeoKeyEntry{GeogInvFlatteningGeoKey, kDoubleParamsTag, 1, uint16_t(doubles.size())});
    doubles.push_back(ellipsoid_.inverse_flattening);
  };
  auto finish = [&]() {
    keys.push_back(entry(VerticalUnitsGeoKey, v));
    if (vertical) keys.push_back(entry(VerticalCSTypeGeoKey, vertical));
    return true;
  };
  switch (p->kind) {
    case ProjectionKind::ECEF:
      keys.push_back(entry(GTModelTypeGeoKey, 3));
      geographic();
      return true;
    case ProjectionKind::LongLat:
    case ProjectionKind::LatLong:
      keys.push_back(entry(GTModelTypeGeoKey, 2));
      geographic();
      return finish();
    case ProjectionKind::NoProjection:
      return false;
    default:
      break;
  }
  const uint16_t code = get_ProjectedCSTypeGeoKey(source);
  if (code != 0 && code != kUserDefined) {
    keys.push_back(entry(GTModelTypeGeoKey, 1));
    keys.push_back(entry(ProjectedCSTypeGeoKey, code));
    keys.push_back(entry(ProjLinearUnitsGeoKey, h));
    return finish();
  }
  const int transformation = written_transformation(p->kind);
  if (transformation == 0) {
    std::fprintf(stderr, "get_geo_keys_from_projection for generic projection not implemented\n");
    return false;
  }
  keys.push_back(entry(GTModelTypeGeoKey, 1));
  keys.push_back(entry(ProjectedCSTypeGeoKey, kUserDefined));
  keys.push_back(entry(ProjCoordTransGeoKey, uint16_t(transformation)));
  keys.push_back(entry(ProjLinearUnitsGeoKey, h));
  // Distances in the side's own units.
  auto in_units = [&](double meters) {
    return source ? meters / source_h_factor_ : meters * target_h_factor_;
  };
  auto parameter = [&](uint16_t key, double value) {
    keys.push_back(GeoKeyEntry{key, kDoubleParamsTag, 1, uint16_t(doubles.size())});
    doubles.push_back(value);
  };
  switch (p->kind) {
    case ProjectionKind::TransverseMercator:
      parameter(ProjCenterLongGeoKey, p->longitude);
      parameter(ProjNatOriginLatGeoKey, p->latitude);
      parameter(ProjScaleAtNatOriginGeoKey, p->scale);
      break;
    case ProjectionKind::LambertConformalConic:
    case ProjectionKind::AlbersEqualAreaConic:
      parameter(ProjStdParallel1GeoKey, p->parallel_1);
      parameter(ProjStdParallel2GeoKey, p->parallel_2);
      parameter(ProjCenterLongGeoKey, p->longitude);
      parameter(ProjNatOriginLatGeoKey, p->latitude);
      break;
    default:  // Hotine
      parameter(ProjCenterLongGeoKey, p->longitude);
      parameter(ProjCenterLatGeoKey, p->latitude);
      parameter(ProjAzimuthAngleGeoKey, p->azimuth);
      parameter(ProjRectifiedGridAngleGeoKey, p->angle);
      parameter(ProjScaleAtCenterGeoKey, p->scale);
      break;
  }
  parameter(ProjFalseEastingGeoKey, in_units(p->false_easting));
  parameter(ProjFalseNorthingGeoKey, in_units(p->false_northing));
  geographic();
  return finish();
}
