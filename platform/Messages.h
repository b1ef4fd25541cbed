// Modal message boxes with the program's own texts. A "\r" in a message is a
// line break. Tests can take the messages instead of a person.
#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace vt {

void showMessage(QWidget* parent, const QString& text);
void showMessage(QWidget* parent, const std::string& utf8Text);
// An error raised by an operation, shown with its own text.
void showError(QWidget* parent, const std::exception& error);

// While set, messages go to the sink instead of a message box.
using MessageSink = std::function<void(const QString&)>;
void setMessageSink(MessageSink sink);

}  // namespace vt
