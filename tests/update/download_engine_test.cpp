#include "download_database.h"

#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "support/failing_output_file.h"
#include "support/test_environment.h"
#include "update/download_engine.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

class DownloadEngineTest : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override {
        database = std::make_unique<DownloadDatabase>(GetParam(), scratch);
        if (!database->error().isEmpty())
            FAIL() << database->error().toStdString();
        if (!database->skipReason().isEmpty())
            GTEST_SKIP() << database->skipReason().toStdString();
        ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("program")));
        folder = scratch.file(QStringLiteral("program")) + QLatin1Char('/');
    }

    QString compId() const {
        QString value = QStringLiteral("<absent>");
        value = settings.read(kSettingsKey, kInstalledComponentName).value_or(value);
        return value;
    }
    void setCompId(const QString& value) {
        ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, value));
    }
    QByteArray fileBytes(const QString& name) const {
        QFile file(folder + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList folderEntries() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    DownloadOutcome run(QList<DownloadProgress>* progress = nullptr) {
        DownloadEngine engine(database->sqlca(), settings, folder);
        const auto rows = engine.pendingRows();
        EXPECT_TRUE(rows.ok()) << rows.error().toStdString();
        if (!rows)
            return {};
        return engine.download(*rows, [progress](const DownloadProgress& step) {
            if (progress)
                progress->append(step);
        });
    }

    ScratchFolder scratch;
    SettingsStore settings = SettingsStore::standard();
    std::unique_ptr<DownloadDatabase> database;
    QString folder;
};

TEST_P(DownloadEngineTest, WithoutCompIdWritesEveryFileWholeAndRecordsTheHighestComponent) {
    // The two piece-boundary sizes and a file past 64 KB, which a cut image column would damage.
    const QByteArray first = patternBytes(32765, 1);
    const QByteArray second = patternBytes(65531, 2);
    const QByteArray third = patternBytes(70000, 3);
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("a.dll"), first);
    database->insert(QStringLiteral("1.0"), 3, 2, QStringLiteral("b.dll"), second);
    database->insert(QStringLiteral("1.1"), 4, 1, QStringLiteral("c.dat"), third);

    QList<DownloadProgress> progress;
    const DownloadOutcome outcome = run(&progress);

    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), first);
    EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), second);
    EXPECT_EQ(fileBytes(QStringLiteral("c.dat")), third);
    EXPECT_EQ(compId(), QStringLiteral("4"));
    // Nothing but the targets is left in the folder (no temporary files).
    EXPECT_EQ(folderEntries(),
              (QStringList{QStringLiteral("a.dll"), QStringLiteral("b.dll"), QStringLiteral("c.dat")}));

    ASSERT_EQ(progress.size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(progress.at(i).row, i / 2 + 1);
        EXPECT_EQ(progress.at(i).rowCount, 3);
        EXPECT_DOUBLE_EQ(progress.at(i).fraction, (i + 1) / 6.0);
    }
    EXPECT_EQ(progress.at(0).stage, DownloadProgress::Stage::Fetching);
    EXPECT_EQ(progress.at(1).stage, DownloadProgress::Stage::Written);
    EXPECT_EQ(progress.at(5).targetPath, folder + QStringLiteral("c.dat"));
}

