#include "persist/InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
