#include "core/FrameRateText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vt {

namespace {

constexpr size_t ShownCharacters = 6;

std::string formatted(const char* format, double value)
{
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    return std::string(buffer, size_t(std::max(n, 0)));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string sixCharacterFrameRate(float frameRate)
{
    if (!(frameRate > 0.0f) || !std::isfinite(frameRate))
        return {};
    double rate = frameRate;
    if (rate < 0.0001) {
        // the shortest text that reads back as the same float
        char buffer[32];
        auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, frameRate);
        return error == std::errc() ? std::string(buffer, end) : std::string();
    }
    int wholeDigits = 1;
    for (double power = 10; rate >= power && wholeDigits < 40; power *= 10)
        ++wholeDigits;
    if (wholeDigits >= int(ShownCharacters))
        return formatted("%.0f", std::trunc(rate));  // never cut into the whole part
    int decimals = int(ShownCharacters) - wholeDigits - 1;
    // A float a hair below a round rate (23.976f is 23.97599983) still shows
    // the round rate; a tenth of the last kept digit is too little to carry a
    // round rate read back from this text past its own last digit.
    double nudge = 0.1 * std::pow(10.0, -decimals);
    std::string text = formatted("%.15g", rate + nudge).substr(0, ShownCharacters);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::optional<float> readFrameRate(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    // a sign the shift fields accept is accepted here too; from_chars takes only '-'
    if (text.starts_with('+') && !text.substr(1).starts_with('-'))
        text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    auto rate = static_cast<float>(value);
    if (!std::isfinite(value) || !std::isfinite(rate) || !(rate > 0.0f))
        return std::nullopt;
    return rate;
}

}  // namespace vt
