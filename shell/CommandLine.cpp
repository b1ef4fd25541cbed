#include "shell/CommandLine.h"

#include <filesystem>
#include <system_error>

namespace vt {

namespace {

// The options QApplication takes for itself on this platform, with one
// dash or two, and whether the next argument is their value.
struct QtOption {
    std::string_view name;
    bool takesValue;
};

constexpr QtOption QtOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"session", true},
    {"display", true}, {"geometry", true}, {"title", true}, {"icon", true}, {"name", true}, {"visual", true},
    {"style", true}, {"stylesheet", true},
    {"reverse", false}, {"widgetcount", false}, {"testability", false}, {"nograb", false}, {"dograb", false},
};

// ... and those that carry their value after "=".
constexpr std::string_view QtOptionsWithEquals[] = {"style=", "stylesheet=", "qmljsdebugger="};

const QtOption* qtOption(std::string_view name)
{
    for (const QtOption& option : QtOptions)
        if (option.name == name)
            return &option;
    return nullptr;
}

bool isQtOptionWithEquals(std::string_view name)
{
    for (std::string_view prefix : QtOptionsWithEquals)
        if (name.starts_with(prefix))
            return true;
    return false;
}

CommandLine refuse(std::string_view text, std::string_view argument)
{
    CommandLine refused;
    refused.action = CommandLine::Action::Refuse;
    refused.message = fillIn(text, argument) + std::string(CommandLineText::SeeHelp);
    return refused;
}

// An existing file, not a folder, as an absolute path; empty with the refusal's text when it is not.
std::string existingFile(std::string_view arg, std::string_view missing, std::string_view folder, CommandLine& refused)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(arg), error);
    if (arg.empty() || !fs::exists(status)) {
        refused = refuse(missing, arg);
        return {};
    }
    if (fs::is_directory(status)) {
        refused = refuse(folder, arg);
        return {};
    }
    std::string path = fs::absolute(fs::path(arg), error).lexically_normal().string();
    if (error) {
        refused = refuse(missing, arg);
        return {};
    }
    return path;
}

}  // namespace

CommandLine readCommandLine(int argc, char** argv)
{
    CommandLine command;
    if (argc > 0)
        command.qtArguments.push_back(argv[0]);
    std::string video;
    bool onlyFilesFollow = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyFilesFollow && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                onlyFilesFollow = true;
                continue;
            }
            if (arg == "-h" || arg == "--help") {
                command.action = CommandLine::Action::ShowHelp;
                return command;
            }
            if (arg == "-v" || arg == "--version") {
                command.action = CommandLine::Action::ShowVersion;
                return command;
            }
            if (arg == "--speech" || arg == "--shot-changes") {
                if (i + 1 >= argc)
                    return refuse(CommandLineText::OptionWithoutValue, arg);
                CommandLine refused;
                command.video = existingFile(argv[++i], CommandLineText::NoSuchFile, CommandLineText::FileIsAFolder,
                                             refused);
                if (command.video.empty())
                    return refused;
                command.action =
                    arg == "--speech" ? CommandLine::Action::PrintSpeech : CommandLine::Action::PrintShotChanges;
                return command;
            }
            const std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
            if (isQtOptionWithEquals(name)) {
                command.qtArguments.push_back(argv[i]);
                continue;
            }
            const QtOption* option = qtOption(name);
            if (!option)
                return refuse(CommandLineText::UnknownOption, arg);
            command.qtArguments.push_back(argv[i]);
            if (option->takesValue) {
                if (i + 1 >= argc)
                    return refuse(CommandLineText::OptionWithoutValue, arg);
                command.qtArguments.push_back(argv[++i]);
            }
            continue;
        }
        if (!video.empty())
            return refuse(CommandLineText::SecondVideo, arg);
        // the dialog of "指定" gives a full path, and the companions and the
        // boxes go by it
        CommandLine refused;
        video = existingFile(arg, CommandLineText::NoSuchVideo, CommandLineText::VideoIsAFolder, refused);
        if (video.empty())
            return refused;
    }
    command.video = video;
    command.qtArguments.push_back(nullptr);  // QApplication's argv ends as a C one does
    return command;
}

}  // namespace vt
