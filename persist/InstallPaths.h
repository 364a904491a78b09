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

// The first start of the program for a user. Settings persist only where a
// settings file is found at start, and a user who keeps the install folder
// without one keeps the start-up values unsaved on purpose; but a folder that
// does not exist at all means this user has not started the program before.
// A program installed from a package has no set-up step to prepare the
// folder, so the program does it itself: it makes the folder (and the folders
// above it that are missing, readable by the user alone) and writes the
// default settings record there, exactly what varmolen-default-config writes,
// so that the first picture is the working one and the settings persist from
// then on. Nothing is done when anything is at the folder's place already.
// Returns an empty text when all went well or nothing was to be done; else a
// message for the user with the folder and the reason, after removing the
// folders it made, so that the next start tries again and nothing half made
// stays behind.
QString prepareFirstRun();

}  // namespace varmolen
