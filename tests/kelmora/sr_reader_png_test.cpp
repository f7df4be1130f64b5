// PNG files written here with libpng, so that layouts GDAL does not make
// (interlacing, palettes, 8-bit grey with alpha) are covered too.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "raster_compare.hpp"
#include "raster_fixtures.hpp"
#include "sr_reader_png.hpp"

using raster_fixtures::ScopedTempDir;

namespace {

struct PngImage {
  int width, height, bit_depth, color_type;
  bool interlaced;
  std::vector<uint16_t> samples;  // all channels of every pixel, row by row
};

int channels_of(int color_type) {
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

bool write_png(const std::string& path, const PngImage& img) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, img.width, img.height, img.bit_depth, img.color_type,
               img.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (img.color_type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[4] = {{0, 0, 0}, {80, 80, 80}, {160, 160, 160}, {255, 255, 255}};
    png_set_PLTE(png, info, palette, 4);
  }
  png_write_info(png, info);
  int channels = channels_of(img.color_type);
  size_t bytes = img.bit_depth == 16 ? 2 : 1;
  std::vector<std::vector<png_byte>> rows(img.height);
  std::vector<png_bytep> pointers;
  for (int r = 0; r < img.height; r++) {
    for (int i = 0; i < img.width * channels; i++) {
      uint16_t s = img.samples[static_cast<size_t>(r) * img.width * channels + i];
      if (bytes == 2) rows[r].push_back(static_cast<png_byte>(s >> 8));  // stored big-endian
      rows[r].push_back(static_cast<png_byte>(s & 0xff));
    }
    pointers.push_back(rows[r].data());
  }
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0;
}

PngImage ramp(int width, int height, int bit_depth, int color_type, bool interlaced) {
  PngImage img{width, height, bit_depth, color_type, interlaced, {}};
  int channels = channels_of(color_type);
  uint32_t top = color_type == PNG_COLOR_TYPE_PALETTE ? 4 : (1u << bit_depth);
  for (int r = 0; r < height; r++) {
    for (int c = 0; c < width; c++) {
      for (int k = 0; k < channels; k++) {
        img.samples.push_back(static_cast<uint16_t>((r * 977u + c * 131u + k * 7u) % top));
      }
    }
  }
  return img;
}

struct PngCase {
  const char* name;
  int bit_depth, color_type;
  bool interlaced;
  int nbands;
};

TEST(SRreaderPng, LayoutsReadBackSampleForSample) {
  const PngCase cases[] = {
      {"grey16", 16, PNG_COLOR_TYPE_GRAY, false, 1},
      {"grey16_interlaced", 16, PNG_COLOR_TYPE_GRAY, true, 1},
      {"grey8", 8, PNG_COLOR_TYPE_GRAY, false, 1},
      {"grey8_interlaced", 8, PNG_COLOR_TYPE_GRAY, true, 1},
      {"grey_alpha8", 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, 2},
      {"rgb16", 16, PNG_COLOR_TYPE_RGB, true, 3},
      {"palette8", 8, PNG_COLOR_TYPE_PALETTE, false, -1},
  };
  ScopedTempDir dir;
  ASSERT_TRUE(
      raster_fixtures::write_text(dir.file("img.pgw"), "0.5\n0\n0\n-0.5\n100.25\n199.75\n"));
  for (const auto& c : cases) {
    PngImage img = ramp(19, 13, c.bit_depth, c.color_type, c.interlaced);
    ASSERT_TRUE(write_png(dir.file("img.png"), img)) << c.name;
    SRreader_png r;
    ASSERT_TRUE(r.open(dir.file("img.png").c_str())) << c.name;
    EXPECT_EQ(r.nbands, c.nbands) << c.name;
    EXPECT_EQ(r.nbits, c.bit_depth) << c.name;
    EXPECT_EQ(r.interlaced(), c.interlaced) << c.name;
    EXPECT_EQ(r.llx, 100.0);
    EXPECT_EQ(r.ury, 200.0);
    EXPECT_EQ(r.lly, 193.5);
    EXPECT_EQ(r.urx, 109.5);
    int channels = channels_of(c.color_type);
    for (int i = 0; i < 19 * 13; i++) {
      ASSERT_TRUE(r.read_value()) << c.name << " " << i;
      ASSERT_EQ(r.value[0], img.samples[static_cast<size_t>(i) * channels]) << c.name << " " << i;
    }
    EXPECT_FALSE(r.read_value());
    testing::internal::CaptureStderr();
    r.close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
  }
}

TEST(SRreaderPng, PaletteAndLowBitDepthsAreRefused) {
  ScopedTempDir dir;
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("p.pgw"), "1\n0\n0\n-1\n0.5\n12.5\n"));
  ASSERT_TRUE(write_png(dir.file("p.png"), ramp(7, 5, 8, PNG_COLOR_TYPE_PALETTE, false)));
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("grid.asc"),
                                          "ncols 7\nnrows 5\nxllcorner 0\nyllcorner 7\n"
                                          "cellsize 1\nNODATA_value -9999\n" +
                                              std::string(35 * 2, ' ')));
  testing::internal::CaptureStderr();
  EXPECT_EQ(compare_raster_files(dir.file("p.png").c_str(), dir.file("grid.asc").c_str(), nullptr),
            RasterPairStatus::kOpenFailed);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: raster 'p.png' has -1 bands. not implemented.\n");

  ASSERT_TRUE(raster_fixtures::write_text(dir.file("g4.pgw"), "1\n0\n0\n-1\n0.5\n12.5\n"));
  ASSERT_TRUE(write_png(dir.file("g4.png"), ramp(7, 5, 4, PNG_COLOR_TYPE_GRAY, false)));
  SRreader_png r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(dir.file("g4.png").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: nbits 4 not supported by SRreader_png\n");
}

TEST(SRreaderPng, WorldFileNamesAndFailures) {
  ScopedTempDir dir;
  ASSERT_TRUE(write_png(dir.file("w.png"), ramp(3, 2, 16, PNG_COLOR_TYPE_GRAY, false)));
  std::string stem = dir.file("w");
  {
    SRreader_png r;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(r.open(dir.file("w.png").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: cannot open world file '" + stem + ".pgw' or '" + stem + ".PGW'\n");
  }
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("w.PGW"), "2\n0\n0\n-2\n1\n9\n"));
  {
    SRreader_png r;
    ASSERT_TRUE(r.open(dir.file("w.png").c_str()));
    EXPECT_EQ(r.llx, 0.0);
    EXPECT_EQ(r.ury, 10.0);
    EXPECT_EQ(r.stepy, 2.0);
    EXPECT_TRUE(r.axis_aligned);
  }
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("w.pgw"), "2\n0\n0.1\n-2\n1\n9\n"));
  {
    SRreader_png r;
    ASSERT_TRUE(r.open(dir.file("w.png").c_str()));
    EXPECT_FALSE(r.axis_aligned);
    EXPECT_EQ(r.stepy_x, 0.1);
  }
}

}  // namespace
