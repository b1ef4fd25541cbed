// The command line as a terminal sees it: the real program, run with each
// command line, its exit status and what it prints. No display is offered,
// so a command line that reached Qt would not end with the program's own
// answer: Qt aborts when it finds no display to open a window on.
#include "shell/CommandLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

    // Runs the program in dir_ with no display. waitSeconds > 0: a program
    // still running then is ended (by its id) and reported as such.
    static Outcome run(const std::vector<std::string>& args, double waitSeconds = 30)
    {
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(dir_.c_str()) != 0)
                ::_exit(120);
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
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
