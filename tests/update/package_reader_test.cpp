#include "support/package_bytes.h"
#include "support/test_environment.h"
#include "update/package_reader.h"
#include "update/package_writer.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::blankEntry;
using tarnlow::test::field8;
using tarnlow::test::headerBytes;
using tarnlow::test::patternBytes;
using tarnlow::test::ScratchFolder;
using tarnlow::test::usedEntry;

namespace {

class PackageReaderTest : public ::testing::Test {
protected:
    PackageReader open(const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(QStringLiteral("in.fuf"), bytes));
        Result<PackageReader> reader = PackageReader::open(scratch.file(QStringLiteral("in.fuf")));
        EXPECT_TRUE(reader.ok()) << (reader.ok() ? "" : reader.error().toStdString());
        return *reader;
    }
    static QList<PackageProblemKind> kinds(const PackageReader& reader) {
        QList<PackageProblemKind> result;
        for (const PackageProblem& problem : reader.problems())
            result.append(problem.kind);
        return result;
    }

    ScratchFolder scratch;
};

} // namespace

TEST_F(PackageReaderTest, SoundPackageReadsEveryFieldAndSlice) {
    const QByteArray one = patternBytes(10, 1);
    const QByteArray three = patternBytes(20, 2);
    const QByteArray gbkName("\xB2\xE2\xCA\xD4.dll", 8); // 测试.dll
    const PackageReader reader = open(
        headerBytes("07", "012",
                    {usedEntry(257, 266, "a.exe"), blankEntry(), usedEntry(267, 286, gbkName), blankEntry()},
                    287) +
        one + three + "update t set a = '\xB2\xE2';");
    EXPECT_TRUE(reader.problems().isEmpty()) << reader.problemTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(reader.signatureOk());
    EXPECT_EQ(reader.versionText(), QStringLiteral("07"));
    EXPECT_EQ(reader.componentNumber(), 12);
    ASSERT_TRUE(reader.entry(1) && reader.entry(3));
    EXPECT_FALSE(reader.entry(2) || reader.entry(4) || reader.entry(0) || reader.entry(5));
    EXPECT_EQ(reader.entry(3)->name, QStringLiteral("测试.dll"));
    EXPECT_EQ(reader.entry(3)->nameField, gbkName + QByteArray(24, ' '));
    EXPECT_EQ(reader.entry(3)->size(), 20);
    EXPECT_EQ(*reader.entryBytes(1), one);
    EXPECT_EQ(*reader.entryBytes(3), three);
    EXPECT_FALSE(reader.entryBytes(2).ok());
    EXPECT_EQ(reader.sqlStart(), 287);
    EXPECT_EQ(reader.sqlSize(), 22);
    EXPECT_EQ(*reader.sqlScript(), QStringLiteral("update t set a = '测';"));
}

TEST_F(PackageReaderTest, ForeignLeadBytesAndSignatureStillLeaveTheFieldsReadable) {
    QByteArray bytes =
        headerBytes("01", "076", {usedEntry(257, 259, "a"), blankEntry(), blankEntry(), blankEntry()}, 0) +
        "abc";
    bytes[0] = 'M';
    bytes[6] = '\0';
    bytes.replace(7, 8, "Yeelake ");
    const PackageReader reader = open(bytes);
    EXPECT_FALSE(reader.signatureOk());
    EXPECT_EQ(kinds(reader),
              (QList<PackageProblemKind>{PackageProblemKind::LeadByte, PackageProblemKind::MarkerByte,
                                         PackageProblemKind::Signature}));
    EXPECT_TRUE(reader.problemTexts().at(0).contains(QStringLiteral("0x4D")))
        << reader.problemTexts().at(0).toStdString();
    EXPECT_TRUE(reader.problemTexts().at(2).contains(QStringLiteral("Yeelake")))
        << reader.problemTexts().at(2).toStdString();
    EXPECT_EQ(reader.componentNumber(), 76);
    EXPECT_EQ(*reader.entryBytes(1), QByteArray("abc"));
}

