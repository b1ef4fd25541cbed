#include "filetools/FrameRateConversion.h"

#include "core/Errors.h"
#include "core/FrameRateText.h"
#include "core/TimelineWriter.h"
#include "core/TimeStrings.h"

#include <cmath>
#include <stdexcept>

namespace vt {

std::string FrameToNewTime(int32_t frame, float newFrameRate)
{
    if (frame < 0 || !(newFrameRate > 0.0f) || !std::isfinite(newFrameRate))
        return {};
    // divided first, then scaled, in extended precision: the new rate's
    // times differ by a millisecond here and there from FrameToTime's order
    long double exact = std::trunc(static_cast<long double>(frame) / static_cast<long double>(newFrameRate) * 1000.0L);
    return msToTimeString(static_cast<int64_t>(std::fmin(exact, 9.0e18L)));
}

ConversionOutcome convertFrameRate(std::string_view shownRateText, std::string_view newRateText,
                                   const TimelineArray& timeline, int32_t timelineCount, float& frameRate,
                                   const std::string& timelineFileName, FileEncoding encoding, bool& newTimeline,
                                   const SaveDialogue& dialogue, const TimelineDocument* document)
{
    std::optional<float> newRate = readFrameRate(newRateText);
    if (!newRate)
        throw UserError(std::string(MsgNewFrameRateInvalid));
    std::optional<float> shownRate = readFrameRate(shownRateText);
    if (!shownRate)
        throw std::invalid_argument("the original rate box holds no rate: " + std::string(shownRateText));
    if (*newRate == *shownRate)
        return ConversionOutcome::SameRate;
    proSaveSrt(timeline, timelineCount, *newRate, timelineFileName, encoding, newTimeline, dialogue, document);
    frameRate = *newRate;
    return ConversionOutcome::Converted;
}

}  // namespace vt
