#include "editor/WaveStrip.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace vt {

WaveStrip::WaveStrip(QWidget* parent) : QWidget(parent)
{
    // every refresh paints every pixel
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void WaveStrip::showColumns(const std::vector<WaveColumn>& columns)
{
    const QSize size(std::max(width(), 1), std::max(height(), 1));
    if (picture_.size() != size)
        picture_ = QImage(size, QImage::Format_RGB32);
    picture_.fill(Qt::black);
    const int w = std::min<int>(picture_.width(), int(columns.size()));
    const int h = picture_.height();
    auto* pixels = reinterpret_cast<QRgb*>(picture_.bits());
    const qsizetype stride = picture_.bytesPerLine() / qsizetype(sizeof(QRgb));
    for (int x = 0; x < w; ++x) {
        const WaveColumn& column = columns[size_t(x)];
        for (int i = 0; i < column.SegmentCount; ++i) {
            const WaveSegment& seg = column.Segments[size_t(i)];
            const QRgb colour = 0xff000000u | seg.Colour;
            const int to = std::min<int>(seg.To, h);
            for (int y = std::max<int>(seg.From, 0); y < to; ++y)
                pixels[y * stride + x] = colour;
        }
    }
    update();
}

void WaveStrip::showCuts(const std::vector<int32_t>& cuts, const std::vector<int32_t>& keyFrames)
{
    if (picture_.isNull() || (cuts.empty() && keyFrames.empty()))
        return;
    auto* pixels = reinterpret_cast<QRgb*>(picture_.bits());
    const qsizetype stride = picture_.bytesPerLine() / qsizetype(sizeof(QRgb));
    auto line = [&](const std::vector<int32_t>& columns, QRgb colour) {
        for (int32_t x : columns)
            if (x >= 0 && x < picture_.width())
                for (int y = 0; y < picture_.height(); ++y)
                    pixels[y * stride + x] = colour;
    };
    line(keyFrames, KeyFrameLineColour);
    line(cuts, CutLineColour);
    update();
}

void WaveStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // until the next refresh after a resize, what lies beyond the picture is black
    painter.fillRect(rect(), Qt::black);
    if (!picture_.isNull())
        painter.drawImage(QPoint(0, 0), picture_);
}

void WaveStrip::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    emit entered();
}

void WaveStrip::mouseMoveEvent(QMouseEvent* event)
{
    emit moved(int(event->position().x()));
}

void WaveStrip::mousePressEvent(QMouseEvent* event)
{
    emit pressed(event->button());
}

SummaryProgressBar::SummaryProgressBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // the pointer over it still belongs to the window, as everywhere outside the strip
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void SummaryProgressBar::setPermille(std::optional<int> permille)
{
    if (!permille) {
        if (!isHidden())
            hide();
        return;
    }
    const int clamped = std::clamp(*permille, 0, 1000);
    if (clamped != permille_) {
        permille_ = clamped;
        update();
    }
    if (isHidden()) {
        show();
        raise();
    }
}

void SummaryProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int done = int(int64_t{width()} * permille_ / 1000);
    painter.fillRect(QRect(0, 0, done, height()), QColor(0, 200, 120));
    painter.fillRect(QRect(done, 0, width() - done, height()), QColor(64, 64, 64));
}

SpeechBand::SpeechBand(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SpeechBand::showRuns(const std::vector<ColumnRun>& runs)
{
    if (runs == runs_)
        return;
    runs_ = runs;
    update();
}

void SpeechBand::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (const ColumnRun& run : runs_)
        painter.fillRect(QRect(run.First, 0, run.Last - run.First + 1, height()), QColor::fromRgb(SpeechBandColour));
}

}  // namespace vt
