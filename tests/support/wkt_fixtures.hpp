#ifndef TESTS_GEO_WKT_FIXTURES_HPP
#define TESTS_GEO_WKT_FIXTURES_HPP

// Well-known texts written by hand in the OGC and the ESRI styles.

inline constexpr const char* kUtmWithAuthority =
    "PROJCS[\"NAD83 / UTM zone 15N\",GEOGCS[\"NAD83\",DATUM[\"North_American_Datum_1983\","
    "SPHEROID[\"GRS 1980\",6378137,298.257222101,AUTHORITY[\"EPSG\",\"7019\"]],"
    "AUTHORITY[\"EPSG\",\"6269\"]],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]],"
    "UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],"
    "AUTHORITY[\"EPSG\",\"4269\"]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",-93],"
    "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
    "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],"
    "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"26915\"]]";

inline constexpr const char* kEsriLambertInSurveyFeet =
    "PROJCS[\"NAD_1983_StatePlane_Washington_South_FIPS_4602_Feet\",GEOGCS[\"GCS_North_American_"
    "1983\",DATUM[\"D_North_American_1983\",SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Lambert_Conformal_Conic\"],PARAMETER[\"False_Easting\",1640416.667],"
    "PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",-120.5],"
    "PARAMETER[\"Standard_Parallel_1\",45.83333333333334],"
    "PARAMETER[\"Standard_Parallel_2\",47.33333333333334],"
    "PARAMETER[\"Latitude_Of_Origin\",45.33333333333334],UNIT[\"Foot_US\",0.3048006096012192]]";

inline constexpr const char* kLambert2spInFeetWithVertical =
    "COMPD_CS[\"NAD83 / Lambert + NAVD88 height (ftUS)\",PROJCS[\"NAD83 / Lambert\","
    "GEOGCS[\"NAD83\",DATUM[\"North_American_Datum_1983\",SPHEROID[\"GRS 1980\",6378137,"
    "298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],"
    "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\",36.7666],"
    "PARAMETER[\"standard_parallel_2\",37.9666],PARAMETER[\"latitude_of_origin\",36.3333],"
    "PARAMETER[\"central_meridian\",-85.75],PARAMETER[\"false_easting\",1500000],"
    "PARAMETER[\"false_northing\",1000000],UNIT[\"foot\",0.3048]],"
    "VERT_CS[\"NAVD88 height (ftUS)\",VERT_DATUM[\"North American Vertical Datum 1988\",2005,"
    "AUTHORITY[\"EPSG\",\"5103\"]],UNIT[\"US survey foot\",0.3048006096012192,"
    "AUTHORITY[\"EPSG\",\"9003\"]],AXIS[\"Gravity-related height\",UP],"
    "AUTHORITY[\"EPSG\",\"6360\"]]]";

inline constexpr const char* kVerticalOnly =
    "VERT_CS[\"NAVD88 height (ftUS)\",VERT_DATUM[\"North American Vertical Datum 1988\",2005,"
    "AUTHORITY[\"EPSG\",\"5103\"]],UNIT[\"US survey foot\",0.3048006096012192,"
    "AUTHORITY[\"EPSG\",\"9003\"]],AXIS[\"Up\",UP],AUTHORITY[\"EPSG\",\"6360\"]]";

inline constexpr const char* kGeographicOnly =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
    "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0],"
    "UNIT[\"degree\",0.0174532925199433],AUTHORITY[\"EPSG\",\"4326\"]]";

inline constexpr const char* kGeocentric =
    "GEOCCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"metre\",1],AUTHORITY[\"EPSG\",\"4978\"]]";

inline constexpr const char* kAlbers =
    "PROJCS[\"Albers\",GEOGCS[\"NAD83\",DATUM[\"D\",SPHEROID[\"GRS 1980\",6378137,298.257222101]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],"
    "PROJECTION[\"Albers_Conic_Equal_Area\"],PARAMETER[\"standard_parallel_1\",29.5],"
    "PARAMETER[\"standard_parallel_2\",45.5],PARAMETER[\"latitude_of_center\",23],"
    "PARAMETER[\"longitude_of_center\",-96],PARAMETER[\"false_easting\",0],"
    "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]";

inline constexpr const char* kWktFixtures[] = {
    kUtmWithAuthority, kEsriLambertInSurveyFeet, kLambert2spInFeetWithVertical,
    kVerticalOnly,     kGeographicOnly,          kGeocentric,
    kAlbers,
};

#endif  // TESTS_GEO_WKT_FIXTURES_HPP
