#include "core/defaults.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace velmora;

namespace {
struct DefaultsTest : ::testing::Test {
    test::TempHome home;
    QString file() const { return home.configHome() + "/com.velmora.app/defaults.json"; }
};
} // namespace

TEST_F(DefaultsTest, StandardPathIsUnderTheConfigHome) {
    EXPECT_EQ(Defaults::standardFilePath(), file());
}

TEST_F(DefaultsTest, EveryTypeSurvivesAReload) {
    {
        Defaults d(file());
        d.setBool("flag", true);
        d.setInteger("big", 9007199254740993LL); // past 2^53: must not round
        d.setReal("ratio", 1.0);                 // a whole real stays a real
        d.setString("name", QString::fromUtf8("日本語 \"quoted\""));
        d.setStringList("list", {"a", "", "c"});
        d.setData("blob", QByteArray("\x00\x01\xff", 3));
        EXPECT_TRUE(d.lastSaveSucceeded());
    }
    Defaults d(file());
    EXPECT_EQ(d.storedType("flag"), Defaults::Type::Bool);
    EXPECT_TRUE(d.boolValue("flag"));
    EXPECT_EQ(d.integer("big"), 9007199254740993LL);
    EXPECT_EQ(d.storedType("ratio"), Defaults::Type::Real);
    EXPECT_DOUBLE_EQ(d.real("ratio"), 1.0);
    EXPECT_EQ(d.string("name"), QString::fromUtf8("日本語 \"quoted\""));
    EXPECT_EQ(d.stringList("list"), (QStringList{"a", "", "c"}));
    EXPECT_EQ(d.data("blob"), QByteArray("\x00\x01\xff", 3));
    EXPECT_FALSE(d.contains("missing"));
    EXPECT_EQ(d.integer("missing", 7), 7);
    // A read of the wrong type gives the fallback rather than garbage.
    EXPECT_EQ(d.stringList("flag", {"x"}), QStringList{"x"});
    EXPECT_EQ(d.data("name", "fb"), QByteArray("fb"));
}

TEST_F(DefaultsTest, ChangesSignalAndRemovalPersists) {
    Defaults d(file());
    QSignalSpy spy(&d, &Defaults::changed);
    d.setString("k", "v");
    d.setString("k", "v"); // same value: no change
    d.flush();
    EXPECT_TRUE(Defaults(file()).contains("k"));
    d.remove("k");
    d.flush();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), "k");
    EXPECT_FALSE(Defaults(file()).contains("k"));
}

TEST_F(DefaultsTest, DamagedFileLoadsEmptyAndIsKeptAside) {
    test::writeFile(file(), "{ this is not json");
    Defaults d(file());
    EXPECT_FALSE(d.contains("anything"));
    EXPECT_EQ(test::readFile(file() + ".damaged"), QByteArray("{ this is not json"));
    d.setBool("fresh", true);
    d.flush();
    EXPECT_TRUE(Defaults(file()).boolValue("fresh"));
}

TEST_F(DefaultsTest, EntriesFromAnotherVersionAreSkippedOneByOne) {
    test::writeFile(file(), R"({"version": 9, "values": {
        "good": {"type": "string", "value": "kept"},
        "future": {"type": "colour", "value": "#fff"},
        "wrong": {"type": "bool", "value": "yes"},
        "notObject": 5,
        "count": {"type": "integer", "value": 12}
    }})");
    Defaults d(file());
    EXPECT_EQ(d.string("good"), "kept");
    EXPECT_FALSE(d.contains("future"));
    EXPECT_FALSE(d.contains("wrong"));
    EXPECT_FALSE(d.contains("notObject"));
    EXPECT_EQ(d.integer("count"), 12);
}

TEST_F(DefaultsTest, ArgumentsOverlayWithoutBeingSaved) {
    Defaults d(file());
    d.setString("page", "home");
    d.setBool("flag", false);
    d.setArguments({"velmora", "-page", "history", "-flag", "YES", "-count", "3", "--ignored", "x", "-dangling"});
    EXPECT_EQ(d.string("page"), "history");
    EXPECT_TRUE(d.boolValue("flag"));
    EXPECT_EQ(d.integer("count"), 3);
    EXPECT_TRUE(d.contains("count"));
    EXPECT_FALSE(d.contains("ignored"));
    EXPECT_FALSE(d.argument("dangling").has_value());
    d.flush();
    Defaults reread(file());
    EXPECT_EQ(reread.string("page"), "home");
    EXPECT_FALSE(reread.contains("count"));
}

