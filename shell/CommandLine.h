// The program's command line, `veltrana [VIDEO]`, read before Qt is started:
// a refusal prints its message and ends the program without a window, and
// --help and --version need no display at all. Qt's own options (-platform,
// -display, -style ...) are passed over and handed on to QApplication.
#pragma once

#include "core/Errors.h"  // fillIn

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
    "Qt's common options (-platform, -display, -style ...) work as usual.\n"
    "\n"
    "退出状态：0 列出了答案（没人说话、只有一个镜头时什么也不列）；1 影片没有声音（--speech）；\n"
    "2 命令行被拒绝，或者文件无法当作影片读取、没有画面（--shot-changes）、声音或画面无法解码、\n"
    "答案写不出去。原因写在标准错误上。\n"
    "Exit status: 0 the answer was listed (nothing for no speech or a single shot); 1 the film has\n"
    "no sound (--speech); 2 the command line was refused, or the file cannot be read as a film, has no\n"
    "pictures (--shot-changes), its sound or pictures cannot be decoded, or the answer cannot be\n"
    "written. Standard error says why.\n"
    "\n"
    "设了环境变量 VELTRANA_DEBUG 时，FFmpeg 自己的日志也写在标准错误上。\n"
    "With VELTRANA_DEBUG set, FFmpeg's own log lines go to standard error too.\n";
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
// --speech and --shot-changes when the file gives no answer; the command
// line was right, so no pointer to the usage follows
inline constexpr std::string_view NotAFilm =
    "veltrana: 无法把这个文件当作影片读取：%1\n"
    "veltrana: %1 cannot be read as a film\n";
inline constexpr std::string_view FilmWithoutSound =
    "veltrana: 影片没有声音：%1\n"
    "veltrana: %1 has no sound\n";
inline constexpr std::string_view SoundUnreadable =
    "veltrana: 无法解码影片的声音：%1\n"
    "veltrana: the sound of %1 cannot be decoded\n";
inline constexpr std::string_view FilmWithoutPictures =
    "veltrana: 文件里没有画面：%1\n"
    "veltrana: %1 has no pictures\n";
inline constexpr std::string_view PicturesUnreadable =
    "veltrana: 无法解码影片的画面：%1\n"
    "veltrana: the pictures of %1 cannot be decoded\n";
// the decoder's own words, after one of the above when it gave any
inline constexpr std::string_view DecoderSaid = "veltrana: %1\n";
// standard output refused the answer (a full disk, a closed pipe); %1 is the system's reason
inline constexpr std::string_view AnswerNotWritten =
    "veltrana: 无法写出答案：%1\n"
    "veltrana: cannot write the answer: %1\n";
// after every refusal
inline constexpr std::string_view SeeHelp = "veltrana --help 显示用法 / shows the usage\n";
// "veltrana 0.9.0"
inline constexpr std::string_view VersionLine = "veltrana %1\n";
}  // namespace CommandLineText

// The exit status of a command line the program refuses.
inline constexpr int CommandLineRefused = 2;
// --speech on a film that has no sound: a film, but nothing to listen to.
inline constexpr int FilmHasNoSound = 1;
// --speech and --shot-changes on a file that cannot be read as a film, one
// without pictures (--shot-changes), one whose sound or pictures cannot be
// decoded; and an answer that cannot be written.
inline constexpr int FilmCannotBeRead = 2;

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


}  // namespace vt
