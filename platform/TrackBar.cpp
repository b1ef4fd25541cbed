#include "platform/TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace vt {

TrackBar::TrackBar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

void TrackBar::setSelection(int start, int end)
{
    if (start == selectionStart_ && end == selectionEnd_)
        return;
    selectionStart_ = start;
    selectionEnd_ = end;
    update();
}

void TrackBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);

    // the channel first, then the span over it, then the thumb over both
    option.subControls = QStyle::SC_SliderGroove;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const bool horizontal = orientation() == Qt::Horizontal;
    // values map onto the stretch the thumb's centre travels
    const int travel = (horizontal ? groove.width() - handle.width() : groove.height() - handle.height());
    const int offset = (horizontal ? groove.left() + handle.width() / 2 : groove.top() + handle.height() / 2);
    auto at = [&](int value) {
        return offset + QStyle::sliderPositionFromValue(minimum(), maximum(), value, std::max(travel, 0),
                                                        option.upsideDown);
    };
    const int from = std::min(at(selectionStart_), at(selectionEnd_));
    const int to = std::max(at(selectionStart_), at(selectionEnd_));
    const QColor span(0, 120, 215);
    if (horizontal) {
        const int y = groove.center().y();
        painter.fillRect(QRect(QPoint(from, y - 2), QPoint(to, y + 2)), span);
    } else {
        const int x = groove.center().x();
        painter.fillRect(QRect(QPoint(x - 2, from), QPoint(x + 2, to)), span);
    }

    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

}  // namespace vt
