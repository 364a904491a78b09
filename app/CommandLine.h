// The program's command line, read before the toolkit starts so that
// `varmolen --help` and `varmolen --version` answer and end without a window
// or a display. --remote[=PORT] asks for remote control for this run. The
// toolkit's own options (-platform NAME, -style=NAME, -display HOST:SCREEN,
// ...) are let through to it with their values. Anything else is refused with
// a message, the usage and exit status 2, as any Linux program does: a typing
// mistake must not start the instrument as if nothing had been asked.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace varmolen {

// What the usage names: the program's version and the places it uses, as the
// program itself computes them.
struct UsagePlaces {
    std::string version;         // the project's version, "1.11"
    std::string settingsFolder;  // the per-user folder of Varmolen.cfg and Varmolen.ini
    std::string manual;          // the manual's index.html
};

// What the command line asks for.
struct CommandLine {
    bool run = true;                // false: print the texts below, then end with exitCode
    int exitCode = 0;               // 0, or kCommandLineExitCode for a command line that is wrong
    std::string standardOutput;     // for the standard output (the usage, the version)
    std::string standardError;      // for the standard error (what is wrong, and the usage)
    bool remote = false;            // --remote or --remote=PORT
    std::optional<int> remotePort;  // the port --remote=PORT names; none: the settings' port
};

// The exit status of a command line the program cannot follow.
constexpr int kCommandLineExitCode = 2;

// The usage text `varmolen --help` prints, ending in a newline.
std::string usageText(const UsagePlaces& places);

// Reads the arguments after the program's name, left to right: --help and
// --version end the reading with their answer; so does the first argument
// that is wrong. The last --remote given counts.
CommandLine parseCommandLine(std::span<const std::string> arguments, const UsagePlaces& places);

}  // namespace varmolen
