#include "editor/HelpUnit.h"

#include "platform/Look.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

namespace vt {

THelp* Help = nullptr;

// The wide blank that starts most lines is an ideographic space (U+3000).
const std::array<QStringView, 68> HelpLines = {
    u"",
    u"一、功能键：",
    u"",
    u"　　鼠标的位置 : 控制播放速度和方向(在视频区)",
    u"　　　　　　　 　在音频区是选择字幕(高亮显示)",
    u"",
    u"　　鼠标左右键 : 设置时间码",
    u"　　　　　　　　 左键管开头、右键管结尾",
    u"",
    u"　　空　格　键 : 播放/暂停",
    u"",
    u"　　a、s、f、g、箭头: 左右移动时间码",
    u"",
    u"　　e、d、滚轮、箭头: 伸缩时间码",
    u"",
    u"　　v 、Insert : 插入时间码/字幕",
    u"",
    u"　　x 、Delete : 删除时间码/字幕",
    u"",
    u"　　w 、PageUp : 跳转到上一行字幕",
    u"",
    u"　　r、PageDown: 跳转到下一行字幕",
    u"",
    u"　　双击字幕区 : 编辑字幕(^p代表字幕换行)",
    u"",
    u"",
    u"二、调校操作方法",
    u"",
    u"　　晃动鼠标控制播放，字幕选区高亮显示时，",
    u"",
    u"　　鼠标在波形区点击左、右键设定入点、出点；或者按“s”键向前移动时间码、“f”键后移、按“e”键拉长字幕时间、“d”键缩短，滚轮微调。",
    u"",
    u"　　鼠标在视频区内点击只能决定当前帧，只能用左、右键区分入点、出点，其它按键同样有效。",
    u"",
    u"　　控制视频播放到适当位置，按“v”键插入一条字幕。如果不钩选底部的“□字幕”，则只插入一条时间码，后面的一行的文字移到这儿，其它的时间码都不动。",
    u"",
    u"　　当然，如果在第一步是新建的时间轴、并且指定了一个字幕文本文件，那么每插入一条时间码，自动使用后面的一行文字。",
    u"",
    u"　　同理，如果不钩选底部的“□时间码”、只钩选“□字幕”，则在当前时间码(黄色高亮显示)按“v”键是插入一条字幕，后续字幕都向后移一次。",
    u"",
    u"　　那么，既不钩选“□时间码”、又不钩选“□字幕”……你这是做什么哟你这是做什么哟！……那是做不到的。",
    u"",
    u"　　在波浪区可以直观地看到说话的声音大小，点击相应的区域直接确定字幕的入点、出点。如果波幅小可以调节它右边的比例尺。",
    u"",
    u"　　如果字幕比较密集，离指针最近的一条字幕为当前字幕(黄色高亮显示)。",
    u"",
    u"　　多余的字幕按“x”键删除，下面的钩选情况也参与作用。合理地使用钩选和插入、删除，可以纠正错误的对位。",
    u"",
    u"　  双击字幕修改文本，回车确定。",
    u"",
    u"　　粗步对位以后，把鼠标移动到视频区的底边，出现一个进度条，移到开头，按一下“r”键跳转到下一条字幕的位置，按空格键播放，听听对位是否准确。在波浪区移动鼠标，找准要修改的字幕，用以上介绍的按键逐个精细调校。也可以按“w”键移动到上一条字幕，如此这般直至调校完毕。",
    u"",
    u"　　总之，左手按键d、e缩放，s、f平移，w、r跳转到前后行，v、x增删，右手鼠标机动和微调，键位和功能的设置是非常全面、合理、舒服的，不打算改了。",
    u"",
    u"三、按说话的声音打轴（波形上方的橙色细条是声音里找到的说话段）",
    u"",
    u"　　t : 在播放位置之后下一段还没打轴的说话上插入一行，开头、结尾对准说话的起止，接着播放。从字幕文本打轴时，一句话按一次。",
    u"",
    u"　　c : 当前行的开头、结尾对到最近的说话起止(1秒之内)",
    u"",
    u"　　j、k、l : 播放开头前0.5秒、整行、结尾后0.5秒，然后回到按键时的位置",
    u"",
    u"四、镜头切换（波形上的紫色竖线）",
    u"",
    u"　　b : 吸附镜头开/关(时间行左端的勾选)。打开时，插入、移动、拉伸的字幕，开头对到新镜头的第一帧，结尾收到切换前2帧",
    u"",
    u"　　n、m : 跳到上一个、下一个镜头切换",
};

namespace {

TextScreenLook helpLook()
{
    return {HelpCaption, QSize(440, 432), programFont(QStringLiteral("Tahoma"), 11),
            HelpHeading, programFont(QStringLiteral("楷体"), 29), QPoint(164, 28),
            programFont(QStringLiteral("宋体"), 16), QRect(32, 63, 377, 306),
            HelpButtonCaption, QRect(184, 391, 81, 25)};
}

}  // namespace

THelp::THelp(QWidget* owner) : TextScreen(owner, helpLook(), HelpLines)
{
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // the top-left corner of the usable desktop, so that a panel along the
    // top edge does not cover the caption
    QScreen* desktop = screen() ? screen() : QGuiApplication::primaryScreen();
    move(desktop ? desktop->availableGeometry().topLeft() : QPoint(0, 0));
    Help = this;
}

THelp::~THelp()
{
    if (Help == this)
        Help = nullptr;
}

}  // namespace vt
