#include "persist/InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace varmolen {

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
    // <prefix>/share/varmolen/help/index.html.
    const QString besideBinary =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/varmolen/help")) + name;
    const QStringList candidates = {besideBinary, QStringLiteral(VARMOLEN_INSTALLED_HELP_DIR) + name,
                                    QStringLiteral(VARMOLEN_SOURCE_HELP_DIR) + name};
    for (const QString& c : candidates)
        if (QFileInfo::exists(c))
            return c;
    return besideBinary;
}

}  // namespace varmolen
