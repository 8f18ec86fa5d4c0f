#include "core/error.h"
#include "core/paths.h"
#include "core/uuid.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;

TEST(Paths, LibraryFolderFollowsXdgWithAHomeFallback) {
    test::TempHome home;
    EXPECT_EQ(Paths::libraryFolder(), home.dataHome() + "/com.velmora.app");
    EXPECT_EQ(Paths::configFolder(), home.configHome() + "/com.velmora.app");
    EXPECT_EQ(QDir(Paths::temporaryFolder()).canonicalPath(), QDir(home.tempDir()).canonicalPath());
    qputenv("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(Paths::libraryFolder(), QDir::homePath() + "/.local/share/com.velmora.app");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Paths::libraryFolder(), QDir::homePath() + "/.local/share/com.velmora.app");
}

TEST(Paths, EnsureFolderCreatesOwnerOnlyAndRefusesFiles) {
    test::TempHome home;
    const QString nested = home.path() + "/a/b/c";
    Paths::ensureFolder(nested, true);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(nested).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing folder with wider permissions is narrowed.
    ::chmod(QFile::encodeName(nested).constData(), 0755);
    Paths::ensureFolder(nested, true);
    ::stat(QFile::encodeName(nested).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    test::writeFile(home.path() + "/file", "x");
    try {
        Paths::ensureFolder(home.path() + "/file");
        FAIL() << "a file is not a folder";
    } catch (const PosixError &e) {
        EXPECT_EQ(e.errnoValue(), ENOTDIR);
    }
}

TEST(Uuid, UpperCaseWithoutBracesAndRoundTrips) {
    const QString s = newUuidString();
    EXPECT_EQ(s.size(), 36);
    EXPECT_EQ(s, s.toUpper());
    EXPECT_FALSE(s.contains('{'));
    EXPECT_EQ(uuidString(parseUuid(s)), s);
    EXPECT_EQ(uuidString(parseUuid("{0f8fad5b-d9cb-469f-a165-70867728950e}")), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_TRUE(parseUuid("not a uuid").isNull());
    EXPECT_NE(newUuidString(), newUuidString());
}