TEST_F(PackageReaderTest, PositionsOutsideTheFileOrOutOfOrderAreNamedWithTheirValues) {
    // Entry 1 runs past the end, entry 2 overlaps it, the script starts past the end.
    const PackageReader reader = open(
        headerBytes("01", "076",
                    {usedEntry(257, 400, "a"), usedEntry(300, 305, "b"), blankEntry(), blankEntry()}, 900) +
        QByteArray(50, 'x'));
    EXPECT_EQ(kinds(reader),
              (QList<PackageProblemKind>{PackageProblemKind::EntryPastEnd, PackageProblemKind::EntryOrder,
                                         PackageProblemKind::SqlStart}));
    const QStringList texts = reader.problemTexts();
    EXPECT_TRUE(texts.at(0).contains(QStringLiteral("entry 1")) &&
                texts.at(0).contains(QStringLiteral("400")) &&
                texts.at(0).contains(QStringLiteral("306 bytes")))
        << texts.at(0).toStdString();
    EXPECT_TRUE(texts.at(1).contains(QStringLiteral("entry 2 starts at 300")) &&
                texts.at(1).contains(QStringLiteral("entry 1")))
        << texts.at(1).toStdString();
    EXPECT_TRUE(texts.at(2).contains(QStringLiteral("900"))) << texts.at(2).toStdString();
    // A slice outside the file is refused rather than read short.
    const Result<QByteArray> outside = reader.entryBytes(1);
    ASSERT_FALSE(outside.ok());
    EXPECT_TRUE(outside.error().contains(QStringLiteral("257-400"))) << outside.error().toStdString();
    EXPECT_EQ(reader.sqlSize(), 0);

    const PackageReader header = open(headerBytes(
        "01", "076", {usedEntry(10, 20, "a"), usedEntry(300, 100, "b"), blankEntry(), blankEntry()}, 0));
    EXPECT_EQ(kinds(header), (QList<PackageProblemKind>{PackageProblemKind::EntryInHeader,
                                                        PackageProblemKind::EntryEndBeforeStart}));
    EXPECT_FALSE(header.entryBytes(2).ok());
}

TEST_F(PackageReaderTest, NamesThatAreNotPlainFileNamesAreReported) {
    const QByteArray bytes = headerBytes("01", "076",
                                         {usedEntry(257, 257, "../evil.dll"), usedEntry(258, 258, ".."),
                                          usedEntry(259, 259, "a\\b"), usedEntry(260, 260, "tab\there")},
                                         0) +
                             "1234";
    const PackageReader reader = open(bytes);
    EXPECT_EQ(kinds(reader), QList<PackageProblemKind>(4, PackageProblemKind::EntryName));
    const QStringList texts = reader.problemTexts();
    EXPECT_TRUE(texts.at(0).contains(QStringLiteral("entry 1")) &&
                texts.at(0).contains(QStringLiteral("../evil.dll")))
        << texts.at(0).toStdString();
    EXPECT_TRUE(texts.at(1).contains(QStringLiteral("\"..\""))) << texts.at(1).toStdString();
    EXPECT_TRUE(texts.at(3).contains(QStringLiteral("U+0009"))) << texts.at(3).toStdString();
    // The bytes are still there for a caller that decides to go on.
    EXPECT_EQ(*reader.entryBytes(4), QByteArray("4"));

    // A 32-byte name whose last byte is the first half of a character was cut by an older writer: the
    // whole characters before it are the name, and that is no fault.
    QByteArray cut = "a";
    for (int i = 0; i < 15; ++i)
        cut += "\xB2\xE2";
    cut += '\xB2';
    const PackageReader older = open(
        headerBytes("01", "076", {usedEntry(257, 256, cut), blankEntry(), blankEntry(), blankEntry()}, 0));
    EXPECT_TRUE(older.problems().isEmpty()) << older.problemTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(older.entry(1)->name, QStringLiteral("a") + QString(15, QChar(0x6D4B)));
}

