// The command line as a terminal sees it: the real program, run with each
// command line, its exit status and what it prints. No display is offered,
// so a command line that reached Qt would not end with the program's own
// answer: Qt aborts when it finds no display to open a window on.
#include "shell/CommandLine.h"

#include "core/TimeStrings.h"
#include "platform/FfmpegLog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vt;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
    bool stillRunning = false;
};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CommandLineRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = fs::temp_directory_path() / ("veltrana-test-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "影片");
        std::ofstream(dir_ / "影片" / "film.avi") << "not decoded here";
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    using Environment = std::vector<std::pair<std::string, std::string>>;

    // Runs the program in dir_ with no display, its state and cache folders
    // under dir_ (never the user's), and env set on top. waitSeconds > 0: a
    // program still running then is ended (by its id) and reported as such.
    // stdoutTo: where standard output goes instead of a file read back.
    static Outcome run(const std::vector<std::string>& args, double waitSeconds = 30, const Environment& env = {},
                       const std::string& stdoutTo = {})
    {
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        fs::remove(out);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(dir_.c_str()) != 0)
                ::_exit(120);
            ::dup2(::open(stdoutTo.empty() ? out.c_str() : stdoutTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            ::unsetenv("VELTRANA_DEBUG");
            ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
            ::setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
            for (const auto& [name, value] : env)
                ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(VT_PROGRAM)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VT_PROGRAM, argv.data());
            ::_exit(121);
        }
        Outcome outcome;
        int status = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                outcome.stillRunning = true;
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = readAll(out);
        outcome.err = readAll(err);
        return outcome;
    }

    static fs::path dir_;
};

fs::path CommandLineRun::dir_;

std::string refusal(std::string_view text, std::string_view argument)
{
    return fillIn(text, argument) + std::string(CommandLineText::SeeHelp);
}

}  // namespace

