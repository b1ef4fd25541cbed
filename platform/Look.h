// Fonts, pointer shapes and the application's set-up.
#pragma once

#include "core/PointerShape.h"

#include <QCursor>
#include <QFont>
#include <QString>

#include <span>

class QAbstractButton;
class QApplication;
class QGroupBox;
class QIcon;
class QTabWidget;
class QWidget;

class QRadioButton;

namespace vt {

inline const QString ApplicationTitle = QStringLiteral("Veltrana时间轴");

Qt::CursorShape cursorShape(PointerShape shape);

// A font by the program's names ("宋体", "黑体", "楷体", ...) at a pixel height.
QFont programFont(const QString& family, int pixelHeight);

// The three Chinese font names resolve to three distinct installed fonts
// (fontconfig alone maps them all to one sans-serif face).
void installFontSubstitutions();

// Qt's own Chinese texts for dialogs and message-box buttons.
void installChineseTranslations(QApplication& app);

// The program's icon: "veltrana" from the icon theme where it is installed,
// else the pictures the build renders beside the program; empty without.
QIcon programIcon();

// Title, icon, fonts, translations and the C number format libmpv needs.
// Texts in Qt's own windows (message boxes, file dialogs) are drawn in a
// Simplified Chinese face whatever the locale: left to fontconfig, a C
// locale drew them in the brush face 楷体.
void setUpApplication(QApplication& app);

// Places a window in the middle of the desktop it is on.
void centreOnScreen(QWidget& window);

// Places a window by its outer rectangle (frame and title bar included), as
// a remembered frameGeometry() gives it back.
void setOuterGeometry(QWidget& window, const QRect& outer);

// Sets the window's background colour.
void setBackground(QWidget& widget, const QColor& colour);

// Widens a check box or radio button just enough that this platform's style
// does not cut off its caption: the sizes a screen is designed with count on
// Windows' narrower check marks. A caption that fits leaves it as it is.
void widenToFitCaption(QAbstractButton& button);

// Keeps every tab of a tab control in view at its design width, never behind
// scroll arrows: where the captions with the style's padding beside them are
// wider than the control, the padding narrows evenly just enough. Call it
// once the tabs are added.
void fitTabCaptions(QTabWidget& tabs);

// The room inside a group box's frame, below its caption, as this style
// draws it.
QRect groupBoxContents(const QGroupBox& group);

// Moves the controls of a group box down, all by the same amount, just
// enough that none starts above the room inside its frame: screens are
// designed where a group's caption sits on the frame's line and the
// controls may start right under it, and a style that puts the caption
// above the frame would draw the line through them. Call it once the
// controls are in place.
void keepInsideFrame(QGroupBox& group);

// A radio group's items by their place: the checked one's (-1 for none), and
// checking one (a place outside the group does nothing).
int checkedIndex(std::span<QRadioButton* const> items);
void checkIndex(std::span<QRadioButton* const> items, int index);

}  // namespace vt