TEST_P(DownloadEngineTest, ByteObserverSeesEveryPieceAndCanStopWithTheOldFileKept) {
    const QByteArray first = patternBytes(3 * static_cast<int>(kBlobPieceSize) + 5, 4);
    const QByteArray second = patternBytes(1000, 5);
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("a.dll"), first);
    database->insert(QStringLiteral("1.0"), 3, 2, QStringLiteral("b.dll"), second);
    QFile old(folder + QStringLiteral("a.dll"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();

    // Stopped in the middle of the first file: it keeps its old bytes, no temporary file stays and
    // Comp_ID is not written.
    DownloadEngine engine(database->sqlca(), settings, folder);
    const auto rows = engine.pendingRows();
    ASSERT_TRUE(rows.ok());
    QList<DownloadBytes> seen;
    DownloadObserver stopping;
    stopping.bytes = [&](const DownloadBytes& step) -> Result<void> {
        seen.append(step);
        if (step.rowDone > kBlobPieceSize)
            return Error{QStringLiteral("cancelled by the operator")};
        return {};
    };
    const DownloadOutcome stopped = engine.download(*rows, stopping);
    EXPECT_EQ(stopped.result, -1);
    ASSERT_TRUE(stopped.failure);
    EXPECT_TRUE(stopped.failure->parameters.join(QLatin1Char(' ')).contains(QStringLiteral("cancelled")));
    EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), QByteArray("old"));
    EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("a.dll")});
    EXPECT_EQ(compId(), QStringLiteral("<absent>"));
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen.at(0).rowSize, first.size());
    EXPECT_EQ(seen.at(0).totalOfAll, first.size() + second.size());

    // Run to the end: the counts add up to every byte of every file.
    seen.clear();
    DownloadObserver counting;
    counting.bytes = [&](const DownloadBytes& step) -> Result<void> {
        seen.append(step);
        return {};
    };
    const DownloadOutcome done = engine.download(*rows, counting);
    ASSERT_FALSE(done.failure) << messageText(*done.failure).toStdString();
    EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), first);
    EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), second);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last().row, 2);
    EXPECT_EQ(seen.last().rowDone, second.size());
    EXPECT_EQ(seen.last().doneOfAll, first.size() + second.size());
    EXPECT_EQ(seen.last().doneOfAll, seen.last().totalOfAll);
}

TEST_P(DownloadEngineTest, NothingNewerWritesNothingAndKeepsCompId) {
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("a.dll"), QByteArray("two"));
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("b.dll"), QByteArray("three"));
    setCompId(QStringLiteral("3"));

    DownloadEngine engine(database->sqlca(), settings, folder);
    const auto rows = engine.pendingRows();
    ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
    EXPECT_TRUE(rows->isEmpty());
    const DownloadOutcome outcome = engine.download(*rows);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_FALSE(outcome.recordedComponent);
    EXPECT_TRUE(folderEntries().isEmpty());
    EXPECT_EQ(compId(), QStringLiteral("3"));

    // Only newer components are listed.
    setCompId(QStringLiteral("2"));
    const auto newer = engine.pendingRows();
    ASSERT_TRUE(newer.ok());
    ASSERT_EQ(newer->size(), 1);
    EXPECT_EQ(newer->first().componentNumber, 3);
}

TEST_P(DownloadEngineTest, NewerComponentWinsWhateverOrderTheRowsWereStoredIn) {
    database->insert(QStringLiteral("2.0"), 6, 1, QStringLiteral("same.dll"), QByteArray("component six"));
    database->insert(QStringLiteral("1.0"), 5, 2, QStringLiteral("other.dll"), QByteArray("five, second"));
    database->insert(QStringLiteral("1.0"), 5, 1, QStringLiteral("same.dll"), QByteArray("component five"));

    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_EQ(fileBytes(QStringLiteral("same.dll")), QByteArray("component six"));
    EXPECT_EQ(fileBytes(QStringLiteral("other.dll")), QByteArray("five, second"));
    EXPECT_EQ(compId(), QStringLiteral("6"));
    EXPECT_EQ(outcome.writtenPaths,
              (QStringList{folder + QStringLiteral("same.dll"), folder + QStringLiteral("other.dll"),
                           folder + QStringLiteral("same.dll")}));
}

TEST_P(DownloadEngineTest, PackagesSharingAComponentNumberKeepTheirOwnFiles) {
    database->insert(QStringLiteral("1.0"), 7, 1, QStringLiteral("old.dll"), QByteArray("from 1.0"));
    database->insert(QStringLiteral("1.1"), 7, 1, QStringLiteral("new.dll"), QByteArray("from 1.1"));

    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_EQ(fileBytes(QStringLiteral("old.dll")), QByteArray("from 1.0"));
    EXPECT_EQ(fileBytes(QStringLiteral("new.dll")), QByteArray("from 1.1"));
    EXPECT_EQ(compId(), QStringLiteral("7"));
}

