#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace vt {

namespace {
DialogAnswerer& answerer()
{
    static DialogAnswerer a;
    return a;
}

// The folder of the file chosen last, for the whole run: the companions of a
// film are usually beside it.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

// "字幕(*.srt)|*.srt" -> "srt"; nothing for "*.*" or no filter.
QString firstSuffix(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() < 2)
        return {};
    const QString pattern = parts[1].section(QLatin1Char(';'), 0, 0).trimmed();
    if (!pattern.startsWith(QStringLiteral("*.")) || pattern.mid(2).contains(QLatin1Char('*')))
        return {};
    return pattern.mid(2);
}

const QString CreatePrompt = QStringLiteral("%1 不存在。\n要创建该文件吗？");

std::optional<QString> askPerson(QWidget* parent, const FileDialogRequest& request)
{
    QFileDialog dialog(parent, request.title, request.initialDir, qtNameFilters(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // the list shows the descriptions alone, as they are written; the
    // patterns stay behind them (and "波形文件 *.wav" is not doubled)
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!request.proposed.isEmpty()) {
        const QFileInfo proposed(request.proposed);
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (request.kind == FileDialogRequest::Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
        dialog.setDefaultSuffix(firstSuffix(request.filter));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString chosen = dialog.selectedFiles().first();
        if (request.kind != FileDialogRequest::Kind::Save || !request.confirmCreate || QFileInfo::exists(chosen))
            return chosen;
        // a "no" goes back to the dialog, as its overwrite question does
        const QString question = CreatePrompt.arg(QFileInfo(chosen).fileName());
        if (QMessageBox::question(&dialog, dialog.windowTitle(), question) == QMessageBox::Yes)
            return chosen;
    }
}

}  // namespace

void setDialogAnswerer(DialogAnswerer a)
{
    answerer() = std::move(a);
}

QString qtNameFilters(const QString& filter)
{
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i].trimmed() + QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

void noteChosenFile(const QString& path)
{
    if (!path.isEmpty())
        lastFolder() = QFileInfo(path).absolutePath();
}

std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& given)
{
    FileDialogRequest request = given;
    if (request.initialDir.isEmpty())
        request.initialDir = lastFolder();
    std::optional<QString> chosen = answerer() ? answerer()(request) : askPerson(parent, request);
    if (chosen)
        noteChosenFile(*chosen);
    return chosen;
}

}  // namespace vt
