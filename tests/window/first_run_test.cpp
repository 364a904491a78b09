// A user's first start: the install folder does not exist yet, so the window
// makes it with the set-up tool's default record and starts as if that record
// had always been there. Where it cannot, the status bar says so once and the
// window starts as it did before; a folder that exists is never touched.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "panel/widgets/RockerSwitch.h"
#include "persist/ConfigFile.h"
#include "tests/ScopeFormSpy.h"
#include "tests/support/FakeWaveInput.h"
#include "WindowDriving.h"
#include "WindowTestFolders.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray bytesOf(const ConfigRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(r.data()), static_cast<int>(r.size()));
}

class FirstRunTest : public test::WindowTestFolders {
protected:
    // The window as the program makes it, its settings folder at `folder`,
    // with its timers held so that no acquisition starts while the test looks.
    std::unique_ptr<SpyScopeForm> openForm(const QString& folder)
    {
        qputenv("VARMOLEN_INSTALL_DIR", QFile::encodeName(folder));
        auto form = std::make_unique<SpyScopeForm>(devices);
        form->host().setRecordOnly(true);
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
        return form;
    }

    // The record the set-up tool writes, from the tool itself.
    QByteArray toolRecord()
    {
        const QString path = installDir.filePath("tool.cfg");
        const std::string command = std::string("'") + VARMOLEN_DEFAULT_CONFIG_TOOL + "' '" +
                                    QFile::encodeName(path).toStdString() + "' >/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return fileBytes(path);
    }

    // The settings of a window started on a folder that already held `record`
    // (an empty record: a folder without a settings file).
    ConfigValues settingsStartedOn(const QByteArray& record, const QString& name)
    {
        const QString folder = installDir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        if (!record.isEmpty()) {
            QFile f(folder + QStringLiteral("/Varmolen.cfg"));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            EXPECT_EQ(f.write(record), record.size());
        }
        return captureConfiguration(openForm(folder)->state());
    }

    static QString message(SpyScopeForm& form) { return form.status().notice(); }

    test::ListingWaveInput devices{{"default", "Signal generator"}};
};

TEST_F(FirstRunTest, AMissingFolderIsMadeWithTheDefaultRecordWhichIsAppliedAndKept)
{
    const QByteArray tool = toolRecord();
    const ConfigValues prepared = settingsStartedOn(tool, QStringLiteral("prepared"));
    const QString folder = installDir.filePath(QStringLiteral("home/.config/Varmolen"));
    const QString cfg = folder + QStringLiteral("/Varmolen.cfg");
    auto form = openForm(folder);

    // The folder and the two missing above it, the user's alone, holding the
    // 118 bytes the set-up tool writes and nothing else.
    for (const QString& made : {installDir.filePath(QStringLiteral("home")), folder}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &st), 0) << made.toStdString();
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made.toStdString();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Varmolen.cfg")});
    const QByteArray written = fileBytes(cfg);
    EXPECT_EQ(written.size(), 118);
    EXPECT_EQ(written, bytesOf(encodeConfiguration(defaultConfiguration())));
    EXPECT_EQ(written, tool);

    // Applied as if it had been there: the same settings as a window started
    // on the tool's file, the working first picture on the generator.
    const InstrumentState& s = form->state();
    EXPECT_EQ(QString::fromUtf8(s.configFilePath.data()), cfg);
    EXPECT_EQ(captureConfiguration(s), prepared);
    EXPECT_EQ(s.chan1Enabled, 1);
    EXPECT_EQ(s.chan2Enabled, 1);
    EXPECT_EQ(s.sampleRate, 44100u);
    EXPECT_EQ(s.triggerEnabled, 1);
    EXPECT_TRUE(form->controls().chan2.Chan2EnbSwitch->isChecked());
    EXPECT_EQ(message(*form), QString());
    EXPECT_TRUE(form->host().recordedMessages().empty());

    // The settings persist at exit, like any found at start.
    test::flip(form->controls().chan2.Chan2EnbSwitch, false);
    form.reset();
    const std::optional<ConfigFileContents> saved = readConfigFile(QFile::encodeName(cfg).toStdString());
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size, 118u);
    EXPECT_EQ(saved->bytes[1], 0);  // chan2Enabled
    EXPECT_EQ(saved->bytes[0], 1);  // chan1Enabled, as the default record had it
}

