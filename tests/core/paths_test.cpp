#include "core/error.h"
#include "core/paths.h"
#include "core/uuid.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {
unsigned modeOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

int ensureFolderErrno(const QString &path) {
    try {
        Paths::ensureFolder(path);
    } catch (const PosixError &e) {
        return e.errnoValue();
    }
    return 0;
}
} // namespace

TEST(Paths, EnsureFolderGivesEachFolderItCreatesTheAccessAndLeavesExistingOnesAlone) {
    test::TempHome home;
    const mode_t oldMask = ::umask(022);
    struct Case {
        Paths::FolderAccess access;
        unsigned created;
    };
    for (const auto &c : {Case{Paths::FolderAccess::OwnerOnly, 0700}, Case{Paths::FolderAccess::Default, 0755}}) {
        SCOPED_TRACE(c.created);
        const QString existing = home.path() + QStringLiteral("/existing%1").arg(c.created);
        QDir().mkpath(existing);
        ::chmod(QFile::encodeName(existing).constData(), 0751);
        Paths::ensureFolder(existing + "/a/b/c", c.access);
        EXPECT_EQ(modeOf(existing), 0751u);
        for (const char *level : {"/a", "/a/b", "/a/b/c"})
            EXPECT_EQ(modeOf(existing + level), c.created) << level;
        // Again: nothing changes, nothing fails.
        ::chmod(QFile::encodeName(existing + "/a/b/c").constData(), 0750);
        Paths::ensureFolder(existing + "/a/b/c", c.access);
        EXPECT_EQ(modeOf(existing + "/a/b/c"), 0750u);
    }
    // A private folder stays private under a mask that would take the owner's own bits.
    ::umask(0277);
    Paths::ensureFolder(home.path() + "/masked/inner", Paths::FolderAccess::OwnerOnly);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(home.path() + "/masked"), 0700u);
    EXPECT_EQ(modeOf(home.path() + "/masked/inner"), 0700u);
}

TEST(Paths, EnsureFolderReportsWhatIsInTheWay) {
    test::TempHome home;
    test::writeFile(home.path() + "/file", "x");
    EXPECT_EQ(ensureFolderErrno(home.path() + "/file"), ENOTDIR);
    EXPECT_EQ(ensureFolderErrno(home.path() + "/file/below"), ENOTDIR);
    if (::geteuid() != 0) {
        QDir().mkpath(home.path() + "/locked");
        ::chmod(QFile::encodeName(home.path() + "/locked").constData(), 0500);
        EXPECT_EQ(ensureFolderErrno(home.path() + "/locked/inner"), EACCES);
        ::chmod(QFile::encodeName(home.path() + "/locked").constData(), 0700);
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
