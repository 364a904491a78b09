#include "persist/InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "persist/ConfigFile.h"

namespace varmolen {

namespace {

// The folder of the running binary. The command line is read before the
// application object exists (varmolen --help names the manual), and then the
// kernel's link to the binary tells it.
QString programDirectory()
{
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

// Makes the folder and every missing folder above it, each readable by the
// user alone (as the desktop's rules for settings folders ask). Lists the
// folders it made, outermost first; false with the reason when one could not
// be made.
bool makeFolders(const std::string& folder, std::vector<std::string>& made, std::string& whyNot)
{
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0700) == 0) {
            made.push_back(part);
        } else if (errno != EEXIST) {
            whyNot = part + ": " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos)
            return true;
    }
}

void removeFolders(const std::vector<std::string>& made)
{
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        ::rmdir(it->c_str());
}

}  // namespace

QString installDirectory()
{
    const QString overridden = qEnvironmentVariable("VARMOLEN_INSTALL_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Varmolen"));
}

QString configFileCandidate() { return installDirectory() + QStringLiteral("/Varmolen.cfg"); }

QString prepareFirstRun()
{
    const QString folder = installDirectory();
    const std::string path = QFile::encodeName(folder).toStdString();
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) == 0)
        return {};
    std::vector<std::string> made;
    std::string whyNot;
    if (!makeFolders(path, made, whyNot)) {
        removeFolders(made);
        return QStringLiteral(
                   "Could not make the settings folder %1 (%2); the instrument runs with its start-up "
                   "settings and saves nothing this time.")
            .arg(folder, QString::fromLocal8Bit(whyNot.c_str()));
    }
    // Another start that made the folder at the same moment writes the file.
    if (made.empty() || made.back() != path)
        return {};
    const ConfigRecord record = encodeConfiguration(defaultConfiguration());
    if (!writeConfigFileAtomically(path + "/Varmolen.cfg", record, whyNot)) {
        removeFolders(made);
        return QStringLiteral(
                   "Could not write the default settings into the settings folder %1 (%2); the "
                   "instrument runs with its start-up settings and saves nothing this time.")
            .arg(folder, QString::fromLocal8Bit(whyNot.c_str()));
    }
    return {};
}

QString helpFileCandidate()
{
    const QString name = QStringLiteral("/index.html");
    const QString overridden = qEnvironmentVariable("VARMOLEN_HELP_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden) + name;
    // Installed beside the binary's prefix: <prefix>/bin/varmolen and
    // <prefix>/share/varmolen/help/index.html (/usr/bin and /usr/share from
    // the package, wherever the build was configured to install).
    const QString besideBinary = QDir::cleanPath(programDirectory() + QStringLiteral("/../share/varmolen/help")) + name;
    const QStringList candidates = {besideBinary, QStringLiteral(VARMOLEN_INSTALLED_HELP_DIR) + name,
                                    QStringLiteral(VARMOLEN_SOURCE_HELP_DIR) + name};
    for (const QString& c : candidates)
        if (QFileInfo::exists(c))
            return c;
    return besideBinary;
}

}  // namespace varmolen
