#include "shell/BeginShowUnit.h"

#include "platform/Look.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>

namespace vt {

TProset* Proset = nullptr;

// The wide blank that starts most lines is an ideographic space (U+3000).
const std::array<QStringView, 13> NoticeLines = {
    u"",
    u"　　一、此软件的功能是制作、调校电影的外挂字幕。",
    u"",
    u"　　二、定位是轻量级的时间轴调校利器。",
    u"",
    u"　　三、特色是操作简洁方便、可视化程序高、功能较全、独创无按键播放控制。",
    u"",
    u"　　四、使用前请备份字幕文件(*.srt)。",
    u"",
    u"　　五、欢迎到本项目的Issues页提意见和建议。",
    u"",
    u"　　　　　　　　　　　　　　Veltrana 开发组",
    u"　　　　　　　　　　2011.02.23～2011.04",
};

namespace {

const QColor SkyBlue(166, 202, 240);

}  // namespace

TProset::TProset(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(NoticeCaption.toString());
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(438, 393);
    setBackground(*this, SkyBlue);
    setFont(programFont(QStringLiteral("黑体"), 16));

    Label1 = new QLabel(NoticeHeading.toString(), this);
    Label1->setFont(programFont(QStringLiteral("楷体"), 32));
    Label1->move(180, 17);
    Label1->adjustSize();

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFont(programFont(QStringLiteral("宋体"), 15));
    Memo1->setGeometry(32, 56, 369, 265);

    Button1 = new QPushButton(NoticeButtonCaption.toString(), this);
    Button1->setFont(programFont(QStringLiteral("宋体"), 13));
    Button1->setGeometry(184, 343, 81, 25);
    // Enter presses it; Esc and the frame's close box end in the same hide
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    Proset = this;
}

TProset::~TProset()
{
    if (Proset == this)
        Proset = nullptr;
}

void TProset::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // centred once its frame is known; later it comes back where the user left it
    if (!centred_) {
        centreOnScreen(*this);
        centred_ = true;
    }
    // a window restored by the window system keeps what the user was reading
    if (!event->spontaneous())
        FormShow();
}

void TProset::FormShow()
{
    // the whole text at once: appending line by line would drop the leading
    // empty line, since an empty memo has no line to append after
    QStringList lines;
    for (QStringView line : NoticeLines)
        lines.append(line.toString());
    Memo1->setPlainText(lines.join(u'\n'));
    Button1->setFocus();
}

void TProset::Button1Click()
{
    close();
}

}  // namespace vt
