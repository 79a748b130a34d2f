#include "support/cli_process.h"
#include "support/package_layout_cases.h"
#include "support/test_environment.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using tarnlow::test::blankEntry;
using tarnlow::test::CliRun;
using tarnlow::test::headerBytes;
using tarnlow::test::patternBytes;
using tarnlow::test::runCli;
using tarnlow::test::ScratchFolder;
using tarnlow::test::usedEntry;

namespace {

class PackageCommandsTest : public ::testing::Test {
protected:
    QString file(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(name, bytes));
        return scratch.file(name);
    }
    // Packs into out.fuf (replacing it) and returns its bytes.
    QByteArray pack(QStringList arguments) {
        arguments.prepend(QStringLiteral("pack"));
        arguments << QStringLiteral("--output") << scratch.file(QStringLiteral("out.fuf"))
                  << QStringLiteral("--force");
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QByteArray bytes = scratch.read(QStringLiteral("out.fuf"));
        EXPECT_TRUE(run.out.contains(QStringLiteral("(%1 bytes)").arg(bytes.size())))
            << run.out.toStdString();
        return bytes;
    }
    static QJsonObject json(const CliRun& run) { return QJsonDocument::fromJson(run.out.toUtf8()).object(); }

    ScratchFolder scratch;
};

} // namespace

TEST_F(PackageCommandsTest, PackWritesEveryLayoutByteForByte) {
    for (const tarnlow::test::PackageLayoutCase& layout : tarnlow::test::packageLayoutCases()) {
        SCOPED_TRACE(layout.what);
        QStringList arguments;
        for (std::size_t i = 0; i < layout.files.size(); ++i) {
            if (layout.files[i])
                arguments << QStringLiteral("--file%1").arg(i + 1)
                          << file(layout.files[i]->name, layout.files[i]->bytes);
        }
        if (layout.version)
            arguments << QStringLiteral("--ver=") + *layout.version;
        if (layout.component)
            arguments << QStringLiteral("--comp") << *layout.component;
        // The script file is UTF-8; it lands in the package as GBK.
        if (!layout.script.isEmpty())
            arguments << QStringLiteral("--sql-file")
                      << file(QStringLiteral("script.sql"), layout.script.toUtf8());
        EXPECT_EQ(pack(arguments), layout.expected);
    }
}

TEST_F(PackageCommandsTest, PackRefusesAnExistingOutputAndBadInputWithoutWriting) {
    const QString output = file(QStringLiteral("old.fuf"), "old");
    CliRun run = runCli({QStringLiteral("pack"), QStringLiteral("--output"), output});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--force"))) << run.err.toStdString();
    EXPECT_EQ(scratch.read(QStringLiteral("old.fuf")), QByteArray("old"));

    run = runCli({QStringLiteral("pack"), QStringLiteral("--output"), output, QStringLiteral("--force"),
                  QStringLiteral("--file3"), scratch.file(QStringLiteral("missing.dll"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("missing.dll")) &&
                run.err.contains(QStringLiteral("entry 3")))
        << run.err.toStdString();
    EXPECT_EQ(scratch.read(QStringLiteral("old.fuf")), QByteArray("old"));

    run = runCli({QStringLiteral("pack"), QStringLiteral("--output"), output, QStringLiteral("--force"),
                  QStringLiteral("--sql-file"),
                  file(QStringLiteral("bad.sql"), QStringLiteral("select '😀';").toUtf8())});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("U+1F600"))) << run.err.toStdString();
    EXPECT_EQ(scratch.read(QStringLiteral("old.fuf")), QByteArray("old"));

    for (const QStringList& usage :
         {QStringList{QStringLiteral("pack")},
          QStringList{QStringLiteral("pack"), QStringLiteral("--output"), output, QStringLiteral("--file5"),
                      output},
          QStringList{QStringLiteral("pack"), QStringLiteral("--output"), output, QStringLiteral("--ver"),
                      QStringLiteral("1"), QStringLiteral("--ver"), QStringLiteral("2")},
          QStringList{QStringLiteral("pack"), QStringLiteral("--output")}}) {
        run = runCli(usage);
        EXPECT_EQ(run.exitCode, 2) << usage.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("usage:"))) << run.err.toStdString();
    }
    EXPECT_EQ(scratch.read(QStringLiteral("old.fuf")), QByteArray("old"));
}

