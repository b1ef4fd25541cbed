// What the editor window saves after a run of keys, worked out without a
// window: the project is loaded as the open-project screen loads it, and
// every key is handled as the window handles it, with the waveform refresh
// that runs between two presses (current line, view) before each one. The
// real-window check compares the program's saved timeline with this file.
//
// Usage: predict_edits VIDEO FRAME_RATE LENGTH_FRAMES POSITION STRIP_WIDTH KEYS OUT.srt
//   VIDEO          the film; its companion WAV and SRT are loaded (the SRT
//                  holds the texts); a summary is written beside the WAV
//   FRAME_RATE     as "指定" measured it
//   LENGTH_FRAMES  the video's length as the editor's player reports it
//   POSITION       the play position when the first key is pressed; the
//                  video stands still (the pointer rests on the subtitle label)
//   STRIP_WIDTH    PaintBoxWav's width in pixels
//   KEYS           letters of the key table, e.g. WXVSEF
//   OUT.srt        written as "保存" writes it; must not exist yet
#include "core/Errors.h"
#include "core/TimelineWriter.h"
#include "editor/Commands.h"
#include "editor/CurrentLine.h"
#include "editor/EditOps.h"
#include "editor/EditorSession.h"
#include "tests/support/StandingPlayer.h"
#include "editor/WaveView.h"
#include "opening/Loader.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

using namespace vt;

namespace {

int fail(const std::string& what)
{
    std::fprintf(stderr, "predict_edits: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 8)
        return fail("usage: predict_edits VIDEO FRAME_RATE LENGTH_FRAMES POSITION STRIP_WIDTH KEYS OUT.srt");
    const std::string video = argv[1];
    const float frameRate = std::strtof(argv[2], nullptr);
    const int32_t lengthFrames = std::atoi(argv[3]);
    int32_t position = std::atoi(argv[4]);
    const int32_t stripWidth = std::atoi(argv[5]);
    const std::string keys = argv[6];
    const std::string out = argv[7];
    if (std::filesystem::exists(out))
        return fail(out + " exists already");

    try {
        // " 下一步 >" with the companions "指定" filled in and the texts in the SRT
        ProjectState project;
        LoadRequest request;
        request.VideoFileName = video;
        request.WavFileName = companionName(video, "wav");
        request.TimelineFileName = companionName(video, "srt");
        request.FrameRate = frameRate;
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [&](const std::string&) { return lengthFrames; };
        const LoadOutcome loaded = loadProject(request, project, callbacks);
        if (!loaded.ok)
            return fail("the load failed: " + (loaded.messages.empty() ? std::string() : loaded.messages.front()));
        // the editor's player measures the length again when it opens
        project.VideoLengthFrames = lengthFrames;

        // the editor as its first visit shows it, the pointer on the label
        UndoHistory history;
        testplayer::StandingPlayer player;
        player.at = position;
        EditorSession session(project, history, player,
                              [] { throw std::runtime_error("the timeline array grew, which saves on its own"); });
        session.WaveView.WaveWidth = stripWidth;
        int32_t playSpeed = 0;
        const EditorControls controls{{project.EditTimes, project.EditTexts}, false};
        const int32_t stepItem = project.StepSizeIndex;

        for (char key : keys) {
            // the refresh that runs before the next press
            const int32_t at = session.playerPosition();
            session.CurrentLine = GetCurrLineNumb(project.Timeline, project.TimelineCount, project.WaveMarks,
                                                  project.FrameRate, session.WaveView, at);
            ShowWav({project.WaveSummary, project.WaveMarks, project.Timeline, project.TimelineCount,
                     project.FrameRate, at, session.CurrentLine, project.WaveScale},
                    session.WaveView);
            const int32_t virtualKey = key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
            const EditorEffect effect = FormKeyDown(virtualKey, false, stepItem, playSpeed);
            if (effect.playSpeed)
                playSpeed = *effect.playSpeed;
            session.run(effect.command, controls);
            std::printf("%c: position %d, current line %d, %d lines\n", key, session.playerPosition(),
                        session.CurrentLine, project.TimelineCount);
        }

        bool newTimeline = project.NewTimeline;
        proSaveSrt(project.Timeline, project.TimelineCount, project.FrameRate, out, project.TimelineEncoding,
                   newTimeline);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}
