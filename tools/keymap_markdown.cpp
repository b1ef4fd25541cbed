// Prints the editor's key map as Markdown for the README's "按键一览": the
// keys, the wheel, the mouse buttons, the step sizes and the pointer's speed
// zones, each read from the table the editor itself looks up, so that the
// README cannot tell the user a key the program does not have.
// scripts/readme-keymap puts the output into the README, and with --check
// (a CTest case) fails when the README's copy differs.
//
// A key the program has but this tool cannot name ends it with status 1:
// the new key needs its name here before the README can show it.
#include "core/ProjectState.h"
#include "editor/Commands.h"
#include "editor/PlayControl.h"
#include "core/UndoHistory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace vt;

namespace {

namespace VK = VirtualKey;

std::optional<std::string> keyName(int32_t key)
{
    switch (key) {
    case VK::Space: return "空格";
    case VK::PageUp: return "PageUp";
    case VK::PageDown: return "PageDown";
    case VK::Left: return "←";
    case VK::Up: return "↑";
    case VK::Right: return "→";
    case VK::Down: return "↓";
    case VK::Insert: return "Insert";
    case VK::Delete: return "Delete";
    default: break;
    }
    if (key >= 'A' && key <= 'Z')
        return std::string(1, static_cast<char>(key));
    return std::nullopt;
}

std::string stepCaption(int32_t item)
{
    return std::string("“") + stepSizeItems()[static_cast<size_t>(item)].caption + "”";
}

// The default step at the first showing of the editor.
const int32_t DefaultStepItem = ProjectState{}.StepSizeIndex;

std::string framesAtDefaultStep(int32_t steps)
{
    const int32_t frames = std::abs(steps) * StepSize(DefaultStepItem);
    return "（步长" + stepCaption(DefaultStepItem) + "时 " + std::to_string(frames) + " 帧）";
}

// A move of the current line, counted in steps.
std::string moveText(int32_t inSteps, int32_t outSteps)
{
    auto amount = [](int32_t steps) { return std::to_string(std::abs(steps)) + " 步"; };
    if (inSteps == outSteps)
        return std::string("当前行整体") + (inSteps < 0 ? "提前 " : "推后 ") + amount(inSteps)
               + framesAtDefaultStep(inSteps);
    if (inSteps == 0)
        return std::string("当前行的结尾") + (outSteps < 0 ? "提前 " : "推后 ") + amount(outSteps)
               + (outSteps < 0 ? "，缩短" : "，拉长") + framesAtDefaultStep(outSteps);
    if (outSteps == 0)
        return std::string("当前行的开头") + (inSteps < 0 ? "提前 " : "推后 ") + amount(inSteps)
               + framesAtDefaultStep(inSteps);
    return "当前行的开头移 " + std::to_string(inSteps) + " 步、结尾移 " + std::to_string(outSteps) + " 步";
}

std::string commandText(EditOp op, int32_t inSteps, int32_t outSteps)
{
    switch (op) {
    case EditOp::PlayPause: return "正常播放时暂停，其他时候（暂停、慢放、快进、倒退）以正常速度播放";
    case EditOp::FrontLine: return "跳到上一行字幕的开头（播放位置在某行之内时，跳到它前面那一行）";
    case EditOp::BackLine: return "跳到下一行字幕的开头";
    case EditOp::Insert:
        return "在播放位置插入一行，视频随即停下；插入时间码还是字幕，看底部“时间轴”“字幕”两个勾选";
    case EditOp::Delete: return "删除当前行；删时间码还是字幕，同样看两个勾选";
    case EditOp::Move: return moveText(inSteps, outSteps);
    case EditOp::Undo:
        return "撤销上一次修改（移动、拉伸、插入、删除、改字幕文字、文件工具里的整体平移），视频停在改回的那一行；"
               "这次运行里做过的每一步都能撤销";
    case EditOp::Redo: return "重做刚撤销的修改；撤销之后做了新的修改，就不能再重做";
    case EditOp::SnapToSpeech:
        return "当前行的开头对到最近的语音起点、结尾对到最近的语音终点（各在 1 秒之内才动，不压到前后行）";
    case EditOp::TimeNextLine:
        return "在播放位置之后下一段还没打轴的语音上插入一行：开头在语音起点，结尾在语音终点"
               "（至少 0.7 秒、至多 7 秒，离下一行至少 2 帧），然后从这一行开头接着播放；"
               "字幕跟“V”一样看“字幕”勾选";
    case EditOp::PlayBeforeIn: return "播放当前行开头之前的 0.5 秒，然后回到按键时的位置停下";
    case EditOp::PlayLine: return "播放整个当前行，然后回到按键时的位置停下";
    case EditOp::PlayAfterOut: return "播放当前行结尾之后的 0.5 秒，然后回到按键时的位置停下";
    case EditOp::SnapToCutsOnOff:
        return "打开、关闭“吸附镜头”（时间行左端的勾选）：打开时，插入、移动、拉伸或用鼠标设定的行，开头离镜头切换 7 帧之内就对到新镜头的第一帧，"
               "结尾在切换前 12 帧到切换后不足 12 帧之间就收到切换前 2 帧，离下一行 12 帧以内的空隙收成 2 帧";
    case EditOp::PreviousCut: return "跳到播放位置之前的镜头切换（新镜头的第一帧）";
    case EditOp::NextCut: return "跳到播放位置之后的镜头切换";
    case EditOp::None: break;
    }
    return "";
}

// 12.5, 7.1, 5
std::string oneDecimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string s = text;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
        s.resize(s.size() - 2);
    return s;
}

