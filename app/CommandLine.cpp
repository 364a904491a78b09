#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "state/FeatureSettings.h"

namespace varmolen {

namespace {

// The toolkit's own options, as Qt's application classes and its X11
// platform read them (with one dash or two); the value of those that take
// one is the next argument. They reach the toolkit unchanged.
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};

constexpr ToolkitOption kToolkitOptions[] = {
    // QGuiApplication
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowtitle", true},
    {"qwindowicon", true},
    {"session", true},
    {"reverse", false},
    {"testability", false},
    // the X11 platform
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"visual", true},
    {"nograb", false},
    {"dograb", false},
    // QApplication
    {"style", true},
    {"stylesheet", true},
    {"widgetcount", false},
    {"qdevel", false},
    {"qdebug", false},
};

// Toolkit options that carry their value after "=" in the same argument.
constexpr std::string_view kToolkitOptionsWithEquals[] = {"style=", "stylesheet=", "qmljsdebugger="};

constexpr std::string_view kProgram = "varmolen";
constexpr std::string_view kRemoteEquals = "--remote=";

const ToolkitOption* toolkitOption(std::string_view name)
{
    const auto* found = std::find_if(std::begin(kToolkitOptions), std::end(kToolkitOptions),
                                     [name](const ToolkitOption& o) { return o.name == name; });
    return found != std::end(kToolkitOptions) ? found : nullptr;
}

bool isToolkitOptionWithEquals(std::string_view name)
{
    return std::any_of(std::begin(kToolkitOptionsWithEquals), std::end(kToolkitOptionsWithEquals),
                       [name](std::string_view prefix) { return name.starts_with(prefix); });
}

// A port as written after --remote=: digits only, 1 to 65535.
std::optional<int> portFrom(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || !isRemotePort(port))
        return std::nullopt;
    return port;
}

std::string quoted(std::string_view argument) { return "'" + std::string(argument) + "'"; }

CommandLine ending(int exitCode, std::string out, std::string err)
{
    CommandLine line;
    line.run = false;
    line.exitCode = exitCode;
    line.standardOutput = std::move(out);
    line.standardError = std::move(err);
    return line;
}

// What is wrong, then the usage, on the standard error.
CommandLine refused(const std::string& what, const UsagePlaces& places)
{
    return ending(kCommandLineExitCode, {}, std::string(kProgram) + ": " + what + "\n\n" + usageText(places));
}

}  // namespace

std::string usageText(const UsagePlaces& places)
{
    const std::string port = std::to_string(kRemotePortDefault);
    return "Usage: varmolen [--remote[=PORT]] [toolkit options]\n"
           "       varmolen --help | --version\n"
           "\n"
           "Varmolen " +
           places.version +
           ": a two-channel oscilloscope and spectrum analyser\n"
           "on the sound card's input.\n"
           "\n"
           "Options:\n"
           "  -h, --help         print this help and end\n"
           "      --version      print the version and end\n"
           "      --remote       listen for remote control (SCPI over TCP) for this run, on\n"
           "                     the port the settings name (" +
           port +
           " unless set)\n"
           "      --remote=PORT  the same on PORT (1 to 65535)\n"
           "\n"
           "The toolkit's own options pass through to Qt with their values, e.g.\n"
           "-platform NAME, -display HOST:SCREEN, -style NAME, -geometry WxH+X+Y, -reverse.\n"
           "\n"
           "Files:\n"
           "  " +
           places.settingsFolder +
           "/Varmolen.cfg\n"
           "      the front panel's settings, read at start and written at exit\n"
           "  " +
           places.settingsFolder +
           "/Varmolen.ini\n"
           "      the settings of the further features, a text file you may edit\n"
           "  The first start makes the folder with the default settings.\n"
           "\n"
           "Manual: " +
           places.manual +
           "\n"
           "\n"
           "Exit status: 0, or 2 when the command line is wrong.\n";
}

CommandLine parseCommandLine(std::span<const std::string> arguments, const UsagePlaces& places)
{
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h")
            return ending(0, usageText(places), {});
        if (argument == "--version")
            return ending(0, std::string(kProgram) + " " + places.version + "\n", {});
        if (argument.starts_with("--help=") || argument.starts_with("--version="))
            return refused("option " + quoted(argument.substr(0, argument.find('='))) + " takes no value", places);
        if (argument == "--remote") {
            line.remote = true;
            line.remotePort.reset();
            continue;
        }
        if (argument.starts_with(kRemoteEquals)) {
            const std::string_view text = argument.substr(kRemoteEquals.size());
            const std::optional<int> port = portFrom(text);
            if (!port) {
                // Remote control is a choice of the person starting the
                // program: a port it cannot use ends the start, so nothing
                // listens where no one asked.
                const std::string why = text.empty() ? "no port is given; write --remote=PORT with PORT from 1 to 65535"
                                                     : "the port must be a whole number from 1 to 65535";
                return ending(kCommandLineExitCode, {},
                              std::string(kProgram) + ": " + std::string(argument) + ": " + why + "\n");
            }
            line.remote = true;
            line.remotePort = port;
            continue;
        }
        if (argument == "--") {
            if (i + 1 < arguments.size())
                return refused(
                    "unexpected argument " + quoted(arguments[i + 1]) + ": the program takes no file or other argument",
                    places);
            break;
        }
        if (argument.size() > 1 && argument[0] == '-') {
            const std::string_view name = argument.substr(argument[1] == '-' ? 2 : 1);
            if (const ToolkitOption* option = toolkitOption(name)) {
                if (option->takesValue && ++i == arguments.size())
                    return refused("option " + quoted(argument) + " needs a value", places);
                continue;
            }
            if (isToolkitOptionWithEquals(name))
                continue;
            return refused("unknown option " + quoted(argument), places);
        }
        // A port written apart from --remote is the likeliest stray number.
        if (i > 0 && arguments[i - 1] == "--remote" && portFrom(argument))
            return refused(
                "unexpected argument " + quoted(argument) + "; a port is written --remote=" + std::string(argument),
                places);
        return refused("unexpected argument " + quoted(argument) + ": the program takes no file or other argument",
                       places);
    }
    return line;
}

}  // namespace varmolen
