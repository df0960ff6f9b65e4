// Tolerant comparison and rounding: the tolerance edges, the one-sided
// multiple test, halves away from zero, and inputs outside the 32-bit range.
#include <UTL/CTT.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTolerance = 2.2250738585072014e-308;

TEST(CttEqual, ExactForOrdinaryValues) {
    EXPECT_TRUE(CTT::Equal(1.0, 1.0));
    EXPECT_FALSE(CTT::Equal(1.0, 1.0 + std::ldexp(1.0, -52)));
    EXPECT_TRUE(CTT::Equal(0.0, -0.0));
    const float one = 1.0f, next = std::nextafter(1.0f, 2.0f);
    EXPECT_FALSE(CTT::Equal(one, next));  // the double tolerance, not a float one
    EXPECT_TRUE(CTT::Equal(one, one));
}

TEST(CttEqual, ToleranceIsTheSmallestNormalisedDouble) {
    EXPECT_EQ(kTolerance, DBL_MIN);
    const double sub = std::nextafter(kTolerance, 0.0);
    EXPECT_TRUE(CTT::Equal(0.0, sub));          // subnormal differences are absorbed
    EXPECT_FALSE(CTT::Equal(0.0, kTolerance));  // a difference of exactly the tolerance is not
    EXPECT_FALSE(CTT::Equal(kTolerance, -kTolerance));
}

TEST(CttEqual, NaNAndInfinitiesNeverEqual) {
    EXPECT_FALSE(CTT::Equal(kNaN, kNaN));
    EXPECT_FALSE(CTT::Equal(kNaN, 1.0));
    EXPECT_FALSE(CTT::Equal(kInf, kInf));  // inf - inf is NaN
    const float fnan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(CTT::Equal(fnan, fnan));
}

TEST(CttEqualIngoreDigits, ToleranceIsTenToMinusDigits) {
    EXPECT_TRUE(CTT::EqualIngoreDigits(1.0, 1.5, 0));
    EXPECT_FALSE(CTT::EqualIngoreDigits(1.0, 2.0, 0));  // equal to the tolerance
    EXPECT_TRUE(CTT::EqualIngoreDigits(1.0, 1.0009, 3));
    EXPECT_FALSE(CTT::EqualIngoreDigits(1.0, 1.0011, 3));
    EXPECT_TRUE(CTT::EqualIngoreDigits(100.0, 109.0, -1));
    EXPECT_FALSE(CTT::EqualIngoreDigits(100.0, 110.0, -1));
    EXPECT_TRUE(CTT::EqualIngoreDigits(0.0, 150.0, -3));
}

TEST(CttEqualIngoreDigits, ExtremeDigitCountsAndNaN) {
    EXPECT_FALSE(CTT::EqualIngoreDigits(1.0, 1.0, SHRT_MAX));   // tolerance 0
    EXPECT_TRUE(CTT::EqualIngoreDigits(0.0, 1e300, SHRT_MIN));  // tolerance inf
    EXPECT_FALSE(CTT::EqualIngoreDigits(kNaN, 0.0, SHRT_MIN));
    EXPECT_FALSE(CTT::EqualIngoreDigits(kInf, 0.0, SHRT_MIN));
}

TEST(CttOrdered, GreaterAndLessEqual) {
    EXPECT_TRUE(CTT::IsGreaterEqual(2.0, 1.0));
    EXPECT_FALSE(CTT::IsGreaterEqual(1.0, 2.0));
    EXPECT_TRUE(CTT::IsGreaterEqual(1.0, 1.0));
    EXPECT_TRUE(CTT::IsGreaterEqual(0.0, -0.0));
    EXPECT_TRUE(CTT::IsLessEqual(1.0, 2.0));
    EXPECT_FALSE(CTT::IsLessEqual(2.0, 1.0));
    EXPECT_TRUE(CTT::IsLessEqual(1.0, 1.0));
    EXPECT_TRUE(CTT::IsGreaterEqual(kInf, DBL_MAX));
    // An infinity is not Equal to itself, so neither >= nor <= holds.
    EXPECT_FALSE(CTT::IsGreaterEqual(kInf, kInf));
    EXPECT_FALSE(CTT::IsLessEqual(-kInf, -kInf));
    for (double x : {0.0, 1.0, kInf}) {
        EXPECT_FALSE(CTT::IsGreaterEqual(kNaN, x));
        EXPECT_FALSE(CTT::IsGreaterEqual(x, kNaN));
        EXPECT_FALSE(CTT::IsLessEqual(kNaN, x));
        EXPECT_FALSE(CTT::IsLessEqual(x, kNaN));
    }
}

TEST(CttIsMultiple, WholeQuotients) {
    EXPECT_TRUE(CTT::IsMultiple(0.5, 2.0, 0));
    EXPECT_TRUE(CTT::IsMultiple(0.25, -1.0, 0));  // q = -4
    EXPECT_FALSE(CTT::IsMultiple(2.0, -3.0, 0));  // q = -1.5: remainder 0.5
    EXPECT_FALSE(CTT::IsMultiple(2.0, -3.0, 6));
    EXPECT_TRUE(CTT::IsMultiple(2.0, -3.0, -1));  // tolerance 10 accepts any remainder
    EXPECT_TRUE(CTT::IsMultiple(3.0, 0.0, 0));
}

