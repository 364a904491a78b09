// Files the user saves (a picture of the window or the display, the exported
// display data) are written through a scratch file beside the chosen one and
// renamed into place only once whole, so a write that fails part way leaves
// any earlier file of that name as it was.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDevice;

namespace varmolen {

// What goes into such a file: writes it into the open scratch file and
// returns true, or says why it could not in `whyNot` and returns false.
using FileContent = std::function<bool(QFileDevice& file, QString& whyNot)>;

// Writes `content` to `path` through a scratch file. On failure `whyNot`
// says what went wrong.
bool writeThroughScratchFile(const QString& path, const FileContent& content, QString& whyNot);

// Writes text (bytes as they are) to `path` through a scratch file.
bool writeTextFile(const QByteArray& bytes, const QString& path, QString& whyNot);

}  // namespace varmolen
