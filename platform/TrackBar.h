// A track bar that also shows a selection range along its channel, the way a
// gauge marks a span between two values. Qt's slider has no such range.
#pragma once

#include <QSlider>

namespace vt {

class TrackBar : public QSlider {
public:
    explicit TrackBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The span from start to end (either order) is highlighted; an empty
    // span (start == end) shows as a single mark.
    void setSelection(int start, int end);
    int selectionStart() const { return selectionStart_; }
    int selectionEnd() const { return selectionEnd_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int selectionStart_ = 0;
    int selectionEnd_ = 0;
};

}  // namespace vt
