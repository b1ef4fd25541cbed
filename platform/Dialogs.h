// The open and save file dialogs. Filters are given the program's way,
// "description|pattern;pattern|description|pattern", and shown by Qt's own
// dialog so they look and behave the same on every desktop: the user sees
// each description as it is written, and its patterns match names in any
// case (FILM.AVI is a film too).
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
    QString initialDir;  // empty: the folder of the last file chosen
    // Save dialogs: the file the dialog starts on, its folder and its name
    // (a full path); empty: none.
    QString proposed{};
    // Save dialogs only: ask before naming a file that exists, and before
    // naming one that does not exist yet.
    bool confirmOverwrite = true;
    bool confirmCreate = false;
};

// The chosen path, or nothing when the user cancels. A name typed without an
// ending gets the first pattern's ("*.srt" -> ".srt"). The chosen file's
// folder is where the next dialog opens.
std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request);

// A file the user chose without a dialog (named on the command line): the
// next dialog opens in its folder.
void noteChosenFile(const QString& path);

// "视频文件|*.avi;*.wmv" -> "视频文件 (*.avi *.wmv)", pairs joined by ";;".
QString qtNameFilters(const QString& filter);

// While set, dialogs are answered by the function instead of a person.
using DialogAnswerer = std::function<std::optional<QString>(const FileDialogRequest&)>;
void setDialogAnswerer(DialogAnswerer answerer);

}  // namespace vt
