#include "platform/WindowInput.h"

#include "tests/support/Events.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace vt;
using vt::testsupport::pumpEvents;

namespace {

// A window that records the pointer moves it gets itself.
class MovesWindow : public QWidget {
public:
    std::vector<QPoint> moves;

protected:
    void mouseMoveEvent(QMouseEvent* event) override { moves.push_back(event->position().toPoint()); }
};

}  // namespace

TEST(KeyPreview, EveryKeyIsSeenOnceBeforeTheControlWithTheFocus)
{
    QWidget window;
    window.resize(300, 200);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(10, 10, 200, 24);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(10, 50, 80, 24);
    QWidget elsewhere;  // another window of the program
    elsewhere.resize(100, 100);

    struct Seen {
        int key;
        QString editText;  // the field's text when the key was seen
    };
    std::vector<Seen> seen;
    KeyPreview preview(window, [&](int key) { seen.push_back({key & ~int(Qt::KeyboardModifierMask), edit->text()}); });
    window.show();
    elsewhere.show();
    pumpEvents(50);

    QTest::keyClick(edit, Qt::Key_A);
    ASSERT_TRUE(seen.empty()) << "previewed before the preview was switched on";
    seen.clear();
    edit->clear();

    preview.setEnabled(true);
    const struct {
        const char* where;
        QWidget* to;
        Qt::Key key;
        size_t times;
    } cases[] = {
        {"typed into the field", edit, Qt::Key_A, 1},
        // the button leaves the letter to the window: handed on, not seen twice
        {"a letter on the button", button, Qt::Key_S, 1},
        {"the window itself", &window, Qt::Key_PageDown, 1},
        {"Escape in the field, which passes it on", edit, Qt::Key_Escape, 1},
        {"another window", &elsewhere, Qt::Key_X, 0},
    };
    for (const auto& c : cases) {
        seen.clear();
        QTest::keyClick(c.to, c.key);
        EXPECT_EQ(seen.size(), c.times) << c.where;
        if (!seen.empty())
            EXPECT_EQ(seen.front().key, int(c.key)) << c.where;
    }
    // seen before the field took the letter
    seen.clear();
    edit->clear();
    QTest::keyClick(edit, Qt::Key_B);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.front().editText, QString());
    EXPECT_EQ(edit->text(), QStringLiteral("b"));
}

// The pointer moves over each kind of control the editor reveals and hides:
// the window hears of a move exactly when the control is disabled or hidden,
// in its own coordinates.
TEST(PointerMoves, ReachTheWindowPastDisabledAndHiddenControlsOnly)
{
    MovesWindow window;
    window.resize(400, 300);
    auto* button = new QPushButton(QStringLiteral("保存"), &window);
    button->setGeometry(10, 10, 80, 25);
    auto* box = new QCheckBox(QStringLiteral("字幕"), &window);
    box->setGeometry(100, 10, 80, 25);
    auto* group = new QGroupBox(QStringLiteral("步长"), &window);
    group->setGeometry(10, 50, 60, 120);
    auto* item = new QRadioButton(QStringLiteral("微"), group);
    item->setGeometry(5, 20, 50, 22);
    auto* slider = new QSlider(Qt::Vertical, &window);
    slider->setGeometry(200, 50, 32, 140);
    auto* label = new QLabel(QStringLiteral("00:00:00,000"), &window);
    label->setGeometry(250, 10, 100, 16);
    trackPointerMoves(window);
    for (QWidget* control : std::initializer_list<QWidget*>{button, box, group, item, slider, label})
        keepMovesWhileEnabled(*control);
    window.show();
    pumpEvents(50);

    enum class State { Enabled, Disabled, Hidden };
    const struct {
        const char* what;
        QWidget* control;
        State state;
        QPoint at;  // in the window
    } cases[] = {
        {"enabled button", button, State::Enabled, {40, 20}},
        {"disabled button", button, State::Disabled, {41, 21}},
        {"hidden button", button, State::Hidden, {42, 22}},
        {"enabled check box", box, State::Enabled, {140, 20}},
        {"disabled check box", box, State::Disabled, {141, 21}},
        {"radio button in an enabled group", group, State::Enabled, {30, 80}},
        {"radio button in a disabled group", group, State::Disabled, {31, 81}},
        {"group's own frame, disabled", group, State::Disabled, {60, 150}},
        {"enabled slider", slider, State::Enabled, {215, 100}},
        {"disabled slider", slider, State::Disabled, {216, 101}},
        {"hidden slider", slider, State::Hidden, {217, 102}},
        {"label", label, State::Enabled, {300, 17}},
    };
    for (const auto& c : cases) {
        c.control->setVisible(c.state != State::Hidden);
        c.control->setEnabled(c.state != State::Disabled);
        QTest::mouseMove(&window, QPoint(380, 280));  // the bare window first
        pumpEvents(10);
        window.moves.clear();
        QTest::mouseMove(&window, c.at);
        pumpEvents(10);
        if (c.state == State::Enabled)
            EXPECT_TRUE(window.moves.empty()) << c.what << " let the move through";
        else
            EXPECT_EQ(window.moves, std::vector<QPoint>{c.at}) << c.what;
        c.control->setVisible(true);
        c.control->setEnabled(true);
    }
}
