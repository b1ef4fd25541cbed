// The waveform strip of the editor (PaintBoxWav): shows the columns one
// refresh computed (ShowWav) as one picture, and reports the pointer's
// entering, moves and button presses to the window.
#pragma once

#include "editor/WaveView.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <vector>

namespace vt {

class WaveStrip : public QWidget {
    Q_OBJECT

public:
    explicit WaveStrip(QWidget* parent);

    // Paints the columns into the strip's picture, column x at x; rows
    // beyond a column's segments and columns beyond the list stay black.
    void showColumns(const std::vector<WaveColumn>& columns);
    // Then a thin line from top to bottom at each cut's column, fainter
    // where a key frame stands in for a cut not looked for yet.
    void showCuts(const std::vector<int32_t>& cuts, const std::vector<int32_t>& keyFrames);
    // What the strip shows, as last painted.
    const QImage& picture() const { return picture_; }

signals:
    void entered();
    void moved(int x);
    void pressed(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

// The thin bar just under the strip that shows how much of the film's own
// sound has been summarised while the editor already works; it covers
// neither the picture nor the strip, and is hidden when nothing is under way.
class SummaryProgressBar : public QWidget {
public:
    explicit SummaryProgressBar(QWidget* parent);

    // Share done in thousandths; empty hides the bar.
    void setPermille(std::optional<int> permille);
    int permille() const { return permille_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int permille_ = 0;
};

inline constexpr int SummaryProgressHeight = 3;

// The thin band just above the strip, in the gap under the subtitle label,
// that marks where speech is heard under the strip's columns; it covers no
// column, and the pointer over it belongs to the window.
class SpeechBand : public QWidget {
public:
    explicit SpeechBand(QWidget* parent);

    void showRuns(const std::vector<ColumnRun>& runs);
    const std::vector<ColumnRun>& runs() const { return runs_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<ColumnRun> runs_;
};

inline constexpr int SpeechBandHeight = 3;
inline constexpr QRgb CutLineColour = 0xffff40ffu;
inline constexpr QRgb KeyFrameLineColour = 0xff804880u;
inline constexpr QRgb SpeechBandColour = 0xffff9900u;

}  // namespace vt
