// LAY files cut at every byte and with bytes flipped, through the entry point
// a fuzz target uses: each must end in messages, never in a crash, a hang or
// a read outside the data (the sanitizer build checks the last).
#include <gtest/gtest.h>

#include <vector>

#include "fuzz_lay.hpp"

namespace {

TEST(LayDamaged, TheSeedsApplyCleanly) {
  for (const std::vector<uint8_t>& seed : fuzz_lay_seed_files()) {
    ASSERT_GT(seed.size(), 276u);
    testing::internal::CaptureStderr();
    fuzz_lay_one(seed.data(), seed.size());
    EXPECT_TRUE(fuzz_lay_header_to_extend(seed.data(), seed.size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(LayDamaged, EveryCutOfEverySeedEndsInMessages) {
  for (const std::vector<uint8_t>& seed : fuzz_lay_seed_files()) {
    for (size_t n = 0; n < seed.size(); n++) {
      // A copy of exactly n bytes, so that a read past them is seen.
      const std::vector<uint8_t> cut(seed.begin(), seed.begin() + long(n));
      testing::internal::CaptureStderr();
      fuzz_lay_one(cut.data(), cut.size());
      const std::string said = testing::internal::GetCapturedStderr();
      EXPECT_NE(said.find("ERROR: "), std::string::npos) << n;
      // The writer that would extend the file refuses a cut header alike.
      if (n < 276) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(fuzz_lay_header_to_extend(cut.data(), cut.size())) << n;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: reading "), std::string::npos)
            << n;
      }
    }
  }
}

TEST(LayDamaged, FlippedBytesEndInMessagesOrPoints) {
  const std::vector<uint8_t> seed = fuzz_lay_seed_files()[0];
  for (size_t at = 0; at < seed.size(); at++) {
    for (uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
      std::vector<uint8_t> bytes = seed;
      bytes[at] ^= flip;
      testing::internal::CaptureStderr();
      fuzz_lay_one(bytes.data(), bytes.size());
      testing::internal::GetCapturedStderr();
    }
  }
}

}  // namespace
