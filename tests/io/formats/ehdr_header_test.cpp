// The .hdr text of BIL rasters as GDAL writes it (upper-case keys) and as
// older writers do (lower case), and where band 1's cells lie for each
// layout, worked out by hand.

#include "io/formats/ehdr_header.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

EHdrHeader parse(const std::string& text) {
  EHdrHeader h;
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  h.read(f);
  std::fclose(f);
  return h;
}

TEST(EHdrHeader, KeysInAnyCase) {
  const char* const texts[] = {
      // GDAL's EHdr driver, a Byte raster of 3 bands
      "BYTEORDER      M\nLAYOUT         BIP\nNROWS          3\nNCOLS          4\n"
      "NBANDS         3\nNBITS          16\nBANDROWBYTES   10\nTOTALROWBYTES  30\n"
      "SKIPBYTES      7\nPIXELTYPE      SIGNEDINT\nULXMAP         630001\n"
      "ULYMAP         4830005\nXDIM           2\nYDIM           2.5\nNODATA         -9999.5\n",
      "byteorder m\nlayout bip\nnrows 3\nncols 4\nnbands 3\nnbits 16\nbandrowbytes 10\n"
      "totalrowbytes 30\nskipbytes 7\npixeltype signedint\nulxmap 630001\nulymap 4830005\n"
      "xdim 2\nydim 2.5\nnodata -9999.5\n",
      "# mixed\n  ByteOrder M\r\nLayout Bip\r\nNRows 3\r\nNCols 4\r\nNBands 3\r\nNBits 16\r\n"
      "BandRowBytes 10\r\nTotalRowBytes 30\r\nSkipBytes 7\r\nPixelType SignedInt\r\n"
      "ULXMap 630001\r\nULYMap 4830005\r\nXDim 2\r\nYDim 2.5\r\nNoData_Value -9999.5\r\n",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const EHdrHeader h = parse(text);
    EXPECT_TRUE(h.big_endian);
    EXPECT_EQ(h.layout, EHdrLayout::bip);
    EXPECT_EQ(h.nrows, 3);
    EXPECT_EQ(h.ncols, 4);
    EXPECT_EQ(h.nbands, 3);
    EXPECT_EQ(h.nbits, 16);
    EXPECT_EQ(h.bandrowbytes, 10);
    EXPECT_EQ(h.totalrowbytes, 30);
    EXPECT_EQ(h.skipbytes, 7);
    EXPECT_EQ(h.sample, EHdrSample::signed_int);
    EXPECT_TRUE(h.has_ulxmap && h.has_ulymap && h.has_xdim && h.has_ydim && h.has_nodata);
    EXPECT_EQ(h.ulxmap, 630001.0);
    EXPECT_EQ(h.ulymap, 4830005.0);
    EXPECT_EQ(h.xdim, 2.0);
    EXPECT_EQ(h.ydim, 2.5);
    EXPECT_EQ(h.nodata, -9999.5);
    EXPECT_TRUE(h.unknown_layout.empty() && h.unknown_pixeltype.empty() &&
                h.unknown_byteorder.empty());
  }
}

