// varmolen-default-config <path>: the set-up script's part of preparing the
// instrument in the source tree. Puts a default settings file at <path> when
// none is there, so that settings persist from the first run on; an existing
// file is never touched. Missing parent directories are not created: the
// set-up script makes the install directory first. The program itself writes
// the same record on a user's first start, when the install folder does not
// exist yet (prepareFirstRun, persist/InstallPaths.h); this tool also puts it
// into a folder that exists without one.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "persist/ConfigFile.h"

namespace {

constexpr const char* kToolName = "varmolen-default-config";

void printUsage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: %s <path>\n"
                 "Writes the default Varmolen settings file (Varmolen.cfg) at <path>\n"
                 "unless a file is already there.\n",
                 kToolName);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0') {
        printUsage(stderr);
        return 2;
    }
    const std::string path = argv[1];

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        std::printf("%s already exists; left as it is.\n", path.c_str());
        return 0;
    }
    if (errno != ENOENT) {
        std::fprintf(stderr, "%s: cannot check %s: %s\n", kToolName, path.c_str(), std::strerror(errno));
        return 1;
    }

    std::string whyNot;
    const varmolen::ConfigRecord record = varmolen::encodeConfiguration(varmolen::defaultConfiguration());
    if (!varmolen::writeConfigFileAtomically(path, record, whyNot)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, path.c_str(), whyNot.c_str());
        return 1;
    }
    std::printf("Wrote the default settings to %s.\n", path.c_str());
    return 0;
}
