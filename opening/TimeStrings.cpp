#include "opening/TimeStrings.h"

#include <cmath>

namespace vt {

namespace {

int32_t decimalField(std::string_view text, size_t from, size_t count)
{
    if (text.size() < from + count)
        throw TimeStringError("'" + std::string(text) + "' is not a valid time");
    int32_t value = 0;
    for (size_t i = from; i < from + count; ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            throw TimeStringError("'" + std::string(text.substr(from, count)) + "' is not a valid integer value");
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string twoDigits(int64_t v)
{
    std::string s = "0" + std::to_string(v);
    return s.substr(s.size() - 2);
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
    return static_cast<int32_t>(std::trunc(static_cast<double>(ms) * static_cast<double>(frameRate) / 1000.0 + 0.5));
}

std::string FrameToTime(int32_t frame, float frameRate)
{
    if (frame < 0)
        return {};
    // the product is formed in 64 bits so frames past 2147483 do not wrap
    int64_t ms = static_cast<int64_t>(std::trunc(static_cast<double>(int64_t(frame) * 1000) / static_cast<double>(frameRate)));
    std::string msField = "00" + std::to_string(ms % 1000);
    msField = msField.substr(msField.size() - 3);
    int64_t s = ms / 1000;
    int64_t m = s / 60;
    int64_t h = m / 60;
    return twoDigits(h % 60) + ":" + twoDigits(m % 60) + ":" + twoDigits(s % 60) + "," + msField;
}

}  // namespace vt
