# Raster libraries of kelmora's readers: GDAL (Erdas Imagine through its HFA
# driver), libtiff with libgeotiff, and libpng. libgeotiff ships no pkg-config
# file on Debian, so it is found by header and library name.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELMORA_RASTER_LIBS REQUIRED IMPORTED_TARGET gdal libtiff-4 libpng)
find_path(GEOTIFF_INCLUDE_DIR geotiff.h PATH_SUFFIXES geotiff REQUIRED)
find_library(GEOTIFF_LIBRARY geotiff REQUIRED)
target_include_directories(kelmora_lib PUBLIC ${GEOTIFF_INCLUDE_DIR})
target_link_libraries(kelmora_lib PUBLIC PkgConfig::KELMORA_RASTER_LIBS ${GEOTIFF_LIBRARY})