// Plays, stands, steps: what the play tick makes of one speed level.
std::string speedText(const SpeedLevel& row)
{
    char text[96];
    switch (row.action) {
    case TickAction::PauseAndStop: return "静止";
    case TickAction::Play: return "正常速度播放";
    case TickAction::StepForward:
    case TickAction::StepBack:
        std::snprintf(text, sizeof text, "逐帧%s，每秒约 %s 帧", row.action == TickAction::StepForward ? "前进" : "后退",
                      oneDecimal(1000.0 / row.playMs).c_str());
        return text;
    case TickAction::Pulse:
        std::snprintf(text, sizeof text, "慢放，约 %.2g 倍速（放 %d 毫秒、停 %d 毫秒）",
                      double(row.playMs) / (row.playMs + row.pauseMs), int(row.playMs), int(row.pauseMs));
        return text;
    case TickAction::JumpForward:
    case TickAction::JumpBack: {
        // each tick jumps, then plays for the tick's length
        const double jumpMs = row.jumpCentiseconds * 10.0;
        const double factor = row.action == TickAction::JumpForward ? 1 + jumpMs / row.playMs : 1 - jumpMs / row.playMs;
        return std::string(factor > 0 ? "快进" : "倒退") + "，约 " + oneDecimal(std::abs(factor)) + " 倍速";
    }
    }
    return "";
}

// Contiguous runs of one value over a range of pointer positions.
template <typename Value>
struct Run {
    int32_t first;
    int32_t last;
    Value value;
};

template <typename Value, typename F>
std::vector<Run<Value>> runsOf(int32_t from, int32_t to, F valueAt)
{
    std::vector<Run<Value>> runs;
    for (int32_t x = from; x <= to; ++x) {
        Value v = valueAt(x);
        if (!runs.empty() && runs.back().value == v)
            runs.back().last = x;
        else
            runs.push_back({x, x, v});
    }
    return runs;
}

void printKeys()
{
    // keys that do the same are one row; the moves after the others, the
    // shifts before the stretches, each from earlier to later
    struct Row {
        EditOp op;
        int32_t in, out;
        std::vector<std::string> keys;
    };
    std::vector<Row> rows;
    for (const KeyBinding& k : keyBindings()) {
        const auto name = keyName(k.key);
        if (!name) {
            std::fprintf(stderr, "keymap_markdown: no name for the key with code %d\n", int(k.key));
            std::exit(1);
        }
        auto same = std::find_if(rows.begin(), rows.end(), [&](const Row& r) {
            return r.op == k.op && r.in == k.inSteps && r.out == k.outSteps;
        });
        if (same == rows.end())
            rows.push_back({k.op, k.inSteps, k.outSteps, {*name}});
        else
            same->keys.push_back(*name);
    }
    auto order = [](const Row& r) {
        if (r.op != EditOp::Move)
            return std::tuple(0, int(r.op), 0);
        return r.in == r.out ? std::tuple(1, 0, r.in) : std::tuple(2, 0, r.out);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return order(a) < order(b); });

    // the keys held with Ctrl, after the table's: one row per command
    for (const HistoryKey& k : historyKeys()) {
        const auto name = keyName(k.key);
        if (!name) {
            std::fprintf(stderr, "keymap_markdown: no name for the key with code %d\n", int(k.key));
            std::exit(1);
        }
        const std::string chord = std::string("Ctrl+") + (k.shift ? "Shift+" : "") + *name;
        auto same = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.op == k.op; });
        if (same == rows.end())
            rows.push_back({k.op, 0, 0, {chord}});
        else
            same->keys.push_back(chord);
    }

    std::printf("| 按键 | 作用 |\n|---|---|\n");
    for (const Row& r : rows) {
        std::string keys;
        for (const std::string& k : r.keys)
            keys += (keys.empty() ? "" : "、") + k;
        std::printf("| %s | %s |\n", keys.c_str(), commandText(r.op, r.in, r.out).c_str());
    }
}

