#include "analysis/ShotSearch.h"
#include "analysis/SpeechSearch.h"
#include "core/TimeStrings.h"
#include "platform/EndSignals.h"
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
#include <cstdio>
#include <optional>
#include <vector>
#include <string>

namespace {

// The speech of one film, worked out (or taken from the cache) without a window.
int printSpeech(const std::string& film)
{
    const std::atomic<bool> never{false};
    const std::optional<vt::SpeechSpanList> spans = vt::speechOfSound(
        [&film](const std::atomic<bool>& cancel) { return vt::openFilmSound(film, cancel); },
        [] { return vt::openVoiceActivity(); }, vt::speechCacheFile(film), never);
    std::string out;
    for (const vt::SpeechSpan& span : spans.value_or(vt::SpeechSpanList{}))
        out.append(vt::msToTimeString(span.StartMs))
            .append(vt::CommandLineText::SpanArrow)
            .append(vt::msToTimeString(span.EndMs))
            .append("\n");
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

// The cuts of one film at the rate its container states, cached like the editor's.
int printShotChanges(const std::string& film)
{
    const std::atomic<bool> never{false};
    const float rate = float(vt::filmFrameRate(film).value_or(0.0));
    std::string out;
    if (rate > 0) {
        const std::vector<int32_t> cuts = vt::shotChangesOf(
            [&film, rate](int64_t from, const std::atomic<bool>& cancel) {
                return vt::openFilmPictures(film, rate, cancel, vt::AnalysisWidth, from);
            },
            rate,
            vt::shotChangesCacheFile(film), never);
        for (int32_t cut : cuts)
            out.append(std::to_string(cut)).append("\n");
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
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
        return printSpeech(command.video);
    case vt::CommandLine::Action::PrintShotChanges:
        return printShotChanges(command.video);
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
