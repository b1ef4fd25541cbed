#include "opening/BeginShowUnit.h"

#include "platform/Look.h"

#include <QPushButton>
#include <QShowEvent>

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

TextScreenLook noticeLook()
{
    // the memo is sized for the thirteen lines at the spacing of 宋体 on
    // Windows, a line a few pixels over the face's height; at the CJK face's
    // own spacing here the signature would be out of view
    TextScreenLook look{NoticeCaption, QSize(438, 393), programFont(QStringLiteral("黑体"), 16),
                        NoticeHeading, programFont(QStringLiteral("楷体"), 32), QPoint(180, 17),
                        programFont(QStringLiteral("宋体"), 15), QRect(32, 56, 369, 265),
                        NoticeButtonCaption, QRect(184, 343, 81, 25)};
    look.memoLineHeight = 17;
    return look;
}

}  // namespace

TProset::TProset(QWidget* owner) : TextScreen(owner, noticeLook(), NoticeLines)
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setBackground(*this, SkyBlue);
    Button1->setFont(programFont(QStringLiteral("宋体"), 13));
    Proset = this;
}

TProset::~TProset()
{
    if (Proset == this)
        Proset = nullptr;
}

void TProset::showEvent(QShowEvent* event)
{
    // centred once its frame is known; later it comes back where the user left it
    if (!centred_) {
        centreOnScreen(*this);
        centred_ = true;
    }
    TextScreen::showEvent(event);
}

}  // namespace vt