void printWheel()
{
    const int32_t step = StepSize(DefaultStepItem);
    std::printf("\n| 滚轮 | 作用 |\n|---|---|\n");
    for (auto [turn, name] : {std::pair{WheelTurn::AwayFromUser, "向前（离开自己）转一格"},
                              std::pair{WheelTurn::TowardsUser, "向后（朝自己）转一格"}}) {
        const EditCommand c = FormMouseWheel(turn, DefaultStepItem).command;
        std::printf("| %s | %s |\n", name, commandText(c.op, c.moveTimeIn / step, c.moveTimeOut / step).c_str());
    }
}

void printButtons()
{
    auto moveText = [](ClickMove move, const char* point) -> std::string {
        switch (move) {
        case ClickMove::Nothing: return "—";
        case ClickMove::InToPoint: return std::string("当前行的开头移到") + point;
        case ClickMove::OutToPoint: return std::string("当前行的结尾移到") + point;
        case ClickMove::PreviousLineOutToPoint: return std::string("上一行的结尾移到") + point;
        }
        return "";
    };
    auto regionText = [](ClickRegion region) {
        switch (region) {
        case ClickRegion::BeforeIn: return "在当前行的开头之前";
        case ClickRegion::Inside: return "在当前行之内";
        case ClickRegion::AtOrAfterOut: return "在当前行的结尾或之后";
        }
        return "";
    };
    std::printf("\n| 在哪里点 | 左键（中键同） | 右键 |\n|---|---|---|\n");
    for (const ClickRule& r : waveClickRules())
        std::printf("| 波形条上，指针%s | %s | %s |\n", regionText(r.region), moveText(r.leftOrMiddle, "指针处").c_str(),
                    moveText(r.right, "指针处").c_str());
    for (const ClickRule& r : videoClickRules())
        std::printf("| 画面上，播放位置%s | %s | %s |\n", regionText(r.region),
                    moveText(r.leftOrMiddle, "播放位置").c_str(), moveText(r.right, "播放位置").c_str());
}

void printStepSizes()
{
    std::string sizes;
    const auto items = stepSizeItems();
    for (size_t i = 0; i < items.size(); ++i)
        sizes += (sizes.empty() ? "" : "、") + stepCaption(int32_t(i)) + " " + std::to_string(items[i].frames) + " 帧";
    std::printf("\n步长（编辑窗左下角）：%s；编辑窗第一次打开时是%s。\n", sizes.c_str(), stepCaption(DefaultStepItem).c_str());
}

void printPointer()
{
    // Over the picture the level counts from the window's middle, whatever
    // its width; a wide window is taken so that the outermost levels show.
    const int32_t width = 2000;
    const auto rows = runsOf<const SpeedLevel*>(-width / 2, width / 2 - 1,
                                                [&](int32_t offset) { return &speedLevelFor(dialSpeed(offset + width / 2, width)); });
    std::printf("\n| 指针在画面上（离画面中线） | 播放 |\n|---|---|\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        std::string where;
        if (i == 0)
            where = "左边 " + std::to_string(-r.last) + " 像素及更远";
        else if (i + 1 == rows.size())
            where = "右边 " + std::to_string(r.first) + " 像素及更远";
        else if (r.first <= 0 && r.last >= 0)
            where = "左右 " + std::to_string(std::max(-r.first, r.last)) + " 像素以内";
        else if (r.last < 0)
            where = "左边 " + std::to_string(-r.last) + "–" + std::to_string(-r.first) + " 像素";
        else
            where = "右边 " + std::to_string(r.first) + "–" + std::to_string(r.last) + " 像素";
        std::printf("| %s | %s |\n", where.c_str(), speedText(*r.value).c_str());
    }

    // On the strip the zones are shares of its width: a wide strip shows them
    // to the percent.
    const int32_t strip = 10000;
    const auto zones = runsOf<std::optional<int32_t>>(0, strip - 1, [&](int32_t x) { return waveZoneSpeed(x, strip); });
    std::printf("\n| 指针在波形条上（从左端算起） | 播放 |\n|---|---|\n");
    for (const auto& z : zones) {
        const std::string share = std::to_string(z.first * 100 / strip) + "%–" + std::to_string((z.last + 1) * 100 / strip) + "%";
        std::printf("| %s | %s |\n", share.c_str(), z.value ? speedText(speedLevelFor(*z.value)).c_str() : "保持原来的速度");
    }
}

}  // namespace

int main()
{
    printKeys();
    printWheel();
    printButtons();
    printStepSizes();
    printPointer();
    return 0;
}
