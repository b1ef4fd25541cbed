#include "core/ProjectState.h"
#include "editor/TimeLineEditUnit.h"
#include "filetools/FileEditUnit.h"
#include "opening/OpenFileUnit.h"
#include "shell/ControlUnit.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace vt;

namespace {

// Plays the user: each time a screen comes up, records which one it is and
// lets the next step decide how it is left.
class ScreenDriver {
public:
    using Step = std::function<void(QWidget* screen)>;

    explicit ScreenDriver(std::vector<Step> steps) : steps_(std::move(steps)) { poll(); }

    std::vector<std::string> seen;

private:
    void poll()
    {
        QTimer::singleShot(20, &guard_, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != last_ && modal->isVisible()) {
                last_ = modal;
                if (qobject_cast<QDialog*>(modal)) {
                    if (dynamic_cast<TfileOpen*>(modal))
                        seen.push_back("open");
                    else if (dynamic_cast<TplayAndEdit*>(modal))
                        seen.push_back("editor");
                    else if (dynamic_cast<TFileEdit*>(modal))
                        seen.push_back("tools");
                    else
                        seen.push_back("other");
                }
                if (next_ < steps_.size())
                    steps_[next_++](modal);
            }
            if (next_ < steps_.size())
                poll();
        });
    }

    QObject guard_;  // no poll outlives the driver
    std::vector<Step> steps_;
    size_t next_ = 0;
    QWidget* last_ = nullptr;
};

// A navigation button: store the next page and close.
ScreenDriver::Step goTo(int page)
{
    return [page](QWidget* screen) {
        Project.NextPage = static_cast<int8_t>(page);
        static_cast<QDialog*>(screen)->accept();
    };
}

// The window frame's close box.
ScreenDriver::Step closeByFrame()
{
    return [](QWidget* screen) { screen->close(); };
}

}  // namespace

TEST(PageLoop, ClosingTheFirstScreenByItsFrameEndsTheProgram)
{
    TMainControl main;
    ScreenDriver driver({closeByFrame()});
    EXPECT_EQ(main.FormCreate(), 0);
    EXPECT_EQ(driver.seen, (std::vector<std::string>{"open"}));
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(main.windowTitle(), MainControlCaption);
}

TEST(PageLoop, WalksThroughEveryScreenAndBack)
{
    TMainControl main;
    // open -> editor -> tools -> back to editor -> tools -> after a frame-rate
    // conversion (1) the open screen again -> close
    ScreenDriver driver({goTo(3), goTo(4), goTo(3), goTo(4), goTo(1), closeByFrame()});
    EXPECT_EQ(main.FormCreate(), 0);
    EXPECT_EQ(driver.seen, (std::vector<std::string>{"open", "editor", "tools", "editor", "tools", "open"}));
}

TEST(PageLoop, EachVisitMakesANewScreenAndTheLastEditorStaysAlive)
{
    TMainControl main;
    std::vector<QWidget*> editors;
    auto recordAndGo = [&](int page) {
        return [&editors, page](QWidget* screen) {
            editors.push_back(screen);
            Project.NextPage = static_cast<int8_t>(page);
            static_cast<QDialog*>(screen)->accept();
        };
    };
    ScreenDriver driver({goTo(3), recordAndGo(2), goTo(3), recordAndGo(4), closeByFrame()});
    EXPECT_EQ(main.FormCreate(), 0);
    ASSERT_EQ(editors.size(), 2u);
    EXPECT_NE(editors[0], editors[1]);
    // the file tools still reach the editor that has closed
    EXPECT_EQ(static_cast<QWidget*>(playAndEdit), editors[1]);
    EXPECT_EQ(playAndEdit->parent(), &main);
}

// Each screen has a task-bar entry of its own: a dialog would be hung on the
// hidden main window and kept off the task bar.
TEST(PageLoop, EveryScreenIsAWindowOfItsOwn)
{
    TMainControl main;
    std::vector<Qt::WindowType> types;
    auto recordAndGo = [&types](int page) {
        return [&types, page](QWidget* screen) {
            types.push_back(screen->windowType());
            Project.NextPage = static_cast<int8_t>(page);
            static_cast<QDialog*>(screen)->accept();
        };
    };
    ScreenDriver driver({recordAndGo(3), recordAndGo(4), recordAndGo(0)});
    EXPECT_EQ(main.FormCreate(), 0);
    EXPECT_EQ(driver.seen, (std::vector<std::string>{"open", "editor", "tools"}));
    EXPECT_EQ(types, (std::vector<Qt::WindowType>{Qt::Window, Qt::Window, Qt::Window}));
}

TEST(PageLoop, ClosingTheEditorByItsFrameSkipsTheFileTools)
{
    TMainControl main;
    ScreenDriver driver({goTo(3), closeByFrame()});
    EXPECT_EQ(main.FormCreate(), 0);
    EXPECT_EQ(driver.seen, (std::vector<std::string>{"open", "editor"}));
}

TEST(PageLoop, StartResetsTheProjectState)
{
    Project.VideoFileName = "old.avi";
    Project.FrameRate = 25.0f;
    Project.StepSizeIndex = 3;
    Project.EditorLeft = 40;
    TMainControl main;
    bool checked = false;
    ScreenDriver driver({[&](QWidget* screen) {
        EXPECT_TRUE(Project.VideoFileName.empty());
        EXPECT_EQ(Project.FrameRate, 0.0f);
        EXPECT_EQ(Project.StepSizeIndex, 1);
        EXPECT_EQ(Project.EditorLeft, -1);
        EXPECT_EQ(Project.NextPage, 0);  // the open screen set it when it was created
        checked = true;
        screen->close();
    }});
    EXPECT_EQ(main.FormCreate(), 0);
    EXPECT_TRUE(checked);
}