TEST_P(DownloadEngineTest, ExistingFileIsReplacedAndTrailingBlanksOfTheNameAreDropped) {
    ASSERT_TRUE(scratch.write(QStringLiteral("program/lib.dll"), QByteArray(100000, 'o')));
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("lib.dll   "), QByteArray("new library"));
    database->insert(QStringLiteral("1.0"), 1, 2, QStringLiteral("  lead.txt"),
                     QByteArray("leading blanks stay"));
    setCompId(QStringLiteral("not a number"));

    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_EQ(fileBytes(QStringLiteral("lib.dll")), QByteArray("new library"));
    EXPECT_EQ(fileBytes(QStringLiteral("  lead.txt")), QByteArray("leading blanks stay"));
    EXPECT_EQ(folderEntries(), (QStringList{QStringLiteral("  lead.txt"), QStringLiteral("lib.dll")}));
    EXPECT_EQ(compId(), QStringLiteral("1"));
}

TEST_P(DownloadEngineTest, SymbolicLinkInTheFolderIsReplacedNotWrittenThrough) {
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("outside")));
    ASSERT_TRUE(scratch.write(QStringLiteral("outside/victim.txt"), QByteArray("keep me")));
    const QString victim = scratch.file(QStringLiteral("outside/victim.txt"));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("lib.dll")));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("lib.dll.tarnlow-download")));
    ASSERT_TRUE(QFile::link(scratch.file(QStringLiteral("nowhere")), folder + QStringLiteral("gone.dll")));
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("lib.dll"), QByteArray("new library"));
    database->insert(QStringLiteral("1.0"), 1, 2, QStringLiteral("gone.dll"), QByteArray("was dangling"));

    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << outcome.failure->parameters.join(QStringLiteral(" | ")).toStdString();
    QFile kept(victim);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    for (const QString& name : {QStringLiteral("lib.dll"), QStringLiteral("gone.dll")}) {
        const QFileInfo written(folder + name);
        EXPECT_FALSE(written.isSymLink()) << name.toStdString();
        EXPECT_TRUE(written.isFile()) << name.toStdString();
    }
    EXPECT_EQ(fileBytes(QStringLiteral("lib.dll")), QByteArray("new library"));
    EXPECT_EQ(fileBytes(QStringLiteral("gone.dll")), QByteArray("was dangling"));
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("nowhere"))));
    EXPECT_EQ(folderEntries(), (QStringList{QStringLiteral("gone.dll"), QStringLiteral("lib.dll")}));
    EXPECT_EQ(compId(), QStringLiteral("1"));
}

TEST_P(DownloadEngineTest, NullContentStopsWithFilesWrittenSoFarAndCompIdUnchanged) {
    ASSERT_TRUE(scratch.write(QStringLiteral("program/b.dll"), QByteArray("old b")));
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b.dll"), std::nullopt);
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("c.dll"), QByteArray("c"));
    setCompId(QStringLiteral("0"));

    const DownloadOutcome outcome = run();
    EXPECT_EQ(outcome.result, -1);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->number, kMessageDownloadNullContent);
    EXPECT_EQ(outcome.failure->parameters.value(0), folder + QStringLiteral("b.dll"));
    EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), QByteArray("a"));
    EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), QByteArray("old b"));
    EXPECT_EQ(fileBytes(QStringLiteral("c.dll")), QByteArray("<missing>"));
    EXPECT_EQ(compId(), QStringLiteral("0"));
}

