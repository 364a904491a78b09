// Reading and replacing the settings file, and the set-up tool that writes
// the default file.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "persist/ConfigFile.h"
#include "state/InstrumentState.h"

using namespace varmolen;
namespace fs = std::filesystem;

namespace {

class ConfigFileIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "varmolen-cfg-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "Varmolen.cfg").string();
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }

    static std::vector<std::uint8_t> contents(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void put(const fs::path& p, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Runs the set-up tool; returns its exit status and collects its output.
    int runTool(const std::string& argument, std::string& output) const
    {
        const std::string command = std::string("'") + VARMOLEN_DEFAULT_CONFIG_TOOL + "' " + argument + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return -1;
        output.clear();
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::vector<std::uint8_t> asVector(const ConfigRecord& r) { return {r.begin(), r.end()}; }

    fs::path dir;
    std::string path;
    const std::vector<std::uint8_t> oldBytes = std::vector<std::uint8_t>(118, 0x5A);
    const ConfigRecord newRecord = encodeConfiguration(defaultConfiguration());
};

}  // namespace

TEST_F(ConfigFileIo, ReadsAtMostOneRecord)
{
    EXPECT_FALSE(readConfigFile(path).has_value());
    EXPECT_FALSE(readConfigFile(dir.string()).has_value());
    EXPECT_FALSE(readConfigFile("").has_value());

    put(path, {});
    ASSERT_TRUE(readConfigFile(path).has_value());
    EXPECT_EQ(readConfigFile(path)->size, 0u);

    std::vector<std::uint8_t> bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    put(path, {bytes.begin(), bytes.begin() + 50});
    auto shortFile = readConfigFile(path);
    ASSERT_TRUE(shortFile.has_value());
    EXPECT_EQ(std::vector<std::uint8_t>(shortFile->view().begin(), shortFile->view().end()),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 50));

    put(path, bytes);
    auto longFile = readConfigFile(path);
    ASSERT_TRUE(longFile.has_value());
    EXPECT_EQ(std::vector<std::uint8_t>(longFile->view().begin(), longFile->view().end()),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 118));
}

TEST_F(ConfigFileIo, ReplacesTheFileKeepingItsPermissionsAndLeavingNoTemporary)
{
    put(path, oldBytes);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(writeConfigFileAtomically(path, newRecord));
    EXPECT_EQ(contents(path), asVector(newRecord));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), std::vector<std::string>{"Varmolen.cfg"});

    // A linked settings file is rewritten where it lives; the link stays.
    const fs::path elsewhere = dir / "kept.cfg";
    fs::rename(path, elsewhere);
    fs::create_symlink(elsewhere, path);
    ASSERT_TRUE(writeConfigFileAtomically(path, encodeConfiguration(startupConfiguration())));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(contents(elsewhere), asVector(encodeConfiguration(startupConfiguration())));
}

TEST_F(ConfigFileIo, FailedWritesLeaveTheOldFileAlone)
{
    std::string why;
    EXPECT_FALSE(writeConfigFileAtomically((dir / "missing" / "Varmolen.cfg").string(), newRecord, why));
    EXPECT_NE(why, "");

    // A directory in the file's place cannot be replaced by a file.
    fs::create_directory(dir / "occupied");
    EXPECT_FALSE(writeConfigFileAtomically((dir / "occupied").string(), newRecord, why));
    EXPECT_TRUE(fs::is_directory(dir / "occupied"));

    // The disk fills up in the middle of the record: the write stops after
    // 50 bytes, as on a full file system.
    put(path, oldBytes);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 50;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = writeConfigFileAtomically(path, newRecord, why);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(written);
    EXPECT_NE(why.find("cannot write"), std::string::npos) << why;
    EXPECT_EQ(contents(path), oldBytes);
    EXPECT_EQ(entries(), (std::vector<std::string>{"Varmolen.cfg", "occupied"}));
}

// Runs `write` as an ordinary user when the test runs as the superuser, whom
// directory permissions do not stop; returns what it returned.
bool asOrdinaryUser(const std::function<bool()>& write)
{
    if (::geteuid() != 0)
        return write();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(write() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A file its owner froze (no write permission) is never replaced, whoever
// runs the program; a writable file in a directory that refuses new files is
// saved in place. Each case runs as the user running the tests and as an
// ordinary user (the superuser passes directory permissions).
TEST_F(ConfigFileIo, WriteProtectionIsKeptAndAReadOnlyDirectoryIsWrittenInPlace)
{
    using P = fs::perms;
    const P readOnly = P::owner_read | P::group_read | P::others_read;
    const P writable = readOnly | P::owner_write | P::group_write | P::others_write;
    const P openDir = P::all;
    const P closedDir = P::owner_read | P::owner_exec | P::group_read | P::group_exec | P::others_read | P::others_exec;
    const struct {
        const char* what;
        P file;
        P directory;
        bool saved;
    } cases[] = {
        {"a write-protected file", readOnly, openDir, false},
        {"a writable file in a read-only directory", writable, closedDir, true},
        {"a write-protected file in a read-only directory", readOnly, closedDir, false},
        {"a writable file in a writable directory", writable, openDir, true},
    };
    for (const bool ordinary : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (ordinary ? ", as an ordinary user" : ""));
            put(path, oldBytes);
            fs::permissions(path, c.file);
            fs::permissions(dir, c.directory);
            const auto write = [&] { return writeConfigFileAtomically(path, newRecord); };
            const bool written = ordinary ? asOrdinaryUser(write) : write();
            fs::permissions(dir, P::owner_all);
            EXPECT_EQ(written, c.saved);
            EXPECT_EQ(contents(path), c.saved ? asVector(newRecord) : oldBytes);
            EXPECT_EQ(fs::status(path).permissions(), c.file) << "the file keeps its permissions";
            EXPECT_EQ(entries(), std::vector<std::string>{"Varmolen.cfg"}) << "nothing left beside it";
            fs::permissions(path, P::owner_read | P::owner_write);
        }
    }
}

TEST_F(ConfigFileIo, SaveWritesTheStateAndNothingWithoutAPath)
{
    auto state = std::make_unique<InstrumentState>();
    state->sampleRate = 22050;
    EXPECT_FALSE(saveConfiguration("", *state));
    ASSERT_TRUE(saveConfiguration(path, *state));
    auto read = readConfigFile(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(decodeConfiguration(read->view(), startupConfiguration()).values.sampleRate, 22050u);
    EXPECT_EQ(entries(), std::vector<std::string>{"Varmolen.cfg"});
}

TEST_F(ConfigFileIo, DefaultToolWritesOnlyWhenNoFileExists)
{
    std::string output;
    ASSERT_EQ(runTool("'" + path + "'", output), 0) << output;
    EXPECT_NE(output.find("Wrote the default settings"), std::string::npos) << output;
    const auto written = contents(path);
    ASSERT_EQ(written.size(), 118u);
    const ConfigValues v = decodeConfiguration(written, ConfigValues{}).values;
    EXPECT_EQ(v, defaultConfiguration());

    put(path, oldBytes);
    ASSERT_EQ(runTool("'" + path + "'", output), 0) << output;
    EXPECT_NE(output.find("already exists"), std::string::npos) << output;
    EXPECT_EQ(contents(path), oldBytes);

    EXPECT_NE(runTool("'" + (dir / "missing" / "Varmolen.cfg").string() + "'", output), 0);
    EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(runTool("", output), 2);
    EXPECT_EQ(entries(), std::vector<std::string>{"Varmolen.cfg"});
}
