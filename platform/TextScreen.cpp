#include "platform/TextScreen.h"

#include "platform/PageScreen.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace vt {

TextScreen::TextScreen(QWidget* owner, const TextScreenLook& look, std::span<const QStringView> lines)
    : QDialog(owner), lines_(lines), lineHeight_(look.memoLineHeight)
{
    // still tied to its owner, whose modal event loop would otherwise take
    // its input away
    showOnTaskBar(*this);
    setWindowTitle(look.caption.toString());
    setFixedSize(look.clientSize);
    setFont(look.font);

    Label1 = new QLabel(look.heading.toString(), this);
    Label1->setFont(look.headingFont);
    Label1->move(look.headingAt);
    Label1->adjustSize();

    Memo1 = new QTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setAcceptRichText(false);
    Memo1->setFont(look.memoFont);
    Memo1->setGeometry(look.memo);
    if (lineHeight_ > 0)
        Memo1->document()->setDocumentMargin(2);  // an edit box's narrow margin

    Button1 = new QPushButton(look.button.toString(), this);
    Button1->setGeometry(look.buttonAt);
    // Enter presses it; Esc and the frame's close box end in the same hide
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TextScreen::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // a window restored by the window system keeps what the user was reading
    if (!event->spontaneous())
        FormShow();
}

void TextScreen::FormShow()
{
    // the whole text at once: appending line by line would drop the leading
    // empty line, since an empty memo has no line to append after
    QStringList lines;
    for (QStringView line : lines_)
        lines.append(line.toString());
    Memo1->setPlainText(lines.join(u'\n'));
    if (lineHeight_ > 0) {
        QTextCursor all(Memo1->document());
        all.select(QTextCursor::Document);
        QTextBlockFormat spacing;
        spacing.setLineHeight(lineHeight_, QTextBlockFormat::FixedHeight);
        all.mergeBlockFormat(spacing);
    }
    Button1->setFocus();
}

void TextScreen::Button1Click()
{
    close();
}

}  // namespace vt
