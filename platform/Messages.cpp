#include "platform/Messages.h"

#include "platform/EndSignals.h"


#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace vt {

namespace {
MessageSink& sink()
{
    static MessageSink s;
    return s;
}
QuestionAnswerer& answerer()
{
    static QuestionAnswerer a;
    return a;
}
}  // namespace

void setQuestionAnswerer(QuestionAnswerer a)
{
    answerer() = std::move(a);
}

bool askYesNo(QWidget* parent, const QString& title, const QString& text, bool yesIsDefault)
{
    if (answerer())
        return answerer()(text);
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Question, title, shown, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void setMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

void showMessage(QWidget* parent, const QString& text)
{
    if (sink()) {
        sink()(text);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), shown, QMessageBox::Ok, parent);
    box.exec();
}

void showMessage(QWidget* parent, const std::string& utf8Text)
{
    showMessage(parent, QString::fromStdString(utf8Text));
}

void showError(QWidget* parent, const UserError& error)
{
    showMessage(parent, QString::fromUtf8(error.what()));
}

SaveDialogue saveDialogue(QWidget* parent)
{
    // While a signal ends the program no one may be there to answer: another
    // program's version of a file is then kept (the edits are in the
    // autosaved copy), and a notice goes to the terminal.
    return {[parent](const std::string& question) {
                return !endingBySignal() &&
                       askYesNo(parent, QApplication::applicationName(), QString::fromStdString(question));
            },
            [parent](const std::string& notice) {
                if (endingBySignal())
                    std::fprintf(stderr, "veltrana: %s\n", notice.c_str());
                else
                    showMessage(parent, notice);
            },
            [parent](const std::string& question) {
                return !endingBySignal() &&
                       askYesNo(parent, QApplication::applicationName(), QString::fromStdString(question), false);
            }};
}

}  // namespace vt