TEST(EHdrHeader, DefaultsAndValuesItCannotTake) {
  struct Case {
    const char* text;
    EHdrSample sample;
    EHdrLayout layout;
    const char* layout_word;
    const char* pixeltype_word;
    const char* byteorder_word;
  };
  const Case cases[] = {
      // The layout's defaults: unsigned cells, band-interleaved by line.
      {"NBITS 8\n", EHdrSample::unsigned_int, EHdrLayout::bil, "", "", ""},
      {"NBITS 16\nPIXELTYPE UNSIGNEDINT\n", EHdrSample::unsigned_int, EHdrLayout::bil, "", "", ""},
      {"PIXELTYPE FLOAT\nLAYOUT BSQ\n", EHdrSample::floating, EHdrLayout::bsq, "", "", ""},
      {"LAYOUT BIT\nPIXELTYPE COMPLEX\nBYTEORDER X\n", EHdrSample::unsigned_int, EHdrLayout::bil,
       "BIT", "COMPLEX", "X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const EHdrHeader h = parse(c.text);
    EXPECT_EQ(h.sample, c.sample);
    EXPECT_EQ(h.layout, c.layout);
    EXPECT_EQ(h.unknown_layout, c.layout_word);
    EXPECT_EQ(h.unknown_pixeltype, c.pixeltype_word);
    EXPECT_EQ(h.unknown_byteorder, c.byteorder_word);
    EXPECT_FALSE(h.big_endian);
  }
  const EHdrHeader bad = parse("NCOLS 4294967299\nNROWS x\nSKIPBYTES -4\nBANDROWBYTES 1e3\n");
  EXPECT_EQ(bad.ncols, 0);
  EXPECT_EQ(bad.nrows, 0);
  EXPECT_EQ(bad.skipbytes, -2);
  EXPECT_EQ(bad.bandrowbytes, -2);
  EXPECT_EQ(bad.totalrowbytes, -1);
  EXPECT_FALSE(bad.has_nodata);
  EXPECT_TRUE(parse("LAYOUT\n").layout_missing);
}

TEST(EHdrHeader, WhereBand1Lies) {
  struct Case {
    const char* text;
    uint64_t first, cell_step, row_step, row_span, needed;
    const char* why;
  };
  // 4 cols, 3 rows of 16-bit cells in every case.
  const Case cases[] = {
      {"NBANDS 1\n", 0, 2, 8, 8, 24, ""},
      {"NBANDS 3\n", 0, 2, 24, 8, 56, ""},
      {"NBANDS 3\nBANDROWBYTES 10\nTOTALROWBYTES 32\nSKIPBYTES 100\n", 100, 2, 32, 8, 172, ""},
      {"NBANDS 3\nLAYOUT BIP\n", 0, 6, 24, 20, 68, ""},
      {"NBANDS 3\nLAYOUT BIP\nTOTALROWBYTES 30\nSKIPBYTES 1\n", 1, 6, 30, 20, 81, ""},
      {"NBANDS 3\nLAYOUT BSQ\n", 0, 2, 8, 8, 24, ""},
      {"NBANDS 3\nLAYOUT BSQ\nBANDROWBYTES 12\n", 0, 2, 12, 8, 32, ""},
      {"NBANDS 3\nBANDROWBYTES 7\n", 0, 0, 0, 0, 0, "BANDROWBYTES is shorter than a row of band 1"},
      {"NBANDS 3\nBANDROWBYTES 10\nTOTALROWBYTES 29\n", 0, 0, 0, 0, 0,
       "TOTALROWBYTES is shorter than a row of every band"},
      {"NBANDS 3\nLAYOUT BIP\nTOTALROWBYTES 23\n", 0, 0, 0, 0, 0,
       "TOTALROWBYTES is shorter than a row of every band"},
      {"NBANDS 3\nLAYOUT BSQ\nBANDROWBYTES 6\n", 0, 0, 0, 0, 0,
       "BANDROWBYTES is shorter than a row of band 1"},
      {"NBANDS 3\nSKIPBYTES x\n", 0, 0, 0, 0, 0,
       "SKIPBYTES, BANDROWBYTES and TOTALROWBYTES must be counts of bytes"},
      {"NBANDS 3\nSKIPBYTES 18446744073709551000\n", 0, 0, 0, 0, 0,
       "SKIPBYTES, BANDROWBYTES and TOTALROWBYTES must be counts of bytes"},
      {"NBANDS 2147483647\nLAYOUT BIP\nTOTALROWBYTES 9223372036854775807\n", 0, 0, 0, 0, 0,
       "its cells lie beyond 64 bits of bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const EHdrHeader h = parse(std::string("NCOLS 4\nNROWS 3\nNBITS 16\n") + c.text);
    EHdrBand1 b;
    std::string why;
    const bool ok = ehdr_band1(h, &b, &why);
    EXPECT_EQ(why, c.why);
    ASSERT_EQ(ok, why.empty());
    if (!ok) continue;
    EXPECT_EQ(b.cell_bytes, 2u);
    EXPECT_EQ(b.first, c.first);
    EXPECT_EQ(b.cell_step, c.cell_step);
    EXPECT_EQ(b.row_step, c.row_step);
    EXPECT_EQ(b.row_span, c.row_span);
    EXPECT_EQ(b.needed, c.needed);
  }
}

}  // namespace