TEST_P(DownloadEngineTest, RowThatVanishedOrCannotBeFetchedStopsTheDownload) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 1, 2, QStringLiteral("b.dll"), QByteArray("b"));

    DownloadEngine engine(database->sqlca(), settings, folder);
    const auto rows = engine.pendingRows();
    ASSERT_TRUE(rows.ok());
    database->remove(QStringLiteral("1.0"), 1, 2);
    DownloadOutcome outcome = engine.download(*rows);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->number, kMessageDownloadRowMissing);
    EXPECT_EQ(outcome.failure->parameters,
              (QStringList{folder + QStringLiteral("b.dll"), QStringLiteral("1.0"), QStringLiteral("1"),
                           QStringLiteral("2")}));
    // The file of the first row is not written again in place of the missing one.
    EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), QByteArray("<missing>"));
    EXPECT_EQ(compId(), QStringLiteral("<absent>"));

    // A database failure while fetching names the file and the database's reason.
    ASSERT_GE(database->sqlca().execute(QStringLiteral("DROP TABLE t_sys_ver")), 0);
    outcome = engine.download(*rows);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->number, kMessageDownloadFetchFailed);
    EXPECT_EQ(outcome.failure->parameters.value(0), folder + QStringLiteral("a.dll"));
    EXPECT_FALSE(outcome.failure->parameters.value(1).isEmpty());
    EXPECT_EQ(compId(), QStringLiteral("<absent>"));
}

TEST_P(DownloadEngineTest, NamesThatAreNotPlainFileNamesAreRefused) {
    const QStringList names{QStringLiteral("../x"), QStringLiteral("a/b"),         QStringLiteral(".."),
                            QStringLiteral("a\\b"), QStringLiteral("bad\x01name"), QStringLiteral("   ")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        database->remove(QStringLiteral("1.0"), 1, 1);
        database->insert(QStringLiteral("1.0"), 1, 1, name, QByteArray("payload"));
        const DownloadOutcome outcome = run();
        EXPECT_EQ(outcome.result, -1);
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->number, kMessageDownloadNameRefused);
        EXPECT_TRUE(outcome.writtenPaths.isEmpty());
        EXPECT_EQ(compId(), QStringLiteral("<absent>"));
    }
    EXPECT_TRUE(folderEntries().isEmpty());
    EXPECT_FALSE(QFile::exists(scratch.file(QStringLiteral("x"))));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("a")));
}

TEST_P(DownloadEngineTest, TargetThatCannotBeWrittenStopsAndLeavesEverythingElseAsItWas) {
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("taken.dll")));
    ASSERT_TRUE(scratch.write(QStringLiteral("program/c.dll"), QByteArray("old c")));
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("taken.dll"), QByteArray("cannot land"));
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("c.dll"), QByteArray("new c"));

    const DownloadOutcome outcome = run();
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->number, kMessageDownloadWriteFailed);
    EXPECT_EQ(outcome.failure->parameters.value(0), folder + QStringLiteral("taken.dll"));
    EXPECT_FALSE(outcome.failure->parameters.value(1).isEmpty());
    EXPECT_TRUE(messageText(*outcome.failure).contains(folder + QStringLiteral("taken.dll")));
    EXPECT_EQ(outcome.writtenPaths, QStringList{folder + QStringLiteral("a.dll")});
    EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), QByteArray("a"));
    EXPECT_EQ(fileBytes(QStringLiteral("c.dll")), QByteArray("old c"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("taken.dll")).isDir());
    EXPECT_EQ(compId(), QStringLiteral("<absent>"));
    EXPECT_EQ(folderEntries(),
              (QStringList{QStringLiteral("a.dll"), QStringLiteral("c.dll"), QStringLiteral("taken.dll")}));
}

