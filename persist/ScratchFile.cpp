#include "persist/ScratchFile.h"

#include <QSaveFile>

namespace varmolen {

bool writeThroughScratchFile(const QString& path, const FileContent& content, QString& whyNot)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        whyNot = file.errorString();
        return false;
    }
    if (!content(file, whyNot)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        whyNot = file.errorString();
        return false;
    }
    return true;
}

bool writeTextFile(const QByteArray& bytes, const QString& path, QString& whyNot)
{
    return writeThroughScratchFile(
        path,
        [&bytes](QFileDevice& file, QString& why) {
            if (file.write(bytes) == bytes.size())
                return true;
            why = file.errorString();
            return false;
        },
        whyNot);
}

}  // namespace varmolen
