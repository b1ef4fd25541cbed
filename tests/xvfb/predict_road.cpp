// What the program writes on the whole road of a project, worked out without
// a window: a new timeline ("新建") for a film whose texts are in a
// one-line-per-subtitle text file is loaded as the open-project screen loads
// it (the waveform summary is written beside the WAV), then the steps given
// are replayed as the editor and the file tools carry them out. The
// real-window check compares every file the program writes with these.
//
// Usage: predict_road VIDEO TEXT_FILE TIMELINE FRAME_RATE LENGTH_FRAMES STRIP_WIDTH STEP...
//   VIDEO          the film; its companion WAV is read
//   TEXT_FILE      the subtitle lines, one a line ("一行一幕")
//   TIMELINE       the new timeline; "新建" creates it empty, the load rewrites it
//   FRAME_RATE     as "指定" measured it
//   LENGTH_FRAMES  the video's length as the editor's player reports it
//   STRIP_WIDTH    PaintBoxWav's width in pixels
// Steps, in the order the user takes them:
//   times-only          "字幕" unticked: insertions and deletions act on the time codes alone
//   size ITEM           the step-size item chosen (0 "微" .. 3 "大")
//   at FRAME            the video stands at FRAME (the pointer on the subtitle label)
//   keys LETTERS        keys of the key table pressed one by one, e.g. vwssf
//   append TEXT         double-click on the label, TEXT typed after the text, Enter
//   save OUT            the timeline written as "保存" (and every leaving) writes it
//   tools               "  下一步 >": the file tools go on at the rate their boxes show
//   retimed SPARE OUT   "导入导出": the spare file re-timed by the timeline
//   text SPARE OUT      "导入导出": the spare file's texts alone
//   merge SECOND OUT    "双语字幕" with "置顶" unticked: the second file's texts under the timeline's
// Every OUT must not exist yet.
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FrameRateText.h"
#include "core/TimelineWriter.h"
#include "core/TextCodec.h"
#include "editor/Commands.h"
#include "editor/CurrentLine.h"
#include "editor/EditOps.h"
#include "editor/EditorSession.h"
#include "tests/support/StandingPlayer.h"
#include "editor/WaveView.h"
#include "filetools/Export.h"
#include "filetools/Merge.h"
#include "opening/Loader.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vt;

namespace {

int fail(const std::string& what)
{
    std::fprintf(stderr, "predict_road: %s\n", what.c_str());
    return 1;
}

// The editor as the steps leave it: the view and current line of the last
// refresh, the play position, the speed level and the two columns.
struct Editor {
    ProjectState& project;
    UndoHistory history;
    testplayer::StandingPlayer player;
    EditorSession session{project, history, player,
                          [] { throw std::runtime_error("the timeline array grew, which saves on its own"); }};
    int32_t playSpeed = 0;
    EditColumns columns;

    // the waveform refresh that runs between two inputs
    void refresh()
    {
        const int32_t position = session.playerPosition();
        session.CurrentLine = GetCurrLineNumb(project.Timeline, project.TimelineCount, project.WaveMarks,
                                              project.FrameRate, session.WaveView, position);
        ShowWav({project.WaveSummary, project.WaveMarks, project.Timeline, project.TimelineCount, project.FrameRate,
                 position, session.CurrentLine, project.WaveScale},
                session.WaveView);
    }

    void press(char key)
    {
        refresh();
        const int32_t virtualKey = key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
        const EditorEffect effect = FormKeyDown(virtualKey, false, project.StepSizeIndex, playSpeed);
        if (effect.playSpeed)
            playSpeed = *effect.playSpeed;
        session.run(effect.command, {columns, false});
        std::printf("%c: position %d, current line %d, %d lines\n", key, session.playerPosition(),
                    session.CurrentLine, project.TimelineCount);
    }

