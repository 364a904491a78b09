// Window tests run with their own install and help folders, so the user's
// settings are never read or written: the window looks for its files where
// VARMOLEN_INSTALL_DIR and VARMOLEN_HELP_DIR point while a test runs.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace varmolen::test {

class WindowTestFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(installDir.isValid());
        ASSERT_TRUE(helpDir.isValid());
        qputenv("VARMOLEN_INSTALL_DIR", installDir.path().toUtf8());
        qputenv("VARMOLEN_HELP_DIR", helpDir.path().toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("VARMOLEN_INSTALL_DIR");
        qunsetenv("VARMOLEN_HELP_DIR");
    }

    QTemporaryDir installDir;
    QTemporaryDir helpDir;
};

}  // namespace varmolen::test
