// Saving the project's timeline from a screen, and leaving a screen with its
// edits safe: the one way every screen saves, asking and telling through
// the screen's boxes.
#pragma once

#include "core/ProjectState.h"

#include <QString>

#include <string_view>

class QWidget;

namespace vt {

// Offered when the timeline cannot be written where it is, after the reason.
inline constexpr std::string_view MsgSaveElsewhereAsk =
    "\r时间轴无法保存到原处。要另存到别的地方吗？\r"
    "选“是”：选一个位置保存；从此这个项目的时间轴就是那个文件。\r"
    "选“否”：这次不保存，编辑窗里的修改都还在。";
inline constexpr std::string_view SaveElsewhereTitle = "时间轴另存为";
// Asked when the user leaves a screen whose timeline was not saved.
inline constexpr std::string_view MsgLeaveUnsavedAsk =
    "时间轴没有保存。不保存就离开吗？\r"
    "选“是”：离开，这次的修改不保存。\r"
    "选“否”：留下，修改都还在。";

// The project's timeline saved (saveTimelineFile). When it cannot be written
// where it is, the user is offered a save dialog that starts in the home
// folder with the timeline's name, and the file chosen becomes the
// project's timeline. A failure is shown. True when it was saved. While a
// signal ends the program nothing is asked: false.
bool saveProjectTimeline(QWidget* window, ProjectState& project);

// After a save that failed (or was declined), when the user leaves a
// screen: true when the screen may close. While a signal ends the program
// the edits go to the first place that takes them (rescueTimeline), which
// standard error names, and the screen closes; otherwise the user is asked,
// the answer offered first being to stay.
bool mayLeaveUnsaved(QWidget* window, const ProjectState& project);

}  // namespace vt
