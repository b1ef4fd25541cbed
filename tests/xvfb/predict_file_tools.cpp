// What the file tools write after the real-window check's visit, worked out
// without a window: the project is loaded as the open-project screen loads
// it, the file-tools screen takes the rate its boxes show, the bilingual
// merge runs on the timeline as loaded, then the seconds field's shift of
// every line, and the timeline is saved as "保存退出" saves it.
//
// Usage: predict_file_tools VIDEO FRAME_RATE LENGTH_FRAMES SECOND.srt ON_TOP SECONDS OUT_BILINGUAL OUT_TIMELINE
//   VIDEO          the film; its companion WAV and SRT are loaded (the SRT
//                  holds the texts); a summary is written beside the WAV
//   FRAME_RATE     as "指定" measured it
//   LENGTH_FRAMES  the video's length as the editor's player reports it
//   SECOND.srt     the merge's second file
//   ON_TOP         1 when "置顶" is ticked
//   SECONDS        the text typed into the shift's seconds field
//   OUT_BILINGUAL  the merge's output; must not exist yet
//   OUT_TIMELINE   the timeline as saved on leaving; must not exist yet
#include "core/Errors.h"
#include "core/FrameRateText.h"
#include "core/TimelineWriter.h"
#include "filetools/Merge.h"
#include "filetools/Shift.h"
#include "filetools/SubtitleBlocks.h"
#include "opening/Loader.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

using namespace vt;

namespace {

int fail(const std::string& what)
{
    std::fprintf(stderr, "predict_file_tools: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 9)
        return fail("usage: predict_file_tools VIDEO FRAME_RATE LENGTH_FRAMES SECOND.srt ON_TOP SECONDS "
                    "OUT_BILINGUAL OUT_TIMELINE");
    const std::string video = argv[1];
    const float measuredRate = std::strtof(argv[2], nullptr);
    const int32_t lengthFrames = std::atoi(argv[3]);
    const std::string second = argv[4];
    const bool onTop = std::string(argv[5]) == "1";
    const std::string seconds = argv[6];
    const std::string outBilingual = argv[7];
    const std::string outTimeline = argv[8];
    for (const std::string& out : {outBilingual, outTimeline})
        if (std::filesystem::exists(out))
            return fail(out + " exists already");

    try {
        // " 下一步 >" with the companions "指定" filled in and the texts in the SRT
        ProjectState project;
        LoadRequest request;
        request.VideoFileName = video;
        request.WavFileName = companionName(video, "wav");
        request.TimelineFileName = companionName(video, "srt");
        request.FrameRate = measuredRate;
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [&](const std::string&) { return lengthFrames; };
        const LoadOutcome loaded = loadProject(request, project, callbacks);
        if (!loaded.ok)
            return fail("the load failed: " + (loaded.messages.empty() ? std::string() : loaded.messages.front()));
        project.VideoLengthFrames = lengthFrames;

        // the file tools go on at the rate their boxes show
        const auto shownRate = readFrameRate(sixCharacterFrameRate(project.FrameRate));
        if (!shownRate)
            return fail("the rate box would show no rate");
        project.FrameRate = *shownRate;

        saveBilingualSrt(toolTimelineOf(project), second, outBilingual, onTop);

        const auto frames = secondsToShiftFrames(seconds, project.FrameRate, project.VideoLengthFrames);
        if (!frames)
            return fail("the seconds field would not read " + seconds);
        shiftTimeline(project.Timeline, project.TimelineCount, *frames, ShiftRange::All, project.PlayPosition,
                      project.WaveMarks, project.FrameRate);
        std::printf("shift by %d frames\n", *frames);

        bool newTimeline = false;
        proSaveSrt(project.Timeline, project.TimelineCount, project.FrameRate, outTimeline, project.TimelineEncoding,
                   newTimeline);
    } catch (const UserError& error) {
        return fail(error.what());
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}
