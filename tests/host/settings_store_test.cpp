#include "host/settings_store.h"

#include "support/failing_output_file.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnlow;

TEST(SettingsStore, MissingValueIsNoValue) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("Lang")));

    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Other"), QStringLiteral("x")));
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("Lang")));
    EXPECT_FALSE(store.read(QStringLiteral("HKEY_CLASSES_ROOT\\.FUF"), QStringLiteral("Other")));
}

TEST(SettingsStore, EmptyValueIsReadAsEmptyNotMissing) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Lang"), QString()));
    const std::optional<QString> target = store.read(kSettingsKey, QStringLiteral("Lang"));
    ASSERT_TRUE(target);
    EXPECT_FALSE(target->isNull());
    EXPECT_TRUE(target->isEmpty());
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
        EXPECT_EQ(store.read(kSettingsKey, QStringLiteral("v")), std::optional<QString>(value));
    }
    // Key paths and the unnamed default value.
    const QString key = QStringLiteral("HKEY_CLASSES_ROOT\\FERNLAKE_UPDATE_FILE\\shell\\open\\command");
    ASSERT_TRUE(store.write(key, QString(), QStringLiteral("/opt/x/tarnlow_as %1")));
    EXPECT_EQ(store.read(key, QString()), std::optional<QString>(QStringLiteral("/opt/x/tarnlow_as %1")));
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

TEST(SettingsStore, WriteToAnUnwritablePlaceFailsWithTheReason) {
    SettingsStore store(QStringLiteral("/proc/no-such-folder/registry.ini"));
    const Result<void> written = store.write(kSettingsKey, QStringLiteral("x"), QStringLiteral("y"));
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().contains(QStringLiteral("/proc/no-such-folder")))
        << written.error().toStdString();
    EXPECT_FALSE(store.read(kSettingsKey, QStringLiteral("x")));
}

TEST(SettingsStore, NamesThatLookLikeCommentsOrSectionsSurvive) {
    test::ScratchFolder scratch;
    SettingsStore store = SettingsStore::standard();
    for (const QString& name : {QStringLiteral(";x"), QStringLiteral("[y]"), QStringLiteral("a=b")}) {
        ASSERT_TRUE(store.write(kSettingsKey, name, QStringLiteral("1")));
        ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("other"), QStringLiteral("2")));
        EXPECT_EQ(store.read(kSettingsKey, name), std::optional<QString>(QStringLiteral("1")))
            << name.toStdString();
    }
}

TEST(SettingsStore, AKeyWrittenTwiceByHandIsReadAndWrittenAtTheSamePlace) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("registry.ini"),
                              "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\nLang=old.flf\n\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Tarnlow_As]\nLang=older.flf\n"));
    SettingsStore store = SettingsStore::standard();
    ASSERT_TRUE(store.write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("new.flf")));
    EXPECT_EQ(store.read(kSettingsKey, QStringLiteral("Lang")),
              std::optional<QString>(QStringLiteral("new.flf")));
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
            EXPECT_EQ(store.read(kSettingsKey, QStringLiteral("p%1_%2").arg(p).arg(i)),
                      std::optional<QString>(QString::number(i)));
        }
    }
}

// A write that cannot complete (the disk fills up at any point, or the final rename fails) reports
// the file and the reason and leaves the file as it was: every value, line and byte.
TEST(SettingsStore, AFailedWriteLeavesTheFileAndEveryValueAsTheyWere) {
    test::ScratchFolder scratch;
    const QString path = SettingsStore::standardFilePath();
    SettingsStore store(path);
    ASSERT_TRUE(store.writeValues(kSettingsKey, {{QStringLiteral("Comp_ID"), QStringLiteral("7")},
                                                 {QStringLiteral("DBMS"), QStringLiteral("SQLite")},
                                                 {QStringLiteral("database"), QStringLiteral("old.db")}}));
    const QByteArray before = scratch.read(QFileInfo(path).fileName());
    ASSERT_FALSE(before.isEmpty());

    const QList<QPair<QString, QString>> change{{QStringLiteral("DBMS"), QStringLiteral("PostgreSQL")},
                                                {QStringLiteral("database"), QStringLiteral("new_database")}};
    // The size the changed file has, from a copy written without a failure.
    ASSERT_TRUE(scratch.write(QStringLiteral("copy.ini"), before));
    ASSERT_TRUE(SettingsStore(scratch.file(QStringLiteral("copy.ini"))).writeValues(kSettingsKey, change));
    const qint64 newSize = QFileInfo(scratch.file(QStringLiteral("copy.ini"))).size();
    for (const qint64 full : {qint64(0), qint64(1), newSize / 2, newSize - 1, qint64(-1)}) {
        SCOPED_TRACE(full);
        auto plan = std::make_shared<test::OutputFailurePlan>();
        plan->bytesBeforeFull = full;
        plan->failAtCommit = full < 0;
        SettingsStore failing(path, test::failingOutputFiles(plan));
        const Result<void> written = failing.writeValues(kSettingsKey, change);
        ASSERT_FALSE(written.ok());
        EXPECT_TRUE(written.error().contains(path)) << written.error().toStdString();
        EXPECT_TRUE(written.error().contains(full < 0 ? test::kCommitFailedText : test::kDiskFullText))
            << written.error().toStdString();
        EXPECT_EQ(plan->filesOpened, 1);
        EXPECT_EQ(scratch.read(QFileInfo(path).fileName()), before);
        EXPECT_EQ(store.read(kSettingsKey, QStringLiteral("DBMS")), QStringLiteral("SQLite"));
        EXPECT_EQ(store.read(kSettingsKey, QStringLiteral("Comp_ID")), QStringLiteral("7"));
        const QStringList leftovers = QDir(QFileInfo(path).absolutePath())
                                          .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                                          .filter(QFileInfo(path).fileName() + QLatin1Char('.'));
        EXPECT_EQ(leftovers, QStringList{QFileInfo(path).fileName() + QStringLiteral(".lock")});
    }
    EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

// The folders a write makes are their owner's alone, so that no other user can put a settings
// file of their own in place; the check before long work says why a write could not go through.
TEST(SettingsStore, MissingFoldersAreOwnerOnlyAndTheWriteCheckSaysWhy) {
    test::ScratchFolder scratch;
    const QString path = scratch.file(QStringLiteral("made/deeper/registry.ini"));
    const mode_t previous = ::umask(0);
    const Result<void> checked = SettingsStore(path).checkWritable();
    const Result<void> written =
        SettingsStore(path).write(kSettingsKey, QStringLiteral("x"), QStringLiteral("1"));
    ::umask(previous);
    ASSERT_TRUE(checked) << checked.error().toStdString();
    ASSERT_TRUE(written) << written.error().toStdString();
    for (const QString& folder :
         {scratch.file(QStringLiteral("made")), scratch.file(QStringLiteral("made/deeper"))}) {
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u) << folder.toStdString();
    }

    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("locked/registry.ini.lock")));
    const Result<void> locked =
        SettingsStore(scratch.file(QStringLiteral("locked/registry.ini"))).checkWritable();
    ASSERT_FALSE(locked);
    EXPECT_TRUE(locked.error().contains(QStringLiteral("cannot be locked"))) << locked.error().toStdString();
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("blocked/registry.ini")));
    EXPECT_FALSE(SettingsStore(scratch.file(QStringLiteral("blocked/registry.ini"))).checkWritable());
    // The check itself leaves nothing but the lock file.
    EXPECT_EQ(QDir(scratch.file(QStringLiteral("made/deeper"))).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("registry.ini"), QStringLiteral("registry.ini.lock")}));
}
