// Modal message boxes with the program's own texts. A "\r" in a message is a
// line break. Tests can take the messages instead of a person.
#pragma once

#include "core/Errors.h"
#include "core/ProjectState.h"
#include "core/TimelineBackup.h"

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace vt {

void showMessage(QWidget* parent, const QString& text);
void showMessage(QWidget* parent, const std::string& utf8Text);
// One of the program's own errors, shown with its text. Only these: a
// library's message is English and not written for the user.
void showError(QWidget* parent, const UserError& error);

// While set, messages go to the sink instead of a message box.
using MessageSink = std::function<void(const QString&)>;
void setMessageSink(MessageSink sink);

// A modal question with the buttons Yes (the default: Enter, unless
// yesIsDefault is false) and No (also Esc or the close box); true for Yes.
bool askYesNo(QWidget* parent, const QString& title, const QString& text, bool yesIsDefault = true);

// While set, questions go to the answerer instead of a message box.
using QuestionAnswerer = std::function<bool(const QString& text)>;
void setQuestionAnswerer(QuestionAnswerer answerer);

// A save's or an overwrite's questions and notices (core/TimelineBackup.h)
// as message boxes over parent, titled with the program's name.
SaveDialogue saveDialogue(QWidget* parent);

}  // namespace vt
