// The program's command line: what each command line asks for, its exit
// status and what it prints where.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace varmolen {
namespace {

const UsagePlaces kPlaces{"7.3", "/home/ann/.config/Varmolen", "/usr/share/varmolen/help/index.html"};

enum class Ends { no, yes };

struct LineCase {
    std::vector<std::string> arguments;
    Ends ends;
    int exitCode;
    const char* out;  // a part of the standard output ("" for none at all)
    const char* err;  // a part of the standard error ("" for none at all)
    bool usageOnError;
    bool remote;
    std::optional<int> port;
};

const LineCase kLineCases[] = {
    // Nothing asked: the instrument starts.
    {{}, Ends::no, 0, "", "", false, false, std::nullopt},
    // Answers that end the program at once.
    {{"--help"}, Ends::yes, 0, "Usage: varmolen [--remote[=PORT]]", "", false, false, std::nullopt},
    {{"-h"}, Ends::yes, 0, "--remote=PORT  the same on PORT", "", false, false, std::nullopt},
    {{"--version"}, Ends::yes, 0, "varmolen 7.3\n", "", false, false, std::nullopt},
    {{"--remote=99", "--help", "--bogus"}, Ends::yes, 0, "Usage:", "", false, false, std::nullopt},
    {{"--bogus", "--help"},
     Ends::yes,
     2,
     "",
     "varmolen: unknown option '--bogus'\n\nUsage:",
     true,
     false,
     std::nullopt},
    // Remote control for this run.
    {{"--remote"}, Ends::no, 0, "", "", false, true, std::nullopt},
    {{"--remote=5026"}, Ends::no, 0, "", "", false, true, 5026},
    {{"--remote=1"}, Ends::no, 0, "", "", false, true, 1},
    {{"--remote=65535"}, Ends::no, 0, "", "", false, true, 65535},
    {{"--remote=05025"}, Ends::no, 0, "", "", false, true, 5025},
    {{"--remote=5026", "--remote"}, Ends::no, 0, "", "", false, true, std::nullopt},  // the last one counts
    {{"--remote", "--remote=6000"}, Ends::no, 0, "", "", false, true, 6000},
    // Ports it cannot listen on: what is wrong, nothing started.
    {{"--remote=abc"},
     Ends::yes,
     2,
     "",
     "varmolen: --remote=abc: the port must be a whole number from 1 to 65535\n",
     false,
     false,
     std::nullopt},
    {{"--remote=0"}, Ends::yes, 2, "", "--remote=0: the port must be", false, false, std::nullopt},
    {{"--remote=70000"}, Ends::yes, 2, "", "--remote=70000: the port must be", false, false, std::nullopt},
    {{"--remote=99999999999"}, Ends::yes, 2, "", "the port must be", false, false, std::nullopt},
    {{"--remote=-1"}, Ends::yes, 2, "", "the port must be", false, false, std::nullopt},
    {{"--remote=+80"}, Ends::yes, 2, "", "the port must be", false, false, std::nullopt},
    {{"--remote=80 "}, Ends::yes, 2, "", "the port must be", false, false, std::nullopt},
    {{"--remote="}, Ends::yes, 2, "", "varmolen: --remote=: no port is given", false, false, std::nullopt},
    {{"--remote=5026", "--remote=0"}, Ends::yes, 2, "", "--remote=0:", false, false, std::nullopt},
    // Unknown options and stray arguments: what is wrong, then the usage.
    {{"--bogus"}, Ends::yes, 2, "", "varmolen: unknown option '--bogus'\n", true, false, std::nullopt},
    {{"-x"}, Ends::yes, 2, "", "unknown option '-x'", true, false, std::nullopt},
    {{"-remote"}, Ends::yes, 2, "", "unknown option '-remote'", true, false, std::nullopt},
    {{"--Remote"}, Ends::yes, 2, "", "unknown option '--Remote'", true, false, std::nullopt},
    {{"--version=2"}, Ends::yes, 2, "", "option '--version' takes no value", true, false, std::nullopt},
    {{"--help=all"}, Ends::yes, 2, "", "option '--help' takes no value", true, false, std::nullopt},
    {{"trace.wav"},
     Ends::yes,
     2,
     "",
     "unexpected argument 'trace.wav': the program takes no file",
     true,
     false,
     std::nullopt},
    {{"-"}, Ends::yes, 2, "", "unexpected argument '-'", true, false, std::nullopt},
    {{"--remote", "5025"},
     Ends::yes,
     2,
     "",
     "unexpected argument '5025'; a port is written --remote=5025",
     true,
     false,
     std::nullopt},
    {{"--", "--help"}, Ends::yes, 2, "", "unexpected argument '--help'", true, false, std::nullopt},
    {{"--remote", "--"}, Ends::no, 0, "", "", false, true, std::nullopt},
    // The toolkit's own options, with their values, one dash or two.
    {{"-platform", "offscreen", "-style", "Fusion", "-reverse"}, Ends::no, 0, "", "", false, false, std::nullopt},
    {{"--platform", "xcb", "-display", ":1", "-geometry", "800x600+0+0"},
     Ends::no,
     0,
     "",
     "",
     false,
     false,
     std::nullopt},
    {{"-style=Fusion", "--stylesheet=panel.qss", "-qwindowgeometry", "100x100", "-qwindowtitle", "Scope A"},
     Ends::no,
     0,
     "",
     "",
     false,
     false,
     std::nullopt},
    {{"-platformpluginpath", "/p", "-platformtheme", "gtk3", "-plugin", "evdevmouse", "-session", "s1"},
     Ends::no,
     0,
     "",
     "",
     false,
     false,
     std::nullopt},
    {{"-title", "A", "-icon", "a.png", "-name", "scope", "-visual", "0x21", "-nograb", "-dograb"},
     Ends::no,
     0,
     "",
     "",
     false,
     false,
     std::nullopt},
    {{"-stylesheet", "a.qss", "-widgetcount", "-testability", "-qmljsdebugger=port:3768", "-qwindowicon", "i.png"},
     Ends::no,
     0,
     "",
     "",
     false,
     false,
     std::nullopt},
    // A toolkit option's value is taken as its value, whatever it looks like.
    {{"-qwindowtitle", "--remote=0", "--remote=6000"}, Ends::no, 0, "", "", false, true, 6000},
    {{"-title", "--bogus"}, Ends::no, 0, "", "", false, false, std::nullopt},
    {{"-platform"},
     Ends::yes,
     2,
     "",
     "varmolen: option '-platform' needs a value\n\nUsage:",
     true,
     false,
     std::nullopt},
    {{"--remote", "-display"}, Ends::yes, 2, "", "option '-display' needs a value", true, false, std::nullopt},
    {{"-platform", "offscreen", "--remote=6000", "extra"},
     Ends::yes,
     2,
     "",
     "unexpected argument 'extra'",
     true,
     false,
     std::nullopt},
};

std::string describe(const std::vector<std::string>& arguments)
{
    std::string text = "varmolen";
    for (const std::string& a : arguments)
        text += " [" + a + "]";
    return text;
}

TEST(CommandLineTest, EachCommandLineAsksForWhatItSaysAndPrintsWhereItBelongs)
{
    const std::string usage = usageText(kPlaces);
    for (const LineCase& c : kLineCases) {
        SCOPED_TRACE(describe(c.arguments));
        const CommandLine line = parseCommandLine(c.arguments, kPlaces);
        EXPECT_EQ(line.run, c.ends == Ends::no);
        EXPECT_EQ(line.exitCode, c.exitCode);
        if (*c.out == '\0')
            EXPECT_EQ(line.standardOutput, "");
        else
            EXPECT_NE(line.standardOutput.find(c.out), std::string::npos) << line.standardOutput;
        if (*c.err == '\0')
            EXPECT_EQ(line.standardError, "");
        else
            EXPECT_NE(line.standardError.find(c.err), std::string::npos) << line.standardError;
        // A command line the program cannot follow is explained, with the
        // usage after it when the mistake is in the command line's shape.
        const bool endsWithUsage =
            line.standardError.size() >= usage.size() &&
            line.standardError.compare(line.standardError.size() - usage.size(), usage.size(), usage) == 0;
        EXPECT_EQ(endsWithUsage, c.usageOnError);
        if (line.run) {
            EXPECT_EQ(line.remote, c.remote);
            EXPECT_EQ(line.remotePort, c.port);
        } else {
            // Ended here, nothing was asked of remote control.
            EXPECT_FALSE(line.remote);
        }
    }
}

TEST(CommandLineTest, HelpIsTheUsageWithThePlacesTheProgramUses)
{
    const CommandLine help = parseCommandLine(std::vector<std::string>{"--help"}, kPlaces);
    EXPECT_EQ(help.standardOutput, usageText(kPlaces));
    const std::string& text = help.standardOutput;
    for (const char* part : {"Varmolen 7.3", "-h, --help", "--version", "--remote ", "--remote=PORT", "5025",
                             "/home/ann/.config/Varmolen/Varmolen.cfg", "/home/ann/.config/Varmolen/Varmolen.ini",
                             "Manual: /usr/share/varmolen/help/index.html", "-platform", "Exit status"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    // It reads in a terminal of 80 columns.
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start = end + 1))
        EXPECT_LE(end - start, 80U) << text.substr(start, end - start);
}

}  // namespace
}  // namespace varmolen