TEST_F(PackageCommandsTest, InspectReportsASoundPackageAsJson) {
    const QByteArray gbkName("\xB2\xE2\xCA\xD4.dll", 8);
    const QString path =
        file(QStringLiteral("sound.fuf"),
             headerBytes("07", "012",
                         {blankEntry(), usedEntry(257, 266, gbkName), blankEntry(), blankEntry()}, 267) +
                 patternBytes(10, 1) + "go 1;");
    const CliRun run = runCli({QStringLiteral("inspect"), path, QStringLiteral("--json")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    const QJsonObject object = json(run);
    EXPECT_EQ(object.value(QStringLiteral("ver_no")).toString(), QStringLiteral("07"));
    EXPECT_EQ(object.value(QStringLiteral("comp_no")).toInt(), 12);
    EXPECT_TRUE(object.value(QStringLiteral("signature_ok")).toBool());
    const QJsonArray entries = object.value(QStringLiteral("entries")).toArray();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_TRUE(entries.at(0).isNull() && entries.at(2).isNull() && entries.at(3).isNull());
    EXPECT_EQ(entries.at(1).toObject(), (QJsonObject{{QStringLiteral("index"), 2},
                                                     {QStringLiteral("start"), 257},
                                                     {QStringLiteral("end"), 266},
                                                     {QStringLiteral("size"), 10},
                                                     {QStringLiteral("name"), QStringLiteral("测试.dll")}}));
    EXPECT_EQ(object.value(QStringLiteral("sql_start")).toInt(), 267);
    EXPECT_EQ(object.value(QStringLiteral("sql_size")).toInt(), 5);
    EXPECT_EQ(object.value(QStringLiteral("size")).toInt(), 271);
    EXPECT_TRUE(object.value(QStringLiteral("problems")).isArray());
    EXPECT_TRUE(object.value(QStringLiteral("problems")).toArray().isEmpty());

    const CliRun text = runCli({QStringLiteral("inspect"), path});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(
        text.out.contains(QStringLiteral("entry 2:   start 257, end 266, size 10, name \"测试.dll\"")))
        << text.out.toStdString();
}

TEST_F(PackageCommandsTest, InspectListsEveryFindingAndFailsOnThem) {
    QByteArray bytes =
        headerBytes(
            "01", "076",
            {usedEntry(257, 260, "../up.dll"), blankEntry(), usedEntry(261, 9000, "far"), blankEntry()}, 0) +
        "abcdef";
    bytes[0] = 'X';
    const QString path = file(QStringLiteral("bad.fuf"), bytes);
    const CliRun run = runCli({QStringLiteral("inspect"), QStringLiteral("--json"), path});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject object = json(run);
    EXPECT_FALSE(object.value(QStringLiteral("signature_ok")).toBool(true));
    EXPECT_EQ(object.value(QStringLiteral("sql_start")).toInt(-1), 0);
    EXPECT_EQ(object.value(QStringLiteral("entries"))
                  .toArray()
                  .at(2)
                  .toObject()
                  .value(QStringLiteral("end"))
                  .toInt(),
              9000);
    const QString problems =
        object.value(QStringLiteral("problems")).toVariant().toStringList().join(QLatin1Char('\n'));
    EXPECT_EQ(object.value(QStringLiteral("problems")).toArray().size(), 3) << problems.toStdString();
    EXPECT_TRUE(problems.contains(QStringLiteral("0x58")) && problems.contains(QStringLiteral("../up.dll")) &&
                problems.contains(QStringLiteral("9000")))
        << problems.toStdString();

    const CliRun missing = runCli({QStringLiteral("inspect"), scratch.file(QStringLiteral("none.fuf"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("none.fuf"))) << missing.err.toStdString();
    EXPECT_EQ(runCli({QStringLiteral("inspect")}).exitCode, 2);
}

TEST_F(PackageCommandsTest, InspectAndApplyWriteControlBytesOfNamesEscaped) {
    // ESC ] 0 ; retitles a terminal, ESC [ 2 J clears it, BEL rings, CR LF start a new line.
    const QByteArray name("a\x1b]0;owned\x07\x1b[2J\r\nproblems:  none");
    const QString path = file(
        QStringLiteral("ctl.fuf"),
        headerBytes("01", "001", {usedEntry(257, 257, name), blankEntry(), blankEntry(), blankEntry()}, 0) +
            "x");
    const CliRun run = runCli({QStringLiteral("inspect"), path});
    EXPECT_EQ(run.exitCode, 1);
    const QString printed = run.out + run.err;
    for (const QChar c : printed)
        EXPECT_FALSE(c.unicode() < 0x20 && c != QLatin1Char('\n'))
            << "raw control character " << int(c.unicode());
    EXPECT_TRUE(
        run.out.contains(QStringLiteral("name \"a\\x1B]0;owned\\x07\\x1B[2J\\x0D\\x0Aproblems:  none\"")))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("\nproblems:  none"))) << run.out.toStdString();

    // apply refuses the package with message 10300, which shows the name escaped as well.
    const CliRun applied =
        runCli({QStringLiteral("apply"), path, QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                QStringLiteral("--database"), scratch.file(QStringLiteral("apply.db"))});
    EXPECT_EQ(applied.exitCode, 1);
    EXPECT_TRUE(applied.err.contains(QStringLiteral("a\\x1B]0;owned\\x07\\x1B[2J\\x0D\\x0Aproblems:  none")))
        << applied.err.toStdString();
    EXPECT_FALSE(QString(applied.out + applied.err).contains(QStringLiteral("\nproblems:  none")))
        << applied.err.toStdString();
}

// pack cannot know the database: it writes a T-SQL script and names the databases that refuse
// it; inspect shows the verdict of each; a script every database refuses is not written.
TEST_F(PackageCommandsTest, PackAndInspectSayWhichDatabasesRefuseTheScript) {
    const QString script =
        file(QStringLiteral("patch.sql"),
             "BEGIN TRAN\nUPDATE dbo.player SET level = 60 WHERE level > 60\nCOMMIT TRAN\n");
    pack({QStringLiteral("--sql-file"), script});
    const QString out = scratch.file(QStringLiteral("out.fuf"));
    const CliRun text = runCli({QStringLiteral("inspect"), out});
    EXPECT_EQ(text.exitCode, 0) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral(
        "script:    applies on SQL Server; refused on PostgreSQL and SQLite: line 1, BEGIN TRAN\n")))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("  SQL Server:  applies\n"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("  SQLite:      refused, line 1, BEGIN TRAN: it would end")))
        << text.out.toStdString();

    const QJsonObject verdicts = json(runCli({QStringLiteral("inspect"), out, QStringLiteral("--json")}))
                                     .value(QStringLiteral("script"))
                                     .toObject();
    EXPECT_EQ(verdicts.value(QStringLiteral("summary")).toString(),
              QStringLiteral("applies on SQL Server; refused on PostgreSQL and SQLite: line 1, BEGIN TRAN"));
    const QJsonArray each = verdicts.value(QStringLiteral("verdicts")).toArray();
    ASSERT_EQ(each.size(), 3);
    EXPECT_EQ(each.at(0).toObject().value(QStringLiteral("database")).toString(),
              QStringLiteral("SQL Server"));
    EXPECT_TRUE(each.at(0).toObject().value(QStringLiteral("applies")).toBool());
    EXPECT_TRUE(each.at(0).toObject().value(QStringLiteral("line")).isNull());
    const QJsonObject postgres = each.at(1).toObject();
    EXPECT_EQ(postgres.value(QStringLiteral("database")).toString(), QStringLiteral("PostgreSQL"));
    EXPECT_FALSE(postgres.value(QStringLiteral("applies")).toBool(true));
    EXPECT_EQ(postgres.value(QStringLiteral("line")).toInt(), 1);
    EXPECT_EQ(postgres.value(QStringLiteral("words")).toString(), QStringLiteral("BEGIN TRAN"));

    const CliRun refused =
        runCli({QStringLiteral("pack"), QStringLiteral("--output"),
                scratch.file(QStringLiteral("commit.fuf")), QStringLiteral("--sql-file"),
                file(QStringLiteral("commit.sql"), "UPDATE dbo.item SET price = 10;\nCOMMIT;\n")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("refused on SQL Server: line 2, COMMIT: ")) &&
                refused.err.contains(QStringLiteral("refused on PostgreSQL and SQLite: line 2, COMMIT: ")))
        << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("commit.fuf"))));
}

TEST_F(PackageCommandsTest, WhatPackWritesInspectFindsSound) {
    pack({QStringLiteral("--file2"), file(QStringLiteral("x.bin"), patternBytes(40000, 7)),
          QStringLiteral("--sql-file"), file(QStringLiteral("s.sql"), "select 1;")});
    const CliRun run = runCli(
        {QStringLiteral("inspect"), scratch.file(QStringLiteral("out.fuf")), QStringLiteral("--json")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(json(run).value(QStringLiteral("size")).toInt(), 256 + 40000 + 9);
}