TEST_F(PackageReaderTest, BlankZeroOrNonNumericStartFieldsMarkEmptyEntries) {
    QByteArray zero = usedEntry(0, 10, "zero");
    QByteArray letters = QByteArray("   12ab ") + field8(300) + QByteArray(32, ' ');
    QByteArray leftAligned =
        QByteArray("257     ") + QByteArray("  258   ") + QByteArray("ok") + QByteArray(30, ' ');
    QByteArray header = headerBytes("01", "7 x", {zero, letters, leftAligned, blankEntry()}, 0);
    header.replace(240, 8, QByteArray("sql?    "));
    const PackageReader reader = open(header + "ab");
    EXPECT_FALSE(reader.entry(1) || reader.entry(2));
    ASSERT_TRUE(reader.entry(3));
    EXPECT_EQ(reader.entry(3)->start, 257);
    EXPECT_EQ(reader.entry(3)->end, 258);
    EXPECT_EQ(reader.sqlStart(), 0);
    EXPECT_FALSE(reader.componentNumber());
    EXPECT_EQ(kinds(reader),
              (QList<PackageProblemKind>{PackageProblemKind::NumberField, PackageProblemKind::NumberField,
                                         PackageProblemKind::ComponentNotNumber}));
    EXPECT_TRUE(reader.problemTexts().at(0).contains(QStringLiteral("entry 2")))
        << reader.problemTexts().at(0).toStdString();
}

TEST_F(PackageReaderTest, ShortFilesAndUnreferencedBytesAreReported) {
    const PackageReader tiny = open(QByteArray("\x0E"
                                               "01076\xFF"
                                               "Fern"));
    EXPECT_EQ(tiny.size(), 11);
    EXPECT_EQ(tiny.problems().value(0).kind, PackageProblemKind::TooShort);
    EXPECT_TRUE(tiny.problemTexts().value(0).contains(QStringLiteral("11 bytes")));
    EXPECT_EQ(tiny.versionText(), QStringLiteral("01"));
    EXPECT_FALSE(tiny.entry(1));

    // A second package appended to the first (what an appending builder produced).
    const QByteArray first =
        headerBytes("01", "076", {usedEntry(257, 259, "a"), blankEntry(), blankEntry(), blankEntry()}, 0) +
        "abc";
    const PackageReader appended = open(first + first);
    EXPECT_EQ(kinds(appended), QList<PackageProblemKind>{PackageProblemKind::TrailingBytes});
    EXPECT_TRUE(appended.problemTexts().value(0).contains(QStringLiteral("260-518")));

    EXPECT_FALSE(PackageReader::open(scratch.file(QStringLiteral("absent.fuf"))).ok());
    EXPECT_FALSE(PackageReader::open(scratch.path()).ok());
}

