// A file the user saves (a picture, the exported display data) goes through a
// scratch file: when what goes into it fails part way, the earlier file of
// that name is kept whole, nothing is left beside it, and the reason shown is
// the one the content gave.
#include "persist/ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace varmolen {
namespace {

TEST(ScratchFile, AWriteThatFailsPartWayKeepsTheEarlierFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("display.csv");
    {
        QFile earlier(path);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        ASSERT_EQ(earlier.write("earlier rows\n"), 13);
    }

    QString whyNot;
    const bool written = writeThroughScratchFile(
        path,
        [](QFileDevice& file, QString& why) {
            file.write("half of the new rows");
            why = QStringLiteral("the content ran out");
            return false;
        },
        whyNot);

    EXPECT_FALSE(written);
    EXPECT_EQ(whyNot, QStringLiteral("the content ran out"));
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("earlier rows\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"display.csv"});
}

}  // namespace
}  // namespace varmolen
