// The program's command line, `veltrana [VIDEO]`, read before Qt is started:
// a refusal prints its message and ends the program without a window, and
// --help and --version need no display at all. Qt's own options (-platform,
// -display, -style ...) are passed over and handed on to QApplication.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vt {

// What the program prints. "%1" stands for the argument a message is about.
namespace CommandLineText {
inline constexpr std::string_view Usage =
    "用法：veltrana [选项] [视频文件]\n"
    "Usage: veltrana [OPTION] [VIDEO]\n"
    "\n"
    "Veltrana时间轴：制作、调校电影外挂字幕的时间轴。给出视频文件时，第一屏已选好它，\n"
    "与按“指定”选择一样：找到同名的 .wav、.srt、.txt 文件，测出帧率。\n"
    "Veltrana时间轴 times film subtitles. Given a video, the first screen comes up with\n"
    "it chosen as its \"指定\" button would choose it: the .wav, .srt and .txt files of\n"
    "the same name found and the frame rate measured.\n"
    "\n"
    "  -h, --help      显示本说明                show this help\n"
    "  -v, --version   显示版本号                show the version\n"
    "  --speech 文件   列出影片（或 WAV）声音里说话的时段，每段一行，然后退出\n"
    "                  list where speech is in the film's (or a WAV's) sound, one span a line\n"
    "  --shot-changes 影片\n"
    "                  列出影片的镜头切换（新镜头第一帧的帧号），每个一行，然后退出\n"
    "                  list the film's cuts (the first frame of each new shot), one a line\n"
    "  --              其后的参数都是文件名      everything after it is a file name\n"
    "\n"
    "Qt 的通用选项（如 -platform、-display、-style）照常有效。\n"
    "Qt's common options (-platform, -display, -style ...) work as usual.\n";
inline constexpr std::string_view NoSuchVideo =
    "veltrana: 视频文件不存在：%1\n"
    "veltrana: no such video file: %1\n";
inline constexpr std::string_view VideoIsAFolder =
    "veltrana: 这是文件夹，不是视频文件：%1\n"
    "veltrana: %1 is a folder, not a video file\n";
inline constexpr std::string_view UnknownOption =
    "veltrana: 不认识的选项：%1\n"
    "veltrana: unknown option: %1\n";
inline constexpr std::string_view OptionWithoutValue =
    "veltrana: 选项 %1 后面缺少它的值\n"
    "veltrana: option %1 needs a value\n";
inline constexpr std::string_view NoSuchFile =
    "veltrana: 文件不存在：%1\n"
    "veltrana: no such file: %1\n";
inline constexpr std::string_view FileIsAFolder =
    "veltrana: 这是文件夹，不是文件：%1\n"
    "veltrana: %1 is a folder, not a file\n";
// one speech span: "00:00:01,230 --> 00:00:03,480"
inline constexpr std::string_view SpanArrow = " --> ";
inline constexpr std::string_view SecondVideo =
    "veltrana: 只能打开一个视频文件，多出：%1\n"
    "veltrana: only one video can be opened; one too many: %1\n";
// after every refusal
inline constexpr std::string_view SeeHelp = "veltrana --help 显示用法 / shows the usage\n";
// "veltrana 0.9.0"
inline constexpr std::string_view VersionLine = "veltrana %1\n";
}  // namespace CommandLineText

// The exit status of a command line the program refuses.
inline constexpr int CommandLineRefused = 2;

struct CommandLine {
    enum class Action { Start, ShowHelp, ShowVersion, PrintSpeech, PrintShotChanges, Refuse } action = Action::Start;
    // Start: the video to choose, an absolute path; empty for none.
    // PrintSpeech, PrintShotChanges: the film (or sound) file, an absolute path.
    std::string video;
    // Refuse: the whole text for standard error.
    std::string message;
    // Start: the arguments for QApplication, the program's name first.
    std::vector<char*> qtArguments;
};

// Reads argv left to right; the first option that answers or refuses wins.
CommandLine readCommandLine(int argc, char** argv);

// text with every "%1" replaced by argument.
std::string fillIn(std::string_view text, std::string_view argument);

}  // namespace vt
