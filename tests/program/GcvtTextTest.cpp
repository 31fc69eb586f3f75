#include "program/GcvtText.h"

#include <gtest/gtest.h>

using velomire::program::GcvtText;

TEST(GcvtText, FixedBetweenATenThousandthAndAThousandKeepingThePoint) {
    EXPECT_EQ(GcvtText(2.0, 3), "2.");
    EXPECT_EQ(GcvtText(2.5, 3), "2.5");
    EXPECT_EQ(GcvtText(0.0, 3), "0.");
    EXPECT_EQ(GcvtText(123.456, 3), "123.");
    EXPECT_EQ(GcvtText(12.345678, 3), "12.3");
    EXPECT_EQ(GcvtText(1.0 / 3.0, 3), "0.333");
    EXPECT_EQ(GcvtText(0.1, 3), "0.1");
    EXPECT_EQ(GcvtText(0.0001, 3), "0.0001");
    EXPECT_EQ(GcvtText(0.000123456, 3), "0.000123");
    EXPECT_EQ(GcvtText(999.4, 3), "999.");
    EXPECT_EQ(GcvtText(-2.5, 3), "-2.5");
}

TEST(GcvtText, ExponentOutsideWithThreeDigitsDecidedAfterRounding) {
    EXPECT_EQ(GcvtText(1234.5, 3), "1.23e+003");
    EXPECT_EQ(GcvtText(1000.0, 3), "1.e+003");
    EXPECT_EQ(GcvtText(999.6, 3), "1.e+003");
    EXPECT_EQ(GcvtText(0.00001234, 3), "1.23e-005");
    EXPECT_EQ(GcvtText(0.000099996, 3), "0.0001");
    EXPECT_EQ(GcvtText(1.5e123, 3), "1.5e+123");
    EXPECT_EQ(GcvtText(12345.0, 5), "12345.");
    EXPECT_EQ(GcvtText(123456.0, 5), "1.2346e+005");
}
