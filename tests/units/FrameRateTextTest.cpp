#include "core/FrameRateText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace vt;

TEST(FrameRateText, SixCharactersOfTheRate)
{
    struct Row {
        float rate;
        const char* shown;
    };
    const Row rows[] = {
        {23.976f, "23.976"},  // a float a hair below 23.976
        {23.976024f, "23.976"},
        {25.0f, "25.000"},
        {29.97003f, "29.970"},
        {59.94f, "59.940"},
        {120.0f, "120.00"},
        {8.0f, "8.0000"},
        {7.992f, "7.9920"},  // a float a hair below 7.992
        {0.5f, "0.5000"},
        {12345.0f, "12345"},
        {0.00005f, "5e-05"},  // too small for six characters: never "0.0000"
        {0.0f, ""},
        {-25.0f, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(sixCharacterFrameRate(row.rate), row.shown) << row.rate;
}

// The screen sets the rate to the number its box shows on every visit; the
// text shown next time must be the same text, or 8 fps becomes 8.0001,
// 8.0002 ... one visit after the other.
TEST(FrameRateText, DoesNotCreepFromVisitToVisit)
{
    float rate = 8.0f;
    for (int visit = 0; visit < 20; ++visit)
        rate = readFrameRate(sixCharacterFrameRate(rate)).value();
    EXPECT_EQ(rate, 8.0f);

    for (int thousandths = 500; thousandths <= 200000; thousandths += 7) {
        float start = float(thousandths) / 1000.0f;
        std::string shown = sixCharacterFrameRate(start);
        std::optional<float> read = readFrameRate(shown);
        ASSERT_TRUE(read) << shown;
        ASSERT_EQ(sixCharacterFrameRate(*read), shown) << start;
    }
}

TEST(FrameRateText, ReadsOnlyPositiveNumbers)
{
    EXPECT_EQ(readFrameRate("25"), 25.0f);
    EXPECT_EQ(readFrameRate(" 23.976 "), 23.976f);
    EXPECT_EQ(readFrameRate("2"), 2.0f);  // typed on the way to 25
    EXPECT_EQ(readFrameRate("5e-05"), 0.00005f);
    EXPECT_EQ(readFrameRate("+25"), 25.0f);  // as the shift fields take a sign
    for (const char* refused : {"", "   ", "abc", "25abc", "25 fps", "0", "0.000", "-25", "+-25", "++25", "+ 25", "inf", "nan", "1e60",
                                "1e-60", "0x19", "25,000"})
        EXPECT_EQ(readFrameRate(refused), std::nullopt) << refused;
}
