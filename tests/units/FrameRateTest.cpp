#include "core/FrameRate.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

using namespace vt;

// A rate nothing can be converted with stops the operation; every rate a
// film can have goes through, however odd.
TEST(FrameRate, OnlyAPositiveFiniteRatePasses)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    struct Row {
        float rate;
        bool passes;
    };
    const Row rows[] = {
        {25.0f, true},
        {23.976f, true},
        {0.0001f, true},
        {std::numeric_limits<float>::denorm_min(), true},
        {std::numeric_limits<float>::max(), true},
        {0.0f, false},
        {-0.0f, false},
        {-25.0f, false},
        {std::numeric_limits<float>::quiet_NaN(), false},   // fails every comparison
        {inf, false},
        {-inf, false},
    };
    for (const Row& row : rows) {
        if (row.passes)
            EXPECT_NO_THROW(requirePositiveFrameRate(row.rate)) << row.rate;
        else
            EXPECT_THROW(requirePositiveFrameRate(row.rate), std::invalid_argument) << row.rate;
    }
}
