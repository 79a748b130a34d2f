#include "lang/f_msgbox.h"
#include "support/failing_output_file.h"
#include "support/package_layout_cases.h"
#include "support/test_environment.h"
#include "update/package_messages.h"
#include "update/package_writer.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::patternBytes;
using tarnlow::test::ScratchFolder;

namespace {

class PackageWriterTest : public ::testing::Test {
protected:
    QByteArray build(const PackageSource& source, QList<qint64>* progress = nullptr) {
        PackageWriteOptions options;
        options.replaceExisting = true;
        options.progress = [progress](qint64 written, qint64) {
            if (progress)
                progress->append(written);
        };
        const Result<PackageWritten, NumberedMessage> result = writePackage(source, output(), options);
        EXPECT_TRUE(result.ok()) << (result.ok() ? "" : messageText(result.error()).toStdString());
        if (result.ok()) {
            EXPECT_EQ(result->size, QFileInfo(output()).size());
        }
        return scratch.read(QStringLiteral("out.fuf"));
    }
    QString output() const { return scratch.file(QStringLiteral("out.fuf")); }
    QString input(const QString& name, const QByteArray& bytes) const {
        EXPECT_TRUE(scratch.write(name, bytes));
        return scratch.file(name);
    }
    // The temporary file of a failed build would be "out.fuf.XXXXXX" next to the target.
    QStringList folderEntries() const {
        return QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    ScratchFolder scratch;
};

} // namespace

TEST_F(PackageWriterTest, WritesEveryLayoutByteForByte) {
    for (const test::PackageLayoutCase& layout : test::packageLayoutCases()) {
        SCOPED_TRACE(layout.what);
        PackageSource source;
        if (layout.version)
            source.version = *layout.version;
        if (layout.component)
            source.component = *layout.component;
        for (std::size_t i = 0; i < layout.files.size(); ++i) {
            if (layout.files[i])
                source.files[i] = input(layout.files[i]->name, layout.files[i]->bytes);
        }
        source.sqlScript = layout.script;
        EXPECT_EQ(build(source), layout.expected);
    }
    // Numbers left empty are zeros; a name is taken after either separator of a path.
    PackageSource empty;
    empty.version.clear();
    empty.component.clear();
    EXPECT_EQ(build(empty).left(6), QByteArray("\x0E"
                                               "00000"));
    EXPECT_EQ(packageFileNameOfPath(QStringLiteral("C:\\games\\tarnlow\\main.exe")),
              QStringLiteral("main.exe"));
    EXPECT_EQ(packageFileNameOfPath(QStringLiteral("plain.exe")), QStringLiteral("plain.exe"));
}

TEST_F(PackageWriterTest, ProgressFollowsTheHeaderEachLargeWriteAndEachScriptBlock) {
    PackageSource source;
    source.files[3] = input(QStringLiteral("big.bin"), patternBytes(70000, 4));
    source.sqlScript = QString(40000, QLatin1Char('s')) + QStringLiteral("\n-- 测试");
    QList<qint64> progress;
    const QByteArray package = build(source, &progress);
    // Header, the file in one large write, then the script in two blocks.
    EXPECT_EQ(progress, (QList<qint64>{256, 70256, 70256 + 32765, package.size()}));
}

TEST_F(PackageWriterTest, FilesLargerThanOneCopyArriveWholeAndInOrder) {
    // Two files that each take more than one large write, the second starting mid-way through one.
    constexpr qint64 piece = 8 * 1024 * 1024;
    const QByteArray first = patternBytes(piece + 3, 5);
    const QByteArray second = patternBytes(2 * piece + 11, 6);
    PackageSource source;
    source.files[0] = input(QStringLiteral("first.bin"), first);
    source.files[2] = input(QStringLiteral("second.bin"), second);
    QList<qint64> progress;
    const QByteArray package = build(source, &progress);
    ASSERT_EQ(package.size(), 256 + first.size() + second.size());
    EXPECT_TRUE(package.mid(256, first.size()) == first);
    EXPECT_TRUE(package.mid(256 + first.size()) == second);
    EXPECT_EQ(progress, (QList<qint64>{256, 256 + piece, 256 + first.size(), 256 + first.size() + piece,
                                       256 + first.size() + 2 * piece, package.size()}));
}

TEST_F(PackageWriterTest, BadInputIsRefusedBeforeAnythingIsWritten) {
    const QByteArray earlier = "an earlier package";
    ASSERT_TRUE(scratch.write(QStringLiteral("out.fuf"), earlier));
    const QString good = input(QStringLiteral("good.bin"), "good");
    QDir(scratch.path()).mkdir(QStringLiteral("folder"));

    auto refuse = [&](PackageSource source, int message, const QString& mentions) {
        const Result<PackageWritten, NumberedMessage> result =
            writePackage(source, output(), PackageWriteOptions{true, nullptr, {}});
        ASSERT_FALSE(result.ok()) << mentions.toStdString();
        EXPECT_EQ(result.error().number, message) << messageText(result.error()).toStdString();
        EXPECT_TRUE(messageText(result.error()).contains(mentions))
            << messageText(result.error()).toStdString();
        EXPECT_TRUE(result.error().parameters.join(QLatin1Char('|')).contains(mentions));
        EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")), earlier);
    };
    PackageSource missing;
    missing.files[0] = good;
    missing.files[2] = scratch.file(QStringLiteral("missing.bin"));
    refuse(missing, kMsgPackageFileUnreadable, QStringLiteral("missing.bin"));
    PackageSource folder;
    folder.files[1] = scratch.file(QStringLiteral("folder"));
    refuse(folder, kMsgPackageFileUnreadable, QStringLiteral("folder"));
    PackageSource emoji;
    emoji.files[0] = input(QStringLiteral("ok😀.txt"), "1");
    refuse(emoji, kMsgPackageNameUnrepresentable, QStringLiteral("😀"));
    PackageSource control;
    control.files[0] = input(QStringLiteral("line\nbreak"), "1");
    refuse(control, kMsgPackageNameInvalid, QStringLiteral("U+000A"));
    PackageSource script;
    script.sqlScript = QStringLiteral("select 1;\nselect '★😀';");
    refuse(script, kMsgPackageScriptUnrepresentable, QStringLiteral("😀"));
    PackageSource component;
    component.component = QStringLiteral("7a");
    refuse(component, kMsgPackageComponentInvalid, QStringLiteral("7a"));
    PackageSource version;
    version.version = QStringLiteral("版a");
    refuse(version, kMsgPackageVersionInvalid, QStringLiteral("版a"));
    PackageSource controlVersion;
    controlVersion.version = QString(2, QChar(0));
    refuse(controlVersion, kMsgPackageVersionInvalid, QStringLiteral("U+0000"));
    PackageSource zeroByte;
    zeroByte.sqlScript = QStringLiteral("select 1") + QChar(0) + QStringLiteral("; drop table t_sys_ver");
    refuse(zeroByte, kMsgPackageScriptRefused, QStringLiteral("zero byte"));
    PackageSource commit;
    commit.sqlScript = QStringLiteral("update t_sys_config set conf_value = 'N';\ncommit;");
    refuse(commit, kMsgPackageScriptRefused, QStringLiteral("COMMIT"));
    PackageSource twice;
    QDir(scratch.path()).mkdir(QStringLiteral("other"));
    twice.files[0] = good;
    twice.files[2] = input(QStringLiteral("other/GOOD.bin"), "other");
    refuse(twice, kMsgPackageNameTwice, QStringLiteral("GOOD.bin"));

    // 99,999,745 bytes of file + 256 = 100,000,001: one byte too many. A sparse file costs no disk.
    QFile huge(scratch.file(QStringLiteral("huge.bin")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(99999745));
    huge.close();
    PackageSource tooLarge;
    tooLarge.files[0] = huge.fileName();
    refuse(tooLarge, kMsgPackageTooLarge, QStringLiteral("100,000,001"));

    EXPECT_EQ(folderEntries().filter(QStringLiteral("out.fuf")), QStringList{QStringLiteral("out.fuf")});
}

TEST_F(PackageWriterTest, AnExistingPackageIsReplacedWholeOnlyWhenAsked) {
    ASSERT_TRUE(scratch.write(QStringLiteral("out.fuf"), QByteArray(600, 'x')));
    const Result<PackageWritten, NumberedMessage> refused = writePackage(PackageSource{}, output());
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().number, kMsgPackageOutputExists);
    EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")), QByteArray(600, 'x'));

    const Result<PackageWritten, NumberedMessage> replaced =
        writePackage(PackageSource{}, output(), {true, nullptr, {}});
    ASSERT_TRUE(replaced.ok());
    EXPECT_EQ(replaced->path, QFileInfo(output()).absoluteFilePath());
    EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")).size(), 256);
}

TEST_F(PackageWriterTest, AFileThatChangesDuringTheBuildFailsItAndKeepsTheOldPackage) {
    ASSERT_TRUE(scratch.write(QStringLiteral("out.fuf"), "old"));
    const QString path = input(QStringLiteral("growing.bin"), patternBytes(50000, 5));
    PackageSource source;
    source.files[0] = path;
    PackageWriteOptions options;
    options.replaceExisting = true;
    options.progress = [&](qint64 written, qint64) {
        if (written == 256) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write("more");
        }
    };
    const Result<PackageWritten, NumberedMessage> result = writePackage(source, output(), options);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().number, kMsgPackageFileChanged);
    EXPECT_TRUE(messageText(result.error()).contains(QStringLiteral("growing.bin")));
    EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")), QByteArray("old"));
    EXPECT_EQ(folderEntries().filter(QStringLiteral("out.fuf")), QStringList{QStringLiteral("out.fuf")});
}

