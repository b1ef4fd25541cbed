// The open and save file dialogs. Filters are given the program's way,
// "description|pattern;pattern|description|pattern", and shown by Qt's own
// dialog so they look and behave the same on every desktop.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace vt {

struct FileDialogRequest {
    enum class Kind { Open, Save } kind = Kind::Open;
    QString title;
    QString filter;      // the program's form
    QString initialDir;
    // Save dialogs only: ask before naming a file that exists, and before
    // naming one that does not exist yet.
    bool confirmOverwrite = true;
    bool confirmCreate = false;
};

// The chosen path, or nothing when the user cancels. A name typed without an
// ending gets the first pattern's ("*.srt" -> ".srt").
std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request);

// "视频文件|*.avi;*.wmv" -> "视频文件 (*.avi *.wmv)", pairs joined by ";;".
QString qtNameFilters(const QString& filter);

// While set, dialogs are answered by the function instead of a person.
using DialogAnswerer = std::function<std::optional<QString>(const FileDialogRequest&)>;
void setDialogAnswerer(DialogAnswerer answerer);

}  // namespace vt