struct PlaceCase {
    const char* name;
    // Puts something at or above the folder's place; returns the folder.
    std::function<QString(const QString& base)> prepare;
    const char* message;  // a part of the one status-bar message; "" for none
};

const PlaceCase kPlaceCases[] = {
    // The documented way to run without saving: a folder without a file.
    {"an existing empty folder",
     [](const QString& base) {
         QDir().mkpath(base + QStringLiteral("/Varmolen"));
         return base + QStringLiteral("/Varmolen");
     },
     ""},
    // A regular file where a folder above it belongs: it cannot be made.
    {"a regular file above the folder",
     [](const QString& base) {
         QFile f(base + QStringLiteral("/home"));
         f.open(QIODevice::WriteOnly);
         f.write("x");
         return base + QStringLiteral("/home/.config/Varmolen");
     },
     "Not a directory"},
    // A regular file at the folder's own place is something there: left alone.
    {"a regular file at the folder's place",
     [](const QString& base) {
         QFile f(base + QStringLiteral("/Varmolen"));
         f.open(QIODevice::WriteOnly);
         f.write("x");
         return base + QStringLiteral("/Varmolen");
     },
     ""},
    // A link to nowhere at the folder's place is something there too.
    {"a dangling link at the folder's place",
     [](const QString& base) {
         QFile::link(base + QStringLiteral("/nowhere"), base + QStringLiteral("/Varmolen"));
         return base + QStringLiteral("/Varmolen");
     },
     ""},
};

TEST_F(FirstRunTest, AFolderThatExistsOrCannotBeMadeLeavesTheStartAsBefore)
{
    const ConfigValues startup = settingsStartedOn(QByteArray(), QStringLiteral("reference"));
    int n = 0;
    for (const PlaceCase& c : kPlaceCases) {
        SCOPED_TRACE(c.name);
        const QString base = installDir.filePath(QStringLiteral("case%1").arg(n++));
        ASSERT_TRUE(QDir().mkpath(base));
        const QString folder = c.prepare(base);
        const QStringList before = QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        auto form = openForm(folder);

        EXPECT_EQ(form->state().configFilePath[0], '\0');
        EXPECT_EQ(captureConfiguration(form->state()), startup);
        EXPECT_TRUE(form->host().recordedMessages().empty());  // no box
        if (*c.message == '\0') {
            EXPECT_EQ(message(*form), QString());
        } else {
            // One message a user understands: which folder, and why not.
            EXPECT_TRUE(message(*form).contains(folder)) << message(*form).toStdString();
            EXPECT_TRUE(message(*form).contains(QString::fromUtf8(c.message))) << message(*form).toStdString();
            EXPECT_TRUE(message(*form).contains(QStringLiteral("start-up settings")));
        }
        form.reset();
        // Nothing made, nothing written, at start or at exit.
        EXPECT_EQ(QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/Varmolen.cfg")));
    }
}

TEST_F(FirstRunTest, AFolderWhoseRecordCannotBeWrittenIsTakenBackAndSaidOnce)
{
    // The file size limit lets no byte of the record reach the disk; the
    // folders made for it are removed again, so the next start tries anew.
    const ConfigValues startup = settingsStartedOn(QByteArray(), QStringLiteral("reference"));
    const QString folder = installDir.filePath(QStringLiteral("home/.config/Varmolen"));
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = before;
    tight.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    auto form = openForm(folder);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(QFileInfo::exists(installDir.filePath(QStringLiteral("home"))));
    EXPECT_EQ(form->state().configFilePath[0], '\0');
    EXPECT_TRUE(message(*form).contains(QStringLiteral("Could not write the default settings")))
        << message(*form).toStdString();
    EXPECT_TRUE(message(*form).contains(folder));
    EXPECT_EQ(captureConfiguration(form->state()), startup);
    form.reset();
    EXPECT_FALSE(QFileInfo::exists(installDir.filePath(QStringLiteral("home"))));

    // The next start, where the disk takes the record, is a first start.
    form = openForm(folder);
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/Varmolen.cfg")),
              bytesOf(encodeConfiguration(defaultConfiguration())));
    EXPECT_EQ(message(*form), QString());
}

}  // namespace
}  // namespace varmolen