TEST(CttIsMultiple, ToleranceIsOneSided) {
    EXPECT_FALSE(CTT::IsMultiple(0.01, 0.07, 0));  // q = 7.000000000000001
    EXPECT_TRUE(CTT::IsMultiple(0.01, 0.07, 6));
    EXPECT_FALSE(CTT::IsMultiple(0.1, 0.6, 6));  // q = 5.999999999999999
    EXPECT_FALSE(CTT::IsMultiple(0.1, 0.6, 1));
}

TEST(CttIsMultiple, DegenerateQuotients) {
    EXPECT_FALSE(CTT::IsMultiple(0.0, 1.0, 0));  // inf
    EXPECT_FALSE(CTT::IsMultiple(0.0, 0.0, 0));  // NaN
    EXPECT_FALSE(CTT::IsMultiple(0.0, 1.0, SHRT_MIN));
    EXPECT_FALSE(CTT::IsMultiple(1.0, kInf, 0));
    EXPECT_FALSE(CTT::IsMultiple(kNaN, 1.0, 0));
    // No 32-bit limit on the whole part of the quotient.
    EXPECT_TRUE(CTT::IsMultiple(1.0, 1e12, 0));
    EXPECT_TRUE(CTT::IsMultiple(0.5, -5e9, 0));
    EXPECT_FALSE(CTT::IsMultiple(1.0, 3e9 + 0.5, 0));
    EXPECT_TRUE(CTT::IsMultiple(1.0, 3e9 + 0.5, -1));
}

TEST(CttRound, ToAStep) {
    EXPECT_EQ(CTT::Round(7.3, 0.5), 7.5);
    EXPECT_EQ(CTT::Round(7.2, 0.5), 7.0);
    EXPECT_EQ(CTT::Round(7.25, 0.5), 7.5);  // halves away from zero
    EXPECT_EQ(CTT::Round(-7.25, 0.5), -7.5);
    EXPECT_EQ(CTT::Round(-2.5, 1.0), -3.0);
    EXPECT_EQ(CTT::Round(123.0, 50.0), 100.0);
    const double negZero = CTT::Round(-0.4, 1.0);
    EXPECT_EQ(negZero, 0.0);
    EXPECT_TRUE(std::signbit(negZero));
}

TEST(CttRound, StepNotPositiveOrNotFinite) {
    EXPECT_EQ(CTT::Round(7.3, 0.0), 7.3);
    EXPECT_EQ(CTT::Round(7.3, -1.0), 7.3);
    EXPECT_EQ(CTT::Round(7.3, kNaN), 7.3);
    EXPECT_EQ(CTT::Round(7.3, -kInf), 7.3);
    EXPECT_TRUE(std::isnan(CTT::Round(7.3, kInf)));
    EXPECT_EQ(CTT::Round(-kInf, 1.0), -kInf);
    EXPECT_TRUE(std::isnan(CTT::Round(kNaN, 1.0)));
}

TEST(CttRound, ToWholeNumbers) {
    EXPECT_EQ(CTT::RoundToDouble(2.5), 3.0);
    EXPECT_EQ(CTT::RoundToDouble(-2.5), -3.0);
    EXPECT_EQ(CTT::RoundToDouble(-2.4), -2.0);
    EXPECT_EQ(CTT::RoundToDouble(2.4999), 2.0);
    EXPECT_EQ(CTT::RoundToDouble(0.0), 0.0);
    EXPECT_EQ(CTT::RoundToDouble(kInf), kInf);
    EXPECT_EQ(CTT::RoundToDouble(-kInf), -kInf);
    EXPECT_TRUE(std::isnan(CTT::RoundToDouble(kNaN)));
    EXPECT_EQ(CTT::RoundToInt(-2.5), -3);
    EXPECT_EQ(CTT::RoundToInt(2.5), 3);
    EXPECT_EQ(CTT::RoundToLong(2.5), 3L);
    EXPECT_EQ(CTT::RoundToLong(-2.5), -3L);
    EXPECT_EQ(CTT::RoundToLong(-0.4), 0L);
}

TEST(CttRound, IntegerConversionsSaturate) {
    EXPECT_EQ(CTT::RoundToInt(2147483646.6), INT_MAX);
    EXPECT_EQ(CTT::RoundToInt(-2147483647.6), INT_MIN);
    EXPECT_EQ(CTT::RoundToInt(2147483647.5), INT_MAX);
    EXPECT_EQ(CTT::RoundToInt(-2147483648.5), INT_MIN);
    EXPECT_EQ(CTT::RoundToInt(1e300), INT_MAX);
    EXPECT_EQ(CTT::RoundToInt(-kInf), INT_MIN);
    EXPECT_EQ(CTT::RoundToInt(kNaN), 0);
    // RoundToLong is 32 bits wide although long is wider here.
    EXPECT_EQ(CTT::RoundToLong(3e9), 2147483647L);
    EXPECT_EQ(CTT::RoundToLong(-3e9), -2147483648L);
    EXPECT_EQ(CTT::RoundToLong(kInf), 2147483647L);
    EXPECT_EQ(CTT::RoundToLong(kNaN), 0L);
}

}  // namespace