    void appendText(const std::string& typed)
    {
        refresh();
        const auto edit = beginTextEdit(project.Timeline, project.TimelineCount, project.WaveMarks,
                                        project.FrameRate, session.WaveView, session.playerPosition());
        if (!edit)
            throw std::runtime_error("the double-click finds no current line");
        session.CurrentLine = edit->Slot;
        session.storeText(*edit, edit->Text + fromUtf8(typed));
        std::printf("text of line %d edited\n", session.CurrentLine);
    }
};

void mustBeNew(const std::string& out)
{
    if (std::filesystem::exists(out))
        throw std::runtime_error(out + " exists already");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 7)
        return fail("usage: predict_road VIDEO TEXT_FILE TIMELINE FRAME_RATE LENGTH_FRAMES STRIP_WIDTH STEP...");
    const std::string video = argv[1];
    const std::string textFile = argv[2];
    const std::string timeline = argv[3];
    const float frameRate = std::strtof(argv[4], nullptr);
    const int32_t lengthFrames = std::atoi(argv[5]);
    const int32_t stripWidth = std::atoi(argv[6]);
    const std::vector<std::string> steps(argv + 7, argv + argc);

    try {
        // "新建" creates the timeline empty; " 下一步 >" with the text file's
        // lines one a line and the WAV that "指定" found
        writeFileAtomically(timeline, {});
        ProjectState project;
        LoadRequest request;
        request.VideoFileName = video;
        request.WavFileName = companionName(video, "wav");
        request.TimelineFileName = timeline;
        request.SubtitleTextFileName = textFile;
        request.FrameRate = frameRate;
        request.NewTimeline = true;
        request.TextFromTxtFile = true;
        request.OneLinePerSubtitle = true;
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [&](const std::string&) { return lengthFrames; };
        const LoadOutcome loaded = loadProject(request, project, callbacks);
        if (!loaded.ok)
            return fail("the load failed: " + (loaded.messages.empty() ? std::string() : loaded.messages.front()));
        // the editor's player measures the length again when it opens
        project.VideoLengthFrames = lengthFrames;

        Editor editor{project};
        editor.session.WaveView.WaveWidth = stripWidth;
        editor.columns = {project.EditTimes, project.EditTexts};

        auto argument = [&](size_t& i) -> const std::string& {
            if (++i >= steps.size())
                throw std::invalid_argument("step " + steps[i - 1] + " lacks its argument");
            return steps[i];
        };
        for (size_t i = 0; i < steps.size(); ++i) {
            const std::string& step = steps[i];
            if (step == "times-only") {
                editor.columns = CheckBoxTextClick({editor.columns.Times, false});
            } else if (step == "size") {
                project.StepSizeIndex = static_cast<int8_t>(std::atoi(argument(i).c_str()));
            } else if (step == "at") {
                editor.player.at = std::atoi(argument(i).c_str());
                editor.playSpeed = 0;
            } else if (step == "keys") {
                for (char key : argument(i))
                    editor.press(key);
            } else if (step == "append") {
                editor.appendText(argument(i));
            } else if (step == "save") {
                const std::string& out = argument(i);
                mustBeNew(out);
                bool newTimeline = project.NewTimeline;
                proSaveSrt(project.Timeline, project.TimelineCount, project.FrameRate, out,
                           project.TimelineEncoding, newTimeline);
            } else if (step == "tools") {
                const auto shown = readFrameRate(sixCharacterFrameRate(project.FrameRate));
                if (!shown)
                    return fail("the rate box would show no rate");
                project.FrameRate = *shown;
            } else if (step == "retimed" || step == "text" || step == "merge") {
                const std::string& input = argument(i);
                const std::string& out = argument(i);
                mustBeNew(out);
                if (step == "retimed")
                    saveRetimedSrt(toolTimelineOf(project), input, out);
                else if (step == "text")
                    saveSpareText(input, out, project.TimelineFileName);
                else
                    saveBilingualSrt(toolTimelineOf(project), input, out, false);
            } else {
                return fail("unknown step " + step);
            }
        }
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}
