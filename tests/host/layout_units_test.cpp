#include "host/layout_units.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnlow;

TEST(LayoutUnits, PixelsConvertAtTheReferenceDpi) {
    EXPECT_EQ(pixelsToUnitsX(7), 32);
    EXPECT_EQ(pixelsToUnitsX(1024), 4681); // 4681.14
    EXPECT_EQ(pixelsToUnitsX(1), 5);       // 4.57 rounds up
    EXPECT_EQ(pixelsToUnitsX(-7), -32);
    EXPECT_EQ(pixelsToUnitsY(768), 3072);
    EXPECT_EQ(unitsToPixelsX(32), 7);
    EXPECT_EQ(unitsToPixelsY(3072), 768);
    EXPECT_EQ(unitsToPixelsY(2), 1); // half a pixel rounds away from zero
}

TEST(LayoutUnits, DenserScreensHaveFewerUnitsPerPixel) {
    EXPECT_EQ(pixelsToUnitsX(14, 192), 32);
    EXPECT_EQ(pixelsToUnitsY(10, 120), 32);
    EXPECT_EQ(unitsToPixelsX(32, 192), 14);
    EXPECT_EQ(unitsToPixelsY(32, 120), 10);
    // A dpi that is not positive counts as the reference.
    EXPECT_EQ(pixelsToUnitsX(7, 0), 32);
    EXPECT_EQ(pixelsToUnitsY(1, -5), 4);
    EXPECT_EQ(unitsToPixelsX(32, std::numeric_limits<double>::quiet_NaN()), 7);
}

TEST(LayoutUnits, PixelsSurviveTheWayThroughUnits) {
    for (double dpi : {96.0, 120.0, 144.0, 192.0}) {
        for (int pixels = -2000; pixels <= 8000; ++pixels) {
            ASSERT_EQ(unitsToPixelsX(pixelsToUnitsX(pixels, dpi), dpi), pixels) << dpi;
            ASSERT_EQ(unitsToPixelsY(pixelsToUnitsY(pixels, dpi), dpi), pixels) << dpi;
        }
    }
}

TEST(LayoutUnits, CentringHalvesTheDifferenceTruncatingTowardZero) {
    EXPECT_EQ(centredCoordinate(4681, 4681), 0);
    EXPECT_EQ(centredCoordinate(4682, 4681), 0);
    EXPECT_EQ(centredCoordinate(4684, 4681), 1);
    EXPECT_EQ(centredCoordinate(201, 100), 50);
    EXPECT_EQ(centredCoordinate(100, 201), -50);
    EXPECT_EQ(centredCoordinate(100, 103), -1);
    // Extents whose half leaves the 16-bit range stop at its limits instead of wrapping.
    EXPECT_EQ(centredCoordinate(70000, 0), 32767);
    EXPECT_EQ(centredCoordinate(0, 70000), -32768);
    EXPECT_EQ(centredCoordinate(std::numeric_limits<int>::max(), std::numeric_limits<int>::min()), 32767);
}
