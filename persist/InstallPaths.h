// Where the instrument finds its files. The install directory is per user:
// the generic configuration location plus "Varmolen" (normally
// ~/.config/Varmolen/); it holds Varmolen.cfg. The help document is installed
// with the program and is also found from the build tree. Tests point the
// program elsewhere through VARMOLEN_INSTALL_DIR and VARMOLEN_HELP_DIR, so
// they never touch the user's own settings.
#pragma once

#include <QString>

namespace varmolen {

QString installDirectory();     // without a trailing slash
QString configFileCandidate();  // installDirectory() + "/Varmolen.cfg"
QString helpFileCandidate();    // the first help document that exists, or the installed path

}  // namespace varmolen
