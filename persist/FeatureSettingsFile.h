// Varmolen.ini: the feature settings (state/FeatureSettings.h) as an INI file
// that users and scripts can edit, beside Varmolen.cfg in the install
// directory. A missing or unreadable file, or a key that is absent or holds a
// value the instrument cannot use, gives that key's default; reading never
// fails and never reports.
#pragma once

#include <QString>

#include "state/FeatureSettings.h"

namespace varmolen {

// The install directory's Varmolen.ini.
QString featureSettingsPath();

FeatureSettings readFeatureSettings(const QString& path);

// Writes every key the way the settings record is written (a failed write
// leaves the earlier file whole). False when it could not be written.
bool writeFeatureSettings(const QString& path, const FeatureSettings& settings);

}  // namespace varmolen
