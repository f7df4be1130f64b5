#include "core/las_vlr_payload.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(LASvlrRasterVPK, NewRecordSerialisesToEightyBytes) {
  LASvlrRasterVPK raster;
  EXPECT_EQ(raster.vlr_record_id(), 7113);
  EXPECT_EQ(std::memcmp(raster.vlr_user_id(), "Raster VPK\0\0\0\0\0\0", 16), 0);
  ASSERT_EQ(raster.payload_length(), 80u);
  MallocBuffer bytes = raster.serialize();
  ASSERT_NE(bytes, nullptr);
  std::vector<uint8_t> expected(80, 0);
  for (int i = 0; i < 16; i++) expected[i] = 0xFF;
  const uint8_t one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  std::memcpy(&expected[24], one, 8);
  std::memcpy(&expected[40], one, 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.get(), bytes.get() + 80), expected);
}

TEST(LASvlrRasterVPK, RoundTripEveryField) {
  LASvlrRasterVPK a;
  a.nbands = 1;
  a.nbits = 32;
  a.ncols = 640;
  a.nrows = 480;
  a.reserved1 = 7;
  a.reserved2 = -7;
  a.stepx = 0.5;
  a.stepx_y = 0.25;
  a.stepy = 2.0;
  a.stepy_x = -0.25;
  a.llx = 350000.5;
  a.lly = 5600000.25;
  a.sigmaxy = 0.1;
  MallocBuffer bytes = a.serialize();
  LASvlrRasterVPK b;
  ASSERT_TRUE(b.deserialize(bytes.get(), 80));
  EXPECT_EQ(b.nbands, 1);
  EXPECT_EQ(b.nbits, 32);
  EXPECT_EQ(b.ncols, 640);
  EXPECT_EQ(b.nrows, 480);
  EXPECT_EQ(b.reserved1, 7);
  EXPECT_EQ(b.reserved2, -7);
  EXPECT_EQ(b.stepx, 0.5);
  EXPECT_EQ(b.stepx_y, 0.25);
  EXPECT_EQ(b.stepy, 2.0);
  EXPECT_EQ(b.stepy_x, -0.25);
  EXPECT_EQ(b.llx, 350000.5);
  EXPECT_EQ(b.lly, 5600000.25);
  EXPECT_EQ(b.sigmaxy, 0.1);
}

TEST(LASvlrRasterVPK, ShortPayloadsFailAtTheFirstMissingField) {
  struct Case {
    uint32_t length;
    const char* message;
  };
  const Case cases[] = {{40, "ERROR: reading LASvlrRasterVPK.stepy\n"},
                        {0, "ERROR: reading LASvlrRasterVPK.nbands\n"},
                        {79, "ERROR: reading LASvlrRasterVPK.sigmax\n"},
                        {22, "ERROR: reading LASvlrRasterVPK.reserved2\n"}};
  LASvlrRasterVPK source;
  source.nbands = 3;
  source.stepx_y = 9.5;
  MallocBuffer bytes = source.serialize();
  for (const auto& c : cases) {
    LASvlrRasterVPK raster;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(raster.deserialize(bytes.get(), c.length));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    if (c.length == 40) {
      EXPECT_EQ(raster.nbands, 3);
      EXPECT_EQ(raster.stepx_y, 9.5) << "fields before the failure are set";
      EXPECT_EQ(raster.stepy, 1.0);
    }
  }
}

}  // namespace
