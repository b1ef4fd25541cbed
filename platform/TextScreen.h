// A small read-only text window: a heading, a memo and one button. It is shown
// beside its owner without blocking it, with a task-bar entry of its own; the
// button, Enter, Esc and the frame's close box only hide it, and every
// showing fills the memo afresh.
#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QStringView>

#include <span>

class QLabel;
class QTextEdit;
class QPushButton;

namespace vt {

struct TextScreenLook {
    QStringView caption;
    QSize clientSize;
    QFont font;
    QStringView heading;
    QFont headingFont;
    QPoint headingAt;
    QFont memoFont;
    QRect memo;
    QStringView button;
    QRect buttonAt;
    // Lines this many pixels apart, as an edit box on Windows draws the
    // design's faces, where the memo is sized to show them all without a
    // scroll bar; 0 keeps the face's own spacing, which the CJK faces here
    // make a third wider.
    int memoLineHeight = 0;
};

class TextScreen : public QDialog {
public:
    QLabel* Label1;
    QTextEdit* Memo1;
    QPushButton* Button1;

protected:
    TextScreen(QWidget* owner, const TextScreenLook& look, std::span<const QStringView> lines);
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void Button1Click();

    std::span<const QStringView> lines_;
    int lineHeight_;
};

}  // namespace vt
