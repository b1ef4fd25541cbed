#include "platform/Look.h"

#include <QRadioButton>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QProxyStyle>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTranslator>
#include <QWidget>

#include <algorithm>
#include <clocale>

namespace vt {

Qt::CursorShape cursorShape(PointerShape shape)
{
    switch (shape) {
    case PointerShape::AppStarting:
        return Qt::BusyCursor;
    case PointerShape::SizeWE:
        return Qt::SizeHorCursor;
    case PointerShape::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

QFont programFont(const QString& family, int pixelHeight)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    return font;
}

void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(QStringLiteral("黑体"), {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
    QFont::insertSubstitutions(QStringLiteral("楷体"), {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("System"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
}

void installChineseTranslations(QApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    else
        delete translator;
}

QIcon programIcon()
{
    // where the theme does not have it: an installation under another prefix
    // (share/ beside bin/), or the build folder the program was built in
    const QString beside = QCoreApplication::applicationDirPath();
    const QStringList places = {beside + QStringLiteral("/../share/icons/hicolor/%1x%1/apps/veltrana.png"),
                                beside + QStringLiteral("/packaging/icons/%1x%1/veltrana.png")};
    QIcon fallback;
    for (const QString& place : places) {
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QString file = QDir::cleanPath(place.arg(size));
            if (QFileInfo::exists(file))
                fallback.addFile(file, QSize(size, size));
        }
        if (!fallback.isNull())
            break;
    }
    return QIcon::fromTheme(QStringLiteral("veltrana"), fallback);
}

void setUpApplication(QApplication& app)
{
    QApplication::setApplicationName(ApplicationTitle);
    // only the name: a display name would be appended to every window title on X11
    QApplication::setWindowIcon(programIcon());
    // the desktop entry the task bar matches the windows with (veltrana.desktop)
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrana"));
    installFontSubstitutions();
    // the face 黑体 stands for, at the desktop's size; the screens set their own
    QFont font = QApplication::font();
    font.setFamilies(QFont::substitutes(QStringLiteral("黑体")));
    QApplication::setFont(font);
    installChineseTranslations(app);
    // libmpv needs the C number format, and QApplication has just set the locale's
    std::setlocale(LC_NUMERIC, "C");
}

void centreOnScreen(QWidget& window)
{
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    QSize outer = window.frameGeometry().size();
    window.move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
}

void setOuterGeometry(QWidget& window, const QRect& outer)
{
    // the frame's share as the window system draws it now; none before the
    // window is shown, or where no window manager draws a frame
    const QSize frame = window.frameGeometry().size() - window.size();
    window.move(outer.topLeft());
    window.resize(outer.size() - frame);
}

void setBackground(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void widenToFitCaption(QAbstractButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QStyle::SubElement contents =
        qobject_cast<QCheckBox*>(&button) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
    const int room = button.style()->subElementRect(contents, &option, &button).width();
    const int needed = QFontMetrics(button.font()).horizontalAdvance(button.text());
    if (needed > room)
        button.resize(button.width() + needed - room, button.height());
}

namespace {

// The application's style with narrower padding beside each tab's caption.
class TabPaddingStyle : public QProxyStyle {
public:
    TabPaddingStyle(const QString& key, int padding) : QProxyStyle(key), padding_(padding) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return padding_;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int padding_;
};

}  // namespace

void fitTabCaptions(QTabWidget& tabs)
{
    QTabBar* bar = tabs.tabBar();
    bar->setUsesScrollButtons(false);
    bar->setElideMode(Qt::ElideNone);
    bar->setExpanding(false);
    const int room = tabs.width() - 2 * tabs.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &tabs);
    // with neither scroll arrows nor shortened captions, the bar wants room for every tab
    const int excess = bar->sizeHint().width() - room;
    if (bar->count() == 0 || excess <= 0)
        return;
    // a tab's width grows one for one with the padding beside its caption
    const int padding = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
    const int narrower = std::max(0, padding - (excess + bar->count() - 1) / bar->count());
    auto* style = new TabPaddingStyle(QApplication::style()->name(), narrower);
    style->setParent(bar);
    bar->setStyle(style);
}

QRect groupBoxContents(const QGroupBox& group)
{
    QStyleOptionGroupBox option;
    option.initFrom(&group);
    option.text = group.title();
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.textAlignment = group.alignment();
    option.subControls = QStyle::SC_GroupBoxFrame;
    if (!group.title().isEmpty())
        option.subControls |= QStyle::SC_GroupBoxLabel;
    if (group.isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (group.isFlat())
        option.features |= QStyleOptionFrame::Flat;
    return group.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, &group);
}

void keepInsideFrame(QGroupBox& group)
{
    const QList<QWidget*> controls = group.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    if (controls.isEmpty())
        return;
    int top = controls.front()->y();
    for (const QWidget* control : controls)
        top = std::min(top, control->y());
    const int down = groupBoxContents(group).top() - top;
    if (down <= 0)
        return;
    for (QWidget* control : controls)
        control->move(control->x(), control->y() + down);
}

int checkedIndex(std::span<QRadioButton* const> items)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->isChecked())
            return int(i);
    return -1;
}

void checkIndex(std::span<QRadioButton* const> items, int index)
{
    if (index >= 0 && index < int(items.size()))
        items[size_t(index)]->setChecked(true);
}

}  // namespace vt
