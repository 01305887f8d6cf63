// The correctly rounded functions against values computed to 80 digits and
// then rounded: arguments of the kinds the gamma table and the low-pass
// filter pass, picked where a typical libm's last bit is off. Then the
// operands C's pow treats specially, and results that sit exactly on a
// double or on a tie between two.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/correctly_rounded.h"

namespace kest {
namespace {

TEST(CorrectlyRounded, HardCasesRoundToNearest) {
    struct Case {
        double x, expected;
    };
    const Case sines[] = {
        {0x1.a074ad040dc8dp+3, 0x1.bb710cb083eb3p-2},  {0x1.0612877c920dcp+9, 0x1.ec059694a379bp-2},
        {0x1.2384abb3a2328p+3, 0x1.3d16db00a3081p-2},  {0x1.3fd045d55626cp+5, 0x1.8559f5825ed59p-1},
        {0x1.b2d005e86cc1cp+7, -0x1.3048d3971da95p-1}, {0x1.707f297f9f4a5p+5, 0x1.bf1876b6cc4c1p-1},
        {0x1.1a87504e65b19p+7, 0x1.b700e3b7c1259p-4},  {0x1.15eea470337adp+5, -0x1.76b8591eca0ebp-3},
    };
    for (const Case& c : sines) {
        EXPECT_EQ(CorrectlyRoundedSin(c.x), c.expected) << std::hexfloat << c.x;
        EXPECT_EQ(CorrectlyRoundedSin(-c.x), -c.expected) << std::hexfloat << c.x;
    }
    const Case cosines[] = {
        {0x1.6564bed5354d8p+18, 0x1.aef416a6ec7d3p-1}, {0x1.03c20f6a82201p+17, 0x1.fefc4f6cda739p-1},
        {0x1.a7b80178f2a1ap+17, -0x1.e6c9ba320429fp-3},
    };
    for (const Case& c : cosines) {
        EXPECT_EQ(CorrectlyRoundedCos(c.x), c.expected) << std::hexfloat << c.x;
        EXPECT_EQ(CorrectlyRoundedCos(-c.x), c.expected) << std::hexfloat << c.x;
    }

    struct PowCase {
        double x, y, expected;
    };
    const PowCase powers[] = {
        {0x1.010101010101p-7, 0x1.06a73f9c66276p-3, 0x1.12f124f97ea1dp-1},
        {0x1.5959595959596p-1, 0x1.6245e5d46c012p-3, 0x1.de492c4dd4b17p-1},
        {0x1.6161616161616p-2, 0x1.b3ba27fdefbbdp-3, 0x1.98490d1093e8ep-1},
        {0x1.c7c7c7c7c7c7cp-1, 0x1.a97f4f1131c4bp+1, 0x1.5bd10fdff43b3p-1},
        {0x1.7777777777777p-1, 0x1.965bed748c7cdp-2, 0x1.c4b4e510ef691p-1},
        {0x1.c9c9c9c9c9c9dp-1, 0x1.6982081385e9ep-3, 0x1.f5fc051c21d3p-1},
        {0x1.e5e5e5e5e5e5ep-2, 0x1.f07e4af94b91fp-4, 0x1.d3c37166d9c31p-1},
    };
    for (const PowCase& c : powers)
        EXPECT_EQ(CorrectlyRoundedPow(c.x, c.y), c.expected) << std::hexfloat << c.x << " ^ " << c.y;
}

TEST(CorrectlyRounded, SpecialOperandsAndExactResults) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct PowCase {
        double x, y, expected;
    };
    const PowCase powers[] = {
        {nan, 0.0, 1.0},       {1.0, nan, 1.0},      {0.0, 2.2, 0.0},       {0.0, -1.0, inf},
        {-0.0, -3.0, -inf},    {-0.0, 3.0, -0.0},    {-2.0, 3.0, -8.0},     {-2.0, -2.0, 0.25},
        {-1.0, inf, 1.0},      {0.5, inf, 0.0},      {2.0, inf, inf},       {inf, -0.5, 0.0},
        {2.0, 10.0, 1024.0},   {9.0, 0.5, 3.0},      {0.25, 1.5, 0.125},    {1.0 / 255.0, 1.0, 1.0 / 255.0},
        {2.0, -1074.0, 0x1p-1074}, {2.0, -1075.0, 0.0},  // the tie between 0 and the least subnormal goes to 0
        {2.0, 1024.0, inf},
        // (2^27 - 1)^2 = 2^54 - 2^28 + 1, halfway between two doubles: to the even one.
        {0x1.ffffffcp+26, 2.0, 0x1.ffffff8p+53},
    };
    for (const PowCase& c : powers) {
        const double got = CorrectlyRoundedPow(c.x, c.y);
        EXPECT_EQ(got, c.expected) << std::hexfloat << c.x << " ^ " << c.y;
        EXPECT_EQ(std::signbit(got), std::signbit(c.expected)) << std::hexfloat << c.x << " ^ " << c.y;
    }
    EXPECT_TRUE(std::isnan(CorrectlyRoundedPow(-8.0, 1.0 / 3.0)));
    EXPECT_TRUE(std::isnan(CorrectlyRoundedPow(nan, 1.0)));

    EXPECT_EQ(CorrectlyRoundedSin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(CorrectlyRoundedSin(-0.0)));
    EXPECT_EQ(CorrectlyRoundedCos(0.0), 1.0);
    EXPECT_EQ(CorrectlyRoundedSin(0x1p-30), 0x1p-30);  // sin x = x - x^3/6: below half an ulp
    for (double x : {inf, -inf, nan}) {
        EXPECT_TRUE(std::isnan(CorrectlyRoundedSin(x)));
        EXPECT_TRUE(std::isnan(CorrectlyRoundedCos(x)));
    }
}

}  // namespace
}  // namespace kest
