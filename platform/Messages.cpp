#include "platform/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace vt {

namespace {
MessageSink& sink()
{
    static MessageSink s;
    return s;
}
}  // namespace

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

}  // namespace vt