// A full disk in the middle of a file, or a final rename that fails, stops the download with the
// system's reason: that file keeps its old content, no temporary file stays, the files after it
// are not touched and Comp_ID keeps its value.
TEST_P(DownloadEngineTest, FullDiskOrFailedCommitKeepsTheOldFileAndCompIdWhereItWas) {
    const QByteArray a = patternBytes(100, 1);
    const QByteArray b = patternBytes(3 * static_cast<int>(kBlobPieceSize) + 7, 2);
    const QByteArray c = patternBytes(10, 3);
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), a);
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b.dll"), b);
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("c.dll"), c);
    const auto putOldFiles = [&] {
        for (const char* name : {"a.dll", "b.dll", "c.dll"})
            ASSERT_TRUE(
                scratch.write(QStringLiteral("program/") + QLatin1String(name), QByteArray("old ") + name));
    };
    const QStringList names{QStringLiteral("a.dll"), QStringLiteral("b.dll"), QStringLiteral("c.dll")};

    struct Case {
        qint64 bytesBeforeFull;
        bool failAtCommit;
        QString failingFile;
        QString reason;
    };
    for (const Case& failure : {Case{kBlobPieceSize + 10, false, QStringLiteral("b.dll"), kDiskFullText},
                                Case{0, false, QStringLiteral("a.dll"), kDiskFullText},
                                Case{-1, true, QStringLiteral("a.dll"), kCommitFailedText}}) {
        SCOPED_TRACE(failure.bytesBeforeFull);
        putOldFiles();
        auto plan = std::make_shared<OutputFailurePlan>();
        plan->bytesBeforeFull = failure.bytesBeforeFull;
        plan->failAtCommit = failure.failAtCommit;
        DownloadEngine engine(database->sqlca(), settings, folder);
        engine.setOutputFileFactory(failingOutputFiles(plan));
        const auto rows = engine.pendingRows();
        ASSERT_TRUE(rows.ok());
        const DownloadOutcome outcome = engine.download(*rows);
        EXPECT_EQ(outcome.result, -1);
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->number, kMessageDownloadWriteFailed);
        EXPECT_EQ(outcome.failure->parameters.value(0), folder + failure.failingFile);
        EXPECT_EQ(outcome.failure->parameters.value(1), failure.reason);
        const bool aWritten = failure.failingFile == QStringLiteral("b.dll");
        EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), aWritten ? a : QByteArray("old a.dll"));
        EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), QByteArray("old b.dll"));
        EXPECT_EQ(fileBytes(QStringLiteral("c.dll")), QByteArray("old c.dll"));
        EXPECT_EQ(plan->filesCommitted, aWritten ? 1 : 0);
        EXPECT_EQ(folderEntries(), names);
        EXPECT_EQ(compId(), QStringLiteral("<absent>"));
    }

    // The same device without a failure writes every file as the download always does.
    auto plan = std::make_shared<OutputFailurePlan>();
    DownloadEngine engine(database->sqlca(), settings, folder);
    engine.setOutputFileFactory(failingOutputFiles(plan));
    const DownloadOutcome outcome = engine.download(*engine.pendingRows());
    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_EQ(plan->filesCommitted, 3);
    EXPECT_EQ(fileBytes(QStringLiteral("b.dll")), b);
    EXPECT_EQ(compId(), QStringLiteral("3"));
}

// When Comp_ID cannot be recorded the download says so; the settings file stays as it was, so the
// next run fetches the same files again rather than skip any.
TEST_P(DownloadEngineTest, CompIdThatCannotBeRecordedIsReportedAndTheSettingsFileKept) {
    setCompId(QStringLiteral("1"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("a.dll"), QByteArray("new a"));
    const QString registry = QFileInfo(settings.filePath()).fileName();
    const QByteArray before = scratch.read(registry);
    for (const bool atCommit : {false, true}) {
        SCOPED_TRACE(atCommit);
        auto plan = std::make_shared<OutputFailurePlan>();
        plan->bytesBeforeFull = atCommit ? -1 : 5;
        plan->failAtCommit = atCommit;
        SettingsStore failingSettings(settings.filePath(), failingOutputFiles(plan));
        DownloadEngine engine(database->sqlca(), failingSettings, folder);
        const DownloadOutcome outcome = engine.download(*engine.pendingRows());
        EXPECT_EQ(outcome.result, -1);
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->number, kMessageDownloadRecordFailed);
        // The settings store's own reason is part of the message.
        ASSERT_EQ(outcome.failure->parameters.size(), 3);
        EXPECT_FALSE(outcome.failure->parameters.at(2).isEmpty());
        EXPECT_FALSE(outcome.recordedComponent);
        EXPECT_EQ(fileBytes(QStringLiteral("a.dll")), QByteArray("new a"));
        EXPECT_EQ(scratch.read(registry), before);
        EXPECT_EQ(compId(), QStringLiteral("1"));
    }
}

