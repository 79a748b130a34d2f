#include "host/settings_store.h"

#include "support/test_environment.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tarnlow;

TEST(SettingsStore, MissingValueLeavesTargetExactlyAsItWas) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    QString nullTarget;
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("Lang"), nullTarget));
    EXPECT_TRUE(nullTarget.isNull());

    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Other"), QStringLiteral("x")));
    QString kept = QStringLiteral("kept");
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("Lang"), kept));
    EXPECT_EQ(kept, QStringLiteral("kept"));
    EXPECT_FALSE(store.read(QStringLiteral("HKEY_CLASSES_ROOT\\.FUF"), QStringLiteral("Other"), kept));
    EXPECT_EQ(kept, QStringLiteral("kept"));
}

TEST(SettingsStore, EmptyValueIsReadAsEmptyNotMissing) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Lang"), QString()));
    QString target;
    ASSERT_TRUE(store.read(kSettingsKey, QStringLiteral("Lang"), target));
    EXPECT_FALSE(target.isNull());
    EXPECT_TRUE(target.isEmpty());
}

TEST(SettingsStore, EveryCharacterSurvivesExactly) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    QString awkward = QStringLiteral(" lead and trail \\ = [x] %41 中文 ");
    for (char16_t c = 0; c < 0x100; ++c)
        awkward += QChar(c);
    awkward += QChar(0xD800); // a lone surrogate as well
    const QList<QString> values{awkward, QStringLiteral("C:\\Game\\ "), QStringLiteral("1 "),
                                QStringLiteral("line\nbreak\r\n")};
    for (const QString& value : values) {
        ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("v"), value));
        QString back;
        ASSERT_TRUE(store.read(kSettingsKey, QStringLiteral("v"), back));
        EXPECT_EQ(back, value);
    }
    // Key paths and the unnamed default value.
    const QString key = QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE\\shell\\open\\command");
    ASSERT_TRUE(store.write(key, QString(), QStringLiteral("/opt/x/tarnlow_as %1")));
    QString command;
    ASSERT_TRUE(store.read(key, QString(), command));
    EXPECT_EQ(command, QStringLiteral("/opt/x/tarnlow_as %1"));
}

TEST(SettingsStore, FileIsOwnerOnlyAndValuesKeepTheirOrder) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("b"), QStringLiteral("2")));
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("a"), QStringLiteral("1")));
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("b"), QStringLiteral("3")));
    EXPECT_EQ(store.valueNames(kSettingsKey), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
    EXPECT_EQ(QFileInfo(scratch.registryPath()).permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST(SettingsStore, WriteToAnUnwritablePlaceFailsWithoutTouchingTarget) {
    SettingsStore store(QStringLiteral("/proc/no-such-folder/registry.ini"));
    EXPECT_FALSE(store.write(kSettingsKey, QStringLiteral("x"), QStringLiteral("y")));
    QString target = QStringLiteral("unchanged");
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("x"), target));
    EXPECT_EQ(target, QStringLiteral("unchanged"));
}

TEST(SettingsStore, NamesThatLookLikeCommentsOrSectionsSurvive) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    for (const QString& name : {QStringLiteral(";x"), QStringLiteral("[y]"), QStringLiteral("a=b")}) {
        ASSERT_TRUE(store.write(kSettingsKey, name, QStringLiteral("1")));
        ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("other"), QStringLiteral("2")));
        QString back;
        EXPECT_TRUE(store.read(kSettingsKey, name, back)) << name.toStdString();
        EXPECT_EQ(back, QStringLiteral("1"));
    }
}

TEST(SettingsStore, AKeyWrittenTwiceByHandIsReadAndWrittenAtTheSamePlace) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("registry.ini"),
                              "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\nLang=old.flf\n\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\nLang=older.flf\n"));
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("new.flf")));
    QString back;
    ASSERT_TRUE(store.read(kSettingsKey, QStringLiteral("Lang"), back));
    EXPECT_EQ(back, QStringLiteral("new.flf"));
}

TEST(SettingsStore, ProcessesWritingAtOnceKeepEachOthersValues) {
    test::ScratchFolder scratch;
    constexpr int processes = 4;
    constexpr int valuesEach = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store = SettingsStore::standard();
            bool ok = true;
            for (int i = 0; i < valuesEach; ++i)
                ok = store.write(kSettingsKey, QStringLiteral("p%1_%2").arg(p).arg(i), QString::number(i)) &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SettingsStore store = SettingsStore::standard();
    EXPECT_EQ(store.valueNames(kSettingsKey).size(), processes * valuesEach);
    for (int p = 0; p < processes; ++p) {
        for (int i = 0; i < valuesEach; ++i) {
            QString back;
            EXPECT_TRUE(store.read(kSettingsKey, QStringLiteral("p%1_%2").arg(p).arg(i), back));
            EXPECT_EQ(back, QString::number(i));
        }
    }
}