TEST_F(PackageReaderTest, SlicesAreHandedOutInBlocksAndTheSinkCanStop) {
    const QByteArray big = patternBytes(70000, 9);
    const PackageReader reader =
        open(headerBytes("01", "076",
                         {blankEntry(), usedEntry(257, 70256, "big"), blankEntry(), blankEntry()}, 0) +
             big);
    QList<qsizetype> sizes;
    QByteArray joined;
    ASSERT_TRUE(reader.readEntry(2, [&](const QByteArray& block) {
        sizes.append(block.size());
        joined += block;
        return Result<void>();
    }));
    EXPECT_EQ(sizes, (QList<qsizetype>{32765, 32765, 4470}));
    EXPECT_EQ(joined, big);

    int calls = 0;
    const Result<void> stopped = reader.readEntry(2, [&](const QByteArray&) {
        ++calls;
        return Result<void>(Error{QStringLiteral("disk full")});
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(stopped.error(), QStringLiteral("disk full"));
}

TEST_F(PackageReaderTest, WhatTheWriterWritesReadsBackSound) {
    PackageSource source;
    ASSERT_TRUE(scratch.write(QStringLiteral("one.bin"), patternBytes(33000, 3)));
    ASSERT_TRUE(scratch.write(QStringLiteral("测试.txt"), QByteArray()));
    source.files[0] = scratch.file(QStringLiteral("one.bin"));
    source.files[3] = scratch.file(QStringLiteral("测试.txt"));
    source.sqlScript = QStringLiteral("insert into t values ('中文');");
    source.component = QStringLiteral("5");
    ASSERT_TRUE(writePackage(source, scratch.file(QStringLiteral("round.fuf"))).ok());
    const Result<PackageReader> reader = PackageReader::open(scratch.file(QStringLiteral("round.fuf")));
    ASSERT_TRUE(reader.ok());
    EXPECT_TRUE(reader->problems().isEmpty()) << reader->problemTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(reader->componentNumber(), 5);
    EXPECT_EQ(*reader->entryBytes(1), patternBytes(33000, 3));
    EXPECT_EQ(reader->entry(4)->name, QStringLiteral("测试.txt"));
    EXPECT_EQ(reader->entry(4)->size(), 0);
    EXPECT_EQ(*reader->sqlScript(), source.sqlScript);
}

TEST_F(PackageReaderTest, TextsTheImportWouldStoreOrRunAreValidatedWithTheHeader) {
    const auto script = [this](const QByteArray& sql) {
        return open(headerBytes("01", "001", {blankEntry(), blankEntry(), blankEntry(), blankEntry()}, 257) +
                    sql);
    };
    const PackageReader zero = script(QByteArray("select 1;\0select 2", 19));
    EXPECT_EQ(kinds(zero), QList<PackageProblemKind>{PackageProblemKind::Script});
    EXPECT_TRUE(zero.problemTexts().at(0).contains(QStringLiteral("zero byte")));
    const PackageReader commit = script("insert into t values (1); COMMIT; insert into t values (2)");
    EXPECT_EQ(kinds(commit), QList<PackageProblemKind>{PackageProblemKind::Script});
    const PackageReader loneLeadByte = script("select '\x81'");
    EXPECT_EQ(kinds(loneLeadByte), QList<PackageProblemKind>{PackageProblemKind::Script});
    EXPECT_TRUE(script("select 'commit'").problems().isEmpty());

    const auto blank = std::array<QByteArray, 4>{blankEntry(), blankEntry(), blankEntry(), blankEntry()};
    EXPECT_EQ(kinds(open(headerBytes(QByteArray(2, '\0'), "001", blank, 0))),
              QList<PackageProblemKind>{PackageProblemKind::VersionText});
    EXPECT_EQ(kinds(open(headerBytes("\x81 ", "001", blank, 0))),
              QList<PackageProblemKind>{PackageProblemKind::VersionText});
    EXPECT_EQ(kinds(open(headerBytes("01", "\x1b\x07\r", blank, 0))),
              (QList<PackageProblemKind>{PackageProblemKind::ComponentNotNumber,
                                         PackageProblemKind::ComponentText}));
}

TEST_F(PackageReaderTest, TwoEntriesOfOneNameInAnyCaseAreAProblem) {
    const PackageReader same = open(headerBytes("01", "001",
                                                {usedEntry(257, 257, "a.dll"), usedEntry(258, 258, "b.dll"),
                                                 usedEntry(259, 259, "a.dll"), usedEntry(260, 260, "B.DLL")},
                                                0) +
                                    "1234");
    EXPECT_EQ(kinds(same), (QList<PackageProblemKind>{PackageProblemKind::DuplicateName,
                                                      PackageProblemKind::DuplicateName}));
    EXPECT_TRUE(same.problemTexts().at(0).contains(QStringLiteral("entries 1 and 3")));
    EXPECT_TRUE(same.problemTexts().at(1).contains(QStringLiteral("differ only in case")));
}
