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

// ESRI texts in feet of projections that the reader takes no parameters of: Hotine oblique
// Mercator (international and US survey feet), double stereographic and Lambert with one
// standard parallel.
inline constexpr const char* kEsriHotineInFeet =
    "PROJCS[\"NAD_1983_2011_Oregon_Columbia_River_West_FtIntl\",GEOGCS[\"GCS_NAD_1983_2011\","
    "DATUM[\"D_NAD_1983_2011\",SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Hotine_Oblique_Mercator_Azimuth_Natural_Origin\"],"
    "PARAMETER[\"False_Easting\",22965879.26509186],"
    "PARAMETER[\"False_Northing\",-9842519.685039369],PARAMETER[\"Scale_Factor\",1.0],"
    "PARAMETER[\"Azimuth\",295.0],PARAMETER[\"Longitude_Of_Center\",-123.0],"
    "PARAMETER[\"Latitude_Of_Center\",45.91666666666666],UNIT[\"Foot\",0.3048]]";

inline constexpr const char* kEsriHotineInSurveyFeet =
    "PROJCS[\"NAD_1927_StatePlane_Alaska_1_FIPS_5001\",GEOGCS[\"GCS_North_American_1927\","
    "DATUM[\"D_North_American_1927\",SPHEROID[\"Clarke_1866\",6378206.4,294.9786982]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Hotine_Oblique_Mercator_Azimuth_Natural_Origin\"],"
    "PARAMETER[\"False_Easting\",16404166.66666666],"
    "PARAMETER[\"False_Northing\",-16404166.66666666],PARAMETER[\"Scale_Factor\",0.9999],"
    "PARAMETER[\"Azimuth\",-36.86989764583333],"
    "PARAMETER[\"Longitude_Of_Center\",-133.6666666666667],"
    "PARAMETER[\"Latitude_Of_Center\",57.0],UNIT[\"Foot_US\",0.3048006096012192]]";

inline constexpr const char* kEsriDoubleStereographicInFeet =
    "PROJCS[\"NAD_1927_New_Brunswick_Stereographic\",GEOGCS[\"GCS_North_American_1927\","
    "DATUM[\"D_North_American_1927\",SPHEROID[\"Clarke_1866\",6378206.4,294.9786982]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Double_Stereographic\"],PARAMETER[\"False_Easting\",1000000.0],"
    "PARAMETER[\"False_Northing\",1000000.0],PARAMETER[\"Central_Meridian\",-66.5],"
    "PARAMETER[\"Scale_Factor\",0.999912],PARAMETER[\"Latitude_Of_Origin\",46.5],"
    "UNIT[\"Foot\",0.3048]]";

inline constexpr const char* kEsriLambertOneParallelInFeet =
    "PROJCS[\"NAD_1983_2011_Oregon_Bend-Redmond-Prineville_FtIntl\","
    "GEOGCS[\"GCS_NAD_1983_2011\",DATUM[\"D_NAD_1983_2011\",SPHEROID[\"GRS_1980\",6378137.0,"
    "298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],"
    "PROJECTION[\"Lambert_Conformal_Conic\"],PARAMETER[\"False_Easting\",262467.1916010498],"
    "PARAMETER[\"False_Northing\",426509.186351706],PARAMETER[\"Central_Meridian\",-121.25],"
    "PARAMETER[\"Standard_Parallel_1\",44.66666666666666],PARAMETER[\"Scale_Factor\",1.00012],"
    "PARAMETER[\"Latitude_Of_Origin\",44.66666666666666],UNIT[\"Foot\",0.3048]]";

inline constexpr const char* kWktFixtures[] = {
    kUtmWithAuthority,
    kEsriLambertInSurveyFeet,
    kLambert2spInFeetWithVertical,
    kVerticalOnly,
    kGeographicOnly,
    kGeocentric,
    kAlbers,
    kEsriHotineInFeet,
    kEsriHotineInSurveyFeet,
    kEsriDoubleStereographicInFeet,
    kEsriLambertOneParallelInFeet,
};

#endif  // TESTS_GEO_WKT_FIXTURES_HPP