TEST_F(CommandLineRun, AnswersAndRefusalsWithTheirStatusAndNoWindow)
{
    const std::string usage(CommandLineText::Usage);
    const std::string version = fillIn(CommandLineText::VersionLine, VT_VERSION);
    const std::string folder = (dir_ / "影片").string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, usage, ""},
        {{"-h"}, 0, usage, ""},
        {{"--version"}, 0, version, ""},
        {{"-v"}, 0, version, ""},
        // Qt's options are passed over, with their values
        {{"-platform", "offscreen", "--version"}, 0, version, ""},
        {{"missing.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "missing.avi")},
        {{"影片/没有.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "影片/没有.avi")},
        {{"-platform", "offscreen", "missing.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "missing.avi")},
        {{"--style", "fusion", "-reverse", "missing.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "missing.avi")},
        {{"-style=fusion", "missing.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "missing.avi")},
        {{""}, 2, "", refusal(CommandLineText::NoSuchVideo, "")},
        {{folder}, 2, "", refusal(CommandLineText::VideoIsAFolder, folder)},
        {{"影片/"}, 2, "", refusal(CommandLineText::VideoIsAFolder, "影片/")},
        {{"--open", "影片/film.avi"}, 2, "", refusal(CommandLineText::UnknownOption, "--open")},
        {{"影片/film.avi", "-x"}, 2, "", refusal(CommandLineText::UnknownOption, "-x")},
        {{"影片/film.avi", "-platform"}, 2, "", refusal(CommandLineText::OptionWithoutValue, "-platform")},
        {{"影片/film.avi", "影片/film.avi"}, 2, "", refusal(CommandLineText::SecondVideo, "影片/film.avi")},
        {{"--speech"}, 2, "", refusal(CommandLineText::OptionWithoutValue, "--speech")},
        {{"--speech", "missing.wav"}, 2, "", refusal(CommandLineText::NoSuchFile, "missing.wav")},
        {{"--speech", folder}, 2, "", refusal(CommandLineText::FileIsAFolder, folder)},
        {{"--shot-changes"}, 2, "", refusal(CommandLineText::OptionWithoutValue, "--shot-changes")},
        {{"--shot-changes", "missing.mp4"}, 2, "", refusal(CommandLineText::NoSuchFile, "missing.mp4")},
        // the first that answers or refuses wins
        {{"--help", "--open"}, 0, usage, ""},
        {{"--open", "--help"}, 2, "", refusal(CommandLineText::UnknownOption, "--open")},
        // after "--" a name that starts with a dash is a file's
        {{"--", "-film.avi"}, 2, "", refusal(CommandLineText::NoSuchVideo, "-film.avi")},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += "[" + a + "] ";
        SCOPED_TRACE(shown);
        const Outcome outcome = run(c.args);
        EXPECT_FALSE(outcome.stillRunning);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, c.err);
    }
}

// A video that exists starts the program, and Qt's own option reaches Qt:
// without it there is no display, and Qt would end the program at once.
TEST_F(CommandLineRun, AVideoThatExistsStartsTheProgramWithQtsOptions)
{
    const Outcome withPlatform = run({"-platform", "offscreen", "影片/film.avi"}, 3);
    EXPECT_TRUE(withPlatform.stillRunning) << "ended with " << withPlatform.status << ": " << withPlatform.err;

    const Outcome withoutDisplay = run({"影片/film.avi"}, 10);
    EXPECT_FALSE(withoutDisplay.stillRunning);
    EXPECT_NE(withoutDisplay.status, 0);
    EXPECT_NE(withoutDisplay.status, CommandLineRefused);
}

// ---- the analyses' answers, and files that give none ----------------------

namespace {

// The files the analyses are asked about, made once with ffmpeg and espeak-ng.
struct Films {
    std::string text;        // a text file named .mp4
    std::string cutShort;    // an MP4 cut off before its index (written last, as ffmpeg writes it)
    std::string headerOnly;  // an MP4 whose index comes first, cut off where its pictures and sound begin
    std::string mute;        // two shots, the second from frame 50, and no sound
    std::string quiet;       // the same pictures with a sound track of silence
    std::string spoken;      // the same pictures, a sentence spoken from 1 s on
    std::string sound;       // the sentence alone, as a WAV
    bool made = false;
};

bool shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

Films makeFilms(const fs::path& folder)
{
    Films films;
    fs::create_directories(folder);
    auto in = [&folder](const char* name) { return (folder / name).string(); };
    films.text = in("notes.mp4");
    std::ofstream(films.text) << "这不是影片\nnot a film either\n";
    films.mute = in("mute.mp4");
    films.quiet = in("quiet.mp4");
    films.spoken = in("spoken.mp4");
    films.sound = in("sentence.wav");
    films.cutShort = in("cut-short.mp4");
    films.headerOnly = in("header-only.mp4");
    const std::string fast = in("fast-start.mp4");
    const bool made =
        shell("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i smptebars=s=320x180:r=25:d=2"
              " -filter_complex \"[0:v][1:v]concat=n=2:v=1[v]\" -map \"[v]\" -c:v libx264 -preset ultrafast"
              " -pix_fmt yuv420p " + films.mute) &&
        shell("espeak-ng -v cmn -w " + films.sound + " 今天的天气很好我们去公园散步吧") &&
        shell("ffmpeg -v error -y -i " + films.mute + " -i " + films.sound +
              " -filter_complex \"[1:a]adelay=1000:all=1,apad[a]\" -map 0:v -map \"[a]\" -c:v copy -c:a aac"
              " -shortest " + films.spoken) &&
        shell("ffmpeg -v error -y -i " + films.mute + " -f lavfi -i anullsrc=r=44100:cl=mono -map 0:v -map 1:a"
              " -c:v copy -c:a aac -shortest " + films.quiet) &&
        shell("ffmpeg -v error -y -i " + films.spoken + " -c copy -movflags +faststart " + fast);
    if (!made)
        return films;
    const std::string whole = readAll(films.spoken);
    std::ofstream(films.cutShort, std::ios::binary) << whole.substr(0, whole.size() / 2);
    // the index, then the header of the box the pictures and sound are in, and nothing of them
    const std::string faststart = readAll(fast);
    const size_t data = faststart.find("mdat");
    if (data == std::string::npos)
        return films;
    std::ofstream(films.headerOnly, std::ios::binary) << faststart.substr(0, data + 4);
    films.made = true;
    return films;
}

// "00:00:01,029 --> 00:00:04,133\n" lines: the start of each, in milliseconds;
// nothing when a line is not such a span.
std::optional<std::vector<int32_t>> spanStarts(const std::string& out)
{
    static const std::regex span(R"(\d\d:\d\d:\d\d,\d\d\d --> \d\d:\d\d:\d\d,\d\d\d)");
    std::vector<int32_t> starts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!std::regex_match(line, span))
            return std::nullopt;
        starts.push_back(StrToMs(line.substr(0, 12)));
    }
    return starts;
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    return files;
}

}  // namespace

class Analyses : public CommandLineRun {
protected:
    // made again when the folder was removed since (the suite run once more)
    static const Films& films()
    {
        static Films made;
        if (!made.made || !fs::exists(made.mute))
            made = makeFilms(dir_ / "films");
        return made;
    }

    void SetUp() override
    {
        if (!films().made)
            GTEST_SKIP() << "ffmpeg or espeak-ng could not make the test films";
    }
};

// Each file asked twice, in a cache folder of its own: an answer comes
// again from the cache, and a file that gave none gives none again (a
// failure cached as an empty answer would come back as exit 0). Standard
// error holds the program's own words and not one line of FFmpeg's.
TEST_F(Analyses, AnswersOrSaysWhyNotWithItsStatus)
{
    const Films& f = films();
    enum class Expect { Nothing, CutAt50, SpeechFromOneSecond, SpeechFromTheStart };
    struct Case {
        std::string option;
        std::string file;
        int status;
        std::string_view message;  // empty: no message, the answer
        Expect out;
    };
    const std::vector<Case> cases = {
        {"--speech", f.text, FilmCannotBeRead, CommandLineText::NotAFilm, Expect::Nothing},
        {"--shot-changes", f.text, FilmCannotBeRead, CommandLineText::NotAFilm, Expect::Nothing},
        {"--speech", f.cutShort, FilmCannotBeRead, CommandLineText::NotAFilm, Expect::Nothing},
        {"--shot-changes", f.cutShort, FilmCannotBeRead, CommandLineText::NotAFilm, Expect::Nothing},
        {"--speech", f.headerOnly, FilmCannotBeRead, CommandLineText::SoundUnreadable, Expect::Nothing},
        {"--shot-changes", f.headerOnly, FilmCannotBeRead, CommandLineText::PicturesUnreadable, Expect::Nothing},
        {"--speech", f.mute, FilmHasNoSound, CommandLineText::FilmWithoutSound, Expect::Nothing},
        {"--shot-changes", f.mute, 0, {}, Expect::CutAt50},
        // silence is an answer: no one speaks
        {"--speech", f.quiet, 0, {}, Expect::Nothing},
        {"--shot-changes", f.quiet, 0, {}, Expect::CutAt50},
        {"--speech", f.spoken, 0, {}, Expect::SpeechFromOneSecond},
        {"--shot-changes", f.spoken, 0, {}, Expect::CutAt50},
        {"--speech", f.sound, 0, {}, Expect::SpeechFromTheStart},
        {"--shot-changes", f.sound, FilmCannotBeRead, CommandLineText::FilmWithoutPictures, Expect::Nothing},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " " + fs::path(c.file).filename().string());
        const fs::path cache = dir_ / ("cache-" + std::to_string(row++));
        for (const char* time : {"first", "again"}) {
            SCOPED_TRACE(time);
            const Outcome outcome = run({c.option, c.file}, 60, {{"XDG_CACHE_HOME", cache.string()}});
            ASSERT_FALSE(outcome.stillRunning);
            EXPECT_EQ(outcome.status, c.status);
            EXPECT_EQ(outcome.err, c.message.empty() ? "" : fillIn(c.message, c.file));
            switch (c.out) {
            case Expect::Nothing: EXPECT_EQ(outcome.out, ""); break;
            case Expect::CutAt50: EXPECT_EQ(outcome.out, "50\n"); break;
            case Expect::SpeechFromOneSecond:
            case Expect::SpeechFromTheStart: {
                const std::optional<std::vector<int32_t>> starts = spanStarts(outcome.out);
                ASSERT_TRUE(starts) << outcome.out;
                ASSERT_EQ(starts->size(), 1u) << outcome.out;
                const int32_t said = c.out == Expect::SpeechFromOneSecond ? 1000 : 0;
                EXPECT_NEAR(starts->front(), said, 150) << outcome.out;
                break;
            }
            }
        }
        if (c.status != 0)
            EXPECT_EQ(filesIn(cache), std::vector<fs::path>{}) << "a file that gave no answer left a cache";
    }
}

// FFmpeg's own lines are for someone looking for them: with VELTRANA_DEBUG
// set they come before the program's own words, which stay the same.
TEST_F(Analyses, FfmpegsOwnLinesOnlyWhenDebugging)
{
    const std::string said = fillIn(CommandLineText::NotAFilm, films().cutShort);
    const Outcome quiet = run({"--speech", films().cutShort});
    EXPECT_EQ(quiet.status, FilmCannotBeRead);
    EXPECT_EQ(quiet.err, said);

    const Outcome debugging = run({"--speech", films().cutShort}, 30, {{DebugVariable, "1"}});
    EXPECT_EQ(debugging.status, FilmCannotBeRead);
    EXPECT_NE(debugging.err.find("moov atom not found"), std::string::npos) << debugging.err;
    EXPECT_TRUE(debugging.err.ends_with(said)) << debugging.err;
    EXPECT_EQ(debugging.out, "");
}

// An answer standard output does not take is no answer.
TEST_F(Analyses, AnAnswerThatCannotBeWrittenIsAFailure)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to write to";
    const Outcome outcome = run({"--shot-changes", films().mute}, 60, {}, "/dev/full");
    EXPECT_EQ(outcome.status, FilmCannotBeRead);
    EXPECT_EQ(outcome.err, fillIn(CommandLineText::AnswerNotWritten, std::strerror(ENOSPC)));
}
