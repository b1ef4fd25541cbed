// The editor over a film that has its own sound but no WAV: it opens on the
// placeholder and the film's sound fills the strip while it is open; closed
// before any of it has come, it leaves the work for the next visit.
#include "core/FileIO.h"
#include "core/ProjectState.h"
#include "editor/TimeLineEditUnit.h"
#include "editor/WaveStrip.h"
#include "opening/Loader.h"
#include "analysis/WaveSummary.h"
#include "shell/ControlUnit.h"
#include "tests/support/Events.h"
#include "tests/support/SoundClips.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vt;
using testsupport::pumpEvents;
namespace fs = std::filesystem;
namespace clips = vt::soundclips;

TEST(FilmSoundInTheEditor, PlaceholderFirstThenTheFilmsSoundAndAClosedEditorLeavesItForTheNextVisit)
{
    if (!clips::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = clips::scratchDir("film-sound-editor");
    const std::string film = clips::makeFilm(dir, "film.mp4", 20, clips::swellingSound(2, 48000, 20), "-c:a aac");
    ASSERT_FALSE(film.empty());
    const std::string wav = clips::extractWav(film, false);
    ASSERT_FALSE(wav.empty());
    const ByteArray expected = summarizeWav(wav).summary;
    fs::remove(wav);
    const std::string srt = (dir / "film.srt").string();
    writeFileAtomically(srt, "1\r\n00:00:01,000 --> 00:00:02,000\r\n一\r\n\r\n");

    resetProjectState(Project);
    LoadRequest request;
    request.VideoFileName = film;
    request.WavFileName = companionName(film, "wav");
    request.TimelineFileName = srt;
    request.FrameRate = 25;
    LoadCallbacks callbacks;
    callbacks.videoLengthFrames = [](const std::string&) { return 500; };
    ASSERT_TRUE(loadProject(request, Project, callbacks).ok);
    const ByteArray placeholder = Project.WaveSummary;
    ASSERT_TRUE(Project.FilmSoundPending);

    TMainControl main;
    {
        // closed before its first refresh: nothing came, nothing is left running
        TplayAndEdit editor(&main);
        editor.show();
        editor.close();
        EXPECT_TRUE(Project.FilmSoundPending);
        EXPECT_EQ(Project.WaveSummary, placeholder);
    }

    TplayAndEdit editor(&main);
    editor.show();
    // a line put in over the placeholder before the first pairs come
    QTest::keyClick(&editor, Qt::Key_V);
    ASSERT_EQ(Project.TimelineCount, 2);
    QElapsedTimer clock;
    clock.start();
    while (Project.FilmSoundPending && clock.elapsed() < 20000)
        pumpEvents(5);
    EXPECT_FALSE(Project.FilmSoundPending);
    EXPECT_EQ(Project.WaveSummary, expected);
    EXPECT_EQ(Project.WaveMarks.size(), expected.size());
    EXPECT_FALSE(editor.PaintBoxWavProgress->isVisible()) << "the bar is gone when the summary is whole";
    // the summary is shorter than the placeholder: the insertion cannot be
    // taken back over marks of the placeholder's length, and the line stays
    ASSERT_LT(expected.size(), placeholder.size());
    QTest::keyClick(&editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Project.TimelineCount, 2);
    EXPECT_EQ(Project.WaveMarks.size(), Project.WaveSummary.size());
    editor.close();
    fs::remove_all(dir);
}
