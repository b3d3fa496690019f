// The record of an ORVO device of type 23 converted between the 1.08 and the 1.09 layouts.
#include "update/orvo_temperature.h"

#include <gtest/gtest.h>

namespace korvex::update {
namespace {

struct UpCase {
  std::uint16_t c;  // the 1.08 temperature value (9 bits)
  std::uint8_t t;   // the 1.09 temperature
};

TEST(OrvoTemperatureTest, UpgradeLimitsTheTemperatureAndMarksTheSecondPosition) {
  for (const UpCase& k : {UpCase{100, 0}, UpCase{110, 0}, UpCase{125, 15}, UpCase{130, 20},
                          UpCase{200, 20}, UpCase{0x1FF, 20}}) {
    // A = 0x1AB and B = 0x0CD; bits above bit 0 of R0, R2 and R4 are not part of the values.
    const OrvoRecord old{0xFF,
                         0xAB,
                         0xFE,
                         0xCD,
                         static_cast<std::uint8_t>(0xF0 | k.c >> 8),
                         static_cast<std::uint8_t>(k.c & 0xFF)};
    EXPECT_EQ(OrvoRecordUp(old), (OrvoRecord{0x01, 0xAB, k.t, 0x80, 0xCD, k.t})) << k.c;
  }
  // B's ninth bit moves to R3 beside the mark.
  EXPECT_EQ(OrvoRecordUp({0x00, 0x12, 0x01, 0x34, 0x00, 125}),
            (OrvoRecord{0x00, 0x12, 0x0F, 0x81, 0x34, 0x0F}));
}

struct DownCase {
  std::uint8_t r2;
  std::uint8_t r5;
  std::uint8_t c;
};

TEST(OrvoTemperatureTest, DowngradeTakesTheSmallerOfTheLimitedTemperatures) {
  for (const DownCase& k : {DownCase{12, 25, 122}, DownCase{25, 12, 122}, DownCase{22, 31, 130},
                            DownCase{0, 20, 110}, DownCase{0xE7, 0x49, 117}}) {
    const OrvoRecord current{0x01, 0xAB, k.r2, 0x81, 0xCD, k.r5};
    EXPECT_EQ(OrvoRecordDown(current), (OrvoRecord{0x01, 0xAB, 0x01, 0xCD, 0x00, k.c}))
        << int{k.r2} << " " << int{k.r5};
  }
}

TEST(OrvoTemperatureTest, ARecordConvertedUpAndDownKeepsItsValues) {
  const OrvoRecord old{0x01, 0x23, 0x00, 0x45, 0x00, 118};
  EXPECT_TRUE(OrvoRecordMarked(OrvoRecordUp(old)));
  EXPECT_EQ(OrvoRecordDown(OrvoRecordUp(old)), old);
}

TEST(OrvoTemperatureTest, TheLayoutMarksAreBit7OfR0ClearAndOfR3Set) {
  EXPECT_TRUE(OrvoRecordMarked({0x7F, 0, 0, 0x80, 0, 0}));
  EXPECT_FALSE(OrvoRecordMarked({0x80, 0, 0, 0x80, 0, 0}));
  EXPECT_FALSE(OrvoRecordMarked({0x00, 0, 0, 0x7F, 0, 0}));
}

}  // namespace
}  // namespace korvex::update
