#include "analysis/ShotSearch.h"
#include "analysis/SpeechSearch.h"
#include "core/TimeStrings.h"
#include "platform/EndSignals.h"
#include "platform/FfmpegInput.h"
#include "platform/FfmpegLog.h"
#include "platform/FilmPictures.h"
#include "platform/FilmSound.h"
#include "platform/VoiceActivity.h"
#include "platform/Look.h"
#include "shell/CommandLine.h"
#include "shell/ControlUnit.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// What the command line's analyses print and end with.
struct Answer {
    int status = 0;
    std::string out;  // the answer alone, for a script to read
    std::string err;
};

Answer cannotAnswer(int status, std::string_view text, const std::string& film, const std::string& why = {})
{
    std::string err = vt::fillIn(text, film);
    if (!why.empty())
        err += vt::fillIn(vt::CommandLineText::DecoderSaid, why);
    return {status, {}, std::move(err)};
}

// The decoders only say that they found nothing to decode; the file's
// container tells whether it is no film at all or a film without that stream.
Answer withoutStream(const std::string& film, bool wantsSound)
{
    const std::optional<vt::FilmContents> contents = vt::filmContentsOf(film);
    if (!contents)
        return cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::NotAFilm, film);
    if (wantsSound)
        return contents->sound ? cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::SoundUnreadable, film)
                               : cannotAnswer(vt::FilmHasNoSound, vt::CommandLineText::FilmWithoutSound, film);
    return contents->pictures ? cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::PicturesUnreadable, film)
                              : cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::FilmWithoutPictures, film);
}

// The speech of one film, worked out (or taken from the cache) without a window.
Answer speechAnswer(const std::string& film)
{
    const std::atomic<bool> never{false};
    const vt::SpeechAnswer answer = vt::searchSpeech(
        [&film](const std::atomic<bool>& cancel) { return vt::openFilmSound(film, cancel); },
        [] { return vt::openVoiceActivity(); }, vt::speechCacheFile(film), never);
    switch (answer.end) {
    case vt::SpeechAnswer::End::Found: {
        Answer found;
        for (const vt::SpeechSpan& span : answer.spans)
            found.out.append(vt::msToTimeString(span.StartMs))
                .append(vt::CommandLineText::SpanArrow)
                .append(vt::msToTimeString(span.EndMs))
                .append("\n");
        return found;
    }
    case vt::SpeechAnswer::End::NoSound:
        return withoutStream(film, true);
    case vt::SpeechAnswer::End::Unreadable:
    case vt::SpeechAnswer::End::Stopped:  // nothing stops it here
        break;
    }
    return cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::SoundUnreadable, film, answer.why);
}

// The cuts of one film at the rate its container states, cached like the editor's.
Answer shotChangesAnswer(const std::string& film)
{
    const std::optional<double> rate = vt::filmFrameRate(film);
    if (!rate || !(*rate > 0))
        return withoutStream(film, false);
    const std::atomic<bool> never{false};
    const float frameRate = float(*rate);
    const vt::ShotAnswer answer = vt::shotChangesOf(
        [&film, frameRate](int64_t from, const std::atomic<bool>& cancel) {
            return vt::openFilmPictures(film, frameRate, cancel, vt::AnalysisWidth, from);
        },
        frameRate, vt::shotChangesCacheFile(film), never);
    switch (answer.end) {
    case vt::ShotAnswer::End::Found: {
        Answer found;
        for (int32_t cut : answer.cuts)
            found.out.append(std::to_string(cut)).append("\n");
        return found;
    }
    case vt::ShotAnswer::End::NoPictures:
        return withoutStream(film, false);
    case vt::ShotAnswer::End::Unreadable:
    case vt::ShotAnswer::End::Stopped:  // nothing stops it here
        break;
    }
    return cannotAnswer(vt::FilmCannotBeRead, vt::CommandLineText::PicturesUnreadable, film, answer.why);
}

// Standard output holds the answer and nothing else; an answer that does
// not get there (a full disk) is no answer.
int print(const Answer& answer)
{
    if (!answer.out.empty()) {
        std::fwrite(answer.out.data(), 1, answer.out.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            const std::string why = std::strerror(errno);
            std::fputs(vt::fillIn(vt::CommandLineText::AnswerNotWritten, why).c_str(), stderr);
            return vt::FilmCannotBeRead;
        }
    }
    std::fputs(answer.err.c_str(), stderr);
    return answer.status;
}

}  // namespace

int main(int argc, char** argv)
{
    vt::quietFfmpegUnlessDebugging();
    // decided before Qt starts: answers and refusals open no window and need
    // no display
    vt::CommandLine command = vt::readCommandLine(argc, argv);
    switch (command.action) {
    case vt::CommandLine::Action::ShowHelp:
        std::fwrite(vt::CommandLineText::Usage.data(), 1, vt::CommandLineText::Usage.size(), stdout);
        return 0;
    case vt::CommandLine::Action::ShowVersion:
        std::fputs(vt::fillIn(vt::CommandLineText::VersionLine, VT_VERSION).c_str(), stdout);
        return 0;
    case vt::CommandLine::Action::PrintSpeech:
        return print(speechAnswer(command.video));
    case vt::CommandLine::Action::PrintShotChanges:
        return print(shotChangesAnswer(command.video));
    case vt::CommandLine::Action::Refuse:
        std::fputs(command.message.c_str(), stderr);
        return vt::CommandLineRefused;
    case vt::CommandLine::Action::Start:
        break;
    }

    int qtArgc = static_cast<int>(command.qtArguments.size()) - 1;
    QApplication app(qtArgc, command.qtArguments.data());
    vt::setUpApplication(app);
    vt::TMainControl mainControl;  // never shown
    vt::watchEndSignals(&mainControl, [&mainControl](int) { mainControl.endBySignal(); });
    return mainControl.FormCreate(QFile::decodeName(QByteArray::fromStdString(command.video)));
}
