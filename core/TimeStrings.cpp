#include "core/TimeStrings.h"

#include <cmath>
#include <limits>

namespace vt {

namespace {

int32_t decimalField(std::string_view text, size_t from, size_t count)
{
    // like a substring taken by position: whatever of the field is there
    std::string_view field = from < text.size() ? text.substr(from, count) : std::string_view{};
    if (field.empty())
        throw TimeStringError("“" + std::string(text) + "”不是有效的时间");
    int32_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            throw TimeStringError("“" + std::string(field) + "”不是有效的整数");
        value = value * 10 + (c - '0');
    }
    return value;
}

// the last `width` decimal digits of v (v >= 0), zero-padded, ending at end
void putDigits(char* end, int64_t v, int width)
{
    for (int i = 0; i < width; ++i, v /= 10)
        *--end = char('0' + v % 10);
}

}  // namespace

int32_t StrToMs(std::string_view text)
{
    int32_t hours = decimalField(text, 0, 2);
    int32_t minutes = decimalField(text, 3, 2);
    int32_t seconds = decimalField(text, 6, 2);
    int32_t millis = decimalField(text, 9, 3);
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis;
}

int32_t MsToFrame(int64_t ms, float frameRate)
{
    double frame = std::trunc(static_cast<double>(ms) * static_cast<double>(frameRate) / 1000.0 + 0.5);
    if (std::isnan(frame))
        return 0;
    // converting an out-of-range double is undefined, so clip first
    if (frame >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (frame <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(frame);
}

std::string FrameToTime(int32_t frame, float frameRate)
{
    if (frame < 0 || !(frameRate > 0.0f))
        return {};
    // the product is formed in 64 bits so frames past 2147483 do not wrap;
    // and a tiny rate is kept from pushing the quotient past int64
    double exact = std::trunc(static_cast<double>(int64_t(frame) * 1000) / static_cast<double>(frameRate));
    return msToTimeString(static_cast<int64_t>(std::fmin(exact, 9.0e18)));
}

std::string msToTimeString(int64_t ms)
{
    if (ms < 0)
        return {};
    // written into place: every saved line formats two of these
    std::string text = "00:00:00,000";
    int64_t s = ms / 1000;
    int64_t m = s / 60;
    int64_t h = m / 60;
    putDigits(text.data() + 2, h % 60, 2);
    putDigits(text.data() + 5, m % 60, 2);
    putDigits(text.data() + 8, s % 60, 2);
    putDigits(text.data() + 12, ms % 1000, 3);
    return text;
}

}  // namespace vt
