#ifndef TESTS_IO_FORMATS_RASTER_RECORD_CHECK_HPP
#define TESTS_IO_FORMATS_RASTER_RECORD_CHECK_HPP

// The "Raster VPK" record a raster reader attaches to its header.

#include <gtest/gtest.h>

#include "core/byte_stream_in.hpp"
#include "core/las_header.hpp"
#include "core/las_vlr_payload.hpp"

// False (with a test failure) when the header has no such record.
inline bool raster_record_of(const LASheader& header, LASvlrRasterVPK* record) {
  const LASvlrRecord* vlr = header.find_vlr("Raster VPK", LASvlrRasterVPK::kRecordId);
  EXPECT_NE(vlr, nullptr);
  if (vlr == nullptr) return false;
  EXPECT_EQ(vlr->record_length_after_header, 80);
  EXPECT_STREQ(vlr->description, "by Mirvelox of Zentoravik GmbH");
  return record->deserialize(vlr->data.get(), vlr->record_length_after_header);
}

inline void expect_raster_record(const LASheader& header, int ncols, int nrows, double stepx,
                                 double stepy, double llx, double lly) {
  LASvlrRasterVPK r;
  if (!raster_record_of(header, &r)) return;
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.nbits, 32);
  EXPECT_EQ(r.ncols, ncols);
  EXPECT_EQ(r.nrows, nrows);
  EXPECT_EQ(r.stepx, stepx);
  EXPECT_EQ(r.stepy, stepy);
  EXPECT_EQ(r.stepx_y, 0.0);
  EXPECT_EQ(r.stepy_x, 0.0);
  EXPECT_DOUBLE_EQ(r.llx, llx);
  EXPECT_DOUBLE_EQ(r.lly, lly);
  EXPECT_EQ(r.sigmaxy, 0.0);
}

#endif  // TESTS_IO_FORMATS_RASTER_RECORD_CHECK_HPP
