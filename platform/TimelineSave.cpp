#include "platform/TimelineSave.h"

#include "core/FileIO.h"
#include "core/TimelineWriter.h"
#include "core/TimelineRecovery.h"
#include "platform/Dialogs.h"
#include "platform/EndSignals.h"
#include "platform/Messages.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace vt {

namespace {

std::optional<UntimedTexts> untimedOf(const ProjectState& project)
{
    if (!project.TextFromTxtFile)
        return std::nullopt;
    return untimedTextsOf(project.Timeline, project.TimelineCount, project.TextCount);
}

void saveAs(QWidget* window, ProjectState& project, const std::string& fileName)
{
    saveTimelineFile(project.Timeline, project.TimelineCount, project.FrameRate, fileName, project.TimelineEncoding,
               project.NewTimeline, saveDialogue(window), project.TimelineFileDocument.get());
}

// The save dialog, from the home folder with the timeline's name, until a
// save goes through or the user gives up.
bool saveElsewhere(QWidget* window, ProjectState& project, const FileError& why)
{
    QString reason = QString::fromUtf8(why.what());
    for (;;) {
        if (!askYesNo(window, QApplication::applicationName(), reason + QString::fromUtf8(MsgSaveElsewhereAsk)))
            return false;
        const std::filesystem::path name = std::filesystem::path(project.TimelineFileName).filename();
        const QString extension = QString::fromStdString(name.extension().string());
        FileDialogRequest request;
        request.kind = FileDialogRequest::Kind::Save;
        request.title = QString::fromUtf8(SaveElsewhereTitle);
        request.filter = QStringLiteral("字幕文件|*") + (extension.isEmpty() ? QStringLiteral(".srt") : extension);
        request.initialDir = QDir::homePath();
        request.proposed = QDir::home().filePath(QString::fromStdString(name.string()));
        const std::optional<QString> chosen = runFileDialog(window, request);
        if (!chosen)
            return false;
        const std::string path = chosen->toStdString();
        try {
            saveAs(window, project, path);
        } catch (const FileError& error) {
            reason = QString::fromUtf8(error.what());
            continue;
        }
        // the edits are in the new file: the old one's copies would only
        // offer them back over a timeline the user left behind
        removeRecoveryFile(project.TimelineFileName);
        project.TimelineFileName = path;
        return true;
    }
}

}  // namespace

bool saveProjectTimeline(QWidget* window, ProjectState& project)
{
    try {
        saveAs(window, project, project.TimelineFileName);
        return true;
    } catch (const TimelineChangedOnDisk& error) {
        // the user chose to keep the other program's version
        showError(window, error);
        return false;
    } catch (const FileError& error) {
        if (endingBySignal()) {
            std::fprintf(stderr, "veltrana: %s\n", error.what());
            return false;
        }
        return saveElsewhere(window, project, error);
    }
}

bool mayLeaveUnsaved(QWidget* window, const ProjectState& project)
{
    const std::optional<UntimedTexts> untimed = untimedOf(project);
    if (endingBySignal()) {
        try {
            const std::string place =
                rescueTimeline(project.Timeline, project.TimelineCount, project.FrameRate, project.TimelineFileName,
                               project.TimelineEncoding, untimed ? &*untimed : nullptr,
                               project.TimelineFileDocument.get());
            std::fputs(fillIn(MsgRescuedTo, place).c_str(), stderr);
        } catch (const FileError& error) {
            std::fputs(fillIn(MsgRescueFailed, error.what()).c_str(), stderr);
        }
        return true;
    }
    return askYesNo(window, QApplication::applicationName(), QString::fromUtf8(MsgLeaveUnsavedAsk), false);
}

}  // namespace vt