TEST_P(DownloadEngineTest, FolderOrSettingsThatCannotBeWrittenAreReportedOnceBeforeAnyRow) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b.dll"), QByteArray("b"));
    // Settings whose lock cannot be taken, or whose file is in the way: a download that could not
    // be recorded would be fetched again at every start.
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("locked/registry.ini.lock")));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("blocked/registry.ini")));
    struct Case {
        QString folder;
        QString settingsFile;
        int message;
        QString named;
    };
    // A folder that does not exist, and one where nobody, not even root, may create a file.
    const QString missing = scratch.file(QStringLiteral("missing")) + QStringLiteral("/");
    const QString locked = scratch.file(QStringLiteral("locked/registry.ini"));
    const QString blocked = scratch.file(QStringLiteral("blocked/registry.ini"));
    for (const Case& unwritable :
         {Case{missing, settings.filePath(), kMessageProgramFolderNotWritable, missing},
          Case{QStringLiteral("/proc/"), settings.filePath(), kMessageProgramFolderNotWritable,
               QStringLiteral("/proc/")},
          Case{folder, locked, kMessageDownloadCannotRecord, locked},
          Case{folder, blocked, kMessageDownloadCannotRecord, blocked}}) {
        SCOPED_TRACE(unwritable.named.toStdString());
        SettingsStore store(unwritable.settingsFile);
        DownloadEngine engine(database->sqlca(), store, unwritable.folder);
        const auto rows = engine.pendingRows();
        ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
        int reports = 0;
        const DownloadOutcome outcome = engine.download(*rows, [&](const DownloadProgress&) { ++reports; });
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(outcome.failure->number, unwritable.message);
        EXPECT_EQ(outcome.failure->parameters.value(0), unwritable.named);
        EXPECT_FALSE(outcome.failure->parameters.value(1).isEmpty());
        EXPECT_EQ(outcome.failure->parameters.value(2), QStringLiteral("2"));
        EXPECT_EQ(reports, 0);
        EXPECT_TRUE(outcome.writtenPaths.isEmpty());
        EXPECT_TRUE(folderEntries().isEmpty());
        EXPECT_EQ(compId(), QStringLiteral("<absent>"));
    }
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("missing"))));
    // The write test leaves nothing behind in a folder that can be written.
    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << outcome.failure->parameters.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(folderEntries(), (QStringList{QStringLiteral("a.dll"), QStringLiteral("b.dll")}));
}

TEST_P(DownloadEngineTest, ThirtyMegabyteFileRoundTripsByteForByte) {
    const QByteArray big = patternBytes(30 * 1024 * 1024 + 17, 30);
    database->insert(QStringLiteral("3.0"), 9, 1, QStringLiteral("big.pak"), big);
    const DownloadOutcome outcome = run();
    ASSERT_FALSE(outcome.failure) << messageText(*outcome.failure).toStdString();
    EXPECT_TRUE(fileBytes(QStringLiteral("big.pak")) == big);
    EXPECT_EQ(compId(), QStringLiteral("9"));
}

INSTANTIATE_TEST_SUITE_P(Backends, DownloadEngineTest, ::testing::Values(kDbmsSqlite, kDbmsPostgreSql),
                         [](const ::testing::TestParamInfo<QString>& backend) {
                             return backend.param.toStdString();
                         });

TEST(InstalledComponent, ReadsDecimalTextAndTakesAnythingElseAsZero) {
    ScratchFolder scratch;
    SettingsStore settings = SettingsStore::standard();
    EXPECT_EQ(installedComponent(settings), 0);
    const std::pair<const char*, qint32> cases[] = {
        {"12", 12},
        {"", 0},
        {"abc", 0},
        {"12abc", 0},
        {"-3", -3},
        {"99999999999", 0},
        {"2147483647", 2147483647},
    };
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, QString::fromLatin1(text)));
        EXPECT_EQ(installedComponent(settings), expected) << text;
    }
}

} // namespace