TEST_F(DefaultsTest, WritesAreAtomicAndAFailedWriteIsReported) {
    {
        Defaults d(file());
        for (int i = 0; i < 20; ++i)
            d.setInteger("n", i);
    }
    // Only the finished file is left: no temporary files beside it.
    EXPECT_EQ(QDir(home.configHome() + "/com.velmora.app").entryList(QDir::Files | QDir::Hidden),
              QStringList{"defaults.json"});
    EXPECT_EQ(Defaults(file()).integer("n"), 19);

    // A folder standing where the file should be: the save fails, nothing is damaged.
    const QString blocked = home.path() + "/blocked/defaults.json";
    QDir().mkpath(blocked + "/inside");
    Defaults d(blocked);
    d.setString("k", "v");
    d.flush();
    EXPECT_FALSE(d.lastSaveSucceeded());
    EXPECT_EQ(d.string("k"), "v");
    EXPECT_TRUE(QDir(blocked + "/inside").exists());
}

TEST_F(DefaultsTest, ChangesAreWrittenTogetherAfterAShortWhileAndAtOnceWhenFlushedOrAtQuit) {
    Defaults d(file());
    for (int i = 0; i < 50; ++i)
        d.setInteger("n", i);
    d.setString("name", "last");
    // Nothing is written per change: the file appears once the gathered changes are saved.
    EXPECT_FALSE(QFile::exists(file()));
    EXPECT_TRUE(d.hasUnsavedChanges());
    ASSERT_TRUE(test::waitUntil([&] { return !d.hasUnsavedChanges(); }));
    EXPECT_EQ(Defaults(file()).integer("n"), 49);
    EXPECT_EQ(Defaults(file()).string("name"), "last");

    d.setString("name", "flushed");
    d.flush();
    EXPECT_FALSE(d.hasUnsavedChanges());
    EXPECT_EQ(Defaults(file()).string("name"), "flushed");

    d.setString("name", "at quit");
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    EXPECT_FALSE(d.hasUnsavedChanges());
    EXPECT_EQ(Defaults(file()).string("name"), "at quit");

    // A store destroyed with changes pending writes them.
    {
        Defaults other(file());
        other.setString("name", "destroyed");
    }
    EXPECT_EQ(Defaults(file()).string("name"), "destroyed");
}

namespace {
const velmora::SettingKey<bool> kFlag{QStringLiteral("flag"), true};
const velmora::SettingKey<qint64> kCount{QStringLiteral("count"), 7};
const velmora::SettingKey<QStringList> kNames{QStringLiteral("names"), {QStringLiteral("a")}};
} // namespace

TEST(DefaultsKeyTest, DeclaredKeysReadTheirDefaultThenTheStoredValueThenTheArgument) {
    velmora::Defaults defaults{QString()};
    EXPECT_TRUE(defaults.get(kFlag));
    EXPECT_EQ(defaults.get(kCount), 7);
    EXPECT_EQ(defaults.get(kNames), QStringList{QStringLiteral("a")});
    EXPECT_FALSE(defaults.isStored(kCount));

    defaults.set(kFlag, false);
    defaults.set(kCount, qint64(1) << 60);
    EXPECT_FALSE(defaults.get(kFlag));
    EXPECT_EQ(defaults.get(kCount), qint64(1) << 60);
    EXPECT_TRUE(defaults.isStored(kCount));

    // A value stored under the key's name with another type is not the key's own.
    defaults.setString(kNames.name, QStringLiteral("x"));
    EXPECT_FALSE(defaults.isStored(kNames));
    EXPECT_EQ(defaults.get(kNames), QStringList{QStringLiteral("a")});

    defaults.setArguments({QStringLiteral("app"), QStringLiteral("-count"), QStringLiteral("3")});
    EXPECT_EQ(defaults.get(kCount), 3);
    defaults.reset(kFlag);
    EXPECT_TRUE(defaults.get(kFlag));
}

TEST(DefaultsKeyTest, StoredOrDefaultTakesOnlyTheKeysOwnKindAndUpdateStoresEveryTime) {
    velmora::Defaults defaults{QString()};
    // A value of another kind under the key's name is as good as missing; an argument counts.
    defaults.setString(kFlag.name, QStringLiteral("false"));
    EXPECT_TRUE(defaults.storedOrDefault(kFlag));
    defaults.setBool(kFlag.name, false);
    EXPECT_FALSE(defaults.storedOrDefault(kFlag));
    EXPECT_EQ(defaults.storedOrDefault(kCount), 7);
    defaults.setArguments({QStringLiteral("app"), QStringLiteral("-count"), QStringLiteral("3")});
    EXPECT_EQ(defaults.storedOrDefault(kCount), 3);

    // The same value chosen again is stored again, and reported as no change.
    bool mirror = true;
    defaults.remove(kFlag.name);
    EXPECT_FALSE(defaults.update(kFlag, mirror, true));
    EXPECT_TRUE(defaults.isStored(kFlag));
    EXPECT_TRUE(defaults.update(kFlag, mirror, false));
    EXPECT_FALSE(mirror);
    EXPECT_FALSE(defaults.get(kFlag));
    // A mirror of another type than its stored form.
    int count = 1;
    EXPECT_TRUE(defaults.update(kNames, QStringList{QStringLiteral("two")}, count, 2));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(defaults.get(kNames), QStringList{QStringLiteral("two")});
}