TEST_F(PackageWriterTest, AnUnwritableFolderIsReportedWithItsReason) {
    const Result<PackageWritten, NumberedMessage> noFolder =
        writePackage(PackageSource{}, scratch.file(QStringLiteral("nowhere/out.fuf")));
    ASSERT_FALSE(noFolder.ok());
    EXPECT_EQ(noFolder.error().number, kMsgPackageCannotWrite);
    EXPECT_TRUE(messageText(noFolder.error()).contains(QStringLiteral("nowhere")));
    const Result<PackageWritten, NumberedMessage> isFolder = writePackage(PackageSource{}, scratch.path());
    ASSERT_FALSE(isFolder.ok());
    EXPECT_EQ(isFolder.error().number, kMsgPackageCannotWrite);
}

// A full disk at any point of the build, or a failing final rename, is reported with the system's
// reason, and the package that was there before stays whole, with no temporary file left behind.
TEST_F(PackageWriterTest, AFullDiskOrAFailedCommitKeepsTheOldPackage) {
    PackageSource source;
    source.files[0] = input(QStringLiteral("big.bin"), patternBytes(100000, 3));
    source.files[2] = input(QStringLiteral("small.bin"), patternBytes(10, 4));
    source.sqlScript = QStringLiteral("create table t (a int);");
    const QByteArray expected = build(source);
    const qint64 total = expected.size();
    const QByteArray old = patternBytes(777, 9);

    struct Case {
        qint64 bytesBeforeFull;
        bool failAtCommit;
        const QString& reason;
    };
    for (const Case& failure :
         {Case{0, false, test::kDiskFullText}, Case{100, false, test::kDiskFullText},
          Case{256 + 40000, false, test::kDiskFullText}, Case{total - 1, false, test::kDiskFullText},
          Case{-1, true, test::kCommitFailedText}}) {
        SCOPED_TRACE(failure.bytesBeforeFull);
        ASSERT_TRUE(scratch.write(QStringLiteral("out.fuf"), old));
        auto plan = std::make_shared<test::OutputFailurePlan>();
        plan->bytesBeforeFull = failure.bytesBeforeFull;
        plan->failAtCommit = failure.failAtCommit;
        PackageWriteOptions options;
        options.replaceExisting = true;
        options.outputFile = test::failingOutputFiles(plan);
        const Result<PackageWritten, NumberedMessage> result = writePackage(source, output(), options);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().number, kMsgPackageCannotWrite);
        EXPECT_TRUE(messageText(result.error()).contains(failure.reason))
            << messageText(result.error()).toStdString();
        EXPECT_EQ(plan->filesOpened, 1);
        EXPECT_EQ(plan->filesCommitted, 0);
        EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")), old);
        EXPECT_EQ(folderEntries().filter(QStringLiteral("out.fuf")), QStringList{QStringLiteral("out.fuf")});
    }

    // The same device without a failure writes the package the writer always writes.
    auto plan = std::make_shared<test::OutputFailurePlan>();
    PackageWriteOptions options;
    options.replaceExisting = true;
    options.outputFile = test::failingOutputFiles(plan);
    ASSERT_TRUE(writePackage(source, output(), options).ok());
    EXPECT_EQ(plan->filesCommitted, 1);
    EXPECT_EQ(plan->bytesAccepted, total);
    EXPECT_EQ(scratch.read(QStringLiteral("out.fuf")), expected);
}
