#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QStringList>

namespace vt {

namespace {
DialogAnswerer& answerer()
{
    static DialogAnswerer a;
    return a;
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

std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (answerer())
        return answerer()(request);

    QFileDialog dialog(parent, request.title, request.initialDir, qtNameFilters(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (request.kind == FileDialogRequest::Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // the dialog asks before it names an existing file
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setDefaultSuffix(QStringLiteral("srt"));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace vt
